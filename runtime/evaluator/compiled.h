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

#include "cell.h"
#include "stack.h"

namespace tav::compiled {

// Counts the calls of natives and actions, and the other steps that may change the cells of
// a block (a set-path, a host's evaluation): compiled code that saw the count unchanged knows
// its blocks are as they were.
extern uint64_t edits;
inline void note_edit() { ++edits; }

// Runs a function's body (a block!) above its frame, whose argument and local slots start at
// `locals`: the value lands in the frame's result slot. The same as the interpreter's
// eval_block_above(body, false), whichever road it takes.
Status run_body(const Cell* fn, const Cell* body, Cell* locals);

// The number of compiled bodies kept.
size_t program_count();

// Drops every compiled body (the runtime's memory is going away).
void forget_all();

}  // namespace tav::compiled
