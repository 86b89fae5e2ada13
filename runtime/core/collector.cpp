#include "core/collector.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/context.h"
#include "core/cycles.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "core/ownership.h"
#include "runtime.h"
#include "core/stack.h"
#include "core/symbols.h"

namespace tav::collector {

bool enabled = false;

namespace collector_detail {

bool pending = false;
uint32_t cycles = 0;
bool collecting = false;
Marker markers[MAX_MARKERS] = {};
uint32_t marker_fill = 0;
Stats last{};

// Dead nodes wait here and go back to their frames sorted, so each frame is found once a run.
constexpr size_t RELEASE_BATCH = 20000;
std::vector<NodeId> release_batch;
// Cell series marked but not scanned yet. Each series enters once (when it becomes marked),
// so nesting depth costs heap entries, never machine stack.
std::vector<NodeId> mark_stack;
// Marked buffers outside the frames: no sweep passes over them, so their marks are cleared
// from this list at the end of the cycle.
std::vector<NodeId> marked_heap;

void publish_collecting(bool on) {
  collecting = on;
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

void flush_releases() {
  if (release_batch.empty()) return;
  std::sort(release_batch.begin(), release_batch.end());
  alloc::free_nodes(release_batch.data(), release_batch.size());
  last.nodes_released += static_cast<uint32_t>(release_batch.size());
  release_batch.clear();
}

// --- marking ----------------------------------------------------------------------------

// Marks a node's buffer; a newly marked cell series is queued for scanning. Ids that name no
// live node (unset payload words, free slots) are ignored, so a stray id can at worst keep
// garbage alive, never lead outside the node table.
bool mark_node(NodeId n) {
  if (!is_live_node(n)) return false;
  SeriesBuffer* b = node_table[n];
  if (b->flags & BUF_MARKED) return false;
  b->flags |= BUF_MARKED;
  if (b->flags & BUF_HEAP) marked_heap.push_back(n);
  if (b->unit() == sizeof(Cell)) mark_stack.push_back(n);
  return true;
}

// A hash index: its record's byte series, the slot arrays, the key store and, for hash!,
// the per-position slots and the chains of equal keys. The record's node may be marked
// already by a stray id in some payload word (mark_node takes any live id): its parts are
// marked all the same, or they would be freed under an index still in use.
void mark_index(NodeId n) {
  if (!is_live_node(n)) return;
  bool fresh = mark_node(n);
  SeriesBuffer* b = node_table[n];
  if (b->used() < sizeof(hash::Table)) return;
  hash::Table t;
  std::memcpy(&t, b->head_ptr(), sizeof t);
  mark_node(t.flags);
  mark_node(t.keys);
  mark_node(t.blk);
  if (t.type != hash::KIND_HASH) return;
  mark_node(t.indexes);
  if (mark_node(t.chains) || (fresh && is_live_node(t.chains))) {
    SeriesBuffer* c = node_table[t.chains];
    const uint8_t* p = c->head_ptr();
    for (uint32_t i = 0; i + 4 <= c->used(); i += 4) {
      uint32_t id;
      std::memcpy(&id, p + i, 4);
      mark_node(id);
    }
  }
}

void scan_cell(const Cell* c) {
  switch (c->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH:
      mark_node(c->data2);
      break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      mark_node(c->data2);
      mark_node(c->data3);
      break;
    case TYPE_SYMBOL:
      mark_node(c->data3);
      mark_node(c->data2);
      break;
    case TYPE_CONTEXT:
      mark_index(c->data1);
      if (!(c->header & FLAG_CTX_ON_STACK)) mark_node(c->data2);
      break;
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
      mark_node(c->data1);   // the context (its node holds the context! and owner cells)
      break;
    case TYPE_OP: {
      auto wrapped = static_cast<TypeId>((c->header >> 16) & 0xFF);
      if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE) mark_node(c->data1);
      mark_node(c->data2);
      mark_node(c->data3);
      break;
    }
    case TYPE_NATIVE: case TYPE_ACTION:
      mark_node(c->data2);
      mark_node(c->data3);
      break;
    case TYPE_FUNCTION: case TYPE_ROUTINE:
      mark_node(c->data1);
      mark_node(c->data2);
      mark_node(c->data3);
      break;
    case TYPE_BITSET: case TYPE_VECTOR: case TYPE_BINARY:
      mark_node(c->data2);
      break;
    case TYPE_IMAGE:
      // The pixels live in a handle-table record whose handle starts the node's bytes.
      if (mark_node(c->data2)) handles::mark(handles::node_handle(c->data2), nullptr);
      break;
    case TYPE_OBJECT: case TYPE_PORT:
    case TYPE_ERROR:   // data1: the block of the error's fields
      mark_node(c->data1);
      mark_node(c->data3);
      break;
    case TYPE_HASH: case TYPE_MAP:
      mark_node(c->data2);
      mark_index(c->data3);
      break;
    case TYPE_EVENT:
      if (c->header & 0x1000) mark_node(c->data2);
      break;
    case TYPE_HANDLE:
      if (static_cast<int32_t>(c->data3) >= 0) handles::mark(static_cast<int32_t>(c->data3), nullptr);
      break;
    default:
      break;
  }
}

void drain() {
  while (!mark_stack.empty()) {
    NodeId n = mark_stack.back();
    mark_stack.pop_back();
    // Nothing allocates while marking, so the buffer stays where it is during the scan.
    SeriesBuffer* b = node_table[n];
    uint32_t tail = std::min(b->tail, b->capacity);
    if (b->head >= tail) continue;
    const Cell* c = reinterpret_cast<const Cell*>(b->head_ptr());
    const Cell* end = c + (tail - b->head) / sizeof(Cell);
    for (; c < end; c++) scan_cell(c);
  }
}

void mark_roots() {
  if (runtime::root_node) mark_node(runtime::root_node);
  mark_node(symbol::store_node);
  mark_index(symbol::index_node);
  mark_node(stack::arg_stack_node);
  mark_node(stack::frame_stack_node);
  drain();
  // Cells above the top are left-overs of finished calls, not roots.
  if (stack::begin)
    for (const Cell* c = stack::begin; c < stack::top; c++) scan_cell(c);
  drain();
  if (stack::frames_begin)
    for (const CallFrame* f = stack::frames_begin; f < stack::frames_top; f++) {
      mark_node(f->word_ctx);
      mark_node(f->fn_ctx);
    }
  mark_node(context::global);
  drain();
  const NodeId* open = cycles::entries();
  for (uint32_t i = 0; i < cycles::depth(); i++) mark_node(open[i]);
  drain();
  for (uint32_t i = 0; i < marker_fill; i++)
    if (markers[i]) {
      markers[i]();
      drain();
    }
}

// --- sweeping ---------------------------------------------------------------------------

// A stretch of live buffers that moves with one copy.
struct Run {
  uint8_t* src = nullptr;
  uint8_t* dst = nullptr;
  size_t len = 0;
};

void move_run(Run& r) {
  if (r.len == 0) return;
  if (r.src != r.dst) {
    std::memmove(r.dst, r.src, r.len);
    // Heads and tails are offsets inside each buffer: only the nodes change.
    for (uint8_t* p = r.dst; p < r.dst + r.len;) {
      auto* b = reinterpret_cast<SeriesBuffer*>(p);
      node_table[b->node] = b;
      p += size_t(b->capacity) + BUFFER_OVERHEAD;
    }
  }
  r.len = 0;
}

// Slides the live buffers of a frame down. Those of a later frame go first into the free end
// of the previous frame while it has ample room, so that later frames empty out.
void compact_frame(SeriesFrame* f, SeriesFrame* prev) {
  uint8_t* p = f->area();
  uint8_t* const end = f->heap;
  uint8_t* dest = f->area();
  bool to_prev = prev && size_t(prev->end - prev->heap) > FRAME_LOW_ROOM;
  Run run;
  while (p < end) {
    auto* b = reinterpret_cast<SeriesBuffer*>(p);
    size_t size = size_t(b->capacity) + BUFFER_OVERHEAD;
    if (!(b->flags & BUF_MARKED)) {
      move_run(run);
      // A replaced buffer has no node; any other dead buffer still owns the node that
      // points to it.
      if (b->node && is_live_node(b->node) && node_table[b->node] == b) {
        release_batch.push_back(b->node);
        if (release_batch.size() >= RELEASE_BATCH) flush_releases();
      }
      last.bytes_reclaimed += size;
    } else {
      b->flags &= ~BUF_MARKED;
      uint8_t* dst;
      if (to_prev && prev->heap + size < prev->end) {
        dst = prev->heap;
        prev->heap += size;
      } else {
        to_prev = false;
        dst = dest;
        dest += size;
      }
      if (run.len && run.src + run.len == p && run.dst + run.len == dst) {
        run.len += size;
      } else {
        move_run(run);
        run = Run{p, dst, size};
      }
    }
    p += size;
  }
  move_run(run);
  f->heap = dest;
#ifdef NDEBUG
  if (torture)
#endif
  // A stale raw pointer into the freed space now reads a pattern, not the old data.
  std::memset(dest, 0xDB, size_t(end - dest));
}

void compact_frames() {
  SeriesFrame* prev = nullptr;
  for (SeriesFrame* f = memory.first_series_frame; f;) {
    SeriesFrame* next = f->next;
    compact_frame(f, prev);
    if (prev && f->heap == f->area()) {
      alloc::free_series_frame(f);
      last.frames_released++;
    } else {
      prev = f;
    }
    f = next;
  }
  memory.current_series_frame = memory.first_series_frame;
}

}  // namespace collector_detail

void init() {
  using namespace collector_detail;
  cycles = 0;
  pending = false;
  last = Stats{};
  // Markers stay: modules register them when they first need them, for the whole process.
  release_batch.clear();
  release_batch.reserve(RELEASE_BATCH);
  mark_stack.reserve(4096);
}

void collect() {
  using namespace collector_detail;
  if (collecting) return;
  publish_collecting(true);
  pending = false;
  last = Stats{};
  mark_roots();
  // Platform objects whose handle no value holds any more are released; ownership records of
  // series that died go with them.
  handles::sweep();
  if (ownership::table) hash::sweep_records(ownership::table);
  compact_frames();
  size_t before_big = memory.system_bytes;
  alloc::sweep_big_buffers();
  last.bytes_reclaimed += before_big - memory.system_bytes;
  flush_releases();
  alloc::review_node_frames();
  for (NodeId n : marked_heap)
    if (is_live_node(n)) node_table[n]->flags &= ~BUF_MARKED;
  marked_heap.clear();
  memory_manager::schedule_next_collection();
  cycles++;
  last.cycles = cycles;
  publish_collecting(false);
}

void collect_if_enabled() {
  if (enabled) collect();
}

bool active() { return collector_detail::collecting; }
uint32_t cycle_count() { return collector_detail::cycles; }
const Stats& stats() { return collector_detail::last; }

void add_marker(Marker m) {
  using namespace collector_detail;
  for (uint32_t i = 0; i < marker_fill; i++)
    if (markers[i] == m) return;
  if (marker_fill >= MAX_MARKERS) {
    Cell limit;
    set_integer(&limit, static_cast<int32_t>(MAX_MARKERS));
    error::raise(ERR_INTERNAL, "limit-hit", &limit);
  }
  markers[marker_fill++] = m;
}

void remove_marker(Marker m) {
  using namespace collector_detail;
  for (uint32_t i = 0; i < marker_fill; i++)
    if (markers[i] == m) markers[i] = nullptr;
}

void queue_node_release(NodeId n) {
  using namespace collector_detail;
  release_batch.push_back(n);
  if (release_batch.size() >= RELEASE_BATCH) flush_releases();
}

void request() { collector_detail::pending = true; }
bool requested() { return collector_detail::pending; }

namespace collector_detail {
void run_pending() { collect(); }
}  // namespace collector_detail

#ifdef TAV_TORTURE_SWITCH
uint32_t collector_detail::torture_points = 0;
bool torture = [] {
  const char* v = std::getenv("TAV_TORTURE");
  return v && *v && std::strcmp(v, "0") != 0;
}();
#endif

// --- marking for the callbacks ----------------------------------------------------------

bool mark_series(NodeId n) {
  if (!collector_detail::collecting) return false;
  bool fresh = collector_detail::mark_node(n);
  collector_detail::drain();
  return fresh;
}

void unmark_series(NodeId n) {
  if (is_live_node(n)) node_table[n]->flags &= ~BUF_MARKED;
}

bool is_marked(NodeId n) { return is_live_node(n) && (node_table[n]->flags & BUF_MARKED) != 0; }

void mark_block_node(NodeId n) { mark_series(n); }
void mark_block(const Cell* block) { mark_series(block->data2); }
void mark_context(NodeId ctx) { mark_series(ctx); }

void mark_cells(const Cell* first, const Cell* end) {
  if (!collector_detail::collecting) return;
  for (const Cell* c = first; c < end; c++) collector_detail::scan_cell(c);
  collector_detail::drain();
}

void mark_value(const Cell* v) { mark_cells(v, v + 1); }

}  // namespace tav::collector
