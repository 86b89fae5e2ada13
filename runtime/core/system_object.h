// The runtime's reads of the system object: the settings there that steer how the runtime
// behaves (how much of the call stack an error report shows, what the lexer calls its
// tokens) are read where they are used, so a script that changes them changes the behaviour.
#pragma once
#include <initializer_list>

#include "core/cell.h"

namespace tav::system_object {

// The value of system/<names...>, or null while the system object is not made yet, or when a
// step is missing or is no object. Valid until the next allocation. The runtime only reads
// through it, but for the state reset that puts a setting back as start-up made it.
Cell* field(std::initializer_list<const char*> names);

}  // namespace tav::system_object
