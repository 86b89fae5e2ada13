// tuple!: 3 to 12 unsigned bytes written with dots (1.2.3, 255.0.0.128): colours, versions,
// addresses. Arithmetic saturates each byte to 0-255. triple! is a cell of three 32-bit
// integers that only has a text form.
//
// A tuple cell keeps its byte count in header bits 19-22 and the bytes in the 12 bytes of the
// payload words, byte 1 first; bytes past the count are 0.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav {

namespace tuple {

constexpr int MAX_LENGTH = 12;
constexpr int MIN_LENGTH = 3;
constexpr uint32_t LENGTH_SHIFT = 19;
constexpr uint32_t LENGTH_MASK = 0xFu << LENGTH_SHIFT;

inline int length(const Cell* c) { return static_cast<int>((c->header & LENGTH_MASK) >> LENGTH_SHIFT); }
// Copies the 12 payload bytes out of, or into, a tuple cell.
void get_bytes(const Cell* c, uint8_t out[MAX_LENGTH]);
// Makes the cell a tuple of that length and bytes (bytes past the length are cleared).
Cell* set(Cell* c, int length, const uint8_t bytes[MAX_LENGTH]);
Cell* push(int length, uint32_t w1, uint32_t w2, uint32_t w3);
// r.g.b, or r.g.b.a when a is not -1.
Cell* make_rgba(Cell* c, int r, int g, int b, int a);
// The low bytes of the integers, the length count but at least 3.
Cell* push_from_integers(int count, const int32_t* values);
bool zero_q(const Cell* c);
// Byte arithmetic on the running call's two arguments: 0 add, 1 subtract, 2 multiply,
// 3 divide, 4 remainder, 5 or, 6 and, 7 xor. The result replaces the first argument.
Cell* do_math_op(int op);
void init();

}  // namespace tuple

namespace triple {
void init();
}  // namespace triple

}  // namespace tav
