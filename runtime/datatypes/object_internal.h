// What the object! pieces share: the field accessors and the event record's cells. The
// datatype and its actions live in object.cpp, building and extending in object_build.cpp,
// mold and form in object_mold.cpp, change handlers in object_events.cpp. Internal to the
// datatypes.
#pragma once
#include <cstdint>

#include "core/context.h"
#include "datatypes/object.h"
#include "core/symbols.h"

namespace tav::object::object_detail {

inline Cell* values(NodeId ctx) { return node_buffer(context::values_of(ctx))->cells(); }
inline uint32_t count(NodeId ctx) { return context::word_count(ctx); }

inline Cell* event_cell(NodeId events, int which) { return node_buffer(events)->cells() + which; }
inline int32_t handler_index(const Cell* c) { return static_cast<int32_t>(c->data1) >> 16; }

// The prototype's series values copied again for the new context (object_build.cpp).
void clone_values(NodeId ctx);

}  // namespace tav::object::object_detail
