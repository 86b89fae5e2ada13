// pair!: a two-dimensional integer coordinate or size, written 10x20. Arithmetic that cannot
// stay exact in integers (overflow, a division that leaves a remainder, a float factor) gives
// the pair's floating-point sibling, point2D!.
//
// The cell keeps x in the second payload word and y in the third; the first is unused.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav {

namespace pair {

inline int32_t x_of(const Cell* c) { return static_cast<int32_t>(c->data2); }
inline int32_t y_of(const Cell* c) { return static_cast<int32_t>(c->data3); }
// Makes the cell a pair (other header bits kept).
Cell* make_at(Cell* c, int32_t x, int32_t y);
Cell* append_to_block(const Cell* block, int32_t x, int32_t y);
Cell* push(int32_t x, int32_t y);
// 1 for the word x, 2 for y. Another word raises cannot-use (the word, the pair) when value
// is a pair, invalid-path (value, word) otherwise.
int field_index(const Cell* word, const Cell* value);
// Pair arithmetic on the running call's two arguments, the pair first: 0 add, 1 subtract,
// 2 multiply, 3 divide, 4 remainder, 5 or, 6 and, 7 xor. The result replaces the pair.
Cell* do_math_op(int op);
void init();

}  // namespace pair

// What pair!, tuple! and the points share: they are scalars held in a cell, changed in
// place by a path set, and made from text by scanning one value.
namespace compound {

// The one value a string scans to, which must be of the target type; anything else (other
// values, a malformed text) raises bad-to-arg with the target and the spec value.
Cell scan_one(Cell* spec, TypeId target);

// After a path set changed a scalar in place: an object! that holds it fires its on-change*
// with the field word, the scalar before and after the change; a series that holds it tells
// its owner (set-path, the new value, the component index, part 1).
void notify_set(Cell* holder, Cell* field, Cell* before, Cell* after, Cell* value,
                int32_t index);

}  // namespace compound

}  // namespace tav
