#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/stack.h"
#include "test_runtime.h"

namespace tav {
namespace {

class Stacks : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
  }
  void TearDown() override {
    EXPECT_EQ(stack::frames_top, saved_.frames_top);
    stack::restore(saved_);
  }
  stack::State saved_{};
};

TEST_F(Stacks, ArgumentOverflowRaisesAndLeavesTheStackUsable) {
  Cell* top_before = stack::top;
  bool raised = testing::raises([] {
    Cell c = make_cell(TYPE_INTEGER);
    for (;;) stack::push(&c);
  });
  EXPECT_TRUE(raised);
  EXPECT_EQ(stack::top, top_before);
  Cell c = make_cell(TYPE_INTEGER, 0, 42);
  EXPECT_EQ(stack::push(&c)->int_value(), 42);
  stack::pop(1);
}

TEST_F(Stacks, FrameOverflowRaisesAndLeavesTheStackUsable) {
  CallFrame* before = stack::frames_top;
  bool raised = testing::raises([] {
    for (;;) stack::mark_native(nullptr);
  });
  EXPECT_TRUE(raised);
  EXPECT_EQ(stack::frames_top, before);
  stack::mark_native(nullptr);
  stack::unwind_reset();
}

TEST_F(Stacks, PopNeverGoesBelowBegin) {
  Cell* b = stack::base;
  stack::base = stack::begin;
  stack::pop(100000);
  EXPECT_EQ(stack::top, stack::begin);
  stack::base = b;
}

TEST_F(Stacks, UnwindKeepsTheResultAsTheEnclosingCallsArgument) {
  Cell* outer = stack::mark_native(nullptr);
  Cell v = make_cell(TYPE_INTEGER, 0, 1);
  stack::push(&v);
  stack::mark_native(nullptr);
  set_integer(stack::new_cell(), 7);   // the inner call's result slot
  stack::unwind();
  EXPECT_EQ(stack::base, outer);
  EXPECT_EQ(stack::top, outer + 2);
  EXPECT_EQ(outer[1].int_value(), 7);
  stack::unwind_reset();
}

// Each exit kind stops at its own frame and carries its value into that frame's result slot.
TEST_F(Stacks, BreakStopsAtTheNearestLoop) {
  Cell* loop_base = stack::mark_loop(nullptr);
  stack::mark_native(nullptr);
  stack::mark_native(nullptr);
  set_integer(stack::new_cell(), 5);
  Status s = stack::throw_break_continue(true, false);
  EXPECT_EQ(s, CODE_BREAK);
  EXPECT_EQ(stack::base, loop_base);
  EXPECT_EQ(stack::base->int_value(), 5);
  EXPECT_EQ(stack::top_frame()->kind(), uint32_t(FRAME_LOOP));
  stack::unwind_reset();
}
TEST_F(Stacks, ContinueLeavesAnUnsetResult) {
  Cell* loop_base = stack::mark_loop(nullptr);
  stack::mark_native(nullptr);
  set_integer(stack::new_cell(), 5);
  EXPECT_EQ(stack::throw_break_continue(false, true), CODE_CONTINUE);
  EXPECT_EQ(stack::base, loop_base);
  EXPECT_TRUE(stack::base->is(TYPE_UNSET));
  stack::unwind_reset();
}

TEST_F(Stacks, ReturnStopsAtTheReturnTarget) {
  Cell* fn_base = stack::mark_native(nullptr);
  stack::set_return_target(true);
  stack::mark_loop(nullptr);
  stack::mark_native(nullptr);
  set_integer(stack::new_cell(), 9);
  EXPECT_EQ(stack::throw_return_exit(true, false), CODE_RETURN);
  EXPECT_EQ(stack::base, fn_base);
  EXPECT_EQ(stack::base->int_value(), 9);
  EXPECT_EQ(stack::top_frame()->kind(), uint32_t(FRAME_NATIVE));
  stack::unwind_reset();
}

TEST_F(Stacks, ThrowStopsAtTheCatchWithValueAndName) {
  Cell* catch_base = stack::mark_catch(nullptr);
  stack::mark_native(nullptr);
  set_integer(stack::new_cell(), 3);
  set_none(stack::new_cell());
  EXPECT_EQ(stack::throw_value(CODE_THROW), CODE_THROW);
  EXPECT_EQ(stack::base, catch_base);
  EXPECT_EQ(stack::base[0].int_value(), 3);
  EXPECT_TRUE(stack::base[1].is(TYPE_NONE));
  stack::unwind_reset();
}

TEST_F(Stacks, ExitsWithoutTargetRaiseErrorsAndRestoreTheStacks) {
  for (int kind = 0; kind < 3; kind++) {
    CallFrame* frames = stack::frames_top;
    bool raised = testing::raises([kind] {
      stack::mark_native(nullptr);
      set_none(stack::new_cell());
      if (kind == 0) stack::throw_break_continue(false, false);
      if (kind == 1) stack::throw_return_exit(false, false);
      if (kind == 2) stack::throw_value(CODE_THROW);
    });
    EXPECT_TRUE(raised) << kind;
    EXPECT_EQ(stack::frames_top, frames);
  }
}

TEST_F(Stacks, TryAllStopsBreakEvenAboveALoop) {
  stack::mark_loop(nullptr);
  bool raised = testing::raises([] {
    stack::mark_try_all(nullptr);
    stack::mark_native(nullptr);
    set_none(stack::new_cell());
    stack::throw_break_continue(false, false);
  });
  EXPECT_TRUE(raised);
  stack::unwind_reset();
}

TEST_F(Stacks, ErrorUnwindsToTheNearestTry) {
  Cell* try_base = stack::mark_try(nullptr);
  stack::mark_loop(nullptr);
  stack::mark_native(nullptr);
  bool caught = false;
  try {
    error::raise(ERR_MATH, "zero-divide");
  } catch (const Unwind& u) {
    caught = u.code == CODE_ERROR;
  }
  EXPECT_TRUE(caught);
  // The try frame is gone; the error is the last pushed cell above the try's stretch.
  EXPECT_EQ(stack::top - 1, try_base);
  EXPECT_TRUE((stack::top - 1)->is(TYPE_ERROR));
}

}  // namespace
}  // namespace tav
