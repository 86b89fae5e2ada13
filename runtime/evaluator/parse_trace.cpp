// The trace callback of `parse/trace`: a language function told of each step of the engine.
//
// It runs as the runtime's other call-backs into language functions do: under a function
// frame of its own (named <parse-callback>) with its arguments pushed from the frame's base,
// the defaults of any further spec words after them, and its locals added by the body runner.
// Break, return and throw leaving it travel on as an Unwind; errors unwind by themselves. The
// engine's catch then resets the work stacks.
#include "evaluator/parse_trace.h"

#include "datatypes/simple.h"
#include "evaluator/calls.h"
#include "memory.h"
#include "stack.h"
#include "symbols.h"
#include "evaluator/trace.h"
#include "words.h"

namespace tav::parse {

namespace trace_detail {

// Runs the body of the function whose frame is open, as a parse call-back: the evaluator's
// tracing leaves it untraced unless parse call-backs are followed.
Status run_callback(const Cell* fn) { return interp::call_function(fn, trace::CALLBACK_PARSE); }

// The events a callback can be told of, in bit order.
const Cell* const EVENTS[] = {&words::push,    &words::pop,   &words::fetch, &words::match,
                              &words::iterate, &words::paren, &words::end};
constexpr uint32_t EVENT_COUNT = sizeof(EVENTS) / sizeof(EVENTS[0]);
constexpr uint32_t ALL_EVENTS = (1u << EVENT_COUNT) - 1;

uint32_t event_bit(uint32_t symbol) {
  uint32_t canon = symbol::alias(symbol);
  for (uint32_t i = 0; i < EVENT_COUNT; ++i)
    if (symbol::alias(EVENTS[i]->data2) == canon) return 1u << i;
  return 0;
}

// A block opening the body names the events wanted; a body opening with anything else wants
// them all.
uint32_t event_mask(const Cell* fn) {
  Cell body = node_buffer(fn->data3)->cells()[0];
  if (!body.is(TYPE_BLOCK)) return ALL_EVENTS;
  SeriesBuffer* b = node_buffer(body.node());
  auto at = static_cast<uint32_t>(body.data1);
  if (at >= b->count() || !b->cells()[at].is(TYPE_BLOCK)) return ALL_EVENTS;
  Cell filter = b->cells()[at];
  SeriesBuffer* fb = node_buffer(filter.node());
  uint32_t mask = 0;
  for (uint32_t i = filter.data1; i < fb->count(); ++i) {
    const Cell* c = fb->cells() + i;
    if (c->is(TYPE_WORD)) mask |= event_bit(c->data2);
  }
  return mask;
}

// Pushes the defaults of the spec words after the five arguments: false for a refinement,
// none for each of its arguments. The body runner adds the locals after them.
void push_defaults(const Cell* fn) {
  NodeId cache = interp::arg_cache(fn);
  uint32_t n = node_buffer(cache)->count();
  uint32_t args = 0;
  for (uint32_t i = 0; i < n; ++i) {
    Cell e = node_buffer(cache)->cells()[i];
    if (e.is(TYPE_REFINEMENT)) {
      set_logic(stack::new_cell(), false);
    } else if (e.is(TYPE_TYPESET)) {
      if (interp::arg_kind(&e) == interp::ARG_RETURN) continue;
      if (++args > 5) set_none(stack::new_cell());
    }
  }
}

bool fire(void* ctx, const Cell* event, bool match, const Cell* rule, const Cell* input,
          const Cell* rule_stack) {
  auto* cb = static_cast<Callback*>(ctx);
  if (!(cb->mask & event_bit(event->data2))) return true;
  Cell* saved_top = stack::top;
  Cell fn = *stack::at_index(cb->fn_index);
  stack::push(&fn);   // the frame's function stays referenced while it runs
  stack::mark_func(&words::tag_parse_callback, fn.data1);
  stack::push(event);
  set_logic(stack::new_cell(), match);
  stack::push(rule);
  stack::push(input);
  stack::push(rule_stack);
  push_defaults(&fn);
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
