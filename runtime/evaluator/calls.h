// Calling natives, actions, operators and functions from code: argument gathering by kind,
// refinements in path order, type checks against each callee's argument cache.
#pragma once
#include <cstdint>
#include <string_view>

#include "cell.h"
#include "stack.h"

namespace tav {

// Every native and action dispatcher reads its arguments at stack::base and gets one position
// per refinement in spec order (0-based cell index of its first argument, -1 when absent).
using NativeEntry = Status (*)(const int32_t* refinement_positions);

namespace interp {

// A place in a block of code, held as node and index so that it survives buffer moves.
struct Code {
  NodeId node;
  uint32_t pos;
  Cell* at() const;
  bool at_end() const;
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

// The cached argument layout of a function, native or action (built on first use).
NodeId arg_cache(const Cell* fn);

// Argument kinds kept in header bits 20-21 of an argument cache entry.
enum ArgKind : uint32_t { ARG_EVALUATED = 0, ARG_GET = 1, ARG_QUOTED = 2, ARG_RETURN = 3 };
inline uint32_t arg_kind(const Cell* entry) { return (entry->header >> 20) & 3; }

// Typeset masks: bit for type t is byte t >> 3, bit 0x80 >> (t & 7), across data1..data3.
bool typeset_has(const Cell* ts, TypeId t);
void typeset_add(Cell* ts, TypeId t);
void typeset_merge(Cell* ts, const Cell* other);
Cell typeset_default();
Cell typeset_all();

// The generic actions' dispatchers, in action order (62 entries); set by the actions layer.
// Until it is set, calling an action raises internal not-done.
extern const NativeEntry* action_dispatchers;

}  // namespace interp

// Word and context services the evaluator needs from the symbol and context modules. They
// follow the context layout (context! cell, owner cell; word list in data1; values in data2,
// or the argument-stack index of the first argument plus one for a function context) so
// that they can be swapped for the symbol module's own entries without touching callers.
namespace bridge {
uint32_t symbol_make(std::string_view name);
uint32_t symbol_canon(uint32_t sym);
std::string_view symbol_name(uint32_t sym);
NodeId global_context();
// A word of the given kind bound in the global context (added with an unset value when new).
Cell global_word(std::string_view name, TypeId kind = TYPE_WORD);
// A context with one word per word!, get-word!, lit-word! and refinement! of the spec.
NodeId make_context_from_spec(NodeId spec, bool on_stack, uint32_t kind);
uint32_t context_word_count(NodeId ctx);
int32_t context_find(NodeId ctx, uint32_t sym);   // by canonical id; -1 when absent
// Binds every word of the block (deeply) whose name the context holds.
void bind_block(NodeId block, NodeId ctx);
}  // namespace bridge

}  // namespace tav
