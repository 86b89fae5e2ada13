// Text to integer, float, tuple and money, read straight from a string's storage.
//
// The `to` actions of the scalar types call these instead of running the lexer. They read
// code units of 1, 2 or 4 bytes (a string's own storage; UTF-8 bytes work as unit 1) and
// report failure through an error word instead of raising, so the caller raises its own
// conversion error. The error word is left untouched on success, and the result cell is
// only written on success.
#pragma once
#include <cstddef>
#include <cstdint>
#include "core/cell.h"

namespace tav {
namespace lexer {

constexpr int CONVERT_MALFORMED = -1;
constexpr int CONVERT_OVERFLOW = -2;

// The lexer's float syntax check: sign, digits with "'" separators, fraction, exponent.
// Texts longer than 312 bytes are refused.
bool float_syntax(const char* text, size_t length);

// Optional sign, then decimal digits; "'" is skipped anywhere. 32-bit overflow gives 0 and
// CONVERT_OVERFLOW; the lowest integer itself is accepted.
template <typename Unit>
int32_t string_to_integer(const Unit* first, size_t count, int* error);

// Float text with "," accepted as the decimal mark and "'" separators; NaN and
// CONVERT_MALFORMED on failure.
template <typename Unit>
double string_to_float(const Unit* first, size_t count, int* error);

// Three to twelve components of 0 to 255 separated by single dots.
template <typename Unit>
Cell* string_to_tuple(const Unit* first, size_t count, Cell* result, int* error);

// The parts of a money text, normalised: integer digits without leading zeros or
// separators (at most the 17 a money value holds), up to 5 fraction digits (further ones
// are checked and dropped), and the currency code as written ("" when absent).
struct MoneyText {
  bool negative;
  char currency[4];
  char integer_digits[18];
  int integer_count;
  char fraction_digits[6];
  int fraction_count;
};

// Builds the money value from parsed parts; false when the currency code is unknown. The
// money datatype supplies it, since the currency list lives there.
using MoneyMaker = bool (*)(Cell* result, const MoneyText& parts);

template <typename Unit>
Cell* string_to_money(const Unit* first, size_t count, Cell* result, MoneyMaker make,
                      int* error);

// The same, dispatched on the unit size in bytes (1, 2 or 4) of a string's storage.
int32_t string_to_integer(const void* first, size_t count, int unit, int* error);
double string_to_float(const void* first, size_t count, int unit, int* error);
Cell* string_to_tuple(const void* first, size_t count, int unit, Cell* result, int* error);
Cell* string_to_money(const void* first, size_t count, int unit, Cell* result, MoneyMaker make,
                      int* error);

}  // namespace lexer
}  // namespace tav
