#include "datatypes/char.h"

#include <cmath>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::char_ {

Cell* push(uint32_t code_point) { return set_char(stack::new_cell(), code_point); }

Cell* append_to_block(const Cell* block, uint32_t code_point) {
  return set_char(series::new_tail_cell(block), code_point);
}

Cell* do_math_op(int op) {
  Cell* left = stack::base;
  Cell* right = left + 1;
  int32_t r;
  switch (right->type()) {
    case TYPE_CHAR: case TYPE_INTEGER: r = right->int_value(); break;
    case TYPE_FLOAT: {
      double d = std::trunc(right->float_value());
      // Beyond 32 bits no result can be a character.
      if (!number::float_to_int32(d, &r)) numeric::raise_math("overflow");
      break;
    }
    case TYPE_VECTOR: return numeric::forward_math(TYPE_VECTOR, op);
    default: numeric::raise_invalid_type(right);
  }
  // Without a result cell the core truncates divisions and raises on overflow.
  int32_t v = integer::do_math(left->int_value(), r, op, nullptr);
  if (v < 0 || static_cast<uint32_t>(v) > string::MAX_CODE_POINT)
    numeric::raise_math("overflow");
  left->set_int_value(v);
  return left;
}

namespace char_detail {

[[noreturn]] void out_of_range(const Cell* spec) {
  error::raise(ERR_SCRIPT, "out-of-range", spec);
}

Cell* char_make(Cell* proto, Cell* spec, int) {
  uint32_t cp = 0;
  switch (spec->type()) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      if (string::length(spec) == 0) numeric::raise_bad_to(TYPE_CHAR, spec);
      cp = string::char_at(spec, 0);
      break;
    case TYPE_CHAR: case TYPE_INTEGER: {
      int32_t v = spec->int_value();
      if (v < 0 || static_cast<uint32_t>(v) > string::MAX_CODE_POINT) out_of_range(spec);
      cp = static_cast<uint32_t>(v);
      break;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: {
      double d = std::trunc(spec->float_value());
      if (!(d >= 0 && d <= string::MAX_CODE_POINT)) out_of_range(spec);
      cp = static_cast<uint32_t>(d);
      break;
    }
    case TYPE_BINARY: {
      // The decode is bounded by the bytes the binary holds.
      uint8_t bytes[4];
      int n = numeric::binary_bytes(spec, bytes, 4);
      if (n == 0) numeric::raise_bad_to(TYPE_CHAR, spec);
      size_t used = 0;
      int32_t v = unicode::decode_utf8_checked(bytes, static_cast<size_t>(n), &used);
      if (v < 0) string::raise_invalid_utf8(bytes, static_cast<size_t>(n));
      cp = static_cast<uint32_t>(v);
      break;
    }
    default: numeric::raise_bad_to(TYPE_CHAR, spec);
  }
  return set_char(proto, cp);
}

int char_form(Cell* value, Cell* buffer, Cell*, int limit) {
  string::append_char(buffer->node(), value->data2);
  return limit - 1;
}

int char_mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int limit, int) {
  NodeId out = buffer->node();
  string::append_ascii(out, "#\"");
  string::mold_char(out, value->data2, string::ESCAPE_STRING, all);
  string::append_char(out, '"');
  return limit - 4;
}

int char_compare(Cell* value, Cell* other, int op) {
  TypeId ot = other->type();
  if ((op == COMP_STRICT_EQUAL || op == COMP_FIND_EQUAL) && ot != TYPE_CHAR) return 1;
  if (ot != TYPE_CHAR && ot != TYPE_INTEGER) return COMPARE_UNRELATED;
  int32_t a = value->int_value(), b = other->int_value();
  return a < b ? -1 : a > b ? 1 : 0;
}

Cell* char_add() { return do_math_op(0); }
Cell* char_subtract() { return do_math_op(1); }
Cell* char_multiply() { return do_math_op(2); }
Cell* char_divide() { return do_math_op(3); }
Cell* char_remainder() { return do_math_op(4); }
Cell* char_or() { return do_math_op(5); }
Cell* char_and() { return do_math_op(6); }
Cell* char_xor() { return do_math_op(7); }

}  // namespace char_detail

void init() {
  using namespace char_detail;
  datatype::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", {
      on<ACT_MAKE>(char_make),
      on<ACT_TO>(char_make),
      on<ACT_FORM>(char_form),
      on<ACT_MOLD>(char_mold),
      on<ACT_COMPARE>(char_compare),
      on<ACT_ADD>(char_add),
      on<ACT_DIVIDE>(char_divide),
      on<ACT_MULTIPLY>(char_multiply),
      on<ACT_REMAINDER>(char_remainder),
      on<ACT_SUBTRACT>(char_subtract),
      on<ACT_AND_T>(char_and),
      on<ACT_OR_T>(char_or),
      on<ACT_XOR_T>(char_xor),
      inherit(ACT_RANDOM), inherit(ACT_ABSOLUTE), inherit(ACT_EVEN_Q), inherit(ACT_ODD_Q),
  });
}

}  // namespace tav::char_
