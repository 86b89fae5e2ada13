#include <string>
#include <vector>

#include "block_fixture.h"
#include "eval_helpers.h"
#include "core/context.h"
#include "datatypes/simple.h"
#include "evaluator/parse.h"
#include "scanner/lexer.h"
#include "scanner/tokens.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav {
namespace {

// Words compare by spelling (a lit-word against any word kind, under the find codes) when
// the real word! handlers are not registered in this build.
int word_compare(Cell* a, Cell* b, int op) {
  if (!is_any_word(b->type())) return COMPARE_UNRELATED;
  bool exact = op == COMP_STRICT_EQUAL || op == COMP_FIND_CASE;
  if ((op == COMP_EQUAL || op == COMP_STRICT_EQUAL) && a->type() != b->type()) return 1;
  uint32_t x = exact ? a->data2 : symbol::alias(a->data2);
  uint32_t y = exact ? b->data2 : symbol::alias(b->data2);
  return x == y ? 0 : 1;
}

class Parse : public testing::BlockFixture {
 protected:
  void SetUp() override {
    BlockFixture::SetUp();
    evaltest::install();
    for (TypeId t : {TYPE_WORD, TYPE_LIT_WORD, TYPE_SET_WORD, TYPE_GET_WORD}) {
      saved_rows_.push_back(action_table[t]);
      if (!action_table[t][ACT_COMPARE - 1]) action_table[t][ACT_COMPARE - 1] = entry(&word_compare);
    }
    // The datatype words of types not registered in this build.
    for (TypeId t : {TYPE_INTEGER, TYPE_WORD, TYPE_STRING, TYPE_BLOCK}) {
      Cell dt;
      set_datatype(&dt, t);
      set(lexer::type_name(t), &dt);
    }
  }
  void TearDown() override {
    int i = 0;
    for (TypeId t : {TYPE_WORD, TYPE_LIT_WORD, TYPE_SET_WORD, TYPE_GET_WORD})
      action_table[t] = saved_rows_[i++];
    // Every run leaves both work stacks empty, with their whole view back.
    EXPECT_EQ(block::rs_length(parse::rule_stack()), 0);
    EXPECT_EQ(parse::rule_stack()->index(), 0u);
    EXPECT_EQ(block::rs_length(parse::series_stack()), 0);
    EXPECT_EQ(parse::series_stack()->index(), 0u);
    BlockFixture::TearDown();
  }

  // The values of a text, as a block on the argument stack.
  Cell* load(const std::string& text) {
    Cell* out = stack::new_cell();
    lexer::transcode(text, out);
    return out;
  }
  // The first value of a text.
  Cell* value(const std::string& text) {
    Cell* b = load(text);
    *b = *block::cell_at(b, 0);
    return b;
  }

  Cell* run(Cell* input, const std::string& rules, bool case_ = false, const Cell* part = nullptr,
            const parse::TraceHook* hook = nullptr) {
    return parse::run(input, load(rules), case_, part, hook);
  }
  // The logic! result of parsing the input text with the rules text.
  bool ok(const std::string& input, const std::string& rules, bool case_ = false) {
    bool truth = false;
    std::string id = error_id([&] {
      Cell* r = run(value(input), rules, case_);
      EXPECT_TRUE(r->is(TYPE_LOGIC)) << input << " " << rules;
      truth = r->data1 == 1;
    });
    EXPECT_EQ(id, "") << input << " [" << rules << "]";
    return truth;
  }
  std::string fails_with(const std::string& input, const std::string& rules) {
    return error_id([&] { run(value(input), rules); });
  }

  Cell get(const char* name) { return *context::get_word_value(word::load(name)); }
  void set(const char* name, const Cell* v) {
    Cell w = *word::load(name);
    context::set_word_value(&w, v);
  }
  std::string mold_of(const char* name) {
    Cell v = get(name);
    return shape(&v);
  }
  // A value written as its source would be, for the kinds these tests put in blocks (the
  // mold of words is not in every build).
  static std::string shape(const Cell* v) {
    switch (v->type()) {
      case TYPE_INTEGER: return std::to_string(v->int_value());
      case TYPE_WORD: return symbol::get_c_string(v->data2);
      case TYPE_CHAR: return std::string("#\"") + static_cast<char>(v->data2) + "\"";
      case TYPE_STRING: return "\"" + string::to_std_string(v) + "\"";
      case TYPE_BLOCK: {
        std::string out = "[";
        for (int32_t i = series::index_of(v); i < series::buffer_length(v); ++i) {
          if (out.size() > 1) out += " ";
          out += shape(block::cell_at(v, static_cast<uint32_t>(i)));
        }
        return out + "]";
      }
      default: return "?";
    }
  }
  std::string text(const char* name) {
    Cell v = get(name);
    return text_of(&v);
  }

  struct Case {
    const char* input;
    const char* rules;
    bool expected;
  };
  void check(const std::vector<Case>& cases, bool case_ = false) {
    for (const Case& c : cases)
      EXPECT_EQ(ok(c.input, c.rules, case_), c.expected)
          << "parse " << c.input << " [" << c.rules << "]";
  }

  std::vector<ActionRow> saved_rows_;
};


// ---- Matching values and alternatives ------------------------------------------------------

TEST_F(Parse, MatchesTextCharactersAndAlternativesWithBacktracking) {
  check({
      {R"("abc")", R"("abc")", true},
      {R"("abc")", R"("a" "b" "c")", true},
      {R"("abc")", R"(#"a" "bc")", true},
      {R"("abc")", R"("ab")", false},            // input left over
      {R"("")", "", true},
      {R"("a")", "", false},
      {R"("ABC")", R"("abc")", true},           // letter case is folded by default
      {R"("ab")", R"(["a" "c" | "a" "b"])", true},  // the first alternative backs out
      {R"("b")", R"("a" | "b")", true},
      {R"("c")", R"("a" | "b")", false},
      {R"("<b>x")", R"(<b> "x")", true},          // a tag matches with its brackets
      {R"("ab")", R"(skip skip end)", true},
      {R"("a")", R"(skip skip)", false},
      {R"("a")", R"("a" fail | "a")", true},
      {R"("a")", R"(none "a" none)", true},
  });
}

TEST_F(Parse, CaseSensitivityFromTheCallAndFromTheCaseKeyword) {
  check({{R"("ABC")", R"("abc")", false}, {R"("abc")", R"("abc")", true}}, true);
  set("strict", &true_value);
  set("loose", &none_value);
  check({
      {R"("AB")", R"(case strict "ab")", false},
      {R"("AB")", R"(case loose "ab")", true},
      {R"("ABc")", R"(case strict "AB" "C")", true},   // strict for the next rule only
      {R"("aB")", R"(case strict ["a" "B"])", true},
  });
}

TEST_F(Parse, BlockInputComparesValuesAndLitWordsMatchAnyWordKind) {
  check({
      {"[a b]", "['a 'b]", true},
      {"[a: :b]", "['a 'b]", true},
      {"[a c]", "['a 'b]", false},
      {"[1 2]", "[quote 1 quote 2]", true},
      {"[1 x]", "[integer! word!]", true},
      {"[1 x]", "[word! integer!]", false},
      {"[1 \"s\"]", "[integer! string! end]", true},
  });
}

TEST_F(Parse, BinaryInputMatchesBytesCharactersAndScannedDatatypes) {
  check({
      {"#{010203}", "[#{01} skip #{03}]", true},
      {"#{6162}", R"(#"a" "b")", true},
      {"#{6162}", R"(#"A" "b")", false},
      {"#{31323320616263}", "[integer! word!]", true},
      {"#{616263}", "[integer!]", false},
  });
}

TEST_F(Parse, BitsetsMatchTheirMembersAndTheComplementBeyondTheirBytes) {
  // A bitset of the digits 0-9, and its complement.
  NodeId n = alloc::new_bytes_filled(8, 0);
  node_buffer(n)->tail = node_buffer(n)->head + 8;
  for (uint32_t d = '0'; d <= '9'; ++d) node_buffer(n)->head_ptr()[d >> 3] |= 0x80 >> (d & 7);
  Cell digits = make_cell(TYPE_BITSET, 0, n);
  set("digit", &digits);
  check({
      {R"("2024x")", R"(some digit "x")", true},
      {R"("x")", R"(digit)", false},
      {"#{3132}", "[2 digit]", true},
      {R"("ab42")", R"(to digit 2 digit)", true},
  });
  NodeId m = series::clone_buffer(node_buffer(n));
  for (uint32_t i = 0; i < 8; ++i) node_buffer(m)->head_ptr()[i] ^= 0xFF;
  series::set_flags(m, 0x80000);
  Cell others = make_cell(TYPE_BITSET, 0, m);
  set("non-digit", &others);
  check({{R"("a€1")", R"(2 non-digit digit)", true}});
}

// ---- Repetitions, counts and ranges --------------------------------------------------------

TEST_F(Parse, RepetitionsAndCountsConsumeAsMuchAsTheyMay) {
  check({
      {R"("aaab")", R"(any "a" "b")", true},
      {R"("b")", R"(any "a" "b")", true},
      {R"("b")", R"(some "a" "b")", false},
      {R"("ab")", R"(opt "x" "a" opt "b")", true},
      {R"("aaa")", R"(3 "a")", true},
      {R"("aaa")", R"(2 "a")", false},
      {R"("aaa")", R"(4 "a")", false},
      {R"("aaa")", R"(2 3 "a")", true},
      {R"("aaaa")", R"(1 3 "a")", false},
      {R"("aaa")", R"(0 "x" "aaa")", true},
      {R"("aaa")", R"(0 0 "x" 3 "a")", true},
      {R"("abab")", R"(2 ["a" "b"])", true},
      {R"("abab")", R"(some ["a" "b"] end)", true},
      {R"("aab")", R"(while "a" "b")", true},
  });
  Cell two;
  set_integer(&two, 2);
  set("n", &two);
  check({{R"("aa")", R"(n "a")", true}, {R"("aaa")", R"(1 n "a" "a")", true}});
}

TEST_F(Parse, RulesThatMakeNoProgressStop) {
  check({
      {R"("a")", R"(while [])", false},
      {R"("a")", R"(any [])", false},
      {R"("aab")", R"(any ["a" | none] "b")", true},
      {R"("a")", R"(some [opt "x"] "a")", true},
      {R"("")", R"(while [opt "x"])", true},
      {R"("ab")", R"(any [to "b"] "b")", true},
  });
}

TEST_F(Parse, BreakEndsTheRepetitionWithSuccessAndRejectWithFailure) {
  check({
      {R"("aaa")", R"(any ["a" break] "aa")", true},
      {R"("aaa")", R"(any ["a"] "aa")", false},
      {R"("aab")", R"(some ["a" | fail] "b")", true},
      {R"("aab")", R"(some ["a" | reject] "b")", false},
      {R"("aab")", R"(any ["a" | break] "b")", true},
  });
}

TEST_F(Parse, BadCountsAndRangesRaise) {
  EXPECT_EQ(fails_with(R"("aa")", R"("a" 2)"), "parse-rule");
  EXPECT_EQ(fails_with(R"("aa")", R"(1 2)"), "parse-rule");
  EXPECT_EQ(fails_with(R"("aa")", R"(2 1 "a")"), "parse-rule");
  EXPECT_EQ(fails_with(R"("aa")", R"(1 -1 "a")"), "out-of-range");
  EXPECT_EQ(fails_with(R"("aa")", R"(-1 "a")"), "out-of-range");
}

// ---- to, thru, skip, end, positions --------------------------------------------------------

TEST_F(Parse, ToAndThruSearchForValuesAndRules) {
  check({
      {R"("abcde")", R"(to "c" "cde")", true},
      {R"("abcde")", R"(thru "c" "de")", true},
      {R"("abx")", R"(thru "x")", true},
      {R"("abcde")", R"(thru #"C" to end)", true},
      {R"("abcde")", R"(to "z")", false},
      {R"("abc")", R"(to "" "abc")", true},
      {R"("abcde")", R"(to ["d" | "c"] "cde")", true},
      {R"("abcde")", R"(thru ["x" | "d"] "e")", true},
      {R"("abc")", R"(thru [end])", true},
      {"[1 x 2]", "[to word! 'x skip]", true},
      {"[1 x 2]", "[thru 'x quote 2]", true},
      {"#{00FF01}", "[thru #{FF} #{01}]", true},
  });
  for (const char* input : {R"("")", R"("abc")", "[1 2]", "#{01}"})
    EXPECT_TRUE(ok(input, "to end")) << input;
  EXPECT_EQ(fails_with(R"("abc")", "to 1"), "parse-rule");
  EXPECT_EQ(fails_with("#{01}", "thru 1"), "parse-rule");
}

TEST_F(Parse, SetWordsMarkPositionsAndGetWordsReturnToThem) {
  EXPECT_TRUE(ok(R"("abcd")", R"(skip p: 2 skip :p "bcd")"));
  Cell p = get("p");
  EXPECT_EQ(series::index_of(&p), 1);
  EXPECT_EQ(text_of(&p), "bcd");
  set("elsewhere", string_value("abcd"));
  EXPECT_EQ(fails_with(R"("abcd")", ":elsewhere"), "parse-invalid-ref");
}

TEST_F(Parse, APartLimitEndsTheInputEarly) {
  Cell three;
  set_integer(&three, 3);
  EXPECT_EQ(run(value(R"("abcdef")"), R"("abc")", false, &three)->data1, 1u);
  EXPECT_EQ(run(value(R"("abcdef")"), R"("abcd")", false, &three)->data1, 0u);
  EXPECT_EQ(run(value(R"("abcdef")"), R"(to end p:)", false, &three)->data1, 1u);
  Cell p = get("p");
  EXPECT_EQ(series::index_of(&p), 3);
}

// ---- not, ahead, copy, set, into ----------------------------------------------------------

TEST_F(Parse, NotAndAheadLookWithoutConsuming) {
  check({
      {R"("ab")", R"(not "b" "ab")", true},
      {R"("ab")", R"(not "a" "ab")", false},
      {R"("ab")", R"(ahead "a" "ab")", true},
      {R"("ab")", R"(ahead "b" "ab")", false},
  });
}

TEST_F(Parse, CopyAndSetTakeWhatTheRuleMatched) {
  EXPECT_TRUE(ok(R"("abcd")", R"(skip copy v to end)"));
  EXPECT_EQ(text("v"), "bcd");
  EXPECT_TRUE(ok(R"("abcd")", R"(copy v 2 skip copy w [skip skip])"));
  EXPECT_EQ(text("v"), "ab");
  EXPECT_EQ(text("w"), "cd");
  EXPECT_TRUE(ok("[1 2 3]", "[skip copy v 2 skip]"));
  EXPECT_EQ(mold_of("v"), "[2 3]");
  EXPECT_TRUE(ok(R"("xy")", R"(set c skip skip)"));
  EXPECT_TRUE(get("c").is(TYPE_CHAR));
  EXPECT_EQ(get("c").data2, uint32_t('x'));
  EXPECT_TRUE(ok("#{FF}", "[set c skip]"));
  EXPECT_EQ(get("c").int_value(), 255);
  EXPECT_TRUE(ok("[7]", "[set c integer!]"));
  EXPECT_EQ(get("c").int_value(), 7);
  EXPECT_TRUE(ok(R"("")", R"(set c opt "x")"));
  EXPECT_TRUE(get("c").is(TYPE_NONE));
  // A failed rule leaves the word alone.
  set("c", &true_value);
  EXPECT_FALSE(ok(R"("")", R"(set c skip)"));
  EXPECT_FALSE(ok(R"("a")", R"(copy c "b")"));
  EXPECT_TRUE(get("c").is(TYPE_LOGIC));
}

TEST_F(Parse, IntoParsesANestedBlockAsInput) {
  check({
      {R"([[a 1] "s"])", "[into [word! integer!] string!]", true},
      {"[[a 1]]", "[into [word!]]", false},
      {"[(a) [1]]", "[into ['a] into [quote 1]]", true},
      {"[[[1]] 2]", "[into [into [integer!]] integer!]", true},
      {"[]", "[into [end]]", false},
  });
  Cell inner = *load("integer!");
  set("inner-rule", &inner);
  EXPECT_TRUE(ok("[[1]]", "[into inner-rule]"));
  EXPECT_EQ(fails_with("[1]", "into [integer!]"), "parse-block");
  EXPECT_EQ(fails_with("[[1]]", "into integer!"), "parse-end");
}

// ---- Rule variables and nesting ------------------------------------------------------------

TEST_F(Parse, RuleVariablesAndRecursiveRules) {
  Cell* expr = load(R"x(["(" expr ")" | "x"])x");
  set("expr", block::cell_at(expr, 0));
  check({
      {R"x("((x))")x", "expr", true},
      {R"x("((x)")x", "expr", false},
  });
  Cell* word_value = value("literal");
  set("w", word_value);
  // A rule variable whose value is a word is matched literally under a command only.
  EXPECT_TRUE(ok("[literal]", "[some w]"));
  EXPECT_EQ(fails_with("[literal]", "[w]"), "parse-rule");
  EXPECT_EQ(fails_with(R"("a")", "no-such-rule"), "parse-rule");
  EXPECT_EQ(fails_with(R"("a")", "a/b"), "parse-rule");
}

TEST_F(Parse, DeepRulesReachTheStackLimitInsteadOfTheMachineStack) {
  Cell* rec = load(R"(["a" rec | end])");
  set("rec", block::cell_at(rec, 0));
  EXPECT_TRUE(ok(R"("aaaa")", "rec"));
  std::string long_input = "\"" + std::string(5000, 'a') + "\"";
  EXPECT_EQ(fails_with(long_input, "rec"), "parse-stack");
  std::string deep = std::string(4000, '[') + "\"a\"" + std::string(4000, ']');
  EXPECT_EQ(fails_with(R"("a")", deep), "parse-stack");
}

TEST_F(Parse, KeywordsStandingLastRaiseParseEnd) {
  for (const char* rules : {"some", "any", "opt", "while", "to", "thru", "not", "ahead",
                            "copy", "copy v", "set v", "remove", "insert", "insert only",
                            "quote", "into", "case", "collect", "collect [keep]",
                            R"(change "a")"}) {
    EXPECT_EQ(fails_with(R"("a")", rules), "parse-end") << rules;
  }
  EXPECT_EQ(fails_with(R"("abc")", "string!"), "parse-unsupported");
}

// ---- Changing the input --------------------------------------------------------------------

TEST_F(Parse, RemoveDropsTheMatchedPartOrUpToAPosition) {
  Cell* s = value(R"("aXbXc")");
  EXPECT_EQ(run(s, R"(any [remove "X" | skip])")->data1, 1u);
  EXPECT_EQ(text_of(s), "abc");
  // Removing keeps the input where it is: the repetition still sees the input shrink.
  Cell* all = value(R"("aaa")");
  EXPECT_EQ(run(all, R"(any remove "a")")->data1, 1u);
  EXPECT_EQ(text_of(all), "");
  Cell* t = value(R"("abcdef")");
  EXPECT_EQ(run(t, R"(skip p: 3 skip q: :p remove q to end)")->data1, 1u);
  EXPECT_EQ(text_of(t), "aef");
  Cell* b = value("[1 x 2 y]");
  EXPECT_EQ(run(b, "[any [remove word! | skip]]")->data1, 1u);
  EXPECT_EQ(shape(b), "[1 2]");
  EXPECT_EQ(fails_with(R"("a")", "remove a/b"), "parse-rule");
}

TEST_F(Parse, InsertAndChangeWorkOnTheInputAndMovePastWhatTheyPutIn) {
  Cell* b = value("[a 1]");
  EXPECT_EQ(run(b, "[word! insert 9 integer!]")->data1, 1u);
  EXPECT_EQ(shape(b), "[a 9 1]");
  Cell* c = value("[a 1]");
  EXPECT_EQ(run(c, "[change word! 5 integer!]")->data1, 1u);
  EXPECT_EQ(shape(c), "[5 1]");
  Cell* d = value("[a b 1]");
  Cell* splice = load("7 8");
  set("vals", splice);
  EXPECT_EQ(run(d, "[change 2 word! vals integer!]")->data1, 1u);
  EXPECT_EQ(shape(d), "[7 8 1]");
  Cell* e = value("[a 1]");
  EXPECT_EQ(run(e, "[change only word! vals integer!]")->data1, 1u);
  EXPECT_EQ(shape(e), "[[7 8] 1]");
  Cell* f = value("[1 2]");
  EXPECT_EQ(run(f, "[p: 2 skip insert only :p vals]")->data1, 1u);
  EXPECT_EQ(shape(f), "[[7 8] 1 2]");
  Cell* g = value("[1]");
  EXPECT_EQ(run(g, "[change word! 5 | integer!]")->data1, 1u);
  EXPECT_EQ(shape(g), "[1]");   // the rule failed: nothing changed
  EXPECT_EQ(fails_with("[1]", "insert nothing-set-here"), "no-value");
  EXPECT_EQ(fails_with("[1]", "insert a/b"), "parse-rule");
}

// ---- collect and keep ----------------------------------------------------------------------

TEST_F(Parse, CollectReturnsTheKeptValues) {
  struct Collect {
    const char* input;
    const char* rules;
    const char* kept;
  };
  const Collect cases[] = {
      {"[a 1 b 2]", "collect [any [keep word! integer!]]", "[a b]"},
      {"[a 1 b 2]", "collect [any [keep skip]]", "[a 1 b 2]"},
      {"[a 1 b 2]", "collect [keep 2 skip keep pick 2 skip]", "[[a 1] b 2]"},
      {R"("abc")", "collect [keep skip keep 2 skip]", R"([#"a" "bc"])"},
      {"[a 1 b 2]", "collect [keep word! collect [any [keep integer! | skip]]]", "[a [1 2]]"},
      {"[1 2]", "collect [keep copy v 2 skip]", "[[1 2]]"},
      {"[1 2]", "collect [keep quote 3]", "[]"},
      {"[1]", "collect [keep none skip]", "[]"},
  };
  for (const Collect& c : cases) {
    Cell* r = run(value(c.input), c.rules);
    ASSERT_TRUE(r->is(TYPE_BLOCK)) << c.rules;
    EXPECT_EQ(shape(r), c.kept) << c.rules;
  }
}

TEST_F(Parse, CollectSetAndIntoLeaveTheResultLogic) {
  EXPECT_TRUE(ok("[a 1 b 2]", "[collect set res [any [keep integer! | skip]]]"));
  EXPECT_EQ(mold_of("res"), "[1 2]");
  Cell* target = load("0");
  set("target", target);
  EXPECT_TRUE(ok("[a 1 b]", "[collect into target [any [keep word! | skip]]]"));
  EXPECT_EQ(mold_of("target"), "[0 a b]");
  Cell* after = load("0");
  set("after-target", after);
  EXPECT_TRUE(ok("[a 1]", "[collect after after-target [keep 2 skip]]"));
  EXPECT_EQ(mold_of("after-target"), "[0 [a 1]]");
  set("nothing", &none_value);
  EXPECT_EQ(fails_with("[a]", "collect into nothing [keep skip]"), "parse-into-bad");
  EXPECT_EQ(fails_with("[a]", "keep skip"), "parse-keep");
  EXPECT_EQ(fails_with("[a]", "[collect [skip] keep skip]"), "parse-keep");
}

// ---- Parens ---------------------------------------------------------------------------------

TEST_F(Parse, ParensRunAsActionsAndFeedIfKeepInsertAndChange) {
  EXPECT_TRUE(ok(R"("aaa")", R"((n: 0) some ["a" (n: n + 1)])"));
  EXPECT_EQ(get("n").int_value(), 3);
  EXPECT_TRUE(ok(R"("aaa")", R"((n: 0) some [if (n < 2) "a" (n: n + 1)] "a")"));
  EXPECT_EQ(get("n").int_value(), 2);
  Cell* kept = run(value("[x]"), "collect [keep (1 + 2) keep pick ([4 5]) keep ([6]) skip]");
  EXPECT_EQ(shape(kept), "[3 4 5 [6]]");
  Cell* b = value("[a]");
  EXPECT_EQ(run(b, "[insert (1 + 1) word!]")->data1, 1u);
  EXPECT_EQ(shape(b), "[2 a]");
  Cell* c = value("[a]");
  EXPECT_EQ(run(c, "[change word! (5 * 2)]")->data1, 1u);
  EXPECT_EQ(shape(c), "[10]");
  EXPECT_EQ(fails_with(R"("a")", R"(if "a")"), "parse-rule");
}

TEST_F(Parse, AnErrorInAParenLeavesTheStacksClean) {
  EXPECT_EQ(fails_with(R"("aaa")", R"(some ["a" (no-such-word)])"), "no-value");
}

// ---- Tracing and re-entrancy ---------------------------------------------------------------

struct Trace {
  std::vector<std::string> events;
  int stop_after = -1;
  Parse* nested = nullptr;
};

bool record(void* ctx, const Cell* event, bool, const Cell*, const Cell*, const Cell*) {
  auto* t = static_cast<Trace*>(ctx);
  t->events.push_back(symbol::get_c_string(event->data2));
  return t->stop_after < 0 || static_cast<int>(t->events.size()) < t->stop_after;
}

TEST_F(Parse, TheTraceHookSeesEachStepAndMayStopTheRun) {
  Trace t;
  parse::TraceHook hook{&record, &t};
  EXPECT_EQ(run(value(R"("ab")"), R"("a" some "b")", false, nullptr, &hook)->data1, 1u);
  const std::vector<std::string> expected = {"push",  "fetch",   "match", "fetch",
                                             "push",  "match",   "iterate", "match",
                                             "pop",   "pop",     "end"};
  EXPECT_EQ(t.events, expected);
  // Stopped at the first push, the result is the match flag of that moment.
  Trace stop;
  stop.stop_after = 1;
  parse::TraceHook stopper{&record, &stop};
  EXPECT_EQ(run(value(R"("xyz")"), R"("a")", false, nullptr, &stopper)->data1, 1u);
  EXPECT_EQ(stop.events.size(), 1u);
}

struct Reentry {
  Parse* fixture;
  Cell inner_input;
  Cell inner_rules;
  bool inner_result = false;
  int runs = 0;
};

bool parse_again(void* ctx, const Cell* event, bool, const Cell*, const Cell*, const Cell*) {
  auto* r = static_cast<Reentry*>(ctx);
  if (event->data2 == words::fetch.data2 && r->runs++ == 1) {
    Cell* res = parse::run(&r->inner_input, &r->inner_rules, false, nullptr);
    r->inner_result = res->data1 == 1;
    // The outer run's view is back: its frames are visible again, its input stays hidden
    // while the callback runs.
    EXPECT_GT(block::rs_length(parse::rule_stack()), 0);
    EXPECT_EQ(block::rs_length(parse::series_stack()), 0);
  }
  return true;
}

TEST_F(Parse, ARunStartedDuringAnotherLeavesTheOuterRunIntact) {
  Reentry r{this, *value("[1 2 3]"), *load("[3 integer!]"), false, 0};
  parse::TraceHook hook{&parse_again, &r};
  Cell* res = run(value(R"("abc")"), R"("a" ["b" "c"])", false, nullptr, &hook);
  EXPECT_TRUE(r.inner_result);
  EXPECT_EQ(res->data1, 1u);
}

TEST_F(Parse, StacksAreClearedWhenAnErrorLeavesARun) {
  EXPECT_EQ(fails_with(R"("a")", R"(some [any ["a" 2 1 "b"]])"), "parse-rule");
  EXPECT_EQ(block::rs_length(parse::rule_stack()), 0);
  EXPECT_TRUE(ok(R"("a")", R"(some ["a"])"));
}

}  // namespace
}  // namespace tav
