// map!: key/value pairs in insertion order with a hashed index over the keys.
//
// The cell: header (type 40), head index, the node of the pairs block (keys at even
// positions, each value right after its key), the node of the hash index (map kind). A
// removed pair keeps its cells and its slot: its value cell's header becomes 0, and a later
// put of the same key revives it in place. The index's entry count is the live count.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::map {

// Live entries.
uint32_t length(const Cell* map);
// Whether values of the type may be keys.
bool key_type_q(TypeId t);
// Makes a key storable in place: series keys are copied, word kinds become set-words. A key
// of any other type raises invalid-path (with the map and the key's datatype).
void normalize_key(Cell* key, const Cell* map);
// Makes the cell an empty map with room for `capacity` cells and a new index.
Cell* make_at(Cell* cell, uint32_t capacity);
// Adds the pairs of a block (from its index): a key found (exactly with case_, else by the
// loose comparison) takes the new value, a dead pair coming back to life; others are
// appended. An odd count raises invalid-arg with the block; a bad key invalid-path. Every key
// is checked before anything changes.
void extend_from_block(Cell* map, const Cell* block, bool case_);
// Sets the key's value, adding the pair when absent.
void put_value(Cell* map, const Cell* key, const Cell* value, bool case_);
// The value cell of a live key, or null. Valid until the next allocation.
Cell* find_value(const Cell* map, const Cell* key, int op);
// The foreach step over a map: sets the words of the block to the next live pair's key (a
// set-word key as a word!) and value, words left over to none, and moves the map's index
// past the dead pairs it skipped. False when no live pair is left.
bool foreach_step(const Cell* words, Cell* map, int32_t count);
// Builds a map from the cells of a loaded "#[...]" literal into `out`; false (nothing
// made) when the count is odd or a key's type cannot be a key.
bool load_literal(const Cell* cells, uint32_t count, Cell* out);

// Handlers.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
Cell* reflect(Cell* value, uint32_t field_symbol);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);

void init();

}  // namespace tav::map
