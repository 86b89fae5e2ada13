// The memory manager: nodes in node frames, series buffers in series frames, big buffers.
//
// Values never hold buffer addresses: a series cell holds a 32-bit node id and the node
// table maps it to the buffer, so the collector may move buffers by rewriting one node.
// Buffers move when their series is expanded and when a collection compacts the frames;
// collections run only at safe points (collector.h). A raw pointer into a buffer must be
// re-derived after anything that can expand that series or evaluate.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include "core/cell.h"

namespace tav {

// Buffer flag bits (the low 5 bits hold the unit size).
constexpr uint32_t BUF_UNIT_MASK = 0x1F;
constexpr uint32_t BUF_IN_USE = 1u << 31;
constexpr uint32_t BUF_ALLOCATED = 1u << 29;
constexpr uint32_t BUF_HEAD_MIDDLE = 1u << 28;
constexpr uint32_t BUF_MARKED = 1u << 27;
constexpr uint32_t BUF_BIG = 1u << 24;
constexpr uint32_t BUF_HEAP = 1u << 20;
constexpr uint32_t BUF_OWNED = 1u << 17;   // 0x20000: an owner watches this series

struct SeriesBuffer {
  uint32_t flags;
  NodeId node;        // back reference; 0 once the buffer was replaced
  uint32_t capacity;  // bytes in the data area, a multiple of 16
  uint32_t head;      // byte offset of the first used byte in the data area
  uint32_t tail;      // byte offset one past the last used byte
  uint32_t reserved[3];

  uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
  uint8_t* head_ptr() { return data() + head; }
  uint8_t* tail_ptr() { return data() + tail; }
  uint8_t* end_ptr() { return data() + capacity; }
  uint32_t unit() const { return flags & BUF_UNIT_MASK; }
  uint32_t used() const { return tail - head; }                 // bytes
  uint32_t count() const { return (tail - head) / unit(); }     // units
  uint32_t room() const { return capacity - tail; }             // bytes free after the tail
  Cell* cells() { return reinterpret_cast<Cell*>(head_ptr()); }
  Cell* cell_tail() { return reinterpret_cast<Cell*>(tail_ptr()); }
};
static_assert(sizeof(SeriesBuffer) == 32, "the data area stays 16-byte aligned");

// Bytes after the data area kept free (terminators may be written there).
constexpr uint32_t BUFFER_SLACK = 16;
constexpr uint32_t BUFFER_OVERHEAD = sizeof(SeriesBuffer) + BUFFER_SLACK;

// The most bytes a buffer's 32-bit capacity word describes, with its header and slack.
constexpr uint64_t MAX_BUFFER_BYTES = 0xFFFFFF00ull - BUFFER_OVERHEAD;
// The largest length of a series, in units: lengths and indexes are integer! values, so no
// series may hold more units than an integer! counts.
constexpr uint32_t MAX_SERIES_LENGTH = 0x7FFFFFFF;

constexpr uint32_t NODES_PER_FRAME = 10000;
constexpr uint32_t DEFAULT_SERIES_FRAME = 1u << 20;   // 1 MiB
constexpr uint32_t MAX_SERIES_FRAME = 2u << 20;       // 2 MiB: also the big-buffer threshold
constexpr uint32_t FRAME_LOW_ROOM = 0xCCCC;           // a frame with less free room is skipped
// The collection schedule: the next automatic collection is requested once the bytes handed
// out since the last one reach what survived it (times COLLECT_GROWTH), never less than the
// floor. Each cycle's work is thus paid for by as many new bytes as it marks, so building and
// keeping N values costs O(N) in all, however large the live heap gets.
constexpr size_t COLLECT_FLOOR = 4u << 20;
constexpr size_t COLLECT_GROWTH = 1;

struct NodeFrame {
  NodeFrame* next;
  NodeFrame* prev;
  uint32_t first_id;     // id of the first node of the frame
  uint32_t nodes;        // number of nodes
  uint32_t free_head;    // id of the first free node, 0 when none
  uint32_t in_use;
  uint32_t cycle_stamp;
  uint32_t previous_in_use;
  uint32_t history;
  bool being_emptied;
};

struct SeriesFrame {
  SeriesFrame* next;
  SeriesFrame* prev;
  size_t total;          // bytes of the frame including this header
  uint8_t* heap;         // first free byte
  uint8_t* end;          // one past the last byte
  uint8_t* area() { return reinterpret_cast<uint8_t*>(this) + header_size(); }
  static constexpr size_t header_size() { return 64; }
};

struct BigBlock {
  BigBlock* next;
  BigBlock* prev;
  size_t size;           // bytes obtained from the system
  uint64_t reserved;
  SeriesBuffer* buffer() { return reinterpret_cast<SeriesBuffer*>(this + 1); }
};
static_assert(sizeof(BigBlock) == 32);

struct MemoryManager {
  size_t system_bytes = 0;          // bytes taken from the system for frames and big blocks
  NodeFrame* first_node_frame = nullptr;
  NodeFrame* last_node_frame = nullptr;
  NodeFrame* current_node_frame = nullptr;
  SeriesFrame* first_series_frame = nullptr;   // kept in address order
  SeriesFrame* current_series_frame = nullptr;
  SeriesFrame* last_series_frame = nullptr;
  uint32_t default_frame_size = DEFAULT_SERIES_FRAME;
  uint32_t next_frame_size = DEFAULT_SERIES_FRAME;
  uint32_t max_frame_size = MAX_SERIES_FRAME;
  BigBlock* first_big = nullptr;
  size_t heap_bytes = 0;            // bytes of heap series (outside the frames)
  size_t allocated = 0;             // buffer bytes handed out since the last collection
  size_t collect_budget = COLLECT_FLOOR;   // allocated bytes that request the next one
};
extern MemoryManager memory;

// The node table: one reserved virtual range, indexed by node id.
extern SeriesBuffer** node_table;
constexpr uint32_t MAX_NODE_IDS = 1u << 27;

inline SeriesBuffer* node_buffer(NodeId n) { return node_table[n]; }
// Whether an id names a node in use (live slots hold a buffer address; free ones an odd link).
inline bool is_live_node(NodeId n) {
  if (n == 0 || n >= MAX_NODE_IDS) return false;
  auto v = reinterpret_cast<uintptr_t>(node_table[n]);
  return v != 0 && (v & 1) == 0;
}
inline SeriesBuffer* cell_buffer(const Cell* c) { return node_table[c->data2]; }

namespace memory_manager {
void init();
void release_all();
// Bytes in use (level-1 statistics).
double bytes_in_use();
// The detailed statistics: [free used total] node counts per node frame, [free used total]
// bytes per series frame (flattened, three numbers each), each big buffer's size, the bytes
// taken from the system (frames, big blocks and the tracked heap) and the tracked heap alone.
struct Details {
  std::vector<double> node_frames;
  std::vector<double> series_frames;
  std::vector<double> big_buffers;
  double system_total = 0;
  double heap = 0;
};
Details details();
// Bytes of the collected buffers (used frame space and big blocks).
size_t collected_bytes();
// After a cycle: the next request waits for an allocation volume scaled to what survived.
void schedule_next_collection();
}  // namespace memory_manager

namespace alloc {
NodeFrame* new_node_frame(uint32_t count);
NodeId new_node();
void free_node(NodeId n);
// Gives back a batch of nodes sorted by id (each node frame is looked up once per run).
void free_nodes(const NodeId* sorted, size_t count);
SeriesFrame* new_series_frame();
// Unlinks a series frame and gives it back to the system.
void free_series_frame(SeriesFrame* f);
// A new buffer of count x unit bytes (rounded up to 16); head_offset -1 puts the head in the middle.
// When no frame has room it grows memory and requests a collection for the next safe point:
// it never collects itself, so callers may hold raw pointers across it (their buffers stay).
SeriesBuffer* new_buffer(uint32_t count, uint32_t unit, int32_t head_offset);
NodeId new_series(uint32_t count, uint32_t unit, int32_t head_offset);
NodeId new_cells(uint32_t n);
NodeId new_unset_cells(uint32_t n);
NodeId new_bytes(uint32_t n);
NodeId new_series_of_unit(uint32_t n, uint32_t unit);
NodeId new_bytes_filled(uint32_t n, uint8_t byte);
// Buffers outside the collected frames: never moved, never swept.
NodeId new_heap_series(uint32_t count, uint32_t unit, int32_t head_offset);
SeriesBuffer* new_big_buffer(size_t total);
void free_big_buffer(SeriesBuffer* buf);
void sweep_big_buffers();
void review_node_frames();
}  // namespace alloc

namespace series {
// The largest data area, in bytes, of a buffer of this unit: the length limit in units,
// rounded down to the 16-byte granule (so that no buffer can ever hold more units than the
// limit, whatever path writes into it) and within the capacity word.
uint64_t max_bytes(uint32_t unit);
// Raises internal no-memory when a series of `units` units of `unit` bytes would pass the
// largest length. Growth paths call it with the length they are about to reach, before they
// change anything.
void check_length(uint64_t units, uint32_t unit);
// The largest length; lowered only by tests, which reach the limit with small values.
// Returns the previous limit.
uint32_t set_length_limit(uint32_t units);
uint32_t length_limit();
// Moves the series to a new buffer of new_capacity bytes (0: twice the capacity). The new
// buffer keeps the length but not the bytes: it is for callers that rewrite the whole
// content. Growing a series that keeps its content goes through expand_copy or ensure_room.
SeriesBuffer* expand(SeriesBuffer* buf, uint32_t new_capacity);
SeriesBuffer* expand_copy(SeriesBuffer* buf, uint32_t new_capacity);
SeriesBuffer* expand_filled(SeriesBuffer* buf, uint32_t new_capacity, uint8_t byte);
NodeId clone_buffer(SeriesBuffer* buf);
// Ends a buffer that its series has left for another one. A big buffer goes back to the
// system at once, so that a series growing to gigabytes holds no more than its old and new
// buffers at any time; a buffer in a frame stays as dead space until compaction.
void retire(SeriesBuffer* old);
void fill_bytes(uint8_t* start, uint8_t* end, uint8_t byte);
void set_flags(NodeId n, uint32_t bits);
// Reserves bytes at the tail (expanding when needed) and returns the old tail.
uint8_t* buffer_reserve_tail(NodeId n, uint32_t bytes);
// Ensures room for bytes more after the tail; returns the (possibly new) buffer.
SeriesBuffer* ensure_room(NodeId n, uint32_t bytes);
// A new cell at the tail of a block's buffer, set to unset!.
Cell* new_tail_cell(const Cell* block);
Cell* buffer_new_tail_cell(NodeId n);
NodeId copy_part(NodeId src, uint32_t start_index, uint32_t count);
uint8_t* fill_pattern(uint8_t* addr, uint32_t item_size, uint32_t count);
}  // namespace series

}  // namespace tav
