#include <gtest/gtest.h>

#include "datatypes/typeset.h"
#include "core/memory.h"
#include "core/stack.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

Cell typeset_of(std::initializer_list<TypeId> types) {
  Cell ts;
  typeset::clear(&ts);
  for (TypeId t : types) typeset::add_type(&ts, t);
  return ts;
}

// Runs a set operation on two typesets the way the natives and actions hand them over.
Cell set_op(const Cell& a, const Cell& b, int op) {
  stack::State saved = stack::save();
  stack::mark_native(nullptr);
  *stack::base = a;
  stack::top = stack::base + 1;
  stack::push(&b);
  Cell r = *typeset::do_set_op(op);
  stack::restore(saved);
  return r;
}

TEST(TypesetTest, BitsFollowTheArgumentCacheLayout) {
  testing::ensure_runtime();
  Cell ts = typeset_of({TYPE_INTEGER});   // id 11: byte 1, mask 0x80 >> 3
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&ts.data1);
  EXPECT_EQ(bytes[1], 0x10);
  for (int i = 0; i < 12; ++i)
    if (i != 1) {
      EXPECT_EQ(bytes[i], 0) << i;
    }
  typeset::add_type(&ts, 95);
  EXPECT_TRUE(typeset::has(&ts, 95));
  EXPECT_EQ(bytes[11], 0x01);
  EXPECT_FALSE(typeset::has(&ts, 96));   // beyond the 96 bits: never a member
}

TEST(TypesetTest, CountAndBlockSeeOnlyRegisteredTypes) {
  testing::ensure_runtime();
  Cell ts = typeset_of({TYPE_FLOAT, TYPE_INTEGER});
  typeset::add_type(&ts, 90);   // no type has this id
  EXPECT_EQ(typeset::count(&ts), 2);
  Cell* block = stack::new_cell();
  typeset::to_block(&ts, block);
  SeriesBuffer* b = node_buffer(block->node());
  ASSERT_EQ(b->count(), 2u);
  EXPECT_EQ(b->cells()[0].data2, type_table[TYPE_INTEGER].word.data2);   // in id order
  EXPECT_EQ(b->cells()[1].data2, type_table[TYPE_FLOAT].word.data2);
  stack::top = block;
}

TEST(TypesetTest, SetOperationsByCode) {
  testing::ensure_runtime();
  Cell a = typeset_of({TYPE_INTEGER, TYPE_FLOAT});
  Cell b = typeset_of({TYPE_FLOAT, TYPE_STRING});
  struct Case { int op; std::initializer_list<TypeId> expected; };
  const Case cases[] = {
      {5, {TYPE_INTEGER, TYPE_FLOAT, TYPE_STRING}}, {9, {TYPE_INTEGER, TYPE_FLOAT, TYPE_STRING}},
      {6, {TYPE_FLOAT}}, {10, {TYPE_FLOAT}},
      {7, {TYPE_INTEGER, TYPE_STRING}}, {12, {TYPE_INTEGER, TYPE_STRING}},
      {11, {TYPE_INTEGER}}, {8, {TYPE_INTEGER, TYPE_FLOAT}},
  };
  for (const Case& c : cases) {
    Cell r = set_op(a, b, c.op);
    Cell want = typeset_of(c.expected);
    EXPECT_EQ(typeset::compare(&r, &want, COMP_EQUAL), 0) << "op " << c.op;
  }
  Cell dt;
  set_datatype(&dt, TYPE_STRING);
  Cell r = set_op(a, dt, 5);   // a datatype counts as a one-member typeset
  EXPECT_TRUE(typeset::has(&r, TYPE_STRING));
  Cell one;
  set_integer(&one, 1);
  EXPECT_TRUE(testing::raises([&] { set_op(a, one, 5); }));
}

TEST(TypesetTest, CompareOrdersByMemberCountAndRefusesOrderings) {
  testing::ensure_runtime();
  Cell small = typeset_of({TYPE_STRING});
  Cell big = typeset_of({TYPE_INTEGER, TYPE_FLOAT});
  EXPECT_LT(typeset::compare(&small, &big, COMP_SORT), 0);
  EXPECT_GT(typeset::compare(&big, &small, COMP_CASE_SORT), 0);
  EXPECT_EQ(typeset::compare(&small, &big, COMP_NOT_EQUAL), 1);
  EXPECT_EQ(typeset::compare(&small, &big, COMP_LESSER), COMPARE_UNRELATED);
  Cell i;
  set_integer(&i, 1);
  EXPECT_EQ(typeset::compare(&small, &i, COMP_EQUAL), COMPARE_UNRELATED);
}

TEST(TypesetTest, ComplementSetsTheBitsAboveTheRegisteredTypes) {
  testing::ensure_runtime();
  Cell ts;
  typeset::clear(&ts);
  typeset::complement(&ts);
  EXPECT_TRUE(typeset::has(&ts, TYPE_UNSET));
  EXPECT_TRUE(typeset::has(&ts, 95));
  EXPECT_EQ(ts.data1 & ts.data2 & ts.data3, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tav
