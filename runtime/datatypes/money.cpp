#include "datatypes/money.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "scanner/converters.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::money {

int form_digits = 2;

namespace money_detail {

// Amounts are handled as magnitudes in hundred-thousandths: 22 decimal digits fit easily,
// and so do the 27-digit intermediates of multiplication and division.
using Magnitude = unsigned __int128;

constexpr Magnitude pow10(int n) {
  Magnitude r = 1;
  while (n-- > 0) r *= 10;
  return r;
}
constexpr Magnitude LIMIT = pow10(DIGITS);            // exclusive
constexpr Magnitude UNIT = pow10(FRACTION_DIGITS);    // 1.00000

constexpr int MAX_CURRENCIES = 255;
char currencies[MAX_CURRENCIES][4];
int currencies_used = 0;

const char* const INITIAL_CURRENCIES =
    "AED AFN ALL AMD ANG AOA ARS AUD AWG AZN BAM BBD BDT BTC BGN BHD BIF BMD BND BOB BRL BSD "
    "BTN BWP BYN BZD CAD CDF CHF CKD CLP CNY COP CRC CUC CUP CVE CZK DJF DKK DOP DZD EGP ERN "
    "ETB ETH EUR FJD FKP FOK GBP GEL GGP GHS GIP GMD GNF GTQ GYD HKD HNL HRK HTG HUF IDR ILS "
    "IMP INR IQD IRR ISK JEP JMD JOD JPY KES KGS KHR KID KMF KPW KRW KWD KYD KZT LAK LBP LKR "
    "LRD LSL LYD MAD MDL MGA MKD MMK MNT MOP MRU MUR MVR MWK MXN MYR MZN NAD NGN NIO NOK NPR "
    "NZD OMR PAB PEN PGK PHP PKR PLN PND PRB PYG QAR TAV RON RSD RUB RWF SAR SBD SCR SDG SEK "
    "SGD SHP SLL SLS SOS SRD SSP STN SYP SZL THB TJS TMT TND TOP TRY TTD TVD TWD TZS UAH UGX "
    "USD UYU UZS VES VND VUV WST CFA XAF XCD XOF CFP XPF YER ZAR ZMW";

void load_initial_currencies() {
  currencies_used = 0;
  for (const char* p = INITIAL_CURRENCIES; *p; p += (p[3] ? 4 : 3)) {
    std::memcpy(currencies[currencies_used], p, 3);
    currencies[currencies_used][3] = 0;
    ++currencies_used;
  }
}

uint8_t* digit_bytes(Cell* m) { return reinterpret_cast<uint8_t*>(m) + 5; }
const uint8_t* digit_bytes(const Cell* m) { return reinterpret_cast<const uint8_t*>(m) + 5; }

// Digit k (1-based, 1 the most significant).
int digit(const Cell* m, int k) {
  uint8_t b = digit_bytes(m)[(k - 1) / 2];
  return (k % 2) ? b >> 4 : b & 15;
}

Magnitude magnitude(const Cell* m) {
  Magnitude r = 0;
  for (int k = 1; k <= DIGITS; ++k) r = r * 10 + static_cast<unsigned>(digit(m, k));
  return r;
}

// Writes a magnitude below LIMIT into the digits, keeping sign and currency.
void store(Cell* m, Magnitude v) {
  uint8_t* bytes = digit_bytes(m);
  for (int k = DIGITS; k >= 1; --k) {
    unsigned d = static_cast<unsigned>(v % 10);
    v /= 10;
    uint8_t& b = bytes[(k - 1) / 2];
    b = (k % 2) ? static_cast<uint8_t>((b & 0x0F) | d << 4) : static_cast<uint8_t>((b & 0xF0) | d);
  }
}

[[noreturn]] void raise_limit(TypeId t) {
  Cell dt;
  set_datatype(&dt, t);
  error::raise(ERR_SCRIPT, "type-limit", &dt);
}

[[noreturn]] void raise_bad_make(const Cell* spec) {
  Cell dt;
  set_datatype(&dt, TYPE_MONEY);
  error::raise(ERR_SCRIPT, "bad-make-arg", &dt, spec);
}

// A new money cell holding a signed magnitude, sign and currency given.
Cell* make_value(Cell* c, bool negative, int currency, Magnitude v) {
  if (v >= LIMIT) raise_limit(TYPE_MONEY);
  *c = make_cell(TYPE_MONEY, static_cast<uint32_t>(currency & 0xFF));
  store(c, v);
  if (negative) c->header |= SIGN_BIT;
  return c;
}

}  // namespace money_detail

int currency_count() { return money_detail::currencies_used; }

const char* currency_code(int index) {
  if (index < 1 || index > money_detail::currencies_used) return nullptr;
  return money_detail::currencies[index - 1];
}

int currency_index(const char* code, int length) {
  if (length != 3) return -1;
  for (int i = 0; i < money_detail::currencies_used; ++i) {
    const char* c = money_detail::currencies[i];
    bool same = true;
    for (int k = 0; k < 3 && same; ++k)
      same = std::toupper(static_cast<unsigned char>(code[k])) == c[k];
    if (same) return i + 1;
  }
  return -1;
}

int currency_index(const Cell* word) {
  symbol::Name n = symbol::name(word->data2);
  return currency_index(n.bytes, static_cast<int>(n.length));
}

bool add_currency(const char* code) {
  using namespace money_detail;
  if (std::strlen(code) != 3 || currencies_used >= MAX_CURRENCIES) return false;
  for (int k = 0; k < 3; ++k) {
    if (!std::isalpha(static_cast<unsigned char>(code[k]))) return false;
  }
  if (currency_index(code, 3) > 0) return false;
  for (int k = 0; k < 3; ++k)
    currencies[currencies_used][k] = static_cast<char>(std::toupper(static_cast<unsigned char>(code[k])));
  currencies[currencies_used][3] = 0;
  ++currencies_used;
  return true;
}

Cell* make_from_parts(Cell* c, bool negative, const char* code, const char* digits,
                      const char* point, const char* end) {
  using namespace money_detail;
  int currency = 0;
  if (code) {
    currency = currency_index(code, 3);
    if (currency < 0) return nullptr;
  }
  const char* int_end = point ? point : end;
  Magnitude integer_part = 0;
  int integer_count = 0;
  for (const char* p = digits; p < int_end; ++p) {
    if (*p < '0' || *p > '9') continue;
    if (integer_count > 0 || *p != '0') ++integer_count;
    integer_part = integer_part * 10 + static_cast<unsigned>(*p - '0');
  }
  if (integer_count > INTEGER_DIGITS) raise_limit(TYPE_MONEY);
  Magnitude fraction = 0;
  int fraction_count = 0;
  if (point) {
    for (const char* p = point + 1; p < end && fraction_count < FRACTION_DIGITS; ++p) {
      if (*p < '0' || *p > '9') continue;
      fraction = fraction * 10 + static_cast<unsigned>(*p - '0');
      ++fraction_count;
    }
  }
  fraction *= pow10(FRACTION_DIGITS - fraction_count);
  return make_value(c, negative, currency, integer_part * UNIT + fraction);
}

bool make_from_text(Cell* c, const lexer::MoneyText& parts) {
  char text[32];
  int n = 0;
  std::memcpy(text, parts.integer_digits, parts.integer_count);
  n = parts.integer_count;
  const char* point = nullptr;
  if (parts.fraction_count > 0) {
    point = text + n;
    text[n++] = '.';
    std::memcpy(text + n, parts.fraction_digits, parts.fraction_count);
    n += parts.fraction_count;
  }
  const char* code = parts.currency[0] ? parts.currency : nullptr;
  return make_from_parts(c, parts.negative, code, text, point, text + n) != nullptr;
}

Cell* make_at(Cell* c, bool negative, int currency, const uint8_t* bytes) {
  *c = make_cell(TYPE_MONEY, static_cast<uint32_t>(currency & 0xFF));
  std::memcpy(money_detail::digit_bytes(c), bytes, DIGIT_BYTES);
  if (negative) c->header |= SIGN_BIT;
  return c;
}

Cell* push(bool negative, int currency, const uint8_t* bytes) {
  return make_at(stack::new_cell(), negative, currency, bytes);
}

Cell* push_from_integer(int32_t value) {
  int64_t v = value;
  return money_detail::make_value(stack::new_cell(), v < 0, 0,
                                  static_cast<money_detail::Magnitude>(v < 0 ? -v : v) *
                                      money_detail::UNIT);
}

Cell* make_from_float(Cell* c, double value, bool strict) {
  using namespace money_detail;
  double a = std::fabs(value);
  Cell f;
  set_float(&f, value);
  if (!std::isfinite(value) || a >= 1e17 || (a != 0 && a < 0.00001)) raise_bad_make(&f);
  if (a >= 9007199254740992.0) {
    // Beyond 2^53 a double is a whole number, and its shortest digits would lose the
    // low ones: take it exactly.
    return make_value(c, value < 0, 0, static_cast<Magnitude>(static_cast<uint64_t>(a)) * UNIT);
  }
  number::Digits d = number::dtoa(value, 22, false);
  if (d.decpt == number::DECPT_ZERO) return make_value(c, false, 0, 0);
  // value = 0.d1d2...dn x 10^decpt: digit i (0-based) has weight 10^(decpt - 1 - i).
  Magnitude v = 0;
  int fraction_digits = d.count - d.decpt;
  if (strict && fraction_digits > FRACTION_DIGITS) raise_bad_make(&f);
  for (int i = 0; i < d.count; ++i) {
    int place = d.decpt - 1 - i;   // power of ten of this digit
    if (place < -FRACTION_DIGITS) break;
    v += static_cast<unsigned>(d.text[i] - '0') * pow10(place + FRACTION_DIGITS);
  }
  return make_value(c, value < 0, 0, v);
}

Cell* push_from_float(double value, bool strict) {
  return make_from_float(stack::new_cell(), value, strict);
}

int32_t to_integer(const Cell* m) {
  money_detail::Magnitude whole = money_detail::magnitude(m) / money_detail::UNIT;
  bool neg = negative(m);
  if (whole > (neg ? 2147483648u : 2147483647u)) money_detail::raise_limit(TYPE_INTEGER);
  int64_t v = static_cast<int64_t>(whole);
  return static_cast<int32_t>(neg ? -v : v);
}

double to_float(const Cell* m) {
  if (zero(m)) return 0.0;
  char text[32];
  int n = 0;
  for (int k = 1; k <= DIGITS; ++k) {
    if (k == INTEGER_DIGITS + 1) text[n++] = '.';
    text[n++] = static_cast<char>('0' + money_detail::digit(m, k));
  }
  int left = 0;
  double v = number::text_to_float(text, text + n, 0, &left);
  if (left != 0) money_detail::raise_bad_make(m);
  return sign_bit(m) ? -v : v;
}

bool well_formed(const Cell* m) {
  if (currency_of(m) > currency_count()) return false;
  const uint8_t* b = money_detail::digit_bytes(m);
  for (int i = 0; i < DIGIT_BYTES; ++i)
    if ((b[i] >> 4) > 9 || (b[i] & 15) > 9) return false;
  return true;
}

bool zero(const Cell* m) {
  const uint8_t* b = money_detail::digit_bytes(m);
  for (int i = 0; i < DIGIT_BYTES; ++i) {
    if (b[i]) return false;
  }
  return true;
}

int sign(const Cell* m) {
  if (zero(m)) return 0;
  return sign_bit(m) ? -1 : 1;
}

void set_sign_bit(Cell* m, bool neg) {
  if (neg) m->header |= SIGN_BIT;
  else m->header &= ~SIGN_BIT;
}

void set_currency(Cell* m, int index) { m->data1 = (m->data1 & ~0xFFu) | (index & 0xFF); }

namespace money_detail {

// A signed amount read from an operand: money as is, integer exactly, float and percent
// through the float conversion.
struct Amount {
  bool negative;
  int currency;
  Magnitude value;
};

Amount amount_of(const Cell* c, bool strict_float) {
  switch (c->type()) {
    case TYPE_MONEY: return {sign(c) < 0, currency_of(c), magnitude(c)};
    case TYPE_INTEGER: {
      int64_t v = c->int_value();
      return {v < 0, 0, static_cast<Magnitude>(v < 0 ? -v : v) * UNIT};
    }
    case TYPE_FLOAT: case TYPE_PERCENT: {
      Cell m;
      make_from_float(&m, c->float_value(), strict_float);
      return {sign(&m) < 0, 0, magnitude(&m)};
    }
    default: numeric::raise_invalid_type(c);
  }
}

bool math_operand(TypeId t) {
  return t == TYPE_MONEY || t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT;
}

[[noreturn]] void raise_wrong_denom(const Cell* a, const Cell* b) {
  error::raise(ERR_SCRIPT, "wrong-denom", a, b);
}

// a + b with signs, as amounts; the result keeps the sign of the larger magnitude.
Amount add_amounts(Amount a, Amount b) {
  if (b.value == 0) return a;
  if (a.value == 0) return b;
  if (a.negative == b.negative) {
    Magnitude s = a.value + b.value;
    if (s >= LIMIT) raise_limit(TYPE_MONEY);
    return {a.negative, 0, s};
  }
  if (a.value >= b.value) return {a.negative, 0, a.value - b.value};
  return {b.negative, 0, b.value - a.value};
}

}  // namespace money_detail

Cell* do_math_op(int op) {
  using namespace money_detail;
  Cell* left = stack::base;
  Cell* right = left + 1;
  TypeId lt = left->type(), rt = right->type();
  if (!math_operand(lt)) numeric::raise_invalid_type(left);
  if (!math_operand(rt)) numeric::raise_invalid_type(right);
  if (op == 2 && lt == TYPE_MONEY && rt == TYPE_MONEY) numeric::raise_invalid_type(right);
  if ((op == 3 || op == 4) && lt != TYPE_MONEY && rt == TYPE_MONEY)
    numeric::raise_invalid_type(right);
  if (op > 4) numeric::raise_invalid_type(right);
  Amount a = amount_of(left, false);
  Amount b = amount_of(right, false);
  if (a.currency && b.currency && a.currency != b.currency) raise_wrong_denom(left, right);
  int currency = b.currency ? b.currency : a.currency;
  Amount r{false, currency, 0};
  bool money_quotient = op == 3 && lt == TYPE_MONEY && rt == TYPE_MONEY;
  switch (op) {
    case 0: case 1: {
      if (op == 1) b.negative = !b.negative;
      r = add_amounts(a, b);
      break;
    }
    case 2: {
      if (a.value == 0 || b.value == 0) break;
      // The product keeps 5 fraction digits: it must stay below LIMIT once divided by UNIT.
      if (a.value > (LIMIT * UNIT - 1) / b.value) raise_limit(TYPE_MONEY);
      r.value = a.value * b.value / UNIT;
      r.negative = a.negative != b.negative;
      break;
    }
    case 3: {
      if (b.value == 0) numeric::raise_math("zero-divide");
      Magnitude q = a.value * UNIT / b.value;
      if (q >= LIMIT) raise_limit(TYPE_MONEY);
      r.value = q;
      r.negative = a.negative != b.negative;
      break;
    }
    default: {
      if (b.value == 0) numeric::raise_math("zero-divide");
      r.value = a.value % b.value;
      r.negative = a.negative;
      break;
    }
  }
  make_value(left, r.negative && r.value != 0, currency, r.value);
  if (money_quotient) {
    double d = to_float(left);
    set_float(left, d);
  }
  return left;
}

// ---- Action handlers ------------------------------------------------------------------------

namespace money_detail {

// Appends the text form; group puts "'" between groups of three digits.
int form_text(const Cell* m, NodeId out, bool group, int fraction_shown, int limit) {
  uint32_t before = string::length(out);
  char text[64];
  int n = 0;
  if (sign(m) < 0) text[n++] = '-';
  if (const char* code = currency_code(currency_of(m))) {
    std::memcpy(text + n, code, 3);
    n += 3;
  }
  text[n++] = '$';
  int first = 1;
  while (first < INTEGER_DIGITS && digit(m, first) == 0) ++first;
  auto grouped_after = [](int k) { return k == 2 || k == 5 || k == 8 || k == 11 || k == 14; };
  for (int k = first; k <= INTEGER_DIGITS; ++k) {
    text[n++] = static_cast<char>('0' + digit(m, k));
    if (group && grouped_after(k)) text[n++] = '\'';
  }
  if (fraction_shown > FRACTION_DIGITS) fraction_shown = FRACTION_DIGITS;
  if (fraction_shown >= 1) {
    text[n++] = '.';
    for (int k = 1; k <= fraction_shown; ++k) {
      text[n++] = static_cast<char>('0' + digit(m, INTEGER_DIGITS + k));
      if (group && k == 3 && fraction_shown > 3) text[n++] = '\'';
    }
  }
  text[n] = 0;
  string::append_ascii(out, text);
  return limit - static_cast<int>(string::length(out) - before);
}

int money_form(Cell* value, Cell* buffer, Cell*, int limit) {
  return form_text(value, buffer->node(), true, form_digits, limit);
}

int money_mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int limit, int) {
  return form_text(value, buffer->node(), false, all ? FRACTION_DIGITS : form_digits, limit);
}

Cell* from_block(Cell* proto, Cell* spec) {
  SeriesBuffer* b = node_buffer(spec->node());
  uint32_t count = b->used() / sizeof(Cell);
  uint32_t index = spec->index() < count ? spec->index() : count;
  uint32_t n = count - index;
  const Cell* v = b->cells() + index;
  const Cell* end = v + n;
  int currency = 0;
  if (v < end && v->is(TYPE_WORD)) {
    currency = currency_index(v);
    if (currency < 0) raise_bad_make(spec);
    ++v;
  }
  if (v == end) raise_bad_make(spec);
  Cell result;
  if (v->is(TYPE_INTEGER)) {
    int64_t whole = v->int_value();
    Magnitude m = static_cast<Magnitude>(whole < 0 ? -whole : whole) * UNIT;
    ++v;
    if (v < end) {
      if (!v->is(TYPE_INTEGER) || v->int_value() < 0 || v->int_value() > 99999) raise_bad_make(spec);
      m += static_cast<unsigned>(v->int_value());
      ++v;
    }
    make_value(&result, whole < 0, currency, m);
  } else if (v->is(TYPE_FLOAT)) {
    make_from_float(&result, v->float_value(), true);
    set_currency(&result, currency);
    ++v;
  } else {
    raise_bad_make(spec);
  }
  if (v != end) raise_bad_make(spec);
  *proto = result;
  return proto;
}

Cell* money_to(Cell* proto, Cell* spec, int) {
  switch (spec->type()) {
    case TYPE_MONEY: return spec;
    case TYPE_INTEGER: {
      int64_t v = spec->int_value();
      return make_value(proto, v < 0, 0, static_cast<Magnitude>(v < 0 ? -v : v) * UNIT);
    }
    case TYPE_FLOAT: return make_from_float(proto, spec->float_value(), true);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      int unit;
      uint32_t count;
      const void* units = numeric::string_units(spec, &unit, &count);
      int error = 0;
      Cell result;
      lexer::string_to_money(units, count, unit, &result, make_from_text, &error);
      if (error) numeric::raise_bad_to(TYPE_MONEY, spec);
      *proto = result;
      return proto;
    }
    default: numeric::raise_bad_to(TYPE_MONEY, spec);
  }
}

Cell* money_make(Cell* proto, Cell* spec, int type) {
  if (spec->is(TYPE_WORD)) {
    int currency = currency_index(spec);
    if (currency < 0) raise_bad_make(spec);
    return make_value(proto, false, currency, 0);
  }
  if (spec->is(TYPE_BLOCK)) return from_block(proto, spec);
  return money_to(proto, spec, type);
}

// The order of two amounts by sign, then magnitude.
int order_amounts(bool neg_a, Magnitude a, bool neg_b, Magnitude b) {
  int sa = a == 0 ? 0 : neg_a ? -1 : 1;
  int sb = b == 0 ? 0 : neg_b ? -1 : 1;
  if (sa != sb) return sa < sb ? -1 : 1;
  int by_magnitude = a < b ? -1 : a > b ? 1 : 0;
  return sa < 0 ? -by_magnitude : by_magnitude;
}

int money_compare(Cell* l, Cell* r, int op) {
  bool strict_op = op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND_EQUAL;
  TypeId rt = r->type();
  if (strict_op && rt != TYPE_MONEY) return 1;
  bool neg_l = sign(l) < 0;
  Magnitude ml = magnitude(l);
  switch (rt) {
    case TYPE_MONEY: {
      int cl = currency_of(l), cr = currency_of(r);
      bool both = cl && cr;
      switch (op) {
        case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL:
          if (both && cl != cr) raise_wrong_denom(l, r);
          break;
        case COMP_SORT: case COMP_CASE_SORT:
          if (cl != cr) {
            if (!cl || !cr) return cl ? 1 : -1;
            return std::strcmp(currency_code(cl), currency_code(cr)) < 0 ? -1 : 1;
          }
          break;
        case COMP_EQUAL: case COMP_NOT_EQUAL:
          if (both && cl != cr) return 1;
          break;
        case COMP_STRICT_EQUAL: case COMP_SAME:
          if (cl != cr) return 1;
          break;
        case COMP_FIND_EQUAL:
          if (cr ? (cl && cl != cr) : cl != cr) return 1;
          break;
        default: break;
      }
      return order_amounts(neg_l, ml, sign(r) < 0, magnitude(r));
    }
    case TYPE_INTEGER: {
      Amount a = amount_of(r, false);
      return order_amounts(neg_l, ml, a.negative, a.value);
    }
    case TYPE_FLOAT: {
      double f = r->float_value();
      double mag = std::fabs(f);
      if (std::isnan(f)) return 1;
      if (mag >= 1e17 || (mag != 0 && mag < 0.00001)) {
        // Beyond what money holds: signs decide first, then the float's magnitude.
        int sl = ml == 0 ? 0 : neg_l ? -1 : 1;
        int sf = f < 0 ? -1 : 1;
        if (sl != sf) return sl < sf ? -1 : 1;
        bool bigger_float = mag >= 1e17;
        return (bigger_float ? -1 : 1) * sl;
      }
      Cell m;
      make_from_float(&m, f, true);
      return order_amounts(neg_l, ml, sign(&m) < 0, magnitude(&m));
    }
    default: return COMPARE_UNRELATED;
  }
}

Cell* money_absolute() {
  stack::base->header &= ~SIGN_BIT;
  return stack::base;
}

Cell* money_negate(Cell* value) {
  value->header ^= SIGN_BIT;
  return value;
}

Cell* money_add() { return do_math_op(0); }
Cell* money_subtract() { return do_math_op(1); }
Cell* money_multiply() { return do_math_op(2); }
Cell* money_divide() { return do_math_op(3); }
Cell* money_remainder() { return do_math_op(4); }

Cell* money_round(Cell* value, Cell* scale_cell, bool even, bool down, bool half_down,
                  bool floor, bool ceiling, bool half_ceiling) {
  if (zero(value)) return value;
  Magnitude scale = UNIT;
  if (scale_cell) {
    switch (scale_cell->type()) {
      case TYPE_MONEY: case TYPE_INTEGER: scale = amount_of(scale_cell, false).value; break;
      case TYPE_FLOAT: scale = amount_of(scale_cell, true).value; break;
      default: {
        Cell name = numeric::running_call_word();
        numeric::raise_not_related(&name, scale_cell->type());
      }
    }
  }
  if (scale == 0) return value;
  bool neg = sign_bit(value);
  Magnitude m = magnitude(value);
  Magnitude r = m % scale;
  Magnitude lower = m - r;
  Magnitude upper = m + (scale - r);
  bool half = 2 * r == scale;
  bool nearest_down = r < scale - r;
  bool to_lower;
  if (down) to_lower = true;
  else if (floor) to_lower = !neg;
  else if (ceiling) to_lower = neg;
  else if (half && even) to_lower = (m / scale) % 2 == 0;
  else if (half && half_down) to_lower = true;
  else if (half && half_ceiling) to_lower = neg;
  else to_lower = nearest_down;
  if (r == 0) to_lower = true;
  make_value(value, neg, currency_of(value), to_lower ? lower : upper);
  if (zero(value)) value->header &= ~SIGN_BIT;
  return value;
}

bool money_even(Cell* value) { return digit(value, INTEGER_DIGITS) % 2 == 0; }
bool money_odd(Cell* value) { return digit(value, INTEGER_DIGITS) % 2 != 0; }

int field_of(const Cell* element) {
  if (element->is(TYPE_INTEGER)) {
    int32_t i = element->int_value();
    return i == 1 || i == 2 ? i : -1;
  }
  if (!is_any_word(element->type())) return -1;
  uint32_t sym = symbol::alias(element->data2);
  if (sym == symbol::alias(symbols::code)) return 1;
  if (sym == symbol::alias(symbols::amount)) return 2;
  return -1;
}

Cell* push_field(const Cell* m, int field) {
  Cell* out = stack::new_cell();
  if (field == 1) {
    const char* code = currency_code(currency_of(m));
    if (!code) return set_none(out);
    *out = word::make(symbol::make(code));
    return out;
  }
  *out = *m;
  set_currency(out, 0);
  return out;
}

Cell* money_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int,
                      bool, bool, bool, bool) {
  int field = field_of(element);
  if (field < 0) error::raise(ERR_SCRIPT, "invalid-path", path ? path : parent, element);
  if (value) error::raise(ERR_SCRIPT, "bad-path-set", path ? path : parent, element);
  return push_field(parent, field);
}

Cell* money_pick(Cell* series, int index, Cell* boxed) {
  int field = index;
  if (boxed && is_any_word(boxed->type())) {
    field = field_of(boxed);
    if (field < 0) error::raise(ERR_SCRIPT, "invalid-path", series, boxed);
  } else if (index != 1 && index != 2) {
    Cell i;
    set_integer(&i, index);
    error::raise(ERR_SCRIPT, "out-of-range", boxed ? boxed : &i);
  }
  return push_field(series, field);
}

Cell* money_random(Cell* value, bool seed, bool, bool) {
  if (seed) {
    uint32_t s = value->data1 ^ value->data2 ^ value->data3;
    if (sign_bit(value)) s ^= SIGN_BIT;
    random::seed(s);
    return set_unset(value);
  }
  int first = 1;
  while (first <= DIGITS && digit(value, first) == 0) ++first;
  Magnitude v = 0;
  bool free = false;
  for (int k = 1; k <= DIGITS; ++k) {
    int current = digit(value, k);
    int d = 0;
    if (k < first) {
      d = 0;
    } else if (free) {
      d = random::next() % 10;
    } else {
      while (true) {
        d = random::next() % (current + 1);
        if (d < current) {
          free = true;
          break;
        }
        // Keeping the top digit needs luck, or the bound would be hit too often.
        if (random::next() % 1000 == random::next() % 1000) break;
      }
    }
    v = v * 10 + static_cast<unsigned>(d);
  }
  make_value(value, sign_bit(value), currency_of(value), v);
  return value;
}

}  // namespace money_detail

void init() {
  using namespace money_detail;
  load_initial_currencies();
  ActionRow row;
  row.fill(nullptr);
  row[ACT_MAKE - 1] = entry<act::Make>(money_make);
  row[ACT_TO - 1] = entry<act::Make>(money_to);
  row[ACT_RANDOM - 1] = entry<act::Random>(money_random);
  row[ACT_FORM - 1] = entry<act::Form>(money_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(money_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(money_compare);
  row[ACT_ABSOLUTE - 1] = entry<act::StackReading>(money_absolute);
  row[ACT_NEGATE - 1] = entry<act::Unary>(money_negate);
  row[ACT_ADD - 1] = entry<act::StackReading>(money_add);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(money_subtract);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(money_multiply);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(money_divide);
  row[ACT_REMAINDER - 1] = entry<act::StackReading>(money_remainder);
  row[ACT_ROUND - 1] = entry<act::Round>(money_round);
  row[ACT_EVEN_Q - 1] = entry<act::Predicate>(money_even);
  row[ACT_ODD_Q - 1] = entry<act::Predicate>(money_odd);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(money_eval_path);
  row[ACT_PICK - 1] = entry<act::Pick>(money_pick);
  datatype::register_type(TYPE_MONEY, TYPE_NONE_ID, "money!", row);
}

}  // namespace tav::money
