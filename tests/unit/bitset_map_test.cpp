#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/map.h"
#include "datatypes/string.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

Cell bits_from(const char* text) {
  Cell spec;
  string::load(reinterpret_cast<const uint8_t*>(text), std::strlen(text), &spec,
               string::ENCODING_UTF8);
  Cell* held = stack::push(&spec);
  Cell made = *bitset::make(nullptr, held, TYPE_BITSET);
  stack::pop(2);
  return made;
}

Cell complemented(Cell b) {
  Cell* held = stack::push(&b);
  Cell r = *bitset::complement(held);
  stack::pop(1);
  return r;
}

// Runs a set operation the way the natives hand over their two arguments.
Cell set_op(const Cell& a, const Cell& b, int op) {
  stack::State saved = stack::save();
  stack::mark_native(nullptr);
  *stack::base = a;
  stack::top = stack::base + 1;
  stack::push(&b);
  Cell r = *bitset::do_set_op(op);
  stack::restore(saved);
  return r;
}

TEST(BitsetTest, SetOperationsKeepMembersBeyondTheStoredBytes) {
  testing::ensure_runtime();
  Cell not_a = complemented(bits_from("a"));
  Cell not_b = complemented(bits_from("bcdefghijklmnop"));   // a longer array
  Cell plain = bits_from("az");
  struct Case { int op; Cell a, b; uint32_t n; bool member; };
  const Case cases[] = {
      {9, not_a, not_b, 100000, true},    // union of two complements
      {9, not_a, not_b, 'a', true},
      {10, not_a, not_b, 'a', false},     // intersect
      {10, not_a, not_b, 'z', true},
      {10, not_a, plain, 'z', true},
      {10, not_a, plain, 100000, false},
      {11, not_a, plain, 100000, true},   // exclude
      {11, not_a, plain, 'z', false},
      {12, not_a, not_b, 100000, false},  // difference
      {12, not_a, not_b, 'a', true},
      {6, plain, not_a, 'z', true},       // and~ with a complemented shorter operand
  };
  for (const Case& c : cases) {
    Cell r = set_op(c.a, c.b, c.op);
    EXPECT_EQ(bitset::has(&r, c.n), c.member) << "op " << c.op << " n " << c.n;
  }
  Cell same = set_op(plain, not_a, 8);
  EXPECT_EQ(same.node(), plain.node());
  Cell i;
  set_integer(&i, 1);
  EXPECT_TRUE(testing::raises([&] { set_op(plain, i, 9); }));
}

TEST(BitsetTest, ClearingBeyondAComplementedArrayGrowsItWithMembers) {
  testing::ensure_runtime();
  Cell b = complemented(bits_from("a"));
  uint32_t before = bitset::byte_size(&b);
  EXPECT_TRUE(bitset::process_range(&b, 200, 201, bitset::CLEAR));
  EXPECT_EQ(bitset::byte_size(&b), 26u);
  EXPECT_GT(bitset::byte_size(&b), before);
  EXPECT_FALSE(bitset::has(&b, 200));
  EXPECT_TRUE(bitset::has(&b, 199));   // new bytes were filled as members
  EXPECT_TRUE(bitset::has(&b, 202));
}

Cell load(const char* text) {
  Cell* out = stack::new_cell();
  lexer::transcode(text, out);
  Cell v = *out;
  stack::pop(1);
  return v;
}

TEST(MapTest, LiteralLoadsAndRefusesOddOrBadPairs) {
  testing::ensure_runtime();
  Cell blk = load("#[a 1 b 2 a 3]");
  Cell m = *block::cell_at(&blk, 0);
  ASSERT_TRUE(m.is(TYPE_MAP));
  EXPECT_EQ(map::length(&m), 2u);
  for (const char* bad : {"#[a]", "#[[1] 2]"})
    EXPECT_TRUE(testing::raises([&] { load(bad); })) << bad;
}

}  // namespace
}  // namespace tav
