#include "core/cycles.h"

#include "core/errors.h"

namespace tav::cycles {

namespace cycles_detail {
NodeId stack[CAPACITY];
uint32_t top = 0;
}  // namespace cycles_detail

void push(NodeId n) {
  cycles_detail::stack[cycles_detail::top++] = n;
  if (cycles_detail::top >= CAPACITY) {
    cycles_detail::top = 0;
    error::raise(ERR_INTERNAL, "too-deep");
  }
}

void pop() {
  if (cycles_detail::top > 0) cycles_detail::top--;
}

void pop_n(uint32_t n) { cycles_detail::top = n > cycles_detail::top ? 0 : cycles_detail::top - n; }
void reset() { cycles_detail::top = 0; }

bool find(NodeId n) {
  for (uint32_t i = 0; i < cycles_detail::top; i++)
    if (cycles_detail::stack[i] == n) return true;
  return false;
}

uint32_t depth() { return cycles_detail::top; }
void restore_depth(uint32_t d) {
  if (d < cycles_detail::top) cycles_detail::top = d;
}
NodeId* entries() { return cycles_detail::stack; }

}  // namespace tav::cycles
