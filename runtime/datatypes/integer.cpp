#include "datatypes/integer.h"

#include <cmath>

#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "scanner/converters.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::integer {

Cell* push(int32_t value) { return set_integer(stack::new_cell(), value); }
Cell* set_result(int32_t value) { return set_integer(stack::base, value); }

Cell* make_at(Cell* c, int32_t value) {
  c->set_type(TYPE_INTEGER);
  c->set_int_value(value);
  return c;
}

Cell* append_to_block(const Cell* block, int32_t value) {
  return set_integer(series::new_tail_cell(block), value);
}

int32_t get_result() { return stack::base->int_value(); }
int32_t result_or_zero() { return stack::base->is(TYPE_INTEGER) ? stack::base->int_value() : 0; }

int32_t absolute(int32_t v) {
  if (v == INT32_MIN) numeric::raise_math("overflow");
  return v < 0 ? -v : v;
}

bool float_out_of_range(const Cell* float_cell) {
  double d = float_cell->float_value();
  return std::isnan(d) || d > 2147483647.0 || d < -2147483648.0;
}

int32_t do_math(int32_t left, int32_t right, int op, Cell* result) {
  int32_t r = 0;
  bool overflow = false;
  switch (op) {
    case 0: overflow = __builtin_add_overflow(left, right, &r); break;
    case 1: overflow = __builtin_sub_overflow(left, right, &r); break;
    case 2: overflow = __builtin_mul_overflow(left, right, &r); break;
    case 3: case 4:
      if (right == 0) numeric::raise_math("zero-divide");
      if (left == INT32_MIN && right == -1) numeric::raise_math("overflow");
      if (op == 4) {
        r = left % right;
      } else if (result && left % right != 0) {
        set_float(result, static_cast<double>(left) / right);
        return 0;
      } else {
        r = left / right;
      }
      break;
    case 5: r = left | right; break;
    case 6: r = left & right; break;
    case 7: r = left ^ right; break;
    default: error::raise(ERR_INTERNAL, "not-done");
  }
  if (overflow) {
    if (!result) numeric::raise_math("overflow");
    double l = left, rr = right;
    set_float(result, op == 0 ? l + rr : op == 1 ? l - rr : l * rr);
    return 0;
  }
  if (result) result->set_int_value(r);
  return r;
}

Cell* do_math_op(int op) {
  Cell* left = stack::base;
  Cell* right = left + 1;
  TypeId rt = right->type();
  switch (rt) {
    case TYPE_INTEGER: case TYPE_CHAR:
      do_math(left->int_value(), right->int_value(), op, left);
      return left;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      if (op > 4) numeric::raise_invalid_type(right);
      return float_::do_math_op(op);
    case TYPE_MONEY: case TYPE_VECTOR:
      return numeric::forward_math(rt, op);
    case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D: case TYPE_TUPLE: {
      if (op == 3) numeric::raise_not_related(&words::divide, TYPE_INTEGER);
      if (op == 1 && rt == TYPE_TUPLE) numeric::raise_not_related(&words::subtract, TYPE_INTEGER);
      numeric::swap_arguments();
      if (op == 1) {
        // n - compound is computed as -compound + n.
        ActionEntry negate = action_entry(rt, ACT_NEGATE);
        if (!negate) numeric::raise_invalid_type(stack::base);
        reinterpret_cast<act::Unary>(negate)(stack::base);
        op = 0;
      }
      return numeric::forward_math(rt, op);
    }
    case TYPE_DATE:
      if (op != 0) {
        Cell name = numeric::running_call_word();
        numeric::raise_not_related(&name, TYPE_INTEGER);
      }
      numeric::swap_arguments();
      return numeric::forward_math(rt, op);
    default:
      numeric::raise_invalid_type(right);
  }
}

namespace integer_detail {

Cell* integer_make_or_to(Cell* proto, Cell* spec, bool make) {
  int32_t v = 0;
  switch (spec->type()) {
    case TYPE_INTEGER: return spec;
    case TYPE_LOGIC:
      if (!make) numeric::raise_bad_to(TYPE_INTEGER, spec);
      v = spec->data1 != 0 ? 1 : 0;
      break;
    case TYPE_CHAR: v = spec->int_value(); break;
    case TYPE_FLOAT: case TYPE_PERCENT:
      if (!number::float_to_int32(spec->float_value(), &v)) {
        Cell type = make_cell(TYPE_DATATYPE, TYPE_INTEGER);
        error::raise(ERR_SCRIPT, "type-limit", &type);
      }
      break;
    case TYPE_TIME:
      if (!number::float_to_int32(spec->float_value() + 0.5, &v)) {
        Cell type = make_cell(TYPE_DATATYPE, TYPE_INTEGER);
        error::raise(ERR_SCRIPT, "type-limit", &type);
      }
      break;
    case TYPE_MONEY: v = money::to_integer(spec); break;
    case TYPE_DATE: v = date::to_epoch(spec); break;
    case TYPE_BINARY: {
      uint8_t bytes[4];
      int n = numeric::binary_bytes(spec, bytes, 4);
      uint32_t u = 0;
      for (int i = 0; i < n; i++) u = (u << 8) | bytes[i];
      v = static_cast<int32_t>(u);
      break;
    }
    case TYPE_ISSUE: {
      symbol::Name name = symbol::name(spec->data2);
      if (name.length > 8) error::raise(ERR_SCRIPT, "invalid-data", spec);
      uint32_t u = 0;
      for (uint32_t i = 0; i < name.length; i++) {
        // Only ASCII hexadecimal digits: a non-ASCII character is no digit.
        uint8_t c = static_cast<uint8_t>(name.bytes[i]);
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
        if (digit < 0) error::raise(ERR_SCRIPT, "invalid-data", spec);
        u = (u << 4) | static_cast<uint32_t>(digit);
      }
      v = static_cast<int32_t>(u);
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      int unit;
      uint32_t count;
      const void* units = numeric::string_units(spec, &unit, &count);
      int err = 0;
      v = count == 0 ? 0 : lexer::string_to_integer(units, count, unit, &err);
      if (count == 0 || err) numeric::raise_bad_to(TYPE_INTEGER, spec);
      break;
    }
    default: numeric::raise_bad_to(TYPE_INTEGER, spec);
  }
  return set_integer(proto, v);
}

Cell* integer_make(Cell* proto, Cell* spec, int) { return integer_make_or_to(proto, spec, true); }
Cell* integer_to(Cell* proto, Cell* spec, int) { return integer_make_or_to(proto, spec, false); }

Cell* integer_random(Cell* value, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(static_cast<uint32_t>(value->int_value()));
    return set_unset(value);
  }
  value->set_int_value(random::int_in_range(secure, value->int_value()));
  return value;
}

int integer_form(Cell* value, Cell* buffer, Cell*, int limit) {
  DecimalText t = to_decimal(value->int_value());
  string::append_ascii(buffer->node(), t.c_str());
  return limit - t.length;
}

int integer_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return integer_form(value, buffer, part, limit);
}

int integer_compare(Cell* value, Cell* other, int op) {
  TypeId ot = other->type();
  if ((op == COMP_FIND_EQUAL || op == COMP_STRICT_EQUAL) && ot != TYPE_INTEGER) return 1;
  switch (ot) {
    case TYPE_INTEGER: case TYPE_CHAR: {
      int32_t a = value->int_value(), b = other->int_value();
      return a < b ? -1 : a > b ? 1 : 0;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      // Compared as the float the integer stands for.
      if (op == COMP_SAME && ot != TYPE_FLOAT) return 1;
      return float_::compare_numbers(static_cast<double>(value->int_value()),
                                     other->float_value(), op);
    case TYPE_MONEY: {
      // The integer becomes an amount without currency, which money compares exactly.
      Cell* amount = money::push_from_integer(value->int_value());
      auto compare = reinterpret_cast<act::Compare>(action_entry(TYPE_MONEY, ACT_COMPARE));
      int answer = compare(amount, other, op);
      stack::pop(1);
      return answer;
    }
    default: return COMPARE_UNRELATED;
  }
}

Cell* integer_absolute() {
  stack::base->set_int_value(absolute(stack::base->int_value()));
  return stack::base;
}

Cell* integer_negate(Cell* value) {
  if (value->int_value() == INT32_MIN) numeric::raise_math("overflow");
  value->set_int_value(-value->int_value());
  return value;
}

Cell* integer_complement(Cell* value) {
  value->set_int_value(~value->int_value());
  return value;
}

bool integer_even(Cell* value) { return (value->data2 & 1) == 0; }
bool integer_odd(Cell* value) { return (value->data2 & 1) != 0; }

Cell* integer_power() {
  Cell* base = stack::base;
  Cell* e = base + 1;
  if (!e->is(TYPE_INTEGER) && !e->is(TYPE_FLOAT)) numeric::raise_expect_arg(e, "exponent");
  if (e->is(TYPE_INTEGER) && e->int_value() >= 0) {
    int32_t exponent = e->int_value();
    int32_t b = base->int_value();
    int32_t result = 1;
    bool exact = true;
    while (exponent != 0) {
      if ((exponent & 1) && __builtin_mul_overflow(result, b, &result)) { exact = false; break; }
      exponent >>= 1;
      if (exponent != 0 && __builtin_mul_overflow(b, b, &b)) { exact = false; break; }
    }
    if (exact) {
      base->set_int_value(result);
      return base;
    }
  }
  set_float(base, static_cast<double>(base->int_value()));
  return float_::power();
}

Cell* integer_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                    bool ceiling, bool half_ceiling) {
  if (scale && scale->is(TYPE_MONEY)) {
    Cell name = numeric::running_call_word();
    numeric::raise_not_related(&name, TYPE_MONEY);
  }
  int32_t v = value->int_value();
  if (v == INT32_MIN || !scale) return value;
  if (!scale->is(TYPE_INTEGER)) {
    set_float(value, static_cast<double>(v));
    return float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
  }
  int64_t s = absolute(scale->int_value());
  if (s == 0) return value;
  int64_t a = v < 0 ? -static_cast<int64_t>(v) : v;
  int64_t r = a % s;
  if (r == 0) return value;
  int64_t d = s - r;
  int64_t sign = v < 0 ? -1 : 1;
  auto toward_zero = [&] { return sign * (a - r); };
  auto away = [&] {
    int64_t up = a + d;
    if (up > INT32_MAX) numeric::raise_math("overflow");
    return sign * up;
  };
  int64_t result;
  if (down) result = toward_zero();
  else if (floor) result = v > 0 ? toward_zero() : away();
  else if (ceiling) result = v > 0 ? away() : toward_zero();
  else if (r < d) result = toward_zero();
  else if (r > d) result = away();
  else if (even) result = ((a / s) % 2 == 0) ? toward_zero() : away();
  else if (half_down) result = toward_zero();
  else if (half_ceiling) result = v > 0 ? away() : toward_zero();
  else result = away();
  value->set_int_value(static_cast<int32_t>(result));
  return value;
}

Cell* integer_add() { return do_math_op(0); }
Cell* integer_subtract() { return do_math_op(1); }
Cell* integer_multiply() { return do_math_op(2); }
Cell* integer_divide() { return do_math_op(3); }
Cell* integer_remainder() { return do_math_op(4); }
Cell* integer_or() { return do_math_op(5); }
Cell* integer_and() { return do_math_op(6); }
Cell* integer_xor() { return do_math_op(7); }

}  // namespace integer_detail

void init() {
  using namespace integer_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(integer_make);
  row[ACT_RANDOM - 1] = entry<act::Random>(integer_random);
  row[ACT_TO - 1] = entry<act::Make>(integer_to);
  row[ACT_FORM - 1] = entry<act::Form>(integer_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(integer_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(integer_compare);
  row[ACT_ABSOLUTE - 1] = entry<act::StackReading>(integer_absolute);
  row[ACT_ADD - 1] = entry<act::StackReading>(integer_add);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(integer_divide);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(integer_multiply);
  row[ACT_NEGATE - 1] = entry<act::Unary>(integer_negate);
  row[ACT_POWER - 1] = entry<act::StackReading>(integer_power);
  row[ACT_REMAINDER - 1] = entry<act::StackReading>(integer_remainder);
  row[ACT_ROUND - 1] = entry<act::Round>(integer_round);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(integer_subtract);
  row[ACT_EVEN_Q - 1] = entry<act::Predicate>(integer_even);
  row[ACT_ODD_Q - 1] = entry<act::Predicate>(integer_odd);
  row[ACT_AND_T - 1] = entry<act::StackReading>(integer_and);
  row[ACT_COMPLEMENT - 1] = entry<act::Unary>(integer_complement);
  row[ACT_OR_T - 1] = entry<act::StackReading>(integer_or);
  row[ACT_XOR_T - 1] = entry<act::StackReading>(integer_xor);
  datatype::register_type(TYPE_INTEGER, TYPE_NONE_ID, "integer!", row);
}

}  // namespace tav::integer
