// The rules of the conditionals and the loops, shared by their natives, compiled bodies and
// closed runs, which run the same blocks through their compiled form.
//
// The rounds of loop, until and while are written once, over a road: what runs one round's
// block, and where its value goes. A road has
//   Status round(uint32_t i)     runs the loop's i-th block (while: 0 the condition, 1 the
//                                body); CODE_NONE, or the status the loop acts on
//   const Cell* value()          the value the last round left
//   Status untrue()              what a condition with no truth (unset!) does
//   void open()                  before the first round
//   Status close_with_last()     ends the loop with the last round's value as its answer
//   Status close_with_unset()    ends the loop with unset! as its answer (while)
//   Status none_without_rounds() answers none with no round run (a count of 0 or less)
// The roads on the stacks run each round in the loop frame on a fresh result slot (OnStack);
// a closed run keeps its values in its registers and gives up where the native would raise.
#pragma once
#include <cstdint>

#include "core/errors.h"
#include "natives.h"
#include "core/stack.h"

namespace tav::natives {

// The truth test that refuses an unset! value.
inline bool true_result(const Cell* v) {
  if (v->is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "no-return");
  return is_true(v);
}

// if, either and unless: which block argument runs (counted from the condition: 1, or 2 for
// either's false branch), or 0 when the answer is none. either refuses an unset! condition.
enum class Choice { if_, either_, unless_ };
// The choice for a condition that either may take (any but unset!).
[[gnu::always_inline]] inline uint32_t choose_taken(Choice k, const Cell* cond) {
  bool yes = is_true(cond);
  if (k == Choice::either_) return yes ? 1 : 2;
  return yes == (k == Choice::if_) ? 1 : 0;
}
[[gnu::always_inline]] inline uint32_t choose(Choice k, const Cell* cond) {
  if (k == Choice::either_ && cond->is(TYPE_UNSET)) [[unlikely]]
    error::raise(ERR_SCRIPT, "no-return");
  return choose_taken(k, cond);
}
// What a conditional answers when no block runs.
inline Status answer_none() {
  set_none(stack::base);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// What a loop does with the status its body came back with.
enum class After { next, stop, pass };
[[gnu::always_inline]] inline After after_body(Status s) {
  if (s == CODE_NONE || s == CODE_CONTINUE) return After::next;
  if (s == CODE_BREAK) return After::stop;
  return After::pass;
}

// loop: `n` rounds of its block.
template <typename Road>
Status loop_rounds(int32_t n, Road road) {
  if (n <= 0) return road.none_without_rounds();
  road.open();
  for (; n > 0; --n) {
    Status s = road.round(0);
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
  }
  return road.close_with_last();
}

// until: its block, until the block's value is true.
template <typename Road>
Status until_rounds(Road road) {
  road.open();
  while (true) {
    Status s = road.round(0);
    if (s == CODE_CONTINUE) continue;   // straight to the next round, untested
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
    const Cell* v = road.value();
    if (v->is(TYPE_UNSET)) [[unlikely]] return road.untrue();
    if (is_true(v)) break;
  }
  return road.close_with_last();
}

// while: the body while the condition holds; while answers unset!, whatever break left.
template <typename Road>
Status while_rounds(Road road) {
  road.open();
  while (true) {
    Status s = road.round(0);
    if (s == CODE_BREAK || s == CODE_CONTINUE) [[unlikely]]
      error::raise(ERR_THROW, "while-cond");
    if (s != CODE_NONE) return s;
    const Cell* v = road.value();
    if (v->is(TYPE_UNSET)) [[unlikely]] return road.untrue();
    if (!is_true(v)) break;
    s = road.round(1);
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
  }
  return road.close_with_unset();
}

// The road of the natives and compiled bodies: `run(i)` runs the i-th block in the loop frame,
// whose base is the result slot, cut back before each round.
template <typename Run>
struct OnStack {
  Run run;
  [[gnu::always_inline]] Status round(uint32_t i) {
    stack::reset();
    return run(i);
  }
  const Cell* value() const { return stack::base; }
  Status untrue() { error::raise(ERR_SCRIPT, "no-return"); }
  void open() { push_loop_frame(); }
  Status close_with_last() {
    stack::unwind_into_result();
    return CODE_NONE;
  }
  Status close_with_unset() {
    stack::unwind();
    set_unset(stack::reset());
    stack::top = stack::base + 1;
    return CODE_NONE;
  }
  Status none_without_rounds() { return answer_none(); }
};
template <typename Run>
OnStack<Run> on_stack(Run run) {
  return OnStack<Run>{run};
}

}  // namespace tav::natives
