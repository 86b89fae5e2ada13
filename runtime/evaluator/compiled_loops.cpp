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

// A pure while loop's blocks: each runs trusted from its first statement. Once a statement
// needs more than an inline answer, it and the rest of the round take the common road, and so
// do the rounds after it (what it ran may have changed what the loop was checked for).
struct PureRounds {
  const Node& n;
  const Exec& x;
  Cell* args;
  const Exec cx;
  const Exec bx;
  bool trusted = true;
  PureRounds(const Node& n, const Exec& x, Cell* args)
      : n(n), x(x), args(args), cx{x.p, x.p.units[n.blocks[0]], x.locals},
        bx{x.p, x.p.units[n.blocks[1]], x.locals} {}
  [[gnu::always_inline]] Status operator()(uint32_t i) {
    uint32_t done = 0;
    if (trusted) [[likely]] {
      const Exec& e = i ? bx : cx;
      done = run_trusted(e.u, e);
      if (done == e.u.root_count()) [[likely]] return CODE_NONE;
      trusted = false;
    }
    Cell block = args[i];
    return run_here(x.p, n.blocks[i], &block, x.locals, done);
  }
};

[[gnu::noinline]] Status pure_while(const Node& n, const Exec& x, Cell* args) {
  return natives::while_rounds(natives::on_stack(PureRounds(n, x, args)));
}

// A compiled loop's blocks (from `blocks` on), each run by its unit.
inline auto by_unit(const Node& n, const Exec& x, Cell* blocks) {
  return natives::on_stack([&n, &x, blocks](uint32_t i) {
    Cell block = blocks[i];
    return run_block(n.blocks[i], &block, x);
  });
}

}  // namespace

// Each loop keeps its frame to itself, off the road of the conditionals.
Status run_loop(const Node& n, const Exec& x, Cell* args) {
  return natives::loop_rounds(natives::loop_count(args), by_unit(n, x, args + 1));
}

Status run_until(const Node& n, const Exec& x, Cell* args) {
  return natives::until_rounds(by_unit(n, x, args));
}

Status run_while(const Node& n, const Exec& x, Cell* args) {
  if (n.pure_loop && loop_holds(n, x)) return pure_while(n, x, args);
  return natives::while_rounds(by_unit(n, x, args));
}

}  // namespace tav::compiled::detail
