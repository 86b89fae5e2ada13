// Brings the runtime up once for every unit test that needs it.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "runtime.h"
#include "core/stack.h"

namespace tav::testing {

inline void ensure_runtime() {
  static bool ready = false;
  if (!ready) {
    runtime::process_setup(0, nullptr);
    runtime::init();
    ready = true;
  }
}

// Runs fn under a try frame and answers whether an error reached it; the stacks are put back.
template <typename Fn>
bool raises(Fn fn) {
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    fn();
  } catch (const Unwind& u) {
    stack::restore(saved);
    return u.code == CODE_ERROR;
  }
  stack::restore(saved);
  return false;
}

// The id of the error fn raises ("zero-divide"...), or "" when it raises none.
template <typename Fn>
std::string error_id(Fn fn) {
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  std::string id;
  try {
    fn();
  } catch (const Unwind& u) {
    if (u.code == CODE_ERROR) id = error::id_name(stack::top - 1);
  }
  stack::restore(saved);
  return id;
}

}  // namespace tav::testing
