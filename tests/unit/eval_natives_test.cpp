// What the language tables cannot see of the evaluation natives: however they end, they
// leave the stacks, the frames and the cycle guard as they found them; and do of a file goes
// to the script runner, which the unit tests' runtime does not have.
#include <gtest/gtest.h>

#include "core/cycles.h"
#include "eval_helpers.h"
#include "scanner/lexer.h"

namespace tav {
namespace {

using evaltest::Outcome;

class EvalNatives : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { evaltest::install(); }

  // Evaluates a text; the stacks, frames and cycle stack are checked to be as they were.
  Outcome eval(const char* text) {
    Cell* top = stack::top;
    CallFrame* frames = stack::frames_top;
    uint32_t cycles_depth = cycles::depth();
    Cell* holder = stack::new_cell();
    lexer::transcode(text, holder);
    Outcome o = evaltest::run(*holder);
    stack::top = top;
    EXPECT_EQ(stack::frames_top, frames) << text;
    EXPECT_EQ(cycles::depth(), cycles_depth) << text;
    return o;
  }
};

TEST_F(EvalNatives, LeaveTheStacksFramesAndCycleGuardAsTheyFoundThem) {
  const char* const codes[] = {
      "do [1 + 2 3 * 4]",
      "do \"1 + [\"",
      "b: [1 + 2 10 * 2] do/next b 'pos do/next pos 'pos",
      "reduce [1 nothing-there]",
      "b: [z] compose/into [(1 + 1) q] b",
      "b: [x] b/1: b compose/deep b",
      "set [s1 s2] reduce [1 do []]",
      "f: func [x] [g x] g: func [y] [h y] h: func [z] [z + nothing-5] try [f 1]",
      "f: func [] [try [return 1] 2] f",
      "catch [try/all [throw 5] 6]",
      "catch/name [throw 1] 'a",
      "f: func [a b /r c] [a] apply 'f [5 2 /r false nothing-7]",
      "f: func [a b /r c] [a] apply 'f [5 2 /z true]",
      "transcode \"[1\"",
  };
  for (const char* text : codes) eval(text);
}

// do hands a file to the script runner, whose reading of it fails here.
TEST_F(EvalNatives, DoOfAFileGoesToTheScriptRunner) {
  EXPECT_EQ(eval("do %/no-such-folder-here/script.tav").id, "access/cannot-open");
}

}  // namespace
}  // namespace tav
