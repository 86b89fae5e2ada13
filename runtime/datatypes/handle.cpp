#include "datatypes/handle.h"

#include <cstring>

#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "datatypes/string.h"

namespace tav::handle {

namespace handle_detail {

const char* class_name(uint32_t cls) {
  static const char* const names[] = {"null", "fd", "monitor", "window", "font", "rich-text"};
  return cls < sizeof names / sizeof names[0] ? names[cls] : nullptr;
}

// Eight uppercase hexadecimal digits and "h", counted against the limit.
int write_value(const Cell* v, NodeId out, int limit) {
  string::append_ascii(out, string::to_hex(static_cast<int32_t>(v->data2), false));
  string::append_char(out, 'h');
  return limit - 9;
}

int form(Cell* value, Cell* buffer, Cell*, int limit) {
  return write_value(value, buffer->node(), limit);
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int limit, int) {
  NodeId out = buffer->node();
  if (!all) {
    string::append_ascii(out, "handle!");
    return limit - 7;
  }
  string::append_ascii(out, "#[handle! ");
  limit = write_value(value, out, limit - 10);
  const char* name = value->data1 > 0 ? class_name(value->data1) : nullptr;
  if (name) {
    string::append_char(out, ' ');
    string::append_ascii(out, name);
    limit -= 1 + static_cast<int>(std::strlen(name));
  }
  string::append_char(out, ']');
  return limit - 1;
}

// The class plays no part: a handle is its value.
int compare(Cell* a, Cell* b, int) {
  if (!b->is(TYPE_HANDLE)) return 1;
  int32_t x = static_cast<int32_t>(a->data2), y = static_cast<int32_t>(b->data2);
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace handle_detail

Cell* make_at(Cell* cell, int32_t value, uint32_t cls) {
  return store_cell(cell, TYPE_HANDLE, cls, static_cast<uint32_t>(value), 0xFFFFFFFFu);
}

Cell* box(int32_t value, uint32_t cls) { return make_at(stack::base, value, cls); }

Cell* append_to_block(const Cell* block, int32_t value, uint32_t cls) {
  return make_at(series::new_tail_cell(block), value, cls);
}

Cell* push(int32_t value, uint32_t cls) { return make_at(stack::new_cell(), value, cls); }

Cell* push_null() { return push(0, CLASS_NULL); }

void init() {
  using namespace handle_detail;
  datatype::register_type(TYPE_HANDLE, TYPE_INTEGER, "handle!", {
      on<ACT_FORM>(&form),
      on<ACT_MOLD>(&mold),
      on<ACT_COMPARE>(&compare),
  });
}

}  // namespace tav::handle
