#include "platform/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace tav::fatal {
[[noreturn]] void exit_with(int number, const void* address) {
  if (number != 0) std::fprintf(stderr, "*** Runtime Error %d\n*** at: %016zXh\n", number, reinterpret_cast<size_t>(address));
  std::_Exit(number);
}
}  // namespace tav::fatal
