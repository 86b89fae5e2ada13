#include "datatypes/vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"

namespace tav::vector {

namespace vector_detail {

[[noreturn]] void raise_with_type(const char* id, TypeId t) {
  Cell dt;
  set_datatype(&dt, t);
  error::raise(ERR_SCRIPT, id, &dt);
}

[[noreturn]] void raise_bad_make(const Cell* spec) {
  Cell dt;
  set_datatype(&dt, TYPE_VECTOR);
  error::raise(ERR_SCRIPT, "bad-make-arg", &dt, spec);
}

uint32_t default_size(TypeId t) { return is_float_kind(t) ? 8 : 4; }

uint32_t checked_bytes(uint64_t elements, uint32_t size) {
  uint64_t bytes = elements * size;
  if (bytes > 0xFFFFFF00ull - BUFFER_OVERHEAD) error::raise(ERR_INTERNAL, "no-memory");
  return static_cast<uint32_t>(bytes);
}

bool whole_kind(TypeId t) { return t == TYPE_INTEGER || t == TYPE_CHAR; }

uint8_t* address(const Cell* v, uint32_t pos) {
  SeriesBuffer* b = cell_buffer(v);
  return b->head_ptr() + size_t(pos) * b->unit();
}

uint32_t clamped_index(const Cell* v) {
  int32_t i = static_cast<int32_t>(v->index());
  uint32_t total = cell_buffer(v)->count();
  return i < 0 ? 0 : std::min(static_cast<uint32_t>(i), total);
}

// Appends one element (the value's type already checked), growing the buffer.
void append_raw(const Cell* v, const Cell* value) {
  uint32_t size = element_size(v);
  SeriesBuffer* b = series::ensure_room(v->node(), size);
  set_element(b->tail_ptr(), value, size);
  b->tail += size;
}

}  // namespace vector_detail

// ---- Storage ------------------------------------------------------------------------------

Cell* make_at(Cell* out, uint32_t capacity, TypeId type, uint32_t size) {
  set_unset(out);
  bool on_stack = out >= stack::begin && out < stack::end;
  uint32_t at = on_stack ? stack::index_of(out) : 0;
  if (capacity == 0) capacity = 1;
  vector_detail::checked_bytes(capacity, size);
  NodeId n = alloc::new_series(capacity, size, 0);
  if (on_stack) out = stack::at_index(at);
  *out = make_cell(TYPE_VECTOR, 0, n, type);
  return out;
}

uint32_t length(const Cell* v) {
  return cell_buffer(v)->count() - vector_detail::clamped_index(v);
}

int32_t get_integer(const uint8_t* p, uint32_t size) {
  switch (size) {
    case 1: return static_cast<int8_t>(*p);
    case 2: {
      int16_t x;
      std::memcpy(&x, p, 2);
      return x;
    }
    default: {
      int32_t x;
      std::memcpy(&x, p, 4);
      return x;
    }
  }
}

double get_float(const uint8_t* p, uint32_t size) {
  if (size == 4) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
  }
  double d;
  std::memcpy(&d, p, 8);
  return d;
}

Cell* element_value(Cell* out, const uint8_t* p, uint32_t size, TypeId type) {
  if (is_float_kind(type)) return set_float(out, get_float(p, size), type);
  int32_t x = get_integer(p, size);
  if (type == TYPE_CHAR) return set_char(out, static_cast<uint32_t>(x));
  return set_integer(out, x);
}

void set_element(uint8_t* p, const Cell* value, uint32_t size) {
  switch (value->type()) {
    case TYPE_INTEGER: case TYPE_CHAR: {
      uint32_t x = value->data2;
      if (size == 8) {
        double d = value->int_value();
        std::memcpy(p, &d, 8);
      } else {
        std::memcpy(p, &x, size);   // the low bytes: little-endian
      }
      return;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: {
      double d = value->float_value();
      if (size == 8) {
        std::memcpy(p, &d, 8);
      } else {
        float f = static_cast<float>(d);
        std::memcpy(p, &f, 4);
      }
      return;
    }
    default: vector_detail::raise_with_type("invalid-type", value->type());
  }
}

void check_kind(const Cell* v, const Cell* value) {
  TypeId t = value->type();
  bool number = vector_detail::whole_kind(t) || is_float_kind(t);
  if (!number) vector_detail::raise_with_type("invalid-type", t);
  if (is_float_kind(t) != is_float_kind(element_type(v)))
    error::raise(ERR_SCRIPT, "invalid-arg", value);
}

void check_type(const Cell* v, const Cell* value) {
  if (value->type() != element_type(v)) error::raise(ERR_SCRIPT, "invalid-arg", value);
}

Cell* to_block(const Cell* v, Cell* out) {
  Cell src = *v;   // out may be the vector's own cell
  uint32_t from = vector_detail::clamped_index(&src);
  uint32_t n = length(&src);
  block::make_at(out, n > 0 ? static_cast<int32_t>(n) : 1);
  for (uint32_t i = 0; i < n; i++) {
    Cell e;
    element_value(&e, vector_detail::address(&src, from + i), element_size(&src),
                  element_type(&src));
    block::append_cell(out, &e);
  }
  return out;
}

Cell* push_element(const Cell* v, uint32_t pos) {
  return element_value(stack::new_cell(), vector_detail::address(v, pos), element_size(v),
                       element_type(v));
}

void poke_element(const Cell* v, uint32_t pos, const Cell* value) {
  set_element(vector_detail::address(v, pos), value, element_size(v));
}

// ---- make -----------------------------------------------------------------------------------

namespace vector_detail {

TypeId element_type_word(const Cell* word) {
  uint32_t sym = word->data2;
  for (TypeId t : {TYPE_INTEGER, TYPE_CHAR, TYPE_FLOAT, TYPE_PERCENT})
    if (symbol::alias(sym) == symbol::alias(type_table[t].word.data2)) return t;
  return TYPE_NONE_ID;
}

Cell* make(Cell*, Cell* spec, int) {
  using namespace vector_detail;
  TypeId st = spec->type();
  if (st == TYPE_INTEGER || st == TYPE_FLOAT) {
    int32_t n = st == TYPE_INTEGER ? spec->int_value()
                                   : static_cast<int32_t>(std::trunc(spec->float_value()));
    uint32_t count = n < 0 ? 0 : static_cast<uint32_t>(n);
    Cell* out = make_at(stack::new_cell(), count, TYPE_INTEGER, 4);
    SeriesBuffer* b = cell_buffer(out);
    std::memset(b->head_ptr(), 0, size_t(count) * 4);
    b->tail = b->head + count * 4;
    return out;
  }
  if (st != TYPE_BLOCK) error::raise(ERR_INTERNAL, "not-done");
  uint32_t from = clamped_index(spec);
  uint32_t total = cell_buffer(spec)->count();
  uint32_t avail = total - from;
  auto item = [&](uint32_t i) { return cell_buffer(spec)->cells()[from + i]; };
  if (avail == 0) return make_at(stack::new_cell(), 1, TYPE_INTEGER, 4);

  TypeId type;
  uint32_t size;
  int64_t capacity = -1;
  Cell values{};   // the block of initial values, when there is one
  bool has_values = false;
  Cell first = item(0);
  if (first.is(TYPE_WORD)) {
    if (avail < 2) raise_bad_make(spec);
    type = element_type_word(&first);
    if (type == TYPE_NONE_ID) raise_bad_make(spec);
    uint32_t i = 1;
    Cell next = item(i);
    if (next.is(TYPE_INTEGER)) {
      int32_t bits = next.int_value();
      if (type == TYPE_PERCENT) {
        size = 8;
      } else if (whole_kind(type) && (bits == 8 || bits == 16 || bits == 32)) {
        size = static_cast<uint32_t>(bits) / 8;
      } else if (type == TYPE_FLOAT && (bits == 32 || bits == 64)) {
        size = static_cast<uint32_t>(bits) / 8;
      } else {
        raise_bad_make(spec);
      }
      i++;
    } else if (type == TYPE_PERCENT) {
      size = 8;
    } else {
      error::raise(ERR_SCRIPT, "invalid-spec-field", spec);
    }
    if (i >= avail) error::raise(ERR_SCRIPT, "invalid-spec-field", spec);
    Cell what = item(i);
    if (what.is(TYPE_INTEGER)) {
      capacity = what.int_value();
      if (i + 1 < avail && item(i + 1).is(TYPE_BLOCK)) {
        values = item(i + 1);
        has_values = true;
      }
    } else if (what.is(TYPE_BLOCK)) {
      values = what;
      has_values = true;
    } else {
      error::raise(ERR_SCRIPT, "invalid-spec-field", spec);
    }
  } else {
    type = first.type();
    if (!whole_kind(type) && !is_float_kind(type)) raise_with_type("invalid-type", type);
    size = default_size(type);
    values = *spec;
    has_values = true;
  }

  uint32_t vfrom = 0, vcount = 0;
  if (has_values) {
    vfrom = clamped_index(&values);
    vcount = cell_buffer(&values)->count() - vfrom;
  }
  bool from_block_length = capacity < 0 || (has_values && vcount >= capacity);
  bool below_one = capacity >= 0 && capacity < 1;
  if (capacity < 0 || (has_values && vcount >= capacity)) capacity = vcount;
  if (capacity < 1) capacity = 1;
  // Every value is checked before anything is made.
  for (uint32_t k = 0; k < vcount; k++) {
    Cell c = cell_buffer(&values)->cells()[vfrom + k];
    if (c.type() != type) error::raise(ERR_SCRIPT, "invalid-arg", &c);
  }
  Cell* out = make_at(stack::new_cell(), static_cast<uint32_t>(capacity), type, size);
  for (uint32_t k = 0; k < vcount; k++) {
    Cell c = cell_buffer(&values)->cells()[vfrom + k];
    append_raw(out, &c);
  }
  if (!from_block_length && !below_one && vcount < capacity) {
    SeriesBuffer* b = series::ensure_room(out->node(), checked_bytes(capacity - vcount, size));
    std::memset(b->tail_ptr(), 0, size_t(capacity - vcount) * size);
    b->tail += static_cast<uint32_t>(capacity - vcount) * size;
  }
  return out;
}

// ---- form and mold --------------------------------------------------------------------------

// Writes the elements from the index, one space apart; answers the limit left.
int write_elements(const Cell* v, NodeId out, bool mold, Cell* part, int limit) {
  uint32_t from = clamped_index(v);
  uint32_t n = length(v);
  uint32_t size = element_size(v);
  TypeId type = element_type(v);
  for (uint32_t i = 0; i < n; i++) {
    if (part && limit < 1) break;
    uint32_t before = string::length(out);
    if (i > 0) string::append_char(out, ' ');
    const uint8_t* p = address(v, from + i);
    switch (type) {
      case TYPE_CHAR: {
        uint32_t cp = static_cast<uint32_t>(get_integer(p, size));
        if (mold) {
          string::append_ascii(out, "#\"");
          string::mold_char(out, cp, string::ESCAPE_STRING, false);
          string::append_char(out, '"');
        } else {
          string::append_char(out, cp);
        }
        break;
      }
      case TYPE_INTEGER:
        string::append_ascii(out, integer::to_decimal(get_integer(p, size)).c_str());
        break;
      case TYPE_FLOAT:
        string::append_ascii(
            out, float_::to_text(get_float(p, size),
                                 size == 4 ? float_::KIND_FLOAT32 : float_::KIND_FLOAT)
                     .c_str());
        break;
      default:
        string::append_ascii(
            out, float_::to_text(get_float(p, size) * 100, float_::KIND_PERCENT).c_str());
        break;
    }
    limit -= static_cast<int>(string::length(out) - before);
  }
  return limit;
}

const char* type_name(TypeId t) {
  switch (t) {
    case TYPE_CHAR: return "char!";
    case TYPE_FLOAT: return "float!";
    case TYPE_PERCENT: return "percent!";
    default: return "integer!";
  }
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  return write_elements(value, buffer->node(), false, part, limit);
}

int mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell* part, int limit, int) {
  NodeId out = buffer->node();
  uint32_t start = string::length(out);
  TypeId type = element_type(value);
  uint32_t size = element_size(value);
  bool plain = length(value) > 0 && size == default_size(type);
  if (!only) string::append_ascii(out, "make vector! [");
  if (!plain) {
    string::append_ascii(out, type_name(type));
    string::append_char(out, ' ');
    string::append_ascii(out, integer::to_decimal(static_cast<int32_t>(size * 8)).c_str());
    string::append_ascii(out, " [");
  }
  limit -= static_cast<int>(string::length(out) - start);
  limit = write_elements(value, out, true, part, limit);
  uint32_t before = string::length(out);
  if (!plain) string::append_char(out, ']');
  if (!only) string::append_char(out, ']');
  return limit - static_cast<int>(string::length(out) - before);
}

// ---- compare --------------------------------------------------------------------------------

bool equality_op(int op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
         op == COMP_FIND_EQUAL;
}

int compare(Cell* a, Cell* b, int op) {
  if (!b->is(TYPE_VECTOR)) return COMPARE_UNRELATED;
  TypeId type = element_type(a);
  if (type != element_type(b)) error::raise(ERR_SCRIPT, "not-same-type");
  if (a->node() == b->node() && clamped_index(a) == clamped_index(b)) {
    if (op == COMP_SAME || equality_op(op)) return 0;
  }
  if (op == COMP_SAME) return -1;
  uint32_t la = length(a), lb = length(b);
  if (la != lb && equality_op(op)) return 1;
  uint32_t ia = clamped_index(a), ib = clamped_index(b);
  uint32_t sa = element_size(a), sb = element_size(b);
  uint32_t n = std::min(la, lb);
  for (uint32_t i = 0; i < n; i++) {
    const uint8_t* pa = address(a, ia + i);
    const uint8_t* pb = address(b, ib + i);
    if (is_float_kind(type)) {
      double x = get_float(pa, sa), y = get_float(pb, sb);
      if (x != y) return x < y ? -1 : 1;
    } else {
      int32_t x = get_integer(pa, sa), y = get_integer(pb, sb);
      if (x != y) return x < y ? -1 : 1;
    }
  }
  return la < lb ? -1 : la > lb ? 1 : 0;
}

// ---- arithmetic -----------------------------------------------------------------------------

// Whole-number arithmetic that wraps to 32 bits.
int32_t integer_op(int op, int32_t a, int32_t b) {
  uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  switch (op) {
    case 0: return static_cast<int32_t>(ua + ub);
    case 1: return static_cast<int32_t>(ua - ub);
    case 2: return static_cast<int32_t>(ua * ub);
    case 3:
      if (b == 0) error::raise(ERR_MATH, "zero-divide");
      if (b == -1) return static_cast<int32_t>(0u - ua);
      return a / b;
    case 4:
      if (b == 0) error::raise(ERR_MATH, "zero-divide");
      if (b == -1) return 0;
      return a % b;
    case 5: return a | b;
    case 6: return a & b;
    case 7: return a ^ b;
    default: error::raise(ERR_INTERNAL, "not-done");
  }
}

double float_op(int op, double a, double b) {
  switch (op) {
    case 0: return a + b;
    case 1: return a - b;
    case 2: return a * b;
    case 3:
      if (b == 0) error::raise(ERR_MATH, "zero-divide");
      return a / b;
    case 4:
      if (b == 0) error::raise(ERR_MATH, "zero-divide");
      return std::fmod(a, b);
    default: error::raise(ERR_INTERNAL, "not-done");
  }
}

void store_integer(uint8_t* p, uint32_t size, int32_t x) {
  uint32_t u = static_cast<uint32_t>(x);
  std::memcpy(p, &u, size);
}

void store_float(uint8_t* p, uint32_t size, double d) {
  if (size == 8) {
    std::memcpy(p, &d, 8);
  } else {
    float f = static_cast<float>(d);
    std::memcpy(p, &f, 4);
  }
}

// Vector op scalar (or scalar op vector, scalar_left) in place.
void math_scalar(int op, Cell* v, const Cell* scalar, bool scalar_left) {
  TypeId type = element_type(v);
  TypeId st = scalar->type();
  bool float_scalar = is_float_kind(st);
  if (st != TYPE_INTEGER && !float_scalar) error::raise(ERR_INTERNAL, "not-done");
  if (!scalar_left) {
    bool zero = st == TYPE_INTEGER ? scalar->int_value() == 0 : scalar->float_value() == 0;
    bool one = st == TYPE_INTEGER ? scalar->int_value() == 1 : scalar->float_value() == 1;
    if (((op == 0 || op == 1) && zero) || ((op == 2 || op == 3) && one)) return;
  }
  uint32_t from = clamped_index(v);
  uint32_t n = length(v);
  uint32_t size = element_size(v);
  if (is_float_kind(type)) {
    double s = st == TYPE_INTEGER ? scalar->int_value() : scalar->float_value();
    for (uint32_t i = 0; i < n; i++) {
      uint8_t* p = address(v, from + i);
      double e = get_float(p, size);
      store_float(p, size, scalar_left ? float_op(op, s, e) : float_op(op, e, s));
    }
  } else {
    int32_t s;
    if (st == TYPE_INTEGER) {
      s = scalar->int_value();
    } else {
      double d = std::trunc(scalar->float_value());
      s = std::isnan(d) ? 0 : d >= 2147483647.0 ? INT32_MAX : d <= -2147483648.0 ? INT32_MIN
                                                                            : int32_t(d);
    }
    for (uint32_t i = 0; i < n; i++) {
      uint8_t* p = address(v, from + i);
      int32_t e = get_integer(p, size);
      store_integer(p, size, scalar_left ? integer_op(op, s, e) : integer_op(op, e, s));
    }
  }
}

// A new vector of the shorter length into a's cell.
void math_vectors(int op, Cell* a, const Cell* b) {
  TypeId type = element_type(a);
  if (type != element_type(b)) error::raise(ERR_SCRIPT, "not-same-type");
  uint32_t n = std::min(length(a), length(b));
  uint32_t sa = element_size(a), sb = element_size(b);
  uint32_t size = std::max(sa, sb);
  Cell result;
  make_at(&result, n, type, size);
  // Check every element first, so an error leaves nothing half done.
  uint32_t ia = clamped_index(a), ib = clamped_index(b);
  SeriesBuffer* r = cell_buffer(&result);
  for (uint32_t i = 0; i < n; i++) {
    const uint8_t* pa = address(a, ia + i);
    const uint8_t* pb = address(b, ib + i);
    uint8_t* out = r->head_ptr() + size_t(i) * size;
    if (is_float_kind(type))
      store_float(out, size, float_op(op, get_float(pa, sa), get_float(pb, sb)));
    else
      store_integer(out, size, integer_op(op, get_integer(pa, sa), get_integer(pb, sb)));
  }
  r->tail = r->head + n * size;
  *a = result;
}

Cell* do_math(int op) {
  Cell* left = stack::base;
  Cell* right = left + 1;
  if (left->is(TYPE_VECTOR) && right->is(TYPE_VECTOR)) {
    math_vectors(op, left, right);
  } else if (left->is(TYPE_VECTOR)) {
    math_scalar(op, left, right, false);
  } else {
    Cell scalar = *left;
    *left = *right;
    math_scalar(op, left, &scalar, true);
  }
  return left;
}

Cell* add() { return do_math(0); }
Cell* subtract() { return do_math(1); }
Cell* multiply() { return do_math(2); }
Cell* divide() { return do_math(3); }
Cell* remainder() { return do_math(4); }
Cell* or_t() { return do_math(5); }
Cell* and_t() { return do_math(6); }
Cell* xor_t() { return do_math(7); }

// ---- insert, append, change -----------------------------------------------------------------

// The values a modifying action stores: a block kind's cells, another vector's elements (for
// change), or the one value; each checked before the vector changes.
std::vector<Cell> values_of(const Cell* v, const Cell* value, int part, bool vectors) {
  std::vector<Cell> out;
  TypeId t = value->type();
  if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH || (vectors && is_any_path(t))) {
    uint32_t from = clamped_index(value);
    uint32_t n = cell_buffer(value)->count() - from;
    if (part >= 1 && static_cast<uint32_t>(part) < n) n = static_cast<uint32_t>(part);
    for (uint32_t i = 0; i < n; i++) out.push_back(cell_buffer(value)->cells()[from + i]);
  } else if (vectors && t == TYPE_VECTOR) {
    uint32_t from = clamped_index(value);
    uint32_t n = length(value);
    for (uint32_t i = 0; i < n; i++) {
      Cell c;
      element_value(&c, address(value, from + i), element_size(value), element_type(value));
      out.push_back(c);
    }
  } else {
    out.push_back(*value);
  }
  for (const Cell& c : out) check_kind(v, &c);
  return out;
}

// Opens a gap of count elements at pos and fills it with the values, repeated dup times.
void store_at(Cell* v, uint32_t pos, uint32_t replaced, const std::vector<Cell>& values,
              int dup) {
  uint32_t size = element_size(v);
  uint64_t written = uint64_t(values.size()) * uint64_t(dup < 1 ? 1 : dup);
  uint32_t len = cell_buffer(v)->count();
  checked_bytes(uint64_t(len) + written, size);
  uint32_t w = static_cast<uint32_t>(written);
  if (w > replaced) series::ensure_room(v->node(), (w - replaced) * size);
  SeriesBuffer* b = cell_buffer(v);
  uint8_t* at = b->head_ptr() + size_t(pos) * size;
  uint8_t* rest = at + size_t(replaced) * size;
  std::memmove(at + size_t(w) * size, rest, b->tail_ptr() - rest);
  for (uint32_t i = 0; i < w; i++)
    set_element(at + size_t(i) * size, &values[i % values.size()], size);
  b->tail = b->tail + w * size - replaced * size;
}

Cell* insert(Cell* series, Cell* value, int part, bool, int dup, bool append) {
  uint32_t index = clamped_index(series);
  series->data1 = index;
  std::vector<Cell> values = values_of(series, value, part, false);
  if (values.empty() || dup < 1) return series;
  uint32_t len = cell_buffer(series)->count();
  uint32_t pos = append ? len : index;
  store_at(series, pos, 0, values, dup);
  if (!append) series->data1 = index + static_cast<uint32_t>(values.size()) * uint32_t(dup);
  return series;
}

Cell* change(Cell* series, Cell* value, int part, bool, int dup) {
  uint32_t index = clamped_index(series);
  series->data1 = index;
  std::vector<Cell> values = values_of(series, value, -1, true);
  if (dup < 1) dup = 1;
  uint32_t avail = length(series);
  uint64_t want = part >= 0 ? uint64_t(part) : uint64_t(values.size()) * uint64_t(dup);
  uint32_t replaced = static_cast<uint32_t>(std::min<uint64_t>(want, avail));
  ownership::notify_before(series, ownership::Change::change, nullptr,
                           static_cast<int32_t>(index), static_cast<int32_t>(replaced));
  index = clamped_index(series);
  replaced = std::min(replaced, length(series));
  store_at(series, index, replaced, values, dup);
  uint32_t written = static_cast<uint32_t>(values.size()) * uint32_t(dup);
  ownership::notify_after(series, ownership::Change::change, nullptr,
                          static_cast<int32_t>(index), static_cast<int32_t>(written));
  series->data1 = index + written;
  return series;
}

}  // namespace vector_detail

void init() {
  using namespace vector_detail;
  datatype::register_type(TYPE_VECTOR, TYPE_STRING, "vector!", {
      on<ACT_MAKE>(&make),
      inherit(ACT_RANDOM), inherit(ACT_REFLECT),
      no_handler(ACT_TO),
      on<ACT_FORM>(&form),
      on<ACT_MOLD>(&mold),
      inherit(ACT_EVAL_PATH),
      no_handler(ACT_SET_PATH),
      on<ACT_COMPARE>(&compare),
      on<ACT_ADD>(&add),
      on<ACT_DIVIDE>(&divide),
      on<ACT_MULTIPLY>(&multiply),
      on<ACT_REMAINDER>(&remainder),
      on<ACT_SUBTRACT>(&subtract),
      on<ACT_AND_T>(&and_t),
      on<ACT_OR_T>(&or_t),
      on<ACT_XOR_T>(&xor_t),
      on<ACT_APPEND>(&insert),
      on<ACT_INSERT>(&insert),
      on<ACT_CHANGE>(&change),
      inherit(ACT_AT), inherit(ACT_BACK), inherit(ACT_CLEAR), inherit(ACT_COPY),
      on<ACT_FIND>(&find), inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q),
      inherit(ACT_LENGTH_Q), inherit(ACT_MOVE), inherit(ACT_NEXT), inherit(ACT_PICK),
      inherit(ACT_POKE), inherit(ACT_REMOVE), inherit(ACT_REVERSE), on<ACT_SELECT>(&select),
      on<ACT_SORT>(&sort), inherit(ACT_SKIP), inherit(ACT_TAIL), inherit(ACT_TAIL_Q),
      inherit(ACT_TAKE), inherit(ACT_MODIFY),
  });
}

}  // namespace tav::vector
