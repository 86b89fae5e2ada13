// typeset!: a set of datatypes, 96 bits over the three payload words seen as 12 bytes. Type
// id t is bit 0x80 >> (t & 7) of byte t >> 3, most significant bit first, so the argument
// caches of function calls read the same layout.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::typeset {

// A cell made an empty typeset (all bits cleared).
Cell* clear(Cell* ts);
bool has(const Cell* ts, uint32_t type_id);
void add_type(Cell* ts, uint32_t type_id);
// The number of registered types whose bit is set.
int count(const Cell* ts);
// Adds a value's types: a word stands for its value, a datatype! sets its bit, a typeset! is
// united; anything else raises invalid-arg.
void add(Cell* ts, const Cell* value);
// The block of the datatype words of the member types, in id order, made into `out`.
Cell* to_block(const Cell* ts, Cell* out);
// Set operation on the running call's two arguments (the base and the cell above it); the
// new typeset is left in the result slot. Codes: 5 and 9 union, 6 and 10 intersection, 7 and
// 12 symmetric difference, 11 the first minus the second, 8 the first unchanged.
Cell* do_set_op(int op);

// Datatype handlers.
Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* complement(Cell* value);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);

void init();

}  // namespace tav::typeset
