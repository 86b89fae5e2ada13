#include "datatypes/routine.h"

#include <cstring>

#include "core/context.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/types.h"
#include "datatypes/function.h"
#include "core/string_buffer.h"
#include "evaluator/actions.h"

// The library's registry, linked in as data by the programs that start the library; the
// runtime only refers to it weakly, as it does to the boot image.
extern "C" {
extern const tav::routine::Row tav_routine_rows[] __attribute__((weak));
extern const uint32_t tav_routine_count __attribute__((weak));
}

namespace tav::routine {

namespace routine_detail {
constexpr uint32_t FLAG_MADE_WITH_FLAG = 0x8000;
constexpr uint32_t ARG_COUNT_SHIFT = 25;
inline Cell* more(const Cell* r) { return node_buffer(r->data3)->cells(); }
}  // namespace routine_detail

uint32_t count() {
  if (&tav_routine_count == nullptr || tav_routine_rows == nullptr) return 0;
  return tav_routine_count;
}

const Row& row(uint32_t index) { return tav_routine_rows[index]; }

int32_t find(std::string_view name) {
  for (uint32_t i = 0; i < count(); ++i)
    if (name == tav_routine_rows[i].name) return static_cast<int32_t>(i);
  return -1;
}

uint32_t index_of(const Cell* r) {
  return static_cast<uint32_t>(routine_detail::more(r)[function::MORE_CODE].data2);
}

NativeEntry entry_of(const Cell* r) {
  uint32_t i = index_of(r);
  return i < count() ? tav_routine_rows[i].entry : nullptr;
}

Cell* push(const Cell* spec_in, uint32_t index) {
  Cell spec = *spec_in;
  Cell* keep = stack::push(&spec);
  NodeId more = alloc::new_cells(function::MORE_CELLS);
  Cell more_cell = make_cell(TYPE_BLOCK, 0, more);
  stack::push(&more_cell);
  Cell from_head = make_cell(TYPE_BLOCK, 0, spec.node());
  NodeId ctx = context::make_from_spec(&from_head, context::KIND_FUNCTION, true);
  uint32_t args = 0;
  for (uint32_t i = 0; i < node_buffer(spec.node())->count(); ++i)
    if (node_buffer(spec.node())->cells()[i].is(TYPE_WORD)) ++args;
  Cell r = make_cell(TYPE_ROUTINE, ctx, spec.node(), more);
  r.header |= (args > 31 ? 31 : args) << routine_detail::ARG_COUNT_SHIFT;
  node_buffer(ctx)->cells()[1] = r;
  SeriesBuffer* mb = node_buffer(more);
  mb->tail = mb->head + function::MORE_CELLS * sizeof(Cell);
  Cell* m = mb->cells();
  set_none(&m[function::MORE_BODY]);
  set_unset(&m[function::MORE_CACHE]);
  set_integer(&m[function::MORE_CODE], static_cast<int32_t>(index));
  set_unset(&m[function::MORE_OP_SELF]);
  set_integer(&m[function::MORE_OWNER], index < count() ? row(index).return_type
                                                        : RETURNS_NOTHING);
  stack::top = keep;
  return stack::push(&r);
}

namespace routine_detail {

int form(Cell*, Cell* buffer, Cell*, int limit) {
  string::append_ascii(buffer->node(), "?routine?");
  return limit - 9;
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  string::append_ascii(buffer->node(), "routine ");
  limit -= 8;
  // Both stay on the stack while they are molded: molding allocates.
  Cell* spec = stack::push(value);
  *spec = make_cell(TYPE_BLOCK, 0, value->data2);
  Cell* body = stack::push(&more(value)[function::MORE_BODY]);
  limit = actions::mold_direct(spec, buffer, only, all, flat, part, limit, indent);
  if (!body->is(TYPE_BLOCK)) {
    string::append_ascii(buffer->node(), " ");
    limit -= 1;
  }
  limit = actions::mold_direct(body, buffer, false, all, flat, part, limit, indent);
  stack::top = spec;
  return limit;
}

}  // namespace routine_detail

void register_datatype() {
  ActionRow row;
  row.fill(INHERIT);
  row[ACT_MAKE - 1] = nullptr;
  row[ACT_FORM - 1] = entry(&routine_detail::form);
  row[ACT_MOLD - 1] = entry(&routine_detail::mold);
  row[ACT_COMPARE - 1] = entry(&function::compare);
  datatype::register_type(TYPE_ROUTINE, TYPE_FUNCTION, "routine!", row);
}

}  // namespace tav::routine
