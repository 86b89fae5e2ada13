// integer!: the 32-bit signed whole number. Its arithmetic never wraps: add, subtract,
// multiply and power that overflow give a float!, an inexact division gives a float!, and
// what cannot become a float (negate or absolute of the lowest integer, its quotient or
// remainder by -1, rounding past the range) raises math overflow.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/number_text.h"   // integer::to_decimal

namespace tav::integer {

Cell* push(int32_t value);
Cell* set_result(int32_t value);
Cell* make_at(Cell* c, int32_t value);   // type byte := integer!, other header bits kept
Cell* append_to_block(const Cell* block, int32_t value);
inline int32_t get(const Cell* c) { return c->int_value(); }
int32_t get_result();
int32_t result_or_zero();
inline int sign(int32_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
// Raises math overflow for the lowest integer.
int32_t absolute(int32_t v);
bool float_out_of_range(const Cell* float_cell);

// The sum, difference or product (op 0, 1, 2) of two integers into *out: an integer!, or the
// float! of the exact result when it does not fit. The one rule for it, whichever road
// computes it.
[[gnu::always_inline]] inline void add_sub_mul(int op, int32_t a, int32_t b, Cell* out) {
  int32_t r;
  bool over = op == 0   ? __builtin_add_overflow(a, b, &r)
              : op == 1 ? __builtin_sub_overflow(a, b, &r)
                        : __builtin_mul_overflow(a, b, &r);
  if (over) set_float(out, op == 0 ? double(a) + b : op == 1 ? double(a) - b : double(a) * b);
  else *out = make_cell(TYPE_INTEGER, 0, static_cast<uint32_t>(r));
}

// The arithmetic core: op 0 add, 1 subtract, 2 multiply, 3 divide, 4 remainder, 5 or, 6 and,
// 7 xor. With a result cell, an overflowing add, subtract or multiply or an inexact divide
// turns it into a float! (and 0 is returned); otherwise its value becomes the result.
int32_t do_math(int32_t left, int32_t right, int op, Cell* result);
// The action-level dispatcher on the running call's two arguments (left at the argument
// base); the result is left in the result slot.
Cell* do_math_op(int op);

void init();

}  // namespace tav::integer
