#include "scanner/converters.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/number_text.h"

namespace tav {

namespace converters_detail {

// Character classes and transitions of the float syntax check. Columns: other, sign,
// digit, e, ., ', end. A state whose end column is 10 does not accept.
constexpr uint8_t FLOAT_SYNTAX_TABLE[11][7] = {
    {10, 0, 1, 10, 4, 10, 10},    {10, 10, 1, 6, 5, 2, 9},      {10, 10, 1, 10, 10, 10, 9},
    {10, 10, 3, 6, 10, 4, 9},     {10, 10, 3, 10, 10, 10, 9},   {10, 10, 3, 10, 10, 10, 9},
    {10, 7, 8, 10, 10, 10, 10},   {10, 10, 8, 10, 10, 10, 10},  {10, 10, 8, 10, 10, 10, 9},
    {9, 9, 9, 9, 9, 9, 9},        {10, 10, 10, 10, 10, 10, 10},
};

int float_syntax_class(unsigned char c) {
  switch (c) {
    case '+': case '-': return 1;
    case 'e': case 'E': return 3;
    case '.': return 4;
    case '\'': return 5;
    default: return c >= '0' && c <= '9' ? 2 : 0;
  }
}

// A code unit as an ASCII byte; anything beyond ASCII becomes a byte no converter accepts,
// so a wide character never aliases a digit through truncation.
template <typename Unit>
unsigned char ascii_of(Unit u) {
  uint32_t v = static_cast<uint32_t>(u);
  return v < 0x80 ? static_cast<unsigned char>(v) : 0x01;
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_letter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

constexpr size_t FLOAT_TEXT_LIMIT = 313;

}  // namespace converters_detail

namespace lexer {

bool float_syntax(const char* text, size_t length) {
  if (length > 312) return false;
  int state = 0;
  for (size_t i = 0; i < length; ++i)
    state = converters_detail::FLOAT_SYNTAX_TABLE[state][converters_detail::float_syntax_class(
        static_cast<unsigned char>(text[i]))];
  return converters_detail::FLOAT_SYNTAX_TABLE[state][6] != 10;
}

template <typename Unit>
int32_t string_to_integer(const Unit* first, size_t count, int* error) {
  using converters_detail::ascii_of;
  size_t i = 0;
  bool negative = false;
  if (count > 0 && (ascii_of(first[0]) == '+' || ascii_of(first[0]) == '-')) {
    negative = ascii_of(first[0]) == '-';
    i = 1;
  }
  // The magnitude may reach 2147483648 only for a negative number.
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  uint64_t magnitude = 0;
  bool any_digit = false;
  for (; i < count; ++i) {
    unsigned char c = ascii_of(first[i]);
    if (c == '\'') continue;
    if (!converters_detail::is_digit(c)) {
      *error = CONVERT_MALFORMED;
      return 0;
    }
    any_digit = true;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) {
      *error = CONVERT_OVERFLOW;
      return 0;
    }
  }
  if (!any_digit) {
    *error = CONVERT_MALFORMED;
    return 0;
  }
  return negative ? static_cast<int32_t>(0 - magnitude) : static_cast<int32_t>(magnitude);
}

template <typename Unit>
double string_to_float(const Unit* first, size_t count, int* error) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (count >= converters_detail::FLOAT_TEXT_LIMIT) {
    *error = CONVERT_MALFORMED;
    return nan;
  }
  char text[converters_detail::FLOAT_TEXT_LIMIT] = {};
  for (size_t i = 0; i < count; ++i) {
    unsigned char c = converters_detail::ascii_of(first[i]);
    text[i] = static_cast<char>(c == ',' ? '.' : c);
  }
  if (!float_syntax(text, count)) {
    *error = CONVERT_MALFORMED;
    return nan;
  }
  size_t n = 0;
  for (size_t i = 0; i < count; ++i)
    if (text[i] != '\'') text[n++] = text[i];
  int left = 0;
  double value = number::text_to_float(text, text + n, 0, &left);
  if (left != 0) {
    *error = CONVERT_MALFORMED;
    return nan;
  }
  return value;
}

template <typename Unit>
Cell* string_to_tuple(const Unit* first, size_t count, Cell* result, int* error) {
  uint8_t bytes[12] = {};
  int components = 0;
  size_t i = 0;
  while (true) {
    // One component: at least one digit, value at most 255.
    uint32_t value = 0;
    size_t start = i;
    for (; i < count && converters_detail::is_digit(converters_detail::ascii_of(first[i])); ++i) {
      value = value * 10 + (converters_detail::ascii_of(first[i]) - '0');
      if (value > 255) {
        *error = CONVERT_MALFORMED;
        return result;
      }
    }
    if (i == start || components == 12) {
      *error = CONVERT_MALFORMED;
      return result;
    }
    bytes[components++] = static_cast<uint8_t>(value);
    if (i == count) break;
    if (converters_detail::ascii_of(first[i]) != '.') {
      *error = CONVERT_MALFORMED;
      return result;
    }
    ++i;
  }
  if (components < 3) {
    *error = CONVERT_MALFORMED;
    return result;
  }
  Cell c = make_cell(TYPE_TUPLE);
  c.header |= static_cast<uint32_t>(components) << 19;
  std::memcpy(&c.data1, bytes, 4);
  std::memcpy(&c.data2, bytes + 4, 4);
  std::memcpy(&c.data3, bytes + 8, 4);
  *result = c;
  return result;
}

template <typename Unit>
Cell* string_to_money(const Unit* first, size_t count, Cell* result, MoneyMaker make,
                      int* error) {
  using converters_detail::ascii_of;
  using converters_detail::is_digit;
  MoneyText parts{};
  size_t i = 0;
  auto fail = [&]() {
    *error = CONVERT_MALFORMED;
    return result;
  };
  if (i < count && (ascii_of(first[i]) == '+' || ascii_of(first[i]) == '-'))
    parts.negative = ascii_of(first[i++]) == '-';
  if (i < count && converters_detail::is_letter(ascii_of(first[i]))) {
    // A currency code: three letters, "$", and at least one character after it.
    if (count - i < 5) return fail();
    for (int k = 0; k < 3; ++k) {
      unsigned char c = ascii_of(first[i + k]);
      if (!converters_detail::is_letter(c)) return fail();
      parts.currency[k] = static_cast<char>(c);
    }
    i += 3;
    if (ascii_of(first[i]) != '$') return fail();
    ++i;
  } else if (i < count && ascii_of(first[i]) == '$') {
    ++i;
  }
  if (i == count) return fail();

  bool in_fraction = false;
  for (size_t k = i; k < count; ++k) {
    unsigned char c = ascii_of(first[k]);
    bool digit_before = k > i && is_digit(ascii_of(first[k - 1]));
    bool digit_after = k + 1 < count && is_digit(ascii_of(first[k + 1]));
    if (is_digit(c)) {
      if (in_fraction) {
        if (parts.fraction_count < 5) parts.fraction_digits[parts.fraction_count++] = static_cast<char>(c);
      } else if (parts.integer_count > 0 || c != '0') {
        // A money value holds 17 integer digits; more cannot be represented.
        if (parts.integer_count == 17) return fail();
        parts.integer_digits[parts.integer_count++] = static_cast<char>(c);
      }
    } else if (c == '\'') {
      if (in_fraction || !digit_before || !digit_after) return fail();
    } else if (c == '.') {
      if (in_fraction || !digit_before || !digit_after) return fail();
      in_fraction = true;
    } else {
      return fail();
    }
  }
  if (!make(result, parts)) return fail();
  return result;
}

#define TAV_CONVERTERS_INSTANTIATE(Unit)                                                      \
  template int32_t string_to_integer<Unit>(const Unit*, size_t, int*);                       \
  template double string_to_float<Unit>(const Unit*, size_t, int*);                          \
  template Cell* string_to_tuple<Unit>(const Unit*, size_t, Cell*, int*);                    \
  template Cell* string_to_money<Unit>(const Unit*, size_t, Cell*, MoneyMaker, int*);
TAV_CONVERTERS_INSTANTIATE(uint8_t)
TAV_CONVERTERS_INSTANTIATE(uint16_t)
TAV_CONVERTERS_INSTANTIATE(uint32_t)
#undef TAV_CONVERTERS_INSTANTIATE

int32_t string_to_integer(const void* first, size_t count, int unit, int* error) {
  switch (unit) {
    case 1: return string_to_integer(static_cast<const uint8_t*>(first), count, error);
    case 2: return string_to_integer(static_cast<const uint16_t*>(first), count, error);
    default: return string_to_integer(static_cast<const uint32_t*>(first), count, error);
  }
}

double string_to_float(const void* first, size_t count, int unit, int* error) {
  switch (unit) {
    case 1: return string_to_float(static_cast<const uint8_t*>(first), count, error);
    case 2: return string_to_float(static_cast<const uint16_t*>(first), count, error);
    default: return string_to_float(static_cast<const uint32_t*>(first), count, error);
  }
}

Cell* string_to_tuple(const void* first, size_t count, int unit, Cell* result, int* error) {
  switch (unit) {
    case 1: return string_to_tuple(static_cast<const uint8_t*>(first), count, result, error);
    case 2: return string_to_tuple(static_cast<const uint16_t*>(first), count, result, error);
    default: return string_to_tuple(static_cast<const uint32_t*>(first), count, result, error);
  }
}

Cell* string_to_money(const void* first, size_t count, int unit, Cell* result, MoneyMaker make,
                      int* error) {
  switch (unit) {
    case 1: return string_to_money(static_cast<const uint8_t*>(first), count, result, make, error);
    case 2: return string_to_money(static_cast<const uint16_t*>(first), count, result, make, error);
    default: return string_to_money(static_cast<const uint32_t*>(first), count, result, make, error);
  }
}

}  // namespace lexer
}  // namespace tav
