// block!: the list of values and the shape of all code. Its buffer holds 16-byte cells.
//
// The storage routines here are what the interpreter, the natives and every datatype that
// builds blocks call directly; the handlers serve block! and, through inheritance, paren!,
// the path kinds and hash!.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/memory.h"

namespace tav::block {

// ---- Cells -------------------------------------------------------------------------------

// Cells from the index to the tail (negative when the index lies past the tail).
int32_t rs_length(const Cell* blk);
// The cell at the index; an index past the tail is first pulled back to the tail.
Cell* rs_head(Cell* blk);
// Just past the last cell.
Cell* tail_cell(const Cell* blk);
bool rs_tail_q(const Cell* blk);
// Cell n counted from the buffer head (no check).
Cell* cell_at(const Cell* blk, uint32_t n);

// ---- Building ----------------------------------------------------------------------------

// Makes the cell an empty block of type t with room for capacity cells (below 1 counts as 1).
Cell* make_at(Cell* cell, int32_t capacity, TypeId t = TYPE_BLOCK);
// Pushes a new empty block! on the argument stack.
Cell* push_only(int32_t capacity);
// Appends a copy of the value (which may live anywhere, even in the same block) and answers
// the new tail cell.
Cell* append_cell(const Cell* blk, const Cell* value);
// Appends copies of src's cells from its index; answers dst.
Cell* append_from(const Cell* dst, const Cell* src);
// Adds a value, or with splice the values of a block from its index, the way reduce and
// compose fill a target: at the tail, or (insert) at the target's index, which moves past
// them. A hash! target's index takes the new cells in.
void add_values(Cell* target, const Cell* value, bool splice, bool insert);
// A new block (in result) of copies of the cells of blk from `from`, count of them; with deep,
// every series inside is replaced by a copy of its own, deep for block kinds.
Cell* copy_cells(const Cell* blk, int32_t from, int32_t count, bool deep, Cell* result);

// ---- Text --------------------------------------------------------------------------------

// The values of a block molded between open and close (paren! and hash! use their own),
// with `marker` written when the block is already being molded.
int mold_with(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
              int indent, const char* open, const char* close, const char* marker);

// ---- Handlers ----------------------------------------------------------------------------

int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
// append (append set) and insert share one handler.
Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool append);
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);

}  // namespace tav::block

namespace tav::block_type {
// Registers block! under series! (series_type::init must have run).
void init();
}  // namespace tav::block_type
