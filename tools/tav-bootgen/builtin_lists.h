// The build's check that the boot sources bind the natives and actions where the runtime's
// lists (core/native_list.h, core/action_list.h) put them.
#pragma once
#include <string>

#include "core/cell.h"

namespace tav::bootgen {

// Walks the code blocks of the boot root (pairs of file and code) for bindings written
// `name: make native! [[spec] position]` (and the same with action!). Answers an empty string
// when every binding's position is its name's place in the list and every listed native and
// bound action is bound exactly once; otherwise what disagrees.
std::string check_builtin_lists(const Cell* root);

}  // namespace tav::bootgen
