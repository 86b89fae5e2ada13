// Brings the runtime up once for every unit test that needs it, the way the runner does:
// the modules, then the boot image's code, so that tests see the real natives and words.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/collector.h"
#include "core/errors.h"
#include "runtime.h"
#include "core/stack.h"
#include "state.h"

namespace tav::testing {

inline bool& runtime_ready() {
  static bool ready = false;
  return ready;
}

inline void ensure_runtime() {
  bool& ready = runtime_ready();
  if (!ready) {
    runtime::process_setup(0, nullptr);
    runtime::init();
    runtime::run_boot_code();
    // Tests hold values in C++ locals, where the collector cannot see them: collections
    // happen only where a test asks for one.
    collector::enabled = false;
    // What every test starts from: each one ends with it put back (test_guard.cpp).
    state::keep();
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
