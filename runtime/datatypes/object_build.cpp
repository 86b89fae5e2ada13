// Making objects: empty ones, copies, prototypes extended by a spec or another object, and
// the set worker that fills fields in one go.
#include <cstdint>

#include "core/context.h"
#include "core/cycles.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/object_internal.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::object {

namespace object_detail {

// The function! layout: data1 its context, data2 its spec, data3 a block whose first cell is
// the body and whose third is the compiled entry.
constexpr uint32_t FN_MORE_BODY = 0;
constexpr uint32_t FN_MORE_CODE = 2;

// Series kinds that belong to one object alone: a copy or a make gives each object its own.
bool owned_series_kind(TypeId t) {
  return is_any_block(t) || is_any_string(t) || t == TYPE_VECTOR || t == TYPE_BINARY ||
         t == TYPE_IMAGE;
}

// A deep copy made by the value's own copy action, written over the value.
void deep_copy_in_place(NodeId ctx, uint32_t i) {
  Cell* src = stack::push(values(ctx) + i);
  Cell* result = set_unset(stack::new_cell());
  actions::copy_direct(src, result, nullptr, true, nullptr);
  values(ctx)[i] = *result;
  stack::pop(2);
}

bool matches_types(const Cell* v, const Cell* types) {
  TypeId t = v->type();
  if (types->is(TYPE_DATATYPE)) return types->data1 == t;
  // typeset!: 96 bits over the payload words.
  uint32_t word = t < 32 ? types->data1 : (t < 64 ? types->data2 : types->data3);
  return (word >> (t % 32)) & 1;
}

// Stores a field's new value, firing on-change* when the object has a handler for it.
void store_field(Cell* obj, uint32_t i, const Cell* value_in) {
  NodeId ctx = context_of(obj);
  Cell* value = stack::push(value_in);
  NodeId events = events_of(obj);
  bool fire = false;
  if (events) {
    int32_t e1 = handler_index(event_cell(events, 0));
    int32_t e2 = handler_index(event_cell(events, 1));
    fire = static_cast<int32_t>(i) != e1 && static_cast<int32_t>(i) != e2;
  }
  if (!fire) {
    values(ctx)[i] = *value;
    word_cell(ctx, i)->header |= FLAG_FIELD_STORED;
    stack::pop(1);
    return;
  }
  Cell* old = stack::push(values(ctx) + i);
  Cell* word = stack::push(word_cell(ctx, i));
  word->header = (word->header & ~HEADER_TYPE_MASK & ~FLAG_FIELD_STORED & ~FLAG_NEW_LINE) |
                 TYPE_WORD;
  values(ctx)[i] = *value;
  word_cell(ctx, i)->header |= FLAG_FIELD_STORED;
  fire_on_change(obj, word, old, value);
  stack::pop(3);
}

}  // namespace object_detail

// ---- Building ---------------------------------------------------------------------------------

Cell* make_at(Cell* cell, uint32_t capacity) {
  NodeId ctx = context::make(context::KIND_OBJECT, capacity, false, true);
  *cell = make_cell(TYPE_OBJECT, ctx, 0, 0);
  store_self(cell);
  return cell;
}

void copy_into(Cell* src_in, Cell* dst, bool deep, Cell* types, bool fresh_events) {
  using namespace object_detail;
  Cell* src = stack::push(src_in);
  NodeId src_ctx = context_of(src);
  Cell* out = stack::push(src);
  NodeId ctx = context::clone(out, context::KIND_OBJECT);
  out->data3 = fresh_events ? 0 : src->data3;
  uint32_t n = count(src_ctx);
  for (uint32_t i = 0; i < n; i++) {
    Cell v = values(src_ctx)[i];
    *series::buffer_new_tail_cell(context::values_of(ctx)) = v;
  }
  for (uint32_t i = 0; i < n; i++) {
    Cell* w = word_cell(ctx, i);
    w->data1 = ctx;
    w->header &= ~FLAG_FIELD_STORED;
  }
  store_self(out);
  bool walk_pushed = false;
  if (deep && types) {
    if (cycles::find(src_ctx)) error::raise(ERR_INTERNAL, "no-cycle");
    cycles::push(src_ctx);
    walk_pushed = true;
  }
  try {
    for (uint32_t i = 0; i < n; i++) {
      TypeId t = values(ctx)[i].type();
      if (t == TYPE_FUNCTION) {
        Cell* fn = stack::push(values(ctx) + i);
        rebind_function(fn, ctx);
        values(ctx)[i] = *fn;
        stack::pop(1);
      } else if (!types && deep &&
                 (is_any_block(t) || is_any_string(t)) && t != TYPE_HASH) {
        if (values(ctx)[i].node()) deep_copy_in_place(ctx, i);
      } else if (types && matches_types(values(ctx) + i, types) && is_series_type(t) &&
                 values(ctx)[i].node()) {
        Cell* v = stack::push(values(ctx) + i);
        Cell* result = set_unset(stack::new_cell());
        actions::copy_direct(v, result, nullptr, deep, nullptr);
        values(ctx)[i] = *result;
        stack::pop(2);
      }
    }
  } catch (...) {
    if (walk_pushed) cycles::pop();
    throw;
  }
  if (walk_pushed) cycles::pop();
  if (fresh_events) init_events(out);
  *dst = *out;
  store_self(dst);
  stack::pop(2);
}

void rebind_function(Cell* fn, NodeId ctx) {
  using namespace object_detail;
  NodeId more = fn->data3;
  Cell body = more ? node_buffer(more)->cells()[FN_MORE_BODY] : make_cell(TYPE_NONE);
  if (!body.is(TYPE_BLOCK)) error::raise(ERR_SCRIPT, "bad-func-def", fn);
  if (!function_maker) error::raise(ERR_INTERNAL, "feature-na");
  Cell* held = stack::push(fn);
  Cell* copy = set_unset(stack::new_cell());
  uint32_t body_count = node_buffer(body.node())->count();
  int32_t body_len = body.index() < body_count ? static_cast<int32_t>(body_count - body.index()) : 0;
  block::copy_cells(&body, static_cast<int32_t>(body.index()), body_len, true, copy);
  context::bind_block(copy, ctx, true);
  context::bind_block(copy, held->data1, false);
  Cell spec = make_cell(TYPE_BLOCK, 0, held->data2);
  function_maker(&spec, copy, held->header & (FLAG_TRACE | FLAG_NO_TRACE));
  Cell made = *stack::last();
  if (made.data3) set_unset(node_buffer(made.data3)->cells() + FN_MORE_CODE);
  made.header = (made.header & ~HEADER_TYPE_MASK) | TYPE_FUNCTION;
  stack::pop(3);
  *fn = made;
}

bool extend_from_object(NodeId ctx, Cell* src_in) {
  using namespace object_detail;
  Cell* src = stack::push(src_in);
  NodeId src_ctx = context_of(src);
  uint32_t before = count(ctx);
  for (uint32_t i = 0; i < count(src_ctx); i++) {
    Cell v = values(src_ctx)[i];
    context::put(ctx, word_cell(src_ctx, i)->data2, &v);
  }
  for (uint32_t i = 0; i < count(ctx); i++) {
    TypeId t = values(ctx)[i].type();
    if (owned_series_kind(t) && values(ctx)[i].node()) {
      deep_copy_in_place(ctx, i);
    } else if (t == TYPE_FUNCTION) {
      Cell* fn = stack::push(values(ctx) + i);
      rebind_function(fn, ctx);
      values(ctx)[i] = *fn;
      stack::pop(1);
    }
  }
  stack::pop(1);
  return count(ctx) > before;
}

// The prototype's series values copied again for the new context (make from a prototype).
namespace object_detail {
void clone_values(NodeId ctx) {
  for (uint32_t i = 0; i < count(ctx); i++) {
    TypeId t = values(ctx)[i].type();
    if (!owned_series_kind(t) || !values(ctx)[i].node()) continue;
    deep_copy_in_place(ctx, i);
    if (is_any_block(t)) context::bind_block(values(ctx) + i, ctx, true);
  }
}

}  // namespace object_detail

Cell* construct(Cell* spec_in, Cell* proto, bool only) {
  using namespace object_detail;
  Cell* spec = stack::push(spec_in);
  Cell* obj = stack::new_cell();
  if (proto && proto->is(TYPE_OBJECT)) {
    copy_into(proto, obj, true, nullptr, true);
  } else {
    make_at(obj, 4);
    obj->data2 = static_cast<uint32_t>(next_class_id());
    store_self(obj);
  }
  NodeId ctx = context_of(obj);
  NodeId blk = spec->node();
  uint32_t i = spec->index();
  while (i < node_buffer(blk)->count()) {
    if (!node_buffer(blk)->cells()[i].is(TYPE_SET_WORD)) {
      i++;
      continue;
    }
    uint32_t first = i;
    while (i < node_buffer(blk)->count() && node_buffer(blk)->cells()[i].is(TYPE_SET_WORD)) i++;
    Cell value = i < node_buffer(blk)->count() ? node_buffer(blk)->cells()[i]
                                               : make_cell(TYPE_NONE);
    if (!only && value.is(TYPE_WORD)) {
      uint32_t s = symbol::alias(value.data2);
      if (s == symbol::alias(symbols::true_) || s == symbol::alias(symbols::yes) ||
          s == symbol::alias(symbols::on))
        set_logic(&value, true);
      else if (s == symbol::alias(symbols::false_) || s == symbol::alias(symbols::no) ||
               s == symbol::alias(symbols::off))
        set_logic(&value, false);
      else if (s == symbol::alias(symbols::none))
        set_none(&value);
    }
    value.header &= ~FLAG_NEW_LINE;
    for (uint32_t k = first; k < i; k++) {
      uint32_t sym = node_buffer(blk)->cells()[k].data2;
      context::put(ctx, sym, &value);
    }
  }
  store_self(obj);
  *spec = *obj;
  stack::pop(1);
  return spec;
}

void set_fields(Cell* obj_in, Cell* value_in, bool any, bool only, bool some) {
  using namespace object_detail;
  Cell* obj = stack::push(obj_in);
  Cell* value = stack::push(value_in);
  NodeId ctx = context_of(obj);
  uint32_t n = count(ctx);
  TypeId vt = value->type();
  if (!only && (vt == TYPE_BLOCK || vt == TYPE_OBJECT)) {
    // Every check comes before the first store.
    if (!some && !any) {
      for (uint32_t i = 0; i < n; i++) {
        const Cell* src = nullptr;
        if (vt == TYPE_BLOCK) {
          uint32_t k = value->index() + i;
          if (k < node_buffer(value->node())->count()) src = node_buffer(value->node())->cells() + k;
        } else if (i < count(context_of(value))) {
          src = values(context_of(value)) + i;
        }
        if (src && src->is(TYPE_UNSET)) {
          Cell w = *word_cell(ctx, i);
          error::raise(ERR_SCRIPT, "need-value", &w);
        }
      }
    }
    for (uint32_t i = 0; i < n; i++) {
      Cell src;
      if (vt == TYPE_BLOCK) {
        uint32_t k = value->index() + i;
        if (k < node_buffer(value->node())->count()) src = node_buffer(value->node())->cells()[k];
        else set_none(&src);
      } else {
        int32_t j = context::find_symbol(context_of(value), word_cell(ctx, i)->data2, true);
        if (j < 0) continue;
        src = values(context_of(value))[j];
      }
      if (some && src.is(TYPE_NONE)) continue;
      src.header &= ~FLAG_NEW_LINE;
      store_field(obj, i, &src);
    }
  } else {
    // One value for every field: the handlers keep their functions.
    NodeId events = events_of(obj);
    int32_t e1 = events ? handler_index(event_cell(events, 0)) : -1;
    int32_t e2 = events ? handler_index(event_cell(events, 1)) : -1;
    for (uint32_t i = 0; i < n; i++)
      if (static_cast<int32_t>(i) != e1 && static_cast<int32_t>(i) != e2)
        store_field(obj, i, value);
  }
  stack::pop(2);
}

Cell* push_compiled(NodeId ctx, int32_t class_id) {
  uint32_t words = context::word_count(ctx);
  NodeId vals = context::values_of(ctx);
  while (node_buffer(vals)->count() < words) series::buffer_new_tail_cell(vals);
  Cell obj = make_cell(TYPE_OBJECT, ctx, static_cast<uint32_t>(class_id), 0);
  store_self(&obj);
  return stack::push(&obj);
}

Cell* push_with_events(NodeId ctx, int32_t class_id, NodeId events) {
  Cell obj = make_cell(TYPE_OBJECT, ctx, static_cast<uint32_t>(class_id), events);
  store_self(&obj);
  return stack::push(&obj);
}

bool class_of_word_q(const Cell* word, int32_t class_id) {
  const Cell* v = context::get_word_value(word);
  return v->is(TYPE_OBJECT) && class_of(v) == class_id;
}

bool class_of_slot_q(NodeId ctx, uint32_t index, int32_t class_id) {
  const Cell* v = object_detail::values(ctx) + index;
  return v->is(TYPE_OBJECT) && class_of(v) == class_id;
}

}  // namespace tav::object
