// ref!: a string written "@name" that refers to something by name. It keeps string!'s
// storage and most of its actions; it cannot be appended to, put into or walked by a path.
#pragma once
#include "core/cell.h"

namespace tav::ref {
// "@" and the text as string! forms it; form is string!'s (no "@").
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
}  // namespace tav::ref

namespace tav::ref_type {
// Registers ref! under string! (string_type::init must have run).
void init();
}  // namespace tav::ref_type
