// The rules of the conditionals and the loops, shared by their natives and by compiled bodies
// (and closed runs), which run the same blocks through their compiled form.
//
// The rounds of loop, until and while: `run(i)` runs the block argument at args[i] in the loop
// frame, on a fresh result slot, and answers its status.
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
inline After after_body(Status s) {
  if (s == CODE_NONE || s == CODE_CONTINUE) return After::next;
  if (s == CODE_BREAK) return After::stop;
  return After::pass;
}

// loop: the count at args[0], the body at args[1].
template <typename Run>
Status loop_rounds(Cell* args, Run run) {
  int32_t n = loop_count(args);
  if (n <= 0) {
    set_none(stack::base);
    stack::top = stack::base + 1;
    return CODE_NONE;
  }
  push_loop_frame();
  for (; n > 0; --n) {
    Status s = run(1);
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
  }
  stack::unwind_into_result();
  return CODE_NONE;
}

// until: the body at args[0].
template <typename Run>
Status until_rounds(Run run) {
  push_loop_frame();
  while (true) {
    Status s = run(0);
    if (s == CODE_CONTINUE) continue;   // straight to the next round, untested
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
    if (true_result(stack::base)) break;
  }
  stack::unwind_into_result();
  return CODE_NONE;
}

// The end of a while loop: its frame goes, and while answers unset!, whatever break left.
inline Status while_ends() {
  stack::unwind();
  set_unset(stack::reset());
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// while, its loop frame pushed already: the condition at args[0], the body at args[1].
template <typename Run>
Status while_rounds(Run run) {
  while (true) {
    Status s = run(0);
    if (s == CODE_BREAK || s == CODE_CONTINUE) error::raise(ERR_THROW, "while-cond");
    if (s != CODE_NONE) return s;
    if (!true_result(stack::base)) break;
    s = run(1);
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
  }
  return while_ends();
}

}  // namespace tav::natives
