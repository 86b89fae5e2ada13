#include <algorithm>
#include <string>
#include <vector>

#include "core/context.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "core/symbols.h"
#include "word_fixture.h"
#include "core/words.h"

namespace tav {
namespace {

using Words = testing::WordFixture;

TEST_F(Words, EveryKindMoldsWithItsMarkAndFormsAsTheName) {
  struct Case {
    const char* source;
    const char* mold;
    const char* form;
  };
  const std::vector<Case> cases = {
      {"a", "a", "a"},       {"a:", "a:", "a"},   {"'a", "'a", "a"},
      {":a", ":a", "a"},     {"/a", "/a", "a"},   {"#a", "#a", "a"},
      {"Hello", "Hello", "Hello"},                {"'ÄÖ", "'ÄÖ", "ÄÖ"},
      {"#abc-1", "#abc-1", "abc-1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mold_of(c.source), c.mold) << c.source;
    EXPECT_EQ(form_of(c.source), c.form) << c.source;
  }
}

TEST_F(Words, MoldAndFormAnswerTheLimitLessTheCharactersWritten) {
  struct Case {
    const char* source;
    int mold_left;
    int form_left;
  };
  for (Case c : {Case{"abc", 97, 97}, Case{"abc:", 96, 97}, Case{"'abc", 96, 97},
                 Case{":abc", 96, 97}, Case{"/abc", 96, 97}, Case{"#abc", 96, 97},
                 Case{"'ÄÖ", 97, 98}}) {
    int left = 0;
    text(value(c.source), true, nullptr, 100, &left);
    EXPECT_EQ(left, c.mold_left) << c.source;
    text(value(c.source), false, nullptr, 100, &left);
    EXPECT_EQ(left, c.form_left) << c.source;
  }
}

TEST_F(Words, CompareByAliasStrictlyBySpellingAndKind) {
  struct Case {
    const char* a;
    const char* b;
    int op;
    int expected;
  };
  const std::vector<Case> cases = {
      {"'a", "'A", COMP_EQUAL, 0},        {"'a", "'A", COMP_STRICT_EQUAL, 1},
      {"a", "'A", COMP_EQUAL, 0},         {"a", "'a", COMP_STRICT_EQUAL, 1},
      {"a", "'a", COMP_FIND_CASE, 0},     {"a", "'a", COMP_FIND, 0},
      {"a", "'A", COMP_FIND_CASE, 1},     {"a", "'A", COMP_FIND, 0},
      {"a:", "'a", COMP_FIND, 0},         {"a:", ":a", COMP_FIND, 1},
      {"a:", "a:", COMP_FIND_CASE, 0},    {"a", "/a", COMP_FIND_EQUAL, 0},
      {"a", "b", COMP_EQUAL, 1},          {"a", "b", COMP_NOT_EQUAL, 1},
      {"a", "a", COMP_SAME, 0},           {"a", "a:", COMP_SAME, 1},
      {"a", "A", COMP_SAME, 1},
      {"a", "#a", COMP_EQUAL, COMPARE_UNRELATED},
      {"#a", "a", COMP_EQUAL, COMPARE_UNRELATED},
      {"#a", "#A", COMP_EQUAL, 0},        {"#a", "#A", COMP_STRICT_EQUAL, 1},
      {"a", "1", COMP_EQUAL, COMPARE_UNRELATED},
      {"a", "\"a\"", COMP_EQUAL, COMPARE_UNRELATED},
  };
  for (const Case& c : cases) {
    Cell* a = value(c.a);
    Cell* b = value(c.b);
    EXPECT_EQ(actions::compare_value(a, b, c.op), c.expected)
        << c.a << " vs " << c.b << " op " << c.op;
  }
}

TEST_F(Words, OrderingComparesTheNamesAsText) {
  EXPECT_LT(actions::compare_value(value("abc"), value("abd"), COMP_LESSER), 0);
  EXPECT_GT(actions::compare_value(value("b:"), value("'a"), COMP_SORT), 0);
  // Without case the names tie; the case-sensitive order puts upper case first.
  EXPECT_EQ(actions::compare_value(value("abc"), value("ABC"), COMP_SORT), 0);
  EXPECT_GT(actions::compare_value(value("abc"), value("ABC"), COMP_CASE_SORT), 0);
  EXPECT_TRUE(actions::compare(value("apple"), value("banana"), COMP_LESSER));
}

TEST_F(Words, ConversionsBetweenKindsRetypeAndClearTheFlags) {
  struct Case {
    TypeId to;
    const char* source;
    const char* mold;
  };
  const std::vector<Case> cases = {
      {TYPE_WORD, "'a", "a"},          {TYPE_LIT_WORD, "a", "'a"},
      {TYPE_SET_WORD, ":a", "a:"},     {TYPE_GET_WORD, "a:", ":a"},
      {TYPE_REFINEMENT, "a", "/a"},    {TYPE_WORD, "/a", "a"},
      {TYPE_SET_WORD, "#abc", "abc:"}, {TYPE_WORD, "\"abc\"", "abc"},
      {TYPE_SET_WORD, "\"a\"", "a:"},  {TYPE_WORD, "\"a:\"", "a"},
      {TYPE_WORD, "\" x \"", "x"},     {TYPE_WORD, "#\"x\"", "x"},
      {TYPE_ISSUE, "\"abc\"", "#abc"}, {TYPE_ISSUE, "abc", "#abc"},
      {TYPE_ISSUE, "'abc", "#abc"},    {TYPE_ISSUE, "#\"q\"", "#q"},
      {TYPE_ISSUE, "\"a b\"", "#a b"},
  };
  for (const Case& c : cases) {
    // The value carries a new-line marker, which the result does not keep.
    Cell* spec = stack::push(block::cell_at(value(std::string("[\n") + c.source + "]"), 0));
    ASSERT_TRUE(spec->header & FLAG_NEW_LINE);
    EXPECT_EQ(mold(convert(c.to, spec)), c.mold) << c.source;
    EXPECT_EQ(convert(c.to, spec, true)->header, static_cast<uint32_t>(c.to)) << c.source;
  }
}

TEST_F(Words, DatatypesAndLogicConvertToTheirGlobalWords) {
  Cell dt;
  set_datatype(&dt, TYPE_INTEGER);
  Cell* w = convert(TYPE_WORD, &dt);
  EXPECT_EQ(mold(w), "integer!");
  EXPECT_EQ(mold(convert(TYPE_ISSUE, &dt)), "#integer!");
  Cell t;
  set_logic(&t, true);
  w = convert(TYPE_WORD, &t);
  EXPECT_EQ(mold(w), "true");
  EXPECT_EQ(w->data1, context::global);
  EXPECT_EQ(symbol::alias(w->data2), symbol::alias(symbols::true_));
  set_logic(&t, false);
  EXPECT_EQ(mold(convert(TYPE_LIT_WORD, &t)), "'false");
}

TEST_F(Words, AWordMadeFromARefinementIsBoundInTheGlobalContext) {
  Cell* unbound = stack::push(refinement::load("never-seen-before-name"));
  ASSERT_EQ(unbound->data1, 0u);
  Cell* w = convert(TYPE_WORD, unbound);
  EXPECT_EQ(w->data1, context::global);
  EXPECT_GE(static_cast<int32_t>(w->data3), 0);
  EXPECT_EQ(mold(w), "never-seen-before-name");
}

TEST_F(Words, AnIssueMadeFromAWordKeepsItsSymbol) {
  Cell* w = value("abc");
  Cell* i = convert(TYPE_ISSUE, w);
  EXPECT_EQ(i->data2, w->data2);
  EXPECT_EQ(form(i), "abc");
  // From a string the name starts at the index.
  Cell* s = value("\"xyz\"");
  s->data1 = 1;
  EXPECT_EQ(mold(convert(TYPE_ISSUE, s)), "#yz");
  Cell* made = convert(TYPE_ISSUE, value("\"abc\""));
  EXPECT_EQ(made->data1, context::global);
  EXPECT_EQ(static_cast<int32_t>(made->data3), -1);
}

TEST_F(Words, ConversionsThatCannotGiveAWordRaise) {
  struct Case {
    TypeId to;
    const char* source;
    const char* error;
  };
  const std::vector<Case> cases = {
      {TYPE_WORD, "\"1\"", "invalid-chars"},   {TYPE_WORD, "\"a b\"", "invalid-chars"},
      {TYPE_WORD, "\"\"", "invalid-chars"},    {TYPE_WORD, "\"a/b\"", "invalid-chars"},
      {TYPE_WORD, "\"[\"", "invalid-chars"},   {TYPE_WORD, "#\"1\"", "invalid-chars"},
      {TYPE_SET_WORD, "\"#\"", "invalid-chars"},
      {TYPE_WORD, "#1", "bad-to-arg"},         {TYPE_WORD, "/1", "bad-to-arg"},
      {TYPE_WORD, "1", "bad-to-arg"},          {TYPE_WORD, "[a]", "bad-to-arg"},
      {TYPE_ISSUE, "1", "bad-to-arg"},         {TYPE_ISSUE, "[a]", "bad-to-arg"},
  };
  for (const Case& c : cases) {
    Cell* spec = value(c.source);
    EXPECT_EQ(error_id([&] { convert(c.to, spec); }), c.error) << c.source;
  }
}

// index? reads the word in the result slot, as the dispatcher hands it over.
TEST_F(Words, IndexIsThePositionInTheContextOrNone) {
  Cell w = *value("some-word");
  Cell lit = *value("'some-word");
  ASSERT_GE(static_cast<int32_t>(w.data3), 0);
  int32_t expected = static_cast<int32_t>(w.data3) + 1;
  Cell* base = stack::mark_native(nullptr);
  stack::push(&w);
  int32_t refs[16];
  std::fill(refs, refs + 16, -1);
  actions::table[ACT_INDEX_Q - 1](refs);
  EXPECT_TRUE(base->is(TYPE_INTEGER));
  EXPECT_EQ(base->int_value(), expected);
  *base = lit;
  actions::table[ACT_INDEX_Q - 1](refs);
  EXPECT_EQ(base->int_value(), expected);
  *base = make_cell(TYPE_WORD, context::global, symbol::make("x"), 0xFFFFFFFFu);
  actions::table[ACT_INDEX_Q - 1](refs);
  EXPECT_TRUE(base->is(TYPE_NONE));
  stack::unwind_discard();
}

TEST_F(Words, KindsShareWordsRowExceptWhereTheyDiffer) {
  for (TypeId t : {TYPE_LIT_WORD, TYPE_SET_WORD, TYPE_GET_WORD, TYPE_REFINEMENT}) {
    for (ActionId a : {ACT_MAKE, ACT_TO, ACT_FORM, ACT_MOLD, ACT_COMPARE})
      EXPECT_EQ(action_entry(t, a), action_entry(TYPE_WORD, a)) << int(t) << " " << int(a);
    EXPECT_EQ(action_entry(t, ACT_APPEND), nullptr);
  }
  EXPECT_NE(action_entry(TYPE_SET_WORD, ACT_INDEX_Q), nullptr);
  EXPECT_EQ(action_entry(TYPE_REFINEMENT, ACT_INDEX_Q), nullptr);
  EXPECT_EQ(action_entry(TYPE_ISSUE, ACT_FORM), action_entry(TYPE_WORD, ACT_FORM));
  EXPECT_NE(action_entry(TYPE_ISSUE, ACT_MOLD), action_entry(TYPE_WORD, ACT_MOLD));
  EXPECT_EQ(action_entry(TYPE_ISSUE, ACT_INDEX_Q), nullptr);
  EXPECT_STREQ(type_table[TYPE_REFINEMENT].name, "refinement!");
  EXPECT_STREQ(type_table[TYPE_ISSUE].name, "issue!");
}

TEST_F(Words, HelpersMakeWordsOfEachKind) {
  Cell* blk = block::make_at(stack::new_cell(), 2);
  Cell* s = word::load_into_block_as("helper-name", blk, TYPE_SET_WORD);
  EXPECT_EQ(s->header, static_cast<uint32_t>(TYPE_SET_WORD));
  EXPECT_EQ(mold(stack::push(s)), "helper-name:");
  Cell* plain = word::append_to_block(symbol::make("other"), blk);
  EXPECT_EQ(mold(word::push_as(plain, TYPE_LIT_WORD)), "'other");
  EXPECT_EQ(block::rs_length(blk), 2);
  Cell* i = issue::make_at(stack::new_cell(), "F00");
  EXPECT_EQ(mold(i), "#F00");
  EXPECT_EQ(mold(word::load_as("helper-name", TYPE_GET_WORD)), ":helper-name");
  // The global context's own word stays a word!: the kind is given to a copy.
  EXPECT_TRUE(context::global_word(symbol::make("helper-name"), true, false)->is(TYPE_WORD));
  EXPECT_EQ(word::scan_name(value("#12")), TYPE_INTEGER);
  EXPECT_EQ(word::scan_name(issue::make_at(stack::new_cell(), "x:")), TYPE_SET_WORD);
  EXPECT_EQ(string::to_std_string(word::push_as_string(value("Mixed"))), "Mixed");
  Cell* r = refinement::push_from_context(context::global, 0);
  EXPECT_EQ(r->header, static_cast<uint32_t>(TYPE_REFINEMENT));
}

TEST_F(Words, SettingFromArgumentsChecksForUnsetValues) {
  Cell w = *value("set-from-args-word");
  Cell* base = stack::mark_native(nullptr);
  stack::push(&w);
  Cell seven;
  set_integer(&seven, 7);
  stack::push(&seven);
  word::set_from_args();
  EXPECT_EQ(base->int_value(), 7);
  *base = w;
  word::get_into_result();
  EXPECT_EQ(base->int_value(), 7);
  // The failing call gets a frame of its own inside the catcher.
  EXPECT_EQ(error_id([&w] {
              stack::mark_native(nullptr);
              stack::push(&w);
              set_unset(stack::new_cell());
              word::set_from_args();
            }),
            "need-value");
  EXPECT_EQ(context::get_word_value(&w)->int_value(), 7);
  *base = w;
  set_unset(base + 1);
  word::set_from_args(false);   // the unchecked road stores unset
  EXPECT_TRUE(context::get_word_value(&w)->is(TYPE_UNSET));
  stack::unwind_discard();
}

}  // namespace
}  // namespace tav
