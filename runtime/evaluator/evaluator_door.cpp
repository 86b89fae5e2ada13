// The evaluator's side of the door the layers below it call through (core/evaluator_door.h).
#include "core/evaluator_door.h"

#include "evaluator/callbacks.h"
#include "evaluator/calls.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"

namespace tav::evaluator_door {

const Cell* current_position() { return interp::current_position(); }

void error_raised(const Cell* err) {
  if (TAV_UNLIKELY(trace::active)) trace::fire_error(err);
}

Cell* word_value_cell(const Cell* word) { return interp::word_value_cell(word); }
const Cell* get_word(const Cell* word) { return interp::get_word(word); }
void set_word(const Cell* word, const Cell* value) { interp::set_word(word, value); }

Cell anon_name() { return interp::anon_name(); }

uint32_t literal_arguments(const Cell* fn, uint32_t count) {
  NodeId cache = interp::arg_cache(fn);
  uint32_t bits = 0, k = 0;
  for (uint32_t i = 0; k < count && i < node_buffer(cache)->count(); i++) {
    const Cell* e = node_buffer(cache)->cells() + i;
    if (!e->is(TYPE_TYPESET)) break;
    if (interp::arg_kind(e) == interp::ARG_RETURN) continue;
    if (interp::arg_kind(e) == interp::ARG_GET) bits |= 1u << k;
    k++;
  }
  return bits;
}

Status call_in_code(const Cell* fn, NodeId code, uint32_t pos, uint32_t kind) {
  interp::Code at{code, pos};
  trace::CallbackScope callback(kind);
  return interp::eval_function_call(fn, at, nullptr, true, nullptr, nullptr);
}

Status call_function(const Cell* fn, uint32_t kind) { return interp::call_function(fn, kind); }

uint32_t push_arguments(const Cell* fn, const Cell* args, uint32_t count) {
  return callbacks::push_arguments(fn, args, count);
}

uint32_t event_filter(const Cell* fn, const uint32_t* events, uint32_t count) {
  return callbacks::event_filter(fn, events, count);
}

}  // namespace tav::evaluator_door
