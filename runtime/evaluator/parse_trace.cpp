// The trace callback of `parse/trace`: a language function told of each step of the engine.
//
// It runs as the runtime's other call-backs into language functions do: under a function
// frame of its own (named <parse-callback>) with its arguments pushed from the frame's base,
// the defaults of any further spec words after them, and its locals added by the body runner.
// Break, return and throw leaving it travel on as an Unwind; errors unwind by themselves. The
// engine's catch then resets the work stacks.
#include "evaluator/parse_trace.h"

#include "datatypes/simple.h"
#include "evaluator/callbacks.h"
#include "evaluator/calls.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "evaluator/trace.h"
#include "core/words.h"

namespace tav::parse {

namespace trace_detail {

// Runs the body of the function whose frame is open, as a parse call-back: the evaluator's
// tracing leaves it untraced unless parse call-backs are followed.
Status run_callback(const Cell* fn) { return interp::call_function(fn, trace::CALLBACK_PARSE); }

// The events a callback can be told of, in bit order.
const Cell* const EVENTS[] = {&words::push,    &words::pop,   &words::fetch, &words::match,
                              &words::iterate, &words::paren, &words::end};
constexpr uint32_t EVENT_COUNT = sizeof(EVENTS) / sizeof(EVENTS[0]);

uint32_t event_bit(uint32_t symbol) {
  uint32_t canon = symbol::alias(symbol);
  for (uint32_t i = 0; i < EVENT_COUNT; ++i)
    if (symbol::alias(EVENTS[i]->data2) == canon) return 1u << i;
  return 0;
}

uint32_t event_mask(const Cell* fn) {
  uint32_t symbols[EVENT_COUNT];
  for (uint32_t k = 0; k < EVENT_COUNT; ++k) symbols[k] = EVENTS[k]->data2;
  return callbacks::event_filter(fn, symbols, EVENT_COUNT);
}

bool fire(void* ctx, const Cell* event, bool match, const Cell* rule, const Cell* input,
          const Cell* rule_stack) {
  auto* cb = static_cast<Callback*>(ctx);
  if (!(cb->mask & event_bit(event->data2))) return true;
  Cell* saved_top = stack::top;
  Cell fn = *stack::at_index(cb->fn_index);
  stack::push(&fn);   // the frame's function stays referenced while it runs
  stack::mark_func(&words::tag_parse_callback, fn.data1);
  Cell args[5] = {*event, make_cell(TYPE_LOGIC, match ? 1u : 0u), *rule, *input, *rule_stack};
  callbacks::push_arguments(&fn, args, 5);
  Status s = run_callback(&fn);
  if (s != CODE_NONE) stack::rethrow_status(s);
  bool go = is_true(stack::base);
  stack::unwind_func();
  stack::top = saved_top;
  return go;
}

}  // namespace trace_detail

Callback::Callback(const Cell* fn_on_stack)
    : fn_index(stack::index_of(fn_on_stack)), mask(trace_detail::event_mask(fn_on_stack)) {
  hook.fn = &trace_detail::fire;
  hook.ctx = this;
}

}  // namespace tav::parse
