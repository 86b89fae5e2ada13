#include "evaluator/callbacks.h"

#include "datatypes/function.h"
#include "evaluator/calls.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"

namespace tav::callbacks {

uint32_t event_filter(const Cell* fn, const uint32_t* events, uint32_t count) {
  const uint32_t all = count >= 32 ? ~0u : (1u << count) - 1;
  if (!fn->is(TYPE_FUNCTION) || fn->data3 == 0) return all;
  Cell body = node_buffer(fn->data3)->cells()[function::MORE_BODY];
  if (!body.is(TYPE_BLOCK)) return all;
  SeriesBuffer* b = node_buffer(body.node());
  if (body.index() >= b->count()) return all;
  Cell filter = b->cells()[body.index()];
  if (!filter.is(TYPE_BLOCK)) return all;
  uint32_t mask = 0;
  SeriesBuffer* f = node_buffer(filter.node());
  for (uint32_t i = filter.index(); i < f->count(); ++i) {
    const Cell* w = f->cells() + i;
    if (!is_any_word(w->type())) continue;
    uint32_t canon = symbol::alias(w->data2);
    for (uint32_t k = 0; k < count; ++k)
      if (symbol::alias(events[k]) == canon) mask |= 1u << k;
  }
  return mask;
}

uint32_t push_arguments(const Cell* fn, const Cell* args, uint32_t count) {
  NodeId cache = interp::arg_cache(fn);
  Cell none = make_cell(TYPE_NONE);
  uint32_t entries = node_buffer(cache)->count();
  uint32_t i = 0, taken = 0;
  for (; i < entries; ++i) {
    const Cell* e = node_buffer(cache)->cells() + i;
    if (!e->is(TYPE_TYPESET)) break;
    if (interp::arg_kind(e) == interp::ARG_RETURN) continue;
    stack::push(taken < count ? args + taken : &none);
    ++taken;
  }
  for (; i < entries; ++i) {
    Cell e = node_buffer(cache)->cells()[i];
    if (e.is(TYPE_REFINEMENT)) set_logic(stack::new_cell(), false);
    else if (e.is(TYPE_TYPESET) && interp::arg_kind(&e) != interp::ARG_RETURN)
      set_none(stack::new_cell());
  }
  return taken;
}

}  // namespace tav::callbacks
