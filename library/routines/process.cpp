#include <cstdio>
#include <cstdlib>

#include "routines.h"

namespace tav::routines {

Status quit_return(const int32_t*) {
  // At once, as asked: nothing of the heap is released. Buffered output is not lost.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(arg(0)->int_value());
}

}  // namespace tav::routines
