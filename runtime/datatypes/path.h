// The path kinds (path!, lit-path!, set-path!, get-path!) and paren!: blocks with another type
// id. They share block!'s storage and most of its actions; they differ in how they are made,
// formed and molded (a/b, 'a/b, a/b:, :a/b and (...)).
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::path {

// Sets the cell's header to path! (flags cleared) in place and pushes a copy of it.
Cell* push(Cell* cell);
// Makes the cell an empty path! with room for capacity values.
Cell* make_at(Cell* cell, int32_t capacity);

// Handlers of path! (the other path kinds inherit them, mold included: it writes the prefix
// or suffix of the value's kind).
// make: a block kind (a shallow copy) or a number (the capacity of an empty path).
Cell* make(Cell* proto, Cell* spec, int type);
// to: an object!, typeset! or map! becomes a one-value path; anything else converts as a block.
Cell* to(Cell* proto, Cell* spec, int type);
// The values with "/" between them (no prefix or suffix for any kind).
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);

}  // namespace tav::path

namespace tav::lit_path {
Cell* push(Cell* cell);
}
namespace tav::set_path {
Cell* push(Cell* cell);
}
namespace tav::get_path {
Cell* push(Cell* cell);
}

namespace tav::paren {
Cell* push(Cell* cell);
// The values between "(" and ")" (no parentheses with only), as block! molds them.
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
}  // namespace tav::paren

namespace tav::path_type {
// Registers path!, lit-path!, set-path! and get-path! (block! must be registered).
void init();
}  // namespace tav::path_type

namespace tav::paren_type {
// Registers paren! under block!.
void init();
}  // namespace tav::paren_type
