#include "datatypes/native.h"

#include "core/context.h"
#include "datatypes/function.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/evaluator_door.h"
#include "core/native_list.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::native_type {

Cell* make(Cell* proto, Cell* spec, int type) {
  auto bad = [&] { error::raise(ERR_SCRIPT, "bad-make-arg", proto, spec); };
  if (!spec->is(TYPE_BLOCK)) bad();
  SeriesBuffer* b = node_buffer(spec->node());
  if (b->count() != spec->index() + 2) bad();
  Cell s = b->cells()[spec->index()];
  Cell k = b->cells()[spec->index() + 1];
  if (!s.is(TYPE_BLOCK)) bad();
  // Only the filled native slots, and only the actions a word may name (eval-path, set-path
  // and compare are the layer's own dispatchers).
  int32_t limit = type == TYPE_ACTION ? ACTION_COUNT : static_cast<int32_t>(natives::NATIVE_COUNT);
  if (!k.is(TYPE_INTEGER) || k.int_value() < 1 || k.int_value() > limit) bad();
  if (type == TYPE_ACTION && k.int_value() >= ACT_EVAL_PATH && k.int_value() <= ACT_COMPARE) bad();
  Cell* out = stack::new_cell();
  set_unset(out);
  NodeId extra = alloc::new_cells(2);
  out->data2 = s.node();
  out->data3 = extra;
  Cell spec_block = make_cell(TYPE_BLOCK, 0, s.node());
  NodeId ctx = context::make_from_spec(&spec_block, context::KIND_FUNCTION, true);
  SeriesBuffer* eb = node_buffer(extra);
  eb->tail = eb->head + 2 * sizeof(Cell);
  eb->cells()[0] = node_buffer(ctx)->cells()[0];
  set_none(&eb->cells()[1]);
  out->data1 = static_cast<uint32_t>(k.int_value() - 1);
  out->header = static_cast<uint32_t>(type == TYPE_ACTION ? TYPE_ACTION : TYPE_NATIVE);
  return out;
}

bool op_valid_spec(NodeId spec) {
  SeriesBuffer* b = node_buffer(spec);
  uint32_t args = 0;
  bool plain_seen = false;
  for (uint32_t i = 0; i < b->count(); ++i) {
    const Cell* c = b->cells() + i;
    switch (c->type()) {
      case TYPE_WORD: ++args; plain_seen = true; break;
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
        if (!plain_seen) return false;
        ++args;
        break;
      case TYPE_SET_WORD: return args == 2;
      case TYPE_REFINEMENT: {
        uint32_t n = symbol::alias(c->data2);
        if (n == symbol::alias(refinements::local.data2) ||
            n == symbol::alias(refinements::extern_.data2))
          return args == 2;
        return false;
      }
      default: break;
    }
  }
  return args == 2;
}

Cell* make_op(Cell* proto, Cell* spec, int type) {
  (void)proto;
  (void)type;
  TypeId t = spec->type();
  if (t != TYPE_ACTION && t != TYPE_NATIVE && t != TYPE_FUNCTION && t != TYPE_ROUTINE) {
    Cell dt;
    set_datatype(&dt, t);
    error::raise(ERR_SCRIPT, "invalid-type", &dt);
  }
  if (!op_valid_spec(spec->data2)) error::raise(ERR_SCRIPT, "bad-op-spec");
  Cell src = *spec;
  if (t == TYPE_FUNCTION || t == TYPE_ROUTINE)
    node_buffer(src.data3)->cells()[function::MORE_OP_SELF] = src;
  Cell* out = stack::base;
  *out = src;
  out->header = TYPE_OP | (static_cast<uint32_t>(t) << 16);
  return out;
}

Cell* reflect(Cell* value, uint32_t field_symbol) {
  uint32_t field = symbol::alias(field_symbol);
  Cell* out = stack::base;
  TypeId wrapped = value->is(TYPE_OP) ? static_cast<TypeId>((value->header >> 16) & 0xFF)
                                      : value->type();
  if (field == symbol::alias(symbols::spec)) {
    *out = make_cell(TYPE_BLOCK, 0, value->data2);
  } else if (field == symbol::alias(symbols::body)) {
    if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE)
      *out = node_buffer(value->data3)->cells()[function::MORE_BODY];
    else
      set_integer(out, static_cast<int32_t>(value->data1 + 1));   // the 1-based table position
  } else {
    error::raise(ERR_INTERNAL, "not-done");
  }
  return out;
}

int compare(Cell* value1, Cell* value2, int op) {
  if (value2->type() != value1->type()) return COMPARE_UNRELATED;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND_EQUAL: {
      int32_t a = static_cast<int32_t>(value1->data1), b = static_cast<int32_t>(value2->data1);
      return a < b ? -1 : a > b ? 1 : 0;
    }
    default:
      return COMPARE_UNRELATED;
  }
}

namespace native_detail {

inline TypeId wrapped_type(const Cell* value) {
  return static_cast<TypeId>((value->header >> 16) & 0xFF);
}

// The spec block of a built-in or operator, molded as a block.
int mold_spec(const Cell* value, Cell* buffer, bool all, bool flat, Cell* part, int limit,
              int indent) {
  Cell* spec = stack::push(value);
  *spec = make_cell(TYPE_BLOCK, 0, value->data2);
  limit = actions::mold_direct(spec, buffer, false, all, flat, part, limit, indent);
  stack::top = spec;
  return limit;
}

}  // namespace native_detail

int form(Cell* value, Cell* buffer, Cell*, int limit) {
  switch (value->type()) {
    case TYPE_ACTION:
      string::append_ascii(buffer->node(), "?action?");
      return limit - 8;
    case TYPE_OP:
      string::append_ascii(buffer->node(), "?op?");
      return limit - 4;
    default:
      string::append_ascii(buffer->node(), "?native?");
      return limit - 8;
  }
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  (void)only;
  NodeId out = buffer->node();
  if (!value->is(TYPE_OP)) {
    string::append_ascii(out, value->is(TYPE_ACTION) ? "make action! [" : "make native! [");
    limit = native_detail::mold_spec(value, buffer, all, flat, part, limit - 14, indent);
    string::append_ascii(out, "]");
    return limit - 1;
  }
  string::append_ascii(out, "make op! ");
  limit -= 9;
  bool is_function = native_detail::wrapped_type(value) == TYPE_FUNCTION;
  string::append_ascii(out, is_function ? "func " : "[");
  limit -= is_function ? 5 : 1;
  // An error while the spec is molded names <anon>, not the caller.
  Cell name = evaluator_door::anon_name();
  stack::mark_native(&name);
  Cell v = *value;
  limit = native_detail::mold_spec(&v, buffer, all, flat, part, limit, indent);
  stack::unwind_discard();
  if (is_function) {
    Cell* body = stack::push(&node_buffer(value->data3)->cells()[function::MORE_BODY]);
    if (body->is(TYPE_BLOCK))
      limit = actions::mold_direct(body, buffer, false, all, flat, part, limit, indent);
    stack::top = body;
    return limit;
  }
  string::append_ascii(out, "]");
  return limit - 1;
}

void register_datatypes() {
  ActionRow native_row{};
  native_row[ACT_MAKE - 1] = entry(&make);
  native_row[ACT_REFLECT - 1] = entry(&reflect);
  native_row[ACT_FORM - 1] = entry(&form);
  native_row[ACT_MOLD - 1] = entry(&mold);
  native_row[ACT_COMPARE - 1] = entry(&compare);
  datatype::register_type(TYPE_NATIVE, TYPE_NONE_ID, "native!", native_row);
  // action! and op! share the native! handlers but for make.
  ActionRow row;
  row.fill(INHERIT);
  row[ACT_MAKE - 1] = entry(&make);
  datatype::register_type(TYPE_ACTION, TYPE_NATIVE, "action!", row);
  row[ACT_MAKE - 1] = entry(&make_op);
  datatype::register_type(TYPE_OP, TYPE_NATIVE, "op!", row);
}

}  // namespace tav::native_type
