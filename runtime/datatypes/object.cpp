// The object! datatype: field access, its actions and its registration. Building objects,
// writing them as text and their change handlers have files of their own (object_*.cpp).
#include "datatypes/object.h"

#include "core/context.h"
#include "core/cycles.h"
#include "datatypes/block.h"
#include "datatypes/object_internal.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::object {

Evaluator evaluator = nullptr;
HandlerCall handler_call = nullptr;
FunctionMaker function_maker = nullptr;

namespace object_detail {

int32_t class_counter = FIRST_CLASS_ID;
Cell shared_none = make_cell(TYPE_NONE);

[[noreturn]] void raise_path(ErrorCategory cat, const char* id, Cell* path, Cell* element) {
  error::raise(cat, id, path ? path : &shared_none, element);
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

// ---- Action handlers ------------------------------------------------------------------------

namespace object_detail {

// The fields a spec block makes (repeated words counted again): objects are made in their
// final size, which for the many small ones is much less than a default would be.
uint32_t set_word_count(const Cell* spec) {
  SeriesBuffer* b = cell_buffer(spec);
  uint32_t n = 0;
  for (uint32_t i = spec->index(); i < b->count(); i++)
    if (b->cells()[i].is(TYPE_SET_WORD)) n++;
  return n ? n : 1;
}

}  // namespace object_detail

Cell* make(Cell* proto_in, Cell* spec_in, int) {
  using namespace object_detail;
  Cell* proto = stack::push(proto_in);
  Cell* spec = stack::push(spec_in);
  Cell* result = stack::new_cell();
  bool from_object = proto->is(TYPE_OBJECT);
  if (from_object) copy_into(proto, result, true, nullptr, false);
  else make_at(result, spec->is(TYPE_BLOCK) ? object_detail::set_word_count(spec) : 4);
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
  datatype::register_type(TYPE_OBJECT, TYPE_NONE_ID, "object!", {
      on<ACT_MAKE>(&object::make),
      on<ACT_REFLECT>(&object::reflect),
      on<ACT_FORM>(&object::form),
      on<ACT_MOLD>(&object::mold),
      on<ACT_EVAL_PATH>(&object::eval_path),
      on<ACT_COMPARE>(&object::compare),
      on<ACT_COPY>(&object::copy),
      on<ACT_SELECT>(&object::select),
      on<ACT_PUT>(&object::put),
      on<ACT_MODIFY>(&object::modify),
  });
}
}  // namespace tav::object_type
