// The interpreter where the language tables cannot reach: what the path walk hands to a
// type's eval-path handler.
#include <gtest/gtest.h>

#include <vector>

#include "eval_helpers.h"

namespace tav {
namespace {

using namespace evaltest;

class Interpreter : public ::testing::Test {
 protected:
  void SetUp() override {
    install();
    saved_ = stack::save();
  }
  void TearDown() override {
    EXPECT_EQ(stack::frames_top, saved_.frames_top);
    EXPECT_EQ(stack::top, saved_.top);
  }
  stack::State saved_{};
};

// Records what the path walk hands to a type's eval-path handler.
struct PathCall {
  Cell parent, element, value, grand_parent, prev_element;
  bool has_value, has_grand, has_prev, tail;
  int index;
};
std::vector<PathCall>& path_calls() {
  static std::vector<PathCall> calls;
  return calls;
}
Cell* recording_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand,
                          Cell* prev, int index, bool, bool, bool tail, bool) {
  EXPECT_TRUE(path && is_any_path(path->type()));
  Cell none = make_cell(TYPE_NONE);
  path_calls().push_back({*parent, *element, value ? *value : none, grand ? *grand : none,
                          prev ? *prev : none, value != nullptr, grand != nullptr,
                          prev != nullptr, tail, index});
  // Reading answers the element, so a walk goes on through the next value's own handler.
  return value ? value : element;
}

TEST_F(Interpreter, PathStepsGoToTheValuesEvalPathHandler) {
  ActionRow saved = action_table[TYPE_LOGIC];
  action_table[TYPE_LOGIC][ACT_EVAL_PATH - 1] = entry(&recording_eval_path);
  set_global("t", make_cell(TYPE_LOGIC, 1));
  // t/(true)/x: 5 -- the second step runs on the logic! the first answered.
  path_calls().clear();
  set_global("yes", make_cell(TYPE_LOGIC, 1));
  Outcome o = run(blk({set_path({w("t"), gw("yes"), w("x")}), i(5)}));
  action_table[TYPE_LOGIC] = saved;
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 5);
  ASSERT_EQ(path_calls().size(), 2u);
  const PathCall& first = path_calls()[0];
  EXPECT_TRUE(first.parent.is(TYPE_LOGIC));
  EXPECT_FALSE(first.has_value);
  EXPECT_FALSE(first.has_grand);
  EXPECT_FALSE(first.tail);
  EXPECT_EQ(first.index, 0);
  const PathCall& second = path_calls()[1];
  EXPECT_TRUE(second.element.is(TYPE_WORD));
  EXPECT_TRUE(second.has_value);
  EXPECT_EQ(second.value.int_value(), 5);
  EXPECT_TRUE(second.has_grand);
  EXPECT_TRUE(second.grand_parent.is(TYPE_LOGIC));
  EXPECT_TRUE(second.prev_element.is(TYPE_LOGIC));
  EXPECT_TRUE(second.tail);
  EXPECT_EQ(second.index, 1);
}

}  // namespace
}  // namespace tav
