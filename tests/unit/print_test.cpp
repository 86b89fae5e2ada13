#include <gtest/gtest.h>

#include "eval_helpers.h"

namespace tav {
namespace {

using namespace evaltest;

class Print : public ::testing::Test {
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

Cell str(const char* text) {
  Cell s = *string::push_utf8(text);
  stack::pop(1);
  return s;
}

TEST_F(Print, ValuesAreFormedAndHandedToTheHooksWithTheLineFeedFlag) {
  struct Case { Cell code; const char* want; };
  const Case cases[] = {
      {blk({w("print"), str("héllo")}), "héllo\n"},
      {blk({w("prin"), str("a"), w("prin"), i(1), w("print"), str("")}), "a1\n"},
      {blk({w("print"), blk({i(1), blk({i(2), i(3)}), str("x"), i(4), w("+"), i(5)})}),
       "1 2 3 x 9\n"},
      {blk({w("print"), blk({})}), "\n"},
      {blk({w("print"), gw("print")}), "?native?\n"},
      {blk({w("print"), w("func"), blk({}), blk({})}), "?function?\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(printed(c.code), c.want);
  printed(blk({w("prin"), str("")}));
  EXPECT_FALSE(natives::last_line_feed());
  printed(blk({w("print"), str("")}));
  EXPECT_TRUE(natives::last_line_feed());
}

TEST_F(Print, AStringIsPrintedFromItsIndexClampedToItsTail) {
  Cell s = str("abc");
  s.data1 = 1;
  EXPECT_EQ(printed(blk({w("print"), s})), "bc\n");
  s.data1 = 9;
  EXPECT_EQ(printed(blk({w("print"), s})), "\n");
}

TEST_F(Print, APrintInsideAReductionKeepsTheOuterValues) {
  // f: does [print [7 8] 9]   print [1 f 2]
  run(blk({sw("f"), w("does"), blk({w("print"), blk({i(7), i(8)}), i(9)})}));
  EXPECT_EQ(printed(blk({w("print"), blk({i(1), w("f"), i(2)})})), "7 8\n1 9 2\n");
}

TEST_F(Print, AnErrorInsideTheReductionPrintsNothingAndLeavesNoValuesBehind) {
  print_log().clear();
  Outcome o = run(blk({w("print"), blk({i(1), w("no-such-word-here")})}));
  EXPECT_TRUE(o.error);
  EXPECT_EQ(o.id, "script/no-value");
  EXPECT_EQ(print_log(), "");
  EXPECT_EQ(printed(blk({w("print"), blk({i(2)})})), "2\n");
  // A block printed after the failed one holds only its own values, even nested.
  run(blk({sw("g"), w("does"), blk({w("print"), blk({i(3)}), i(4)})}));
  EXPECT_EQ(printed(blk({w("print"), blk({w("g")})})), "3\n4\n");
}

}  // namespace
}  // namespace tav
