#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "core/memory.h"
#include "test_runtime.h"

namespace tav {
namespace {

class Memory : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }
};

TEST_F(Memory, CapacityIsRoundedUpTo16Bytes) {
  struct Case { uint32_t count, unit, capacity; };
  for (Case c : {Case{1, 1, 16}, Case{16, 1, 16}, Case{17, 1, 32}, Case{3, 16, 48},
                 Case{5, 4, 32}, Case{0, 1, 16}}) {
    NodeId n = c.count == 0 ? alloc::new_bytes(0) : alloc::new_series(c.count, c.unit, 0);
    SeriesBuffer* b = node_buffer(n);
    EXPECT_EQ(b->capacity, c.capacity) << c.count << "x" << c.unit;
    EXPECT_EQ(b->unit(), c.unit == 0 ? 1u : c.unit);
    EXPECT_EQ(b->node, n);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b->data()) % 16, 0u);
  }
}

TEST_F(Memory, HeadInTheMiddle) {
  SeriesBuffer* b = node_buffer(alloc::new_series(8, 4, -1));
  EXPECT_EQ(b->head, 16u);
  EXPECT_EQ(b->tail, 16u);
  EXPECT_TRUE(b->flags & BUF_HEAD_MIDDLE);
}

TEST_F(Memory, GrowthKeepsContentAndNode) {
  NodeId n = alloc::new_bytes(16);
  for (int i = 0; i < 1000; i++) *series::buffer_reserve_tail(n, 1) = static_cast<uint8_t>(i);
  SeriesBuffer* b = node_buffer(n);
  ASSERT_EQ(b->used(), 1000u);
  EXPECT_GE(b->capacity, 1000u);
  EXPECT_EQ(b->node, n);
  for (int i = 0; i < 1000; i++) ASSERT_EQ(b->head_ptr()[i], static_cast<uint8_t>(i));
}

TEST_F(Memory, ExpandLeavesOldBufferDead) {
  NodeId n = alloc::new_bytes(16);
  SeriesBuffer* old = node_buffer(n);
  std::memcpy(old->data(), "abcdefgh", 8);
  old->tail = 8;
  SeriesBuffer* nb = series::expand_copy(old, 0);
  EXPECT_EQ(nb->capacity, 32u);
  EXPECT_EQ(node_buffer(n), nb);
  EXPECT_EQ(old->node, 0u);
  EXPECT_FALSE(old->flags & BUF_IN_USE);
  EXPECT_EQ(std::memcmp(nb->head_ptr(), "abcdefgh", 8), 0);
}

TEST_F(Memory, BigBuffersGetABlockOfTheirOwn) {
  size_t before = memory.system_bytes;
  NodeId n = alloc::new_bytes(3u << 20);
  SeriesBuffer* b = node_buffer(n);
  EXPECT_TRUE(b->flags & BUF_BIG);
  EXPECT_GE(memory.system_bytes - before, size_t(3u << 20));
  b->data()[(3u << 20) - 1] = 7;   // the whole area is usable
  alloc::free_big_buffer(b);
  EXPECT_EQ(memory.system_bytes, before);
}

TEST_F(Memory, GrowingToMegabytesHoldsNoMoreThanTheOldAndNewBuffers) {
  // A series grown in small steps to 40 MiB: the moves double the capacity, and a big
  // buffer left behind goes back at once, so memory never holds more than the last two.
  size_t base = memory.system_bytes;
  NodeId n = alloc::new_bytes(16);
  SeriesBuffer* at = node_buffer(n);
  size_t peak = 0;
  int moves = 0;
  constexpr uint32_t target = 40u << 20;
  for (uint32_t used = 0; used < target; used += 4096) {
    series::buffer_reserve_tail(n, 4096);
    if (node_buffer(n) != at) {
      moves++;
      at = node_buffer(n);
    }
    peak = std::max(peak, memory.system_bytes - base);
  }
  SeriesBuffer* b = node_buffer(n);
  EXPECT_EQ(b->used(), target);
  EXPECT_LE(moves, 24) << "each move at least doubles the capacity";
  // The small buffers before the first big one live in series frames (a few MiB in all).
  EXPECT_LE(peak, size_t(b->capacity) + b->capacity / 2 + (6u << 20));
  EXPECT_LT(b->capacity, 2 * target + 4096);
}

TEST_F(Memory, HugeCountRaisesNoMemoryInsteadOfWrapping) {
  EXPECT_TRUE(testing::raises([] { alloc::new_series((1u << 28) + 1, 16, 0); }));
}

TEST_F(Memory, NodeFramesAreExhaustedThenReused) {
  NodeFrame* first = memory.current_node_frame;
  ASSERT_NE(first, nullptr);
  std::vector<NodeId> taken;
  // Take more than one frame's worth: a second frame appears.
  for (uint32_t i = 0; i < NODES_PER_FRAME + 10; i++) taken.push_back(alloc::new_node());
  int frames = 0;
  for (NodeFrame* f = memory.first_node_frame; f; f = f->next) frames++;
  EXPECT_GE(frames, 2);
  std::set<NodeId> unique(taken.begin(), taken.end());
  EXPECT_EQ(unique.size(), taken.size());
  // Freed nodes come back before any new frame is made.
  NodeId freed = taken[5];
  alloc::free_node(freed);
  memory.current_node_frame = memory.first_node_frame;
  int frames_before = frames;
  bool seen = false;
  for (int i = 0; i < 5 && !seen; i++) seen = alloc::new_node() == freed;
  frames = 0;
  for (NodeFrame* f = memory.first_node_frame; f; f = f->next) frames++;
  EXPECT_TRUE(seen);
  EXPECT_EQ(frames, frames_before);
}

TEST_F(Memory, FillPatternRepeatsTheFirstItem) {
  uint8_t buf[40] = {1, 2, 3, 4};
  uint8_t* endp = series::fill_pattern(buf, 4, 10);
  EXPECT_EQ(endp, buf + 40);
  for (int i = 0; i < 40; i++) ASSERT_EQ(buf[i], (i % 4) + 1);
}

}  // namespace
}  // namespace tav
