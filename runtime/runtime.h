// Start-up and the runtime's initialisation order.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::runtime {

// Set while start-up words must also be kept as root-block cells.
extern bool collecting_words;
// The root block: outside the collected frames, never reallocated.
extern NodeId root_node;
// Index of the first root cell the boot image appended.
extern uint32_t boot_root_index;

// Phase A: process set-up (floating point, fatal handlers). argc/argv are kept for the library.
void process_setup(int argc, char** argv);
// Phase B: every module's initialiser, in the fixed order.
void init();
// Phase F: evaluates the boot code (the library's top-level expressions).
void run_boot_code();
// Releases every frame (process cleanup; nothing in the normal road calls it).
void cleanup();

// Appends a cell to the root block and returns it (start-up only: the block never grows).
Cell* root_append(const Cell* c);
Cell* root_cell(uint32_t i);

// Runs fn on a thread with a large machine stack (deep recursion raises stack-overflow
// through the interpreter's depth guard long before this stack is used up).
int run_on_large_stack(int (*fn)(void*), void* arg);

int argument_count();
char** argument_vector();

}  // namespace tav::runtime
