// What the runner of compiled bodies shares between its files: the state of one block's
// run, the checks made against what a node was compiled for, and the evaluation of plain
// values, words and inline operators, which takes no frame and pushes nothing.
#pragma once
#include <cstring>

#include "compiled_internal.h"
#include "fast_paths.h"
#include "interpreter.h"
#include "trace.h"

namespace tav::compiled::detail {

// An expression whose first step did not hold: nothing of it was evaluated, and the
// interpreter takes it whole. It never leaves the runner.
constexpr Status FALLBACK = 0x7FFFFFF0;

// One run of a unit's block.
struct Exec {
  const Program& p;
  const Unit& u;
  Cell* locals;      // the running call's argument and local slots
  uint32_t pos = 0;  // once deopt is set: where the interpreter left the code
  bool deopt = false;
};

// Whether two cells are the same, bit for bit.
[[gnu::always_inline]] inline bool same(const Cell* a, const Cell* b) {
  uint64_t a0, a1, b0, b1;
  std::memcpy(&a0, a, 8);
  std::memcpy(&a1, reinterpret_cast<const char*>(a) + 8, 8);
  std::memcpy(&b0, b, 8);
  std::memcpy(&b1, reinterpret_cast<const char*>(b) + 8, 8);
  return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

// The value cell of a node's word, the running call's slots at `locals`.
[[gnu::always_inline]] inline Cell* word_at(const Node& n, Cell* locals) {
  return n.local ? locals + n.cell.data3 : interp::word_value_cell(&n.cell);
}
[[gnu::always_inline]] inline Cell* word_at(const Node& n, const Exec& x) {
  return word_at(n, x.locals);
}
// Where a set node may store straight away (see interp::plain_set_slot), or null.
[[gnu::always_inline]] inline Cell* set_slot_at(const Node& n, const Exec& x) {
  return n.local ? x.locals + n.cell.data3 : interp::plain_set_slot(&n.cell);
}

inline bool plain_type(TypeId t) {
  return !((fast_paths::fast_detail::NOT_PLAIN_VALUES >> (t & 63)) & 1);
}

// Whether compiled code may go on in this block from `from`.
inline bool still(const Unit& u, uint32_t from) {
  return interp::fast_tiers && unchanged(u, from);
}

// Whether the word after an expression has become an operator.
inline bool next_is_op(const Exec& x, const Node& n) {
  const Cell* v = interp::word_value_cell(&x.u.cells[n.end - x.u.index]);
  return v && v->is(TYPE_OP);
}

// The value of a value or word operand, when it is plain (null: the interpreter decides).
[[gnu::always_inline]] inline const Cell* leaf_value(const Node& n, Cell* locals) {
  if (n.kind == K_VALUE) return &n.cell;
  const Cell* v = word_at(n, locals);
  return (v && plain_type(v->type())) ? v : nullptr;
}

// Values, words and inline operators, with no frame and nothing pushed; false when a word
// no longer holds a plain value or an operator cannot be answered inline (nothing happened).
// A pure loop has checked its operators already (check_ops false). The commonest shapes, an
// operand and operand-operator-operand, take no call.
template <bool check_ops>
inline bool eval_values(const Node& n, Cell* locals, Cell* out);

template <bool check_ops>
[[gnu::always_inline]] inline bool values_inline(const Node& n, Cell* locals, Cell* out) {
  if (n.kind != K_INFIX) {
    const Cell* v = leaf_value(n, locals);
    if (!v) return false;
    *out = *v;
    return true;
  }
  Cell chain;
  const Cell* left;
  if (n.kid[0]->kind == K_INFIX) {
    if (!eval_values<check_ops>(*n.kid[0], locals, &chain)) return false;
    left = &chain;
  } else {
    left = leaf_value(*n.kid[0], locals);
    if (!left) return false;
  }
  if (check_ops) {
    const Cell* op = interp::word_value_cell(&n.cell);
    if (!op || !same(op, &n.target)) return false;
  }
  const Cell* right = leaf_value(*n.kid[1], locals);
  return right && fast_paths::infix_inline(n.code, left, right, out);
}

template <bool check_ops>
inline bool eval_values(const Node& n, Cell* locals, Cell* out) {
  return values_inline<check_ops>(n, locals, out);
}

[[gnu::always_inline]] inline bool pure_value(const Node& n, const Exec& x, Cell* out) {
  return values_inline<true>(n, x.locals, out);
}

// A whole expression that way: no operator may follow it either.
[[gnu::always_inline]] inline bool eval_pure_root(const Node& n, const Exec& x, Cell* out) {
  return pure_value(n, x, out) && !(n.next_check && next_is_op(x, n));
}

// A block's statements in the running frame, from the first_statement-th: eval_block_here.
Status run_here(const Program& p, uint32_t unit, const Cell* block, Cell* locals,
                uint32_t first_statement = 0);

// A block run in the running frame, by its unit when it has one.
inline Status run_block(uint32_t unit, const Cell* block, const Exec& x) {
  if (unit == NO_UNIT) return interp::eval_block_here(block);
  return run_here(x.p, unit, block, x.locals);
}

// The loops on their gathered arguments (at args), as their natives run them. Out of line,
// so that the frames of the conditionals on the road of deep recursions stay small.
[[gnu::noinline]] Status run_loop(const Node& n, const Exec& x, Cell* args);
[[gnu::noinline]] Status run_until(const Node& n, const Exec& x, Cell* args);
[[gnu::noinline]] Status run_while(const Node& n, const Exec& x, Cell* args);

}  // namespace tav::compiled::detail
