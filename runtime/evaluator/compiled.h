// Function bodies run through a compiled form once they are called again.
//
// The compiled form does what the interpreter does, step for step: the same frames, the same
// cells on the argument stack, the same position record for errors. What it saves is the
// work of finding out, on every run, what each cell of the body is: which words call what,
// with how many arguments, and which operators apply. It checks on each run that the body and
// the words still say what they said when it was compiled, and leaves the rest to the
// interpreter as soon as they do not.
#pragma once
#include <cstddef>

#include "core/cell.h"
#include "core/stack.h"

namespace tav::compiled {

// Counts the calls of natives and actions that may change the cells of a block, and the
// other steps that may (a set-path, a host's evaluation): compiled code that saw the count
// unchanged knows its blocks are as they were.
extern uint64_t edits;
inline void note_edit() { ++edits; }

namespace detail {
// Values through which no native reaches the cells of a block: scalars, texts and binaries.
constexpr uint64_t CELL_FREE_TYPES =
    type_bit(TYPE_DATATYPE) | type_bit(TYPE_UNSET) | type_bit(TYPE_NONE) | type_bit(TYPE_LOGIC) |
    type_bit(TYPE_STRING) | type_bit(TYPE_FILE) | type_bit(TYPE_URL) | type_bit(TYPE_CHAR) |
    type_bit(TYPE_INTEGER) | type_bit(TYPE_FLOAT) | type_bit(TYPE_BITSET) |
    type_bit(TYPE_TRIPLE) | type_bit(TYPE_TYPESET) | type_bit(TYPE_PAIR) |
    type_bit(TYPE_PERCENT) | type_bit(TYPE_TUPLE) | type_bit(TYPE_BINARY) | type_bit(TYPE_TIME) |
    type_bit(TYPE_TAG) | type_bit(TYPE_EMAIL) | type_bit(TYPE_DATE) | type_bit(TYPE_MONEY) |
    type_bit(TYPE_POINT2D) | type_bit(TYPE_POINT3D);
}  // namespace detail

// A native or action about to run on the arguments [from, to): counted as an edit unless
// every one of them is cell-free. Code it calls back into counts its own calls and set-paths.
[[gnu::always_inline]] inline void note_native_call(const Cell* from, const Cell* to) {
  for (; from < to; ++from) {
    if (!(detail::CELL_FREE_TYPES & type_bit(from->type()))) {
      note_edit();
      return;
    }
  }
}
// The same, given the types of the arguments as a mask of type bits.
[[gnu::always_inline]] inline void note_native_call(uint64_t arg_types) {
  if (arg_types & ~detail::CELL_FREE_TYPES) note_edit();
}

// Runs a function's body (a block!) above its frame, whose argument and local slots start at
// `locals`: the value lands in the frame's result slot. The same as the interpreter's
// eval_block_above(body, false), whichever road it takes.
Status run_body(const Cell* fn, const Cell* body, Cell* locals);

// The number of compiled bodies kept.
size_t program_count();

// Drops every compiled body (the runtime's memory is going away).
void forget_all();

}  // namespace tav::compiled
