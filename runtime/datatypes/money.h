// money!: an exact decimal amount with an optional currency, held as packed BCD digits in
// one cell: 17 digits before the decimal point and 5 after it, so amounts never suffer
// binary rounding.
//
// Header bit 14 is the sign (set = negative). Byte 4 of the cell (the low byte of data1) is
// the currency index: 0 for none, else the 1-based position of the code in the currency
// list. Bytes 5-15 hold 22 BCD digits, most significant first, high nibble first.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav {
namespace lexer { struct MoneyText; }

namespace money {

constexpr uint32_t SIGN_BIT = 1u << 14;
constexpr int DIGITS = 22;
constexpr int INTEGER_DIGITS = 17;
constexpr int FRACTION_DIGITS = 5;
constexpr int DIGIT_BYTES = 11;

// Fraction digits that form shows (system/options/money-digits); mold/all shows all 5.
extern int form_digits;

// The currency list: 1-based indexes; 0 is no currency.
int currency_count();
const char* currency_code(int index);
// The index of a 3-letter code (compared without regard to case), or -1.
int currency_index(const char* code, int length);
int currency_index(const Cell* word);
// Appends a 3-letter code (stored uppercased); false when it is not 3 letters, already
// listed, or the list is full.
bool add_currency(const char* code);

// Makes the cell a money! from the digits between digits and end ("'" skipped), the last
// integer digit landing on digit 17; fraction digits beyond 5 are dropped. point is the
// decimal mark's position or null; code a 3-letter currency code or null. Returns null when
// the currency code is not in the list.
Cell* make_from_parts(Cell* c, bool negative, const char* code, const char* digits,
                      const char* point, const char* end);
// The converters' and the lexer's maker.
bool make_from_text(Cell* c, const lexer::MoneyText& parts);
Cell* make_at(Cell* c, bool negative, int currency, const uint8_t* digit_bytes);
Cell* push(bool negative, int currency, const uint8_t* digit_bytes);
Cell* push_from_integer(int32_t value);
// Raises bad-make-arg for a float money cannot hold (and, with strict, for one with more
// than 5 fraction digits); otherwise fraction digits beyond 5 are dropped.
Cell* push_from_float(double value, bool strict);
Cell* make_from_float(Cell* c, double value, bool strict);
int32_t to_integer(const Cell* m);
double to_float(const Cell* m);

// Every digit 0 to 9 and the currency index 0 or in the list: what a money! read from
// outside (a binary stream) must be before it is used.
bool well_formed(const Cell* m);
bool zero(const Cell* m);
int sign(const Cell* m);
inline bool sign_bit(const Cell* m) { return (m->header & SIGN_BIT) != 0; }
inline bool negative(const Cell* m) { return sign(m) < 0; }
inline bool positive(const Cell* m) { return sign(m) > 0; }
void set_sign_bit(Cell* m, bool negative);
inline int currency_of(const Cell* m) { return static_cast<int>(m->data1 & 0xFF); }
void set_currency(Cell* m, int index);

// Arithmetic on the running call's two arguments (left at the argument base): op 0 add,
// 1 subtract, 2 multiply, 3 divide, 4 remainder. The result is left in the result slot.
Cell* do_math_op(int op);

void init();

}  // namespace money
}  // namespace tav
