#include "datatypes/object.h"

#include <cstring>

#include "context.h"
#include "cycles.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "errors.h"
#include "evaluator/actions.h"
#include "hash_index.h"
#include "ownership.h"
#include "stack.h"
#include "string_buffer.h"
#include "evaluator/trace.h"
#include "symbols.h"
#include "types.h"
#include "words.h"

namespace tav::object {

Evaluator evaluator = nullptr;
HandlerCall handler_call = nullptr;
FunctionMaker function_maker = nullptr;

namespace object_detail {

int32_t class_counter = FIRST_CLASS_ID;
Cell shared_none = make_cell(TYPE_NONE);

// The function! layout: data1 its context, data2 its spec, data3 a block whose first cell is
// the body and whose third is the compiled entry.
constexpr uint32_t FN_MORE_BODY = 0;
constexpr uint32_t FN_MORE_CODE = 2;

Cell* values(NodeId ctx) { return node_buffer(context::values_of(ctx))->cells(); }
uint32_t count(NodeId ctx) { return context::word_count(ctx); }

bool same_symbol(uint32_t a, uint32_t b) { return symbol::alias(a) == symbol::alias(b); }

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

Cell* event_cell(NodeId events, int which) { return node_buffer(events)->cells() + which; }
int32_t handler_index(const Cell* c) { return static_cast<int32_t>(c->data1) >> 16; }

// Counts written text against a limit the way mold does: one per character.
uint32_t utf8_chars(const char* s, size_t n) {
  uint32_t k = 0;
  for (size_t i = 0; i < n; i++)
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) k++;
  return k;
}

int put_text(NodeId out, const char* s, int limit) {
  size_t n = std::strlen(s);
  string::append_utf8(out, reinterpret_cast<const uint8_t*>(s), n);
  return limit - static_cast<int>(utf8_chars(s, n));
}

int put_symbol(NodeId out, uint32_t sym, int limit) {
  symbol::Name name = symbol::name(sym);
  std::string copy(name.bytes, name.length);   // the name may move while the buffer grows
  string::append_utf8(out, reinterpret_cast<const uint8_t*>(copy.data()), copy.size());
  return limit - static_cast<int>(utf8_chars(copy.data(), copy.size()));
}

int put_spaces(NodeId out, int n, int limit) {
  for (int i = 0; i < n; i++) string::append_char(out, ' ');
  return limit - n;
}

[[noreturn]] void raise_path(ErrorCategory cat, const char* id, Cell* path, Cell* element) {
  error::raise(cat, id, path ? path : &shared_none, element);
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

// ---- Cells and fields ------------------------------------------------------------------------

int32_t next_class_id() { return ++object_detail::class_counter; }

int32_t word_index(const Cell* obj, const Cell* word) {
  return context::find_symbol(context_of(obj), word->data2, true);
}

Cell* word_value_cell(const Cell* obj, const Cell* word) {
  int32_t i = word_index(obj, word);
  if (i < 0) {
    set_none(&object_detail::shared_none);
    return &object_detail::shared_none;
  }
  return object_detail::values(context_of(obj)) + i;
}

Cell* word_cell(NodeId ctx, uint32_t index) { return context::word_cell(ctx, index); }

Cell* word_of_value_cell(const Cell* obj, const Cell* value) {
  NodeId ctx = context_of(obj);
  Cell* first = object_detail::values(ctx);
  if (value < first || value >= first + object_detail::count(ctx)) return nullptr;
  return word_cell(ctx, static_cast<uint32_t>(value - first));
}

Cell* first_word(const Cell* obj) { return word_cell(context_of(obj), 0); }
Cell* get_values(const Cell* obj) { return object_detail::values(context_of(obj)); }
uint32_t field_count(const Cell* obj) { return object_detail::count(context_of(obj)); }

void store_self(const Cell* obj) {
  Cell copy = *obj;
  copy.header &= ~FLAG_NEW_LINE;
  *context::owner_cell(context_of(obj)) = copy;
}

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

int mold_fields(Cell* obj_in, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                int limit, int indent, bool mold) {
  using namespace object_detail;
  Cell* obj = stack::push(obj_in);
  NodeId ctx = context_of(obj);
  NodeId out = buffer->node();
  uint32_t n = count(ctx);
  if (n == 0) {
    stack::pop(1);
    return limit;
  }
  bool indenting = !flat && !only && indent > 0;
  const char* separator = indenting || (!flat && !mold) ? "\n" : " ";
  if (mold && indenting) limit = put_text(out, "\n", limit);
  uint32_t on_change = symbol::alias(words::on_change_star.data2);
  uint32_t on_deep = symbol::alias(words::on_deep_change_star.data2);
  cycles::push(ctx);
  try {
    bool first = true;
    for (uint32_t i = 0; i < n && limit > 0; i++) {
      uint32_t sym = word_cell(ctx, i)->data2;
      uint32_t folded = symbol::alias(sym);
      if (!all && (folded == on_change || folded == on_deep)) continue;
      if (!first) limit = put_text(out, separator, limit);
      first = false;
      if (indenting) limit = put_spaces(out, 4 * indent, limit);
      limit = put_symbol(out, sym, limit);
      limit = put_text(out, ": ", limit);
      Cell* v = stack::push(values(ctx) + i);
      if (v->type() == TYPE_NONE_ID) set_unset(v);
      v->header &= ~FLAG_NEW_LINE;
      if (mold) {
        if (v->is(TYPE_WORD)) limit = put_text(out, "'", limit);
        limit = actions::mold_direct(v, buffer, false, all, flat, part, limit, indent);
      } else {
        limit = actions::form_direct(v, buffer, part, limit);
      }
      stack::pop(1);
    }
    if (indenting && !first) limit = put_text(out, "\n", limit);
  } catch (...) {
    cycles::pop();
    throw;
  }
  cycles::pop();
  stack::pop(1);
  return limit;
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

// ---- Action handlers ------------------------------------------------------------------------

Cell* make(Cell* proto_in, Cell* spec_in, int) {
  using namespace object_detail;
  Cell* proto = stack::push(proto_in);
  Cell* spec = stack::push(spec_in);
  Cell* result = stack::new_cell();
  bool from_object = proto->is(TYPE_OBJECT);
  if (from_object) copy_into(proto, result, true, nullptr, false);
  else make_at(result, 4);
  NodeId ctx = context_of(result);
  if (spec->is(TYPE_OBJECT)) {
    bool grew = extend_from_object(ctx, spec);
    result->data2 = grew ? static_cast<uint32_t>(next_class_id()) : proto->data2;
  } else if (spec->is(TYPE_BLOCK)) {
    bool grew = context::collect_set_words(ctx, spec);
    context::bind_block(spec, ctx, true);
    if (from_object) clone_values(ctx);
    store_self(result);
    if (!evaluator) error::raise(ERR_INTERNAL, "feature-na");
    evaluator(spec);
    ctx = context_of(result);
    for (uint32_t i = 0; i < count(ctx); i++) {
      word_cell(ctx, i)->header &= ~FLAG_FIELD_STORED;
      values(ctx)[i].header &= ~FLAG_NEW_LINE;
    }
    result->data2 = (grew || !from_object) ? static_cast<uint32_t>(next_class_id())
                                            : proto->data2;
  } else {
    error::raise(ERR_SYNTAX, "malconstruct", spec);
  }
  result->data3 = 0;
  init_events(result);
  *proto = *result;
  stack::pop(2);
  return proto;
}

Cell* reflect(Cell* value, uint32_t field_symbol) {
  using namespace object_detail;
  Cell obj = *value;
  NodeId ctx = context_of(&obj);
  uint32_t f = symbol::alias(field_symbol);
  auto is = [f](uint32_t sym) { return f == symbol::alias(sym); };
  Cell* base = stack::base;
  if (f == symbol::alias(words::changed.data2)) {
    Cell* blk = block::push_only(static_cast<int32_t>(count(ctx)));
    for (uint32_t i = 0; i < count(ctx); i++) {
      Cell w = *word_cell(ctx, i);
      if (!(w.header & FLAG_FIELD_STORED)) continue;
      w.header &= ~FLAG_FIELD_STORED;
      w.data1 = ctx;
      block::append_cell(blk, &w);
    }
    *base = *blk;
  } else if (is(symbols::class_)) {
    set_integer(base, class_of(&obj));
  } else if (is(symbols::words_)) {
    Cell* blk = block::push_only(static_cast<int32_t>(count(ctx)));
    for (uint32_t i = 0; i < count(ctx); i++) {
      Cell w = *word_cell(ctx, i);
      w.header = TYPE_WORD;
      w.data1 = ctx;
      w.data3 = i;
      block::append_cell(blk, &w);
    }
    *base = *blk;
  } else if (is(symbols::values)) {
    Cell* blk = block::push_only(static_cast<int32_t>(count(ctx)));
    for (uint32_t i = 0; i < count(ctx); i++) {
      Cell v = values(ctx)[i];
      block::append_cell(blk, &v);
    }
    *base = *blk;
  } else if (is(symbols::body)) {
    Cell* blk = block::push_only(static_cast<int32_t>(2 * count(ctx)));
    for (uint32_t i = 0; i < count(ctx); i++) {
      Cell w = *word_cell(ctx, i);
      w.header = TYPE_SET_WORD | FLAG_NEW_LINE;
      w.data1 = ctx;
      w.data3 = i;
      block::append_cell(blk, &w);
      Cell v = values(ctx)[i];
      if (v.is(TYPE_WORD)) v.set_type(TYPE_LIT_WORD);
      else if (v.is(TYPE_PATH)) v.set_type(TYPE_LIT_PATH);
      block::append_cell(blk, &v);
    }
    *base = *blk;
  } else if (is(symbols::owner)) {
    set_logic(base, (context::context_cell(ctx)->header & CTX_OWNER) != 0);
  } else if (is(symbols::events_q)) {
    set_logic(base, events_of(&obj) != 0);
  } else {
    error::raise(ERR_INTERNAL, "not-done");
  }
  return base;
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  if (cycles::find(context_of(value)))
    return object_detail::put_text(buffer->node(), "...", limit);
  return mold_fields(value, buffer, false, false, false, part, limit, 0, false);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  NodeId out = buffer->node();
  if (cycles::find(context_of(value)))
    return object_detail::put_text(out, "make object! [...]", limit);
  if (!only) limit = object_detail::put_text(out, "make object! [", limit);
  limit = mold_fields(value, buffer, only, all, flat, part, limit, indent + 1, true);
  if (!flat && indent > 0 && field_count(value) > 0 && !only)
    limit = object_detail::put_spaces(out, 4 * indent, limit);
  if (!only) limit = object_detail::put_text(out, "]", limit);
  return limit;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int index,
                bool, bool get, bool tail, bool) {
  using namespace object_detail;
  TypeId et = element->type();
  if (et != TYPE_WORD && et != TYPE_SET_WORD && et != TYPE_GET_WORD && et != TYPE_LIT_WORD)
    raise_path(ERR_SCRIPT, "invalid-path", path, element);
  Cell obj = *parent;
  NodeId ctx = context_of(&obj);
  int32_t pos = static_cast<int32_t>(element->data3);
  if (element->data1 != ctx || pos < 0) {
    pos = context::find_symbol(ctx, element->data2, true);
    if (pos < 0) {
      if (get && tail) {
        set_unset(&shared_none);
        return &shared_none;
      }
      raise_path(ERR_SCRIPT, tail ? "invalid-path" : "unset-path", path, element);
    }
    if (index >= 0 || path) {   // a word of a path value is bound in place
      element->data1 = ctx;
      element->data3 = static_cast<uint32_t>(pos);
    }
  }
  if (!value) {
    Cell* v = values(ctx) + pos;
    if (v->is(TYPE_UNSET) && !(get && tail)) {
      raise_path(ERR_SCRIPT, tail ? "invalid-path" : "unset-path", path, element);
    }
    return v;
  }
  Cell* new_value = stack::push(value);
  new_value->header &= ~FLAG_NEW_LINE;
  if (!events_of(&obj)) {
    values(ctx)[pos] = *new_value;
    word_cell(ctx, static_cast<uint32_t>(pos))->header |= FLAG_FIELD_STORED;
    stack::pop(1);
    return value;
  }
  Cell* old = stack::push(values(ctx) + pos);
  Cell* word = stack::push(word_cell(ctx, static_cast<uint32_t>(pos)));
  word->header = TYPE_WORD;
  word->data1 = ctx;
  word->data3 = static_cast<uint32_t>(pos);
  values(ctx)[pos] = *new_value;
  word_cell(ctx, static_cast<uint32_t>(pos))->header |= FLAG_FIELD_STORED;
  fire_on_change(&obj, word, old, new_value);
  stack::pop(3);
  return value;
}

int compare(Cell* value1, Cell* value2, int op) {
  using namespace object_detail;
  if (!value2->is(value1->type())) return COMPARE_UNRELATED;
  NodeId c1 = context_of(value1), c2 = context_of(value2);
  if (c1 == c2) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find(c1)) return cycles::find(c2) ? 0 : -1;
  uint32_t n1 = count(c1), n2 = count(c2);
  if (n1 != n2) return n1 > n2 ? 1 : -1;
  cycles::push(c1);
  cycles::push(c2);
  int r = 0;
  try {
    for (uint32_t i = 0; i < n1 && r == 0; i++) {
      uint32_t s1 = symbol::alias(word_cell(c1, i)->data2);
      uint32_t s2 = symbol::alias(word_cell(c2, i)->data2);
      if (s1 != s2) {
        r = s1 < s2 ? -1 : 1;
        break;
      }
      Cell* a = stack::push(values(c1) + i);
      Cell* b = stack::push(values(c2) + i);
      TypeId ta = a->type(), tb = b->type();
      auto number = [](TypeId t) {
        return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT;
      };
      if (ta != tb && !(is_any_word(ta) && is_any_word(tb)) && !(number(ta) && number(tb)))
        r = ta < tb ? -1 : 1;
      else
        r = actions::compare_value(a, b, op);
      stack::pop(2);
    }
  } catch (...) {
    cycles::pop_n(2);
    throw;
  }
  cycles::pop_n(2);
  return r;
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
  if (part) {
    Cell name = make_cell(TYPE_WORD, 0, refinements::part.data2, uint32_t(-1));
    error::raise(ERR_SCRIPT, "invalid-refine-arg", &name, part);
  }
  copy_into(value, result, deep, types, true);
  return result;
}

Cell* select(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool,
             bool) {
  TypeId t = value->type();
  if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD) {
    Cell dt;
    set_datatype(&dt, t);
    error::raise(ERR_SCRIPT, "invalid-type", &dt);
  }
  int32_t i = word_index(series, value);
  if (i < 0) {
    set_none(&object_detail::shared_none);
    return &object_detail::shared_none;
  }
  return object_detail::values(context_of(series)) + i;
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
  if (!key->is(TYPE_WORD)) {
    Cell dt;
    set_datatype(&dt, key->type());
    error::raise(ERR_SCRIPT, "invalid-key-type", &dt);
  }
  Cell k = *key;
  set_none(&object_detail::shared_none);
  eval_path(series, &k, value, &object_detail::shared_none, nullptr, nullptr, -1, case_, false,
            true, false);
  return value;
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
  Cell obj = *target;
  Cell v = *value;
  if (field->is(TYPE_WORD)) {
    uint32_t f = symbol::alias(field->data2);
    if (f == symbol::alias(words::changed.data2)) {
      NodeId ctx = context_of(&obj);
      for (uint32_t i = 0; i < object_detail::count(ctx); i++)
        word_cell(ctx, i)->header &= ~FLAG_FIELD_STORED;
    } else if (f == symbol::alias(symbols::owner)) {
      Cell none = make_cell(TYPE_NONE);
      ownership::set_deep_object(&obj, &obj, &none);
    } else if (f == symbol::alias(symbols::owned)) {
      if (v.is(TYPE_NONE)) {
        ownership::unbind(&obj);
      } else if (v.is(TYPE_BLOCK) && block::rs_length(&v) >= 2) {
        Cell owner = *block::rs_head(&v);
        Cell word = *(block::rs_head(&v) + 1);
        ownership::set_deep(&obj, &owner, &word);
      }
    }
  }
  *stack::base = v;
  return stack::base;
}

}  // namespace tav::object

namespace tav::object_type {
void init() {
  ActionRow row{};
  row[ACT_MAKE - 1] = entry(&object::make);
  row[ACT_REFLECT - 1] = entry(&object::reflect);
  row[ACT_FORM - 1] = entry(&object::form);
  row[ACT_MOLD - 1] = entry(&object::mold);
  row[ACT_EVAL_PATH - 1] = entry(&object::eval_path);
  row[ACT_COMPARE - 1] = entry(&object::compare);
  row[ACT_COPY - 1] = entry(&object::copy);
  row[ACT_SELECT - 1] = entry(&object::select);
  row[ACT_PUT - 1] = entry(&object::put);
  row[ACT_MODIFY - 1] = entry(&object::modify);
  datatype::register_type(TYPE_OBJECT, TYPE_NONE_ID, "object!", row);
}
}  // namespace tav::object_type
