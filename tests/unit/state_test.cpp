// The runtime's state reset: what a test changes is put back as start-up left it.
#include <gtest/gtest.h>

#include <string>

#include "core/collector.h"
#include "core/context.h"
#include "core/symbols.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "scanner/lexer.h"
#include "state.h"
#include "test_runtime.h"

namespace tav {
namespace {

// Evaluates text; false when it raised.
bool eval(const std::string& text) {
  return !testing::raises([&] {
    Cell* code = stack::new_cell();
    lexer::transcode(text, code);
    interp::eval_block(code, false);
  });
}

const Cell* global_value(const char* name) {
  return context::global_value_cell(symbol::make(name));
}

TEST(StateReset, PutsBackWordsStacksTracingAndSwitches) {
  testing::ensure_runtime();
  const Cell either_before = *global_value("either");
  const stack::State stacks_before = stack::save();
  const bool tiers_before = interp::tiers_enabled();

  ASSERT_TRUE(eval("either: 1 state-test-new-word: 2"));
  stack::push(global_value("either"));
  stack::mark_try(nullptr);
  ASSERT_TRUE(trace::install(global_value("either")));
  interp::set_tiers_enabled(!tiers_before);
  trace::set_callback_bits(3);
  collector::enabled = true;

  state::put_back();

  EXPECT_EQ(global_value("either")->header, either_before.header);
  EXPECT_EQ(global_value("either")->data1, either_before.data1);
  EXPECT_EQ(global_value("either")->data2, either_before.data2);
  EXPECT_EQ(global_value("either")->data3, either_before.data3);
  EXPECT_TRUE(global_value("state-test-new-word")->is(TYPE_UNSET));
  EXPECT_EQ(stack::top, stacks_before.top);
  EXPECT_EQ(stack::frames_top, stacks_before.frames_top);
  EXPECT_FALSE(trace::installed);
  EXPECT_FALSE(trace::active);
  EXPECT_EQ(trace::callback_bits(), 0u);
  EXPECT_EQ(interp::tiers_enabled(), tiers_before);
  EXPECT_EQ(interp::fast_tiers, tiers_before);
  EXPECT_FALSE(collector::enabled);
  // The runtime goes on as before.
  EXPECT_TRUE(eval("either 1 < 2 [3] [4]"));
}

// A library function redefined by a test survives a collection made before the reset: the
// kept values are marked while kept.
TEST(StateReset, KeepsTheOldValuesAliveUntilPutBack) {
  testing::ensure_runtime();
  ASSERT_TRUE(global_value("repend")->is(TYPE_FUNCTION));
  ASSERT_TRUE(eval("repend: none"));
  collector::collect();
  state::put_back();
  ASSERT_TRUE(global_value("repend")->is(TYPE_FUNCTION));
  EXPECT_TRUE(eval("if [1 2] <> repend [1] [1 + 1] [do make error! \"lost\"]"));
}

}  // namespace
}  // namespace tav
