// block! make, to, eval-path, put, sort, swap, trim and the set operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block_fixture.h"
#include "datatypes/block_actions.h"
#include "eval_helpers.h"
#include "scanner/lexer.h"

namespace tav {
namespace {

int word_compare(Cell* a, Cell* b, int op) {
  if (!is_any_word(b->type())) return COMPARE_UNRELATED;
  bool exact = op == COMP_STRICT_EQUAL || op == COMP_FIND_CASE;
  uint32_t x = exact ? a->data2 : symbol::alias(a->data2);
  uint32_t y = exact ? b->data2 : symbol::alias(b->data2);
  return x == y ? 0 : 1;
}

class BlockActions : public testing::BlockFixture {
 protected:
  void SetUp() override {
    BlockFixture::SetUp();
    evaltest::install();
  }
  Cell* load(const std::string& text) {
    Cell* out = stack::new_cell();
    lexer::transcode(text, out);
    return out;
  }
  static Cell datatype(TypeId t) {
    Cell c;
    set_datatype(&c, t);
    return c;
  }
  // sort with refinements: positions are filled in for the ones given.
  struct SortArgs {
    bool case_ = false;
    const Cell* skip = nullptr;
    const Cell* compare = nullptr;
    const Cell* part = nullptr;
    bool all = false;
    bool reverse = false;
  };
  Cell* sort(Cell* b, const SortArgs& a) {
    std::vector<Cell> args{*b};
    std::vector<int32_t> refs(7, -1);
    auto add = [&](int r, const Cell* c) {
      if (!c) return;
      refs[size_t(r)] = static_cast<int32_t>(args.size());
      args.push_back(*c);
    };
    if (a.case_) refs[0] = 0;
    add(1, a.skip);
    add(2, a.compare);
    add(3, a.part);
    if (a.all) refs[4] = 0;
    if (a.reverse) refs[5] = 0;
    return call(ACT_SORT, args, refs);
  }
  std::string sorted(const char* text, const SortArgs& a) {
    Cell* b = load(text);
    sort(b, a);
    Cell head = *b;
    series::set_index(&head, 0);
    return mold(&head);
  }
  std::string set_op(int op, const char* a, const char* b, int skip = 0, bool case_ = false) {
    Cell* first = load(a);
    Cell* second = load(b);
    Cell s = integer(skip);
    block::do_set_op(first, second, case_, skip ? &s : nullptr, op);
    return mold(first);
  }
};

TEST_F(BlockActions, SortOrdersByTheFirstOrTheChosenField) {
  Cell two = integer(2), three = integer(3), one = integer(1);
  struct Case {
    const char* text;
    SortArgs args;
    const char* expected;
  } cases[] = {
      {"3 1 2", {}, "[1 2 3]"},
      {"3 1 2", {.reverse = true}, "[3 2 1]"},
      {"2 9 1 8 2 7", {.skip = &two}, "[1 8 2 9 2 7]"},
      {"2 9 1 8 2 7", {.skip = &two, .compare = &two}, "[2 7 1 8 2 9]"},
      {"2 9 1 8 2 7", {.skip = &two, .all = true}, "[1 8 2 7 2 9]"},
      {"2 9 1 8 2 7", {.skip = &two, .all = true, .reverse = true}, "[2 9 2 7 1 8]"},
      {"5 4 3 2 1", {.part = &three}, "[3 4 5 2 1]"},
      {"3 \"b\" 1 \"a\"", {}, "[\"a\" \"b\" 1 3]"},   // other types go by type id
      {"\"b\" \"B\" \"a\"", {}, "[\"a\" \"b\" \"B\"]"},
      {"\"b\" \"B\" \"a\"", {.case_ = true}, "[\"B\" \"a\" \"b\"]"},
      {"[2 1] [1 5] [1 2]", {}, "[[1 2] [1 5] [2 1]]"},
      {"3 1 2", {.skip = &one, .compare = &one}, "[1 2 3]"},
  };
  for (const Case& c : cases) EXPECT_EQ(sorted(c.text, c.args), c.expected) << c.text;
}

TEST_F(BlockActions, SortWithANegativePartSortsWhatLiesBeforeTheIndex) {
  Cell* b = load("4 3 2 1");
  series::set_index(b, 3);
  Cell back = integer(-2);
  Cell* r = sort(b, {.part = &back});
  EXPECT_EQ(series::index_of(r), 1);
  series::set_index(b, 0);
  EXPECT_EQ(mold(b), "[4 2 3 1]");
  Cell too_far = integer(-9);
  Cell* c = load("2 1 3");
  series::set_index(c, 2);
  EXPECT_EQ(series::index_of(sort(c, {.part = &too_far})), 0);
  series::set_index(c, 0);
  EXPECT_EQ(mold(c), "[1 2 3]");
}

TEST_F(BlockActions, SortRefusesBadRefinementsBeforeChangingAnything) {
  Cell two = integer(2), zero = integer(0), four = integer(4), five = integer(5);
  Cell* text = string_value("x");
  struct Case {
    SortArgs args;
    const char* id;
  } cases[] = {
      {{.skip = &two}, "invalid-refine-arg"},    // 5 cells are no whole records of 2
      {{.skip = &zero}, "invalid-refine-arg"},
      {{.skip = text}, "invalid-refine-arg"},
      {{.all = true}, "bad-refines"},
      {{.compare = &two}, "bad-refines"},         // a field needs /skip
      {{.skip = &five, .compare = &zero}, "out-of-range"},
      {{.skip = &five, .compare = &four, .all = true}, "bad-refines"},
      {{.compare = text}, "invalid-refine-arg"},
      {{.part = text}, "invalid-refine-arg"},
  };
  for (const Case& c : cases) {
    Cell* b = load("5 4 3 2 1");
    EXPECT_EQ(error_id([&] { sort(b, c.args); }), c.id);
    EXPECT_EQ(mold(b), "[5 4 3 2 1]");
  }
}

TEST_F(BlockActions, MakeAndTo) {
  Cell block_t = datatype(TYPE_BLOCK);
  Cell* made = call(ACT_MAKE, {block_t, integer(10)});
  EXPECT_TRUE(made->is(TYPE_BLOCK));
  EXPECT_EQ(block::rs_length(made), 0);
  Cell* negative = call(ACT_MAKE, {block_t, integer(-5)});
  EXPECT_EQ(block::rs_length(negative), 0);

  Cell* src = load("1 2 3");
  series::set_index(src, 1);
  src->set_type(TYPE_PAREN);
  Cell* copy = call(ACT_MAKE, {block_t, *src});
  EXPECT_TRUE(copy->is(TYPE_BLOCK));
  EXPECT_EQ(block::rs_length(copy), 2);
  EXPECT_NE(copy->node(), src->node());

  Cell* text = string_value("1 [2 3] 4");
  EXPECT_EQ(error_id([&] { call(ACT_MAKE, {block_t, *text}); }), "bad-make-arg");
  Cell* scanned = call(ACT_TO, {block_t, *text});
  EXPECT_EQ(mold(scanned), "[1 [2 3] 4]");
  Cell* single = call(ACT_TO, {block_t, integer(7)});
  EXPECT_EQ(mold(single), "[7]");
  Cell* same = call(ACT_TO, {block_t, *src});
  EXPECT_TRUE(same->is(TYPE_BLOCK));
  EXPECT_EQ(mold(same), "[2 3]");
}

TEST_F(BlockActions, PutAddsOrReplacesTheValueAfterAKey) {
  Cell* b = load("1 10 2 20");
  call(ACT_PUT, {*b, integer(3), integer(30)}, {-1});
  EXPECT_EQ(mold(b), "[1 10 2 20 3 30]");
  call(ACT_PUT, {*b, integer(2), integer(25)}, {-1});
  EXPECT_EQ(mold(b), "[1 10 2 25 3 30]");
  call(ACT_PUT, {*b, integer(30), integer(99)}, {-1});   // the key is the last value
  EXPECT_EQ(mold(b), "[1 10 2 25 3 30 99]");
  Cell* r = call(ACT_PUT, {*b, integer(1), integer(10)}, {-1});
  EXPECT_EQ(r->int_value(), 10);
  EXPECT_EQ(mold(b), "[1 10 2 25 3 30 99]");
}

TEST_F(BlockActions, SwapExchangesTheValuesAtBothIndexes) {
  Cell* a = load("1 2");
  Cell* b = load("3 4");
  series::set_index(b, 1);
  call(ACT_SWAP, {*a, *b});
  series::set_index(b, 0);
  EXPECT_EQ(mold(a), "[4 2]");
  EXPECT_EQ(mold(b), "[3 1]");

  Cell* tail = load("5");
  series::set_index(tail, 1);
  call(ACT_SWAP, {*a, *tail});
  EXPECT_EQ(mold(a), "[4 2]");

  EXPECT_EQ(error_id([&] { call(ACT_SWAP, {*a, integer(1)}); }), "invalid-arg");

  Cell* chars = load("#\"x\" 0");
  Cell* text = string_value("ab");
  call(ACT_SWAP, {*chars, *text});
  EXPECT_EQ(text_of(text), "xb");
  EXPECT_EQ(block::cell_at(chars, 0)->data2, uint32_t('a'));
  // A value the string cannot hold is refused before either side changes.
  Cell* ints = load("1 2");
  EXPECT_EQ(error_id([&] { call(ACT_SWAP, {*ints, *text}); }), "invalid-arg");
  EXPECT_EQ(mold(ints), "[1 2]");
  EXPECT_EQ(text_of(text), "xb");
}

TEST_F(BlockActions, TrimRemovesOnlyNoneFromTheIndexOn) {
  Cell* b = load("1 2 3 4");
  set_none(block::cell_at(b, 0));
  set_none(block::cell_at(b, 2));
  Cell* c = load("0");
  set_none(block::cell_at(c, 0));
  block::append_cell(b, block::cell_at(c, 0));
  series::set_index(b, 1);
  call(ACT_TRIM, {*b}, std::vector<int32_t>(6, -1));
  EXPECT_EQ(series::buffer_length(b), 3);
  EXPECT_TRUE(block::cell_at(b, 0)->is(TYPE_NONE));
  EXPECT_EQ(block::cell_at(b, 1)->int_value(), 2);
  EXPECT_EQ(block::cell_at(b, 2)->int_value(), 4);
}

TEST_F(BlockActions, PathsPickPokeAndSelectByKey) {
  // Words compare by their symbols (a stand-in where word! is not registered yet).
  ActionRow saved = action_table[TYPE_WORD];
  if (!action_table[TYPE_WORD][ACT_COMPARE - 1])
    action_table[TYPE_WORD][ACT_COMPARE - 1] = entry(&word_compare);
  evaltest::set_global("b", *load("a 1 b 2 [5] 3 4"));
  struct Case {
    const char* code;
    const char* expected;   // mold of the result, or the error id
  } cases[] = {
      {"b/2", "1"},
      {"b/b", "2"},
      {"b/B", "2"},
      {"b/4", "2"},
      {"b/z", "none"},
      {"b/([5])", "3"},
      {"b/(4)", "2"},
      {"b/a: 10 b/a", "10"},
      {"b/2: 7 b/a", "7"},
      {"b/z: 1", "bad-path-set"},
      // Setting looks a block up as a sequence, and stores after the whole of it.
      {"b/([5]): 8", "bad-path-set"},
      {"b/([7 b]): 6 b/b", "6"},   // the cases above left a 7 after a
  };
  for (const Case& c : cases) {
    evaltest::Outcome o = evaltest::run(*load(c.code));
    std::string got = o.error ? error::id_name(&o.error_value) : mold(&o.value);
    EXPECT_EQ(got, c.expected) << c.code << " " << o.text;
  }
  action_table[TYPE_WORD] = saved;
}

TEST_F(BlockActions, SetOperationsKeepFirstSeenOrder) {
  struct Case {
    int op;
    const char* a;
    const char* b;
    int skip;
    bool case_;
    const char* expected;
  } cases[] = {
      {8, "1 2 1 3 2", "", 0, false, "[1 2 3]"},
      {9, "3 1", "1 2 3 4", 0, false, "[3 1 2 4]"},
      {10, "1 2 3 4", "4 2 9", 0, false, "[2 4]"},
      {11, "1 2 3 4", "4 2 9", 0, false, "[1 3]"},
      {12, "1 2", "2 3", 0, false, "[1 3]"},
      {8, "\"a\" \"A\" \"b\"", "", 0, false, "[\"a\" \"b\"]"},
      {8, "\"a\" \"A\" \"b\"", "", 0, true, "[\"a\" \"A\" \"b\"]"},
      {8, "1 10 2 20 1 30", "", 2, false, "[1 10 2 20]"},
      {10, "1 10 2 20 3 30", "3 0 20 1", 2, false, "[3 30]"},   // only first cells count
      {8, "[1] [2] [1]", "", 0, false, "[[1] [2]]"},
      {12, "[1] 2", "[1] 3", 0, false, "[2 3]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(set_op(c.op, c.a, c.b, c.skip, c.case_), c.expected) << c.op << " " << c.a;
  Cell* a = load("1");
  Cell* b = load("1");
  Cell zero = integer(0);
  EXPECT_EQ(error_id([&] { block::do_set_op(a, b, false, &zero, 8); }), "invalid-refine-arg");
}

}  // namespace
}  // namespace tav
