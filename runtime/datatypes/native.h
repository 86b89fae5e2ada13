// native!, action! and op!: built-in functions as values. A native! or action! holds its
// 0-based table index, its spec block and a 2-cell block (argument context, argument cache);
// an op! is a copy of the wrapped value with that value's type in header bits 16-23.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::native_type {

// make native! / make action! from [spec-block index]: pushes the new value.
Cell* make(Cell* proto, Cell* spec, int type);
// make op! from a native, action or function of two arguments: written to the result slot.
Cell* make_op(Cell* proto, Cell* spec, int type);
// Exactly two arguments, the first a plain word.
bool op_valid_spec(NodeId spec);
Cell* reflect(Cell* value, uint32_t field_symbol);
int compare(Cell* value1, Cell* value2, int op);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);

// Registers native!, then action! and op! under it.
void register_datatypes();

}  // namespace tav::native_type
