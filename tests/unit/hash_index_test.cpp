#include <gtest/gtest.h>

#include "core/hash_index.h"
#include "core/memory.h"
#include "core/murmur3.h"
#include "test_runtime.h"
#include "core/types.h"
#include "datatypes/money.h"
#include "core/stack.h"
#include "core/string_buffer.h"

#include <cstring>
#include <vector>

namespace tav {
namespace {

class HashIndex : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }

  static NodeId block_of_integers(std::initializer_list<int> values) {
    NodeId blk = alloc::new_cells(static_cast<uint32_t>(values.size()) + 1);
    for (int v : values) set_integer(series::buffer_new_tail_cell(blk), v);
    return blk;
  }
  static void append_integer(NodeId blk, int v) { set_integer(series::buffer_new_tail_cell(blk), v); }
  static Cell integer(int v) {
    Cell c;
    set_integer(&c, v);
    return c;
  }
};

TEST_F(HashIndex, Murmur3MatchesTheReferenceVectors) {
  struct Case {
    const char* text;
    uint32_t seed;
    uint32_t expected;
  };
  // Published MurmurHash3_x86_32 results.
  const Case cases[] = {
      {"", 0, 0},
      {"", 1, 0x514E28B7u},
      {"", 0xFFFFFFFFu, 0x81F16F39u},
      {"Hello, world!", 1234, 0xFAF6CDB3u},
      {"The quick brown fox jumps over the lazy dog", 0x9747b28cu, 0x2FA826CDu},
      {"aaaa", 0x9747b28cu, 0x5A97808Au},
      {"abc", 0, 0xB3DD93FAu},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hash::murmur3(c.text, std::strlen(c.text), c.seed), c.expected) << c.text;
}

TEST_F(HashIndex, SmallIndexHasEightSlotsAndGrowsOnTheSeventhKey) {
  NodeId blk = alloc::new_cells(16);
  NodeId index = hash::new_table(3, blk, hash::KIND_MAP);
  EXPECT_EQ(hash::table(index)->n_buckets, 8u);
  EXPECT_EQ(hash::table(index)->upper_bound, 6u);
  for (int i = 0; i < 6; i++) {
    append_integer(blk, i * 10);
    append_integer(blk, i);   // the value of the pair
    hash::put(index, static_cast<uint32_t>(i * 2));
  }
  EXPECT_EQ(hash::table(index)->n_buckets, 8u);
  append_integer(blk, 60);
  append_integer(blk, 6);
  hash::put(index, 12);
  EXPECT_EQ(hash::table(index)->n_buckets, 16u);
  EXPECT_EQ(hash::table(index)->upper_bound, 12u);
  for (int i = 0; i <= 6; i++) {
    Cell key = integer(i * 10);
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), i * 2);
  }
  Cell absent = integer(5);
  EXPECT_EQ(hash::find_key(index, &absent, 0, 1, COMP_EQUAL, false, false), -1);
}

TEST_F(HashIndex, GrowthKeepsEveryKeyAndTheStoreOrder) {
  NodeId blk = alloc::new_cells(4);
  NodeId index = hash::new_table(0, blk, hash::KIND_HASH);
  for (int i = 0; i < 2000; i++) {
    append_integer(blk, i * 7919);
    hash::put(index, static_cast<uint32_t>(i));
  }
  hash::Table* t = hash::table(index);
  EXPECT_EQ(t->size, 2000u);
  EXPECT_LT(t->n_occupied, t->n_buckets * 0.77 + 1);
  // The store is untouched: entries stay in the order they were added.
  const Cell* cells = node_buffer(blk)->cells();
  for (int i = 0; i < 2000; i++) {
    EXPECT_EQ(cells[i].int_value(), i * 7919);
    Cell key = integer(i * 7919);
    ASSERT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), i);
  }
}

TEST_F(HashIndex, GrowingKeepsEachSlotsHashAndWhereEveryPositionLives) {
  NodeId blk = alloc::new_cells(4);
  Cell hold = make_cell(TYPE_BLOCK, 0, blk);
  stack::push(&hold);
  NodeId index = hash::new_table(0, blk, hash::KIND_HASH);
  Cell hold_index = make_cell(TYPE_HASH, 0, blk, index);
  stack::push(&hold_index);
  // Fifty keys, each repeated: every growth moves chains of equal keys to new slots.
  constexpr int N = 2000, K = 50;
  for (int i = 0; i < N; i++) {
    append_integer(blk, i % K);
    hash::put(index, static_cast<uint32_t>(i));
  }
  const hash::Table* t = hash::table(index);
  EXPECT_GE(t->n_buckets, 64u);
  EXPECT_EQ(t->size, uint32_t(K));
  for (int k = 0; k < K; k++) {
    Cell key = integer(k);
    int32_t at = hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false);
    ASSERT_EQ(at, k);
    uint32_t stored = 0;
    for (uint32_t s = 0; s < t->n_buckets; s++)
      if (hash::slot_state(t, s) == hash::SLOT_USED && hash::slots(t)[s].hash == hash::value(&key))
        stored++;
    EXPECT_EQ(stored, 1u) << "key " << k;
  }
  // Removing positions goes through the per-position slot numbers: after growth they must
  // still name the slot of their key, or the wrong chain loses an entry.
  for (int k = 0; k < K; k++) {
    Cell key = integer(k);
    for (int p = k; p < k + 3 * K; p += K) {
      hash::delete_entry(index, static_cast<uint32_t>(p));
      ASSERT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), p + K) << "key " << k;
    }
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, true, false), N - K + k);
  }
  EXPECT_EQ(hash::table(index)->size, uint32_t(K));
  stack::pop(2);
}

TEST_F(HashIndex, DeletedSlotsAreSweptWithoutGrowing) {
  NodeId blk = alloc::new_cells(4);
  Cell hold = make_cell(TYPE_BLOCK, 0, blk);
  stack::push(&hold);
  NodeId index = hash::new_table(4, blk, hash::KIND_HASH);
  Cell hold_index = make_cell(TYPE_HASH, 0, blk, index);
  stack::push(&hold_index);
  uint32_t buckets = hash::table(index)->n_buckets;
  // One live key at a time, each a new one: the deleted slots fill the index, and sweeping
  // them keeps its size.
  for (int i = 0; i < 200; i++) {
    append_integer(blk, i * 31);
    hash::put(index, static_cast<uint32_t>(i));
    hash::delete_entry(index, static_cast<uint32_t>(i));
  }
  append_integer(blk, 7);
  hash::put(index, 200);
  EXPECT_EQ(hash::table(index)->n_buckets, buckets);
  EXPECT_EQ(hash::table(index)->size, 1u);
  Cell seven = integer(7), gone = integer(31);
  EXPECT_EQ(hash::find_key(index, &seven, 0, 1, COMP_EQUAL, false, false), 200);
  EXPECT_EQ(hash::find_key(index, &gone, 0, 1, COMP_EQUAL, false, false), -1);
  stack::pop(2);
}

TEST_F(HashIndex, HashChainsEqualKeysAndFindsByDirection) {
  NodeId blk = block_of_integers({5, 1, 5, 2, 5});
  NodeId index = hash::new_table(5, blk, hash::KIND_HASH);
  EXPECT_EQ(hash::table(index)->size, 3u);   // one slot for the three 5s
  Cell five = integer(5);
  struct Case {
    uint32_t start;
    uint32_t skip;
    bool last, reverse;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 1, false, false, 0}, {1, 1, false, false, 2}, {0, 1, true, false, 4},
      {5, 1, false, true, 4},  {4, 1, false, true, 2},  {0, 2, true, false, 4},
      {1, 2, false, false, -1}, {0, 3, false, false, 0}, {1, 3, false, false, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hash::find_key(index, &five, c.start, c.skip, COMP_EQUAL, c.last, c.reverse),
              c.expected)
        << "start " << c.start << " skip " << c.skip;
}

TEST_F(HashIndex, DeletingEqualKeysFreesTheSlotOnlyWithTheLast) {
  NodeId blk = block_of_integers({5, 5, 5});
  NodeId index = hash::new_table(3, blk, hash::KIND_HASH);
  Cell five = integer(5);
  hash::delete_entry(index, 0);
  hash::delete_entry(index, 2);
  EXPECT_EQ(hash::table(index)->size, 1u);
  EXPECT_EQ(hash::find_key(index, &five, 0, 1, COMP_EQUAL, false, false), 1);
  hash::delete_entry(index, 1);
  EXPECT_EQ(hash::table(index)->size, 0u);
  EXPECT_EQ(hash::find_key(index, &five, 0, 1, COMP_EQUAL, false, false), -1);
}

TEST_F(HashIndex, DeletedSlotIsReusedByTheNextInsertion) {
  NodeId blk = block_of_integers({42});
  NodeId index = hash::new_table(4, blk, hash::KIND_HASH);
  hash::Table* t = hash::table(index);
  uint32_t occupied = t->n_occupied;
  hash::delete_entry(index, 0);
  append_integer(blk, 42);
  hash::put(index, 1);
  t = hash::table(index);
  EXPECT_EQ(t->n_occupied, occupied);   // the deleted slot took the key, no fresh slot
  EXPECT_EQ(t->size, 1u);
  Cell key = integer(42);
  EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), 1);
}

TEST_F(HashIndex, MapIndexingKeepsTheLastValueOfARepeatedKey) {
  NodeId blk = block_of_integers({1, 10, 2, 20, 1, 30});
  NodeId index = hash::new_table(3, blk, hash::KIND_MAP);
  SeriesBuffer* b = node_buffer(blk);
  ASSERT_EQ(b->count(), 4u);
  EXPECT_EQ(b->cells()[1].int_value(), 30);
  EXPECT_EQ(hash::table(index)->size, 2u);
}

TEST_F(HashIndex, RecordsReuseDeletedSlotsAndComeBackUnset) {
  NodeId index = hash::new_table(4, 0, hash::KIND_RECORDS, 2);
  NodeId a = alloc::new_cells(1), b = alloc::new_cells(1);
  Cell* rec = hash::node_record(index, a);
  set_integer(rec, 7);
  EXPECT_EQ(hash::find_node_record(index, a)->int_value(), 7);
  uint32_t store_bytes = node_buffer(hash::table(index)->blk)->used();
  EXPECT_NE(hash::remove_node_record(index, a), nullptr);
  EXPECT_EQ(hash::find_node_record(index, a), nullptr);
  // The deleted slot on b's probe path holds a's record; whether b lands there or in a fresh
  // slot, a removed-and-readded key reuses its record in place.
  Cell* again = hash::node_record(index, a);
  EXPECT_TRUE(again->is(TYPE_UNSET));
  EXPECT_TRUE(again[1].is(TYPE_UNSET));
  EXPECT_EQ(node_buffer(hash::table(index)->blk)->used(), store_bytes);
  hash::node_record(index, b);
  EXPECT_EQ(hash::table(index)->size, 2u);
}

TEST_F(HashIndex, RecordTablesGrowAndDropRemovedRecords) {
  NodeId index = hash::new_table(0, 0, hash::KIND_RECORDS, 1);
  std::vector<NodeId> nodes;
  for (int i = 0; i < 100; i++) {
    nodes.push_back(alloc::new_cells(1));
    set_integer(hash::node_record(index, nodes.back()), i);
    if (i % 3 == 0) hash::remove_node_record(index, nodes.back());
  }
  EXPECT_GE(hash::table(index)->n_buckets, 64u);
  for (int i = 0; i < 100; i++) {
    Cell* v = hash::find_node_record(index, nodes[i]);
    if (i % 3 == 0) {
      EXPECT_EQ(v, nullptr);
    } else {
      ASSERT_NE(v, nullptr);
      EXPECT_EQ(v->int_value(), i);
    }
  }
}

}  // namespace
}  // namespace tav

namespace tav {
namespace {

class HashIndexKeys : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }
  static Cell text(const std::string& s, TypeId type = TYPE_STRING) {
    Cell c = *string::push_utf8(s.data(), s.size());
    stack::pop(1);
    c.set_type(type);
    return c;
  }
  static uint32_t h(const Cell& c) { return hash::value(&c); }
};

TEST_F(HashIndexKeys, DistinctStringsSpreadOverTheSlotsAndAreFoundWhereTheyAre) {
  constexpr int N = 10000;
  NodeId blk = alloc::new_cells(N);
  Cell hold = make_cell(TYPE_BLOCK, 0, blk);
  stack::push(&hold);
  for (int i = 0; i < N; i++) *series::buffer_new_tail_cell(blk) = text("key-" + std::to_string(i));
  NodeId index = hash::new_table(N, blk, hash::KIND_HASH);
  Cell hold_index = make_cell(TYPE_HASH, 0, blk, index);
  stack::push(&hold_index);
  const hash::Table* t = hash::table(index);
  EXPECT_EQ(t->size, uint32_t(N));
  std::vector<bool> home(t->n_buckets);
  uint32_t homes = 0;
  for (int i = 0; i < N; i++) {
    uint32_t s = hash::value(node_buffer(blk)->cells() + i) & (t->n_buckets - 1);
    if (!home[s]) homes++;
    home[s] = true;
  }
  // A uniform hash puts 10,000 keys in about 7,000 distinct home slots of 16,384.
  EXPECT_GT(homes, 6000u);
  for (int i = 0; i < N; i += 7) {
    Cell key = text("KEY-" + std::to_string(i));
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), i);
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_STRICT_EQUAL, false, false), -1);
  }
  stack::pop(2);
}

TEST_F(HashIndexKeys, TextsHashByFoldedCharactersFromTheirIndex) {
  EXPECT_EQ(h(text("Straße")), h(text("STRAßE")));
  EXPECT_NE(h(text("abc")), h(text("abd")));
  EXPECT_NE(h(text("abc")), 0u);
  // Every text type, and every unit width, hashes the characters alike.
  Cell wide = text("xabc€");
  EXPECT_EQ(h(text("abc", TYPE_FILE)), h(text("ABC", TYPE_TAG)));
  Cell at = wide;
  at.data1 = 1;
  EXPECT_EQ(h(at), h(text("abc€", TYPE_URL)));
  // A slice stands for its count of characters.
  Cell slice = hash::slice_key(wide.node(), 1, 3);
  EXPECT_EQ(h(slice), h(text("ABC")));
}

TEST_F(HashIndexKeys, SliceKeysMatchStoredTextsOfAnyType) {
  NodeId blk = alloc::new_cells(4);
  Cell hold = make_cell(TYPE_BLOCK, 0, blk);
  stack::push(&hold);
  *series::buffer_new_tail_cell(blk) = text("abc", TYPE_FILE);
  *series::buffer_new_tail_cell(blk) = make_cell(TYPE_INTEGER, 0, 1);
  *series::buffer_new_tail_cell(blk) = text("Key");
  *series::buffer_new_tail_cell(blk) = make_cell(TYPE_INTEGER, 0, 2);
  NodeId index = hash::new_table(2, blk, hash::KIND_MAP);
  Cell hold_index = make_cell(TYPE_MAP, 0, blk, index);
  stack::push(&hold_index);
  Cell source = text("the key abc");
  Cell key = hash::slice_key(source.node(), 4, 3);
  Cell abc = hash::slice_key(source.node(), 8, 3);
  EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), 2);
  EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_STRICT_EQUAL, false, false), -1);
  EXPECT_EQ(hash::find_key(index, &abc, 0, 1, COMP_STRICT_EQUAL, false, false), 0);
  Cell longer = hash::slice_key(source.node(), 4, 4);
  EXPECT_EQ(hash::find_key(index, &longer, 0, 1, COMP_EQUAL, false, false), -1);
  stack::pop(2);
}

TEST_F(HashIndexKeys, MoneyHashesItsAmountOnly) {
  Cell one = *money::push_from_integer(1);
  Cell two = *money::push_from_integer(2);
  Cell zero = *money::push_from_integer(0);
  stack::pop(3);
  EXPECT_NE(hash::value(&one), hash::value(&two));
  Cell negative_one = one;
  money::set_sign_bit(&negative_one, true);
  EXPECT_NE(hash::value(&one), hash::value(&negative_one));
  Cell marked = one;
  marked.header |= FLAG_NEW_LINE;
  EXPECT_EQ(hash::value(&one), hash::value(&marked));
  Cell dollars = one;
  dollars.data1 |= 3;   // a currency
  EXPECT_EQ(hash::value(&one), hash::value(&dollars));
  Cell negative_zero = zero;
  money::set_sign_bit(&negative_zero, true);
  EXPECT_EQ(hash::value(&zero), hash::value(&negative_zero));
}

}  // namespace
}  // namespace tav
