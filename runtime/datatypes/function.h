// function!: a spec, a deep copy of the body bound to the function's own context, and the
// more block (body, argument cache, compiled entry, op! self, owner context).
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::function {

constexpr uint32_t MORE_BODY = 0, MORE_CACHE = 1, MORE_CODE = 2, MORE_OP_SELF = 3,
                   MORE_OWNER = 4, MORE_CELLS = 5;

// Validates a spec block; answers its attribute flags (FLAG_TRACE, FLAG_NO_TRACE).
uint32_t check_spec(const Cell* spec);

// Makes a function! on the argument stack top from a checked spec and a body (or null);
// answers its context node.
NodeId push(const Cell* spec, const Cell* body, uint32_t flags);

// The set-words (and repeat/foreach words) of the body that are not in the spec, appended
// to the spec after /local; words after /extern are left out and /extern is cut.
void collect_locals(Cell* spec, const Cell* body);

// A deep copy of a block (nested blocks, parens and paths), sharing nothing.
NodeId copy_deep(const Cell* block);

// Datatype handlers.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* reflect(Cell* value, uint32_t field_symbol);
int compare(Cell* value1, Cell* value2, int op);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);

// Registers function! (under context!).
void register_datatype();

}  // namespace tav::function
