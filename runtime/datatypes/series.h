// series!: the parent row of every series type, and the accessors all series code shares.
//
// A series cell holds a head index (signed, in units) and a buffer node; the index may lie
// past the tail when another value on the same buffer removed units, so every reader clamps
// it as its operation says. Handlers here work on any unit size: 1, 2 or 4 bytes for text and
// binary data, 1 to 8 for vector elements, 16 for value cells.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/memory.h"
#include "core/types.h"

namespace tav::series {

// log2 of the unit size: 0, 1, 2, 3 (vectors of 64-bit numbers) or 4.
inline uint32_t unit_shift(const SeriesBuffer* b) {
  uint32_t u = b->flags & BUF_UNIT_MASK;
  return u >= 16 ? 4 : u >= 8 ? 3 : (u >= 4 ? 2 : (u >= 2 ? 1 : 0));
}
inline int32_t index_of(const Cell* v) { return static_cast<int32_t>(v->data1); }
inline void set_index(Cell* v, int32_t i) { v->data1 = static_cast<uint32_t>(i); }

// Units in the whole buffer.
int32_t buffer_length(const Cell* v);
// True when the index is at or past the tail.
bool at_tail(const Cell* v);
// Moves the index n units forward unless that passes the tail; answers whether the requested
// position is at or past the tail.
bool skip(Cell* v, int32_t n);
// Units from the index (from the head with whole) to the tail. A negative index counts as 0;
// an index past the tail is pulled back to the tail (written into the cell) and gives 0.
int32_t length(Cell* v, bool whole);
// The index `at` (at set) or `skip` reaches, clamped to [0, buffer length].
int32_t offset_index(const Cell* v, int32_t n, bool at);
// The index clamped to [0, buffer length] and written back.
int32_t clamp_index(Cell* v);
// The address of unit i counted from the buffer head (no check).
inline uint8_t* unit_at(const Cell* v, int32_t i) {
  SeriesBuffer* b = cell_buffer(v);
  return b->head_ptr() + (static_cast<size_t>(i) << unit_shift(b));
}
// The unit count a /part argument gives from v's index: an integer!, or a series of v's own
// type on v's buffer (the difference of the indexes). Anything else raises invalid-refine-arg.
int32_t part_count(const Cell* v, const Cell* part);
// A new series value of v's type holding count units of v's buffer from unit `from`; the
// result cell is written (index 0, v's third word) and returned.
Cell* copy_units(const Cell* v, int32_t from, int32_t count, Cell* result);

}  // namespace tav::series

// The series! action handlers (also inherited by block!, string! and the other series).
namespace tav::series_action {
Cell* head();
Cell* tail();
Cell* head_q();
Cell* tail_q();
Cell* index_q();
Cell* next();
Cell* back();
Cell* at();
Cell* skip();
int length_q(Cell* series);
Cell* pick(Cell* series, int index, Cell* boxed);
Cell* poke(Cell* series, int index, Cell* data, Cell* boxed);
Cell* clear(Cell* series);
Cell* remove(Cell* series, Cell* part, Cell* key);
Cell* reverse(Cell* series, Cell* part, Cell* skip);
Cell* random(Cell* series, bool seed, bool secure, bool only);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* move(Cell* origin, Cell* target, Cell* part);
}  // namespace tav::series_action

namespace tav::series_type {
// Registers series! (no parent). Must run before every series type registers.
void init();
}  // namespace tav::series_type
