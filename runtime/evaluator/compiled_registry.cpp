// The registry of compiled bodies: programs are made on a body's first run, found again
// through the body's buffer, and dropped once their body is gone.
#include <algorithm>

#include "core/collector.h"
#include "compiled.h"
#include "compiled_internal.h"

namespace tav::compiled {

namespace detail {

// Never destroyed: programs stay reachable for as long as the process runs.
Registry* const registry = new Registry;

namespace {

// A program whose body is gone, or was replaced by a grown copy, is dropped.
void prune() {
  Registry& r = *registry;
  for (uint32_t id = 1; id < r.programs.size(); ++id) {
    Program* p = r.programs[id];
    if (!p) continue;
    if (is_live_node(p->body) && node_buffer(p->body)->reserved[0] == id) continue;
    r.programs[id] = nullptr;
    r.free_numbers.push_back(id);
    --r.live;
    retire(p);
  }
}

// Programs are looked over when there are twice as many as after the last look, and after
// every collection, which is when bodies go away.
uint32_t enroll(Program* p) {
  Registry& r = *registry;
  if (r.live >= r.prune_at || r.pruned_after != collector::cycle_count()) {
    prune();
    r.prune_at = std::max<size_t>(64, r.live * 2);
    r.pruned_after = collector::cycle_count();
  }
  uint32_t id;
  if (r.free_numbers.empty()) {
    id = static_cast<uint32_t>(r.programs.size());
    r.programs.push_back(p);
  } else {
    id = r.free_numbers.back();
    r.free_numbers.pop_back();
    r.programs[id] = p;
  }
  ++r.live;
  return id;
}

}  // namespace

void retire(Program* p) {
  if (p->running == 0) delete p;
  else p->retired = true;
}

Program* program_of(const Cell* fn, const Cell* body) {
  SeriesBuffer* b = node_buffer(body->node());
  if (b->reserved[0]) [[likely]] return found_program(fn, body);
  // A body is compiled on its first run. One with nothing to compile is tried again after
  // 2, 4, 8... runs (what its words name may change), and left to the interpreter for good
  // after 65536.
  uint32_t runs = ++b->reserved[1];
  if (runs > 65536 || (runs & (runs - 1)) != 0) return nullptr;
  Program* p = compile(fn, body);
  if (!p) return nullptr;
  p->id = enroll(p);
  node_buffer(body->node())->reserved[0] = p->id;
  return p;
}

}  // namespace detail

size_t program_count() { return detail::registry->live; }

void forget_all() {
  using namespace detail;
  for (Program* p : registry->programs)
    if (p) retire(p);
  *registry = Registry{};
}

}  // namespace tav::compiled
