// The binding between the language and the backend: the view layer's entries behind the
// routines of system/view/platform and the event routines, installed as hooks when a
// GUI-capable program starts (before the boot code runs, which builds system/view and starts
// the GUI through its platform's init).
#pragma once
#include "core/cell.h"

namespace tav::binding {

// Installs the hooks. Needs the runtime initialised, not booted.
void install();

// The function system/view/awake holds; false when there is none.
bool awake_function(Cell* out);

}  // namespace tav::binding
