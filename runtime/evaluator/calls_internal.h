// What the call roads share with the compiled form of function bodies: the callee summary
// kept with the argument cache, and the steps of the straight roads for calls with evaluated
// arguments and no refinement.
#pragma once
#include <cstdint>

#include "calls.h"
#include "compiled.h"
#include "core/context.h"
#include "core/errors.h"
#include "core/stack.h"

namespace tav::interp::calls_detail {

// The block that holds a callee's cache in its cell 1 (the more block or the native block).
inline Cell* cache_slot(const Cell* fn) { return node_buffer(fn->data3)->cells() + 1; }

// What a call needs to know of its callee before gathering, worked out once with the cache
// and kept in the cache slot's spare payload word: the number of leading arguments, the
// number of refinements, and whether every argument is evaluated with no refinement at all
// (such a call takes the straight road).
constexpr uint32_t INFO_KNOWN = 1u << 31;
constexpr uint32_t INFO_PLAIN = 1u << 30;
// Every argument before the first refinement is evaluated: a native or action called with no
// refinement gathers exactly those, with every refinement absent.
constexpr uint32_t INFO_LEADING_PLAIN = 1u << 29;
inline uint32_t info_arguments(uint32_t info) { return info & 0xFF; }
inline uint32_t info_refinements(uint32_t info) { return (info >> 8) & 0xFF; }

uint32_t cache_info(NodeId cache);

// The cache and its summary.
[[gnu::always_inline]] inline NodeId cache_and_info(const Cell* fn, uint32_t* info) {
  Cell* slot = cache_slot(fn);
  if (slot->is(TYPE_BLOCK) && (slot->data3 & INFO_KNOWN)) [[likely]] {
    *info = slot->data3;
    return slot->node();
  }
  NodeId cache = arg_cache(fn);
  *info = cache_info(cache);
  cache_slot(fn)->data3 = *info;
  return cache;
}

// The summary when the cache is already built, else 0 (nothing is built or evaluated).
inline uint32_t known_info(const Cell* fn) {
  const Cell* slot = cache_slot(fn);
  return (slot->is(TYPE_BLOCK) && (slot->data3 & INFO_KNOWN)) ? slot->data3 : 0;
}

// Raises no-arg (value null) or expect-arg for the argument at a cache entry.
[[noreturn, gnu::noinline]] void raise_plain(const Cell* fn, const Cell* name, uint32_t entry,
                                             const Cell* value);

// Pushes the evaluated arguments from..count-1 of a straight-road call from the code, each
// checked against its cache entry.
Status gather_rest(const Cell* fn, const Cell* name, NodeId cache, uint32_t from,
                   uint32_t count, Code& code);

// Pushes a function's local slots (none) after its gathered arguments and answers its body;
// when the body is a block, the function's context now names this call's slots.
[[gnu::always_inline]] inline Cell enter_body(const Cell* fn) {
  NodeId ctx = fn->data1;
  Cell* locals_end = stack::base + context::word_count(ctx);
  if (locals_end > stack::end) [[unlikely]] stack::overflow();
  for (Cell* c = stack::top; c < locals_end; ++c) set_none(c);
  if (locals_end > stack::top) stack::top = locals_end;
  Cell body = node_buffer(fn->data3)->cells()[0];
  if (body.is(TYPE_BLOCK)) [[likely]]
    context::context_cell(ctx)->data2 = stack::index_of(stack::base) + 1;
  return body;
}

// Pops a function's frame; its result takes the callee's cell (an argument of the enclosing
// call) or the enclosing result slot.
[[gnu::always_inline]] inline void finish_function(Cell* callee_slot, bool as_argument) {
  if (as_argument) {
    stack::unwind_func();
    *callee_slot = *(stack::top - 1);
    stack::top = callee_slot + 1;
  } else {
    stack::unwind_func_into_result();
    stack::top = stack::base + 1;
  }
}

// Pops a native's frame, keeping its result as an argument or chaining it into the enclosing
// result slot.
[[gnu::always_inline]] inline void finish_native(bool as_argument) {
  if (as_argument) {
    stack::unwind();
  } else {
    stack::unwind_into_result();
    stack::top = stack::base + 1;
  }
}

// Calls a native's or action's entry on the gathered frame and pops the frame, keeping the
// result as an argument or chaining it into the enclosing result slot. `noted`: the caller
// has counted the call as an edit already, when it could be one.
[[gnu::always_inline]] inline Status run_entry(NativeEntry entry, const int32_t* positions,
                                               bool as_argument, bool noted = false) {
  if (!entry) error::raise(ERR_INTERNAL, "not-done");
  if (!noted) compiled::note_native_call(stack::base, stack::top);
  // A status that left the native's call-backs by exception skipped the evaluator's own
  // bookkeeping: it is put back here, as the catchers of errors do.
  uint32_t depth = stack::eval_depth;
  Cell position = *stack::position_cell;
  Status s;
  try {
    s = entry(positions);
  } catch (const Unwind& u) {
    // A break, return or throw from code a native called back into (a sort comparator, an
    // object's field block) could not travel as a status through the native: the frames are
    // already unwound to its catcher, so it goes on from here as a status again.
    if (u.code == CODE_ERROR) throw;
    s = u.code;
  }
  if (s != CODE_NONE) {
    stack::eval_depth = depth;
    *stack::position_cell = position;
    return s;
  }
  finish_native(as_argument);
  return CODE_NONE;
}

constexpr uint32_t MAX_NATIVE_REFINEMENTS = 32;

// The refinement table of a call without refinements (an entry never looks past its own).
constexpr int32_t NO_REFINEMENTS[MAX_NATIVE_REFINEMENTS] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

}  // namespace tav::interp::calls_detail
