#include "core/memory.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "core/collector.h"
#include "core/errors.h"
#include "platform/fatal.h"
#include "platform/platform.h"

namespace tav {

MemoryManager memory;
SeriesBuffer** node_table = nullptr;

namespace memory_detail {

// Node ids index one reserved range; pages are committed by the kernel on first touch.
constexpr size_t MAX_NODES = MAX_NODE_IDS;
uint32_t node_frames_made = 0;
std::vector<uint32_t> released_frame_ids;   // first ids of released node frames, for reuse
// Heap series, freed all at once at cleanup. Never destroyed: the blocks live to the end.
std::vector<void*>& tracked_heap = *new std::vector<void*>;

size_t round_to_page(size_t n) { return (n + 4095) & ~size_t(4095); }

void* os_frame(size_t size, bool populated = false) {
  void* p = populated ? platform::reserve_populated(size) : platform::reserve(size);
  memory.system_bytes += size;
  if (!p) error::raise(ERR_INTERNAL, "no-memory");
  return p;
}

void os_free(void* p, size_t size) {
  memory.system_bytes -= size;
  if (!platform::release(p, size)) error::raise(ERR_INTERNAL, "wrong-mem");
}

// Live node slots hold a buffer address (16-byte aligned, so even); free slots hold the
// next free id shifted left with bit 0 set.
inline bool slot_is_free(uintptr_t v) { return (v & 1) != 0; }

SeriesFrame* find_series_frame(size_t total) {
  for (SeriesFrame* f = memory.first_series_frame; f; f = f->next)
    if (f->heap + total < f->end) return f;
  return nullptr;
}

}  // namespace memory_detail

namespace memory_manager {

void init() {
  memory = MemoryManager{};
  if (!node_table) {
    void* p = platform::reserve_sparse(memory_detail::MAX_NODES * sizeof(SeriesBuffer*));
    if (!p) fatal_exit(94, 0);
    node_table = static_cast<SeriesBuffer**>(p);
  }
  memory_detail::node_frames_made = 0;
  memory_detail::released_frame_ids.clear();
}

void release_all() {
  for (NodeFrame* f = memory.first_node_frame; f;) {
    NodeFrame* n = f->next;
    delete f;
    f = n;
  }
  for (SeriesFrame* f = memory.first_series_frame; f;) {
    SeriesFrame* n = f->next;
    memory_detail::os_free(f, f->total);
    f = n;
  }
  for (BigBlock* b = memory.first_big; b;) {
    BigBlock* n = b->next;
    memory_detail::os_free(b, b->size);
    b = n;
  }
  for (void* p : memory_detail::tracked_heap) std::free(p);
  memory_detail::tracked_heap.clear();
  memory = MemoryManager{};
}

double bytes_in_use() {
  double total = 0;
  for (NodeFrame* f = memory.first_node_frame; f; f = f->next) total += 4.0 * f->in_use;
  for (SeriesFrame* f = memory.first_series_frame; f; f = f->next)
    total += static_cast<double>(f->heap - f->area());
  for (BigBlock* b = memory.first_big; b; b = b->next) total += static_cast<double>(b->size);
  return total;
}

size_t collected_bytes() {
  size_t total = 0;
  for (SeriesFrame* f = memory.first_series_frame; f; f = f->next) total += size_t(f->heap - f->area());
  for (BigBlock* b = memory.first_big; b; b = b->next) total += b->size;
  return total;
}

void schedule_next_collection() {
  size_t live = collected_bytes();
  size_t budget = live * COLLECT_GROWTH;
  memory.collect_budget = budget < COLLECT_FLOOR ? COLLECT_FLOOR : budget;
  memory.allocated = 0;
}

Details details() {
  Details d;
  for (NodeFrame* f = memory.first_node_frame; f; f = f->next)
    d.node_frames.insert(d.node_frames.end(),
                         {double(f->nodes - f->in_use), double(f->in_use), double(f->nodes)});
  for (SeriesFrame* f = memory.first_series_frame; f; f = f->next)
    d.series_frames.insert(d.series_frames.end(), {double(f->end - f->heap),
                                                   double(f->heap - f->area()), double(f->total)});
  for (BigBlock* b = memory.first_big; b; b = b->next) d.big_buffers.push_back(double(b->size));
  d.system_total = double(memory.system_bytes) + double(memory.heap_bytes);
  d.heap = double(memory.heap_bytes);
  return d;
}

}  // namespace memory_manager

namespace alloc {

NodeFrame* new_node_frame(uint32_t count) {
  using namespace memory_detail;
  uint32_t first;
  if (!released_frame_ids.empty()) {
    first = released_frame_ids.back();
    released_frame_ids.pop_back();
  } else {
    first = node_frames_made * NODES_PER_FRAME + 1;
    if (count != NODES_PER_FRAME || first + count >= MAX_NODES) error::raise(ERR_INTERNAL, "no-memory");
    node_frames_made++;
  }
  auto* f = new (std::nothrow) NodeFrame{};
  if (!f) fatal_exit(94, 0);
  f->first_id = first;
  f->nodes = count;
  f->cycle_stamp = collector::cycle_count();
  for (uint32_t i = 0; i < count; i++) {
    uint32_t id = first + i;
    uint32_t next = (i + 1 < count) ? id + 1 : 0;
    node_table[id] = reinterpret_cast<SeriesBuffer*>((uintptr_t(next) << 1) | 1);
  }
  f->free_head = first;
  memory.system_bytes += round_to_page(count * sizeof(void*));
  f->prev = memory.last_node_frame;
  if (memory.last_node_frame) memory.last_node_frame->next = f;
  else memory.first_node_frame = memory.current_node_frame = f;
  memory.last_node_frame = f;
  return f;
}

NodeFrame* node_frame_of(NodeId n) {
  for (NodeFrame* f = memory.first_node_frame; f; f = f->next)
    if (n >= f->first_id && n < f->first_id + f->nodes) return f;
  return nullptr;
}

NodeId new_node() {
  NodeFrame* f = memory.current_node_frame;
  if (!f || f->free_head == 0 || f->being_emptied) {
    f = memory.first_node_frame;
    while (f && (f->free_head == 0 || f->being_emptied)) f = f->next;
    if (!f) f = new_node_frame(NODES_PER_FRAME);
    memory.current_node_frame = f;
  }
  NodeId id = f->free_head;
  uintptr_t link = reinterpret_cast<uintptr_t>(node_table[id]);
  f->free_head = static_cast<uint32_t>(link >> 1);
  node_table[id] = nullptr;
  f->in_use++;
  return id;
}

void free_node(NodeId n) {
  NodeFrame* f = node_frame_of(n);
  if (!f) return;
  node_table[n] = reinterpret_cast<SeriesBuffer*>((uintptr_t(f->free_head) << 1) | 1);
  f->free_head = n;
  f->in_use--;
}

void free_nodes(const NodeId* sorted, size_t count) {
  NodeFrame* f = nullptr;
  for (size_t i = 0; i < count; i++) {
    NodeId n = sorted[i];
    if (!f || n < f->first_id || n >= f->first_id + f->nodes) f = node_frame_of(n);
    if (!f) continue;
    node_table[n] = reinterpret_cast<SeriesBuffer*>((uintptr_t(f->free_head) << 1) | 1);
    f->free_head = n;
    f->in_use--;
  }
}

void free_series_frame(SeriesFrame* f) {
  if (f->prev) f->prev->next = f->next;
  else memory.first_series_frame = f->next;
  if (f->next) f->next->prev = f->prev;
  else memory.last_series_frame = f->prev;
  if (memory.current_series_frame == f) memory.current_series_frame = memory.first_series_frame;
  memory_detail::os_free(f, f->total);
}

SeriesFrame* new_series_frame() {
  using namespace memory_detail;
  uint32_t size = memory.next_frame_size;
  if (size < memory.max_frame_size) memory.next_frame_size = size * 2;
  size_t total = round_to_page(size + SeriesFrame::header_size());
  // Buffers are bumped from one end of a frame to the other: its pages are all touched soon.
  auto* f = static_cast<SeriesFrame*>(os_frame(total, true));
  f->total = total;
  f->heap = f->area();
  f->end = reinterpret_cast<uint8_t*>(f) + total;
  f->next = f->prev = nullptr;
  // Keep the list in address order: compaction slides buffers toward lower frames.
  if (!memory.first_series_frame) {
    memory.first_series_frame = memory.last_series_frame = memory.current_series_frame = f;
  } else {
    SeriesFrame* at = memory.first_series_frame;
    while (at && at < f) at = at->next;
    if (!at) {
      f->prev = memory.last_series_frame;
      memory.last_series_frame->next = f;
      memory.last_series_frame = f;
    } else {
      f->next = at;
      f->prev = at->prev;
      if (at->prev) at->prev->next = f;
      else memory.first_series_frame = f;
      at->prev = f;
    }
  }
  return f;
}

SeriesBuffer* new_big_buffer(size_t total) {
  size_t size = memory_detail::round_to_page(total + sizeof(BigBlock));
  auto* b = static_cast<BigBlock*>(memory_detail::os_frame(size));
  b->size = size;
  b->reserved = 0;
  b->next = nullptr;
  b->prev = nullptr;
  if (!memory.first_big) {
    memory.first_big = b;
  } else {
    BigBlock* last = memory.first_big;
    while (last->next) last = last->next;
    last->next = b;
    b->prev = last;
  }
  return b->buffer();
}

void free_big_buffer(SeriesBuffer* buf) {
  auto* b = reinterpret_cast<BigBlock*>(buf) - 1;
  if (b->prev) b->prev->next = b->next;
  else memory.first_big = b->next;
  if (b->next) b->next->prev = b->prev;
  memory_detail::os_free(b, b->size);
}

SeriesBuffer* new_buffer(uint32_t count, uint32_t unit, int32_t head_offset) {
  uint64_t bytes = uint64_t(count) * unit;
  uint64_t capacity64 = (bytes + 15) & ~uint64_t(15);
  // No buffer can hold more than the largest length, so no path that writes into one
  // without asking (an in-place insert, a fill) can make a length wrap.
  if (capacity64 > series::max_bytes(unit)) error::raise(ERR_INTERNAL, "no-memory");
  uint32_t capacity = static_cast<uint32_t>(capacity64);
  size_t total = size_t(capacity) + BUFFER_OVERHEAD;
  SeriesBuffer* buf;
  uint32_t big = 0;
  // Never a collection here: it would move buffers under callers' raw pointers. Memory
  // grows now and the next safe point collects once the schedule says so.
  memory.allocated += total;
  if (memory.allocated >= memory.collect_budget) collector::request();
  if (total >= memory.max_frame_size) {
    buf = new_big_buffer(total);
    big = BUF_BIG;
  } else {
    SeriesFrame* f = memory.current_series_frame;
    if (!f || !(f->heap + total < f->end)) {
      f = memory_detail::find_series_frame(total);
      if (!f || size_t(f->end - f->heap) < FRAME_LOW_ROOM) {
        if (total >= memory.next_frame_size) memory.next_frame_size = memory.max_frame_size;
        f = new_series_frame();
      }
      memory.current_series_frame = f;
    }
    buf = reinterpret_cast<SeriesBuffer*>(f->heap);
    f->heap += total;
  }
  buf->capacity = capacity;
  buf->flags = unit | BUF_IN_USE | BUF_ALLOCATED | big;
  buf->node = 0;
  uint32_t offset;
  if (head_offset == -1) {
    offset = capacity / 2;
    offset -= offset % (unit ? unit : 1);
    buf->flags |= BUF_HEAD_MIDDLE;
  } else {
    offset = static_cast<uint32_t>(head_offset);
  }
  buf->head = buf->tail = offset;
  buf->reserved[0] = buf->reserved[1] = buf->reserved[2] = 0;
  return buf;
}

NodeId new_series(uint32_t count, uint32_t unit, int32_t head_offset) {
  SeriesBuffer* buf = new_buffer(count, unit, head_offset);
  NodeId n = new_node();
  node_table[n] = buf;
  buf->node = n;
  return n;
}

NodeId new_cells(uint32_t n) { return new_series(n, sizeof(Cell), 0); }

NodeId new_unset_cells(uint32_t n) {
  NodeId node = new_cells(n);
  SeriesBuffer* buf = node_buffer(node);
  Cell* c = reinterpret_cast<Cell*>(buf->data());
  for (uint32_t i = 0; i < buf->capacity / sizeof(Cell); i++) set_unset(c + i);
  return node;
}

NodeId new_bytes(uint32_t n) { return new_series(n == 0 ? 16 : n, 1, 0); }

NodeId new_series_of_unit(uint32_t n, uint32_t unit) {
  if (n == 0) n = (16 + unit - 1) / unit;
  return new_series(n, unit, 0);
}

NodeId new_bytes_filled(uint32_t n, uint8_t byte) {
  NodeId node = new_bytes(n);
  SeriesBuffer* buf = node_buffer(node);
  series::fill_bytes(buf->data(), buf->end_ptr(), byte);
  return node;
}

NodeId new_heap_series(uint32_t count, uint32_t unit, int32_t head_offset) {
  uint64_t capacity64 = (uint64_t(count) * unit + 15) & ~uint64_t(15);
  if (capacity64 > MAX_BUFFER_BYTES) fatal_exit(94, 0);
  uint32_t capacity = static_cast<uint32_t>(capacity64);
  size_t total = size_t(capacity) + BUFFER_OVERHEAD;
  void* p = std::aligned_alloc(16, (total + 15) & ~size_t(15));
  if (!p) fatal_exit(94, 0);
  memory.heap_bytes += total;
  memory_detail::tracked_heap.push_back(p);
  auto* buf = static_cast<SeriesBuffer*>(p);
  buf->capacity = capacity;
  buf->flags = unit | BUF_IN_USE | BUF_ALLOCATED | BUF_HEAP;
  buf->head = buf->tail = head_offset < 0 ? 0 : static_cast<uint32_t>(head_offset);
  buf->reserved[0] = buf->reserved[1] = buf->reserved[2] = 0;
  NodeId n = new_node();
  node_table[n] = buf;
  buf->node = n;
  return n;
}

void sweep_big_buffers() {
  for (BigBlock* b = memory.first_big; b;) {
    BigBlock* next = b->next;
    SeriesBuffer* buf = b->buffer();
    if (buf->flags & BUF_MARKED) {
      buf->flags &= ~BUF_MARKED;
    } else {
      if (buf->node && node_table[buf->node] == buf) collector::queue_node_release(buf->node);
      free_big_buffer(buf);
    }
    b = next;
  }
}

void review_node_frames() {
  NodeFrame* current = nullptr;
  for (NodeFrame* f = memory.first_node_frame; f;) {
    NodeFrame* next = f->next;
    if (f->in_use == 0 || f->being_emptied) {
      if (f->prev) f->prev->next = f->next;
      else memory.first_node_frame = f->next;
      if (f->next) f->next->prev = f->prev;
      else memory.last_node_frame = f->prev;
      if (memory.current_node_frame == f) memory.current_node_frame = nullptr;
      for (uint32_t i = 0; i < f->nodes; i++) node_table[f->first_id + i] = nullptr;
      memory_detail::released_frame_ids.push_back(f->first_id);
      memory.system_bytes -= memory_detail::round_to_page(f->nodes * sizeof(void*));
      delete f;
    } else {
      if (!current && f->in_use < f->nodes) current = f;
      f->history = (f->history << 1) | (f->in_use == f->previous_in_use ? 1u : 0u);
      f->previous_in_use = f->in_use;
    }
    f = next;
  }
  if (current) memory.current_node_frame = current;
  else if (!memory.current_node_frame) memory.current_node_frame = memory.last_node_frame;
}

}  // namespace alloc

namespace series {

namespace memory_detail {
uint32_t length_limit = MAX_SERIES_LENGTH;
}  // namespace memory_detail

uint64_t max_bytes(uint32_t unit) {
  uint64_t bytes = uint64_t(memory_detail::length_limit) * (unit ? unit : 1);
  if (bytes > MAX_BUFFER_BYTES) bytes = MAX_BUFFER_BYTES;
  return bytes & ~uint64_t(15);
}

void check_length(uint64_t units, uint32_t unit) {
  if (units > memory_detail::length_limit || units * (unit ? unit : 1) > max_bytes(unit))
    error::raise(ERR_INTERNAL, "no-memory");
}

uint32_t set_length_limit(uint32_t units) {
  uint32_t old = memory_detail::length_limit;
  memory_detail::length_limit = units > MAX_SERIES_LENGTH ? MAX_SERIES_LENGTH : units;
  return old;
}

uint32_t length_limit() { return memory_detail::length_limit; }

namespace memory_detail {
// Moves a series to a new buffer; with copy, the used bytes go along. The old buffer is
// re-derived through its node after the allocation, so that nothing depends on whether an
// allocation can move other buffers.
SeriesBuffer* move_series(SeriesBuffer* buf, uint32_t new_capacity, bool copy) {
  uint32_t unit = buf->unit();
  uint64_t cap = new_capacity == 0 ? uint64_t(buf->capacity) * 2 : new_capacity;
  if (new_capacity == 0 && cap > max_bytes(unit) && buf->capacity < max_bytes(unit))
    cap = max_bytes(unit);
  if (cap < 1 || cap > max_bytes(unit)) error::raise(ERR_INTERNAL, "no-memory");
  NodeId node = buf->node;
  SeriesBuffer* nb = alloc::new_buffer(static_cast<uint32_t>((cap + unit - 1) / unit), unit, 0);
  if (node) buf = node_table[node];
  uint32_t used = buf->tail - buf->head;
  if (used > nb->capacity) used = nb->capacity;
  if (copy) std::memcpy(nb->data(), buf->head_ptr(), used);
  uint32_t big = nb->flags & BUF_BIG;
  nb->flags = (buf->flags & ~(BUF_BIG | BUF_HEAD_MIDDLE | BUF_MARKED)) | big;
  nb->node = node;
  nb->head = 0;
  nb->tail = used;
  if (node) node_table[node] = nb;
  retire(buf);
  return nb;
}
}  // namespace memory_detail

SeriesBuffer* expand(SeriesBuffer* buf, uint32_t new_capacity) {
  return memory_detail::move_series(buf, new_capacity, false);
}

SeriesBuffer* expand_copy(SeriesBuffer* buf, uint32_t new_capacity) {
  return memory_detail::move_series(buf, new_capacity, true);
}

SeriesBuffer* expand_filled(SeriesBuffer* buf, uint32_t new_capacity, uint8_t byte) {
  uint32_t old_used = buf->tail - buf->head;
  SeriesBuffer* nb = expand_copy(buf, new_capacity);
  if (old_used < nb->capacity) fill_bytes(nb->data() + old_used, nb->end_ptr(), byte);
  return nb;
}

NodeId clone_buffer(SeriesBuffer* buf) {
  NodeId src = buf->node;
  uint32_t unit = buf->unit();
  NodeId n = alloc::new_series(buf->capacity / (unit ? unit : 1), unit, 0);
  if (src) buf = node_table[src];
  SeriesBuffer* nb = node_buffer(n);
  nb->flags = (buf->flags & ~BUF_MARKED & ~BUF_BIG & ~BUF_HEAP) | (nb->flags & BUF_BIG);
  nb->head = 0;
  nb->tail = buf->tail - buf->head;
  std::memcpy(nb->data(), buf->head_ptr(), nb->tail);
  return n;
}

void retire(SeriesBuffer* old) {
  old->node = 0;
  old->flags &= ~BUF_IN_USE;
  if ((old->flags & (BUF_BIG | BUF_HEAP)) == BUF_BIG) alloc::free_big_buffer(old);
}

void fill_bytes(uint8_t* start, uint8_t* end, uint8_t byte) {
  if (end > start) std::memset(start, byte, size_t(end - start));
}

void set_flags(NodeId n, uint32_t bits) { node_table[n]->flags |= bits; }

SeriesBuffer* ensure_room(NodeId n, uint32_t bytes) {
  SeriesBuffer* buf = node_table[n];
  if (buf->room() >= bytes) return buf;
  uint64_t need = uint64_t(buf->tail - buf->head) + bytes;
  uint64_t limit = max_bytes(buf->unit());
  if (need > limit) error::raise(ERR_INTERNAL, "no-memory");
  uint64_t cap = uint64_t(buf->capacity) * 2;
  if (cap < need) cap = need * 2;
  // Near the limit the doubling stops at it rather than refusing a request that fits.
  if (cap > limit) cap = limit;
  // Slide the used part down when the head sits in the middle and that makes room.
  if (buf->head > 0 && buf->capacity - (buf->tail - buf->head) >= bytes) {
    uint32_t used = buf->tail - buf->head;
    std::memmove(buf->data(), buf->head_ptr(), used);
    buf->head = 0;
    buf->tail = used;
    return buf;
  }
  return expand_copy(buf, static_cast<uint32_t>(cap));
}

uint8_t* buffer_reserve_tail(NodeId n, uint32_t bytes) {
  SeriesBuffer* buf = ensure_room(n, bytes);
  uint8_t* old_tail = buf->tail_ptr();
  buf->tail += bytes;
  return old_tail;
}

Cell* buffer_new_tail_cell(NodeId n) {
  Cell* c = reinterpret_cast<Cell*>(buffer_reserve_tail(n, sizeof(Cell)));
  return set_unset(c);
}

Cell* new_tail_cell(const Cell* block) { return buffer_new_tail_cell(block->node()); }

NodeId copy_part(NodeId src, uint32_t start_index, uint32_t count) {
  uint32_t unit = node_table[src]->unit();
  NodeId n = alloc::new_series(count, unit, 0);
  SeriesBuffer* from = node_table[src];
  SeriesBuffer* to = node_table[n];
  to->flags |= from->flags & ~(BUF_OWNED | BUF_MARKED | BUF_BIG | BUF_HEAP | BUF_HEAD_MIDDLE |
                               BUF_UNIT_MASK);
  std::memcpy(to->data(), from->head_ptr() + size_t(start_index) * unit, size_t(count) * unit);
  to->tail = count * unit;
  return n;
}

uint8_t* fill_pattern(uint8_t* addr, uint32_t item_size, uint32_t count) {
  if (count == 0) return addr;
  size_t total = size_t(item_size) * count;
  size_t filled = item_size;
  while (filled < total) {
    size_t chunk = filled < total - filled ? filled : total - filled;
    std::memcpy(addr + filled, addr, chunk);
    filled += chunk;
  }
  return addr + total;
}

}  // namespace series
}  // namespace tav
