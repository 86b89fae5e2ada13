#include "fast_paths.h"

#include "core/errors.h"
#include "evaluator/actions.h"
#include "interpreter.h"
#include "natives.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {
namespace actions {

namespace fast_detail {

// Exact 32-bit arithmetic; false on overflow of add, subtract or multiply.
bool int_math(int op, int32_t a, int32_t b, int32_t* out) {
  switch (op) {
    case MATH_ADD: return !__builtin_add_overflow(a, b, out);
    case MATH_SUBTRACT: return !__builtin_sub_overflow(a, b, out);
    case MATH_MULTIPLY: return !__builtin_mul_overflow(a, b, out);
    case MATH_OR: *out = a | b; return true;
    case MATH_AND: *out = a & b; return true;
    case MATH_XOR: *out = a ^ b; return true;
    default: return false;
  }
}

double float_math(int op, double a, double b) {
  return op == MATH_ADD ? a + b : op == MATH_SUBTRACT ? a - b : a * b;
}

ActionId math_action(int op) {
  switch (op) {
    case MATH_ADD: return ACT_ADD;
    case MATH_SUBTRACT: return ACT_SUBTRACT;
    case MATH_MULTIPLY: return ACT_MULTIPLY;
    case MATH_OR: return ACT_OR_T;
    case MATH_AND: return ACT_AND_T;
    default: return ACT_XOR_T;
  }
}

// Answers into *out when the operands allow it; false sends them to the generic path.
inline bool math_inline(int op, const Cell* left, const Cell* right, Cell* out) {
  if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER)) {
    int32_t r;
    if (int_math(op, left->int_value(), right->int_value(), &r)) {
      set_integer(out, r);
    } else {
      // Overflow gives the exact result as a float!.
      set_float(out, float_math(op, left->int_value(), right->int_value()));
    }
    return true;
  }
  if (left->is(TYPE_FLOAT) && right->is(TYPE_FLOAT) && op <= MATH_MULTIPLY) {
    set_float(out, float_math(op, left->float_value(), right->float_value()));
    return true;
  }
  return false;
}

// The action of any other pair of operands, under a frame named by the operator word.
Cell math_generic(int op, const Cell* word, const Cell* left, const Cell* right) {
  Cell l = *left, r = *right;
  ActionId a = math_action(op);
  const NativeEntry entry = table[a - 1];
  stack::mark_native(word);
  stack::push(&l);
  stack::push(&r);
  int32_t refs[4] = {-1, -1, -1, -1};
  Status s = entry(refs);
  if (s != CODE_NONE) stack::rethrow_status(s);
  Cell result = *stack::base;
  stack::unwind_discard();
  return result;
}

// Any other pair goes to the generic comparison under a frame named by the operator, so
// that an error names it.
bool compare_generic(int op, const Cell* word, const Cell* left, const Cell* right) {
  // With no word, the running call (a comparison native) is the one an error names.
  Cell* keep = stack::top;
  if (word) stack::mark_native(word);
  Cell* l = stack::push(left);
  Cell* r = stack::push(right);
  bool t = compare(l, r, op);
  if (word) stack::unwind_discard();
  else stack::top = keep;
  return t;
}

}  // namespace fast_detail

Cell* math_op(int op, const Cell* word, const Cell* left, const Cell* right) {
  Cell out;
  if (!fast_detail::math_inline(op, left, right, &out))
    out = fast_detail::math_generic(op, word, left, right);
  return stack::push(&out);
}

void math_op_top(int op, const Cell* word, const Cell* right) {
  Cell* left = stack::top - 1;
  Cell out;
  if (!fast_detail::math_inline(op, left, right, &out))
    out = fast_detail::math_generic(op, word, left, right);
  *(stack::top - 1) = out;
}

bool compare_cond(int op, const Cell* word, const Cell* left, const Cell* right) {
  if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER)) {
    int32_t a = left->int_value(), b = right->int_value();
    return fast_detail::compare_truth(op, a < b ? -1 : a > b ? 1 : 0);
  }
  if (op <= COMP_GREATER_EQUAL && fast_detail::int_or_float(left->type()) &&
      fast_detail::int_or_float(right->type()))
    return fast_detail::compare_floats(op, left, right);
  return fast_detail::compare_generic(op, word, left, right);
}

Cell* compare_op(int op, const Cell* word, const Cell* left, const Cell* right) {
  bool t = compare_cond(op, word, left, right);
  Cell out;
  set_logic(&out, t);
  return stack::push(&out);
}

void compare_op_top(int op, const Cell* word, const Cell* right) {
  bool t = compare_cond(op, word, stack::top - 1, right);
  set_logic(stack::top - 1, t);
}

}  // namespace actions

namespace fast_paths {

namespace fast_detail {
// The math op code of an op! wrapping an arithmetic action, or -1.
int math_code(const Cell* op) {
  if (((op->header >> 16) & 0xFF) != TYPE_ACTION) return -1;
  switch (op->data1 + 1) {
    case ACT_ADD: return actions::MATH_ADD;
    case ACT_SUBTRACT: return actions::MATH_SUBTRACT;
    case ACT_MULTIPLY: return actions::MATH_MULTIPLY;
    case ACT_OR_T: return actions::MATH_OR;
    case ACT_AND_T: return actions::MATH_AND;
    case ACT_XOR_T: return actions::MATH_XOR;
    default: return -1;
  }
}
// The comparison code of an op! wrapping a comparison native, or -1.
int compare_code(const Cell* op) {
  if (((op->header >> 16) & 0xFF) != TYPE_NATIVE) return -1;
  return natives::comparison_code(op->data1);
}
}  // namespace fast_detail

namespace fast_detail {
std::array<int8_t, ACTION_COUNT> make_action_infix() {
  std::array<int8_t, ACTION_COUNT> t{};
  for (int i = 0; i < ACTION_COUNT; ++i) {
    Cell op = make_cell(TYPE_OP, static_cast<uint32_t>(i));
    op.header |= uint32_t(TYPE_ACTION) << 16;
    t[i] = static_cast<int8_t>(infix_code_slow(&op));
  }
  return t;
}
std::array<int8_t, COMPARISON_NATIVES> make_native_infix() {
  std::array<int8_t, COMPARISON_NATIVES> t{};
  for (uint32_t i = 0; i < COMPARISON_NATIVES; ++i) {
    Cell op = make_cell(TYPE_OP, FIRST_COMPARISON_NATIVE + i);
    op.header |= uint32_t(TYPE_NATIVE) << 16;
    t[i] = static_cast<int8_t>(infix_code_slow(&op));
  }
  return t;
}
const std::array<int8_t, ACTION_COUNT> action_infix = make_action_infix();
const std::array<int8_t, COMPARISON_NATIVES> native_infix = make_native_infix();
}  // namespace fast_detail

int infix_code_slow(const Cell* op) {
  int math = fast_detail::math_code(op);
  if (math >= 0) return math;
  if (((op->header >> 16) & 0xFF) == TYPE_ACTION && op->data1 + 1 == ACT_REMAINDER)
    return INFIX_REMAINDER;
  int cmp = fast_detail::compare_code(op);
  return cmp >= 0 ? 16 + cmp : -1;
}

bool try_infix(const Cell* op, const Cell* left, interp::Code& code, bool as_argument) {
  int k = infix_code(op);
  if (k < 0 || code.at_end()) return false;
  const Cell* right = plain_operand(code.at());
  Cell result;
  if (!right || !infix_inline(k, left, right, &result)) return false;
  // An operator after the right operand takes the result as its left operand, as it would
  // take the call's.
  ++code.pos;
  interp::emit(&result, as_argument);
  return true;
}

}  // namespace fast_paths
}  // namespace tav
