#include "block_fixture.h"

#include "core/cycles.h"

namespace tav {
namespace {

using testing::BlockFixture;
using BlockText = BlockFixture;
using BlockCompare = BlockFixture;
using BlockSearch = BlockFixture;
using BlockChange = BlockFixture;

// ---- Form and mold -------------------------------------------------------------------------

TEST_F(BlockText, MoldsWithLineBreaksAndIndentation) {
  struct Case {
    const char* source;   // "\n" marks the next value as starting a line
    bool only, flat;
    const char* expected;
  };
  const Case cases[] = {
      {"1 2 [3 4]", false, false, "[1 2 [3 4]]"},
      {"[]", false, false, "[[]]"},
      {"\n1 2", false, false, "[\n    1 2\n]"},
      {"1\n2", false, false, "[1\n2]"},
      {"\n1\n[\n2 3]", false, false, "[\n    1\n    [\n        2 3\n    ]\n]"},
      {"\n1 [\n2\n3] 4", false, false, "[\n    1 [\n        2\n        3\n    ] 4\n]"},
      {"\n1\n[\n2]", false, true, "[1 [2]]"},
      {"1 [2 3]", true, false, "1 [2 3]"},
      {"\n1 2\n3", true, false, "1 2\n3"},
  };
  for (const Case& c : cases) {
    Cell* b = blk(c.source);
    EXPECT_EQ(mold(b, c.only, c.flat), c.expected) << "source: " << c.source;
  }
}

TEST_F(BlockText, MoldStartsAtTheIndex) {
  Cell* b = blk("1 2 3");
  b->data1 = 1;
  EXPECT_EQ(mold(b), "[2 3]");
  b->data1 = 3;
  EXPECT_EQ(mold(b), "[]");
}

TEST_F(BlockText, FormFlattensNestedBlocks) {
  EXPECT_EQ(form(blk("1 [2 [3]] 4")), "1 2 3 4");
  EXPECT_EQ(form(blk("")), "");
}

TEST_F(BlockText, MoldPartStopsBetweenValuesAndIsCutToTheLimit) {
  Cell* b = blk("1 2 3 4 5 6");
  EXPECT_EQ(mold_part(b, 5), "[1 2 ");
  EXPECT_EQ(mold_part(b, 2), "[1");
  EXPECT_EQ(mold_part(b, 100), "[1 2 3 4 5 6]");
}

TEST_F(BlockText, ABlockContainingItselfMoldsTheCycleMarker) {
  Cell* b = blk("1 2");
  block::append_cell(b, b);
  EXPECT_EQ(mold(b), "[1 2 [...]]");
  EXPECT_EQ(form(b), "1 2 ...");
}

TEST_F(BlockText, AnErrorInsideMoldLeavesTheCycleStackAsItWas) {
  Cell* b = blk("1");
  Cell unknown = make_cell(TYPE_SERIES);   // a type with no mold handler
  block::append_cell(b, &unknown);
  uint32_t depth = cycles::depth();
  EXPECT_EQ(error_id([&] { mold(b); }), "expect-arg");
  EXPECT_EQ(cycles::depth(), depth);
}

// ---- Compare -------------------------------------------------------------------------------

TEST_F(BlockCompare, ComparesCellByCellThenByLength) {
  struct Case {
    const char *a, *b;
    int op, expected;
  };
  const Case cases[] = {
      {"1 2", "1 2", COMP_EQUAL, 0},
      {"1 2", "1 3", COMP_EQUAL, -1},
      {"1 2", "1", COMP_EQUAL, 1},          // lengths differ: unequal at once
      {"1", "", COMP_LESSER, 1},            // an empty block orders first
      {"1 2", "1 2 0", COMP_LESSER, -1},
      {"1 [2 3]", "1 [2 3]", COMP_FIND_EQUAL, 0},
      {"1 [2 3]", "1 [2 4]", COMP_SORT, -1},
  };
  for (const Case& c : cases) {
    Cell* a = blk(c.a);
    Cell* b = blk(c.b);
    EXPECT_EQ(block::compare(a, b, c.op), c.expected) << c.a << " vs " << c.b;
  }
}

TEST_F(BlockCompare, OtherKindsAndIdentity) {
  Cell* a = blk("1 2");
  Cell paren = *a;
  paren.set_type(TYPE_PAREN);
  EXPECT_EQ(block::compare(a, &paren, COMP_EQUAL), COMPARE_UNRELATED);
  Cell* b = blk("1 2");
  EXPECT_EQ(block::compare(a, b, COMP_SAME), -1);
  EXPECT_EQ(block::compare(a, a, COMP_SAME), 0);
  // Cells of different kinds order by type id, without asking either type.
  Cell* mixed = blk("1");
  Cell* nested = blk("[1]");
  EXPECT_EQ(block::compare(mixed, nested, COMP_SORT), 1);   // integer! (11) after block! (5)
}

TEST_F(BlockCompare, BlocksRecursingOnBothSidesCompareEqual) {
  Cell* a = blk("1");
  block::append_cell(a, a);
  Cell* b = blk("1");
  block::append_cell(b, b);
  EXPECT_EQ(block::compare(a, b, COMP_EQUAL), 0);
  EXPECT_EQ(cycles::depth(), 0u);
}

// ---- Find and select -----------------------------------------------------------------------

TEST_F(BlockSearch, FindRefinements) {
  // Series [1 2 3 1 2 3]; refinement positions in the order find declares its refinements:
  // part only case same any with skip last reverse tail match.
  enum { PART, ONLY, CASE, SAME, ANY, WITH, SKIP, LAST, REVERSE, TAIL, MATCH };
  struct Case {
    const char* what;
    int index;                 // the series' index before the search
    const char* value;         // an integer, or [..] for a block value
    std::vector<int> flags;    // refinements without arguments
    int part, skip;            // 0: not given
    int expected;              // index of the result, -1 for none
  };
  const Case cases[] = {
      {"plain", 0, "2", {}, 0, 0, 1},
      {"from the index", 2, "2", {}, 0, 0, 4},
      {"absent", 0, "7", {}, 0, 0, -1},
      {"last", 0, "2", {LAST}, 0, 0, 4},
      {"reverse from the tail", 6, "3", {REVERSE}, 0, 0, 5},
      {"reverse from the head", 0, "1", {REVERSE}, 0, 0, -1},
      {"reverse skips the index", 3, "1", {REVERSE}, 0, 0, 0},
      {"match at the index", 3, "1", {MATCH}, 0, 0, 3},
      {"match fails elsewhere", 0, "2", {MATCH}, 0, 0, -1},
      {"tail", 0, "2", {TAIL}, 0, 0, 2},
      {"reverse tail", 6, "2", {REVERSE, TAIL}, 0, 0, 5},
      {"sequence", 0, "[2 3]", {}, 0, 0, 1},
      {"sequence tail", 0, "[2 3]", {TAIL}, 0, 0, 3},
      {"sequence last", 0, "[2 3]", {LAST}, 0, 0, 4},
      {"sequence reverse", 6, "[3 1]", {REVERSE}, 0, 0, 2},
      {"sequence not there", 0, "[3 2]", {}, 0, 0, -1},
      {"only looks for the block", 0, "[2 3]", {ONLY}, 0, 0, -1},
      {"skip compares record heads", 0, "3", {}, 0, 2, 2},
      {"skip misses other cells", 0, "2", {}, 0, 3, -1},
      {"skip tail moves a record", 0, "3", {TAIL}, 0, 2, 4},
      {"part within range", 0, "3", {}, 3, 0, 2},
      {"part too short", 0, "3", {}, 2, 0, -1},
      {"part below one", 0, "1", {}, -1, 0, -1},
  };
  for (const Case& c : cases) {
    Cell* s = blk("1 2 3 1 2 3");
    s->data1 = static_cast<uint32_t>(c.index);
    Cell v = c.value[0] == '[' ? *blk(c.value + 1) : integer(std::atoi(c.value));
    std::vector<Cell> args{*s, v};
    std::vector<int32_t> refs(11, -1);
    for (int f : c.flags) refs[f] = 0;
    if (c.part) {
      refs[PART] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.part));
    }
    if (c.skip) {
      refs[SKIP] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.skip));
    }
    Cell* r = call(ACT_FIND, args, refs);
    if (c.expected < 0) {
      EXPECT_TRUE(r->is(TYPE_NONE)) << c.what;
    } else {
      ASSERT_TRUE(r->is(TYPE_BLOCK)) << c.what;
      EXPECT_EQ(static_cast<int>(r->index()), c.expected) << c.what;
      EXPECT_EQ(r->node(), s->node()) << c.what;
    }
  }
}

TEST_F(BlockSearch, FindByDatatypeAndIdentity) {
  Cell* s = blk("1 [2] 3");
  Cell type;
  set_datatype(&type, TYPE_BLOCK);
  EXPECT_EQ(call(ACT_FIND, {*s, type})->index(), 1u);
  // /same finds the very block, not an equal one.
  Cell inner = *block::cell_at(s, 1);
  Cell* twin = blk("2");
  std::vector<int32_t> same(11, -1);
  same[1] = 0;   // /only
  same[3] = 0;   // /same
  EXPECT_EQ(call(ACT_FIND, {*s, inner}, same)->index(), 1u);
  EXPECT_TRUE(call(ACT_FIND, {*s, *twin}, same)->is(TYPE_NONE));
  same[3] = -1;
  EXPECT_EQ(call(ACT_FIND, {*s, *twin}, same)->index(), 1u);
}

TEST_F(BlockSearch, SelectAnswersTheValueAfterTheMatch) {
  Cell* s = blk("1 2 3 1 2 4");
  EXPECT_EQ(call(ACT_SELECT, {*s, integer(2)})->int_value(), 3);
  std::vector<int32_t> last(9, -1);
  last[7] = 0;
  EXPECT_EQ(call(ACT_SELECT, {*s, integer(2)}, last)->int_value(), 4);
  EXPECT_TRUE(call(ACT_SELECT, {*s, integer(4)})->is(TYPE_NONE));   // the last value
  EXPECT_EQ(call(ACT_SELECT, {*s, *blk("1 2")})->int_value(), 3);  // after the sequence
}

TEST_F(BlockSearch, BadRefinementArgumentsRaise) {
  Cell* s = blk("1 2 3");
  Cell* other = blk("1 2 3");
  std::vector<int32_t> skip(11, -1);
  skip[6] = 2;
  EXPECT_EQ(error_id([&] { call(ACT_FIND, {*s, integer(1), integer(0)}, skip); }),
            "out-of-range");
  EXPECT_EQ(error_id([&] { call(ACT_FIND, {*s, integer(1), *other}, skip); }),
            "invalid-refine-arg");
  std::vector<int32_t> part(11, -1);
  part[0] = 2;
  EXPECT_EQ(error_id([&] { call(ACT_FIND, {*s, integer(1), *other}, part); }),
            "invalid-refine-arg");
  Cell* pos = stack::push(s);
  pos->data1 = 2;
  EXPECT_EQ(call(ACT_FIND, {*s, integer(2), *pos}, part)->index(), 1u);
}

// ---- Append, insert, change ----------------------------------------------------------------

TEST_F(BlockChange, InsertAndChangeWithPartAndDup) {
  // Refinement order for insert and change: part only dup.
  struct Case {
    const char* what;
    ActionId action;
    const char* series;
    int index;
    const char* value;   // an integer, or [..] for a block
    int part, dup;       // 0: not given (part 100 stands for /part 0)
    bool only;
    const char* expected;
    int result_index;
  };
  const Case cases[] = {
      {"insert at head", ACT_INSERT, "9", 0, "7", 0, 0, false, "[7 9]", 1},
      {"insert dup", ACT_INSERT, "9", 0, "7", 0, 3, false, "[7 7 7 9]", 3},
      {"insert block values dup", ACT_INSERT, "9", 0, "[1 2]", 0, 2, false, "[1 2 1 2 9]", 4},
      {"insert part", ACT_INSERT, "9", 0, "[1 2 3]", 2, 0, false, "[1 2 9]", 2},
      {"insert only", ACT_INSERT, "9", 1, "[1 2]", 0, 0, true, "[9 [1 2]]", 2},
      {"insert past the tail", ACT_INSERT, "9", 5, "1", 0, 0, false, "[9 1]", 2},
      {"append", ACT_APPEND, "9", 1, "[1 2]", 0, 0, false, "[9 1 2]", 0},
      {"change one", ACT_CHANGE, "1 2 3", 0, "9", 0, 0, false, "[9 2 3]", 1},
      {"change with values", ACT_CHANGE, "1 2 3", 1, "[7 8]", 0, 0, false, "[1 7 8]", 3},
      {"change past the end grows", ACT_CHANGE, "1 2 3", 2, "[7 8]", 0, 0, false, "[1 2 7 8]",
       4},
      {"change only", ACT_CHANGE, "1 2 3", 0, "[7 8]", 0, 0, true, "[[7 8] 2 3]", 1},
      {"change part", ACT_CHANGE, "1 2 3 4", 0, "9", 2, 0, false, "[9 3 4]", 1},
      {"change part 0 inserts", ACT_CHANGE, "1 2", 0, "9", 100, 0, false, "[9 1 2]", 1},
      {"change dup", ACT_CHANGE, "1 2 3", 0, "9", 0, 2, false, "[9 9 3]", 2},
      {"change part dup", ACT_CHANGE, "1 2 3", 0, "[7 8]", 1, 2, false, "[7 8 7 8 2 3]", 4},
  };
  for (const Case& c : cases) {
    Cell* s = blk(c.series);
    Cell head = *s;
    s->data1 = static_cast<uint32_t>(c.index);
    Cell v = c.value[0] == '[' ? *blk(c.value + 1) : integer(std::atoi(c.value));
    std::vector<Cell> args{*s, v};
    std::vector<int32_t> refs(3, -1);
    if (c.part) {
      refs[0] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.part == 100 ? 0 : c.part));
    }
    if (c.only) refs[1] = 0;
    if (c.dup) {
      refs[2] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.dup));
    }
    Cell* r = call(c.action, args, refs);
    EXPECT_EQ(mold(&head), c.expected) << c.what;
    EXPECT_EQ(static_cast<int>(r->index()), c.result_index) << c.what;
  }
}

TEST_F(BlockChange, InsertingABlockIntoItself) {
  Cell* s = blk("1 2");
  call(ACT_INSERT, {*s, *s});
  EXPECT_EQ(mold(s), "[1 2 1 2]");
  Cell* t = blk("1 2 3");
  Cell tail_part = *t;
  tail_part.data1 = 1;
  call(ACT_CHANGE, {*t, tail_part});
  EXPECT_EQ(mold(t), "[2 3 3]");
}

TEST_F(BlockChange, AHugeDupRaisesBeforeAnythingChanges) {
  Cell* s = blk("1 2");
  std::vector<int32_t> dup{-1, -1, 2};
  EXPECT_EQ(error_id([&] { call(ACT_INSERT, {*s, *blk("1 2 3 4"), integer(0x7FFFFFFF)}, dup); }),
            "no-memory");
  EXPECT_EQ(mold(s), "[1 2]");
  EXPECT_EQ(error_id([&] { call(ACT_CHANGE, {*s, integer(5), integer(300000000)}, dup); }),
            "no-memory");
  EXPECT_EQ(mold(s), "[1 2]");
}

TEST_F(BlockChange, ManyAppendsGrowTheBuffer) {
  Cell* s = blk("");
  for (int i = 0; i < 5000; i++) call(ACT_APPEND, {*s, integer(i)});
  EXPECT_EQ(block::rs_length(s), 5000);
  EXPECT_EQ(block::cell_at(s, 4999)->int_value(), 4999);
}

// ---- Take and deep copy ---------------------------------------------------------------------

TEST_F(BlockChange, TakeAnswersTheValueOrABlock) {
  Cell* s = blk("1 [2] 3");
  EXPECT_EQ(call(ACT_TAKE, {*s})->int_value(), 1);
  std::vector<int32_t> last{-1, -1, 0};
  EXPECT_EQ(call(ACT_TAKE, {*s}, last)->int_value(), 3);
  EXPECT_EQ(mold(s), "[[2]]");
  // /deep: a taken block is a copy, not the one still referred to elsewhere.
  Cell inner = *block::cell_at(s, 0);
  std::vector<int32_t> deep{-1, 0, -1};
  Cell* r = call(ACT_TAKE, {*s}, deep);
  EXPECT_NE(r->node(), inner.node());
  EXPECT_EQ(mold(r), "[2]");
  EXPECT_TRUE(call(ACT_TAKE, {*s})->is(TYPE_NONE));
  std::vector<int32_t> part{1, -1, -1};
  Cell* u = blk("1 2 3");
  EXPECT_EQ(mold(call(ACT_TAKE, {*u, integer(2)}, part)), "[1 2]");
  EXPECT_EQ(mold(u), "[3]");
}

TEST_F(BlockChange, CopyDeepCopiesNestedBlocksAndRefusesCycles) {
  Cell* s = blk("1 [2 [3]]");
  std::vector<int32_t> deep{-1, 0, -1};
  Cell* c = call(ACT_COPY, {*s}, deep);
  EXPECT_EQ(mold(c), "[1 [2 [3]]]");
  EXPECT_NE(block::cell_at(c, 1)->node(), block::cell_at(s, 1)->node());
  Cell* shallow = call(ACT_COPY, {*s});
  EXPECT_EQ(block::cell_at(shallow, 1)->node(), block::cell_at(s, 1)->node());

  Cell* part = stack::new_cell();
  block::copy_cells(s, 1, 1, true, part);
  EXPECT_EQ(mold(part), "[[2 [3]]]");
  EXPECT_NE(block::cell_at(part, 0)->node(), block::cell_at(s, 1)->node());

  Cell* self = blk("1");
  block::append_cell(self, self);
  EXPECT_EQ(error_id([&] { call(ACT_COPY, {*self}, deep); }), "no-cycle");
  EXPECT_EQ(cycles::depth(), 0u);
}

}  // namespace
}  // namespace tav
