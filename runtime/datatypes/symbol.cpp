// symbol!: the cells of the symbol table. Language code never sees symbols as values; the
// type exists so that the table's cells compare and order by their names.
#include <cstring>

#include "core/memory.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav::symbol {

namespace symbol_type_detail {

inline uint8_t fold_ascii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? uint8_t(c + 32) : c; }

// Orders two UTF-8 names; byte order of UTF-8 is code point order.
int order_names(Name a, Name b, bool fold) {
  uint32_t n = a.length < b.length ? a.length : b.length;
  for (uint32_t i = 0; i < n; i++) {
    uint8_t x = static_cast<uint8_t>(a.bytes[i]), y = static_cast<uint8_t>(b.bytes[i]);
    if (fold) {
      x = fold_ascii(x);
      y = fold_ascii(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
}

int compare(Cell* value, Cell* other, int op) {
  if (!other->is(TYPE_SYMBOL)) return COMPARE_UNRELATED;
  Name a{reinterpret_cast<const char*>(node_buffer(value->data3)->head_ptr()),
         node_buffer(value->data3)->used()};
  Name b{reinterpret_cast<const char*>(node_buffer(other->data3)->head_ptr()),
         node_buffer(other->data3)->used()};
  bool exact = op == COMP_STRICT_EQUAL || op == COMP_CASE_SORT || op == COMP_SAME ||
               op == COMP_FIND_CASE;
  int r = order_names(a, b, !exact);
  if (op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_SAME ||
      op == COMP_FIND || op == COMP_FIND_CASE || op == COMP_FIND_EQUAL)
    return r == 0 ? 0 : 1;
  return r;
}

}  // namespace symbol_type_detail

void register_datatype() {
  datatype::register_type(TYPE_SYMBOL, TYPE_NONE_ID, "symbol!", {
      on<ACT_COMPARE>(&symbol_type_detail::compare),
  });
}

}  // namespace tav::symbol
