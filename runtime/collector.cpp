#include "collector.h"

#include <vector>

#include "memory.h"

namespace tav::collector {

bool enabled = false;

namespace collector_detail {
uint32_t cycles = 0;
bool collecting = false;
std::vector<Marker> markers;
std::vector<NodeId> release_batch;
}  // namespace collector_detail

void init() {
  collector_detail::cycles = 0;
  collector_detail::markers.clear();
  collector_detail::release_batch.clear();
}

// Marking and compaction come with the collector proper; until then a cycle only counts.
void collect() { collector_detail::cycles++; }

void collect_if_enabled() {
  if (enabled && !collector_detail::collecting) collect();
}

bool active() { return collector_detail::collecting; }
uint32_t cycle_count() { return collector_detail::cycles; }

void add_marker(Marker m) {
  if (collector_detail::markers.size() < 100) collector_detail::markers.push_back(m);
}

void remove_marker(Marker m) {
  for (auto& e : collector_detail::markers)
    if (e == m) e = nullptr;
}

void queue_node_release(NodeId n) {
  collector_detail::release_batch.push_back(n);
}

}  // namespace tav::collector
