// Numbers to decimal text and back, independent of the C locale.
//
// The GUI toolkit switches the process to the user's locale, where printf and strtod may
// use "," as the decimal mark; everything here goes through std::to_chars/from_chars, which
// never look at the locale. Results are returned by value in small fixed buffers, so two
// conversions never overwrite each other's text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tav {

namespace number {

// decpt values that mark the special texts instead of digits.
constexpr int DECPT_SPECIAL = 9999;   // "1.#INF", "-1.#INF", "1.#NaN"
constexpr int DECPT_ZERO = 9998;      // "0.0", "-0.0", "0", "-0"

// Decimal digits of a double: the value is 0.d1d2...dn x 10^decpt. For infinities, NaN and
// zeros, text holds the finished special text and decpt is one of the markers above.
struct Digits {
  char text[32];
  int count;       // characters in text
  int decpt;
  bool negative;   // the sign bit was set (also for -0.0 and a negative NaN)
  std::string_view view() const { return {text, static_cast<size_t>(count)}; }
};

// The shortest digits that read back as the same double; with max_digits > 0 the digits
// are also correctly rounded to at most that many (ties to even). Never pads with zeros.
Digits dtoa(double value, int max_digits, bool dot_zero);

struct FloatText {
  char text[40];
  int length;
  std::string_view view() const { return {text, static_cast<size_t>(length)}; }
  const char* c_str() const { return text; }
};

// The language's float text: positional for decimal exponents -7 to 16, d.ddde<n> outside;
// with dot_zero an integral mantissa keeps ".0" (100.0, 1.0e20), without it loses the dot.
FloatText form_float(double value, int max_digits, bool dot_zero);

// Reads an optional sign, digits, an optional fraction and an optional exponent (or the
// special forms such as "1.#INF" and "1.#NaN"), correctly rounded. extra_exponent scales
// the result by that power of ten (percents pass -2). *chars_left receives the number of
// characters not consumed, or -1 when no digit was found: any non-zero value means the
// text is malformed. Overflow gives an infinity of the input's sign, underflow zero.
double text_to_float(const char* start, const char* end, int extra_exponent, int* chars_left);

// Truncates toward zero. False (and *out untouched) for NaN and for values below
// -2147483648.0 or above 2147483647.0; never undefined behaviour.
bool float_to_int32(double value, int32_t* out);

// Folds an angle in degrees into the range the trigonometric natives expect and converts
// it to radians. Mode 0 shifts angles beyond +-90 by 180 toward zero, mode 2 reflects them
// about +-90, other modes leave them.
double angle_to_radians(double degrees, int fold_mode);

}  // namespace number

namespace integer {

// Decimal text of a 32-bit integer ("-2147483648" needs 11 characters).
struct DecimalText {
  char text[12];
  int length;
  std::string_view view() const { return {text, static_cast<size_t>(length)}; }
  const char* c_str() const { return text; }
};

DecimalText to_decimal(int32_t value);

}  // namespace integer

}  // namespace tav
