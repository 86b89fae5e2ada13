// What the language tables cannot see of loops and calls: however they end (normally, by
// break, continue, return or an error), they leave both stacks as they found them.
#include <gtest/gtest.h>

#include <string>

#include "eval_helpers.h"
#include "scanner/lexer.h"

namespace tav {
namespace {

TEST(Control, LoopsAndCallsLeaveTheStacksAsTheyFoundThem) {
  evaltest::install();
  const char* const codes[] = {
      "n: 0 loop 3 [n: n + 1]",
      "loop 5 [break/return 42]",
      "n: 0 loop 5 [n: n + 1 continue n: 100]",
      "n: 0 while [n < 3] [n: n + 1]",
      "while [break] [1]",
      "n: 0 until [n: n + 1 if n = 2 [break/return 'two] false]",
      "foreach [a b] [1 2 3 4] [a * 10 + b]",
      "foreach [a 1] [1 2] [a]",
      "b: [1 2] forall b [b: 5]",
      "b: [1 2 3 4] remove-each x b [if x = 3 [break] true]",
      "f: does [break/return 9] loop 3 [f]",
      "f: does [break] f",
      "f: func [] [loop 3 [foreach x [1 2] [return x * 10]] 0] f",
      "f: func [x /a p /b q] [reduce [x a p b q]] f/b/a 1 3 2",
      "f: func [x /a p] [x] f/a/a 1 2 3",
      "r: func [n] [if n < 5 [either 1 [do [return n * 2]] []] 100] r 3",
      "return 1",
  };
  for (const char* text : codes) {
    stack::State before = stack::save();
    Cell* code = stack::new_cell();
    lexer::transcode(text, code);
    evaltest::run(*code);
    stack::pop(1);
    EXPECT_EQ(stack::frames_top, before.frames_top) << text;
    EXPECT_EQ(stack::top, before.top) << text;
    EXPECT_EQ(stack::base, before.base) << text;
  }
}

}  // namespace
}  // namespace tav
