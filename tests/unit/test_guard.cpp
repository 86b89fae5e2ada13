// The unit tests share one runtime per process. Whatever a test leaves on the stacks (a
// value it kept, an unwind past its own start) would shift the next test's stacks, so each
// test ends with the stacks as start-up left them and the collector off again.
#include <gtest/gtest.h>

#include "core/collector.h"
#include "core/stack.h"
#include "test_runtime.h"

namespace tav::testing {
namespace {

class StackGuard : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    if (!runtime_ready()) return;
    stack::restore(clean_stacks());
    collector::enabled = false;
  }
};

const bool installed = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new StackGuard);
  return true;
}();

}  // namespace
}  // namespace tav::testing
