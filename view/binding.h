// The binding between the language and the backend's entry points: system/view, its
// platform object and the event routines, made at start-up of the GUI-capable programs.
//
// Until routines have a home of their own, every platform routine is a function whose body
// passes its arguments to one native, which calls the C++ entry point by number. When a
// system object already exists it is extended with `view`; otherwise a minimal one is made.
#pragma once
#include "core/cell.h"

namespace tav::binding {

// Makes system/view (with its platform object and the event routines). Needs the runtime
// started; the GUI itself starts when system/view/platform/init runs.
void install();

// The function system/view/awake holds; false when there is none.
bool awake_function(Cell* out);

}  // namespace tav::binding
