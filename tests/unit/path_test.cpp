#include <string>
#include <vector>

#include "datatypes/object.h"
#include "datatypes/path.h"
#include "datatypes/series.h"
#include "word_fixture.h"

namespace tav {
namespace {

using Paths = testing::WordFixture;

TEST_F(Paths, EveryKindMoldsWithItsMarkAndFormsWithout) {
  struct Case {
    const char* source;
    const char* mold;
    const char* form;
  };
  const std::vector<Case> cases = {
      {"a/b", "a/b", "a/b"},
      {"'a/b", "'a/b", "a/b"},
      {"a/b:", "a/b:", "a/b"},
      {":a/b", ":a/b", "a/b"},
      {"a/b/1/\"s\"", "a/b/1/\"s\"", "a/b/1/s"},
      {"a/(b c)/d", "a/(b c)/d", "a/b c/d"},
      {"(a b)", "(a b)", "a b"},
      {"(a (b) [c])", "(a (b) [c])", "a b c"},
      {"()", "()", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mold_of(c.source), c.mold) << c.source;
    EXPECT_EQ(form_of(c.source), c.form) << c.source;
  }
}

TEST_F(Paths, AParenMoldsLikeABlockBetweenParentheses) {
  EXPECT_EQ(mold_of("(\na b\n)"), "(\n    a b\n)");
  EXPECT_EQ(mold_of("(a\nb)"), "(a\nb)");
  EXPECT_EQ(text(value("(a b)"), true, nullptr, 0x7FFFFFFF, nullptr, true), "a b");
  // A path inside a block keeps its own marks.
  EXPECT_EQ(mold_of("[x/y: 'p/q (r)]"), "[x/y: 'p/q (r)]");
  EXPECT_EQ(form_of("[x/y: 'p/q (r)]"), "x/y p/q r");
}

TEST_F(Paths, PartStopsAfterTheValueThatUsesUpTheLimit) {
  Cell part;
  set_integer(&part, 3);
  int left = 0;
  EXPECT_EQ(text(value("abc/def/ghi"), true, &part, 3, &left), "abc");
  EXPECT_EQ(left, 0);
  EXPECT_EQ(text(value("abc/def/ghi"), false, &part, 5, &left), "abc/def");
  EXPECT_EQ(left, -2);
  // Without /part the limit only counts down.
  text(value("a/bc:"), true, nullptr, 100, &left);
  EXPECT_EQ(left, 95);
  text(value("'a/bc"), true, nullptr, 100, &left);
  EXPECT_EQ(left, 95);
}

TEST_F(Paths, APathHoldingItselfMoldsTheMarker) {
  Cell* p = value("a/b");
  block::append_cell(p, p);
  EXPECT_EQ(mold(p), "a/b/...");
  EXPECT_EQ(form(p), "a/b/...");
  Cell* q = value("(a)");
  block::append_cell(q, q);
  EXPECT_EQ(mold(q), "(a (...))");
}

TEST_F(Paths, MakeTakesABlockKindOrACapacity) {
  Cell* from_block = convert(TYPE_PATH, value("[a b]"), true);
  EXPECT_EQ(mold(from_block), "a/b");
  EXPECT_EQ(mold(convert(TYPE_SET_PATH, value("[a b]"), true)), "a/b:");
  EXPECT_EQ(mold(convert(TYPE_GET_PATH, value("(a b)"), true)), ":a/b");
  // A copy: the source is not shared.
  Cell* src = value("[a b]");
  Cell* copy = convert(TYPE_PATH, src, true);
  EXPECT_NE(copy->node(), src->node());
  Cell* at = value("x/y/z");
  at->data1 = 1;
  EXPECT_EQ(mold(convert(TYPE_LIT_PATH, at, true)), "'y/z");
  for (const char* n : {"0", "-5", "3", "2.7", "0.5"}) {
    Cell* empty = convert(TYPE_PATH, value(n), true);
    EXPECT_TRUE(empty->is(TYPE_PATH)) << n;
    EXPECT_EQ(block::rs_length(empty), 0) << n;
    EXPECT_EQ(empty->data3, 0u) << n;
  }
  for (const char* bad : {"\"a/b\"", "a", "#\"x\"", "1e20"})
    EXPECT_EQ(error_id([&] { convert(TYPE_PATH, value(bad), true); }), "bad-make-arg") << bad;
}

TEST_F(Paths, ToWrapsOneValueOrConvertsAsABlock) {
  EXPECT_EQ(mold(convert(TYPE_PATH, value("[a b c]"))), "a/b/c");
  EXPECT_EQ(mold(convert(TYPE_LIT_PATH, value("\"a b\""))), "'a/b");
  EXPECT_EQ(mold(convert(TYPE_PATH, value("1"))), "1");
  EXPECT_EQ(mold(convert(TYPE_SET_PATH, value("word"))), "word:");
  Cell* obj = object::make_at(stack::new_cell(), 1);
  Cell* p = convert(TYPE_PATH, obj);
  ASSERT_EQ(block::rs_length(p), 1);
  EXPECT_TRUE(block::cell_at(p, 0)->is(TYPE_OBJECT));
  EXPECT_EQ(block::cell_at(p, 0)->data1, obj->data1);
}

TEST_F(Paths, KindsCompareOnlyWithTheirOwnKindButPathAndLitPathUnderParseCodes) {
  struct Case {
    const char* a;
    const char* b;
    int op;
    int expected;
  };
  const std::vector<Case> cases = {
      {"a/b", "a/b", COMP_EQUAL, 0},
      {"a/b", "A/b", COMP_EQUAL, 0},
      {"a/b", "A/b", COMP_STRICT_EQUAL, 1},
      {"a/b", "a/c", COMP_EQUAL, 1},
      {"a/b", "'a/b", COMP_EQUAL, COMPARE_UNRELATED},
      {"a/b", "'a/b", COMP_FIND, 0},
      {"'a/b", "a/b", COMP_FIND_CASE, 0},
      {"a/b", "'A/b", COMP_FIND_CASE, 1},
      {"a/b", "a/b:", COMP_FIND, COMPARE_UNRELATED},
      {"(a b)", "[a b]", COMP_EQUAL, COMPARE_UNRELATED},
      {"(a b)", "(a b)", COMP_EQUAL, 0},
  };
  for (const Case& c : cases) {
    Cell* a = value(c.a);
    Cell* b = value(c.b);
    EXPECT_EQ(actions::compare_value(a, b, c.op), c.expected)
        << c.a << " vs " << c.b << " op " << c.op;
  }
}

TEST_F(Paths, RowsInheritBlocksActionsExceptTheUnordered) {
  for (TypeId t : {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}) {
    EXPECT_EQ(action_entry(t, ACT_SORT), nullptr);
    EXPECT_EQ(action_entry(t, ACT_TRIM), nullptr);
    EXPECT_EQ(action_entry(t, ACT_RANDOM), nullptr);
    for (ActionId a : {ACT_COMPARE, ACT_APPEND, ACT_FIND, ACT_COPY, ACT_PICK, ACT_LENGTH_Q})
      EXPECT_EQ(action_entry(t, a), action_entry(TYPE_BLOCK, a));
    EXPECT_EQ(action_entry(t, ACT_MOLD), action_entry(TYPE_PATH, ACT_MOLD));
  }
  EXPECT_EQ(action_entry(TYPE_PAREN, ACT_TRIM), nullptr);
  EXPECT_EQ(action_entry(TYPE_PAREN, ACT_SORT), action_entry(TYPE_BLOCK, ACT_SORT));
  EXPECT_EQ(action_entry(TYPE_PAREN, ACT_FORM), action_entry(TYPE_BLOCK, ACT_FORM));
  Cell* p = value("a/b");
  EXPECT_EQ(error_id([&] { actions::trim_direct(p, false, false, false, false, false, nullptr); }),
            "expect-arg");
}

TEST_F(Paths, CopyAndAppendKeepThePathKind) {
  Cell* p = value("a/b:");
  Cell* out = set_unset(stack::new_cell());
  actions::copy_direct(p, out, nullptr, false, nullptr);
  EXPECT_EQ(mold(out), "a/b:");
  Cell* extra = value("c");
  actions::append_direct(out, extra, -1, false, 1);
  EXPECT_EQ(mold(out), "a/b/c:");
  EXPECT_EQ(mold(p), "a/b:");
}

TEST_F(Paths, PushHelpersRetypeInPlace) {
  Cell* blk = value("[a b]");
  Cell* pushed = set_path::push(blk);
  EXPECT_EQ(blk->header, static_cast<uint32_t>(TYPE_SET_PATH));
  EXPECT_EQ(mold(pushed), "a/b:");
  EXPECT_EQ(mold(paren::push(blk)), "(a b)");
  Cell* empty = path::make_at(stack::new_cell(), 4);
  EXPECT_TRUE(empty->is(TYPE_PATH));
  EXPECT_EQ(block::rs_length(empty), 0);
}

}  // namespace
}  // namespace tav
