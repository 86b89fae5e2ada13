#include "block_fixture.h"

namespace tav {
namespace {

using GenericActions = testing::BlockFixture;

// Refinement positions of append and insert: part only dup.
TEST_F(GenericActions, AppendPartAndDupNormalisation) {
  struct Case {
    const char* what;
    const char* value;   // [..] a block, "s" a string, otherwise an integer
    int value_index;
    const char* part;    // "" not given, "s" a string, "@n" the value at index n, else a count
    int dup;             // 0: not given
    const char* expected;
    const char* error;
  };
  const Case cases[] = {
      {"part 0 adds nothing", "[1 2 3]", 0, "0", 0, "[]", ""},
      {"dup 0 adds nothing", "1", 0, "", -100, "[]", ""},
      {"negative dup adds nothing", "1", 0, "", -1, "[]", ""},
      {"negative part takes what lies before", "[1 2 3]", 2, "-1", 0, "[2]", ""},
      {"negative part at the head adds nothing", "[1 2 3]", 0, "-2", 0, "[]", ""},
      {"negative part stops at the head", "[1 2 3]", 1, "-5", 0, "[1]", ""},
      {"too large a part takes all", "[1 2 3]", 1, "10", 0, "[2 3]", ""},
      {"part as a position", "[1 2 3]", 0, "@2", 0, "[1 2]", ""},
      {"part and dup", "[1 2 3]", 1, "1", 3, "[2 2 2]", ""},
      {"part of another kind", "[1 2 3]", 0, "s", 0, "[]", "invalid-refine-arg"},
      {"part of a non-series value", "1", 0, "2", 0, "[]", "invalid-part"},
  };
  for (const Case& c : cases) {
    Cell* target = blk("");
    Cell number = integer(std::atoi(c.value));
    Cell* value = c.value[0] == '[' ? blk(c.value + 1) : stack::push(&number);
    Cell positioned = *value;
    positioned.data1 = static_cast<uint32_t>(c.value_index);
    std::vector<Cell> args{*target, positioned};
    std::vector<int32_t> refs{-1, -1, -1};
    if (c.part[0]) {
      refs[0] = static_cast<int32_t>(args.size());
      if (c.part[0] == 's') {
        args.push_back(*string_value("ab"));
      } else if (c.part[0] == '@') {
        Cell pos = *value;
        pos.data1 = static_cast<uint32_t>(std::atoi(c.part + 1));
        args.push_back(pos);
      } else {
        args.push_back(integer(std::atoi(c.part)));
      }
    }
    if (c.dup) {
      refs[2] = static_cast<int32_t>(args.size());
      args.push_back(integer(c.dup == -100 ? 0 : c.dup));
    }
    EXPECT_EQ(error_id([&] { call(ACT_APPEND, args, refs); }), c.error) << c.what;
    EXPECT_EQ(mold(target), c.expected) << c.what;
  }
}

TEST_F(GenericActions, AppendAnswersTheHeadAndInsertThePositionAfter) {
  Cell* s = blk("1 2");
  Cell at_end = *s;
  at_end.data1 = 2;
  EXPECT_EQ(call(ACT_APPEND, {at_end, integer(3)})->index(), 0u);
  Cell middle = *s;
  middle.data1 = 1;
  EXPECT_EQ(call(ACT_INSERT, {middle, *blk("7 8")})->index(), 3u);
  EXPECT_EQ(mold(s), "[1 7 8 2 3]");
}

TEST_F(GenericActions, FormAndMoldPart) {
  Cell* b = blk("1 2 3");
  std::vector<int32_t> form_part{1};
  EXPECT_EQ(text_of(call(ACT_FORM, {*b, integer(3)}, form_part)), "1 2");
  // A limit of 0 or less answers "" without asking the type, which here has no handler.
  Cell handle = make_cell(TYPE_SERIES);
  EXPECT_EQ(text_of(call(ACT_FORM, {handle, integer(0)}, form_part)), "");
  std::vector<int32_t> mold_part{-1, -1, -1, 1};
  Cell* r = call(ACT_MOLD, {handle, integer(-1)}, mold_part);
  EXPECT_TRUE(r->is(TYPE_STRING));
  EXPECT_EQ(text_of(r), "");
  std::vector<int32_t> only{0, -1, -1, -1};
  EXPECT_EQ(text_of(call(ACT_MOLD, {*b}, only)), "1 2 3");
}

TEST_F(GenericActions, AnUnsupportedActionRaisesExpectArg) {
  Cell* b = blk("1");
  EXPECT_EQ(error_id([&] { call(ACT_ADD, {*b, integer(1)}); }), "expect-arg");
  EXPECT_EQ(error_id([&] { call(ACT_CREATE, {*b}); }), "expect-arg");
  Cell none;
  set_none(&none);
  EXPECT_EQ(error_id([&] { call(ACT_APPEND, {none, integer(1)}); }), "expect-arg");
  EXPECT_EQ(error_id([&] { actions::lookup_path(&none, nullptr, &none, 0); }),
            "bad-path-type2");
}

TEST_F(GenericActions, ComparisonOfIncomparableValues) {
  Cell* b = blk("1");
  Cell one = integer(1);
  EXPECT_FALSE(actions::compare(b, &one, COMP_EQUAL));
  EXPECT_TRUE(actions::compare(b, &one, COMP_NOT_EQUAL));
  EXPECT_EQ(error_id([&] { actions::compare(b, &one, COMP_LESSER); }), "invalid-compare");
  Cell* c = blk("0");
  EXPECT_TRUE(actions::compare(c, b, COMP_LESSER));
  EXPECT_FALSE(actions::compare(c, b, COMP_GREATER_EQUAL));
  stack::mark_native(nullptr);
  stack::push(b);
  stack::push(c);
  Cell* answer = actions::compare_set_logic(COMP_GREATER);
  EXPECT_EQ(answer, stack::base);
  EXPECT_TRUE(answer->is(TYPE_LOGIC));
  EXPECT_TRUE(is_true(answer));
}

TEST_F(GenericActions, CompareValueSettlesLogicAndEntriesWithoutAHandler) {
  Cell f, t, zero = integer(0);
  set_logic(&f, false);
  set_logic(&t, true);
  EXPECT_EQ(actions::compare_value(&f, &t, COMP_SORT), -1);
  EXPECT_EQ(actions::compare_value(&t, &t, COMP_EQUAL), 0);
  // false carries 0 in the same word an integer's payload leaves empty: not equal to 0.
  EXPECT_NE(actions::compare_value(&f, &zero, COMP_FIND_EQUAL), 0);
  Cell a1 = make_cell(TYPE_ACTION, 3), a2 = make_cell(TYPE_ACTION, 7);
  EXPECT_EQ(actions::compare_value(&a1, &a2, COMP_EQUAL), -1);
  EXPECT_EQ(actions::compare_value(&a2, &a2, COMP_EQUAL), 0);
  Cell* s = blk("1 0");
  EXPECT_TRUE(call(ACT_FIND, {*s, f})->is(TYPE_NONE));
}

namespace actions_test_detail {
int minus_one(Cell*) { return -1; }
Cell* made_type(Cell*, Cell*, int type) { return set_integer(stack::new_cell(), type); }
}  // namespace actions_test_detail

TEST_F(GenericActions, LengthMinusOneAnswersNoneAndMakeTakesTheNamedType) {
  ActionRow saved = action_table[TYPE_PAIR];
  action_table[TYPE_PAIR][ACT_LENGTH_Q - 1] = entry(&actions_test_detail::minus_one);
  action_table[TYPE_PAIR][ACT_MAKE - 1] = entry(&actions_test_detail::made_type);
  Cell pair = make_cell(TYPE_PAIR);
  EXPECT_TRUE(call(ACT_LENGTH_Q, {pair})->is(TYPE_NONE));
  Cell type;
  set_datatype(&type, TYPE_PAIR);
  EXPECT_EQ(call(ACT_MAKE, {type, integer(0)})->int_value(), int(TYPE_PAIR));
  EXPECT_EQ(call(ACT_MAKE, {pair, integer(0)})->int_value(), int(TYPE_PAIR));
  action_table[TYPE_PAIR] = saved;
}

TEST_F(GenericActions, TheTableHoldsEveryActionButSetPath) {
  for (int a = 1; a <= ACTION_COUNT; a++) {
    if (a == ACT_SET_PATH) EXPECT_EQ(actions::table[a - 1], nullptr);
    else EXPECT_NE(actions::table[a - 1], nullptr) << "action " << a;
  }
  EXPECT_EQ(actions::table[ACT_APPEND - 1], &actions::dispatch::append);
  EXPECT_EQ(actions::table[ACT_WRITE - 1], &actions::dispatch::write);
}

}  // namespace
}  // namespace tav
