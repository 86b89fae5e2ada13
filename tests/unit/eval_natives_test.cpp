#include <string>
#include <vector>

#include "core/cycles.h"
#include "eval_helpers.h"
#include "scanner/lexer.h"
#include "scanner/tokens.h"

namespace tav {
namespace {

using evaltest::Outcome;

// Typesets by name, for the natives' specs.
class EvalNatives : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { evaltest::install(); }

  // The values of a text, as a block.
  static Cell load(const char* text) { return evaltest::loaded(text); }

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
  std::string mold(const char* text) {
    Outcome o = eval(text);
    EXPECT_FALSE(o.error) << text << ": " << o.text;
    return o.error ? "error: " + o.id : evaltest::molded(o.value);
  }
  std::string error_id(const char* text) {
    Outcome o = eval(text);
    EXPECT_TRUE(o.error) << text;
    return o.id;
  }
  TypeId type_of(const char* text) {
    Outcome o = eval(text);
    EXPECT_FALSE(o.error) << text << ": " << o.text;
    return o.value.type();
  }

  struct Case {
    const char* code;
    const char* expected;   // the mold of the result, or "error: category/id"
  };
  void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      Outcome o = eval(c.code);
      std::string got = o.error ? "error: " + o.id : evaltest::molded(o.value);
      EXPECT_EQ(got, c.expected) << c.code << (o.error ? "\n" + o.text : "");
    }
  }
};

// ---- do --------------------------------------------------------------------------------------

TEST_F(EvalNatives, DoEvaluatesBlocksTextWordsAndPlainValues) {
  check({
      {"do [1 + 2 3 * 4]", "12"},
      {"do []", "unset"},
      {R"(do "x1: 5 x1 + 1")", "6"},
      {"do 7", "7"},
      {"w1: 3 do 'w1", "3"},
      {"o: construct [a: 5] do 'o/a", "5"},
      {"do try [no-such-word-here]", "error: script/no-value"},
      {R"(do "1 + [")", "error: syntax/missing"},
  });
}

TEST_F(EvalNatives, DoNextEvaluatesOneExpressionAndMovesThePositionWord) {
  check({
      {"b: [1 + 2 10 * 2] do/next b 'pos", "3"},
      {"b: [1 + 2 10 * 2] do/next b 'pos index? pos", "4"},
      {"b: [1 + 2 10 * 2] do/next b 'pos do/next pos 'pos", "20"},
      {"b: [] do/next b 'pos", "unset"},
      {"b: [] do/next b 'pos index? pos", "1"},
  });
}

// do hands a file to the script runner, whose reading of it fails here.
TEST_F(EvalNatives, DoOfAFileGoesToTheScriptRunner) {
  EXPECT_EQ(error_id("do %/no-such-folder-here/script.tav"), "access/cannot-open");
}

// ---- reduce and compose ------------------------------------------------------------------------

TEST_F(EvalNatives, ReduceEvaluatesEveryExpression) {
  check({
      {"reduce [1 + 2 3 * 4 [a b]]", "[3 12 [a b]]"},
      {"reduce []", "[]"},
      {"v1: 9 reduce 'v1", "9"},
      {"reduce 5", "5"},
      {"reduce [1 nothing-there]", "error: script/no-value"},
  });
  // A function value comes back as it is, not called.
  EXPECT_EQ(type_of("f: func [] [1] reduce :f"), TYPE_FUNCTION);
}

TEST_F(EvalNatives, ReduceIntoInsertsBeforeTheIndexOrAppendsAtTheTail) {
  check({
      // Insert mode: the result is the target after the inserted values.
      {"b: [a b] reduce/into [1 + 1 3] b", "[a b]"},
      {"b: [a b] reduce/into [1 + 1 3] b b", "[2 3 a b]"},
      // Append mode: the result is the target where it started.
      {"b: next [x] reduce/into [1 + 1] b", "[2]"},
      {"b: next [x] reduce/into [1 + 1] b head b", "[x 2]"},
      {"b: [] reduce/into 4 b", "[4]"},
  });
}

TEST_F(EvalNatives, ComposeEvaluatesParensOnly) {
  check({
      {"compose [a (1 + 1) b]", "[a 2 b]"},
      {"compose [a () (do []) b]", "[a b]"},
      {"compose [a (reduce [1 2]) ([]) b]", "[a 1 2 b]"},
      {"compose/only [a (reduce [1 2]) b]", "[a [1 2] b]"},
      {"b: compose [[(1 + 1)] (none)] b/2", "none"},
      {"compose/deep [x [(1 + 1) [(2 + 2)]]]", "[x [2 [4]]]"},
      {"compose/deep/only [[(reduce [1 2])]]", "[[[1 2]]]"},
      {"b: [z] compose/into [(1 + 1) q] b b", "[2 q z]"},
      {"compose [(nothing-at-all)]", "error: script/no-value"},
  });
  // Without /deep a nested block is kept as it is, parens and all.
  EXPECT_EQ(type_of("b: compose [[(1 + 1)] (none)] b/1/1"), TYPE_PAREN);
}

TEST_F(EvalNatives, ComposeDeepOfABlockHoldingItselfStopsWithAnError) {
  Outcome o = eval("b: [x] b/1: b compose/deep b");
  ASSERT_TRUE(o.error);
  EXPECT_EQ(o.id, "internal/stack-overflow");
}

// ---- get, set, unset, value? -----------------------------------------------------------------

TEST_F(EvalNatives, GetReadsWordsPathsAndObjects) {
  check({
      {"g1: 4 get 'g1", "4"},
      {"get 'never-set-word", "error: script/no-value"},
      {"get/any 'never-set-word", "unset"},
      {"o: construct [a: 1 b: [2]] get o", "[1 [2]]"},
      {"o: construct [a: 1 b: [2]] get 'o/b", "[2]"},
  });
}

TEST_F(EvalNatives, SetWritesWordsBlocksObjectsAndPaths) {
  check({
      {"set 's1 5 s1", "5"},
      {"set 's1 do []", "error: script/need-value"},
      {"set/any 's1 do [] get/any 's1", "unset"},
      {"set [s1 s2 s3] [1 2] reduce [s1 s2 s3]", "[1 2 none]"},
      {"set [s1 s2] 9 reduce [s1 s2]", "[9 9]"},
      {"set/only [s1 s2] [7 8] s2", "[7 8]"},
      {"s1: 1 set/some [s1 s2] reduce [none 3] reduce [s1 s2]", "[1 3]"},
      {"set [s1 1] [1 2]", "error: script/invalid-arg"},
      {"set [s1 s2] reduce [1 do []]", "error: script/need-value"},
      {"o: construct [a: 1 b: 2] set o [5 6] get o", "[5 6]"},
      {"o: construct [a: 1] set 'o/a 9 o/a", "9"},
  });
}

TEST_F(EvalNatives, SetOfABlockChecksEveryWordBeforeSettingAny) {
  check({{"s4: 0 try [set [s4 1] [1 2]] s4", "0"}});
}

TEST_F(EvalNatives, UnsetAndValueQ) {
  check({
      {"u1: 1 unset 'u1 value? 'u1", "false"},
      {"u1: 1 u2: 2 unset [u1 u2 3] reduce [value? 'u1 value? 'u2]", "[false false]"},
      {"u3: 1 value? 'u3", "true"},
      {"value? 'never-given-a-value", "false"},
  });
}

// ---- binding -----------------------------------------------------------------------------------

TEST_F(EvalNatives, BindAndInFindWordsWithoutRegardToCase) {
  check({
      {"o: construct [foo: 1] get bind 'FOO o", "1"},
      {"foo: 0 o: construct [foo: 1] b: [foo] bind b o do b", "1"},
      {"foo: 0 o: construct [foo: 1] b: [foo] c: bind/copy b o reduce [do b do c]", "[0 1]"},
      {"o: construct [foo: 1] get in o 'FOO", "1"},
      {"o: construct [foo: 1] in o 'bar", "none"},
      {"f: func [a] [a] in :f 'a", "a"},
  });
  EXPECT_EQ(type_of("o: construct [foo: 1] in o /foo"), TYPE_WORD);
  // A word that the context lacks keeps its binding.
  check({{"bar: 2 o: construct [foo: 1] get bind 'bar o", "2"}});
}

TEST_F(EvalNatives, ContextQNamesTheOwnerOfAWordsContext) {
  EXPECT_EQ(type_of("o: construct [foo: 1] context? in o 'foo"), TYPE_OBJECT);
  EXPECT_EQ(type_of("f: func [a] [context? 'a] f 1"), TYPE_FUNCTION);
  check({{"o: construct [foo: 1] same-obj: context? in o 'foo set o [5] same-obj/foo", "5"}});
}

TEST_F(EvalNatives, ConstructTakesValuesUnevaluated) {
  check({
      {"o: construct [a: 1 + 2 b: true c: none] reduce [o/a o/b o/c]", "[1 true none]"},
      {"p: construct [a: 1 b: 2] o: construct/with [b: 3] p reduce [o/a o/b]", "[1 3]"},
      {"extend construct [a: 1] [b 2]", "error: internal/not-done"},
  });
  EXPECT_EQ(type_of("o: construct/only [b: true] o/b"), TYPE_WORD);
}

TEST_F(EvalNatives, HasMakesLocalsOnly) {
  check({
      {"h1: 1 f: has [h1] [h1: 5 h1 + 1] reduce [f h1]", "[6 1]"},
      {"f: has [h1] [h1] reduce [f 1]", "[none 1]"},   // no arguments: the 1 stays
  });
}

// ---- try ---------------------------------------------------------------------------------------

TEST_F(EvalNatives, TryGivesTheValueOrTheCaughtError) {
  check({
      {"try [1 + 2]", "3"},
      {"try []", "unset"},
      {"try [try [nothing-1] 5]", "5"},
      {"f: func [] [g] g: func [] [1 + nothing-2] do try [f]", "error: script/no-value"},
  });
  Outcome o = eval("try [1 + nothing-3]");
  ASSERT_FALSE(o.error) << o.text;
  ASSERT_EQ(o.value.type(), TYPE_ERROR);
  EXPECT_EQ(error::id_name(&o.value), "no-value");
  // The error raised again by do reaches the next try out.
  o = eval("e: try [nothing-4] try [do e]");
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.type(), TYPE_ERROR);
}

TEST_F(EvalNatives, TryPutsEveryStackBackBeforeGoingOn) {
  // An error deep in calls leaves nothing behind: the next calls see clean frames.
  check({
      {"f: func [x] [g x] g: func [y] [h y] h: func [z] [z + nothing-5] "
       "try [f 1] k: func [a b] [a + b] k 3 4",
       "7"},
      {"r: reduce [1 try [reduce [2 nothing-6]] 3] r/3", "3"},
  });
}

TEST_F(EvalNatives, TryAllTurnsNonLocalExitsIntoErrors) {
  check({
      {"f: func [] [try [return 1] 2] f", "1"},
      {"f: func [] [try/all [return 1] 2] f", "2"},
      {"catch [try [throw 5] 6]", "5"},
      {"catch [try/all [throw 5] 6]", "6"},
  });
  Outcome o = eval("try/all [break]");
  ASSERT_FALSE(o.error) << o.text;
  ASSERT_EQ(o.value.type(), TYPE_ERROR);
  EXPECT_EQ(error::id_name(&o.value), "break");
  o = eval("try/all [continue]");
  ASSERT_EQ(o.value.type(), TYPE_ERROR);
  EXPECT_EQ(error::id_name(&o.value), "continue");
}

TEST_F(EvalNatives, BreakAndContinueOutsideALoopAreThrowErrors) {
  Outcome o = eval("break");
  EXPECT_EQ(o.id, "throw/break");
  EXPECT_NE(o.text.find("no loop to break"), std::string::npos) << o.text;
  EXPECT_EQ(eval("continue").id, "throw/continue");
}

// ---- catch and throw ---------------------------------------------------------------------------

TEST_F(EvalNatives, CatchTakesTheThrownValue) {
  check({
      {"catch [throw 1 2]", "1"},
      {"catch [3]", "3"},
      {"catch [4 + catch [throw 5]]", "9"},
      {"f: func [] [throw 4] catch [f 9]", "4"},
      {"f: func [x] [throw x] 10 + catch [1 + f 2]", "12"},
  });
}

TEST_F(EvalNatives, CatchNameMatchesNamedThrowsOnly) {
  check({
      {"catch/name [throw/name 1 'a] 'a", "1"},
      {"catch/name [throw/name 1 'A] 'a", "1"},
      {"catch [catch/name [throw/name 1 'b 5] 'a 6]", "1"},
      {"catch [catch/name [throw 7] 'a 8]", "7"},
      {"catch/name [catch/name [throw/name 2 'b] 'a] 'b", "2"},
      {"catch/name [throw/name 1 'b] [a b]", "1"},
      {"catch/name [throw/name 1 'b] [1 b]", "error: script/invalid-refine-arg"},
      {"catch/name [throw 1] 'a", "error: throw/throw"},
  });
  Outcome o = eval("throw 3");
  EXPECT_EQ(o.id, "throw/throw");
  EXPECT_NE(o.text.find("no catch for throw: 3"), std::string::npos) << o.text;
}

// ---- apply -------------------------------------------------------------------------------------

TEST_F(EvalNatives, ApplyCallsWithAnEvaluatedArgumentBlock) {
  const char* f = "f: func [a b /r c] [either r [a + b + c] [a - b]] ";
  auto with_f = [&](const char* rest) { return std::string(f) + rest; };
  std::vector<std::string> codes = {
      with_f("apply :f [5 2]"),
      with_f("apply 'f [2 + 3 2]"),
      with_f("apply 'f [5 2 /r true 10]"),
      with_f("apply 'f [5 2 /r false 10]"),
      with_f("apply/all 'f [5 2 true 10]"),
      with_f("apply/all 'f [5 2]"),
      with_f("apply/safer 'f [5 2 /r false nothing-7]"),
      with_f("apply 'f [5 2 /r false nothing-7]"),
      with_f("apply 'f/r [5 2 10]"),
      with_f("apply 'f [5]"),
      with_f("apply 'f [5 2 /z true]"),
      with_f("apply 'f [5 2 r]"),
      "x: 1 apply 'x [1]",
      "apply :lesser? [1 2]",
  };
  const char* expected[] = {"3", "3", "17", "3", "17", "3", "3", "error: script/no-value",
                            "17", "error: script/no-arg", "error: script/no-refine",
                            "error: script/bad-refine", "error: script/invalid-arg", "true"};
  for (size_t i = 0; i < codes.size(); ++i) {
    Outcome o = eval(codes[i].c_str());
    std::string got = o.error ? "error: " + o.id : evaltest::molded(o.value);
    EXPECT_EQ(got, expected[i]) << codes[i] << (o.error ? "\n" + o.text : "");
  }
}

TEST_F(EvalNatives, ApplyPassesValuesWithoutEvaluatingThemAgain) {
  EXPECT_EQ(type_of("id: func [v] [:v] apply 'id ['x]"), TYPE_WORD);
  EXPECT_EQ(type_of("id: func [v] [:v] g: func [] [1] apply 'id [:g]"), TYPE_FUNCTION);
  check({{"t: func [v [integer!]] [v] apply 't [\"s\"]", "error: script/expect-arg"}});
}

// ---- transcode ---------------------------------------------------------------------------------

TEST_F(EvalNatives, TranscodeLoadsText) {
  check({
      {R"(transcode "1 [2 3] a")", "[1 [2 3] a]"},
      {R"(transcode "")", "[]"},
      {R"(transcode/one "42 x")", "42"},
      {R"(transcode/next "42 x")", R"([42 " x"])"},
      {R"(transcode/part "123 4" 2)", "[12]"},
      {R"(transcode/part "123 4" -1)", "[]"},
      {R"(b: [x] transcode/into "1 2" b b)", "[x 1 2]"},
      {R"(transcode/scan "")", "none"},
      {R"(transcode/scan "42")", "integer!"},
      {R"(transcode/prescan "[1")", "error!"},
      {R"(transcode "[1")", "error: syntax/missing"},
  });
}

}  // namespace
}  // namespace tav
