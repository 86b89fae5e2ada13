// What the evaluation natives' files share: argument access, results, block helpers, and
// the call of a function with values evaluated beforehand (natives_apply.cpp). Internal.
//
// Every native reads its arguments from stack::base and leaves its result there. Anything it
// must keep while evaluating lives on the argument stack, never only in a C++ local.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/call_frame.h"
#include "core/cell.h"
#include "datatypes/block.h"
#include "evaluator/calls.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/types.h"

namespace tav::natives::evalnat_detail {

using call_frame::arg;
using call_frame::given;

// Leaves v as the native's result.
inline Status result(const Cell* v) {
  Cell copy = *v;
  stack::set_result_keep(&copy);
  return CODE_NONE;
}

inline bool is_word_kind(TypeId t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
}

inline uint32_t block_length(const Cell* blk) {
  int32_t n = block::rs_length(blk);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

inline void clamp_block_index(Cell* blk) {
  uint32_t n = node_buffer(blk->node())->count();
  if (blk->index() > n) blk->data1 = n;
}

// A block of one value, pushed, as the code of a one-value expression.
interp::Code one_value_code(const Cell* v);

// Calling with values already evaluated -----------------------------------------------------

// A function called with arguments that were evaluated beforehand (apply, do-file, expand).
// The values sit on the argument stack from `first` to the top; entry[i] is the argument-cache
// entry value i fills. The call goes through the interpreter's own road: its code is a block
// of get-words bound to a context whose values are those stack cells, so every value reaches
// its argument unevaluated and checked as any argument is. Refinements are requested in the
// order given; their values follow the fixed ones in the same order.
struct PreparedCall {
  std::vector<uint32_t> entry;          // cache entry of each value
  std::vector<uint32_t> refinements;    // symbols of the refinements requested
};

Status call_with_values(const Cell* fn_in, const Cell* name, Cell* first,
                        const PreparedCall& call);

// The cache entries of the fixed arguments, in order.
std::vector<uint32_t> fixed_entries(NodeId cache);

// Calls the function a global word holds with the given argument values (pushed here).
Status call_global(const Cell* word, std::initializer_list<Cell> values);

// Each group of these natives registers its own entries.
void register_apply();
void register_words_contexts();
void register_unwinding();

}  // namespace tav::natives::evalnat_detail
