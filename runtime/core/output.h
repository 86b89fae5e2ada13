// Output hook lists: how printed text reaches listeners such as the GUI console.
//
// The print list receives the text of `print` and `prin`; the console-output list receives
// what the runtime's low-level printer writes to standard output. Callbacks run in the
// order they were registered.
#pragma once
#include "core/cell.h"

namespace tav {

// text is a string! cell; new_line asks for a line break after it.
using PrintHook = void (*)(const Cell* text, bool new_line);
// bytes are UTF-8 text as written to standard output.
using OutputHook = void (*)(const char* bytes, int length, bool new_line);

namespace hook {

constexpr int LIST_GROWTH = 5;   // both the initial room and the step of growth

// Makes both lists empty with room for LIST_GROWTH callbacks (frees any earlier arrays).
void init();
void run_print_list(const Cell* text, bool new_line);
void run_output_list(const char* bytes, int length, bool new_line);

// Inspection, for diagnostics and tests.
int print_count();
int print_capacity();
int output_count();
int output_capacity();

}  // namespace hook

namespace dyn_print {

// Appends each non-null callback to its list.
void add(PrintHook print, OutputHook output);
// Removes the first occurrence of each non-null callback; unknown callbacks are ignored.
void remove(PrintHook print, OutputHook output);

}  // namespace dyn_print

}  // namespace tav
