#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/collector.h"
#include "core/context.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

uint64_t nodes_in_use() {
  uint64_t n = 0;
  for (NodeFrame* f = memory.first_node_frame; f; f = f->next) n += f->in_use;
  return n;
}

uint32_t series_frames() {
  uint32_t n = 0;
  for (SeriesFrame* f = memory.first_series_frame; f; f = f->next) n++;
  return n;
}

// A block of the given cells, not rooted anywhere.
NodeId block_of(std::initializer_list<Cell> cells) {
  NodeId n = alloc::new_cells(static_cast<uint32_t>(cells.size()));
  for (const Cell& c : cells) *series::buffer_new_tail_cell(n) = c;
  return n;
}

Cell block_cell(NodeId n) { return make_cell(TYPE_BLOCK, 0, n); }
Cell* push_cell(Cell c) { return stack::push(&c); }

// Unreachable buffers of assorted sizes between the live ones, so compaction has to move.
void make_garbage(uint32_t count) {
  for (uint32_t i = 0; i < count; i++) {
    if (i % 3 == 0) alloc::new_bytes(40 + i % 200);
    else block_of({make_cell(TYPE_INTEGER, 0, i)});
  }
}

class Collector : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
    // Start from a clean heap so counts below measure only this test's data.
    collector::collect();
  }
  void TearDown() override {
    stack::restore(saved_);
    collector::collect();
  }
  stack::State saved_{};
};

TEST_F(Collector, ReachableDataSurvivesManyCollectionsAndMoves) {
  // Garbage first, so the live data sits above dead space and must slide down.
  make_garbage(2000);
  Cell* text = string::push_utf8("héllo, wörld €");
  Cell held_text = *text;
  NodeId inner = block_of({make_cell(TYPE_INTEGER, 0, 7), held_text});
  stack::push(&held_text);
  Cell inner_cell = block_cell(inner);
  NodeId outer = block_of({inner_cell, make_cell(TYPE_INTEGER, 0, 42)});
  Cell outer_cell = block_cell(outer);
  stack::push(&outer_cell);
  SeriesBuffer* before = node_buffer(outer);

  for (int round = 0; round < 30; round++) {
    make_garbage(500);
    collector::collect();
    SeriesBuffer* o = node_buffer(outer);
    ASSERT_EQ(o->count(), 2u);
    ASSERT_EQ(o->cells()[1].int_value(), 42);
    ASSERT_EQ(o->cells()[0].node(), inner);
    SeriesBuffer* i = node_buffer(inner);
    ASSERT_EQ(i->count(), 2u);
    ASSERT_EQ(i->cells()[0].int_value(), 7);
    ASSERT_EQ(string::to_std_string(&i->cells()[1]), "héllo, wörld €");
    ASSERT_EQ(o->node, outer);
    ASSERT_FALSE(o->flags & BUF_MARKED);
  }
  EXPECT_NE(node_buffer(outer), before) << "compaction should have moved the block down";
}

TEST_F(Collector, UnreachableBlocksAreReclaimed) {
  uint64_t start = nodes_in_use();
  std::vector<NodeId> made;
  for (int i = 0; i < 5000; i++) made.push_back(block_of({make_cell(TYPE_INTEGER, 0, 1)}));
  NodeId kept = made[2500];
  Cell kept_cell = block_cell(kept);
  stack::push(&kept_cell);
  EXPECT_EQ(nodes_in_use(), start + 5000);
  collector::collect();
  EXPECT_EQ(nodes_in_use(), start + 1);
  EXPECT_EQ(collector::stats().nodes_released, 4999u);
  EXPECT_TRUE(is_live_node(kept));
  EXPECT_FALSE(is_live_node(made[0]));
  EXPECT_EQ(node_buffer(kept)->cells()[0].int_value(), 1);
}

TEST_F(Collector, CellsAboveTheArgumentStackTopAreNotRoots) {
  NodeId n = block_of({make_cell(TYPE_INTEGER, 0, 5)});
  Cell c = block_cell(n);
  stack::push(&c);
  stack::pop(1);   // the cell is still in memory above the top
  ASSERT_EQ(stack::top->node(), n);
  collector::collect();
  EXPECT_FALSE(is_live_node(n));
}

TEST_F(Collector, BlockNestedAMillionDeepSurvivesAndIsReclaimed) {
  constexpr int depth = 1000000;
  uint64_t start = nodes_in_use();
  NodeId innermost = block_of({make_cell(TYPE_INTEGER, 0, 99)});
  Cell* root = push_cell(make_cell(TYPE_BLOCK, 0, innermost));
  for (int i = 1; i < depth; i++) root->data2 = block_of({*root});
  NodeId outermost = root->data2;

  collector::collect();
  int levels = 1;
  NodeId n = outermost;
  while (node_buffer(n)->cells()[0].is(TYPE_BLOCK)) {
    n = node_buffer(n)->cells()[0].node();
    levels++;
  }
  EXPECT_EQ(levels, depth);
  EXPECT_EQ(n, innermost);
  EXPECT_EQ(node_buffer(n)->cells()[0].int_value(), 99);

  stack::pop(1);
  collector::collect();
  EXPECT_EQ(nodes_in_use(), start);
}

TEST_F(Collector, SelfContainingBlocksAreCollectedWhenUnreachable) {
  NodeId self = alloc::new_cells(2);
  *series::buffer_new_tail_cell(self) = block_cell(self);
  NodeId a = alloc::new_cells(1);
  NodeId b = block_of({block_cell(a)});
  *series::buffer_new_tail_cell(a) = block_cell(b);
  Cell* r1 = push_cell(make_cell(TYPE_BLOCK, 0, self));
  push_cell(make_cell(TYPE_PAREN, 0, a));
  collector::collect();
  ASSERT_TRUE(is_live_node(self));
  ASSERT_TRUE(is_live_node(a));
  ASSERT_TRUE(is_live_node(b));
  EXPECT_EQ(node_buffer(self)->cells()[0].node(), self);
  EXPECT_EQ(node_buffer(node_buffer(a)->cells()[0].node())->cells()[0].node(), a);

  stack::top = r1;
  collector::collect();
  EXPECT_FALSE(is_live_node(self));
  EXPECT_FALSE(is_live_node(a));
  EXPECT_FALSE(is_live_node(b));
}

TEST_F(Collector, BuffersReplacedByExpansionAreReclaimedWithoutReleasingNodes) {
  NodeId n = alloc::new_bytes(16);
  push_cell(make_cell(TYPE_BINARY, 0, n));
  std::string expected;
  for (int i = 0; i < 3000; i++) {
    *series::buffer_reserve_tail(n, 1) = static_cast<uint8_t>('a' + i % 26);
    expected.push_back(static_cast<char>('a' + i % 26));
  }
  uint64_t before = nodes_in_use();
  collector::collect();
  EXPECT_EQ(collector::stats().nodes_released, 0u);
  EXPECT_EQ(nodes_in_use(), before);
  // Eight doublings from 16 to 4096 bytes left seven old buffers behind.
  EXPECT_GE(collector::stats().bytes_reclaimed, 16u + 32 + 64 + 128 + 256 + 512 + 1024);
  SeriesBuffer* b = node_buffer(n);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b->head_ptr()), b->used()), expected);
}

TEST_F(Collector, CompactionKeepsStringAndBlockContents) {
  struct Kept {
    Cell value;
    std::string text;
  };
  std::vector<Kept> kept;
  std::vector<SeriesBuffer*> old_places;
  for (int i = 0; i < 200; i++) {
    make_garbage(7);
    std::string text = "item " + std::to_string(i) + (i % 2 ? " – ünïcode 😀" : "");
    Cell* s = string::push_utf8(text.c_str());
    kept.push_back({*s, text});
    old_places.push_back(node_buffer(s->node()));
  }
  // A block that refers to every string, with its own head in the middle of its buffer.
  NodeId all = alloc::new_series(400, sizeof(Cell), -1);
  for (const Kept& k : kept) *series::buffer_new_tail_cell(all) = k.value;
  push_cell(make_cell(TYPE_BLOCK, 0, all));
  uint32_t head_before = node_buffer(all)->head;

  collector::collect();
  int moved = 0;
  for (size_t i = 0; i < kept.size(); i++) {
    EXPECT_EQ(string::to_std_string(&kept[i].value), kept[i].text);
    if (node_buffer(kept[i].value.node()) != old_places[i]) moved++;
    EXPECT_EQ(node_buffer(all)->cells()[i].node(), kept[i].value.node());
  }
  EXPECT_GT(moved, 0);
  EXPECT_EQ(node_buffer(all)->head, head_before);
  EXPECT_EQ(node_buffer(all)->count(), kept.size());
}

TEST_F(Collector, EmptiedLaterSeriesFramesAreReleased) {
  uint32_t frames = series_frames();
  // Several megabytes of garbage: new frames are made, and the collection empties them.
  for (int i = 0; i < 3000; i++) alloc::new_bytes(2000);
  ASSERT_GT(series_frames(), frames);
  // The lowest frame (which may be a new one) stays, even when it ends up empty.
  SeriesFrame* first = memory.first_series_frame;
  collector::collect();
  EXPECT_GE(collector::stats().frames_released, 1u);
  EXPECT_LE(series_frames(), frames);
  EXPECT_EQ(memory.first_series_frame, first);
}

TEST_F(Collector, BigBuffersLiveWhileReachable) {
  NodeId big = alloc::new_bytes(3u << 20);
  NodeId dead = alloc::new_bytes(3u << 20);
  ASSERT_TRUE(node_buffer(big)->flags & BUF_BIG);
  series::fill_bytes(node_buffer(big)->data(), node_buffer(big)->end_ptr(), 0x5A);
  push_cell(make_cell(TYPE_BINARY, 0, big));
  collector::collect();
  EXPECT_FALSE(is_live_node(dead));
  ASSERT_TRUE(is_live_node(big));
  SeriesBuffer* b = node_buffer(big);
  EXPECT_FALSE(b->flags & BUF_MARKED);
  EXPECT_EQ(b->data()[0], 0x5A);
  EXPECT_EQ(b->data()[b->capacity - 1], 0x5A);
}

TEST_F(Collector, ContextsKeepTheirWordsAndValues) {
  make_garbage(300);   // below the context, so that it moves
  NodeId ctx = context::make(context::KIND_OBJECT, 4);
  Cell* holder = push_cell(make_cell(TYPE_OBJECT, ctx));
  uint32_t sym = symbol::make("gc-test-field");
  Cell* text = string::push_utf8("kept by the context");
  context::put(ctx, sym, text);
  stack::pop(1);
  // Only a word bound to the context keeps it from now on.
  int32_t pos = context::find_symbol(ctx, sym, true);
  ASSERT_GE(pos, 0);
  *holder = make_cell(TYPE_WORD, ctx, sym, static_cast<uint32_t>(pos));
  make_garbage(300);
  collector::collect();
  collector::collect();
  Cell* v = context::get_word_value(holder);
  ASSERT_TRUE(v->is(TYPE_STRING));
  EXPECT_EQ(string::to_std_string(v), "kept by the context");
  EXPECT_EQ(context::find_symbol(ctx, sym, true), pos);
  EXPECT_STREQ(symbol::get_c_string(sym), "gc-test-field");
  EXPECT_EQ(symbol::make("gc-test-field"), sym);
}

TEST_F(Collector, ErrorFieldsSurvive) {
  make_garbage(300);
  Cell* arg = string::push_utf8("the argument");
  Cell err;
  error::create(ERR_SCRIPT, "no-value", arg, nullptr, nullptr, &err);
  stack::pop(1);
  stack::push(&err);
  std::string report = error::form(&err);
  make_garbage(300);
  collector::collect();
  EXPECT_EQ(error::form(&err), report);
  EXPECT_TRUE(error::field(&err, ERROR_ARG1)->is(TYPE_STRING));
}

TEST_F(Collector, HashIndexesKeepTheirSlotsAndChains) {
  make_garbage(300);
  // Equal keys (every fifth value repeats) put chains of positions in the index.
  NodeId store = alloc::new_cells(100);
  for (int i = 0; i < 100; i++)
    *series::buffer_new_tail_cell(store) = make_cell(TYPE_INTEGER, 0, uint32_t(i % 20));
  push_cell(make_cell(TYPE_BLOCK, 0, store));
  NodeId index = hash::new_table(100, store, hash::KIND_HASH);
  stack::pop(1);
  push_cell(make_cell(TYPE_HASH, 0, store, index));
  make_garbage(300);
  collector::collect();
  collector::collect();
  for (int k = 0; k < 20; k++) {
    Cell key = make_cell(TYPE_INTEGER, 0, uint32_t(k));
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, false, false), k) << k;
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, true, false), 80 + k) << k;
  }
  Cell absent = make_cell(TYPE_INTEGER, 0, 20);
  EXPECT_EQ(hash::find_key(index, &absent, 0, 1, COMP_EQUAL, false, false), -1);
}

// Any live id in a payload word marks its node (a stray id keeps garbage alive at worst): an
// index's record marked that way first must still keep the index's parts, or a later
// lookup reads freed key and word stores.
TEST_F(Collector, IndexesMarkedFirstByAStrayIdKeepTheirParts) {
  make_garbage(300);
  NodeId ctx = context::make(context::KIND_OBJECT, 4);
  push_cell(make_cell(TYPE_OBJECT, ctx));
  uint32_t sym = symbol::make("gc-stray-field");
  Cell* text = string::push_utf8("kept");
  context::put(ctx, sym, text);
  stack::pop(2);
  NodeId store = alloc::new_cells(40);
  for (int i = 0; i < 40; i++)
    *series::buffer_new_tail_cell(store) = make_cell(TYPE_INTEGER, 0, uint32_t(i % 10));
  push_cell(make_cell(TYPE_BLOCK, 0, store));
  NodeId index = hash::new_table(40, store, hash::KIND_HASH);
  stack::pop(1);
  // The strays sit below the values, so the stack scan reaches them first.
  push_cell(make_cell(TYPE_BLOCK, 0, context::index_of(ctx)));
  push_cell(make_cell(TYPE_BLOCK, 0, index));
  push_cell(make_cell(TYPE_OBJECT, ctx));
  push_cell(make_cell(TYPE_HASH, 0, store, index));
  for (int round = 0; round < 3; round++) {
    make_garbage(300);
    collector::collect();
  }
  int32_t pos = context::find_symbol(ctx, sym, true);
  ASSERT_GE(pos, 0);
  Cell word = make_cell(TYPE_WORD, ctx, sym, static_cast<uint32_t>(pos));
  Cell* v = context::get_word_value(&word);
  ASSERT_TRUE(v->is(TYPE_STRING));
  EXPECT_EQ(string::to_std_string(v), "kept");
  for (int k = 0; k < 10; k++) {
    Cell key = make_cell(TYPE_INTEGER, 0, uint32_t(k));
    EXPECT_EQ(hash::find_key(index, &key, 0, 1, COMP_EQUAL, true, false), 30 + k) << k;
  }
}

NodeId marker_held = 0;
void mark_held() { collector::mark_block_node(marker_held); }

TEST_F(Collector, MarkingCallbacksAddRoots) {
  marker_held = block_of({make_cell(TYPE_INTEGER, 0, 3)});
  collector::add_marker(mark_held);
  collector::collect();
  EXPECT_TRUE(is_live_node(marker_held));
  collector::remove_marker(mark_held);
  collector::collect();
  EXPECT_FALSE(is_live_node(marker_held));
}

TEST_F(Collector, AllocationOnlyRequestsAndSafePointsCollect) {
  bool was = collector::enabled;
  uint32_t cycles = collector::cycle_count();
  // Fill every frame: allocations must grow memory without collecting underneath us.
  NodeId first = alloc::new_bytes(100);
  SeriesBuffer* first_place = node_buffer(first);
  collector::enabled = true;
  while (!collector::requested()) alloc::new_bytes(2000);
  EXPECT_EQ(collector::cycle_count(), cycles);
  EXPECT_EQ(node_buffer(first), first_place);
  EXPECT_TRUE(collector::requested());

  collector::enabled = false;
  collector::safe_point();
  EXPECT_EQ(collector::cycle_count(), cycles) << "disabled: the request waits";
  EXPECT_TRUE(collector::requested());
  collector::enabled = true;
  collector::safe_point();
  EXPECT_EQ(collector::cycle_count(), cycles + 1);
  EXPECT_FALSE(collector::requested());
  collector::torture_restart();
  collector::safe_point();
  if (collector::torture)
    EXPECT_EQ(collector::cycle_count(), cycles + 2) << "torture collects at every safe point";
  else
    EXPECT_EQ(collector::cycle_count(), cycles + 1) << "nothing requested";
  collector::enabled = was;
}

// The next request waits for an allocation volume matching what survived the last cycle
// (with a floor): a large live heap is not marked again after every few new frames.
TEST_F(Collector, ScheduleScalesWithTheLiveHeap) {
  ASSERT_FALSE(collector::requested());
  ASSERT_GE(memory.collect_budget, COLLECT_FLOOR);
  // About 24 MiB kept alive, several times the floor.
  NodeId keep = alloc::new_cells(0);
  push_cell(block_cell(keep));
  for (int i = 0; i < 12000; i++) {
    Cell bytes = make_cell(TYPE_BINARY, 0, alloc::new_bytes(2000));
    *series::buffer_new_tail_cell(keep) = bytes;
  }
  collector::collect();
  size_t live = memory_manager::collected_bytes();
  ASSERT_GT(live, 6 * COLLECT_FLOOR);
  EXPECT_EQ(memory.collect_budget, live * COLLECT_GROWTH);

  size_t handed = 0;
  while (handed + 4096 < live / 2) {
    alloc::new_bytes(2000);
    handed += 2000 + BUFFER_OVERHEAD;
  }
  EXPECT_FALSE(collector::requested()) << "half the live volume must not request a cycle";
  while (!collector::requested() && handed < 2 * live) {
    alloc::new_bytes(2000);
    handed += 2000 + BUFFER_OVERHEAD;
  }
  EXPECT_TRUE(collector::requested());
  EXPECT_GE(handed + 4096, live);

  *(stack::top - 1) = make_cell(TYPE_INTEGER, 0, 0);
  collector::collect();
  size_t after = memory_manager::collected_bytes();
  EXPECT_LT(after, live / 2);
  EXPECT_EQ(memory.collect_budget, std::max(COLLECT_FLOOR, after * COLLECT_GROWTH))
      << "the budget shrinks with the heap, down to the floor";
  EXPECT_FALSE(collector::requested());
}

}  // namespace
}  // namespace tav
