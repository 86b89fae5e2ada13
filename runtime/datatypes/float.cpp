#include "datatypes/float.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "datatypes/money.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "scanner/converters.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/unicode.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {

namespace float_ {

bool pretty_print = true;
bool full_support = false;

int32_t round_to_int(double x) {
  double t = x + ROUNDING_BIAS;
  if (std::isnan(t)) return 0;
  if (t >= 2147483647.0) return INT32_MAX;
  if (t <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(t);
}

double abs(double x) { return std::fabs(x); }

Cell* make_at(Cell* c, double d) {
  c->set_type(TYPE_FLOAT);
  c->set_float_value(d);
  return c;
}

Cell* set_result(double d) { return set_float(stack::base, d); }
Cell* push(double d) { return set_float(stack::new_cell(), d); }

Cell* push_halves(uint32_t high, uint32_t low) {
  Cell* c = stack::new_cell();
  *c = make_cell(TYPE_FLOAT, 0, low, high);
  return c;
}

Cell* append_to_block(const Cell* block, uint32_t high, uint32_t low) {
  Cell* c = series::new_tail_cell(block);
  *c = make_cell(TYPE_FLOAT, 0, low, high);
  return c;
}

bool is_nan(double d) { return std::isnan(d); }
bool is_nan32(float f) { return f != f; }
bool is_special(double d) { return !std::isfinite(d); }

}  // namespace float_

namespace percent {

Cell* make_at(Cell* c, double d) {
  c->set_type(TYPE_PERCENT);
  c->set_float_value(d);
  return c;
}
Cell* push(double d) { return set_float(stack::new_cell(), d, TYPE_PERCENT); }
Cell* push_halves(uint32_t high, uint32_t low) {
  Cell* c = stack::new_cell();
  *c = make_cell(TYPE_PERCENT, 0, low, high);
  return c;
}
Cell* append_to_block(const Cell* block, uint32_t high, uint32_t low) {
  Cell* c = series::new_tail_cell(block);
  *c = make_cell(TYPE_PERCENT, 0, low, high);
  return c;
}

}  // namespace percent

// ---- Shared helpers of the scalar types ---------------------------------------------------

namespace numeric {

Cell running_call_word() {
  NodeId ctx = 0;
  uint32_t sym = stack::nearest_call_symbol(&ctx);
  return make_cell(TYPE_WORD, ctx, sym, 0xFFFFFFFF);
}

void raise_expect_arg(const Cell* arg, const char* arg_name) {
  Cell name = running_call_word();
  Cell type = make_cell(TYPE_DATATYPE, arg->type());
  Cell argument = word::make(symbol::make(arg_name));
  error::raise(ERR_SCRIPT, "expect-arg", &name, &type, &argument);
}

void raise_not_related(const Cell* word, TypeId t) {
  Cell type = make_cell(TYPE_DATATYPE, t);
  error::raise(ERR_SCRIPT, "not-related", word, &type);
}

void raise_math(const char* id) { error::raise(ERR_MATH, id); }

void raise_invalid_type(const Cell* value) {
  Cell type = make_cell(TYPE_DATATYPE, value->type());
  error::raise(ERR_SCRIPT, "invalid-type", &type);
}

void raise_bad_to(TypeId target, const Cell* spec) {
  Cell type = make_cell(TYPE_DATATYPE, target);
  error::raise(ERR_SCRIPT, "bad-to-arg", &type, spec);
}

int math_action(int op) {
  static const ActionId actions[8] = {ACT_ADD, ACT_SUBTRACT, ACT_MULTIPLY, ACT_DIVIDE,
                                      ACT_REMAINDER, ACT_OR_T, ACT_AND_T, ACT_XOR_T};
  return actions[op];
}

Cell* forward_math(TypeId t, int op) {
  ActionEntry e = action_entry(t, static_cast<ActionId>(math_action(op)));
  if (!e) {
    Cell type = make_cell(TYPE_DATATYPE, t);
    error::raise(ERR_SCRIPT, "invalid-type", &type);
  }
  return reinterpret_cast<act::StackReading>(e)();
}

void swap_arguments() {
  Cell tmp = stack::base[0];
  stack::base[0] = stack::base[1];
  stack::base[1] = tmp;
}

int binary_bytes(const Cell* bin, uint8_t* out, int max) {
  SeriesBuffer* b = node_buffer(bin->node());
  uint32_t used = b->used();
  uint32_t index = bin->index() < used ? bin->index() : used;
  uint32_t n = used - index;
  if (n > static_cast<uint32_t>(max)) n = static_cast<uint32_t>(max);
  std::memcpy(out, b->head_ptr() + index, n);
  return static_cast<int>(n);
}

const void* string_units(Cell* str, int* unit, uint32_t* count) {
  *count = string::length(str);
  *unit = static_cast<int>(string::unit_of(str->node()));
  return string::head_address(str);
}

}  // namespace numeric

// ---- Text ---------------------------------------------------------------------------------

namespace float_ {

namespace float_detail {

int print_general(double x, int precision, char* out, int room) {
  auto r = std::to_chars(out, out + room, x, std::chars_format::general, precision);
  return static_cast<int>(r.ptr - out);
}

Text special_text(const char* s) {
  Text t{};
  t.length = static_cast<int>(std::strlen(s));
  std::memcpy(t.text, s, t.length + 1);
  return t;
}

}  // namespace float_detail

Text to_text(double x, int kind) {
  using namespace float_detail;
  if (!std::isfinite(x)) return special_text(std::isnan(x) ? "1.#NaN" : x < 0 ? "-1.#INF" : "1.#INF");
  bool pct = kind == KIND_PERCENT32 || kind == KIND_PERCENT;
  if (pretty_print && std::fabs(x) < EPSILON)
    return special_text(pct ? "0%" : kind == KIND_POINT ? "0" : "0.0");

  char buf[40];
  int len;
  if (kind == KIND_TIME) {
    number::FloatText ft = number::form_float(x, 6, false);
    len = ft.length;
    std::memcpy(buf, ft.text, len);
  } else {
    int precision = (kind == KIND_FLOAT32 || kind == KIND_PERCENT32 || kind == KIND_POINT) ? 7
                    : kind == KIND_PERCENT ? 13 : 16;
    len = print_general(x, precision, buf, sizeof buf);
  }
  bool retried = false;
  int e_pos;
  bool has_dot;
  for (;;) {
    e_pos = -1;
    has_dot = false;
    for (int i = 0; i < len; i++) {
      if (buf[i] == '.') has_dot = true;
      if (buf[i] == 'e') { e_pos = i; break; }
    }
    if (!pretty_print || retried) break;
    // Noise digits of a binary fraction: 0.7999999999999999, 0.30000000000000001.
    int tail = -1;
    if (e_pos < 0) {
      char first = buf[buf[0] == '-' ? 1 : 0];
      if (len > 16 && (first != '0' || len > 17)) tail = len - 2;
    } else if (e_pos > 16) {
      tail = e_pos - 2;
    }
    if (tail < 0) break;
    bool noise = (buf[tail] == '0' && buf[tail + 1] == '1') || (buf[tail] == '9' && buf[tail + 1] == '9');
    if (!noise) break;
    int precision = (kind == KIND_FLOAT32 || kind == KIND_TIME || kind == KIND_POINT) ? 5 : 14;
    len = print_general(x, precision, buf, sizeof buf);
    retried = true;
  }

  Text t{};
  int n = 0;
  int mantissa_end = e_pos < 0 ? len : e_pos;
  std::memcpy(t.text, buf, mantissa_end);
  n = mantissa_end;
  bool add_dot_zero = !pct && !has_dot && kind != KIND_TIME && kind != KIND_POINT;
  if (add_dot_zero) {
    t.text[n++] = '.';
    t.text[n++] = '0';
  }
  if (e_pos >= 0) {
    t.text[n++] = 'e';
    int i = e_pos + 1;
    if (i < len && buf[i] == '-') t.text[n++] = buf[i++];
    else if (i < len && buf[i] == '+') i++;
    while (i < len - 1 && buf[i] == '0') i++;
    while (i < len) t.text[n++] = buf[i++];
  }
  if (pct) t.text[n++] = '%';
  t.text[n] = 0;
  t.length = n;
  return t;
}

// ---- Arithmetic -----------------------------------------------------------------------------

Cell* do_math_op(int op) {
  Cell* left = stack::base;
  Cell* right = left + 1;
  TypeId lt = left->type(), rt = right->type();
  switch (rt) {
    case TYPE_TUPLE: case TYPE_MONEY: case TYPE_VECTOR:
      return numeric::forward_math(rt, op);
    case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D:
      if (lt == TYPE_TIME) break;
      if (op == 1) numeric::raise_not_related(&words::subtract, rt);
      if (op == 3) numeric::raise_not_related(&words::divide, rt);
      numeric::swap_arguments();
      return numeric::forward_math(rt, op);
    default: break;
  }
  bool numeric_right = rt == TYPE_INTEGER || rt == TYPE_FLOAT || rt == TYPE_PERCENT ||
                       rt == TYPE_TIME || (rt == TYPE_CHAR && lt != TYPE_TIME && lt != TYPE_PERCENT);
  if (!numeric_right) numeric::raise_invalid_type(right);

  double l = lt == TYPE_INTEGER ? static_cast<double>(left->int_value()) : left->float_value();
  double r = (rt == TYPE_INTEGER || rt == TYPE_CHAR) ? static_cast<double>(right->int_value())
                                                     : right->float_value();
  double v = 0;
  switch (op) {
    case 0: v = l + r; break;
    case 1: v = l - r; break;
    case 2: v = l * r; break;
    case 3: v = l / r; break;
    case 4:
      if (std::isfinite(r)) v = std::fmod(l, r);
      else if (std::isnan(r)) v = std::nan("");
      else v = std::isfinite(l) ? l : std::nan("");
      break;
    default: error::raise(ERR_INTERNAL, "not-done");
  }
  // A time with any number stays a time: a duration plus or minus a duration is one too.
  TypeId result = (lt == TYPE_TIME || rt == TYPE_TIME) ? TYPE_TIME
                  : lt == TYPE_PERCENT                 ? TYPE_PERCENT
                                                       : TYPE_FLOAT;
  return set_float(left, v, result);
}

// ---- Comparison ---------------------------------------------------------------------------

namespace float_detail {

// Sign-magnitude bits mapped onto a two's complement order.
int64_t ordered64(double d) {
  int64_t i;
  std::memcpy(&i, &d, sizeof i);
  return i < 0 ? INT64_MIN - i : i;
}

int32_t ordered32(float f) {
  int32_t i;
  std::memcpy(&i, &f, sizeof i);
  return i < 0 ? INT32_MIN - i : i;
}

}  // namespace float_detail

bool near_equal(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b) return true;
  if (std::fabs(a - b) < EPSILON) return true;
  __int128 ia = float_detail::ordered64(a), ib = float_detail::ordered64(b);
  __int128 high_diff = (ia >> 32) - (ib >> 32);
  __int128 diff = ia - ib;
  if (high_diff < 0) high_diff = -high_diff;
  if (diff < 0) diff = -diff;
  return high_diff < 2 && diff < 11;
}

bool near_equal32(float a, float b) {
  if (a != a || b != b) return false;
  if (a == b) return true;
  uint32_t ba, bb;
  std::memcpy(&ba, &a, 4);
  std::memcpy(&bb, &b, 4);
  uint32_t ma = ba & 0x7FFFFFFF, mb = bb & 0x7FFFFFFF;
  if (ma > 0x7F7FFFFE || mb > 0x7F7FFFFE) {
    if ((ba ^ bb) & 0x80000000u) return false;
    uint32_t d = ma > mb ? ma - mb : mb - ma;
    return d < 0x100000;
  }
  if (ma == 0 && mb == 0) return true;
  int64_t d = static_cast<int64_t>(float_detail::ordered32(a)) - float_detail::ordered32(b);
  return d >= -10 && d <= 10;
}

int compare_numbers(double a, double b, int op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: return near_equal(a, b) ? 0 : 1;
    case COMP_STRICT_EQUAL: return a == b ? 0 : 1;
    case COMP_SAME: {
      uint64_t x, y;
      std::memcpy(&x, &a, 8);
      std::memcpy(&y, &b, 8);
      return x == y ? 0 : 1;
    }
    default:
      if (std::isnan(a) || std::isnan(b)) {
        if (op == COMP_LESSER || op == COMP_LESSER_EQUAL) return 1;
        if (op == COMP_GREATER || op == COMP_GREATER_EQUAL) return -1;
        return 0;
      }
      return a < b ? -1 : a > b ? 1 : 0;
  }
}

// ---- Rounding -----------------------------------------------------------------------------

Cell* round(Cell* value, Cell* scale_cell, bool even, bool down, bool half_down, bool floor_,
            bool ceiling, bool half_ceiling) {
  if (scale_cell && scale_cell->is(TYPE_MONEY)) {
    Cell name = numeric::running_call_word();
    numeric::raise_not_related(&name, TYPE_MONEY);
  }
  bool pct = value->is(TYPE_PERCENT);
  double x = value->float_value();
  double scale = pct ? 0.01 : 1.0;
  TypeId result_type = value->type();
  if (scale_cell) {
    switch (scale_cell->type()) {
      case TYPE_INTEGER: scale = std::fabs(static_cast<double>(scale_cell->int_value())); break;
      case TYPE_FLOAT: case TYPE_PERCENT: scale = std::fabs(scale_cell->float_value()); break;
      default: numeric::raise_expect_arg(scale_cell, "scale");
    }
    result_type = scale_cell->type();
    if (pct) scale /= 100.0;
  }

  double result = x;
  if (scale != 0 && !(std::fabs(x) * 0x1p-53 > scale) && std::isfinite(x) && !std::isnan(scale)) {
    // Scales too small for 1 / scale to be finite are brought into range by a power of two.
    bool tiny = scale < 1.0 && std::ilogb(scale) <= -1022;
    double v;
    if (scale >= 1.0) v = x / scale;
    else if (!tiny) v = x * (1.0 / scale);
    else v = std::ldexp(x, 600) / std::ldexp(scale, 600);

    double a = std::fabs(v);
    double lower = std::floor(a);
    double half = lower + 0.5;
    auto signed_ = [v](double m) { return std::copysign(m, v); };
    double r;
    if (down) r = signed_(lower);
    else if (floor_) r = std::floor(v);
    else if (ceiling) r = std::ceil(v);
    else if (a > half) r = signed_(std::ceil(a));
    else if (a < half) r = signed_(lower);
    else if (even) r = std::fmod(a, 2.0) >= 1.0 ? signed_(std::ceil(a)) : signed_(lower);
    else if (half_down) r = signed_(lower);
    else if (half_ceiling) r = std::ceil(v);
    else r = signed_(std::ceil(a));
    r += 0.0;   // no negative zero out of rounding

    if (scale >= 1.0) {
      result = r * scale;
      if (std::isinf(result)) numeric::raise_math("overflow");
    } else if (!tiny) {
      result = r / (1.0 / scale);
    } else {
      result = std::ldexp(r * std::ldexp(scale, 600), -600);
    }
  }

  if (result_type == TYPE_INTEGER) {
    int32_t i;
    if (!number::float_to_int32(result, &i)) numeric::raise_math("overflow");
    value->set_type(TYPE_INTEGER);
    value->data1 = 0;
    value->data3 = 0;
    value->set_int_value(i);
  } else {
    value->set_type(result_type);
    value->set_float_value(result);
  }
  return value;
}

Cell* power() {
  Cell* base = stack::base;
  Cell* e = base + 1;
  double exponent;
  if (e->is(TYPE_INTEGER)) exponent = e->int_value();
  else if (e->is(TYPE_FLOAT)) exponent = e->float_value();
  else numeric::raise_expect_arg(e, "exponent");
  base->set_float_value(std::pow(base->float_value(), exponent));
  return base;
}

// ---- Action handlers ------------------------------------------------------------------------

namespace float_detail {

Cell* float_make(Cell* proto, Cell* spec, int type) {
  TypeId target = (type == TYPE_PERCENT) ? TYPE_PERCENT : TYPE_FLOAT;
  double d = 0;
  switch (spec->type()) {
    case TYPE_INTEGER: case TYPE_CHAR: d = spec->int_value(); break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: d = spec->float_value(); break;
    case TYPE_MONEY: d = money::to_float(spec); break;
    case TYPE_BINARY: {
      uint8_t bytes[8];
      int n = numeric::binary_bytes(spec, bytes, 8);
      uint64_t bits = 0;
      for (int i = 0; i < n; i++) bits = (bits << 8) | bytes[i];
      std::memcpy(&d, &bits, 8);
      break;
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      SeriesBuffer* b = node_buffer(spec->node());
      uint32_t count = b->used() / sizeof(Cell);
      uint32_t index = spec->index() < count ? spec->index() : count;
      if (count - index != 2) numeric::raise_bad_to(target, spec);
      Cell* m = b->cells() + index;
      Cell* e = m + 1;
      auto number_of = [&](const Cell* c) {
        if (c->is(TYPE_INTEGER)) return static_cast<double>(c->int_value());
        if (c->is(TYPE_FLOAT)) return c->float_value();
        numeric::raise_bad_to(target, spec);
      };
      double mantissa = number_of(m);
      double exponent = std::trunc(number_of(e));
      d = mantissa * std::pow(10.0, exponent);
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      int unit;
      uint32_t count;
      const void* units = numeric::string_units(spec, &unit, &count);
      if (count == 0) numeric::raise_bad_to(target, spec);
      int err = 0;
      if (target == TYPE_FLOAT) {
        d = lexer::string_to_float(units, count, unit, &err);
        if (err) numeric::raise_bad_to(target, spec);
        break;
      }
      // A percent reads the number the text scans as: 50% is 0.5, 50 is 50.0.
      uint32_t first = 0, last = count;
      auto blank = [&](uint32_t i) {
        uint32_t c = unicode::read_unit(units, i, unit);
        return c == ' ' || c == '\t' || c == '\n' || c == '\r';
      };
      while (first < last && blank(first)) first++;
      while (last > first && blank(last - 1)) last--;
      if (first == last) numeric::raise_bad_to(target, spec);
      const uint8_t* start = static_cast<const uint8_t*>(units) + first * unit;
      bool is_pct = unicode::read_unit(units, last - 1, unit) == '%';
      uint32_t n = last - first - (is_pct ? 1 : 0);
      if (n == 0) numeric::raise_bad_to(target, spec);
      if (!is_pct) {
        int32_t i = lexer::string_to_integer(start, n, unit, &err);
        if (!err) { d = i; break; }
        err = 0;
      }
      d = lexer::string_to_float(start, n, unit, &err);
      if (err) numeric::raise_bad_to(target, spec);
      if (is_pct) d /= 100.0;
      break;
    }
    default: numeric::raise_bad_to(target, spec);
  }
  Cell* out = proto;
  *out = make_cell(target);
  out->set_float_value(d);
  return out;
}

Cell* float_random(Cell* value, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(value->data2 ^ value->data3);
    return set_unset(value);
  }
  double x = value->float_value();
  if (secure) {
    double s1 = random::next_secure(), s2 = random::next_secure();
    value->set_float_value(x * (s1 / 2147483647.0 + s2) / 2147483648.0);
  } else {
    value->set_float_value(x * (random::next() / 2147483647.0));
  }
  return value;
}

int append_text(Cell* buffer, const Text& t, int limit) {
  string::append_ascii(buffer->node(), t.text);
  return limit - t.length;
}

int float_form(Cell* value, Cell* buffer, Cell*, int limit) {
  return append_text(buffer, to_text(value->float_value(), KIND_FLOAT), limit);
}

int float_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int limit, int) {
  number::FloatText t = number::form_float(value->float_value(), 0, true);
  string::append_ascii(buffer->node(), t.text);
  return limit - t.length;
}

namespace float_detail {

// A percent token takes no exponent, so a percent text that has one is written out in
// full: "9.1e-6%" becomes "0.0000091%", "1.5e22%" "15000000000000000000000%". out holds
// at least 400 characters (the smallest double, times 100, has 322 leading zeros).
int percent_positional(const Text& t, char* out) {
  const char* e = std::strchr(t.text, 'e');
  if (!e) {
    std::memcpy(out, t.text, t.length + 1);
    return t.length;
  }
  int n = 0;
  const char* p = t.text;
  if (*p == '-') out[n++] = *p++;
  char digits[48];
  int nd = 0, point = -1;
  for (; p < e; p++) {
    if (*p == '.') point = nd;
    else digits[nd++] = *p;
  }
  if (point < 0) point = nd;
  // The exponent moves the decimal point, counted from the first digit.
  const char* x = e + 1;
  bool minus = *x == '-';
  if (*x == '-' || *x == '+') x++;
  int exponent = 0;
  for (; *x >= '0' && *x <= '9'; x++) exponent = exponent * 10 + (*x - '0');
  point += minus ? -exponent : exponent;
  while (nd > 1 && digits[nd - 1] == '0' && nd > point) nd--;
  if (point <= 0) {
    out[n++] = '0';
    out[n++] = '.';
    for (int i = point; i < 0; i++) out[n++] = '0';
    for (int i = 0; i < nd; i++) out[n++] = digits[i];
  } else {
    for (int i = 0; i < point; i++) out[n++] = i < nd ? digits[i] : '0';
    if (nd > point) {
      out[n++] = '.';
      for (int i = point; i < nd; i++) out[n++] = digits[i];
    }
  }
  out[n++] = '%';
  out[n] = 0;
  return n;
}

}  // namespace float_detail

int percent_form(Cell* value, Cell* buffer, Cell*, int limit) {
  char text[400];
  int length = float_detail::percent_positional(
      to_text(value->float_value() * 100.0, KIND_PERCENT), text);
  string::append_ascii(buffer->node(), text);
  return limit - length;
}

int percent_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return percent_form(value, buffer, part, limit);
}

int float_compare(Cell* l, Cell* r, int op) {
  if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND_EQUAL) && r->type() != l->type())
    return 1;
  double b;
  switch (r->type()) {
    case TYPE_INTEGER: b = r->int_value(); break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: b = r->float_value(); break;
    case TYPE_MONEY: {
      double a = l->float_value();
      // A NaN orders with nothing, money included.
      if (std::isnan(a)) return compare_numbers(a, 0.0, op);
      // Money compares the float taken strictly as an amount (and orders the floats it cannot
      // hold); seen from the float's side the order turns round.
      // A percent or a time stands for its number here.
      Cell number = make_cell(TYPE_FLOAT);
      number.set_float_value(a);
      auto compare = reinterpret_cast<act::Compare>(action_entry(TYPE_MONEY, ACT_COMPARE));
      return -compare(r, &number, op);
    }
    default: return COMPARE_UNRELATED;
  }
  return compare_numbers(l->float_value(), b, op);
}

Cell* float_absolute() {
  stack::base->data3 &= 0x7FFFFFFFu;
  return stack::base;
}

Cell* float_negate(Cell* value) {
  value->set_float_value(0.0 - value->float_value());
  return value;
}

// Parity of the whole part; infinities and NaN are neither even nor odd.
int parity(const Cell* value) {
  double x = value->float_value();
  if (!std::isfinite(x)) return -1;
  return std::fabs(std::fmod(std::trunc(x), 2.0)) == 1.0 ? 1 : 0;
}
bool float_even(Cell* value) { return parity(value) == 0; }
bool float_odd(Cell* value) { return parity(value) == 1; }

Cell* float_add() { return do_math_op(0); }
Cell* float_subtract() { return do_math_op(1); }
Cell* float_multiply() { return do_math_op(2); }
Cell* float_divide() { return do_math_op(3); }
Cell* float_remainder() { return do_math_op(4); }

}  // namespace float_detail

void init() {
  using namespace float_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(float_make);
  row[ACT_RANDOM - 1] = entry<act::Random>(float_random);
  row[ACT_TO - 1] = entry<act::Make>(float_make);
  row[ACT_FORM - 1] = entry<act::Form>(float_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(float_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(float_compare);
  row[ACT_ABSOLUTE - 1] = entry<act::StackReading>(float_absolute);
  row[ACT_ADD - 1] = entry<act::StackReading>(float_add);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(float_divide);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(float_multiply);
  row[ACT_NEGATE - 1] = entry<act::Unary>(float_negate);
  row[ACT_POWER - 1] = entry<act::StackReading>(power);
  row[ACT_REMAINDER - 1] = entry<act::StackReading>(float_remainder);
  row[ACT_ROUND - 1] = entry<act::Round>(round);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(float_subtract);
  row[ACT_EVEN_Q - 1] = entry<act::Predicate>(float_even);
  row[ACT_ODD_Q - 1] = entry<act::Predicate>(float_odd);
  datatype::register_type(TYPE_FLOAT, TYPE_NONE_ID, "float!", row);
}

}  // namespace float_

namespace percent {
void init() {
  using namespace float_::float_detail;
  ActionRow row;
  row.fill(INHERIT);
  row[ACT_FORM - 1] = entry<act::Form>(percent_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(percent_mold);
  datatype::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!", row);
}
}  // namespace percent

}  // namespace tav
