// Fast paths for infix arithmetic and comparisons: integers (and float sums, differences and
// products, and comparisons between integers and floats) are answered inline; every other type goes through its own action under a native
// frame named by the operator word, so errors name the right word.
#pragma once
#include <array>
#include <cstdint>

#include "calls.h"
#include "core/cell.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "interpreter.h"
#include "core/types.h"

namespace tav {

namespace actions {

enum MathOp : int { MATH_ADD = 0, MATH_SUBTRACT = 1, MATH_MULTIPLY = 2, MATH_OR = 5,
                    MATH_AND = 6, MATH_XOR = 7 };

// left OP right, pushed as a new cell.
Cell* math_op(int op, const Cell* word, const Cell* left, const Cell* right);
// The last pushed cell OP right, written over that cell.
void math_op_top(int op, const Cell* word, const Cell* right);
// The truth of left OP right for the comparison codes 0-6 (CompareOp).
bool compare_cond(int op, const Cell* word, const Cell* left, const Cell* right);
// logic! of left OP right, pushed.
Cell* compare_op(int op, const Cell* word, const Cell* left, const Cell* right);
// The last pushed cell OP right as a logic!, written over that cell.
void compare_op_top(int op, const Cell* word, const Cell* right);

namespace fast_detail {
// The truth of a comparison op given compare's answer (below zero, zero, above zero).
inline bool compare_truth(int op, int c) {
  switch (op) {
    case COMP_EQUAL: case COMP_STRICT_EQUAL: return c == 0;
    case COMP_NOT_EQUAL: return c != 0;
    case COMP_LESSER: return c < 0;
    case COMP_LESSER_EQUAL: return c <= 0;
    case COMP_GREATER: return c > 0;
    default: return c >= 0;
  }
}
constexpr bool int_or_float(TypeId t) { return t == TYPE_INTEGER || t == TYPE_FLOAT; }
inline double number_of(const Cell* c) {
  return c->is(TYPE_INTEGER) ? double(c->int_value()) : c->float_value();
}
// The truth of left OP right for two numbers each an integer or a float, as their own
// compare actions answer it: near-equality for =, and no strict equality across the types.
inline bool compare_floats(int op, const Cell* left, const Cell* right) {
  if (op == COMP_STRICT_EQUAL && left->type() != right->type()) return false;
  return compare_truth(op, float_::compare_numbers(number_of(left), number_of(right), op));
}
}  // namespace fast_detail

}  // namespace actions

namespace fast_paths {

// The value of a code cell when taking it needs no evaluation: a value that evaluates to
// itself, or a bound word whose value is neither callable, nor an operator, nor unset. Null
// sends the cell through the interpreter (which also raises whatever error it deserves).
namespace fast_detail {
// The types that evaluate to themselves and take no evaluation step in the fast walk.
constexpr uint64_t SELF_VALUES =
    type_bit(TYPE_INTEGER) | type_bit(TYPE_FLOAT) | type_bit(TYPE_PERCENT) |
    type_bit(TYPE_CHAR) | type_bit(TYPE_LOGIC) | type_bit(TYPE_NONE) | type_bit(TYPE_STRING) |
    type_bit(TYPE_BLOCK) | type_bit(TYPE_TIME) | type_bit(TYPE_PAIR) | type_bit(TYPE_TUPLE) |
    type_bit(TYPE_MONEY) | type_bit(TYPE_DATE) | type_bit(TYPE_BINARY) | type_bit(TYPE_FILE) |
    type_bit(TYPE_URL);
// The values a word may not hand over as they stand: they raise, call or apply.
constexpr uint64_t NOT_PLAIN_VALUES =
    type_bit(TYPE_UNSET) | type_bit(TYPE_OP) | type_bit(TYPE_NATIVE) | type_bit(TYPE_ACTION) |
    type_bit(TYPE_FUNCTION) | type_bit(TYPE_ROUTINE);
}  // namespace fast_detail

inline const Cell* plain_operand(const Cell* c) {
  TypeId t = c->type();
  if (t == TYPE_WORD) {
    const Cell* v = interp::word_value_cell(c);
    if (!v || ((fast_detail::NOT_PLAIN_VALUES >> (v->type() & 63)) & 1)) return nullptr;
    return v;
  }
  return ((fast_detail::SELF_VALUES >> (t & 63)) & 1) ? c : nullptr;
}

// What an op! does when its operands need no call: 0-7 a math code (MathOp, with 4 for the
// remainder), 16 + c the comparison code c; -1 when the op always goes through its call.
constexpr int INFIX_REMAINDER = 4;
int infix_code_slow(const Cell* op);
namespace fast_detail {
// The codes of the ops that wrap an action (by action index) or a native (by native index
// from the first comparison native), worked out once.
constexpr uint32_t FIRST_COMPARISON_NATIVE = 24, COMPARISON_NATIVES = 7;
extern const std::array<int8_t, ACTION_COUNT> action_infix;
extern const std::array<int8_t, COMPARISON_NATIVES> native_infix;
}  // namespace fast_detail
inline int infix_code(const Cell* op) {
  uint32_t wrapped = (op->header >> 16) & 0xFF;
  uint32_t i = op->data1;
  if (wrapped == TYPE_ACTION) return i < uint32_t(ACTION_COUNT) ? fast_detail::action_infix[i] : -1;
  if (wrapped == TYPE_NATIVE && i - fast_detail::FIRST_COMPARISON_NATIVE <
                                    fast_detail::COMPARISON_NATIVES)
    return fast_detail::native_infix[i - fast_detail::FIRST_COMPARISON_NATIVE];
  return -1;
}

// An integer! cell built where the compiler may keep it in registers: the answers below are
// mostly read back at once by the code they are inlined into.
[[gnu::always_inline]] inline Cell integer_cell(int32_t v) {
  return make_cell(TYPE_INTEGER, 0, static_cast<uint32_t>(v));
}

// left OP right answered inline for integers (and float sums, differences and products, and
// comparisons of integers and floats) into *out; false when the operands need the operator's
// own action.
[[gnu::always_inline]] inline bool infix_inline(int code, const Cell* left, const Cell* right, Cell* out) {
  if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER)) [[likely]] {
    int32_t a = left->int_value(), b = right->int_value(), r;
    switch (code) {
      case actions::MATH_ADD: integer::add_sub_mul(0, a, b, out); return true;
      case actions::MATH_SUBTRACT: integer::add_sub_mul(1, a, b, out); return true;
      case actions::MATH_MULTIPLY: integer::add_sub_mul(2, a, b, out); return true;
      case INFIX_REMAINDER:
        // A zero divisor and the one overflowing quotient are errors its action raises.
        if (b == 0 || (a == INT32_MIN && b == -1)) return false;
        *out = integer_cell(a % b);
        return true;
      case actions::MATH_OR: *out = integer_cell(a | b); return true;
      case actions::MATH_AND: *out = integer_cell(a & b); return true;
      case actions::MATH_XOR: *out = integer_cell(a ^ b); return true;
      case 16 + COMP_EQUAL: case 16 + COMP_STRICT_EQUAL: r = a == b; break;
      case 16 + COMP_NOT_EQUAL: r = a != b; break;
      case 16 + COMP_LESSER: r = a < b; break;
      case 16 + COMP_LESSER_EQUAL: r = a <= b; break;
      case 16 + COMP_GREATER: r = a > b; break;
      case 16 + COMP_GREATER_EQUAL: r = a >= b; break;
      default: return false;
    }
    // One store for every comparison keeps the inlined copies of this small.
    *out = make_cell(TYPE_LOGIC, static_cast<uint32_t>(r));
    return true;
  }
  if (left->is(TYPE_FLOAT) && right->is(TYPE_FLOAT) && code <= actions::MATH_MULTIPLY) {
    double a = left->float_value(), b = right->float_value();
    set_float(out, code == actions::MATH_ADD ? a + b : code == actions::MATH_SUBTRACT ? a - b : a * b);
    return true;
  }
  if (code >= 16 && code <= 16 + COMP_GREATER_EQUAL &&
      actions::fast_detail::int_or_float(left->type()) &&
      actions::fast_detail::int_or_float(right->type())) {
    *out = make_cell(TYPE_LOGIC,
                     static_cast<uint32_t>(actions::fast_detail::compare_floats(code - 16, left, right)));
    return true;
  }
  return false;
}

// How far a fast walk over an expression got.
enum class Walk { none, done, at_operator };

// The expression at the code when it is a plain operand followed by operators answered
// inline, each with a plain right operand: the value goes to *out and the code moves past
// what was taken. done: no operator follows; at_operator: an operator follows that needs its
// call (or a right operand that needs evaluation), *out being its left operand; none: the
// first value is not plain, and nothing was taken. With no_infix only the operand is taken.
// walk_from starts with the first operand already resolved (`first`, for the cell at the code).
// The walk over cells [pos, end) of a block whose cells are already at hand, *out holding the
// first operand and pos just past it: the operators and right operands that follow.
[[gnu::always_inline]] inline Walk walk_cells(const Cell* cells, uint32_t end, uint32_t& pos,
                                              Cell* out) {
  while (pos < end) {
    const Cell* w = cells + pos;
    if (!w->is(TYPE_WORD) || w->data1 == 0) return Walk::done;
    const Cell* op = interp::word_value_cell(w);
    if (!op || !op->is(TYPE_OP)) return Walk::done;
    if (pos + 1 >= end) return Walk::at_operator;
    int k = infix_code(op);
    if (k < 0) return Walk::at_operator;
    const Cell* right = plain_operand(w + 1);
    if (!right || !infix_inline(k, out, right, out)) return Walk::at_operator;
    pos += 2;
  }
  return Walk::done;
}
inline Walk walk_from(interp::Code& code, const Cell* first, bool no_infix, Cell* out) {
  *out = *first;
  ++code.pos;
  if (no_infix) return Walk::done;
  SeriesBuffer* b = node_buffer(code.node);
  return walk_cells(b->cells(), b->used() / uint32_t(sizeof(Cell)), code.pos, out);
}
inline Walk walk_expression(interp::Code& code, bool no_infix, Cell* out) {
  const Cell* first = plain_operand(code.at());
  if (!first) return Walk::none;
  return walk_from(code, first, no_infix, out);
}

// Walks the statements of a block from code.pos while each one is a fast walk that ends at
// the statement's end, or a set-word whose value is such a walk; each value goes to the
// running call's result slot, each set-word's word is set. True when the block's tail was
// reached; false leaves code.pos at the first statement that needs the interpreter, with
// *callee set to the looked-up value when that statement starts with a word naming a
// function (so that the call needs no second look-up). An empty block answers unset!.
inline bool walk_statements(interp::Code& code, const Cell** callee) {
  SeriesBuffer* b = node_buffer(code.node);
  const Cell* cells = b->cells();
  uint32_t end = b->used() / uint32_t(sizeof(Cell));
  if (code.pos >= end) {
    interp::empty_block_value();
    return true;
  }
  Cell got;
  while (code.pos < end) {
    const Cell* c = cells + code.pos;
    if (c->is(TYPE_SET_WORD)) {
      if (code.pos + 1 >= end) return false;
      const Cell* first = plain_operand(c + 1);
      if (!first) return false;
      got = *first;
      uint32_t pos = code.pos + 2;
      if (walk_cells(cells, end, pos, &got) != Walk::done) return false;
      Cell* slot = interp::plain_set_slot(c);
      if (!slot) return false;
      *slot = got;
      code.pos = pos;
    } else {
      const Cell* first;
      if (c->is(TYPE_WORD)) {
        const Cell* v = interp::word_value_cell(c);
        if (!v) return false;
        TypeId vt = v->type();
        if (interp::is_callable(vt)) {
          *callee = v;
          return false;
        }
        if ((fast_detail::NOT_PLAIN_VALUES >> (vt & 63)) & 1) return false;
        first = v;
      } else {
        first = plain_operand(c);
        if (!first) return false;
      }
      got = *first;
      uint32_t pos = code.pos + 1;
      if (walk_cells(cells, end, pos, &got) != Walk::done) return false;
      code.pos = pos;
    }
    interp::statement_value(&got);
  }
  return true;
}

// An operator step answered inline: `op` wraps an arithmetic action or a comparison native,
// its right operand at the code is plain and the two have an inline answer, which is pushed
// (as_argument) or becomes the running call's result. False leaves the step to the
// operator's call, which evaluates the right operand under its own frame, checks it and
// raises whatever error it deserves: every other case goes that one way.
bool try_infix(const Cell* op, const Cell* left, interp::Code& code, bool as_argument);

}  // namespace fast_paths
}  // namespace tav
