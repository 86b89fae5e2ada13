#include "core/memory.h"
#include "routines.h"

namespace tav::routines {

Status count_chars(const int32_t*) {
  const Cell* start = arg(0);
  const Cell* pos = arg(1);
  // Positions in another buffer have nothing between them; both are held to the tail.
  if (start->node() != pos->node()) return done_integer(0);
  SeriesBuffer* b = node_buffer(start->node());
  uint32_t end = b->count();
  uint32_t to = pos->index() < end ? pos->index() : end;
  const uint8_t* bytes = b->head_ptr();
  int32_t n = 0;
  for (uint32_t i = start->index(); i < to; ++n) {
    uint8_t lead = bytes[i];
    i += lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  }
  return done_integer(n);
}

}  // namespace tav::routines
