// Fatal ends of the process: runtime error numbers, their names, signal handlers.
#pragma once

namespace tav::fatal {
// Prints "*** Runtime Error N: name" with the address and ends the process with status N
// (0 ends quietly with status 0).
[[noreturn]] void exit_with(int number, const void* address);
}  // namespace tav::fatal
