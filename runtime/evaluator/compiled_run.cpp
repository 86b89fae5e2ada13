// Running compiled function bodies.
//
// Every step does what the interpreter's step for the same cells does: the same frames, the
// same cells pushed in the same places, the same depth count, the same position record. Each
// check the interpreter makes by reading the code (is this word still a function, this one
// still that operator, this one still no operator at all) is made here against the value the
// node was compiled for. When one fails, the interpreter takes over from exactly that point
// of the block, with everything evaluated so far where it would have left it: nothing is
// evaluated twice.
#include "calls_internal.h"
#include "core/collector.h"
#include "compiled.h"
#include "compiled_closed.h"
#include "compiled_exec.h"
#include "core/context.h"
#include "core/errors.h"

namespace tav::compiled {

// On a cache line of its own: every native call bumps it, and sharing a line with the
// interpreter's other globals measurably slowed loops of native calls.
alignas(64) uint64_t edits = 0;

namespace detail {

Status run_body_here(const Cell* fn, const Cell* body, Cell* locals);

namespace {


Status exec(const Node& n, Exec& x, bool as_argument);

// An expression as the interpreter's eval_expression takes it (counted: with its safe point
// and depth step), followed by the operator look-ahead unless no_infix.
Status exec_root(const Node& n, Exec& x, bool as_argument, bool no_infix, bool counted) {
  Cell* start_top = stack::top;
  Status s;
  if (counted) {
    interp::enter_expression();
    s = exec(n, x, as_argument);
    interp::leave_expression();
  } else {
    s = exec(n, x, as_argument);
  }
  if (s == FALLBACK) [[unlikely]] {
    interp::Code code{x.u.node, n.pos};
    s = interp::eval_expression(code, no_infix, as_argument, false);
    x.deopt = true;
    x.pos = code.pos;
    return s;
  }
  if (s != CODE_NONE || no_infix) return s;
  if (!x.deopt) [[likely]] {
    if (n.calls && !still(x.u, n.end)) {
      x.deopt = true;
      x.pos = n.end;
    } else if (n.next_check && next_is_op(x, n)) {
      x.deopt = true;
      x.pos = n.end;
    } else {
      return CODE_NONE;
    }
  }
  interp::Code code{x.u.node, x.pos};
  s = interp::eval_infix(code, start_top, as_argument);
  x.pos = code.pos;
  return s;
}

// A block run above the stack (a paren, a body): eval_block_above.
Status run_above(const Program& p, uint32_t unit, const Cell* block, Cell* locals,
                 bool as_argument) {
  if (unit == NO_UNIT) return interp::eval_block_above(block, as_argument);
  Cell* outer = interp::lift_base();
  Status s = run_here(p, unit, block, locals);
  if (s != CODE_NONE) [[unlikely]] return s;
  interp::drop_base(outer, as_argument);
  return CODE_NONE;
}

// One operator step: the left operand is the last value (start_top or the result slot).
// Plain operands with an inline answer take no call; every other step is the operator's
// call, made as the interpreter makes it, from the right operand's cells.
Status infix_step(const Node& n, Exec& x, bool as_argument, Cell* start_top) {
  const Cell* op = interp::word_value_cell(&n.cell);
  if (!op || !same(op, &n.target)) {
    // The interpreter reads the word afresh, whatever it holds now.
    x.deopt = true;
    x.pos = n.kid[0]->end;
    return CODE_NONE;
  }
  Cell left = as_argument ? *start_top : *stack::base;
  stack::top = as_argument ? start_top : stack::base + 1;
  const Node& r = *n.kid[1];
  if (r.pure) {
    const Cell* plain = r.kind == K_VALUE ? &r.cell : word_at(r, x);
    if (plain && plain_type(plain->type())) {
      Cell result;
      if (fast_paths::infix_inline(n.code, &left, plain, &result)) {
        interp::emit(&result, as_argument);
        return CODE_NONE;
      }
    }
  }
  interp::Code code{x.u.node, r.pos};
  Status s = interp::eval_function_call(&n.target, code, nullptr, as_argument, &n.cell, &left);
  if (s != CODE_NONE) return s;
  if (code.pos != n.end) {
    // The right operand no longer reads as it was compiled: the interpreter goes on.
    x.deopt = true;
    x.pos = code.pos;
  }
  return CODE_NONE;
}

Status exec_infix(const Node& n, Exec& x, bool as_argument, Cell* start_top) {
  const Node& l = *n.kid[0];
  Status s = l.kind == K_INFIX ? exec_infix(l, x, as_argument, start_top)
                               : exec(l, x, as_argument);
  if (s != CODE_NONE) return s;
  // After a take-over, the expression's root goes on from where the interpreter stopped.
  if (x.deopt) return CODE_NONE;
  if (l.calls && !still(x.u, l.end)) {
    x.deopt = true;
    x.pos = l.end;
    return CODE_NONE;
  }
  return infix_step(n, x, as_argument, start_top);
}

Status exec_set(const Node& n, Exec& x, bool as_argument) {
  const Node& v = *n.kid[0];
  if (v.pure) {
    Cell got;
    if (eval_pure_root(v, x, &got)) {
      Cell* slot = set_slot_at(n, x);
      if (slot) *slot = got;
      else interp::set_word(&n.cell, &got);
      interp::emit(&got, as_argument);
      return CODE_NONE;
    }
  }
  stack::mark_native(&n.cell);
  Status s = exec_root(v, x, true, false, true);
  if (s != CODE_NONE) return s;
  if (n.local) x.locals[n.cell.data3] = *stack::base;
  else interp::set_word(&n.cell, stack::base);
  interp::calls_detail::finish_native(as_argument);
  return CODE_NONE;
}

// The arguments of a call from the i-th, each checked against its cache entry as it is
// pushed. After a take-over the interpreter gathers the rest.
[[gnu::noinline]] Status gather_from(const Node& n, Exec& x, const Cell* fn, uint32_t i) {
  using namespace interp::calls_detail;
  for (; i < n.arity; ++i) {
    const Node& a = *n.kid[i];
    Cell got;
    if (a.pure && eval_pure_root(a, x, &got)) {
      stack::push(&got);
    } else {
      Status s = exec_root(a, x, true, false, !a.plain_first);
      if (s != CODE_NONE) return s;
    }
    const Cell* pushed = stack::top - 1;
    if (!interp::typeset_has(node_buffer(n.cache)->cells() + i, pushed->type())) [[unlikely]]
      raise_plain(fn, &n.cell, i, pushed);
    if (x.deopt) [[unlikely]] {
      interp::Code code{x.u.node, x.pos};
      Status s = gather_rest(fn, &n.cell, n.cache, i + 1, n.arity, code);
      x.pos = code.pos;
      return s;
    }
  }
  return CODE_NONE;
}

// Arguments that are all values, words and inline operators go straight into their cells;
// the first that needs more takes the common road with the rest. *arg_types gets the type
// bits of the arguments gathered here, or all bits when the common road took some.
[[gnu::always_inline]] inline Status gather(const Node& n, Exec& x, const Cell* fn,
                                            uint64_t* arg_types) {
  uint32_t i = 0;
  if (n.args_pure) {
    // Kept in locals: the cells written below could be taken to alias the node's fields.
    const uint32_t arity = n.arity;
    const Node* const* kids = n.kid;
    if (static_cast<size_t>(stack::end - stack::top) < arity) [[unlikely]] stack::overflow();
    uint64_t seen = 0;
    Cell* const args = stack::top;
    for (; i < arity; ++i) {
      Cell* slot = args + i;
      const Node& a = *kids[i];
      if (!eval_pure_root(a, x, slot)) [[unlikely]] break;
      uint64_t bit = type_bit(slot->type());
      seen |= bit;
      if (!(a.accepts & bit)) [[unlikely]] {
        stack::top = slot + 1;
        interp::calls_detail::raise_plain(fn, &n.cell, i, slot);
      }
    }
    stack::top = args + i;
    if (i == arity) [[likely]] {
      *arg_types = seen;
      return CODE_NONE;
    }
  }
  *arg_types = ~uint64_t(0);
  return gather_from(n, x, fn, i);
}

// A callee's body that has its program already: eval_block_above(body, false) above the
// callee's frame. Any other takes run_body_here, which compiles.
[[gnu::always_inline]] inline Status run_callee_body(const Cell* fn, const Cell* body,
                                                     Cell* locals) {
  Program* p = found_program(fn, body);
  if (!p || !interp::fast_tiers) [[unlikely]] return run_body_here(fn, body, locals);
  Hold hold(p);
  if (p->closed != CLOSED_NO && run_closed(*p, locals)) return CODE_NONE;
  Cell* outer = interp::lift_base();
  Status s = run_here(*p, p->body_unit, body, locals);
  if (s != CODE_NONE) [[unlikely]] return s;
  interp::drop_base(outer, false);
  return CODE_NONE;
}

Status call_function(const Node& n, Exec& x, bool as_argument) {
  using namespace interp::calls_detail;
  Cell* callee_slot = stack::push(&n.target);   // keeps an anonymous function referenced
  const Cell* fn = callee_slot;
  NodeId ctx = fn->data1;
  stack::mark_func(&n.cell, ctx);
  (stack::frames_top - 1)->header |= FRAME_INTERPRETED | FRAME_RETURN_TARGET;
  uint64_t arg_types;
  Status s = gather(n, x, fn, &arg_types);
  if (s != CODE_NONE) return s;
  Cell body = enter_body(fn);
  if (body.is(TYPE_BLOCK)) [[likely]] {
    s = run_callee_body(fn, &body, stack::base);
    if (s != CODE_NONE && s != CODE_RETURN && s != CODE_EXIT) return s;
  } else {
    set_unset(stack::base);
  }
  finish_function(callee_slot, as_argument);
  return CODE_NONE;
}

// if, either, unless and the loops on their gathered arguments, as their natives do.
Status run_special(const Node& n, const Exec& x) {
  Cell* args = stack::base;
  switch (n.special) {
    case S_IF:
    case S_EITHER:
    case S_UNLESS: {
      uint32_t chosen = natives::choose(choice_of(n.special), args);
      if (chosen == 0) return natives::answer_none();
      Cell body = args[chosen];
      return run_block(n.blocks[chosen - 1], &body, x);
    }
    case S_LOOP:
      return run_loop(n, x, args);
    case S_UNTIL:
      return run_until(n, x, args);
    default:
      return run_while(n, x, args);
  }
}

Status call_native(const Node& n, Exec& x, bool as_argument) {
  using namespace interp::calls_detail;
  stack::mark_interp_native(&n.cell);
  uint64_t arg_types;
  Status s = gather(n, x, &n.target, &arg_types);
  if (s != CODE_NONE) return s;
  // Arguments the interpreter gathered may be other blocks: the native itself runs them.
  if (n.special == S_NONE || x.deopt) {
    compiled::note_native_call(arg_types);
    return run_entry(n.entry, NO_REFINEMENTS, as_argument, true);
  }
  uint32_t depth = stack::eval_depth;
  Cell position = *stack::position_cell;
  s = run_special(n, x);
  if (s != CODE_NONE) {
    stack::eval_depth = depth;
    *stack::position_cell = position;
    return s;
  }
  finish_native(as_argument);
  return CODE_NONE;
}

Status exec(const Node& n, Exec& x, bool as_argument) {
  switch (n.kind) {
    case K_VALUE:
      interp::emit(&n.cell, as_argument);
      return CODE_NONE;
    case K_WORD:
    case K_LOCAL: {
      const Cell* v = word_at(n, x);
      if (!v || !plain_type(v->type())) return FALLBACK;
      interp::emit(v, as_argument);
      return CODE_NONE;
    }
    case K_GET: {
      Cell v = n.local ? x.locals[n.cell.data3] : *interp::get_word(&n.cell);
      interp::emit(&v, as_argument);
      return CODE_NONE;
    }
    case K_PAREN: {
      Cell paren = n.cell;
      return run_above(x.p, n.unit, &paren, x.locals, as_argument);
    }
    case K_INFIX:
      return exec_infix(n, x, as_argument, stack::top);
    case K_SET:
      return exec_set(n, x, as_argument);
    case K_CALL: {
      const Cell* v = word_at(n, x);
      if (!v || !same(v, &n.target) || !interp::has_headroom()) return FALLBACK;
      return n.target.is(TYPE_FUNCTION) ? call_function(n, x, as_argument)
                                        : call_native(n, x, as_argument);
    }
  }
  return FALLBACK;
}

// The statements of a block from the first one that is not answered inline: eval_block_here's
// loop, with the position record naming the block.
[[gnu::noinline]] Status run_statements(const Unit& u, Exec& x, const Cell* block, uint32_t i) {
  const uint32_t count = u.root_count();
  const Node* const* roots = u.roots.data();
  // The position goes back as the caller had it on every way out but an error, whose catcher
  // restores it from its saved state.
  Cell* cur = stack::position_cell;
  Cell saved = *cur;
  *cur = *block;
  bool first = i == 0;
  for (; i < count; ++i) {
    const Node& st = *roots[i];
    interp::before_statement(first);
    first = false;
    cur->data1 = st.pos;
    Status s = exec_root(st, x, false, false, true);
    if (s != CODE_NONE) [[unlikely]] {
      *cur = saved;
      return s;
    }
    if (x.deopt) [[unlikely]] break;
  }
  if (!x.deopt) {
    if (u.rest == u.tail()) {
      *cur = saved;
      return CODE_NONE;
    }
    x.pos = u.rest;
  }
  interp::Code code{u.node, x.pos};
  Status s = CODE_NONE;
  if (!code.at_end()) s = interp::eval_rest_here(code, first);
  *cur = saved;
  return s;
}

// Leading statements of plain values and inline operators, from the i-th: answers the first
// one that needs more. Out of line, so that the frames of deep recursions stay small.
[[gnu::noinline]] uint32_t run_plain_statements(const Unit& u, const Exec& x, uint32_t i) {
  const uint32_t count = u.root_count();
  for (; i < count; ++i) {
    const Node& st = *u.roots[i];
    if (!st.pure) break;
    Cell got;
    if (st.kind == K_SET) {
      if (!eval_pure_root(*st.kid[0], x, &got)) break;
      Cell* slot = set_slot_at(st, x);
      if (!slot) break;
      *slot = got;
    } else if (!eval_pure_root(st, x, &got)) {
      break;
    }
    interp::statement_value(&got);
  }
  return i;
}

}  // namespace

// A block's statements in the running frame: eval_block_here. Leading statements of plain
// values and inline operators take no step of the interpreter's at all: no position, no
// depth, no safe point.
Status run_here(const Program& p, uint32_t unit, const Cell* block, Cell* locals,
                uint32_t first_statement) {
  const Unit& u = p.units[unit];
  if (!still(u, u.index)) [[unlikely]] return interp::eval_block_here(block);
  Exec x{p, u, locals};
  const uint32_t count = u.root_count();
  uint32_t i = first_statement;
  if (i < count && u.roots[i]->pure) i = run_plain_statements(u, x, i);
  if (i == count && u.rest == u.tail()) [[likely]] {
    if (count == 0) interp::empty_block_value();
    return CODE_NONE;
  }
  return run_statements(u, x, block, i);
}

Status run_body_here(const Cell* fn, const Cell* body, Cell* locals) {
  Program* p = interp::fast_tiers ? program_of(fn, body) : nullptr;
  if (!p) return interp::eval_block_above(body, false);
  Hold hold(p);
  if (p->closed != CLOSED_NO && run_closed(*p, locals)) return CODE_NONE;
  return run_above(*p, p->body_unit, body, locals, false);
}

}  // namespace detail

Status run_body(const Cell* fn, const Cell* body, Cell* locals) {
  return detail::run_body_here(fn, body, locals);
}

}  // namespace tav::compiled
