// The block! handlers that build, reorder and key blocks (make, to, eval-path, put, sort,
// swap, trim) and the block worker of the set operations. They serve paren!, the path kinds
// and hash! through inheritance, as the handlers of block.h do.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::block {

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
// b/2, b/2: value, b/key and b/key: value.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable);
Cell* swap(Cell* series1, Cell* series2);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

// From the index, the first word, set-word, lit-word or get-word with the word's symbol
// (any case unless case_); answers the cell after it, or null when absent or last.
Cell* select_word(const Cell* block, const Cell* word, bool case_);

// The set operations on blocks (op codes as string::SetOp: 8 unique, 9 union, 10 intersect,
// 11 exclude, 12 difference). Records are skip cells long (1 without skip) and are told apart
// by their first cell. Writes the result into `first` (a new buffer, index 0) and answers it;
// the result keeps the order in which records were first seen.
Cell* do_set_op(Cell* first, Cell* second, bool case_, Cell* skip, int op);

}  // namespace tav::block
