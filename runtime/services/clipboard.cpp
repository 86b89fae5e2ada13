#include "services/clipboard.h"

#include "core/memory.h"

namespace tav::clipboard {

Hooks hooks;

bool read(Cell* out) { return hooks.read && hooks.read(out); }

bool writable(const Cell* data) {
  TypeId t = data->type();
  if (t == TYPE_STRING || t == TYPE_IMAGE || t == TYPE_NONE) return true;
  if (t != TYPE_BLOCK) return false;
  SeriesBuffer* b = node_buffer(data->node());
  for (uint32_t i = data->index(); i < b->count(); ++i)
    if (!b->cells()[i].is(TYPE_FILE)) return false;
  return true;
}

bool write(const Cell* data) { return hooks.write && hooks.write(data); }

}  // namespace tav::clipboard
