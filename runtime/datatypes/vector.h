// vector!: a packed series of numbers of one element type (char!, integer!, float! or
// percent!) and one element size, with element-wise arithmetic.
//
// The cell: header (type 35), head index in elements, buffer node, element type id. The
// element size in bytes (1, 2, 4 or 8) is the buffer's unit, so the series machinery that
// works in units serves a vector as it is. char! and integer! elements are signed integers of
// 1, 2 or 4 bytes; float! elements 32- or 64-bit floats; percent! elements 64-bit floats.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/memory.h"

namespace tav::vector {

inline TypeId element_type(const Cell* v) { return static_cast<TypeId>(v->data3); }
inline uint32_t element_size(const Cell* v) { return cell_buffer(v)->unit(); }
inline bool is_float_kind(TypeId t) { return t == TYPE_FLOAT || t == TYPE_PERCENT; }

// Makes the cell an empty vector with room for capacity elements (0 counts as 1); a byte
// size beyond 32 bits raises internal no-memory.
Cell* make_at(Cell* out, uint32_t capacity, TypeId type, uint32_t size);
// Elements from the (clamped) index to the tail.
uint32_t length(const Cell* v);

// Signed read of 1, 2 or 4 bytes; 32-bit float (size 4) or double.
int32_t get_integer(const uint8_t* p, uint32_t size);
double get_float(const uint8_t* p, uint32_t size);
// Writes the element at p as a value of the element type into out.
Cell* element_value(Cell* out, const uint8_t* p, uint32_t size, TypeId type);
// Stores an integer!/char! (its low bits) or a float!/percent! (as a float or double); any
// other type raises script invalid-type with its type.
void set_element(uint8_t* p, const Cell* value, uint32_t size);
// Raises script invalid-arg unless the value's kind (whole number or floating) is the
// vector's; values of neither kind raise invalid-type.
void check_kind(const Cell* v, const Cell* value);
// Raises script invalid-arg unless the value has exactly the element type.
void check_type(const Cell* v, const Cell* value);

// Pushes element pos (counted from the buffer head) as a value; stores one there.
Cell* push_element(const Cell* v, uint32_t pos);
void poke_element(const Cell* v, uint32_t pos, const Cell* value);

// The actions that compare elements as numbers (vector_search.cpp).
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable);

// Makes the cell a new block of the elements from the index, as values of the element type.
Cell* to_block(const Cell* v, Cell* out);

void init();

}  // namespace tav::vector
