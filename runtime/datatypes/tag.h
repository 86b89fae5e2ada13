// tag!: a string written between "<" and ">" for markup. It keeps string!'s storage and
// almost every string! action; only its form and mold (one routine) are its own.
#pragma once
#include "core/cell.h"

namespace tav::tag {
// Form and mold alike: "<", the text as string! forms it, ">".
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
}  // namespace tav::tag

namespace tav::tag_type {
// Registers tag! under string! (string_type::init must have run).
void init();
}  // namespace tav::tag_type
