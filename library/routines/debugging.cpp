// The argument stack and the calls, as the debugging tools read them.
#include "core/stack.h"
#include "evaluator/trace.h"
#include "routines.h"

namespace tav::routines {

Status stack_size_q(const int32_t*) {
  return done_integer(static_cast<int32_t>(stack::index_of(stack::top)));
}

Status pick_stack(const int32_t*) {
  int32_t idx = arg(0)->int_value();
  int32_t size = static_cast<int32_t>(stack::index_of(stack::top));
  if (idx < 1 || idx > size - 1) {
    set_none(stack::base);
  } else {
    Cell copy = *stack::at_index(static_cast<uint32_t>(idx - 1));
    *stack::base = copy;
  }
  return done();
}

Status frame_index_q(const int32_t*) {
  return done_integer(static_cast<int32_t>(stack::index_of(stack::base)));
}

Status collect_calls(const int32_t*) {
  stack::collect_calls(arg(0)->node());
  return done();
}

Status tracing_q(const int32_t*) { return done_logic(trace::active); }

}  // namespace tav::routines
