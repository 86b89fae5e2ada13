// The interpreter: evaluates blocks expression by expression on the argument stack.
//
// Every evaluation leaves its value on the argument stack: as an argument it is pushed as a
// new cell; as a statement it goes to the running call's result slot (stack::base) and the
// stack is cut back to that slot. Break, continue, return, exit and throw come back as a
// non-zero Status after the thrower has already unwound the frames, so callers pass such a
// status on without touching the stacks.
#pragma once
#include <cstdint>

#include "calls.h"
#include "core/collector.h"
#include "core/cell.h"
#include "core/context.h"
#include "core/memory.h"
#include "core/stack.h"
#include "switches.h"

namespace tav::interp {

// How deep expressions may nest before stack-overflow is raised: far below what the machine
// stack of the interpreter thread could hold.
constexpr uint32_t MAX_EVAL_DEPTH = 30000;

// One step into a nested expression, as every tier takes it: a safe point for the collector
// (between expressions nothing holds raw buffer pointers), and one more level of depth, past
// MAX_EVAL_DEPTH a stack-overflow. leave_expression steps back out.
[[noreturn, gnu::noinline]] void raise_too_deep();
[[gnu::always_inline]] inline void enter_expression() {
  collector::safe_point();
  if (++stack::eval_depth > MAX_EVAL_DEPTH) [[unlikely]] raise_too_deep();
}
[[gnu::always_inline]] inline void leave_expression() { --stack::eval_depth; }

// Whether the fast tiers (the straight roads and fast walks, compiled units, closed runs) may
// run: false while a tracer is installed, and for good once switched off, when only the
// general interpreter runs. Every tier gives the same answers and errors; the switch is there
// to show that, and to run code the one plain way.
inline constexpr bool& fast_tiers = evaluator::switches.fast_tiers;
// The start-up setting: TAV_TIERS=off in the environment, or tav-eval's --tiers off.
void set_tiers_enabled(bool on);
bool tiers_enabled();

// Near the limits of the stacks only the general interpreter runs. A fast tier saves some of
// the frames, cells and depth steps the general interpreter spends on a step (a set-word's
// frame, an operator's call answered inline), so close to a limit the one road could still
// go on where the other stops: a call made with less room left than any stretch of fast steps
// between two calls could save takes the general road, for everything under it, and the
// limit comes where the general interpreter meets it, with the same report.
constexpr uint32_t HEADROOM = 256;
[[gnu::always_inline]] inline bool has_headroom() {
  return stack::frames_end - stack::frames_top > HEADROOM &&
         stack::end - stack::top > HEADROOM &&
         stack::eval_depth + HEADROOM < MAX_EVAL_DEPTH;
}

// The block being evaluated, its index at the expression being evaluated (a root cell).
Cell* current_position();

// Evaluates the block from its index to its tail under an eval frame. chain: copy the result
// into the enclosing call's result slot; else leave it as the newest argument.
Status eval_block(const Cell* block, bool chain);

// Evaluates the block's expressions in the running frame, with no frame of its own: each
// statement's value goes to the frame's result slot, which holds the last one at the end.
// For callers whose frame holds nothing below its result slot that must survive.
Status eval_block_here(const Cell* block);

// Goes on with a block from code.pos (not at its tail) in the running frame, the position
// record already naming the block: the statements eval_block_here has not evaluated yet.
// `first`: none of the block's statements ran yet.
Status eval_rest_here(Code& code, bool first);

// A block's statements, however they run, share the running frame's result slot: each one
// but the first starts on the stack cut back to that slot, and leaves its value there, so
// that every road takes the same cells. An empty block answers unset!.
[[gnu::always_inline]] inline void before_statement(bool first) {
  if (!first) stack::reset();
}
[[gnu::always_inline]] inline void statement_value(const Cell* v) {
  *stack::base = *v;
  stack::top = stack::base + 1;
}
inline void empty_block_value() {
  set_unset(stack::base);
  stack::top = stack::base + 1;
}

// Evaluates the block above everything on the stack, with no frame of its own (such a
// stretch has no name a report could show, and every catcher finds its place through the
// frames below): the value is pushed (as_argument) or becomes the running call's result.
Status eval_block_above(const Cell* block, bool as_argument);

// The operator look-ahead after a value that sits at start_top (as_argument) or in the result
// slot: each operator found takes that value as its left operand.
Status eval_infix(Code& code, Cell* start_top, bool as_argument);

// Evaluates the one expression at code.pos and moves code.pos past it.
Status eval_expression(Code& code, bool no_infix, bool as_argument, bool fn_is_value);

// One expression under a <body> native frame (as an argument of the running call).
Status eval_next(Code& code, bool as_argument);

// Evaluates one expression at the block's index; at the tail the result is unset. The new
// index is written to *next_index.
Status do_next_index(const Cell* block, uint32_t* next_index);

// Paths. `set_value` is the value to store for a set-path (null otherwise).
Status eval_path(const Cell* path, Code& code, bool set, bool get, bool as_argument,
                 const Cell* set_value);

// Reading and writing words through their binding. word_value_cell answers null when the
// word is unbound or its function is not running; get_word raises the matching error.
// A bound word knows its slot: the value is one or two indexed loads away, with no search.
Cell* word_value_cell_unresolved(const Cell* word);   // unbound, or no position yet
[[gnu::always_inline]] inline Cell* word_value_cell(const Cell* word) {
  NodeId ctx = word->data1;
  int32_t idx = static_cast<int32_t>(word->data3);
  if (ctx == 0 || idx < 0) [[unlikely]] return word_value_cell_unresolved(word);
  const Cell* cc = context::context_cell(ctx);
  if (cc->header & FLAG_CTX_ON_STACK) {
    if (cc->data2 == 0) return nullptr;
    Cell* slot = stack::at_index(cc->data2 - 1) + idx;
    return slot < stack::top ? slot : nullptr;
  }
  // Values blocks hold cells: the bound test compares bytes, with no division.
  SeriesBuffer* values = node_buffer(cc->data2);
  return uint64_t(idx) * sizeof(Cell) < values->used() ? values->cells() + idx : nullptr;
}
[[noreturn]] void raise_unreadable(const Cell* word);
[[gnu::always_inline]] inline const Cell* get_word(const Cell* word) {
  const Cell* v = word_value_cell(word);
  if (!v) [[unlikely]] raise_unreadable(word);
  return v;
}
[[noreturn]] void raise_unwritable(const Cell* word);
// The slot a set-word may write straight into: null when the word is unwritable, or when it is
// a field of an object that must hear of the change (set_word takes the road that tells it).
[[gnu::always_inline]] inline Cell* plain_set_slot(const Cell* word) {
  Cell* slot = word_value_cell(word);
  if (slot && context::notifies(word->data1)) [[unlikely]] return nullptr;
  return slot;
}
inline void set_word(const Cell* word, const Cell* value) {
  Cell* slot = word_value_cell(word);
  if (!slot) [[unlikely]] raise_unwritable(word);
  if (context::notifies(word->data1)) [[unlikely]] {
    Cell w = *word;
    context::set_in(&w, value, w.data1);
    return;
  }
  *slot = *value;
}

// A block that runs with no frame of its own runs above everything pushed: its base is lifted
// to the top (the old base is answered), and dropped back once it is done, its value kept as
// the newest argument (as_argument) or moved into the running call's result slot.
[[gnu::always_inline]] inline Cell* lift_base() {
  Cell* outer = stack::base;
  if (stack::top >= stack::end) [[unlikely]] stack::overflow();
  stack::base = stack::top;
  return outer;
}
[[gnu::always_inline]] inline void drop_base(Cell* outer, bool as_argument) {
  if (!as_argument) {
    *outer = *stack::base;
    stack::top = outer + 1;
  }
  stack::base = outer;
}

// Pushes `v` (as_argument) or makes it the result of the running call.
inline void emit(const Cell* v, bool as_argument) {
  if (as_argument) {
    stack::push(v);
  } else {
    *stack::base = *v;
    stack::top = stack::base + 1;
  }
}

inline bool is_callable(TypeId t) {
  return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

// Whether the code position holds a word whose value is an op! (an operator follows).
inline bool operator_at(const Code& code) {
  if (code.at_end()) return false;
  const Cell* w = code.at();
  if (!w->is(TYPE_WORD) || w->data1 == 0) return false;
  const Cell* v = word_value_cell(w);
  return v && v->is(TYPE_OP);
}

// Frame names for evaluations that are not calls.
Cell body_name();
Cell anon_name();

// Current nesting depth of expressions (restored by every catcher through the guard).
uint32_t depth();

}  // namespace tav::interp
