#include "datatypes/point.h"

#include <cmath>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {

namespace point2D {

Cell* make_at(Cell* c, float x, float y) {
  c->set_type(TYPE_POINT2D);
  c->data1 = point::float_word(x);
  c->data2 = point::float_word(y);
  c->data3 = 0;
  return c;
}

Cell* push(float x, float y) { return make_at(set_none(stack::new_cell()), x, y); }

Cell* append_to_block(const Cell* block, float x, float y) {
  return make_at(set_none(series::new_tail_cell(block)), x, y);
}

}  // namespace point2D

namespace point3D {

Cell* make_at(Cell* c, float x, float y, float z) {
  c->set_type(TYPE_POINT3D);
  c->data1 = point::float_word(x);
  c->data2 = point::float_word(y);
  c->data3 = point::float_word(z);
  return c;
}

Cell* push(float x, float y, float z) { return make_at(set_none(stack::new_cell()), x, y, z); }

Cell* append_to_block(const Cell* block, float x, float y, float z) {
  return make_at(set_none(series::new_tail_cell(block)), x, y, z);
}

}  // namespace point3D

namespace point {

int components(const Cell* c, float out[3]) {
  out[0] = x_of(c);
  out[1] = y_of(c);
  out[2] = c->is(TYPE_POINT3D) ? z_of(c) : 0.0f;
  return c->is(TYPE_POINT3D) ? 3 : 2;
}

float component_of(const Cell* number) {
  if (number->is(TYPE_INTEGER)) return static_cast<float>(number->int_value());
  return static_cast<float>(number->float_value());
}

namespace point_detail {

// Writes n components into the cell as a point of that dimension.
Cell* store(Cell* c, const float v[3], int n) {
  if (n == 3) return point3D::make_at(c, v[0], v[1], v[2]);
  return point2D::make_at(c, v[0], v[1]);
}

// The float operation of every numeric type, on doubles.
double float_op(double l, double r, int op) {
  switch (op) {
    case 0: return l + r;
    case 1: return l - r;
    case 2: return l * r;
    case 3: return l / r;
    default:
      if (std::isfinite(r)) return std::fmod(l, r);
      if (std::isnan(r)) return std::nan("");
      return std::isfinite(l) ? l : std::nan("");
  }
}

Cell* math(int op) {
  Cell* left = stack::base;
  Cell* right = left + 1;
  TypeId lt = left->type();
  if (lt != TYPE_POINT2D && lt != TYPE_POINT3D) numeric::raise_invalid_type(left);
  if (op > 4) numeric::raise_invalid_type(right);
  float l[3];
  int n = components(left, l);
  double r[3];
  switch (right->type()) {
    case TYPE_INTEGER:
      r[0] = r[1] = r[2] = right->int_value();
      break;
    case TYPE_FLOAT: case TYPE_PERCENT: {
      double f = right->float_value();
      if (op == 2 || op == 3) {
        // A scale factor works in the components' own precision.
        float s = static_cast<float>(f);
        float out[3];
        for (int i = 0; i < n; i++) out[i] = op == 2 ? l[i] * s : l[i] / s;
        return store(left, out, n);
      }
      r[0] = r[1] = r[2] = f;
      break;
    }
    case TYPE_PAIR:
      if (n != 2) numeric::raise_invalid_type(right);
      r[0] = pair::x_of(right);
      r[1] = pair::y_of(right);
      break;
    default: {
      if (right->type() != lt) numeric::raise_invalid_type(right);
      float rv[3];
      components(right, rv);
      for (int i = 0; i < 3; i++) r[i] = rv[i];
    }
  }
  float out[3];
  for (int i = 0; i < n; i++) out[i] = static_cast<float>(float_op(l[i], r[i], op));
  return store(left, out, n);
}

}  // namespace point_detail

int compare(Cell* a, Cell* b, int op) {
  Cell converted;
  if (a->is(TYPE_POINT2D) && b->is(TYPE_PAIR)) {
    converted = *b;
    point2D::make_at(&converted, static_cast<float>(pair::x_of(b)),
                     static_cast<float>(pair::y_of(b)));
    b = &converted;
  }
  if (b->type() != a->type()) return COMPARE_UNRELATED;
  float l[3], r[3];
  int n = components(a, l);
  components(b, r);
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL:
      for (int i = 0; i < n; i++) {
        if (!float_::near_equal32(l[i], r[i])) return 1;
      }
      return 0;
    case COMP_STRICT_EQUAL:
      for (int i = 0; i < n; i++) {
        if (l[i] != r[i]) return 1;
      }
      return 0;
    case COMP_SAME:
      for (int i = 0; i < n; i++) {
        if (float_word(l[i]) != float_word(r[i])) return 1;
      }
      return 0;
    default: {
      float d = 0.0f;
      for (int i = 0; i < n; i++) {
        d = l[i] - r[i];
        if (!float_::near_equal32(d, 0.0f)) break;
      }
      return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
  }
}

namespace point_detail {

Cell* point_make(Cell* proto, Cell* spec, int type) {
  TypeId target = type == TYPE_POINT3D ? TYPE_POINT3D : TYPE_POINT2D;
  int n = target == TYPE_POINT3D ? 3 : 2;
  float v[3] = {0.0f, 0.0f, 0.0f};
  switch (spec->type()) {
    case TYPE_BLOCK: {
      SeriesBuffer* b = node_buffer(spec->node());
      uint32_t count = b->count();
      uint32_t index = spec->index();
      if (index + n > count) error::raise(ERR_SYNTAX, "malconstruct", spec);
      const Cell* c = b->cells() + index;
      for (int i = 0; i < n; i++) {
        if (!c[i].is(TYPE_INTEGER) && !c[i].is(TYPE_FLOAT)) {
          error::raise(ERR_SYNTAX, "malconstruct", spec);
        }
        v[i] = component_of(&c[i]);
      }
      break;
    }
    case TYPE_STRING:
      *proto = compound::scan_one(spec, target);
      return proto;
    case TYPE_INTEGER: case TYPE_FLOAT:
      v[0] = v[1] = v[2] = component_of(spec);
      break;
    case TYPE_PAIR:
      v[0] = static_cast<float>(pair::x_of(spec));
      v[1] = static_cast<float>(pair::y_of(spec));
      break;
    case TYPE_POINT2D:
      v[0] = x_of(spec);
      v[1] = y_of(spec);
      break;
    case TYPE_POINT3D:
      if (target != TYPE_POINT3D) numeric::raise_bad_to(target, spec);
      components(spec, v);
      break;
    default: numeric::raise_bad_to(target, spec);
  }
  *proto = make_cell(target);
  return store(proto, v, n);
}

Cell* point_random(Cell* value, bool seed, bool secure, bool) {
  float v[3];
  int n = components(value, v);
  if (seed) {
    uint8_t bytes[12];
    std::memcpy(bytes, &value->data1, 4);
    std::memcpy(bytes + 4, &value->data2, 4);
    std::memcpy(bytes + 8, &value->data3, 4);
    random::seed_bytes(bytes, static_cast<size_t>(n) * 4);
    return set_unset(value);
  }
  for (int i = 0; i < n; i++) {
    if (v[i] == 0.0f) continue;
    double x = v[i];
    if (secure) {
      double s1 = random::next_secure(), s2 = random::next_secure();
      x = x * (s1 / 2147483647.0 + s2) / 2147483648.0;
    } else {
      x = x * (random::next() / 2147483647.0);
    }
    v[i] = static_cast<float>(x);
  }
  return store(value, v, n);
}

int point_form(Cell* value, Cell* buffer, Cell*, int limit) {
  float v[3];
  int n = components(value, v);
  NodeId out = buffer->node();
  string::append_ascii(out, "(");
  int written = 1;
  for (int i = 0; i < n; i++) {
    if (i > 0) {
      string::append_ascii(out, ", ");
      written += 2;
    }
    float_::Text t = float_::to_text(v[i], float_::KIND_POINT);
    string::append_ascii(out, t.c_str());
    written += t.length;
  }
  string::append_ascii(out, ")");
  return limit - written - 1;
}

int point_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return point_form(value, buffer, part, limit);
}

// The component an element or pick index names: 1..n, or the field words; 0 for none.
int field_of(const Cell* element, int n) {
  if (element->is(TYPE_INTEGER)) {
    int32_t i = element->int_value();
    return i >= 1 && i <= n ? i : 0;
  }
  if (!word::is_any_word(element->type())) return 0;
  uint32_t sym = symbol::alias(element->data2);
  if (sym == symbol::alias(symbols::x)) return 1;
  if (sym == symbol::alias(symbols::y)) return 2;
  if (n == 3 && sym == symbol::alias(symbols::z)) return 3;
  return 0;
}

Cell* point_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder,
                      Cell* field, int, bool, bool, bool, bool evt) {
  float v[3];
  int n = components(parent, v);
  int index = field_of(element, n);
  if (index == 0) error::raise(ERR_SCRIPT, "invalid-path", path ? path : parent, element);
  if (!value) return float_::push(v[index - 1]);
  if (!value->is(TYPE_INTEGER) && !value->is(TYPE_FLOAT)) numeric::raise_invalid_type(value);
  Cell before = *parent;
  v[index - 1] = component_of(value);
  store(parent, v, n);
  if (evt) {
    Cell after = *parent;
    compound::notify_set(holder, field, &before, &after, value, index);
  }
  // The changed point goes back where it lives; the path's value is the one set.
  return parent;
}

Cell* point_absolute() {
  Cell* p = stack::base;
  p->data1 &= 0x7FFFFFFFu;
  p->data2 &= 0x7FFFFFFFu;
  if (p->is(TYPE_POINT3D)) p->data3 &= 0x7FFFFFFFu;
  return p;
}

Cell* point_negate(Cell* p) {
  float v[3];
  int n = components(p, v);
  for (int i = 0; i < n; i++) v[i] = 0.0f - v[i];
  return store(p, v, n);
}

Cell* point_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
  if (scale && scale->is(TYPE_MONEY)) {
    Cell name = numeric::running_call_word();
    numeric::raise_not_related(&name, TYPE_MONEY);
  }
  float v[3];
  int n = components(value, v);
  Cell scales[3];
  Cell* per[3] = {scale, scale, scale};
  bool by_point = scale && (scale->is(TYPE_POINT2D) || scale->is(TYPE_POINT3D) ||
                            (n == 2 && scale->is(TYPE_PAIR)));
  if (by_point) {
    float s[3];
    int m;
    if (scale->is(TYPE_PAIR)) {
      s[0] = static_cast<float>(pair::x_of(scale));
      s[1] = static_cast<float>(pair::y_of(scale));
      m = 2;
    } else {
      m = components(scale, s);
    }
    // A point2D! scale leaves a third component to round to whole numbers.
    for (int i = 0; i < n; i++) per[i] = i < m ? set_float(&scales[i], s[i]) : nullptr;
  }
  for (int i = 0; i < n; i++) {
    Cell c;
    set_float(&c, v[i]);
    Cell* r = float_::round(&c, per[i], even, down, half_down, floor, ceiling, half_ceiling);
    v[i] = r->is(TYPE_INTEGER) ? static_cast<float>(r->int_value())
                               : static_cast<float>(r->float_value());
  }
  return store(value, v, n);
}

Cell* point_pick(Cell* value, int index, Cell* boxed) {
  float v[3];
  int n = components(value, v);
  Cell i;
  set_integer(&i, index);
  int field = field_of(boxed && word::is_any_word(boxed->type()) ? boxed : &i, n);
  if (field == 0) error::raise(ERR_SCRIPT, "out-of-range", boxed ? boxed : &i);
  return float_::push(v[field - 1]);
}

Cell* point_reverse(Cell* value, Cell*, Cell*) {
  float v[3];
  int n = components(value, v);
  float r[3] = {v[n - 1], v[n - 2], n == 3 ? v[0] : 0.0f};
  return store(value, r, n);
}

Cell* point_add() { return math(0); }
Cell* point_subtract() { return math(1); }
Cell* point_multiply() { return math(2); }
Cell* point_divide() { return math(3); }
Cell* point_remainder() { return math(4); }

}  // namespace point_detail

void init() {
  using namespace point_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(point_make);
  row[ACT_RANDOM - 1] = entry<act::Random>(point_random);
  row[ACT_TO - 1] = entry<act::Make>(point_make);
  row[ACT_FORM - 1] = entry<act::Form>(point_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(point_mold);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(point_eval_path);
  row[ACT_COMPARE - 1] = entry<act::Compare>(compare);
  row[ACT_ABSOLUTE - 1] = entry<act::StackReading>(point_absolute);
  row[ACT_ADD - 1] = entry<act::StackReading>(point_add);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(point_subtract);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(point_multiply);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(point_divide);
  row[ACT_REMAINDER - 1] = entry<act::StackReading>(point_remainder);
  row[ACT_NEGATE - 1] = entry<act::Unary>(point_negate);
  row[ACT_ROUND - 1] = entry<act::Round>(point_round);
  row[ACT_PICK - 1] = entry<act::Pick>(point_pick);
  row[ACT_REVERSE - 1] = entry<act::Reverse>(point_reverse);
  datatype::register_type(TYPE_POINT2D, TYPE_NONE_ID, "point2D!", row);
  datatype::register_type(TYPE_POINT3D, TYPE_NONE_ID, "point3D!", row);
}

}  // namespace point

namespace point2D {
Cell* do_math_op(int op) { return point::point_detail::math(op); }
}  // namespace point2D

namespace point3D {
Cell* do_math_op(int op) { return point::point_detail::math(op); }
}  // namespace point3D

}  // namespace tav
