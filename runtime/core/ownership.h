// Ownership: which object (and which of its fields) owns a series or a nested object, so that
// a change made anywhere inside the values an object owns reaches the object's
// `on-deep-change*` handler.
//
// Records live in one node-keyed table (value, owner object, owner's word), keyed by the
// owned series' node (for an object, its context node). An owned series carries BUF_OWNED in
// its buffer flags, so unowned series pay one flag test per change.
//
// Every action that modifies a series tells the owner before and after the change. The
// "before" notice may run language code that changes the same series: callers re-read the
// buffer, index and tail after it and clamp again before they touch any unit.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/memory.h"

namespace tav::ownership {

// What changed. Each kind has a word sent before the change and one sent after it:
// clear/cleared, poke/poked, random/randomized, move/moved, remove/removed,
// reverse/reversed, take/taken, append/appended, insert/inserted, change/changed,
// put/put-ed, sort/sorted, swap/swaped, trim/trimmed.
enum class Change : uint8_t {
  clear, poke, random, move, remove, reverse, take, append, insert, change, put, sort, swap,
  trim,
};

constexpr uint32_t INITIAL_RECORDS = 1000;

// The table's index node (0 before start-up made it).
extern NodeId table;

void init();

inline bool is_owned(const Cell* series) {
  return (node_buffer(series->node())->flags & BUF_OWNED) != 0;
}

// The word of a change, before (done false) or after it.
const Cell* change_word(Change kind, bool done);

void notify_before(const Cell* series, Change kind, const Cell* value, int32_t index,
                   int32_t count);
void notify_after(const Cell* series, Change kind, const Cell* value, int32_t index,
                  int32_t count);

// Records owner and word for the value and everything inside it (block kinds from their
// index, objects that are no owners themselves field by field with each field's word).
void set_deep(const Cell* value, const Cell* owner, const Cell* word);
// set_deep, then the owner's context is marked as an owner.
void set_deep_object(const Cell* value, const Cell* owner, const Cell* word);
// Removes the records of the value and of everything inside it.
void unbind(const Cell* value);
// unbind for count cells of a block from index (values being removed).
void clear_range(const Cell* block, int32_t index, int32_t count);
// The (owner, word) cells of the node's record, or null. Valid until the next allocation.
Cell* find_owner(NodeId node);
// Fires the owner's on-deep-change* when the value is owned; true when it was.
bool check_and_notify(const Cell* value, const Cell* action, const Cell* new_value,
                      int32_t index, int32_t part);

}  // namespace tav::ownership
