#include "datatypes/native.h"

#include "datatypes/function.h"
#include "errors.h"
#include "evaluator/calls.h"
#include "evaluator/natives.h"
#include "memory.h"
#include "stack.h"
#include "types.h"

namespace tav::native_type {

Cell* make(Cell* proto, Cell* spec, int type) {
  auto bad = [&] { error::raise(ERR_SCRIPT, "bad-make-arg", proto, spec); };
  if (!spec->is(TYPE_BLOCK)) bad();
  SeriesBuffer* b = node_buffer(spec->node());
  if (b->count() != spec->index() + 2) bad();
  Cell s = b->cells()[spec->index()];
  Cell k = b->cells()[spec->index() + 1];
  if (!s.is(TYPE_BLOCK)) bad();
  int32_t limit = type == TYPE_ACTION ? ACTION_COUNT : static_cast<int32_t>(natives::TABLE_SIZE);
  if (!k.is(TYPE_INTEGER) || k.int_value() < 1 || k.int_value() > limit) bad();
  Cell* out = stack::new_cell();
  set_unset(out);
  NodeId extra = alloc::new_cells(2);
  out->data2 = s.node();
  out->data3 = extra;
  NodeId ctx = bridge::make_context_from_spec(s.node(), true, 1);
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
        std::string_view n = bridge::symbol_name(bridge::symbol_canon(c->data2));
        if (n == "local" || n == "extern") return args == 2;
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
  std::string_view field = bridge::symbol_name(bridge::symbol_canon(field_symbol));
  Cell* out = stack::base;
  TypeId wrapped = value->is(TYPE_OP) ? static_cast<TypeId>((value->header >> 16) & 0xFF)
                                      : value->type();
  if (field == "spec") {
    *out = make_cell(TYPE_BLOCK, 0, value->data2);
  } else if (field == "body") {
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

}  // namespace tav::native_type
