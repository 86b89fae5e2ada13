// Fast paths for infix arithmetic and comparisons: integers (and float sums, differences and
// products) are answered inline; every other type goes through its own action under a native
// frame named by the operator word, so errors name the right word.
#pragma once
#include <cstdint>

#include "calls.h"
#include "cell.h"

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

// When `op` wraps an arithmetic action or a comparison native, evaluates its right operand
// from the code and answers through the fast paths; false leaves the call to the caller.
bool try_infix(const Cell* op, const Cell* op_word, const Cell* left, interp::Code& code,
               bool as_argument, Status* status);

}  // namespace fast_paths
}  // namespace tav
