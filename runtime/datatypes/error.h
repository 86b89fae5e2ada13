// error!: an object of the ten error fields (see errors.h), made from a code, a block or a
// text, and formed as the report the console prints.
#pragma once
#include "core/cell.h"

namespace tav::error_type {

Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);
int compare(Cell* value1, Cell* value2, int op);

// Registers error! under object!.
void init();

}  // namespace tav::error_type
