#include <gtest/gtest.h>

#include "eval_helpers.h"

namespace tav {
namespace {

using namespace evaltest;

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    install();
    saved_ = stack::save();
    // f: func [x /a p /b q] [reduce-free record of what arrived]
    Outcome o = run(blk({sw("f"), w("func"),
                         blk({w("x"), ref("a"), w("p"), ref("b"), w("q")}),
                         blk({w("print"), blk({w("x"), w("a"), w("p"), w("b"), w("q")})})}));
    ASSERT_FALSE(o.error) << o.text;
  }
  void TearDown() override {
    EXPECT_EQ(stack::frames_top, saved_.frames_top);
    EXPECT_EQ(stack::top, saved_.top);
  }
  stack::State saved_{};
};

TEST_F(Calls, RefinementsTakeTheirArgumentsInPathOrder) {
  EXPECT_EQ(printed(blk({w("f"), i(1)})), "1 false none false none\n");
  EXPECT_EQ(printed(blk({path({w("f"), w("a")}), i(1), i(2)})), "1 true 2 false none\n");
  // b's argument comes first in the code, though b follows a in the function spec block.
  EXPECT_EQ(printed(blk({path({w("f"), w("b"), w("a")}), i(1), i(3), i(2)})),
            "1 true 2 true 3\n");
}

TEST_F(Calls, RefinementArgumentsWithNestedCallsKeepOtherRefinementsIntact) {
  run(blk({sw("g"), w("func"), blk({w("v")}), blk({w("v"), w("*"), i(10)})}));
  EXPECT_EQ(printed(blk({path({w("f"), w("b"), w("a")}), i(1), w("g"), i(3), w("g"), i(2)})),
            "1 true 20 true 30\n");
}

TEST_F(Calls, RefinementAndArgumentErrors) {
  struct Case { Cell code; const char* id; };
  const Case cases[] = {
      {blk({path({w("f"), w("a"), w("a")}), i(1), i(2), i(3)}), "script/dup-refine"},
      {blk({path({w("f"), w("z")}), i(1)}), "script/no-refine"},
      {blk({path({w("f"), i(1)}), i(1)}), "script/bad-refine"},
      {blk({w("f")}), "script/no-arg"},
      {blk({path({w("f"), w("a")}), i(1)}), "script/no-arg"},
      {blk({w("if"), i(1), i(2)}), "script/expect-arg"},
      {blk({gw("f"), w("func")}), "script/no-arg"},
      {blk({path({gw("f"), w("a")})}), "script/word-first"},
  };
  for (const Case& c : cases) {
    Outcome o = run(c.code);
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.id, c.id);
  }
}

TEST_F(Calls, NativePathRefinementsAreCheckedToo) {
  Outcome o = run(blk({path({w("do"), w("next"), w("next")}), blk({}), lw("x"), lw("y")}));
  EXPECT_EQ(o.id, "script/dup-refine");
  EXPECT_EQ(run(blk({path({w("print"), w("only")}), i(1)})).id, "script/no-refine");
}

TEST_F(Calls, ArgumentKindsQuotedAndGet) {
  // q: func ['w :g] [print [w g]]
  run(blk({sw("q"), w("func"), blk({lw("word"), gw("got")}),
           blk({w("print"), blk({w("word"), w("got")})})}));
  EXPECT_EQ(printed(blk({w("q"), w("hello"), paren({i(1), w("+"), i(1)})})), "hello 1 + 1\n");
  EXPECT_EQ(printed(blk({w("q"), paren({i(2), w("+"), i(3)}), w("q")})), "5 q\n");
  // A quoted argument admitting unset! takes unset at the end of the code.
  run(blk({sw("opt"), w("func"), blk({lw("v"), blk({w("any-type!")})}),
           blk({w("print"), i(1)})}));
  EXPECT_EQ(printed(blk({w("opt")})), "1\n");
}

TEST_F(Calls, ReturnFromNestedBlocksEndsTheFunction) {
  run(blk({sw("r"), w("func"), blk({w("n")}),
           blk({w("if"), w("n"), w("<"), i(5),
                blk({w("either"), i(1), blk({w("do"), blk({w("return"), w("n"), w("*"), i(2)})}),
                     blk({})}),
                i(100)})}));
  EXPECT_EQ(run(blk({w("r"), i(3)})).value.int_value(), 6);
  EXPECT_EQ(run(blk({w("r"), i(7)})).value.int_value(), 100);
  // The argument takes the whole infix expression; the returned value is print's argument.
  EXPECT_EQ(printed(blk({w("print"), w("r"), i(2), w("+"), i(1)})), "6\n");
  run(blk({sw("e"), w("does"), blk({w("exit"), i(1)})}));
  EXPECT_TRUE(run(blk({w("e")})).value.is(TYPE_UNSET));
}

TEST_F(Calls, ReturnOutsideAFunctionIsAnError) {
  EXPECT_EQ(run(blk({w("return"), i(1)})).id, "throw/return");
}

TEST_F(Calls, RecursionSeesItsOwnArguments) {
  // fact: func [n] [either n < 2 [1] [n * fact n - 1]]
  run(blk({sw("fact"), w("func"), blk({w("n")}),
           blk({w("either"), w("n"), w("<"), i(2), blk({i(1)}),
                blk({w("n"), w("*"), paren({w("fact"), w("n"), w("-"), i(1)})})})}));
  EXPECT_EQ(run(blk({w("fact"), i(10)})).value.int_value(), 3628800);
  // After the call the function's words are not readable.
  run(blk({sw("peek"), w("func"), blk({w("n")}), blk({lw("n")})}));
  Cell word = run(blk({w("peek"), i(1)})).value;
  EXPECT_EQ(run(blk({word})).id, "script/not-in-context");
}

TEST_F(Calls, ActionsRunThroughTheActionsLayerWithRefinementPositions) {
  Cell b = blk({i(1)});
  run(blk({sw("b"), b}));
  // append/dup/only b [2] 2 takes the refinements' arguments in path order.
  Outcome o = run(blk({w("append"), w("b"), i(5),
                       path({w("append"), w("dup"), w("only")}), w("b"), blk({i(2)}), i(2)}));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(molded(b), "[1 5 [2] [2]]");
  EXPECT_EQ(run(blk({w("length?"), w("b")})).value.int_value(), 4);
  // The unsupported action names the running call and the type.
  EXPECT_EQ(run(blk({w("length?"), i(3)})).id, "script/expect-arg");
}

}  // namespace
}  // namespace tav
