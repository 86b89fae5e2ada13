// Calling natives, actions, operators and functions from code: argument gathering by kind,
// refinements in path order, type checks against each callee's argument cache.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/memory.h"
#include "core/stack.h"

namespace tav {

namespace interp {

// A place in a block of code, held as node and index so that it survives buffer moves.
struct Code {
  NodeId node;
  uint32_t pos;
  // Code is always a block of cells: the end test compares bytes, with no division by the
  // buffer's unit size.
  Cell* at() const { return node_buffer(node)->cells() + pos; }
  bool at_end() const { return uint64_t(pos) * sizeof(Cell) >= node_buffer(node)->used(); }
};

// Refinements requested through a path: the path's buffer and the index of the element after
// the callee.
struct PathRefs {
  NodeId node;
  uint32_t first;
};

// Calls `fn` (native!, action!, op!, function!) with the code that follows as the source of
// its arguments. `left` is an operator's already evaluated first operand (null otherwise).
// As an argument the result is pushed; as a statement it goes to the result slot.
Status eval_function_call(const Cell* fn, Code& code, const PathRefs* refs, bool as_argument,
                          const Cell* name, const Cell* left);

// Runs the body of a function whose call frame is open with its arguments pushed from the
// base: the local slots are added, and return and exit end here.
Status run_function_body(const Cell* fn);

// The cached argument layout of a function, native or action (built on first use).
NodeId arg_cache(const Cell* fn);

// Argument kinds kept in header bits 20-21 of an argument cache entry.
enum ArgKind : uint32_t { ARG_EVALUATED = 0, ARG_GET = 1, ARG_QUOTED = 2, ARG_RETURN = 3 };
inline uint32_t arg_kind(const Cell* entry) { return (entry->header >> 20) & 3; }

// Typeset masks: bit for type t is byte t >> 3, bit 0x80 >> (t & 7), across data1..data3.
inline bool typeset_has(const Cell* ts, TypeId t) {
  return (reinterpret_cast<const uint8_t*>(&ts->data1)[t >> 3] & (0x80u >> (t & 7))) != 0;
}
void typeset_add(Cell* ts, TypeId t);
void typeset_merge(Cell* ts, const Cell* other);
Cell typeset_default();
Cell typeset_all();

}  // namespace interp

}  // namespace tav
