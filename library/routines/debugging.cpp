// The argument stack and the calls, as the debugging tools read them; the tracing switch
// and the debugger's command lines.
#include <cstdio>
#include <string>

#include "core/stack.h"
#include "datatypes/string.h"
#include "evaluator/natives.h"
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

Status set_tracing(const int32_t*) {
  trace::set_switch(is_true(arg(0)));
  return done_unset();
}

Status read_stdin_line(const int32_t*) {
  // The prompt written before must be seen before the process waits for the answer.
  std::fflush(stdout);
  std::string line;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (c == EOF && line.empty()) {
    set_none(stack::base);
    return done();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  Cell* s = string::make_at(stack::new_cell(), static_cast<int32_t>(line.size()) + 1);
  natives::system_natives::append_lenient_utf8(s->node(), line);
  *stack::base = *s;
  stack::top = stack::base + 1;
  return done();
}

}  // namespace tav::routines
