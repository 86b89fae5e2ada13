// Closed runs of compiled bodies: which programs have one, what they rely on, and the run.
#include "compiled_closed.h"

#include <algorithm>

#include "compiled_exec.h"
#include "core/context.h"
#include "fast_paths.h"
#include "trace.h"

namespace tav::compiled::detail {

Program::Program() {
  static uint64_t serials = 0;
  serial = ++serials;
}
Program::~Program() = default;

namespace {

// Bound to a context whose values do not live on the stack (no function owns the word).
bool unowned_word(const Cell& w) {
  return w.data1 != 0 && static_cast<int32_t>(w.data3) >= 0 &&
         !context::on_stack(context::context_cell(w.data1));
}

// The word after a node that must not become an operator (the node's next_check).
const Cell& next_word(const Unit& u, const Node& n) { return u.cells[n.end - u.index]; }

// Whether every node of a program has a closed form; notes the slots of the function's own
// words that must not hold an operator when a node ends.
bool closed_shape(Program& p) {
  if (!context::on_stack(context::context_cell(p.ctx))) return false;
  for (Unit& u : p.units) {
    if (u.rest != u.tail()) return false;
    for (Node& n : u.nodes) {
      if (n.next_check) {
        const Cell& w = next_word(u, n);
        if (w.data1 == p.ctx && static_cast<int32_t>(w.data3) >= 0) n.next_slot = w.data3;
        else if (!unowned_word(w)) return false;
      }
      switch (n.kind) {
        case K_VALUE:
        case K_LOCAL:
          break;
        case K_WORD:
          if (!unowned_word(n.cell)) return false;
          break;
        case K_GET:
          if (!n.local && !unowned_word(n.cell)) return false;
          break;
        case K_PAREN:
          if (n.unit == NO_UNIT) return false;
          // Units come after the units they run: an inner paren has its own already.
          if (const Node* only = p.units[n.unit].single)
            n.closed_as = only->closed_as ? only->closed_as : only;
          break;
        case K_INFIX:
          if (!unowned_word(n.cell)) return false;
          break;
        case K_SET:
          if (!n.local) return false;
          break;
        case K_CALL:
          if (n.local || !unowned_word(n.cell) || n.arity > 32) return false;
          if (n.target.is(TYPE_FUNCTION)) break;
          if (n.special == S_NONE) return false;
          {
            // The blocks are literal, of a type the native takes, each with its unit.
            uint32_t first = (n.special == S_WHILE || n.special == S_UNTIL) ? 0 : 1;
            uint32_t blocks = (n.special == S_EITHER || n.special == S_WHILE) ? 2 : 1;
            for (uint32_t b = 0; b < blocks; ++b)
              if (n.blocks[b] == NO_UNIT || !((n.typed >> (first + b)) & 1)) return false;
          }
          break;
      }
    }
  }
  return true;
}

// Whether the callee of a call takes its i-th argument with this type.
[[gnu::always_inline]] inline bool accepts(const Node& call, uint32_t i, TypeId t) {
  return (call.kid[i]->accepts & type_bit(t)) != 0;
}

template <typename T, typename Same>
void add_once(std::vector<T>& list, const T& item, Same same_as) {
  for (const T& t : list)
    if (same_as(t, item)) return;
  list.push_back(item);
}

// Gathers what a program's closed runs rely on. CLOSED_UNKNOWN: a function it calls has no
// program yet (it has not run): the look is made again later.
Closed gather_set(Program& root, ClosedSet& set) {
  std::vector<Program*> todo{&root};
  auto member = [&](const Program* p) {
    for (const ClosedSet::Member& m : set.members)
      if (m.p == p) return true;
    return false;
  };
  while (!todo.empty()) {
    Program* p = todo.back();
    todo.pop_back();
    if (member(p)) continue;
    if (p->shape == SHAPE_UNKNOWN) p->shape = closed_shape(*p) ? SHAPE_CLOSED : SHAPE_OPEN;
    if (p->shape == SHAPE_OPEN) return CLOSED_NO;
    set.members.push_back({p, p->id, p->serial});
    // Every node holds at most a few cells, a frame and two depth steps at once, above the
    // function's slots, its callee cell and its frame.
    set.cells = std::max(set.cells, p->slots + 4 * p->node_count + 4);
    set.frames = std::max(set.frames, p->node_count + 2);
    set.depth = std::max(set.depth, 2 * p->node_count + 2);
    for (Unit& u : p->units) {
      for (Node& n : u.nodes) {
        if (n.next_check && n.next_slot == NO_SLOT)
          add_once(set.not_ops, next_word(u, n), [](const Cell& a, const Cell& b) {
            return same(&a, &b);
          });
        if (n.kind != K_INFIX && n.kind != K_CALL) continue;
        // A word that no longer names what it was compiled for leaves that part of the body
        // to the interpreter for good; its old value may be gone.
        const Cell* now = interp::word_value_cell(&n.cell);
        if (!now || !same(now, &n.target)) return CLOSED_NO;
        add_once(set.words, ClosedSet::Guard{n.cell, n.target},
                 [](const ClosedSet::Guard& a, const ClosedSet::Guard& b) {
                   return same(&a.word, &b.word) && same(&a.value, &b.value);
                 });
        if (n.kind != K_CALL || !n.target.is(TYPE_FUNCTION)) continue;
        Cell body = node_buffer(n.target.data3)->cells()[0];
        if (!body.is(TYPE_BLOCK)) return CLOSED_NO;
        Program* callee = found_program(&n.target, &body);
        if (!callee) return CLOSED_UNKNOWN;
        n.callee = callee;
        set.callees.push_back({n.target, callee});
        todo.push_back(callee);
      }
    }
  }
  return CLOSED_YES;
}

// Whether a closed run saves anything: a body of plain statements takes no frame anyway.
bool worth_closing(const Program& p) {
  for (const Unit& u : p.units)
    for (const Node& n : u.nodes)
      if (n.kind == K_CALL) return true;
  return false;
}

// Decides whether a program runs closed. A program whose callees have not all run yet is
// looked at again after 2, 4, 8... more runs, and given up after 65536.
void settle(Program& p) {
  if (!worth_closing(p)) {
    p.closed = CLOSED_NO;
    return;
  }
  uint32_t tries = ++p.closed_tries;
  if ((tries & (tries - 1)) != 0) return;
  auto set = std::make_unique<ClosedSet>();
  Closed c = gather_set(p, *set);
  if (c == CLOSED_UNKNOWN) {
    if (tries >= 65536) p.closed = CLOSED_NO;
    return;
  }
  p.closed = c;
  if (c == CLOSED_YES) p.closed_set = std::move(set);
}

// Whether everything a closed run relies on still holds. The order matters: the words keep
// the callees alive, the callees' bodies keep their programs' blocks alive, and a block that
// still holds its cells keeps the blocks it names alive (a unit comes after those it runs).
bool still_closed(ClosedSet& set) {
  for (const ClosedSet::Guard& g : set.words) {
    const Cell* v = interp::word_value_cell(&g.word);
    if (!v || !same(v, &g.value)) return false;
  }
  for (const Cell& w : set.not_ops) {
    const Cell* v = interp::word_value_cell(&w);
    if (v && v->is(TYPE_OP)) return false;
  }
  for (const ClosedSet::Callee& c : set.callees) {
    const Cell& body = node_buffer(c.fn.data3)->cells()[0];
    if (!body.is(TYPE_BLOCK) || body.node() != c.p->body || body.index() != c.p->body_index)
      return false;
  }
  const std::vector<Program*>& programs = registry->programs;
  for (const ClosedSet::Member& m : set.members) {
    if (m.id >= programs.size() || programs[m.id] != m.p || m.p->serial != m.serial ||
        context::word_count(m.p->ctx) != m.p->slots)
      return false;
  }
  if (set.checked != edits) {
    for (const ClosedSet::Member& m : set.members)
      for (auto u = m.p->units.rbegin(); u != m.p->units.rend(); ++u)
        if (!same_cells(*u, u->index)) return false;
    set.checked = edits;
  }
  return true;
}

// One closed run: where the next call's slots go, and how many more calls may nest: as deep
// as the ordinary way would have room for on every stack, worked out at the first call.
struct ClosedRun {
  const ClosedSet& set;
  Cell* free;
  uint32_t levels = 0;
  bool counted = false;
};

[[gnu::noinline]] bool count_levels(ClosedRun& r) {
  if (r.counted) return false;
  r.counted = true;
  const ClosedSet& set = r.set;
  uint32_t cells = r.free < stack::end ? static_cast<uint32_t>(stack::end - r.free) : 0;
  uint32_t frames = static_cast<uint32_t>(stack::frames_end - stack::frames_top);
  uint32_t depth = stack::eval_depth < interp::MAX_EVAL_DEPTH
                       ? interp::MAX_EVAL_DEPTH - stack::eval_depth : 0;
  r.levels = std::min({cells / set.cells, frames / set.frames, depth / set.depth});
  return r.levels > 0;
}

bool closed_node(const Program& p, const Node& n, Cell* regs, ClosedRun& r, Cell* out);
bool closed_call(const Node& n, Cell* regs, const Program& p, ClosedRun& r, Cell* out);
bool closed_special(const Node& n, Cell* regs, const Program& p, ClosedRun& r, Cell* out);

// The function's own word after a node must still not be an operator.
[[gnu::always_inline]] inline bool closed_next(const Node& n, const Cell* regs) {
  return n.next_slot == NO_SLOT || !regs[n.next_slot].is(TYPE_OP);
}

// A node's value. Values, words and inline operators take no call; a paren of one expression
// is that expression.
[[gnu::always_inline]] inline bool closed_value(const Program& p, const Node& n, Cell* regs,
                                                ClosedRun& r, Cell* out) {
  const Node& m = n.closed_as ? *n.closed_as : n;
  if (m.pure) {
    if (m.kind != K_SET) {
      if (!values_inline<false>(m, regs, out)) return false;
    } else {
      const Node& v = *m.kid[0];
      Cell got;   // in registers: a copy out of *out would wait for the two halves just stored
      if (!values_inline<false>(v, regs, &got) || !closed_next(v, regs)) return false;
      regs[m.cell.data3] = got;
      *out = got;
    }
  } else if (m.kind == K_CALL) {
    if (!(m.special == S_NONE ? closed_call(m, regs, p, r, out)
                              : closed_special(m, regs, p, r, out)))
      return false;
  } else if (!closed_node(p, m, regs, r, out)) {
    return false;
  }
  return closed_next(m, regs) && (&m == &n || closed_next(n, regs));
}

// A unit's statements: the last one's value, unset! for none.
bool closed_statements(const Program& p, const Unit& u, Cell* regs, ClosedRun& r, Cell* out);

[[gnu::always_inline]] inline bool closed_unit(const Program& p, uint32_t unit, Cell* regs,
                                               ClosedRun& r, Cell* out) {
  const Unit& u = p.units[unit];
  if (u.single) [[likely]] return closed_value(p, *u.single, regs, r, out);
  return closed_statements(p, u, regs, r, out);
}

bool closed_statements(const Program& p, const Unit& u, Cell* regs, ClosedRun& r, Cell* out) {
  const Node* const* roots = u.roots.data();
  const size_t count = u.root_count();
  if (count == 0) {
    set_unset(out);
    return true;
  }
  for (size_t i = 0; i < count; ++i)
    if (!closed_value(p, *roots[i], regs, r, out)) return false;
  return true;
}

bool closed_call(const Node& n, Cell* regs, const Program& p, ClosedRun& r, Cell* out) {
  const Program& q = *n.callee;
  if (r.levels == 0 && !count_levels(r)) [[unlikely]] return false;
  Cell* slots = r.free;
  r.free = slots + q.slots;
  for (uint32_t i = 0; i < n.arity; ++i)
    if (!closed_value(p, *n.kid[i], regs, r, slots + i) || !accepts(n, i, slots[i].type()))
      return false;
  for (uint32_t i = n.arity; i < q.slots; ++i) set_none(slots + i);
  --r.levels;
  if (!closed_unit(q, q.body_unit, slots, r, out)) return false;
  ++r.levels;
  r.free = slots;
  return true;
}

// The road of a closed run's loops: each round's value goes to `out`, in its registers, with no
// frame. Where the native would raise (a condition with no truth) or a block cannot run
// closed, the run gives up and the ordinary way takes the whole body.
template <typename Block>
struct ClosedRounds {
  Block block;   // bool(uint32_t i, Cell* out): the loop's i-th block, closed
  Cell* out;
  [[gnu::always_inline]] Status round(uint32_t i) { return block(i, out) ? CODE_NONE : FALLBACK; }
  const Cell* value() const { return out; }
  Status untrue() { return FALLBACK; }
  void open() {}
  Status close_with_last() { return CODE_NONE; }
  Status close_with_unset() {
    set_unset(out);
    return CODE_NONE;
  }
  Status none_without_rounds() {
    set_none(out);
    return CODE_NONE;
  }
};
template <typename Block>
ClosedRounds<Block> closed_rounds(Block block, Cell* out) {
  return ClosedRounds<Block>{block, out};
}

// A closed loop's blocks, each run by its unit, or (the commonest loop) the one expression of
// each.
struct ClosedUnits {
  const Program& p;
  const Node& n;
  Cell* regs;
  ClosedRun& r;
  [[gnu::always_inline]] bool operator()(uint32_t i, Cell* out) const {
    return closed_unit(p, n.blocks[i], regs, r, out);
  }
};
struct ClosedSingles {
  const Program& p;
  const Node* only[2];
  Cell* regs;
  ClosedRun& r;
  [[gnu::always_inline]] bool operator()(uint32_t i, Cell* out) const {
    return closed_value(p, *only[i], regs, r, out);
  }
};

// The two expressions of a pure while loop: values, words and inline operators, setting no
// word that is an operator or follows an expression of the loop (made sure when compiled).
// The words after the expressions cannot change in its rounds, so they are checked once,
// before the first (pure_start).
struct ClosedPureSingles {
  const Node* only[2];
  Cell* regs;
  [[gnu::always_inline]] bool operator()(uint32_t i, Cell* out) const {
    const Node& m = *only[i];
    if (m.kind != K_SET) return values_inline<false>(m, regs, out);
    Cell got;
    if (!values_inline<false>(*m.kid[0], regs, &got)) return false;
    regs[m.cell.data3] = got;
    *out = got;
    return true;
  }
};

bool pure_start(const Node* const* only, const Cell* regs) {
  for (uint32_t i = 0; i < 2; ++i) {
    const Node& m = *only[i];
    if (m.closed_as || !m.pure || !closed_next(m, regs)) return false;
    if (m.kind == K_SET && !closed_next(*m.kid[0], regs)) return false;
  }
  return true;
}

// while, loop and until: their rounds as their natives run them.
[[gnu::noinline]] bool closed_loop(const Node& n, Cell* regs, const Program& p, ClosedRun& r,
                                   Cell* out) {
  ClosedUnits units{p, n, regs, r};
  switch (n.special) {
    case S_WHILE: {
      const Node* test = p.units[n.blocks[0]].single;
      const Node* body = p.units[n.blocks[1]].single;
      if (test && body && n.pure_loop) {
        ClosedPureSingles pure{{test, body}, regs};
        if (!pure_start(pure.only, regs)) return false;
        return natives::while_rounds(closed_rounds(pure, out)) == CODE_NONE;
      }
      if (test && body)
        return natives::while_rounds(closed_rounds(ClosedSingles{p, {test, body}, regs, r}, out)) ==
               CODE_NONE;
      return natives::while_rounds(closed_rounds(units, out)) == CODE_NONE;
    }
    case S_UNTIL:
      return natives::until_rounds(closed_rounds(units, out)) == CODE_NONE;
    default: {
      Cell count;
      if (!closed_value(p, *n.kid[0], regs, r, &count) || !count.is(TYPE_INTEGER)) return false;
      return natives::loop_rounds(count.int_value(), closed_rounds(units, out)) == CODE_NONE;
    }
  }
}

// if, either and unless.
bool closed_special(const Node& n, Cell* regs, const Program& p, ClosedRun& r, Cell* out) {
  if (n.special >= S_WHILE) return closed_loop(n, regs, p, r, out);
  Cell cond;
  if (!closed_value(p, *n.kid[0], regs, r, &cond)) return false;
  if (!accepts(n, 0, cond.type())) return false;
  if (n.special == S_EITHER) {
    // An unset! condition is either's error: the ordinary way raises it.
    if (cond.is(TYPE_UNSET)) return false;
    uint32_t chosen = natives::choose_taken(natives::Choice::either_, &cond);
    return closed_unit(p, n.blocks[chosen - 1], regs, r, out);
  }
  uint32_t chosen = natives::choose_taken(
      n.special == S_IF ? natives::Choice::if_ : natives::Choice::unless_, &cond);
  if (chosen == 0) {
    set_none(out);
    return true;
  }
  return closed_unit(p, n.blocks[chosen - 1], regs, r, out);
}

// A node's value, the check of the word after it left to closed_value.
bool closed_node(const Program& p, const Node& n, Cell* regs, ClosedRun& r, Cell* out) {
  switch (n.kind) {
    case K_VALUE:
      *out = n.cell;
      break;
    case K_LOCAL: {
      const Cell* v = regs + n.cell.data3;
      if (!plain_type(v->type())) return false;
      *out = *v;
      break;
    }
    case K_WORD: {
      const Cell* v = interp::word_value_cell(&n.cell);
      if (!v || !plain_type(v->type())) return false;
      *out = *v;
      break;
    }
    case K_GET: {
      const Cell* v = n.local ? regs + n.cell.data3 : interp::word_value_cell(&n.cell);
      if (!v) return false;
      *out = *v;
      break;
    }
    case K_PAREN:
      if (!closed_unit(p, n.unit, regs, r, out)) return false;
      break;
    case K_INFIX: {
      Cell left, right;
      if (!closed_value(p, *n.kid[0], regs, r, &left) ||
          !closed_value(p, *n.kid[1], regs, r, &right) ||
          !fast_paths::infix_inline(n.code, &left, &right, out))
        return false;
      break;
    }
    case K_SET:
      if (!closed_value(p, *n.kid[0], regs, r, out)) return false;
      regs[n.cell.data3] = *out;
      break;
    case K_CALL:
      return n.special == S_NONE ? closed_call(n, regs, p, r, out)
                                 : closed_special(n, regs, p, r, out);
  }
  return true;
}

}  // namespace

bool run_closed(Program& p, const Cell* locals) {
  if (p.closed == CLOSED_UNKNOWN) {
    settle(p);
    if (p.closed != CLOSED_YES) return false;
  }
  ClosedSet& set = *p.closed_set;
  if (!still_closed(set)) {
    // What it was compiled for changed for good: its ordinary runs leave it to the
    // interpreter there, and so does this.
    p.closed = CLOSED_NO;
    p.closed_set.reset();
    return false;
  }
  Cell* regs = stack::top;
  if (p.slots > static_cast<size_t>(stack::end - regs)) return false;
  std::copy(locals, locals + p.slots, regs);
  ClosedRun run{set, regs + p.slots};
  ++p.closed_runs;
  Cell result;
  if (closed_unit(p, p.body_unit, regs, run, &result)) [[likely]] {
    *stack::base = result;
    stack::top = stack::base + 1;
    return true;
  }
  // A program whose runs are often abandoned runs the ordinary way from then on.
  if (++p.closed_misses >= 16 && p.closed_misses * 4 > p.closed_runs) {
    p.closed = CLOSED_NO;
    p.closed_set.reset();
  }
  return false;
}

}  // namespace tav::compiled::detail
