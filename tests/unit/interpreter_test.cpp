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

TEST_F(Interpreter, OperatorsChainLeftToRightWithoutPrecedence) {
  EXPECT_EQ(printed(blk({w("print"), i(1), w("+"), i(2), w("*"), i(3)})), "9\n");
  EXPECT_EQ(printed(blk({w("print"), i(2), w("*"), w("negate"), i(3), w("+"), i(1)})), "-8\n");
}

TEST_F(Interpreter, BlockValueIsItsLastExpressionAndEmptyIsUnset) {
  Outcome o = run(blk({i(1), i(2), i(3)}));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 3);
  EXPECT_TRUE(run(blk({})).value.is(TYPE_UNSET));
}

TEST_F(Interpreter, IntegerOverflowGivesTheExactFloat) {
  struct Case { int32_t a; const char* op; int32_t b; double want; };
  const Case cases[] = {{2147483647, "+", 1, 2147483648.0},
                        {-2147483647 - 1, "-", 1, -2147483649.0},
                        {65536, "*", 65536, 4294967296.0}};
  for (const Case& c : cases) {
    Outcome o = run(blk({i(c.a), w(c.op), i(c.b)}));
    ASSERT_TRUE(o.value.is(TYPE_FLOAT)) << c.op;
    EXPECT_EQ(o.value.float_value(), c.want);
  }
}

TEST_F(Interpreter, ErrorsOfExpressions) {
  struct Case { Cell code; const char* id; };
  const Case cases[] = {
      {blk({w("never-set-anywhere")}), "script/no-value"},
      {blk({sw("x")}), "script/need-value"},
      {blk({w("+"), i(1)}), "script/no-op-arg"},
      {blk({path({i(1), i(2)})}), "script/word-first"},
      {blk({path({})}), "script/empty-path"},
      {blk({w("print")}), "script/no-arg"},
      {blk({i(1), w("+")}), "script/no-arg"},
  };
  for (const Case& c : cases) {
    Outcome o = run(c.code);
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.id, c.id);
  }
}

TEST_F(Interpreter, SetWordsGetWordsLitWordsAndParens) {
  Outcome o = run(blk({sw("a"), sw("b"), paren({i(4), w("+"), i(1)}), w("*"), i(2), w("a")}));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 10);
  EXPECT_EQ(run(blk({w("b")})).value.int_value(), 10);
  Outcome g = run(blk({gw("print")}));
  EXPECT_TRUE(g.value.is(TYPE_NATIVE));
  Outcome l = run(blk({lw("a")}));
  EXPECT_TRUE(l.value.is(TYPE_WORD));
}

TEST_F(Interpreter, PathsPickAndSetBlockElements) {
  Cell data = blk({i(10), i(20), i(30)});
  run(blk({sw("data"), data}));
  EXPECT_EQ(run(blk({path({w("data"), i(2)})})).value.int_value(), 20);
  EXPECT_TRUE(run(blk({path({w("data"), i(4)})})).value.is(TYPE_NONE));
  run(blk({sw("k"), i(3)}));
  EXPECT_EQ(run(blk({path({w("data"), gw("k")})})).value.int_value(), 30);
  Outcome s = run(blk({set_path({w("data"), paren({i(0), w("+"), i(1)})}), i(99)}));
  ASSERT_FALSE(s.error) << s.text;
  EXPECT_EQ(s.value.int_value(), 99);
  EXPECT_EQ(node_buffer(data.node())->cells()[0].int_value(), 99);
}

TEST_F(Interpreter, ConditionalsChainTheirBranch) {
  EXPECT_EQ(printed(blk({w("print"), w("either"), i(1), w("<"), i(2), blk({i(7)}), blk({i(8)})})),
            "7\n");
  set_global("nothing", make_cell(TYPE_NONE));
  EXPECT_TRUE(run(blk({w("if"), w("nothing"), blk({i(1)})})).value.is(TYPE_NONE));
  EXPECT_EQ(run(blk({w("if"), i(0), blk({i(5)})})).value.int_value(), 5);
}

TEST_F(Interpreter, DeepRecursionRaisesStackOverflowAndTheRuntimeStaysUsable) {
  struct Ctx { Outcome o; Outcome after; } ctx;
  runtime::run_on_large_stack(
      [](void* p) {
        auto* c = static_cast<Ctx*>(p);
        run(blk({sw("down"), w("func"), blk({w("n")}), blk({w("down"), w("n"), w("+"), i(1)})}));
        c->o = run(blk({w("down"), i(1)}));
        c->after = run(blk({i(2), w("+"), i(2)}));
        return 0;
      },
      &ctx);
  EXPECT_TRUE(ctx.o.error);
  EXPECT_EQ(ctx.o.id, "internal/stack-overflow");
  EXPECT_EQ(ctx.after.value.int_value(), 4);
}

TEST_F(Interpreter, DeeplyNestedParensHitTheDepthGuard) {
  // Nested without calls: only the depth guard stands between this and the machine stack.
  Cell code = i(1);
  for (int k = 0; k < 40000; ++k) code = paren({code});
  struct Ctx { Cell code; Outcome o; } ctx{code, {}};
  runtime::run_on_large_stack(
      [](void* p) {
        auto* c = static_cast<Ctx*>(p);
        c->o = run(blk({c->code}));
        return 0;
      },
      &ctx);
  EXPECT_TRUE(ctx.o.error);
  EXPECT_EQ(ctx.o.id, "internal/stack-overflow");
}

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

TEST_F(Interpreter, APathThroughAValueWithoutEvalPathRaisesBadPathType) {
  run(blk({sw("n"), i(1)}));
  Outcome o = run(blk({path({w("n"), w("x"), w("y")})}));
  EXPECT_EQ(o.id, "script/bad-path-type");
  // "n returned a integer! value, so n/x/y could not be accessed": the prefix is the head.
  ASSERT_TRUE(o.error);
  Cell prefix = *error::field(&o.error_value, ERROR_ARG3);
  ASSERT_TRUE(prefix.is(TYPE_BLOCK));
  ASSERT_EQ(node_buffer(prefix.node())->count() - prefix.index(), 1u);
  EXPECT_EQ(name_of(node_buffer(prefix.node())->cells()[prefix.index()].data2), "n");
}

TEST_F(Interpreter, OperatorsOnOtherTypesKeepTheValuesAroundThem) {
  // The generic comparison runs under a frame of its own, above what the expression holds.
  EXPECT_EQ(printed(blk({w("print"), blk({i(5), blk({i(1)}), w("<"), blk({i(2)}), i(6)})})),
            "5 true 6\n");
  Outcome o = run(blk({i(5), blk({i(1)}), w("<"), blk({i(2)})}));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_TRUE(o.value.is(TYPE_LOGIC));
  EXPECT_EQ(run(blk({blk({i(1)}), w("<"), i(2)})).id, "script/invalid-compare");
}

}  // namespace
}  // namespace tav
