// The unit tests share one runtime per process. Whatever a test leaves behind (a value it
// kept on the stacks, a word it redefined, a tracer, the collector switched on) would change
// the next test's start, so each test ends with the runtime's state put back as the runtime
// left it after start-up (state::put_back).
#include <gtest/gtest.h>

#include "state.h"
#include "test_runtime.h"

namespace tav::testing {
namespace {

class StateGuard : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    if (runtime_ready()) state::put_back();
  }
};

const bool installed = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new StateGuard);
  return true;
}();

}  // namespace
}  // namespace tav::testing
