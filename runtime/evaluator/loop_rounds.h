// The rounds of loop, until and while, shared by their natives and by compiled bodies, which
// run the same blocks through their compiled form. `run(i)` runs the block argument at
// args[i] in the loop frame, on a fresh result slot, and answers its status.
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
