// Number tokens (integer, float, hex, percent, the special floats, money) and the values made
// of numbers: pairs, tuples and the points a paren with commas becomes.
#include <cctype>
#include <cstring>
#include <limits>

#include "datatypes/money.h"
#include "core/number_text.h"
#include "scanner/converters.h"
#include "scanner/tokens.h"
#include "scanner/tokens_internal.h"
#include "core/types.h"

namespace tav::lexer {

namespace lexer_tokens {

// A decimal text (with "'" separators) to a float; false when it is malformed.
bool text_to_double(const uint8_t* start, const uint8_t* end, int exponent_shift, double* out) {
  if (start == end) return false;
  char text[320] = {};
  size_t n = 0;
  for (const uint8_t* p = start; p < end; ++p) {
    if (n >= 312) return false;
    text[n++] = static_cast<char>(*p);
  }
  if (!float_syntax(text, n)) return false;
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] != '\'') text[kept++] = text[i];
  }
  int left = 0;
  *out = number::text_to_float(text, text + kept, exponent_shift, &left);
  return left == 0;
}

bool load_float(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  double v;
  if (!text_to_double(start, end, 0, &v)) return fail(s, start, end, TYPE_FLOAT);
  if (build) {
    Cell c;
    emit(s, *set_float(&c, v));
  }
  return true;
}

bool load_integer(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                  bool build) {
  const uint8_t* p = start;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  size_t digits = 0;
  int64_t value = 0;
  bool apostrophes = (flags & TOKEN_APOSTROPHE) != 0;
  for (const uint8_t* q = p; q < end; ++q) {
    if (*q == '\'') {
      if (q + 1 < end && q[1] == '\'') return fail(s, start, end, TYPE_INTEGER);
      continue;
    }
    if (*q < '0' || *q > '9') return fail(s, start, end, TYPE_INTEGER);
    ++digits;
    if (value < (int64_t(1) << 40)) value = value * 10 + (*q - '0');
  }
  if (digits == 0) return fail(s, start, end, TYPE_INTEGER);
  // Ten characters besides the sign: counting the sign too would make every negative
  // ten-digit integer (-1000000000) a float while -2147483648 stays an integer.
  bool too_long = apostrophes ? digits > 10 : static_cast<size_t>(end - p) > 10;
  if (negative) value = -value;
  s.type = TYPE_INTEGER;
  if (too_long || value > INT32_MAX || value < INT32_MIN) {
    // Out of 32 bits: the token is a float.
    double v;
    if (!text_to_double(start, end, 0, &v)) return fail(s, start, end, TYPE_INTEGER);
    s.type = TYPE_FLOAT;
    if (build) {
      Cell c;
      emit(s, *set_float(&c, v));
    }
    return true;
  }
  if (build) {
    Cell c;
    emit(s, *set_integer(&c, static_cast<int32_t>(value)));
  }
  return true;
}

bool load_hex(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  size_t n = end - start - 1;   // without the "h"
  bool digit_first = *start >= '0' && *start <= '9';
  if (!digit_first && n < 2) return fail(s, start, end, TYPE_WORD);
  if ((flags & (TOKEN_SIGN | TOKEN_APOSTROPHE)) || n < 2 || n > 8) {
    return fail(s, start, end, TYPE_INTEGER);
  }
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    int h = hex_value(start[i]);
    if (h < 0) return fail(s, start, end, TYPE_INTEGER);
    v = v * 16 + static_cast<uint32_t>(h);
  }
  if (build) {
    Cell c;
    emit(s, *set_integer(&c, static_cast<int32_t>(v)));
  }
  return true;
}

bool load_percent(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  s.position = end + 1;   // the "%"
  double v;
  if (!text_to_double(start, end, -2, &v)) return fail(s, start, end + 1, TYPE_PERCENT);
  if (build) {
    Cell c;
    emit(s, *set_float(&c, v, TYPE_PERCENT));
  }
  return true;
}

bool load_special_float(State& s, const uint8_t* start, const uint8_t* end, uint32_t,
                        bool build) {
  const uint8_t* p = start;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  size_t n = end - p;
  double v;
  if (n == 6 && p[0] == '1' && p[1] == '.' && p[2] == '#' && equal_nocase(p + 3, 3, "nan")) {
    v = std::numeric_limits<double>::quiet_NaN();
  } else if (n == 6 && p[0] == '1' && p[1] == '.' && p[2] == '#' &&
             equal_nocase(p + 3, 3, "inf")) {
    v = negative ? -std::numeric_limits<double>::infinity()
                 : std::numeric_limits<double>::infinity();
  } else {
    return fail(s, start, end, TYPE_FLOAT);
  }
  if (build) {
    Cell c;
    emit(s, *set_float(&c, v));
  }
  return true;
}

bool load_tuple(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  int error = 0;
  Cell c;
  string_to_tuple(start, end - start, 1, &c, &error);
  if (error) return fail(s, start, end, TYPE_TUPLE);
  if (build) emit(s, c);
  return true;
}

// Two integers separated by "x" or "X"; a "." anywhere (a float component) is refused.
bool load_pair(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  int64_t parts[2] = {0, 0};
  const uint8_t* p = start;
  for (int i = 0; i < 2; ++i) {
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const uint8_t* digits = p;
    int64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
      v = v * 10 + (*p++ - '0');
      if (v > int64_t(INT32_MAX) + 1) return fail(s, start, end, TYPE_PAIR);
    }
    if (p == digits) return fail(s, start, end, TYPE_PAIR);
    v = negative ? -v : v;
    if (v > INT32_MAX) return fail(s, start, end, TYPE_PAIR);
    parts[i] = v;
    if (i == 0) {
      if (p >= end || (*p != 'x' && *p != 'X')) return fail(s, start, end, TYPE_PAIR);
      ++p;
    }
  }
  if (p != end) return fail(s, start, end, TYPE_PAIR);
  if (build) {
    Cell c = make_cell(TYPE_PAIR, 0, static_cast<uint32_t>(parts[0]),
                       static_cast<uint32_t>(parts[1]));
    emit(s, c);
  }
  return true;
}

// "$1.50", "-EUR$3'000.25": sign, currency code, "$", digits with "'" separators between
// them, "." or "," as the decimal mark, at most 17 integer digits and 5 decimals.
bool load_money(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  auto bad = [&]() { return fail(s, start, end, TYPE_MONEY); };
  const uint8_t* p = start;
  MoneyText parts{};
  if (p < end && (*p == '+' || *p == '-')) parts.negative = *p++ == '-';
  if (p < end && std::isalpha(*p)) {
    if (end - p < 4) return bad();
    for (int k = 0; k < 3; ++k) {
      if (!std::isalpha(p[k])) return bad();
      parts.currency[k] = static_cast<char>(p[k]);
    }
    p += 3;
  }
  if (p == end || *p != '$') return bad();
  ++p;
  if (p == end || *p < '0' || *p > '9') return bad();
  bool in_fraction = false;
  for (const uint8_t* q = p; q < end; ++q) {
    uint8_t c = *q;
    if (c >= '0' && c <= '9') {
      if (in_fraction) {
        if (parts.fraction_count == 5) return bad();
        parts.fraction_digits[parts.fraction_count++] = static_cast<char>(c);
      } else if (parts.integer_count > 0 || c != '0') {
        if (parts.integer_count == 17) return bad();
        parts.integer_digits[parts.integer_count++] = static_cast<char>(c);
      }
    } else if (c == '\'') {
      if (q + 1 == end || q[1] == '\'' || q[-1] == '\'') return bad();
    } else if ((c == '.' || c == ',') && !in_fraction) {
      in_fraction = true;
    } else {
      return bad();
    }
  }
  Cell c;
  if (!money::make_from_text(&c, parts)) return bad();
  if (build) emit(s, c);
  return true;
}

}  // namespace lexer_tokens

bool load_point(State& s, const Cell* values, uint32_t count, int type, const uint8_t* start,
                const uint8_t* end, Cell* out) {
  uint32_t wanted = type == TYPE_POINT3D ? 3 : 2;
  if (count != wanted) return fail(s, start, end, type);
  float v[3] = {0.0f, 0.0f, 0.0f};
  for (uint32_t i = 0; i < count; ++i) {
    if (values[i].is(TYPE_INTEGER)) v[i] = static_cast<float>(values[i].int_value());
    else if (values[i].is(TYPE_FLOAT)) v[i] = static_cast<float>(values[i].float_value());
    else return fail(s, start, end, type);
  }
  uint32_t w[3];
  std::memcpy(w, v, sizeof w);
  *out = make_cell(static_cast<TypeId>(type), w[0], w[1], type == TYPE_POINT3D ? w[2] : 0);
  return true;
}

}  // namespace tav::lexer
