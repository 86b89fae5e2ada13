// bitset!: a set of non-negative integers (character codes in practice) kept as a bit array in
// a byte series. Number n is bit 0x80 >> (n & 7) of byte n >> 3. A complemented set (made
// with `not` at the head of its spec) carries a flag in its buffer: every number beyond the
// stored bytes is then a member.
//
// The cell: header (type 30), index word 0, the byte series' node.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/memory.h"

namespace tav::bitset {

constexpr uint32_t COMPLEMENT = 0x80000;   // in the byte series' flags

// What a walk over a spec does with each number it names.
enum Operation : int { MEASURE = 0, SET = 1, TEST = 2, CLEAR = 3 };
// Which error a value that names no number raises: make's, to's, or any other action's.
enum SpecMode : int { MODE_MAKE = 0, MODE_TO = 1, MODE_OTHER = 2 };

inline uint32_t byte_size(const Cell* bits) { return cell_buffer(bits)->used(); }
inline uint8_t* data_pointer(const Cell* bits) { return cell_buffer(bits)->head_ptr(); }
inline bool complemented(const Cell* bits) {
  return (cell_buffer(bits)->flags & COMPLEMENT) != 0;
}

// Membership of one number (the complement flag beyond the stored bytes).
bool has(const Cell* bits, uint32_t n);

// The same test for many numbers in a row: the bytes are read once, so a loop over text does
// no lookup per character. Stale once anything allocates.
struct Members {
  const uint8_t* bytes;
  uint32_t size;
  bool complement;
  explicit Members(const Cell* bits)
      : bytes(data_pointer(bits)), size(byte_size(bits)), complement(complemented(bits)) {}
  bool has(uint32_t n) const {
    uint32_t byte = n >> 3;
    return byte < size ? (bytes[byte] & (0x80u >> (n & 7))) != 0 : complement;
  }
};

// Makes the cell a bitset of `bytes` bytes filled with `fill`, flagged as asked.
Cell* make_at(Cell* cell, uint32_t bytes, uint8_t fill, bool complement);
// Extends the array to hold bit n: new bytes are 255 in a complemented set, else 0.
void grow_to(Cell* bits, uint32_t n);
// Whether bit n lies inside the stored bytes.
inline bool byte_address(const Cell* bits, uint32_t n) { return (n >> 3) < byte_size(bits); }
void invert_bytes(uint8_t* address, uint32_t count);

// Applies an operation to every number low..high. TEST answers whether all are members.
bool process_range(Cell* bits, uint32_t low, uint32_t high, Operation op);
// Walks a spec (char!, integer!, float!, string!, block! of those and of ranges) with an
// operation. MEASURE answers the highest number named (-1 for none); TEST answers 1 when
// every named number is a member, else 0; SET and CLEAR answer 0.
int64_t process(const Cell* spec, Cell* bits, Operation op, SpecMode mode);

// Set operation on the running call's two arguments (the base and the cell above it); the
// result goes to the base. Codes: 5 or~, 6 and~, 7 xor~, 8 unique, 9 union, 10 intersect,
// 11 exclude, 12 difference.
Cell* do_set_op(int op);
// Pushes a copy of the bitset (its own array).
Cell* push(const Cell* bits);

// Handlers.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* complement(Cell* value);

void init();

}  // namespace tav::bitset
