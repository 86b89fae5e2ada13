// float! and percent!: 64-bit binary floating point, shown as a number or as a percentage.
// float.cpp also holds what every numeric type shares: the float arithmetic dispatcher that
// integer! and time! hand floating operands to, the comparison with its tolerance, round,
// and the text forming of floats used by every numeric form.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav {

namespace float_ {

constexpr double EPSILON = 2.220446049250313e-16;
// The bias that makes truncation round to nearest for non-negative values.
constexpr double ROUNDING_BIAS = 0.49999999999999994;

// Form drops the noise digits of results such as 0.1 + 0.2 while this is on
// (system/options/float/pretty?). full_support mirrors system/options/float/full?.
extern bool pretty_print;
extern bool full_support;

// Truncates x + ROUNDING_BIAS toward zero, saturating at the 32-bit limits (NaN gives 0).
int32_t round_to_int(double x);
double abs(double x);
inline double get(const Cell* c) { return c->float_value(); }
Cell* set_result(double d);
Cell* make_at(Cell* c, double d);   // type byte := float!, other header bits kept
Cell* push(double d);
Cell* push_halves(uint32_t high, uint32_t low);
Cell* append_to_block(const Cell* block, uint32_t high, uint32_t low);
bool is_nan(double d);
bool is_nan32(float f);
bool is_special(double d);   // an infinity or a NaN

// What a text is for: the digits and suffix differ.
enum TextKind : int {
  KIND_FLOAT32 = 0, KIND_FLOAT = 1, KIND_PERCENT32 = 2, KIND_PERCENT = 3, KIND_TIME = 4,
  KIND_POINT = 5,
};
struct Text {
  char text[48];
  int length;
  const char* c_str() const { return text; }
};
// The form text of a value; percents pass the value already multiplied by 100.
Text to_text(double x, int kind);

// Float-family arithmetic on the two arguments of the running call (left at the argument
// base, right in the next cell): 0 add, 1 subtract, 2 multiply, 3 divide, 4 remainder.
// The result is left in the result slot.
Cell* do_math_op(int op);

bool near_equal(double a, double b);
bool near_equal32(float a, float b);
// The compare handler's answer for two numbers under a comparison op (op 9 compares bits).
int compare_numbers(double a, double b, int op);

// The round action of float! and percent!; integer! and time! hand their rounding here.
Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling);
// The power action: the base in the result slot, the exponent in the next cell.
Cell* power();

void init();

}  // namespace float_

namespace percent {
Cell* make_at(Cell* c, double d);
Cell* push(double d);
Cell* push_halves(uint32_t high, uint32_t low);
Cell* append_to_block(const Cell* block, uint32_t high, uint32_t low);
void init();
}  // namespace percent

// Shared by the scalar datatypes: the errors that name the running call, and handing an
// operation to another type's action.
namespace numeric {
// The word of the innermost call, for messages that name the function.
Cell running_call_word();
// expect-arg: the running call does not allow arg's datatype for its argument arg_name.
[[noreturn]] void raise_expect_arg(const Cell* arg, const char* arg_name);
// not-related: word (an action's name) and the datatype t.
[[noreturn]] void raise_not_related(const Cell* word, TypeId t);
[[noreturn]] void raise_math(const char* id);
// invalid-type with the value's datatype.
[[noreturn]] void raise_invalid_type(const Cell* value);
// bad-to-arg with the target datatype and the spec value.
[[noreturn]] void raise_bad_to(TypeId target, const Cell* spec);
// The action of an arithmetic op code (0 add ... 7 xor).
int math_action(int op);
// Calls type t's handler of the op's action on the running call's arguments; a type that
// does not do that arithmetic raises invalid-type with t.
Cell* forward_math(TypeId t, int op);
// Swaps the running call's two arguments in place.
void swap_arguments();
// The bytes of a binary! from its index: a copy of at most max of them.
int binary_bytes(const Cell* bin, uint8_t* out, int max);
// The pointer to a string's characters at its index, their unit and count.
const void* string_units(Cell* str, int* unit, uint32_t* count);
}  // namespace numeric

}  // namespace tav
