#include "datatypes/pair.h"

#include <cmath>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/object.h"
#include "datatypes/point.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "core/ownership.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {

namespace compound {

Cell scan_one(Cell* spec, TypeId target) {
  Cell* out = set_unset(stack::new_cell());
  uint32_t end = 0;
  // A first pass only checks, so that a malformed text is a conversion error, not a syntax
  // error.
  int type = lexer::scan_string(spec, -1, lexer::Mode::scan, true, nullptr, out, &end);
  if (type != target) {
    stack::pop(1);
    numeric::raise_bad_to(target, spec);
  }
  lexer::scan_string(spec, -1, lexer::Mode::load, true, nullptr, out, &end);
  SeriesBuffer* b = node_buffer(out->node());
  Cell value = b->count() > 0 ? b->cells()[0] : make_cell(TYPE_NONE);
  stack::pop(1);
  if (!value.is(target)) numeric::raise_bad_to(target, spec);
  value.header &= ~FLAG_NEW_LINE;
  return value;
}

void notify_set(Cell* holder, Cell* field, Cell* before, Cell* after, Cell* value,
                int32_t index) {
  if (!holder) return;
  if (holder->is(TYPE_OBJECT)) {
    if (field && word::is_any_word(field->type())) {
      object::fire_on_change(holder, field, before, after);
    }
    return;
  }
  ownership::check_and_notify(holder, &words::set_path, value, index, 1);
}

}  // namespace compound

namespace pair {

Cell* make_at(Cell* c, int32_t x, int32_t y) {
  c->set_type(TYPE_PAIR);
  c->data1 = 0;
  c->data2 = static_cast<uint32_t>(x);
  c->data3 = static_cast<uint32_t>(y);
  return c;
}

Cell* append_to_block(const Cell* block, int32_t x, int32_t y) {
  Cell* c = set_none(series::new_tail_cell(block));
  return make_at(c, x, y);
}

Cell* push(int32_t x, int32_t y) { return make_at(set_none(stack::new_cell()), x, y); }

int field_index(const Cell* word, const Cell* value) {
  uint32_t sym = symbol::alias(word->data2);
  if (sym == symbol::alias(symbols::x)) return 1;
  if (sym == symbol::alias(symbols::y)) return 2;
  if (value && value->is(TYPE_PAIR)) error::raise(ERR_SCRIPT, "cannot-use", word, value);
  error::raise(ERR_SCRIPT, "invalid-path", value, word);
}

namespace pair_detail {

// The pair in the result slot becomes the point2D! it stands for.
void result_to_point() {
  Cell* p = stack::base;
  point2D::make_at(p, static_cast<float>(x_of(p)), static_cast<float>(y_of(p)));
}

// Redoes the operation on both operands as point2D! values.
Cell* redo_as_points(int op) {
  result_to_point();
  Cell* right = stack::base + 1;
  if (right->is(TYPE_PAIR)) {
    point2D::make_at(right, static_cast<float>(x_of(right)), static_cast<float>(y_of(right)));
  }
  return point2D::do_math_op(op);
}

void check_float_operand(const Cell* c) {
  if (float_::is_special(c->float_value())) error::raise(ERR_SCRIPT, "invalid-arg", c);
}

}  // namespace pair_detail

Cell* do_math_op(int op) {
  using namespace pair_detail;
  Cell* left = stack::base;
  Cell* right = left + 1;
  int32_t rx, ry;
  switch (right->type()) {
    case TYPE_INTEGER:
      rx = ry = right->int_value();
      break;
    case TYPE_PAIR:
      rx = x_of(right);
      ry = y_of(right);
      break;
    case TYPE_POINT2D:
      if (op > 4) numeric::raise_invalid_type(right);
      result_to_point();
      return point2D::do_math_op(op);
    case TYPE_FLOAT: case TYPE_PERCENT: {
      check_float_operand(right);
      double f = right->float_value();
      if (op == 2 || op == 3) {
        if (op == 3 && f == 0.0) numeric::raise_math("zero-divide");
        double x = x_of(left), y = y_of(left);
        double rx_ = op == 2 ? x * f : x / f;
        double ry_ = op == 2 ? y * f : y / f;
        point2D::make_at(left, static_cast<float>(rx_), static_cast<float>(ry_));
        return left;
      }
      int32_t i;
      if (!number::float_to_int32(f, &i)) numeric::raise_math("overflow");
      rx = ry = i;
      break;
    }
    default:
      numeric::raise_invalid_type(right);
  }
  Cell cx = make_cell(TYPE_INTEGER), cy = make_cell(TYPE_INTEGER);
  int32_t x = integer::do_math(x_of(left), rx, op, &cx);
  int32_t y = integer::do_math(y_of(left), ry, op, &cy);
  if (!cx.is(TYPE_INTEGER) || !cy.is(TYPE_INTEGER)) {
    // Not exact in 32-bit integers: the whole operation moves to point2D!.
    if (!right->is(TYPE_PAIR)) pair::make_at(right, rx, ry);
    return redo_as_points(op);
  }
  return make_at(left, x, y);
}

namespace pair_detail {

int32_t component_of_number(const Cell* c, Cell* spec) {
  if (c->is(TYPE_INTEGER)) return c->int_value();
  int32_t i;
  if (!number::float_to_int32(c->float_value(), &i)) error::raise(ERR_SCRIPT, "invalid-arg", spec);
  return i;
}

Cell* pair_make(Cell* proto, Cell* spec, int) {
  int32_t x = 0, y = 0;
  switch (spec->type()) {
    case TYPE_PAIR: *proto = *spec; return proto;
    case TYPE_INTEGER: case TYPE_FLOAT:
      x = y = component_of_number(spec, spec);
      break;
    case TYPE_BLOCK: {
      SeriesBuffer* b = node_buffer(spec->node());
      uint32_t count = b->count();
      uint32_t index = spec->index();
      Cell* c = b->cells() + index;
      auto number = [](const Cell* v) { return v->is(TYPE_INTEGER) || v->is(TYPE_FLOAT); };
      if (index + 2 > count || !number(c) || !number(c + 1)) {
        error::raise(ERR_SYNTAX, "malconstruct", spec);
      }
      x = component_of_number(c, spec);
      y = component_of_number(c + 1, spec);
      break;
    }
    case TYPE_STRING: *proto = compound::scan_one(spec, TYPE_PAIR); return proto;
    case TYPE_POINT2D: {
      float fx = point::x_of(spec), fy = point::y_of(spec);
      if (!std::isfinite(fx) || !std::isfinite(fy) || !number::float_to_int32(fx, &x) ||
          !number::float_to_int32(fy, &y)) {
        error::raise(ERR_SCRIPT, "invalid-arg", spec);
      }
      break;
    }
    default: numeric::raise_bad_to(TYPE_PAIR, spec);
  }
  *proto = make_cell(TYPE_PAIR);
  return make_at(proto, x, y);
}

Cell* pair_random(Cell* value, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(value->data2 ^ value->data3);
    return set_unset(value);
  }
  int32_t x = x_of(value), y = y_of(value);
  if (x != 0) x = random::int_in_range(secure, x);
  if (y != 0) y = random::int_in_range(secure, y);
  return make_at(value, x, y);
}

int pair_form(Cell* value, Cell* buffer, Cell*, int limit) {
  integer::DecimalText x = integer::to_decimal(x_of(value));
  integer::DecimalText y = integer::to_decimal(y_of(value));
  string::append_ascii(buffer->node(), x.text);
  string::append_ascii(buffer->node(), "x");
  string::append_ascii(buffer->node(), y.text);
  return limit - x.length - 1 - y.length;
}

int pair_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return pair_form(value, buffer, part, limit);
}

Cell* pair_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder,
                     Cell* field, int, bool, bool, bool, bool evt) {
  int index = 0;
  if (element->is(TYPE_INTEGER)) {
    int32_t i = element->int_value();
    if (i == 1 || i == 2) index = i;
  } else if (element->is(TYPE_WORD)) {
    // The path, not the pair, goes with an unknown field: the error names where it failed.
    Cell none = make_cell(TYPE_NONE);
    index = field_index(element, path ? path : &none);
  }
  if (index == 0) error::raise(ERR_SCRIPT, "invalid-path", path ? path : parent, element);
  if (!value) return integer::push(index == 1 ? x_of(parent) : y_of(parent));
  if (!value->is(TYPE_INTEGER)) numeric::raise_invalid_type(value);
  Cell before = *parent;
  if (index == 1) parent->data2 = static_cast<uint32_t>(value->int_value());
  else parent->data3 = static_cast<uint32_t>(value->int_value());
  if (evt) {
    Cell after = *parent;
    compound::notify_set(holder, field, &before, &after, value, index);
  }
  // The changed pair goes back where it lives; the path's value is the one set.
  return parent;
}

int pair_compare(Cell* a, Cell* b, int op) {
  if (b->is(TYPE_POINT2D)) {
    Cell p = *a;
    point2D::make_at(&p, static_cast<float>(x_of(a)), static_cast<float>(y_of(a)));
    return point::compare(&p, b, op);
  }
  if (!b->is(TYPE_PAIR)) return COMPARE_UNRELATED;
  int32_t ax = x_of(a), bx = x_of(b);
  if (ax != bx) return ax < bx ? -1 : 1;
  int32_t ay = y_of(a), by = y_of(b);
  return ay < by ? -1 : ay > by ? 1 : 0;
}

Cell* pair_absolute() {
  Cell* p = stack::base;
  return make_at(p, integer::absolute(x_of(p)), integer::absolute(y_of(p)));
}

Cell* pair_negate(Cell* p) {
  int32_t x = x_of(p), y = y_of(p);
  if (x == INT32_MIN || y == INT32_MIN) numeric::raise_math("overflow");
  return make_at(p, -x, -y);
}

// Each component goes through integer! rounding with its own scale.
int32_t round_component(int32_t v, Cell* scale, bool even, bool down, bool half_down,
                        bool floor, bool ceiling, bool half_ceiling) {
  auto round_ = reinterpret_cast<act::Round>(action_entry(TYPE_INTEGER, ACT_ROUND));
  Cell c;
  set_integer(&c, v);
  Cell* r = round_(&c, scale, even, down, half_down, floor, ceiling, half_ceiling);
  if (r->is(TYPE_INTEGER)) return r->int_value();
  int32_t i;
  if (!number::float_to_int32(r->float_value(), &i)) numeric::raise_math("overflow");
  return i;
}

Cell* pair_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                 bool ceiling, bool half_ceiling) {
  if (scale && scale->is(TYPE_MONEY)) {
    Cell name = numeric::running_call_word();
    numeric::raise_not_related(&name, TYPE_MONEY);
  }
  Cell sx, sy;
  Cell* scale_x = scale;
  Cell* scale_y = scale;
  if (scale && scale->is(TYPE_PAIR)) {
    scale_x = set_integer(&sx, x_of(scale));
    scale_y = set_integer(&sy, y_of(scale));
  }
  int32_t x = round_component(x_of(value), scale_x, even, down, half_down, floor, ceiling,
                              half_ceiling);
  int32_t y = round_component(y_of(value), scale_y, even, down, half_down, floor, ceiling,
                              half_ceiling);
  return make_at(value, x, y);
}

Cell* pair_pick(Cell* value, int index, Cell* boxed) {
  int field = 0;
  if (boxed && word::is_any_word(boxed->type())) {
    uint32_t sym = symbol::alias(boxed->data2);
    if (sym == symbol::alias(symbols::x)) field = 1;
    else if (sym == symbol::alias(symbols::y)) field = 2;
  } else if (!boxed || boxed->is(TYPE_INTEGER) || boxed->is(TYPE_CHAR) || boxed->is(TYPE_LOGIC)) {
    if (index == 1 || index == 2) field = index;
  }
  if (field == 0) {
    Cell i;
    set_integer(&i, index);
    error::raise(ERR_SCRIPT, "out-of-range", boxed ? boxed : &i);
  }
  return integer::push(field == 1 ? x_of(value) : y_of(value));
}

Cell* pair_reverse(Cell* value, Cell*, Cell*) { return make_at(value, y_of(value), x_of(value)); }

Cell* pair_add() { return do_math_op(0); }
Cell* pair_subtract() { return do_math_op(1); }
Cell* pair_multiply() { return do_math_op(2); }
Cell* pair_divide() { return do_math_op(3); }
Cell* pair_remainder() { return do_math_op(4); }
Cell* pair_or() { return do_math_op(5); }
Cell* pair_and() { return do_math_op(6); }
Cell* pair_xor() { return do_math_op(7); }

}  // namespace pair_detail

void init() {
  using namespace pair_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(pair_make);
  row[ACT_RANDOM - 1] = entry<act::Random>(pair_random);
  row[ACT_TO - 1] = entry<act::Make>(pair_make);
  row[ACT_FORM - 1] = entry<act::Form>(pair_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(pair_mold);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(pair_eval_path);
  row[ACT_COMPARE - 1] = entry<act::Compare>(pair_compare);
  row[ACT_ABSOLUTE - 1] = entry<act::StackReading>(pair_absolute);
  row[ACT_NEGATE - 1] = entry<act::Unary>(pair_negate);
  row[ACT_ADD - 1] = entry<act::StackReading>(pair_add);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(pair_subtract);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(pair_multiply);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(pair_divide);
  row[ACT_REMAINDER - 1] = entry<act::StackReading>(pair_remainder);
  row[ACT_AND_T - 1] = entry<act::StackReading>(pair_and);
  row[ACT_OR_T - 1] = entry<act::StackReading>(pair_or);
  row[ACT_XOR_T - 1] = entry<act::StackReading>(pair_xor);
  row[ACT_ROUND - 1] = entry<act::Round>(pair_round);
  row[ACT_PICK - 1] = entry<act::Pick>(pair_pick);
  row[ACT_REVERSE - 1] = entry<act::Reverse>(pair_reverse);
  datatype::register_type(TYPE_PAIR, TYPE_NONE_ID, "pair!", row);
}

}  // namespace pair

}  // namespace tav
