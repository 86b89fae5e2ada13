// hash!: a block that keeps a hashed index of its values, so that find and select need not
// walk it. The cell is a block! cell typed 36 whose third word is the node of the index (hash
// kind, equal values chained).
//
// hash! shares block!'s storage and handlers; every action that changes the values runs the
// block! handler and then brings the index up to date: the entries of the cells it added,
// removed or overwrote where the change is that plain, the whole block where it is not.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::hash_block {

// Makes the cell a hash! over a block node, with a new index of its cells.
Cell* make_over(Cell* cell, NodeId block);
// Indexes the whole block of a hash! again (after its cells changed).
void reindex(const Cell* value);
// Cells were put into a hash!'s block at `at` by a block routine, the block holding `before`
// cells until then: the index takes them in.
void cells_inserted(const Cell* value, uint32_t at, uint32_t before);

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);

void init();

}  // namespace tav::hash_block
