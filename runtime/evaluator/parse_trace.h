// The language-level trace callback of `parse/trace`, as a hook for the parse engine.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "evaluator/parse.h"

namespace tav::parse {

// A callback function! held in an argument-stack cell (which roots it for the whole run). Its
// body may open with a block of event words: only those events reach it; without one, all do.
// Answering none or false stops the parse.
struct Callback {
  explicit Callback(const Cell* fn_on_stack);
  uint32_t fn_index;   // argument-stack index of the function cell
  uint32_t mask;       // events wanted, one bit each in the order push pop fetch match
                       // iterate paren end
  TraceHook hook;
};

}  // namespace tav::parse
