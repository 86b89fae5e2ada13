#include "datatypes/path.h"

#include "core/cycles.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"

namespace tav {

namespace path_detail {

Cell* push_typed(Cell* cell, TypeId t) {
  cell->header = t;
  return stack::push(cell);
}

// A shallow copy of a block kind's values from its index, typed t, written into out.
Cell* copy_as(const Cell* spec, TypeId t, Cell* out) {
  int32_t from = series::index_of(spec);
  int32_t len = series::buffer_length(spec);
  if (from < 0) from = 0;
  if (from > len) from = len;
  Cell* copy = set_unset(stack::new_cell());
  block::copy_cells(spec, from, len - from, false, copy);
  *out = make_cell(t, 0, copy->node());
  stack::pop(1);
  return out;
}

// The values of value from its index, each written by `write` with `between` in front of every
// value but the first; stops once /part's limit is used up.
template <typename Write>
int walk(Cell* value, Cell* buffer, Cell* part, int limit, const char* marker, Write write) {
  NodeId out = buffer->node();
  NodeId self = value->node();
  if (cycles::find(self)) {
    string::append_ascii(out, marker);
    return limit - 3;
  }
  cycles::push(self);
  int32_t start = series::index_of(value) < 0 ? 0 : series::index_of(value);
  for (int32_t i = start;; i++) {
    SeriesBuffer* b = node_buffer(self);
    if (i >= static_cast<int32_t>(b->used() / sizeof(Cell))) break;
    if (i > start) {
      string::append_ascii(out, "/");
      limit -= 1;
    }
    Cell* item = stack::push(b->cells() + i);   // rooted and stable while it is written
    limit = write(item, limit);
    stack::pop(1);
    if (part && limit < 1) break;
  }
  cycles::pop();
  return limit;
}

}  // namespace path_detail

namespace path {

Cell* push(Cell* cell) { return path_detail::push_typed(cell, TYPE_PATH); }

Cell* make_at(Cell* cell, int32_t capacity) {
  return block::make_at(cell, capacity, TYPE_PATH);
}

Cell* make(Cell* proto, Cell* spec, int type) {
  TypeId t = static_cast<TypeId>(type);
  TypeId st = spec->type();
  if (is_any_block(st)) return path_detail::copy_as(spec, t, proto);
  int32_t capacity = 0;
  if (st == TYPE_INTEGER) {
    capacity = spec->int_value();
  } else if (st == TYPE_FLOAT || st == TYPE_PERCENT) {
    if (!number::float_to_int32(spec->float_value(), &capacity)) {
      Cell target;
      set_datatype(&target, t);
      error::raise(ERR_SCRIPT, "bad-make-arg", &target, spec);
    }
  } else {
    Cell target;
    set_datatype(&target, t);
    error::raise(ERR_SCRIPT, "bad-make-arg", &target, spec);
  }
  // Every number below 1 counts as 1, as for block!: a negative capacity means no room.
  return block::make_at(proto, capacity < 1 ? 1 : capacity, t);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  TypeId t = static_cast<TypeId>(type);
  TypeId st = spec->type();
  if (is_any_block(st)) return path_detail::copy_as(spec, t, proto);
  if (st == TYPE_STRING) {
    Cell* scanned = set_unset(stack::new_cell());
    uint32_t end = 0;
    lexer::scan_string(spec, -1, lexer::Mode::load, false, nullptr, scanned, &end);
    *proto = make_cell(t, 0, scanned->node());
    stack::pop(1);
    return proto;
  }
  // Any other value (an object!, a typeset! or a map! included) becomes a one-value path.
  Cell single = *spec;
  Cell* out = block::make_at(set_unset(stack::new_cell()), 1, t);
  block::append_cell(out, &single);
  *proto = *out;
  stack::pop(1);
  return proto;
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  return path_detail::walk(value, buffer, part, limit, "...", [&](Cell* item, int lim) {
    return actions::form_direct(item, buffer, part, lim);
  });
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  NodeId out = buffer->node();
  TypeId t = value->type();
  if (t == TYPE_LIT_PATH) string::append_ascii(out, "'");
  if (t == TYPE_GET_PATH) string::append_ascii(out, ":");
  bool affixed = t != TYPE_PATH;
  if (affixed) limit -= 1;
  limit = path_detail::walk(value, buffer, part, limit, "...", [&](Cell* item, int lim) {
    return actions::mold_direct(item, buffer, only, all, flat, part, lim, indent);
  });
  if (t == TYPE_SET_PATH) string::append_ascii(out, ":");
  return limit;
}

}  // namespace path

namespace lit_path {
Cell* push(Cell* cell) { return path_detail::push_typed(cell, TYPE_LIT_PATH); }
}
namespace set_path {
Cell* push(Cell* cell) { return path_detail::push_typed(cell, TYPE_SET_PATH); }
}
namespace get_path {
Cell* push(Cell* cell) { return path_detail::push_typed(cell, TYPE_GET_PATH); }
}

namespace paren {

Cell* push(Cell* cell) { return path_detail::push_typed(cell, TYPE_PAREN); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  return block::mold_with(value, buffer, only, all, flat, part, limit, indent, "(", ")",
                          "(...)");
}

}  // namespace paren

namespace path_type {

void init() {
  ActionRow row;
  row.fill(INHERIT);
  row[ACT_MAKE - 1] = entry(&path::make);
  row[ACT_TO - 1] = entry(&path::to);
  row[ACT_FORM - 1] = entry(&path::form);
  row[ACT_MOLD - 1] = entry(&path::mold);
  // A path is a sequence of selectors: it has no order to sort, shuffle or trim.
  row[ACT_RANDOM - 1] = nullptr;
  row[ACT_SORT - 1] = nullptr;
  row[ACT_TRIM - 1] = nullptr;
  datatype::register_type(TYPE_PATH, TYPE_BLOCK, "path!", row);

  ActionRow kind;
  kind.fill(INHERIT);
  datatype::register_type(TYPE_LIT_PATH, TYPE_PATH, "lit-path!", kind);
  datatype::register_type(TYPE_SET_PATH, TYPE_PATH, "set-path!", kind);
  datatype::register_type(TYPE_GET_PATH, TYPE_PATH, "get-path!", kind);
}

}  // namespace path_type

namespace paren_type {

void init() {
  ActionRow row;
  row.fill(INHERIT);
  row[ACT_MOLD - 1] = entry(&paren::mold);
  row[ACT_TRIM - 1] = nullptr;
  datatype::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!", row);
}

}  // namespace paren_type

}  // namespace tav
