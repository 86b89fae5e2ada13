// The on-change* and on-deep-change* handlers: finding them in an object, keeping their
// record, and calling them when a field or an owned series changes.
#include <cstdint>

#include "core/context.h"
#include "datatypes/object.h"
#include "datatypes/object_internal.h"
#include "core/errors.h"
#include "core/evaluator_door.h"   // the call-back kinds
#include "core/memory.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::object {

namespace object_detail {

uint32_t count_locals(NodeId spec) {
  if (!spec) return 0;
  uint32_t local = symbol::alias(refinements::local.data2);
  SeriesBuffer* b = node_buffer(spec);
  uint32_t n = b->count();
  for (uint32_t i = 0; i < n; i++) {
    const Cell* c = b->cells() + i;
    if (c->is(TYPE_REFINEMENT) && symbol::alias(c->data2) == local) {
      uint32_t slots = 1;
      for (uint32_t k = i + 1; k < n; k++) {
        TypeId t = b->cells()[k].type();
        if (t == TYPE_REFINEMENT) break;
        if (t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD) slots++;
      }
      return slots;
    }
  }
  return 0;
}

}  // namespace object_detail

// ---- Change events ------------------------------------------------------------------------------

NodeId make_event_info(int32_t on_change, uint32_t count, NodeId spec, int32_t on_deep_change,
                       uint32_t deep_count, NodeId deep_spec) {
  NodeId n = alloc::new_cells(2);
  SeriesBuffer* b = node_buffer(n);
  Cell* c = reinterpret_cast<Cell*>(b->data());
  c[0] = make_cell(TYPE_PAIR, (static_cast<uint32_t>(on_change) << 16) | (count & 0xFFFF), spec);
  c[1] = make_cell(TYPE_PAIR, (static_cast<uint32_t>(on_deep_change) << 16) | (deep_count & 0xFFFF),
                   deep_spec);
  b->tail = b->head + 2 * sizeof(Cell);
  return n;
}

NodeId scan_events(NodeId ctx) {
  using namespace object_detail;
  uint32_t on_change = symbol::alias(words::on_change_star.data2);
  uint32_t on_deep = symbol::alias(words::on_deep_change_star.data2);
  int32_t i1 = -1, i2 = -1;
  for (uint32_t i = 0; i < count(ctx); i++) {
    uint32_t s = symbol::alias(word_cell(ctx, i)->data2);
    if (s == on_change) i1 = static_cast<int32_t>(i);
    if (s == on_deep) i2 = static_cast<int32_t>(i);
  }
  if (i1 < 0 && i2 < 0) return 0;
  uint32_t counts[2] = {0, 0};
  NodeId specs[2] = {0, 0};
  int32_t idx[2] = {i1, i2};
  for (int k = 0; k < 2; k++) {
    if (idx[k] < 0) continue;
    Cell v = values(ctx)[idx[k]];
    if (!v.is(TYPE_FUNCTION) && !v.is(TYPE_ROUTINE)) {
      Cell w = *word_cell(ctx, static_cast<uint32_t>(idx[k]));
      Cell dt;
      set_datatype(&dt, v.type());
      error::raise(ERR_SCRIPT, "bad-field-set", &w, &dt);
    }
    specs[k] = v.data2;
    counts[k] = count_locals(v.data2);
  }
  return make_event_info(i1, counts[0], specs[0], i2, counts[1], specs[1]);
}

void init_events(Cell* obj) {
  NodeId events = scan_events(context_of(obj));
  obj->data3 = events;
  store_self(obj);
  if (deep_events_q(obj)) {
    Cell none = make_cell(TYPE_NONE);
    ownership::set_deep_object(obj, obj, &none);
  }
  store_self(obj);
}

Cell* attach_events(int32_t on_change, uint32_t count, int32_t on_deep_change,
                    uint32_t deep_count) {
  NodeId events = make_event_info(on_change, count, 0, on_deep_change, deep_count, 0);
  Cell* obj = stack::last();
  obj->data3 = events;
  store_self(obj);
  if (on_deep_change != -1) {
    Cell none = make_cell(TYPE_NONE);
    ownership::set_deep_object(obj, obj, &none);
  }
  store_self(obj);
  return obj;
}

bool deep_events_q(const Cell* obj) {
  NodeId events = events_of(obj);
  return events && object_detail::event_cell(events, 1)->data1 < NO_HANDLER;
}

// Change handlers are call-backs of the evaluator's tracing mode, of these kinds.
static_assert(TRACE_ON_CHANGE == trace::CALLBACK_ON_CHANGE);
static_assert(TRACE_ON_DEEP_CHANGE == trace::CALLBACK_ON_DEEP_CHANGE);

namespace object_detail {

// Calls the handler of field `index` with the arguments already gathered; the result is
// dropped and the stack is left as found.
void call_handler(Cell* obj, uint32_t which, const Cell* args, int nargs, const Cell& name,
                  uint32_t trace) {
  NodeId ctx = context_of(obj);
  Cell* rec = event_cell(events_of(obj), which);
  int32_t index = handler_index(rec);
  Cell fn = values(ctx)[index];
  // A handler replaced since it was last seen gets its local slots counted again.
  if (fn.data2 != rec->data2) {
    uint32_t locals = count_locals(fn.data2);
    rec = event_cell(events_of(obj), which);
    rec->data1 = (static_cast<uint32_t>(index) << 16) | (locals & 0xFFFF);
    rec->data2 = fn.data2;
  }
  uint32_t locals = event_cell(events_of(obj), which)->data1 & 0xFFFF;
  if (!handler_call) error::raise(ERR_INTERNAL, "feature-na");
  Cell* saved_top = stack::top;
  Cell* held_fn = stack::push(&fn);
  stack::mark_func(&name, fn.data1);
  // An error or a throw leaving the handler has already unwound the stacks to its catcher:
  // nothing is left to undo here on that road.
  for (int i = 0; i < nargs; i++) stack::push(args + i);
  if (locals >= 1) {
    set_logic(stack::new_cell(), false);
    for (uint32_t i = 1; i < locals; i++) set_none(stack::new_cell());
  }
  handler_call(held_fn, ctx, name.data2, trace);
  stack::unwind_func();
  stack::top = saved_top;
}

}  // namespace object_detail

void fire_on_change(Cell* obj_in, Cell* word, Cell* old_value, Cell* new_value) {
  using namespace object_detail;
  NodeId events = events_of(obj_in);
  if (!events) return;
  int32_t index = handler_index(event_cell(events, 0));
  if (index < 0) return;
  Cell obj = *obj_in;
  NodeId ctx = context_of(&obj);
  Cell fn = values(ctx)[index];
  if (!fn.is(TYPE_FUNCTION)) error::raise(ERR_SCRIPT, "invalid-obj-evt", &fn);
  Cell args[3] = {*word, *old_value, *new_value};
  if (args[0].data1 != ctx) {
    args[0].data1 = ctx;
    int32_t pos = context::find_symbol(ctx, args[0].data2, true);
    args[0].data3 = static_cast<uint32_t>(pos);
  }
  args[0].header &= ~FLAG_NEW_LINE;
  call_handler(&obj, 0, args, 3, words::on_change_star, TRACE_ON_CHANGE);
}

void fire_on_deep_change(Cell* owner_in, Cell* word, Cell* target, Cell* action,
                         Cell* new_value, int32_t index, int32_t part) {
  using namespace object_detail;
  Cell owner = *owner_in;
  NodeId events = events_of(&owner);
  if (!events) error::raise(ERR_SCRIPT, "invalid-obj-evt", &owner);
  int32_t h = handler_index(event_cell(events, 1));
  if (h < 0) return;
  Cell fn = values(context_of(&owner))[h];
  if (!fn.is(TYPE_FUNCTION)) return;
  Cell args[7];
  args[0] = owner;
  args[1] = *word;
  args[2] = *target;
  args[3] = *action;
  if (new_value) args[4] = *new_value;
  else set_none(args + 4);
  set_integer(args + 5, index);
  set_integer(args + 6, part);
  call_handler(&owner, 1, args, 7, words::on_deep_change_star, TRACE_ON_DEEP_CHANGE);
}

void fire_on_change_stack(Cell* obj, Cell* word) {
  Cell old_value = *(stack::top - 1);
  Cell new_value = *(stack::top - 2);
  fire_on_change(obj, word, &old_value, &new_value);
}

void fire_on_change_by_word(Cell* obj_word, Cell* field_word) {
  Cell obj = *context::get_word_value(obj_word);
  fire_on_change_stack(&obj, field_word);
}

}  // namespace tav::object
