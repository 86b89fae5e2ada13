// The hash index: one open-addressing index type serving hash! (kind 0), map! (kind 1), the
// symbol table and context word lists (kind 2), node-keyed record tables (kind 3) and the
// ownership table (kind 4).
//
// The index never holds keys itself: each used slot names a place in a separate key store
// (a block, or a store of fixed-size records), so entries keep the store's order and nothing
// depends on hash order. An index is referred to by the node of the byte series holding its
// record; every raw pointer below must be re-derived after anything that allocates.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/memory.h"

namespace tav::hash {

enum Kind : uint32_t {
  KIND_HASH = 0,       // hash!: equal keys share a slot through a chain of positions
  KIND_MAP = 1,        // map!: key/value pairs, keys at even positions
  KIND_SYMBOL = 2,     // symbol table and context word lists
  KIND_RECORDS = 3,    // node-keyed records
  KIND_OWNERSHIP = 4,  // node-keyed records whose second value cell also holds a node
};

// Two bits per slot.
enum SlotState : uint32_t { SLOT_USED = 0, SLOT_DELETED = 1, SLOT_EMPTY = 2 };

struct Table {
  uint32_t size;         // live entries
  uint32_t indexes;      // kind 0: node of per-position slot numbers (1-based, -1 none);
                         // kinds 3, 4: record size in bytes
  uint32_t chains;       // kind 0: node of the chain list (32-bit node ids, 0 = freed)
  uint32_t flags;        // node of the slot flags
  uint32_t keys;         // node of the slots: per slot the key place (cell position, record
                         // offset, or -k for chain k in kind 0) and the key's hash
  uint32_t blk;          // node of the key store
  uint32_t n_occupied;   // used or deleted slots
  uint32_t n_buckets;    // a power of two, at least 4
  uint32_t upper_bound;  // grow or clean when n_occupied reaches it
  uint32_t type;         // the kind
  uint32_t stamp;        // unused here: node ids never change, so slots never go stale
};
static_assert(sizeof(Table) == 44);

inline Table* table(NodeId index) { return reinterpret_cast<Table*>(node_buffer(index)->head_ptr()); }

// Creates an index for `size` entries. With a store node, that store (a block) becomes the key
// store and is indexed from `start` (map!: by pairs); without, a new store is made.
// `record_cells` is the number of value cells per record of kinds 3 and 4.
NodeId new_table(uint32_t size, NodeId store, Kind kind, uint32_t record_cells = 0,
                 uint32_t start = 0);

// A search key for part of a text: header type byte SLICE_KEY, data1 the index, data2 the
// node of a string buffer, data3 the character count. It hashes like a string of those
// characters and matches stored keys of any text type.
constexpr uint32_t SLICE_KEY = 56;
inline Cell slice_key(NodeId text, uint32_t index, uint32_t count) {
  return Cell{SLICE_KEY, index, text, count};
}

// Key hash of a value cell. Texts hash their characters from the index, case-folded, so keys
// differing only in case share a slot and the comparison op decides.
uint32_t value(const Cell* key);
// Murmur3 of a name with ASCII letters lowered (how symbols are hashed).
uint32_t name_hash(const uint8_t* name, uint32_t len);

// Slot access.
SlotState slot_state(const Table* t, uint32_t slot);
void set_slot_state(Table* t, uint32_t slot, SlotState s);
// A slot keeps its key's hash beside the key's place: a probe passes over other keys by their
// hashes alone, and growing the index never hashes a key again.
struct Slot {
  uint32_t place;
  uint32_t hash;
};
static_assert(sizeof(Slot) == 8);
inline Slot* slots(const Table* t) { return reinterpret_cast<Slot*>(node_buffer(t->keys)->head_ptr()); }

// Adds the store cell at `pos` to the index; `key_hash` is its hash when the caller has it
// already (from the find_key that looked for it).
void put(NodeId index, uint32_t pos);
void put(NodeId index, uint32_t pos, uint32_t key_hash);
// Indexes the store from a position by a step (1 for hash!, 2 for map!).
void index_block(NodeId index, uint32_t start, uint32_t step);

// Looks a key up; answers its position in the key store or -1. For hash!, `start`, `skip`,
// `last` and `reverse` choose among equal keys as find does; other kinds take the first match.
// The key's hash goes to *key_hash when asked for.
int32_t find_key(NodeId index, const Cell* key, uint32_t start, uint32_t skip, int op,
                 bool last, bool reverse, uint32_t* key_hash = nullptr);

// Removes the store cell at `pos` from the index (map!: the slot stays, its value cell's
// header becomes 0).
void delete_entry(NodeId index, uint32_t pos);
// hash!: after `delta` cells were inserted at `pos` (delta > 0) or removed from it (delta < 0)
// of a store that held `old_count` cells, drops the removed positions and moves the stored
// positions that follow. Answers 1 without changing anything when more than 30,000 entries
// would move (rebuilding is then as cheap), else 0.
int shift_positions(NodeId index, int32_t delta, uint32_t pos, uint32_t old_count);

// Empties the index and its key store.
void clear(NodeId index);
// Re-creates the slot arrays of a hash! index for n entries and re-indexes the whole store.
void rebuild(NodeId index, uint32_t n);
// Re-sizes the slot arrays for a count of c (next power of two), dropping deleted slots.
void resize(NodeId index, uint32_t c);

// Node-keyed records (kinds 3 and 4). The returned cell pointer is valid until the next
// allocation.
Cell* node_record(NodeId index, NodeId key);
Cell* find_node_record(NodeId index, NodeId key);
Cell* remove_node_record(NodeId index, NodeId key);
void resize_records(NodeId index, uint32_t count);
// Drops records whose key node (kind 4: or the node in the second value cell) the collector
// left unmarked. Run after marking, before sweeping.
void sweep_records(NodeId index);

// Context word lookup over a kind-2 word list: answers the word's position in the context,
// or -1 when absent. With a context node given, an absent symbol is added (its position goes
// to *added_pos). `store_pos` receives the word-list index of the matching or added cell.
int32_t find_or_add_symbol(NodeId index, uint32_t symbol, bool by_alias, NodeId ctx,
                           int32_t* added_pos, int32_t* store_pos = nullptr);

// Keeps a cell on the argument stack (where the collector sees it) for a scope, so a node
// that nothing refers to yet survives allocations. Before the stacks exist (start-up) no
// collection can run, and nothing is pushed.
class HeldCell {
 public:
  explicit HeldCell(const Cell& c);
  ~HeldCell();
  HeldCell(const HeldCell&) = delete;
  HeldCell& operator=(const HeldCell&) = delete;

 private:
  Cell* slot_;   // the cell pushed, null before the stacks exist
};

// The growth rule shared by symbol and context indexes (a used slot is never deleted there).
void grow_symbol_index(NodeId index);

}  // namespace tav::hash
