// Fast paths for infix arithmetic and comparisons: integers (and float sums, differences and
// products) are answered inline; every other type goes through its own action under a native
// frame named by the operator word, so errors name the right word.
#pragma once
#include <cstdint>

#include "calls.h"
#include "cell.h"
#include "interpreter.h"

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

}  // namespace actions

namespace fast_paths {

// The value of a code cell when taking it needs no evaluation: a value that evaluates to
// itself, or a bound word whose value is neither callable, nor an operator, nor unset. Null
// sends the cell through the interpreter (which also raises whatever error it deserves).
inline const Cell* plain_operand(const Cell* c) {
  switch (c->type()) {
    case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_CHAR: case TYPE_LOGIC:
    case TYPE_NONE: case TYPE_STRING: case TYPE_BLOCK: case TYPE_TIME: case TYPE_PAIR:
    case TYPE_TUPLE: case TYPE_MONEY: case TYPE_DATE: case TYPE_BINARY: case TYPE_FILE:
    case TYPE_URL:
      return c;
    case TYPE_WORD: {
      const Cell* v = interp::word_value_cell(c);
      if (!v) return nullptr;
      TypeId t = v->type();
      if (t == TYPE_UNSET || t == TYPE_OP || interp::is_callable(t)) return nullptr;
      return v;
    }
    default:
      return nullptr;
  }
}

// When `op` wraps an arithmetic action or a comparison native, evaluates its right operand
// from the code and answers through the fast paths; false leaves the call to the caller.
bool try_infix(const Cell* op, const Cell* op_word, const Cell* left, interp::Code& code,
               bool as_argument, Status* status);

}  // namespace fast_paths
}  // namespace tav
