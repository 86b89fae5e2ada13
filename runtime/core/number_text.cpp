#include "core/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace tav {

namespace number_text_detail {

// Splits to_chars' scientific output ("d.ddde+XX") into bare digits and decpt, dropping
// trailing zeros that a fixed precision may leave.
void split_scientific(const char* first, const char* last, number::Digits* out) {
  int n = 0;
  const char* p = first;
  for (; p < last && *p != 'e'; ++p)
    if (*p != '.') out->text[n++] = *p;
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), last, exponent);
  while (n > 1 && out->text[n - 1] == '0') --n;
  out->text[n] = '\0';
  out->count = n;
  out->decpt = exponent + 1;
}

void set_special(number::Digits* out, const char* text, int decpt) {
  size_t len = std::strlen(text);
  std::memcpy(out->text, text, len + 1);
  out->count = static_cast<int>(len);
  out->decpt = decpt;
}

// Enough significant digits to decide any correctly rounded double: beyond this a dropped
// non-zero tail only needs to be remembered as a sticky digit.
constexpr int MAX_SIGNIFICANT = 780;
constexpr int64_t EXPONENT_CLAMP = 100000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Matches the rest of "INF" or "NAN" after the first letter, without regard to case; returns
// the position after the last matching letter.
const char* match_special_tail(const char* p, const char* end, const char* word) {
  for (int i = 1; word[i] != '\0'; ++i) {
    if (p >= end || (*p | 0x20) != (word[i] | 0x20)) return p;
    ++p;
  }
  return p;
}

}  // namespace number_text_detail

namespace number {

Digits dtoa(double value, int max_digits, bool dot_zero) {
  Digits out{};
  out.negative = std::signbit(value);
  if (std::isnan(value)) {
    number_text_detail::set_special(&out, "1.#NaN", DECPT_SPECIAL);
    return out;
  }
  if (std::isinf(value)) {
    number_text_detail::set_special(&out, out.negative ? "-1.#INF" : "1.#INF", DECPT_SPECIAL);
    return out;
  }
  if (value == 0.0) {
    const char* text = out.negative ? (dot_zero ? "-0.0" : "-0") : (dot_zero ? "0.0" : "0");
    number_text_detail::set_special(&out, text, DECPT_ZERO);
    return out;
  }
  double magnitude = std::fabs(value);
  char buf[48];
  auto shortest = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  number_text_detail::split_scientific(buf, shortest.ptr, &out);
  if (max_digits > 0 && out.count > max_digits) {
    auto capped = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                                max_digits - 1);
    number_text_detail::split_scientific(buf, capped.ptr, &out);
  }
  return out;
}

FloatText form_float(double value, int max_digits, bool dot_zero) {
  FloatText out{};
  Digits d = dtoa(value, max_digits, dot_zero);
  if (d.decpt >= DECPT_ZERO) {
    std::memcpy(out.text, d.text, static_cast<size_t>(d.count) + 1);
    out.length = d.count;
    return out;
  }
  char* p = out.text;
  if (d.negative) *p++ = '-';
  const bool exponent_form = d.decpt >= 18 || d.decpt < -6;
  if (exponent_form) {
    *p++ = d.text[0];
    *p++ = '.';
    std::memcpy(p, d.text + 1, static_cast<size_t>(d.count - 1));
    p += d.count - 1;
  } else if (d.decpt < 1) {
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -d.decpt; ++i) *p++ = '0';
    std::memcpy(p, d.text, static_cast<size_t>(d.count));
    p += d.count;
  } else {
    for (int i = 0; i < d.decpt; ++i) *p++ = i < d.count ? d.text[i] : '0';
    *p++ = '.';
    for (int i = d.decpt; i < d.count; ++i) *p++ = d.text[i];
  }
  if (p[-1] == '.') {
    if (dot_zero) *p++ = '0';
    else --p;
  }
  if (exponent_form) {
    *p++ = 'e';
    integer::DecimalText e = integer::to_decimal(d.decpt - 1);
    std::memcpy(p, e.text, static_cast<size_t>(e.length));
    p += e.length;
  }
  *p = '\0';
  out.length = static_cast<int>(p - out.text);
  return out;
}

double text_to_float(const char* start, const char* end, int extra_exponent, int* chars_left) {
  using number_text_detail::is_digit;
  const char* p = start;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';

  bool any_digit = false;
  while (p < end && *p == '0') { ++p; any_digit = true; }
  const char* int_start = p;
  while (p < end && is_digit(*p)) ++p;
  const char* int_end = p;
  any_digit = any_digit || int_end > int_start;

  // "1.#INF" and "1.#NaN": one digit, ".#", then the word.
  if (any_digit && int_end - int_start <= 1 && end - p >= 3 && p[0] == '.' && p[1] == '#') {
    char letter = static_cast<char>(p[2] | 0x20);
    if (letter == 'i' || letter == 'n') {
      const char* stop = number_text_detail::match_special_tail(p + 3, end,
                                                                 letter == 'i' ? "INF" : "NAN");
      *chars_left = static_cast<int>(end - stop);
      if (letter == 'n') return std::numeric_limits<double>::quiet_NaN();
      return negative ? -std::numeric_limits<double>::infinity()
                      : std::numeric_limits<double>::infinity();
    }
  }

  const char* frac_start = p;
  const char* frac_end = p;
  if (p < end && *p == '.') {
    frac_start = ++p;
    while (p < end && is_digit(*p)) ++p;
    frac_end = p;
    any_digit = any_digit || frac_end > frac_start;
  }
  if (!any_digit) {
    *chars_left = -1;
    return 0.0;
  }

  int64_t exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E') && end - p >= 2) {
    const char* q = p + 1;
    bool exp_negative = false;
    if (*q == '+' || *q == '-') exp_negative = *q++ == '-';
    if (q < end && is_digit(*q)) {
      while (q < end && is_digit(*q)) {
        if (exponent < number_text_detail::EXPONENT_CLAMP) exponent = exponent * 10 + (*q - '0');
        ++q;
      }
      if (exp_negative) exponent = -exponent;
      p = q;
    }
  }
  *chars_left = static_cast<int>(end - p);

  // Gather the significant digits as one integer S, so that the value is S x 10^exponent.
  char sig[number_text_detail::MAX_SIGNIFICANT + 24];
  int n = 0;
  bool sticky = false;
  auto take = [&](const char* from, const char* to, bool fraction) {
    for (const char* q = from; q < to; ++q) {
      if (n == 0 && *q == '0') {
        if (fraction) --exponent;
        continue;
      }
      if (n < number_text_detail::MAX_SIGNIFICANT) {
        sig[n++] = *q;
        if (fraction) --exponent;
      } else {
        if (!fraction) ++exponent;
        if (*q != '0') sticky = true;
      }
    }
  };
  take(int_start, int_end, false);
  take(frac_start, frac_end, true);
  exponent += extra_exponent;

  double magnitude;
  if (n == 0) {
    magnitude = 0.0;
  } else if (n + exponent > 310) {
    magnitude = std::numeric_limits<double>::infinity();
  } else if (n + exponent < -330) {
    magnitude = 0.0;
  } else {
    if (sticky) {
      sig[n++] = '1';
      --exponent;
    }
    sig[n++] = 'e';
    auto written = std::to_chars(sig + n, sig + sizeof sig, exponent);
    magnitude = 0.0;
    auto r = std::from_chars(sig, written.ptr, magnitude, std::chars_format::scientific);
    if (r.ec == std::errc::result_out_of_range) {
      // n - 1 digits before the 'e': the sign of n - 1 + exponent tells overflow from underflow.
      magnitude = n - 1 + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
  }
  return negative ? -magnitude : magnitude;
}

bool float_to_int32(double value, int32_t* out) {
  // Written so that NaN fails both comparisons.
  if (!(value >= -2147483648.0 && value <= 2147483647.0)) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

double angle_to_radians(double degrees, int fold_mode) {
  double a = std::fmod(degrees, 360.0);
  if (a > 180.0 || a < -180.0) a = a >= 0.0 ? a - 360.0 : a + 360.0;
  if (a > 90.0 || a < -90.0) {
    if (fold_mode == 0) a = a >= 0.0 ? a - 180.0 : a + 180.0;
    else if (fold_mode == 2) a = a >= 0.0 ? 180.0 - a : -180.0 - a;
  }
  return a * 3.141592653589793 / 180.0;
}

}  // namespace number

namespace integer {

DecimalText to_decimal(int32_t value) {
  DecimalText out{};
  // Work on the unsigned magnitude so that the lowest integer needs no special text.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char buf[12];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  out.length = static_cast<int>(buf + sizeof buf - p);
  std::memcpy(out.text, p, static_cast<size_t>(out.length));
  out.text[out.length] = '\0';
  return out;
}

}  // namespace integer

}  // namespace tav
