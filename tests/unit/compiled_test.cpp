#include <gtest/gtest.h>

#include "eval_helpers.h"
#include "evaluator/compiled.h"

namespace tav {
namespace {

using namespace evaltest;

void install_loops() {
  install();
  define_native("loop", blk({w("count"), blk({w("integer!")}), w("block"), blk({w("block!")})}));
  define_native("recycle", blk({ref("on"), ref("off")}));
}

// Functions made and dropped by the thousand leave no compiled bodies behind once the
// collector has taken them.
TEST(CompiledBodies, GoWithTheirFunctions) {
  install_loops();
  Outcome made = run(loaded("loop 3000 [f: func [x] [x + 1] f 1]"));
  ASSERT_FALSE(made.error) << made.text;
  EXPECT_GE(compiled::program_count(), 1000u);
  Outcome dropped = run(loaded("f: 0 recycle g: func [x] [x * 2] g 3"));
  ASSERT_FALSE(dropped.error) << dropped.text;
  EXPECT_LT(compiled::program_count(), 100u);
}

// A body kept compiled still answers for what it does when it runs again.
TEST(CompiledBodies, KeepTheirFunctionsWorking) {
  install_loops();
  Outcome o = run(loaded("h: func [n] [either n < 2 [n] [(h n - 1) + (h n - 2)]] recycle h 15"));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 610);
  o = run(loaded("h 10"));
  EXPECT_EQ(o.value.int_value(), 55);
}

}  // namespace
}  // namespace tav
