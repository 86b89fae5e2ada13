#include "datatypes/tuple.h"

#include <cmath>
#include <cstring>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {

namespace tuple {

void get_bytes(const Cell* c, uint8_t out[MAX_LENGTH]) {
  std::memcpy(out, &c->data1, 4);
  std::memcpy(out + 4, &c->data2, 4);
  std::memcpy(out + 8, &c->data3, 4);
}

Cell* set(Cell* c, int length, const uint8_t bytes[MAX_LENGTH]) {
  uint8_t b[MAX_LENGTH] = {};
  std::memcpy(b, bytes, static_cast<size_t>(length));
  c->header = (c->header & ~(LENGTH_MASK | HEADER_TYPE_MASK)) | TYPE_TUPLE |
              (static_cast<uint32_t>(length) << LENGTH_SHIFT);
  std::memcpy(&c->data1, b, 4);
  std::memcpy(&c->data2, b + 4, 4);
  std::memcpy(&c->data3, b + 8, 4);
  return c;
}

Cell* push(int length, uint32_t w1, uint32_t w2, uint32_t w3) {
  Cell c = make_cell(TYPE_TUPLE, w1, w2, w3);
  uint8_t b[MAX_LENGTH];
  get_bytes(&c, b);
  return set(stack::push(&c), length, b);
}

Cell* make_rgba(Cell* c, int r, int g, int b, int a) {
  uint8_t bytes[MAX_LENGTH] = {static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                               static_cast<uint8_t>(b), static_cast<uint8_t>(a)};
  *c = make_cell(TYPE_TUPLE);
  return set(c, a == -1 ? 3 : 4, bytes);
}

Cell* push_from_integers(int count, const int32_t* values) {
  uint8_t bytes[MAX_LENGTH] = {};
  if (count > MAX_LENGTH) count = MAX_LENGTH;
  for (int i = 0; i < count; i++) bytes[i] = static_cast<uint8_t>(values[i]);
  return set(set_none(stack::new_cell()), count < MIN_LENGTH ? MIN_LENGTH : count, bytes);
}

bool zero_q(const Cell* c) {
  uint8_t b[MAX_LENGTH];
  get_bytes(c, b);
  for (int i = 0; i < length(c); i++) {
    if (b[i] != 0) return false;
  }
  return true;
}

namespace tuple_detail {

uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// One byte through integer! arithmetic: an overflow saturates by its sign, and a division
// that leaves a remainder is truncated.
uint8_t byte_op(int32_t left, int32_t right, int op) {
  if (op == 3) {
    if (right == 0) numeric::raise_math("zero-divide");
    return clamp_byte(static_cast<int64_t>(left) / right);
  }
  Cell r = make_cell(TYPE_INTEGER);
  int32_t v = integer::do_math(left, right, op, &r);
  if (!r.is(TYPE_INTEGER)) return r.float_value() > 0 ? 255 : 0;
  return clamp_byte(v);
}

uint8_t float_byte(double b, double x, int op) {
  double v = 0;
  switch (op) {
    case 0: v = b + x; break;
    case 1: v = b - x; break;
    case 2: v = b * x; break;
    case 3: v = b / x; break;
    default: v = std::isfinite(x) ? std::fmod(b, x) : std::isnan(x) ? x : b; break;
  }
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<uint8_t>(v);
}

const Cell* op_word(int op) { return op == 1 ? &words::subtract : &words::divide; }

}  // namespace tuple_detail

Cell* do_math_op(int op) {
  using namespace tuple_detail;
  Cell* left = stack::base;
  if (!left->is(TYPE_TUPLE)) {
    // A scalar first: only the operations whose order does not matter.
    if (op == 1 || op == 3) numeric::raise_not_related(op_word(op), left->type());
    numeric::swap_arguments();
    left = stack::base;
  }
  Cell* right = left + 1;
  uint8_t a[MAX_LENGTH];
  get_bytes(left, a);
  int n = length(left);
  uint8_t out[MAX_LENGTH] = {};
  switch (right->type()) {
    case TYPE_FLOAT: case TYPE_PERCENT: {
      if (op > 4) numeric::raise_invalid_type(right);
      double x = right->float_value();
      for (int i = 0; i < n; i++) out[i] = float_byte(a[i], x, op);
      break;
    }
    case TYPE_INTEGER: {
      int32_t x = right->int_value();
      for (int i = 0; i < n; i++) out[i] = byte_op(a[i], x, op);
      break;
    }
    case TYPE_TUPLE: {
      uint8_t b[MAX_LENGTH];
      get_bytes(right, b);
      if (length(right) > n) n = length(right);
      for (int i = 0; i < n; i++) out[i] = byte_op(a[i], b[i], op);
      break;
    }
    default: numeric::raise_invalid_type(right);
  }
  return set(left, n, out);
}

namespace tuple_detail {

Cell* tuple_make(Cell* proto, Cell* spec, int) {
  uint8_t bytes[MAX_LENGTH] = {};
  int n = 0;
  switch (spec->type()) {
    case TYPE_TUPLE: *proto = *spec; return proto;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      SeriesBuffer* b = node_buffer(spec->node());
      uint32_t count = b->count();
      uint32_t index = spec->index() < count ? spec->index() : count;
      if (count - index > MAX_LENGTH) numeric::raise_bad_to(TYPE_TUPLE, spec);
      const Cell* c = b->cells() + index;
      for (uint32_t i = 0; i < count - index; i++) {
        int64_t v;
        if (c[i].is(TYPE_INTEGER) || c[i].is(TYPE_CHAR)) {
          v = c[i].int_value();
        } else if (c[i].is(TYPE_FLOAT)) {
          double d = std::trunc(c[i].float_value());
          v = d >= 0 && d <= 255 ? static_cast<int64_t>(d) : -1;
        } else {
          v = -1;
        }
        if (v < 0 || v > 255) numeric::raise_bad_to(TYPE_TUPLE, spec);
        bytes[n++] = static_cast<uint8_t>(v);
      }
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      *proto = compound::scan_one(spec, TYPE_TUPLE);
      return proto;
    case TYPE_ISSUE: {
      symbol::Name name = symbol::name(spec->data2);
      int digits = static_cast<int>(name.length);
      if (digits != 3 && digits != 6 && digits != 8) error::raise(ERR_SCRIPT, "invalid-data", spec);
      int values[8];
      for (int i = 0; i < digits; i++) {
        uint8_t c = static_cast<uint8_t>(name.bytes[i]);
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
        if (d < 0) error::raise(ERR_SCRIPT, "invalid-data", spec);
        values[i] = d;
      }
      if (digits == 3) {
        for (int i = 0; i < 3; i++) bytes[i] = static_cast<uint8_t>(values[i] * 17);
        n = 3;
      } else {
        n = digits / 2;
        for (int i = 0; i < n; i++) bytes[i] = static_cast<uint8_t>(values[2 * i] * 16 + values[2 * i + 1]);
      }
      break;
    }
    case TYPE_BINARY:
      n = numeric::binary_bytes(spec, bytes, MAX_LENGTH);
      break;
    default: numeric::raise_bad_to(TYPE_TUPLE, spec);
  }
  *proto = make_cell(TYPE_TUPLE);
  return set(proto, n < MIN_LENGTH ? MIN_LENGTH : n, bytes);
}

Cell* tuple_random(Cell* value, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(value->data1 ^ value->data2 ^ value->data3);
    return set_unset(value);
  }
  uint8_t b[MAX_LENGTH];
  get_bytes(value, b);
  int n = length(value);
  for (int i = 0; i < n; i++) b[i] = static_cast<uint8_t>(random::int_in_range(secure, b[i] + 1) - 1);
  return set(value, n, b);
}

int tuple_form(Cell* value, Cell* buffer, Cell*, int limit) {
  uint8_t b[MAX_LENGTH];
  get_bytes(value, b);
  int n = length(value);
  char text[MAX_LENGTH * 4 + 1];
  int len = 0;
  for (int i = 0; i < n; i++) {
    if (i > 0) text[len++] = '.';
    integer::DecimalText d = integer::to_decimal(b[i]);
    std::memcpy(text + len, d.text, static_cast<size_t>(d.length));
    len += d.length;
  }
  text[len] = 0;
  string::append_ascii(buffer->node(), text);
  return limit - len;
}

int tuple_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return tuple_form(value, buffer, part, limit);
}

[[noreturn]] void raise_index(int index) {
  Cell i;
  set_integer(&i, index);
  error::raise(ERR_SCRIPT, "out-of-range", &i);
}

Cell* tuple_pick(Cell* value, int index, Cell* boxed) {
  if (index < 1 || index > length(value)) {
    if (boxed) error::raise(ERR_SCRIPT, "out-of-range", boxed);
    raise_index(index);
  }
  uint8_t b[MAX_LENGTH];
  get_bytes(value, b);
  return integer::push(b[index - 1]);
}

// The change a path set makes: a byte (clamped), or none to cut the tuple before the index.
void poke_byte(Cell* value, int index, const Cell* data) {
  int n = length(value);
  if (index < 1 || index > n) raise_index(index);
  uint8_t b[MAX_LENGTH];
  get_bytes(value, b);
  if (data->is(TYPE_NONE)) {
    for (int i = index - 1; i < MAX_LENGTH; i++) b[i] = 0;
    n = index - 1 < MIN_LENGTH ? MIN_LENGTH : index - 1;
  } else if (data->is(TYPE_INTEGER)) {
    b[index - 1] = clamp_byte(data->int_value());
  } else {
    numeric::raise_invalid_type(data);
  }
  set(value, n, b);
}

Cell* tuple_eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell* holder,
                      Cell* field, int, bool, bool, bool, bool evt) {
  if (!element->is(TYPE_INTEGER)) numeric::raise_invalid_type(element);
  if (!value) return tuple_pick(parent, element->int_value(), element);
  Cell before = *parent;
  poke_byte(parent, element->int_value(), value);
  if (evt) {
    Cell after = *parent;
    compound::notify_set(holder, field, &before, &after, value, element->int_value());
  }
  // The changed tuple goes back where it lives; the path's value is the one set.
  return parent;
}

int tuple_compare(Cell* a, Cell* b, int) {
  if (!b->is(TYPE_TUPLE)) return COMPARE_UNRELATED;
  uint8_t x[MAX_LENGTH], y[MAX_LENGTH];
  get_bytes(a, x);
  get_bytes(b, y);
  int n = length(a) > length(b) ? length(a) : length(b);
  for (int i = 0; i < n; i++) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

Cell* tuple_complement(Cell* value) {
  uint8_t b[MAX_LENGTH];
  get_bytes(value, b);
  int n = length(value);
  for (int i = 0; i < n; i++) b[i] = static_cast<uint8_t>(~b[i]);
  return set(value, n, b);
}

int tuple_length(Cell* value) { return length(value); }

Cell* tuple_reverse(Cell* value, Cell* part, Cell* skip) {
  int n = length(value);
  int count = n;
  if (part) {
    if (!part->is(TYPE_INTEGER) || part->int_value() < 0) {
      error::raise(ERR_SCRIPT, "out-of-range", part);
    }
    if (part->int_value() < n) count = part->int_value();
  }
  int size = 1;
  if (skip) {
    bool fits = skip->is(TYPE_INTEGER) && skip->int_value() >= 1 &&
                skip->int_value() <= count && count % skip->int_value() == 0;
    if (!fits) error::raise(ERR_SCRIPT, "invalid-refine-arg", &refinements::skip, skip);
    size = skip->int_value();
    if (size == count) return value;
  }
  uint8_t b[MAX_LENGTH], r[MAX_LENGTH];
  get_bytes(value, b);
  std::memcpy(r, b, sizeof r);
  int groups = count / size;
  for (int g = 0; g < groups; g++) {
    std::memcpy(r + g * size, b + (groups - 1 - g) * size, static_cast<size_t>(size));
  }
  return set(value, n, r);
}

Cell* tuple_add() { return do_math_op(0); }
Cell* tuple_subtract() { return do_math_op(1); }
Cell* tuple_multiply() { return do_math_op(2); }
Cell* tuple_divide() { return do_math_op(3); }
Cell* tuple_remainder() { return do_math_op(4); }
Cell* tuple_or() { return do_math_op(5); }
Cell* tuple_and() { return do_math_op(6); }
Cell* tuple_xor() { return do_math_op(7); }

}  // namespace tuple_detail

void init() {
  using namespace tuple_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(tuple_make);
  row[ACT_RANDOM - 1] = entry<act::Random>(tuple_random);
  row[ACT_TO - 1] = entry<act::Make>(tuple_make);
  row[ACT_FORM - 1] = entry<act::Form>(tuple_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(tuple_mold);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(tuple_eval_path);
  row[ACT_COMPARE - 1] = entry<act::Compare>(tuple_compare);
  row[ACT_ADD - 1] = entry<act::StackReading>(tuple_add);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(tuple_subtract);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(tuple_multiply);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(tuple_divide);
  row[ACT_REMAINDER - 1] = entry<act::StackReading>(tuple_remainder);
  row[ACT_OR_T - 1] = entry<act::StackReading>(tuple_or);
  row[ACT_AND_T - 1] = entry<act::StackReading>(tuple_and);
  row[ACT_XOR_T - 1] = entry<act::StackReading>(tuple_xor);
  row[ACT_COMPLEMENT - 1] = entry<act::Unary>(tuple_complement);
  row[ACT_LENGTH_Q - 1] = entry<act::Length>(tuple_length);
  row[ACT_PICK - 1] = entry<act::Pick>(tuple_pick);
  row[ACT_REVERSE - 1] = entry<act::Reverse>(tuple_reverse);
  datatype::register_type(TYPE_TUPLE, TYPE_NONE_ID, "tuple!", row);
}

}  // namespace tuple

namespace triple {

namespace triple_detail {

int triple_form(Cell* value, Cell* buffer, Cell*, int limit) {
  NodeId out = buffer->node();
  string::append_ascii(out, "make triple! [");
  int written = 14;
  const uint32_t words[3] = {value->data1, value->data2, value->data3};
  for (int i = 0; i < 3; i++) {
    if (i > 0) {
      string::append_ascii(out, " ");
      written++;
    }
    integer::DecimalText d = integer::to_decimal(static_cast<int32_t>(words[i]));
    string::append_ascii(out, d.text);
    written += d.length;
  }
  string::append_ascii(out, "]");
  return limit - written - 1;
}

int triple_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return triple_form(value, buffer, part, limit);
}

}  // namespace triple_detail

void init() {
  ActionRow row{};
  row[ACT_FORM - 1] = entry<act::Form>(triple_detail::triple_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(triple_detail::triple_mold);
  datatype::register_type(TYPE_TRIPLE, TYPE_NONE_ID, "triple!", row);
}

}  // namespace triple

}  // namespace tav
