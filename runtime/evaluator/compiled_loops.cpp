// The loops of compiled bodies: loop, until and while run their blocks' units as their
// natives run their blocks. A while loop whose blocks only compute checks its operators once
// and then runs its rounds with no check at all.
#include "compiled_exec.h"
#include "core/errors.h"
#include "loop_rounds.h"

namespace tav::compiled::detail {

namespace {

// A pure loop's blocks hold only plain values, words and inline operators, and set no word
// that names one of its operators: once the operators are found to be what they were compiled
// for, nothing the loop does can change them, nor its blocks (it calls nothing).
[[gnu::noinline]] bool loop_holds(const Node& n, const Exec& x) {
  for (uint32_t b = 0; b < 2; ++b) {
    const Unit& u = x.p.units[n.blocks[b]];
    if (!still(u, u.index)) return false;
    for (const Node& k : u.nodes) {
      if (k.kind == K_INFIX) {
        const Cell* op = interp::word_value_cell(&k.cell);
        if (!op || !same(op, &k.target)) return false;
      }
      if (k.next_check && next_is_op({x.p, u, x.locals}, k)) return false;
    }
  }
  return true;
}

// The statements of a pure loop's block from the first; answers how many were done (all of
// them, or the one whose operands need more than an inline answer).
[[gnu::always_inline]] inline uint32_t run_trusted(const Unit& u, const Exec& x) {
  const uint32_t count = u.root_count();
  uint32_t i = 0;
  for (; i < count; ++i) {
    const Node& st = *u.roots[i];
    Cell got;
    if (st.kind == K_SET) {
      if (!values_inline<false>(*st.kid[0], x.locals, &got)) break;
      Cell* slot = set_slot_at(st, x);
      if (!slot) break;
      *slot = got;
    } else if (!values_inline<false>(st, x.locals, &got)) {
      break;
    }
    interp::statement_value(&got);
  }
  if (count == 0) interp::empty_block_value();
  return i;
}

// The rounds of a pure while loop, as the native runs them. Once a statement needs more than
// an inline answer, it and the rest of the round take the common road, and so do the rounds
// after it: true when the loop ended here, with its status in *s.
[[gnu::noinline]] bool pure_loop(const Node& n, const Exec& x, Cell* args, Status* s) {
  using natives::After;
  const Unit& cond = x.p.units[n.blocks[0]];
  const Unit& body = x.p.units[n.blocks[1]];
  const Exec cx{x.p, cond, x.locals};
  const Exec bx{x.p, body, x.locals};
  while (true) {
    stack::reset();
    uint32_t done = run_trusted(cond, cx);
    if (done < cond.root_count()) {
      Cell block = args[0];
      *s = run_here(x.p, n.blocks[0], &block, x.locals, done);
      if (*s == CODE_BREAK || *s == CODE_CONTINUE) error::raise(ERR_THROW, "while-cond");
      if (*s != CODE_NONE) return true;
      if (!natives::true_result(stack::base)) break;
      stack::reset();
      block = args[1];
      *s = run_here(x.p, n.blocks[1], &block, x.locals);
      After a = natives::after_body(*s);
      if (a == After::stop) break;
      return a == After::pass;
    }
    if (!natives::true_result(stack::base)) break;
    stack::reset();
    done = run_trusted(body, bx);
    if (done < body.root_count()) {
      Cell block = args[1];
      *s = run_here(x.p, n.blocks[1], &block, x.locals, done);
      After a = natives::after_body(*s);
      if (a == After::stop) break;
      return a == After::pass;
    }
  }
  *s = natives::while_ends();
  return true;
}

// A compiled loop's block argument run as one round, by its unit.
inline auto rounds_by_unit(const Node& n, const Exec& x, Cell* args) {
  return [&n, &x, args](uint32_t i) {
    stack::reset();
    Cell block = args[i];
    return run_block(n.blocks[n.special == S_WHILE ? i : 0], &block, x);
  };
}

}  // namespace

// Each loop keeps its frame to itself, off the road of the conditionals.
Status run_loop(const Node& n, const Exec& x, Cell* args) {
  return natives::loop_rounds(args, rounds_by_unit(n, x, args));
}

Status run_until(const Node& n, const Exec& x, Cell* args) {
  return natives::until_rounds(rounds_by_unit(n, x, args));
}

Status run_while(const Node& n, const Exec& x, Cell* args) {
  natives::push_loop_frame();
  if (n.pure_loop && loop_holds(n, x)) {
    Status s;
    if (pure_loop(n, x, args, &s)) return s;
  }
  return natives::while_rounds(rounds_by_unit(n, x, args));
}

}  // namespace tav::compiled::detail
