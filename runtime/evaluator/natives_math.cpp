// Identity, logic and sign queries, max and min over mixed scalar kinds, bit shifts, hex
// issues, and the trigonometric, logarithmic, exponential and square-root natives. Each
// writes its result over its first argument, the call's result slot.
#include <cstddef>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/call_frame.h"
#include "core/cell.h"
#include "datatypes/float.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "evaluator/natives.h"
#include "core/number_text.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::natives {

namespace math_natives {

constexpr double PI = 3.141592653589793;
constexpr double LN_2 = 0.6931471805599453;
constexpr double E = 2.718281828459045;

using call_frame::arg;
using call_frame::done;
using call_frame::done_logic;

inline bool holds_double(TypeId t) {
  return t == TYPE_FLOAT || t == TYPE_PERCENT || t == TYPE_TIME;
}
inline bool is_number(TypeId t) {
  return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT;
}
inline bool is_float_nan(const Cell* c) {
  return (c->is(TYPE_FLOAT) || c->is(TYPE_PERCENT)) && std::isnan(c->float_value());
}

// ---- Identity --------------------------------------------------------------------------

inline uint32_t tuple_count(const Cell* c) { return (c->header >> 19) & 0xF; }
inline const uint8_t* tuple_bytes(const Cell* c) {
  return reinterpret_cast<const uint8_t*>(c) + offsetof(Cell, data1);
}
inline uint8_t* tuple_bytes(Cell* c) { return reinterpret_cast<uint8_t*>(c) + offsetof(Cell, data1); }

// Whether the type registered its own comparison: money! decides its identity there.
bool same_by_compare(Cell* a, Cell* b) {
  if (!action_entry(a->type(), ACT_COMPARE)) {
    return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
  return actions::compare_value(a, b, COMP_SAME) == 0;
}

bool same_value(Cell* a, Cell* b) {
  TypeId t = a->type();
  if (t != b->type()) return false;
  switch (t) {
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT:
      return a->data1 == b->data1;
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_BITSET:
      return a->data2 == b->data2;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_PAIR: case TYPE_TIME:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case TYPE_NONE: case TYPE_UNSET:
      return true;
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_POINT2D:
      return a->data1 == b->data1 && a->data2 == b->data2;
    case TYPE_OP:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case TYPE_TUPLE:
      return tuple_count(a) == tuple_count(b) &&
             std::memcmp(tuple_bytes(a), tuple_bytes(b), tuple_count(a)) == 0;
    case TYPE_MONEY:
      return same_by_compare(a, b);
    default:
      if (is_series_type(t)) return a->data1 == b->data1 && a->data2 == b->data2;
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
}

Status same_native(const int32_t*) { return done_logic(same_value(arg(0), arg(1))); }

Status not_native(const int32_t*) { return done_logic(!is_true(arg(0))); }

Status type_q_native(const int32_t* refs) {
  TypeId t = arg(0)->type();
  if (refs[0] < 0) {
    set_datatype(stack::base, t);
    return done();
  }
  const TypeEntry& e = type_table[t];
  if (e.word.type() != TYPE_NONE_ID) {
    *stack::base = e.word;
  } else {
    *stack::base = word::make(symbol::make(e.name ? e.name : "unset!"));
  }
  return done();
}

// ---- Sign queries ----------------------------------------------------------------------

// -1, 0 or 1; NaN counts as 0. Types without a sign raise expect-arg.
int sign_of(const Cell* v) {
  if (v->is(TYPE_INTEGER)) {
    int32_t n = v->int_value();
    return (n > 0) - (n < 0);
  }
  if (holds_double(v->type())) {
    double d = v->float_value();
    return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
  }
  numeric::raise_expect_arg(v, "number");
}

Status negative_q_native(const int32_t*) { return done_logic(sign_of(arg(0)) < 0); }
Status positive_q_native(const int32_t*) { return done_logic(sign_of(arg(0)) > 0); }
Status sign_q_native(const int32_t*) {
  set_integer(stack::base, sign_of(arg(0)));
  return done();
}

bool is_zero(const Cell* v) {
  switch (v->type()) {
    case TYPE_CHAR: case TYPE_INTEGER: return v->data2 == 0;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: return v->float_value() == 0.0;
    case TYPE_PAIR: return v->data2 == 0 && v->data3 == 0;
    case TYPE_TUPLE: {
      for (uint32_t k = 0; k < tuple_count(v); ++k)
        if (tuple_bytes(v)[k] != 0) return false;
      return true;
    }
    case TYPE_POINT2D: case TYPE_POINT3D: {
      int n = v->is(TYPE_POINT2D) ? 2 : 3;
      const uint32_t words[3] = {v->data1, v->data2, v->data3};
      for (int k = 0; k < n; ++k) {
        float f;
        std::memcpy(&f, &words[k], sizeof f);
        if (f != 0.0f) return false;
      }
      return true;
    }
    default: return false;
  }
}

Status zero_q_native(const int32_t*) { return done_logic(is_zero(arg(0))); }

Status nan_q_native(const int32_t*) {
  // An integer! holds no double to inspect.
  const Cell* v = arg(0);
  return done_logic(holds_double(v->type()) && std::isnan(v->float_value()));
}

// ---- max and min -----------------------------------------------------------------------

// An integer!'s value, or a float! truncated toward zero; type-limit when it does not fit.
int32_t number_to_integer(const Cell* v) {
  if (v->is(TYPE_INTEGER)) return v->int_value();
  int32_t n;
  if (!number::float_to_int32(v->float_value(), &n)) {
    Cell type;
    set_datatype(&type, TYPE_INTEGER);
    error::raise(ERR_SCRIPT, "type-limit", &type);
  }
  return n;
}
inline double number_to_float(const Cell* v) {
  return v->is(TYPE_INTEGER) ? v->int_value() : v->float_value();
}

inline float component(const Cell* p, int k) {
  const uint32_t words[3] = {p->data1, p->data2, p->data3};
  float f;
  std::memcpy(&f, &words[k], sizeof f);
  return f;
}
inline void set_component(Cell* p, int k, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  (k == 0 ? p->data1 : k == 1 ? p->data2 : p->data3) = bits;
}
inline Cell make_point2d(float x, float y) {
  Cell c = make_cell(TYPE_POINT2D);
  set_component(&c, 0, x);
  set_component(&c, 1, y);
  return c;
}

// A component gives way to a greater (max) or smaller (min) one, and to NaN.
inline float pick_float(float mine, float other, bool max) {
  return (std::isnan(other) || (max ? other > mine : other < mine)) ? other : mine;
}
inline int32_t pick_int(int32_t mine, int32_t other, bool max) {
  return max ? (other > mine ? other : mine) : (other < mine ? other : mine);
}

void points_max_min(Cell* p, const float* other, int n, bool max) {
  for (int k = 0; k < n; ++k) set_component(p, k, pick_float(component(p, k), other[k], max));
}

// Combines the composite value a with b in place; false when the pairing has no rule of
// its own and the ordering of the two values decides.
bool composite_max_min(Cell* a, Cell* b, bool max) {
  for (;;) {
    TypeId tb = b->type();
    switch (a->type()) {
      case TYPE_PAIR: {
        int32_t n;
        if (tb == TYPE_INTEGER || (tb == TYPE_FLOAT && number::float_to_int32(b->float_value(), &n))) {
          n = number_to_integer(b);
          a->data2 = static_cast<uint32_t>(pick_int(a->int_value(), n, max));
          a->data3 = static_cast<uint32_t>(pick_int(static_cast<int32_t>(a->data3), n, max));
          return true;
        }
        if (tb == TYPE_FLOAT) {
          float f = static_cast<float>(b->float_value());
          *b = make_point2d(f, f);
          continue;
        }
        if (tb == TYPE_PAIR) {
          a->data2 = static_cast<uint32_t>(pick_int(a->int_value(), b->int_value(), max));
          a->data3 = static_cast<uint32_t>(
              pick_int(static_cast<int32_t>(a->data3), static_cast<int32_t>(b->data3), max));
          return true;
        }
        if (tb == TYPE_POINT2D) {
          *a = make_point2d(static_cast<float>(a->int_value()),
                            static_cast<float>(static_cast<int32_t>(a->data3)));
          continue;
        }
        return false;
      }
      case TYPE_POINT2D: {
        float other[2];
        if (tb == TYPE_INTEGER || tb == TYPE_FLOAT) {
          other[0] = other[1] = static_cast<float>(number_to_float(b));
        } else if (tb == TYPE_PAIR) {
          other[0] = static_cast<float>(b->int_value());
          other[1] = static_cast<float>(static_cast<int32_t>(b->data3));
        } else if (tb == TYPE_POINT2D) {
          other[0] = component(b, 0);
          other[1] = component(b, 1);
        } else {
          return false;
        }
        points_max_min(a, other, 2, max);
        return true;
      }
      case TYPE_POINT3D: {
        float other[3];
        if (tb == TYPE_INTEGER || tb == TYPE_FLOAT) {
          other[0] = other[1] = other[2] = static_cast<float>(number_to_float(b));
        } else if (tb == TYPE_POINT3D) {
          for (int k = 0; k < 3; ++k) other[k] = component(b, k);
        } else {
          return false;
        }
        points_max_min(a, other, 3, max);
        return true;
      }
      case TYPE_TUPLE: {
        uint32_t n = tuple_count(a);
        if (tb == TYPE_INTEGER || tb == TYPE_FLOAT) {
          int32_t v = number_to_integer(b);
          uint8_t byte = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
          for (uint32_t k = 0; k < n; ++k)
            tuple_bytes(a)[k] = static_cast<uint8_t>(pick_int(tuple_bytes(a)[k], byte, max));
          return true;
        }
        if (tb == TYPE_TUPLE && tuple_count(b) == n) {
          for (uint32_t k = 0; k < n; ++k)
            tuple_bytes(a)[k] =
                static_cast<uint8_t>(pick_int(tuple_bytes(a)[k], tuple_bytes(b)[k], max));
          return true;
        }
        return false;
      }
      default:
        return false;
    }
  }
}

inline bool is_composite(TypeId t) {
  return t == TYPE_PAIR || t == TYPE_POINT2D || t == TYPE_POINT3D || t == TYPE_TUPLE;
}

Status max_min(bool max) {
  Cell* v1 = arg(0);
  Cell* v2 = arg(1);
  // NaN wins over any number.
  if (is_float_nan(v1) && is_number(v2->type())) return done();
  if (is_float_nan(v2) && is_number(v1->type())) {
    *v1 = *v2;
    return done();
  }
  Cell a = *v1, b = *v2;
  // A number against a composite: the composite takes the number in.
  if (is_composite(b.type()) && (a.is(TYPE_INTEGER) || a.is(TYPE_FLOAT))) std::swap(a, b);
  if (composite_max_min(&a, &b, max)) {
    *stack::base = a;
    return done();
  }
  bool less = actions::compare(v1, v2, COMP_LESSER);
  if (max ? less : !less) *stack::base = *v2;
  return done();
}

Status max_native(const int32_t*) { return max_min(true); }
Status min_native(const int32_t*) { return max_min(false); }

// ---- Bits and hex ----------------------------------------------------------------------

Status shift_native(const int32_t* refs) {
  int32_t data = arg(0)->int_value();
  int32_t bits = arg(1)->int_value();
  if (bits < 0) bits = 0;
  uint32_t u = static_cast<uint32_t>(data);
  int32_t result;
  if (refs[0] >= 0) {
    result = bits >= 32 ? 0 : static_cast<int32_t>(u << bits);
  } else if (refs[1] >= 0) {
    result = bits >= 32 ? 0 : static_cast<int32_t>(u >> bits);
  } else {
    result = bits >= 32 ? (data < 0 ? -1 : 0) : data >> bits;
  }
  set_integer(stack::base, result);
  return done();
}

Status to_hex_native(const int32_t* refs) {
  const char* digits = string::to_hex(arg(0)->int_value(), false);
  size_t len = std::strlen(digits);
  if (refs[0] >= 0) {
    Cell* length = arg(refs[0]);
    int32_t n = length->int_value();
    if (n <= 0) error::raise(ERR_SCRIPT, "invalid-arg", length);
    if (static_cast<size_t>(n) < len) {
      digits += len - static_cast<size_t>(n);
      len = static_cast<size_t>(n);
    }
  }
  *stack::base = make_cell(TYPE_ISSUE, 0, symbol::make(digits, len), 0xFFFFFFFF);
  return done();
}

// ---- Trigonometry, logarithms, roots ---------------------------------------------------

// Makes the result slot a float!: an integer! by value, a percent! keeps its fraction.
double to_float_result() {
  Cell* v = stack::base;
  if (v->is(TYPE_INTEGER)) set_float(v, v->int_value());
  else if (v->is(TYPE_PERCENT)) v->set_type(TYPE_FLOAT);
  return v->float_value();
}

inline Status float_result(double d) {
  set_float(stack::base, d);
  return done();
}

double angle_arg(const int32_t* refs, int radians_ref, int fold_mode) {
  double a = to_float_result();
  return refs[radians_ref] >= 0 ? a : number::angle_to_radians(a, fold_mode);
}

inline double clear_tiny(double d) { return std::fabs(d) < DBL_EPSILON ? 0.0 : d; }

Status sine_native(const int32_t* refs) { return float_result(clear_tiny(std::sin(angle_arg(refs, 0, 2)))); }
Status cosine_native(const int32_t* refs) { return float_result(clear_tiny(std::cos(angle_arg(refs, 0, 1)))); }

Status tangent_native(const int32_t* refs) {
  double a = angle_arg(refs, 0, 0);
  if (a == PI / 2.0) return float_result(HUGE_VAL);
  if (a == PI / -2.0) return float_result(-HUGE_VAL);
  return float_result(std::tan(a));
}

template <double (*Fn)(double)>
Status arc_native(const int32_t* refs) {
  double r = Fn(to_float_result());
  return float_result(refs[0] >= 0 ? r : r * 180.0 / PI);
}

Status arctangent2_native(const int32_t* refs) {
  double r = std::atan2(number_to_float(arg(0)), number_to_float(arg(1)));
  return float_result(refs[0] >= 0 ? r : r * (180.0 / PI));
}

double log_2(double x) { return std::log(x) / LN_2; }
double exp_e(double x) { return std::pow(E, x); }

template <double (*Fn)(double)>
Status float_fn_native(const int32_t*) {
  return float_result(Fn(to_float_result()));
}

double asin_of(double x) { return std::asin(x); }
double acos_of(double x) { return std::acos(x); }
double atan_of(double x) { return std::atan(x); }
double log10_of(double x) { return std::log10(x); }
double log_of(double x) { return std::log(x); }
double sqrt_of(double x) { return std::sqrt(x); }

}  // namespace math_natives

void register_math() {
  using namespace math_natives;
  put(NAT_SAME_Q, same_native);
  put(NAT_NOT, not_native);
  put(NAT_TYPE_Q, type_q_native);
  put(NAT_NEGATIVE_Q, negative_q_native);
  put(NAT_POSITIVE_Q, positive_q_native);
  put(NAT_SIGN_Q, sign_q_native);
  put(NAT_ZERO_Q, zero_q_native);
  put(NAT_NAN_Q, nan_q_native);
  put(NAT_MAX, max_native);
  put(NAT_MIN, min_native);
  put(NAT_SHIFT, shift_native);
  put(NAT_TO_HEX, to_hex_native);
  put(NAT_SINE, sine_native);
  put(NAT_COSINE, cosine_native);
  put(NAT_TANGENT, tangent_native);
  put(NAT_ARCSINE, arc_native<asin_of>);
  put(NAT_ARCCOSINE, arc_native<acos_of>);
  put(NAT_ARCTANGENT, arc_native<atan_of>);
  put(NAT_ARCTANGENT2, arctangent2_native);
  put(NAT_LOG_2, float_fn_native<log_2>);
  put(NAT_LOG_10, float_fn_native<log10_of>);
  put(NAT_LOG_E, float_fn_native<log_of>);
  put(NAT_EXP, float_fn_native<exp_e>);
  put(NAT_SQUARE_ROOT, float_fn_native<sqrt_of>);
}

}  // namespace tav::natives
