#include <gtest/gtest.h>

#include <string>

#include "eval_helpers.h"
#include "scanner/lexer.h"
#include "scanner/tokens.h"

namespace tav {
namespace {

// The values of a text, kept on the argument stack.
Cell load_text(const std::string& text) {
  Cell out;
  lexer::transcode(text, &out);
  return out;
}

void install_control() { evaltest::install(); }

class Control : public ::testing::Test {
 protected:
  void SetUp() override {
    install_control();
    saved_ = stack::save();
  }
  void TearDown() override {
    // Every loop pops its frame, however it ends.
    EXPECT_EQ(stack::frames_top, saved_.frames_top);
    EXPECT_EQ(stack::top, saved_.top);
  }

  static evaltest::Outcome eval(const std::string& text) {
    Cell* code = stack::new_cell();
    *code = load_text(text);
    evaltest::Outcome o = evaltest::run(*code);
    stack::pop(1);
    return o;
  }
  // The mold of the value of a text, or the error as the console shows it.
  static std::string result(const std::string& text) {
    evaltest::Outcome o = eval(text);
    if (o.error) return o.text;
    if (o.value.is(TYPE_UNSET)) return "unset";
    return evaltest::molded(o.value);
  }
  // What a text printed; it must not fail.
  static std::string output(const std::string& text) {
    evaltest::print_log().clear();
    evaltest::Outcome o = eval(text);
    EXPECT_FALSE(o.error) << text << ": " << o.text;
    return evaltest::print_log();
  }
  stack::State saved_{};
};

struct Case {
  const char* code;
  const char* want;
};

void check_cases(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    evaltest::Outcome o;
    std::string got;
    {
      Cell* code = stack::new_cell();
      *code = load_text(c->code);
      o = evaltest::run(*code);
      stack::pop(1);
      got = o.error ? o.text : (o.value.is(TYPE_UNSET) ? "unset" : evaltest::molded(o.value));
    }
    // An error is checked by its first line; Where and Near follow it.
    if (o.error) got = got.substr(0, got.find('\n'));
    EXPECT_EQ(got, c->want) << c->code;
  }
}

TEST_F(Control, Conditionals) {
  const Case cases[] = {
      {"unless false [1]", "1"},
      {"unless none [2]", "2"},
      {"unless 0 [1]", "none"},
      {"unless () [1]", "none"},                       // unset! is truthy
      {"if () [7]", "7"},
      {"any []", "none"},
      {"any [none false 3 4]", "3"},
      {"any [none false]", "none"},
      {"any [false ()]", "unset"},
      {"all []", "none"},
      {"all [1 2 3]", "3"},
      {"all [1 none 3]", "none"},
      {"all [1 ()]", "unset"},
      {"either () [1] [2]", "*** Script Error: block did not return a value"},
  };
  check_cases(std::begin(cases), std::end(cases));
}

TEST_F(Control, AnyAndAllStopAtTheDecidingValue) {
  EXPECT_EQ(output("any [false print 1 2 print 3]"), "1\n");
  EXPECT_EQ(output("all [1 print 2 none print 3]"), "2\n");
}

TEST_F(Control, Switch) {
  const Case cases[] = {
      {"switch 2 [1 [10] 2 [20] 3 [30]]", "20"},
      {"switch 2 [1 2 [12] 3 [30]]", "12"},            // several values share a block
      {"switch 4 [1 [10]]", "none"},
      {"switch/default 4 [1 [10]] [99]", "99"},
      {"switch 1 [1.0 [10]]", "none"},                 // same datatype only
      {"switch [1] [[1] [10]]", "none"},               // a block never matches
      {"switch 3 [1 [10] 3]", "none"},                 // no block after the match
      {"switch \"b\" [\"a\" [1] \"B\" [2]]", "2"},
      {"switch #\"x\" [#\"x\" [5]]", "5"},
  };
  check_cases(std::begin(cases), std::end(cases));
}

TEST_F(Control, Case) {
  const Case cases[] = {
      {"case []", "none"},
      {"case [false [1] true [2] true [3]]", "2"},
      {"case [false [1]]", "none"},
      {"case [1 > 2 [a] 2 > 1 10 + 5]", "15"},         // an action need not be a block
      {"case/all [true [1] true [2]]", "2"},
      {"case/all [true [1] false [2]]", "none"},       // the last condition decides
      {"case [true]", "*** Script Error: case needs a value"},
      {"case [() [1]]", "*** Script Error: block did not return a value"},
  };
  check_cases(std::begin(cases), std::end(cases));
  EXPECT_EQ(output("case/all [true [print 1] false [print 2] true [print 3]]"), "1\n3\n");
  EXPECT_EQ(output("case [true [print 1] true [print 2]]"), "1\n");
}

TEST_F(Control, CountedLoops) {
  const Case cases[] = {
      {"n: 0 loop 3 [n: n + 1]", "3"},
      {"n: 0 loop 2.9 [n: n + 1] n", "2"},
      {"loop 0 [1]", "none"},
      {"loop -1 [1]", "none"},
      {"n: 0 loop 1e10 [n: n + 1 if n = 3 [break]] n", "3"},  // saturated, not wrapped
      {"loop 3 []", "unset"},
      {"repeat i 4 [i * 10]", "40"},
      {"repeat i 4 [] i", "4"},
      {"i: 7 repeat i 0 [1]", "none"},
      {"i: 7 repeat i 0 [1] i", "7"},
      {"repeat i 2.5 [i]", "2"},
      {"s: 0 repeat i 10 [if i = 4 [break] s: s + i] i", "4"},
  };
  check_cases(std::begin(cases), std::end(cases));
  EXPECT_EQ(output("loop 1.#NaN [print 1]"), "");
}

TEST_F(Control, WhileUntilForever) {
  const Case cases[] = {
      {"n: 0 while [n < 3] [n: n + 1] n", "3"},
      {"n: 0 while [n < 3] [n: n + 1]", "unset"},
      {"while [true] [break/return 5]", "unset"},      // while always answers unset
      {"while [()] [1]", "*** Script Error: block did not return a value"},
      {"while [break] [1]",
       "*** Throw Error: BREAK/CONTINUE cannot be used in WHILE condition block"},
      {"while [continue] [1]",
       "*** Throw Error: BREAK/CONTINUE cannot be used in WHILE condition block"},
      {"n: 0 until [n: n + 1 n = 4]", "true"},
      {"n: 0 until [n: n + 1 if n = 2 [break/return 'two] false]", "two"},
      {"until [()]", "*** Script Error: block did not return a value"},
      {"n: 0 forever [n: n + 1 if n = 5 [break/return n * 2]]", "10"},
      {"forever [break]", "unset"},
  };
  check_cases(std::begin(cases), std::end(cases));
  // continue in until starts the next round without testing the body's value
  EXPECT_EQ(output("n: 0 until [n: n + 1 if n < 3 [continue] print n true]"), "3\n");
}

TEST_F(Control, BreakAndContinue) {
  const Case cases[] = {
      {"loop 5 [break]", "unset"},
      {"loop 5 [break/return 42]", "42"},
      {"n: 0 loop 5 [n: n + 1 continue n: 100] n", "5"},
      {"loop 2 [continue]", "unset"},
      // break reaches the loop through calls, conditionals and parens
      {"f: does [break/return 9] loop 3 [f]", "9"},
      {"loop 3 [(if true [break/return 8])]", "8"},
      {"x: loop 3 [1 + break/return 4] x", "4"},
      {"break", "*** Throw Error: no loop to break"},
      {"continue", "*** Throw Error: no loop to continue"},
      {"f: does [break] f", "*** Throw Error: no loop to break"},
  };
  check_cases(std::begin(cases), std::end(cases));
}

TEST_F(Control, NestedLoopsBreakOnlyTheInnerOne) {
  EXPECT_EQ(output("repeat i 3 [repeat j 3 [if j = 2 [break] prin [i j]] prin \"|\"]"),
            "1 1|2 1|3 1|");
  EXPECT_EQ(output("foreach x [1 2 3] [loop 2 [if x = 2 [continue] prin x] prin \".\"]"),
            "11..33.");
  EXPECT_EQ(result("loop 2 [loop 2 [break/return 1] 5]"), "5");
}

TEST_F(Control, ReturnPassesThroughLoops) {
  EXPECT_EQ(result("f: func [] [loop 3 [foreach x [1 2] [return x * 10]] 0] f"), "10");
  EXPECT_EQ(result("f: func [] [while [true] [exit] 1] f"), "unset");
}

TEST_F(Control, Foreach) {
  const Case cases[] = {
      {"foreach x [1 2 3] [x * 2]", "6"},
      {"foreach x [] [1]", "unset"},
      {"s: 0 foreach x [1 2 3] [s: s + x] s", "6"},
      {"foreach x [1 2 3] [if x = 2 [break/return x + 100]]", "102"},
      {"foreach x [1 2 3 4] [if x = 4 [continue] x]", "unset"},
      {"foreach [a b c] [1 2] [c]", "none"},          // runs once, third word none
      {"n: 0 foreach [a b c] [1 2] [n: n + 1] n", "1"},
      {"foreach [a b] [1 2 3 4] [a * 10 + b]", "34"},
      {"foreach [] [1 2] [1]", "*** Script Error: invalid argument: []"},
      {"foreach [a 1] [1 2] [a]", "*** Script Error: invalid argument: 1"},
      {"foreach [a 1] \"xy\" [a]", "*** Script Error: invalid argument: 1"},
      {"foreach x next [1 2 3] [x]", "3"},
      {"x: 0 foreach x [5 6] [] x", "6"},              // the word keeps its last value
  };
  check_cases(std::begin(cases), std::end(cases));
  // A words block cleared by the body is refused at the next step, not read past its tail.
  EXPECT_EQ(result("ws: [a b] code: [foreach] append/only code ws "
                   "append code [[1 2 3 4] [clear ws]] do code")
                .substr(0, 35),
            "*** Script Error: invalid argument:");
  EXPECT_EQ(output("foreach c \"abc\" [prin c prin \"-\"]"), "a-b-c-");
  EXPECT_EQ(output("foreach [a b] \"abc\" [prin a prin b prin \".\"]"), "ab.cnone.");
}

TEST_F(Control, ForeachSeesTheSeriesChangedByItsBody) {
  // Values appended while looping are visited; removed values are not.
  EXPECT_EQ(output("b: [1 2 3] foreach x b [prin x if x = 1 [append b 4]]"), "1234");
  EXPECT_EQ(output("b: [1 2 3 4] foreach x b [prin x remove b]"), "13");
  // Growing the block far past its capacity moves its buffer under the loop.
  EXPECT_EQ(result("b: [1] n: 0 foreach x b [n: n + 1 if n < 300 [append b n]] n"), "300");
}

TEST_F(Control, Forall) {
  const Case cases[] = {
      {"b: [1 2 3] forall b [seen: b] index? seen", "3"},
      {"b: next [1 2 3] forall b [] index? b", "2"},   // back where it started
      {"b: [1 2 3] forall b [if 2 = length? b [break]] index? b", "2"},
      {"b: [1 2 3] forall b [if 2 = length? b [break/return 7]]", "7"},
      {"b: [] forall b [1]", "unset"},
      {"b: [1 2 3] n: 0 forall b [n: n + 1 b: next b] n", "2"},  // the body may step on
      {"b: 5 forall b [1]",
       "*** Script Error: forall does not allow integer! for its word argument"},
      {"b: [1 2] forall b [b: [3 4]]",
       "*** Script Error: Loop series changed to invalid value: [3 4]"},
      {"b: [1 2] forall b [b: 5]", "*** Script Error: Loop series changed to invalid value: 5"},
  };
  check_cases(std::begin(cases), std::end(cases));
  EXPECT_EQ(output("s: \"abc\" forall s [prin length? s]"), "321");
}

TEST_F(Control, RemoveEach) {
  const Case cases[] = {
      {"b: [1 2 3 4 5] remove-each x b [x > 2] b", "[1 2]"},
      {"b: [1 2 3 4 5] remove-each x b [none] b", "[1 2 3 4 5]"},
      {"b: [1 2 3] remove-each x b [()] b", "[]"},       // unset! counts as truthy
      {"b: [1 2 3 4 5 6] remove-each [x y] b [y = 4] b", "[1 2 5 6]"},
      {"b: [1 2 3] remove-each [x y] b [true] b", "[]"},
      {"b: [1 2] remove-each [] b [true] b", "[1 2]"},
      {"b: next [1 2 3] remove-each x b [true] head b", "[1]"},
      {"b: next [1 2 3] remove-each x b [true]", "[]"},   // the data as given
      {"b: [1 2 3 4] remove-each x b [if x = 3 [break] true] b", "[3 4]"},
      {"b: [1 2 3 4] remove-each x b [if x = 2 [continue] true] b", "[2]"},
  };
  check_cases(std::begin(cases), std::end(cases));
  EXPECT_EQ(result("s: \"a1b2\" remove-each c s [c > #\"9\"] s"), "\"12\"");
}

TEST_F(Control, LoopWordsInsideFunctionsAreTheFunctionsOwn) {
  EXPECT_EQ(result("x: 0 f: func [/local x] [foreach x [4 5] [x]] f"), "5");
  EXPECT_EQ(result("x: 0 f: func [/local x] [foreach x [4 5] [x]] f x"), "0");
  EXPECT_EQ(result("f: func [/local i] [repeat i 3 [] i] f"), "3");
}

}  // namespace
}  // namespace tav
