// What a native, an action handler or a routine sees of its own call: its arguments from
// stack::base on, one position per refinement (-1 when absent), and its result left at
// stack::base with the stack cut back above it.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/stack.h"

namespace tav::call_frame {

inline Cell* arg(int i) { return stack::base + i; }
inline bool given(const int32_t* refs, int k) { return refs[k] >= 0; }

inline Status done() {
  stack::top = stack::base + 1;
  return CODE_NONE;
}
inline Status done_logic(bool b) {
  set_logic(stack::base, b);
  return done();
}
inline Status done_integer(int32_t n) {
  set_integer(stack::base, n);
  return done();
}
inline Status done_unset() {
  set_unset(stack::base);
  return done();
}

}  // namespace tav::call_frame
