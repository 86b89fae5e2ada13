// The garbage collector: precise roots, explicit mark stack, compaction of series frames.
//
// Roots: the root block, the argument stack up to its top, every call frame's contexts, the
// global context, the cycle stack and the registered marking callbacks. Nothing scans the
// machine stack, so a node that only a C++ local refers to is garbage at the next cycle.
//
// Cycles never start inside an allocation: an allocation that finds no room grows memory and
// requests a collection, which runs at the next safe point (between two expressions), where
// no native holds raw pointers into buffers.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::collector {

// Automatic collections run only while this is set (recycle/on, recycle/off).
extern bool enabled;

using Marker = void (*)();

constexpr uint32_t MAX_MARKERS = 100;

// What the last cycle reclaimed, and the running count of cycles.
struct Stats {
  uint32_t cycles;
  uint32_t nodes_released;    // nodes of dead buffers given back by the last cycle
  uint64_t bytes_reclaimed;   // series-frame bytes freed by compaction and dead big blocks
  uint32_t frames_released;   // series frames left empty and given back
};

void init();
// One full cycle, whether or not automatic collection is enabled (the `recycle` native).
void collect();
// A cycle when automatic collection is enabled. The caller must be at a safe point.
void collect_if_enabled();
bool active();
uint32_t cycle_count();
const Stats& stats();
// Registers a marking callback, run after the fixed roots in registration order. The table
// holds MAX_MARKERS entries; one more raises internal limit-hit.
void add_marker(Marker m);
void remove_marker(Marker m);
// Queues a node whose buffer died; released in sorted batches.
void queue_node_release(NodeId n);

// The allocator's request: a collection should run at the next safe point.
void request();
bool requested();

namespace collector_detail {
extern bool pending;
void run_pending();
}  // namespace collector_detail

// Torture mode collects at every safe point, so a value the interpreter forgot to keep
// reachable is reused at once and the sanitizers see it. Sanitizer builds turn it on with
// TAV_TORTURE=1 in the environment; release builds leave the switch out of the hot path.
//
// A long run of safe points (a loop of thousands of turns, nesting tens of thousands deep)
// walks the same code again and again while each collection costs the whole heap, so the
// run's cost grows with its square. After the first TORTURE_DENSE safe points since
// `torture_restart` (the language tables call it before each line), one safe point in
// TORTURE_STRIDE collects; the stride is prime so that it does not keep meeting the same
// point of a loop's body.
#ifdef TAV_TORTURE_SWITCH
extern bool torture;
namespace collector_detail {
extern uint32_t torture_points;
}
constexpr uint32_t TORTURE_DENSE = 20000;
constexpr uint32_t TORTURE_STRIDE = 97;
inline void torture_restart() { collector_detail::torture_points = 0; }
inline bool torture_due() {
  if (!torture) return false;
  uint32_t n = ++collector_detail::torture_points;
  return n <= TORTURE_DENSE || n % TORTURE_STRIDE == 0;
}
#else
constexpr bool torture = false;
inline void torture_restart() {}
constexpr bool torture_due() { return false; }
#endif

// Called by the interpreter between expressions. Runs a requested collection while automatic
// collection is enabled, or a collection at (nearly) every safe point in torture mode.
inline void safe_point() {
  if ((collector_detail::pending || torture_due()) && enabled) collector_detail::run_pending();
}

// Marking, for the callbacks (valid only while a cycle runs). Each call marks everything
// reachable from what it is given before it returns.
// Marks one node's buffer; true when it was not marked yet. Cell series are scanned too.
bool mark_series(NodeId n);
void unmark_series(NodeId n);
bool is_marked(NodeId n);
void mark_block_node(NodeId n);
void mark_block(const Cell* block);
void mark_context(NodeId ctx);
void mark_cells(const Cell* first, const Cell* end);
void mark_value(const Cell* v);

}  // namespace tav::collector
