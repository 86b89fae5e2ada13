#include "block_fixture.h"

namespace tav {
namespace {

using SeriesActions = testing::BlockFixture;

TEST_F(SeriesActions, AtAndSkipClampToTheBuffer) {
  struct Case {
    ActionId action;
    int index, n, expected;
  };
  const Case cases[] = {
      {ACT_AT, 2, 1, 2},   {ACT_AT, 2, 0, 2},   {ACT_AT, 2, -1, 1}, {ACT_AT, 0, 3, 2},
      {ACT_AT, 1, 99, 4},  {ACT_AT, 1, -99, 0}, {ACT_SKIP, 0, -1, 0}, {ACT_SKIP, 1, 2, 3},
      {ACT_SKIP, 1, 99, 4}, {ACT_SKIP, 3, -2, 1},
  };
  for (const Case& c : cases) {
    Cell* s = blk("1 2 3 4");
    s->data1 = static_cast<uint32_t>(c.index);
    EXPECT_EQ(static_cast<int>(call(c.action, {*s, integer(c.n)})->index()), c.expected)
        << (c.action == ACT_AT ? "at " : "skip ") << c.index << " " << c.n;
  }
  Cell* s = blk("1");
  Cell type;
  set_datatype(&type, TYPE_INTEGER);
  EXPECT_EQ(error_id([&] { call(ACT_AT, {*s, type}); }), "invalid-arg");
}

TEST_F(SeriesActions, PositionQueries) {
  Cell* s = blk("1 2 3");
  s->data1 = 1;
  EXPECT_EQ(call(ACT_HEAD, {*s})->index(), 0u);
  EXPECT_EQ(call(ACT_TAIL, {*s})->index(), 3u);
  EXPECT_EQ(call(ACT_INDEX_Q, {*s})->int_value(), 2);
  EXPECT_EQ(call(ACT_LENGTH_Q, {*s})->int_value(), 2);
  EXPECT_FALSE(is_true(call(ACT_HEAD_Q, {*s})));
  EXPECT_EQ(call(ACT_NEXT, {*s})->index(), 2u);
  EXPECT_EQ(call(ACT_BACK, {*s})->index(), 0u);
  s->data1 = 3;
  EXPECT_EQ(call(ACT_NEXT, {*s})->index(), 3u);   // never passes the tail
  EXPECT_TRUE(is_true(call(ACT_TAIL_Q, {*s})));
  s->data1 = 0;
  EXPECT_EQ(call(ACT_BACK, {*s})->index(), 0u);
}

TEST_F(SeriesActions, AnIndexLeftPastTheTailReadsAsEmpty) {
  Cell* s = blk("1 2 3 4");
  Cell view = *s;
  view.data1 = 3;
  Cell* shortened = call(ACT_CLEAR, {*blk("")});   // unrelated call between the two
  (void)shortened;
  s->data1 = 1;
  call(ACT_CLEAR, {*s});   // another value cuts the buffer to one cell
  EXPECT_TRUE(is_true(call(ACT_TAIL_Q, {view})));
  Cell* len = call(ACT_LENGTH_Q, {view});
  EXPECT_EQ(len->int_value(), 0);
  EXPECT_EQ(mold(&view), "[]");
  EXPECT_EQ(call(ACT_COPY, {view})->is(TYPE_BLOCK), true);
  EXPECT_EQ(block::rs_length(call(ACT_COPY, {view})), 0);
  EXPECT_TRUE(call(ACT_PICK, {view, integer(1)})->is(TYPE_NONE));
  EXPECT_EQ(mold(call(ACT_INSERT, {view, integer(9)})), "[]");   // at the tail
  s->data1 = 0;
  EXPECT_EQ(mold(s), "[1 9]");
}

TEST_F(SeriesActions, PickAndPoke) {
  Cell* s = blk("1 2 3");
  s->data1 = 1;
  EXPECT_EQ(call(ACT_PICK, {*s, integer(1)})->int_value(), 2);
  EXPECT_EQ(call(ACT_PICK, {*s, integer(-1)})->int_value(), 1);
  EXPECT_TRUE(call(ACT_PICK, {*s, integer(0)})->is(TYPE_NONE));
  EXPECT_TRUE(call(ACT_PICK, {*s, integer(3)})->is(TYPE_NONE));
  Cell truth;
  set_logic(&truth, true);
  EXPECT_EQ(call(ACT_PICK, {*s, truth})->int_value(), 2);   // true picks the first
  EXPECT_EQ(call(ACT_POKE, {*s, integer(2), integer(7)})->int_value(), 7);
  EXPECT_EQ(mold(s), "[2 7]");
  EXPECT_EQ(error_id([&] { call(ACT_POKE, {*s, integer(0), integer(7)}); }), "out-of-range");
  EXPECT_EQ(error_id([&] { call(ACT_POKE, {*s, integer(3), integer(7)}); }), "out-of-range");
}

TEST_F(SeriesActions, PokeIntoTextWidensTheBuffer) {
  Cell* s = string_value("abc");
  Cell euro;
  set_char(&euro, 0x20AC);
  call(ACT_POKE, {*s, integer(2), euro});
  EXPECT_EQ(node_buffer(s->node())->unit(), 2u);
  EXPECT_EQ(string::char_at(s->node(), 0), uint32_t('a'));
  EXPECT_EQ(string::char_at(s->node(), 1), 0x20ACu);
  EXPECT_EQ(string::char_at(s->node(), 2), uint32_t('c'));
  EXPECT_EQ(error_id([&] { call(ACT_POKE, {*s, integer(1), integer(65)}); }), "invalid-arg");
  EXPECT_EQ(call(ACT_PICK, {*s, integer(2)})->data2, 0x20ACu);
}

TEST_F(SeriesActions, RemoveAndClear) {
  Cell* s = blk("1 2 3 4 5");
  s->data1 = 1;
  call(ACT_REMOVE, {*s}, {-1, -1});
  EXPECT_EQ(mold(s), "[3 4 5]");
  std::vector<int32_t> part{1, -1};
  call(ACT_REMOVE, {*s, integer(2)}, part);
  EXPECT_EQ(mold(s), "[5]");
  call(ACT_REMOVE, {*s, integer(0)}, part);   // a count below one changes nothing
  EXPECT_EQ(mold(s), "[5]");
  s->data1 = 2;
  call(ACT_REMOVE, {*s}, {-1, -1});   // at the tail
  s->data1 = 0;
  EXPECT_EQ(mold(s), "[1 5]");
  Cell* c = blk("1 2 3");
  c->data1 = 1;
  Cell* r = call(ACT_CLEAR, {*c});
  EXPECT_EQ(r->index(), 1u);
  c->data1 = 0;
  EXPECT_EQ(mold(c), "[1]");
  EXPECT_EQ(error_id([&] { call(ACT_REMOVE, {*c, *blk("1")}, part); }), "invalid-refine-arg");
}

TEST_F(SeriesActions, Reverse) {
  struct Case {
    const char* source;
    int part, skip;   // 0: not given
    const char* expected;
    const char* error;
  };
  const Case cases[] = {
      {"1 2 3 4", 0, 0, "[4 3 2 1]", ""},
      {"1 2 3 4", 3, 0, "[3 2 1 4]", ""},
      {"1 2 3 4", 0, 2, "[3 4 1 2]", ""},
      {"1 2 3 4", 0, 4, "[1 2 3 4]", ""},
      {"1 2 3 4 5 6", 0, 3, "[4 5 6 1 2 3]", ""},
      {"1 2 3 4", 0, 3, "[1 2 3 4]", "invalid-refine-arg"},
      {"1 2 3 4", 0, 5, "[1 2 3 4]", "invalid-refine-arg"},
      {"1 2 3 4", 0, -1, "[1 2 3 4]", "out-of-range"},
  };
  for (const Case& c : cases) {
    Cell* s = blk(c.source);
    std::vector<Cell> args{*s};
    std::vector<int32_t> refs{-1, -1};
    if (c.part) {
      refs[0] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.part));
    }
    if (c.skip) {
      refs[1] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.skip));
    }
    EXPECT_EQ(error_id([&] { call(ACT_REVERSE, args, refs); }), c.error) << c.source;
    EXPECT_EQ(mold(s), c.expected) << c.source << " part " << c.part << " skip " << c.skip;
  }
}

TEST_F(SeriesActions, CopyPart) {
  Cell* s = blk("1 2 3 4 5");
  s->data1 = 2;
  std::vector<int32_t> part{1, -1, -1};
  EXPECT_EQ(mold(call(ACT_COPY, {*s})), "[3 4 5]");
  EXPECT_EQ(mold(call(ACT_COPY, {*s, integer(2)}, part)), "[3 4]");
  EXPECT_EQ(mold(call(ACT_COPY, {*s, integer(-2)}, part)), "[1 2]");
  EXPECT_EQ(mold(call(ACT_COPY, {*s, integer(99)}, part)), "[3 4 5]");
  Cell end = *s;
  end.data1 = 4;
  EXPECT_EQ(mold(call(ACT_COPY, {*s, end}, part)), "[3 4]");
  Cell pair = make_cell(TYPE_PAIR, 0, 2, 4);   // from the 2nd unit, two of them
  EXPECT_EQ(mold(call(ACT_COPY, {*s, pair}, part)), "[4 5]");
}

// string! has a take of its own; the series! one underneath works on any unit size.
TEST_F(SeriesActions, TakeFromText) {
  Cell* s = string_value("abcd");
  Cell two = integer(2), minus_one = integer(-1);
  EXPECT_EQ(text_of(series_action::take(s, &two, false, true)), "cd");
  EXPECT_EQ(text_of(s), "ab");
  s->data1 = 1;
  EXPECT_EQ(text_of(series_action::take(s, &minus_one, false, false)), "a");   // before the index
  s->data1 = 0;
  EXPECT_EQ(text_of(s), "b");
  s->data1 = 1;
  EXPECT_TRUE(series_action::take(s, &minus_one, false, false)->is(TYPE_NONE));
}

TEST_F(SeriesActions, MoveWithinOneSeries) {
  struct Case {
    int from, part, to;   // part 0: not given
    const char* expected;
    bool answers_target;
  };
  const Case cases[] = {
      {0, 0, 0, "[1 2 3 4]", true},       // onto itself
      {0, 0, 2, "[2 3 1 4]", true},       // forward: after the unit at the target
      {0, 2, 2, "[3 1 2 4]", true},
      {0, 0, 4, "[2 3 4 1]", true},       // to the tail
      {3, 0, 0, "[4 1 2 3]", true},       // backward: at the target
      {2, 2, 1, "[1 3 4 2]", true},
      {0, 2, 1, "[1 2 3 4]", false},      // target inside the moved units: nothing moves
      {0, 2, 3, "[1 2 3 4]", false},      // too few units after the target
  };
  for (const Case& c : cases) {
    Cell* s = blk("1 2 3 4");
    Cell head = *s;
    Cell origin = *s, target = *s;
    origin.data1 = static_cast<uint32_t>(c.from);
    target.data1 = static_cast<uint32_t>(c.to);
    std::vector<Cell> args{origin, target};
    std::vector<int32_t> refs{-1};
    if (c.part) {
      refs[0] = 2;
      args.push_back(integer(c.part));
    }
    Cell* r = call(ACT_MOVE, args, refs);
    EXPECT_EQ(mold(&head), c.expected) << c.from << " " << c.part << " " << c.to;
    EXPECT_EQ(r->index(), c.answers_target ? target.data1 : origin.data1);
  }
}

TEST_F(SeriesActions, MoveBetweenSeries) {
  Cell* a = blk("1 2 3");
  Cell* b = blk("7 8");
  Cell b1 = *b;
  b1.data1 = 1;
  std::vector<int32_t> part{2};
  call(ACT_MOVE, {*a, b1, integer(2)}, part);
  EXPECT_EQ(mold(a), "[3]");
  EXPECT_EQ(mold(b), "[7 1 2 8]");
  // Text of different widths: the target widens to take the wider characters.
  Cell* narrow = string_value("ab");
  Cell* wide = string_value("xy");
  string::poke_char(wide->node(), 0, 0x20AC);
  call(ACT_MOVE, {*wide, *narrow});
  EXPECT_EQ(string::char_at(narrow->node(), 0), 0x20ACu);
  EXPECT_EQ(text_of(wide), "y");
  EXPECT_EQ(error_id([&] { call(ACT_MOVE, {*a, *narrow}); }), "move-bad");
  EXPECT_EQ(error_id([&] { call(ACT_MOVE, {*a, integer(1)}); }), "expect-arg");
}

}  // namespace
}  // namespace tav
