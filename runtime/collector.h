// The garbage collector: precise roots, explicit mark stack, compaction of series frames.
#pragma once
#include <cstdint>
#include "cell.h"

namespace tav::collector {

// Automatic collections run only while this is set (recycle/on, recycle/off).
extern bool enabled;

using Marker = void (*)();

void init();
void collect();
void collect_if_enabled();
bool active();
uint32_t cycle_count();
void add_marker(Marker m);
void remove_marker(Marker m);
// Queues a node whose buffer died; released in sorted batches.
void queue_node_release(NodeId n);

}  // namespace tav::collector
