// The C++ routines the library binds at start-up. Each entry reads its arguments at
// stack::base, as natives do, and leaves its result there.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/stack.h"

namespace tav::routines {

inline Cell* arg(int i) { return stack::base + i; }
inline Status done() {
  stack::top = stack::base + 1;
  return CODE_NONE;
}
inline Status done_logic(bool b) {
  set_logic(stack::base, b);
  return done();
}
inline Status done_unset() {
  set_unset(stack::base);
  return done();
}

}  // namespace tav::routines
