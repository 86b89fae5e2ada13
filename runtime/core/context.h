// Contexts: a context maps words to value slots. A context is a node whose buffer holds two
// cells: the context! cell and the owner cell (the function or object owning the context;
// a word `self` bound with position -1 reads it).
//
// context! cell: header bits 11-12 the kind, bit 22 values on the argument stack, bit 24 the
// self flag; data1 the node of the symbol index (kind 2) whose key store is the word list;
// data2 the node of the values block, or for an on-stack context the argument-stack index of
// the running call's first argument plus one (0 while no call runs).
//
// Word cells (word kinds): data1 the context node, data2 the symbol id as written, data3 the
// 0-based position in the context, or -1 while unresolved.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/hash_index.h"
#include "core/memory.h"

namespace tav::context {

enum Kind : uint32_t { KIND_GLOBAL = 0, KIND_FUNCTION = 1, KIND_OBJECT = 2 };

constexpr uint32_t GLOBAL_SLOTS = 4000;

// The global context (every top-level word).
extern NodeId global;

void init_global();

inline Cell* context_cell(NodeId ctx) { return node_buffer(ctx)->cells(); }
inline Cell* owner_cell(NodeId ctx) { return node_buffer(ctx)->cells() + 1; }
inline Kind kind_of(const Cell* ctx_cell) {
  return static_cast<Kind>((ctx_cell->header >> CTX_KIND_SHIFT) & 3);
}
inline bool on_stack(const Cell* ctx_cell) { return (ctx_cell->header & FLAG_CTX_ON_STACK) != 0; }
inline NodeId index_of(NodeId ctx) { return context_cell(ctx)->data1; }
// The word list (a block of word! cells).
inline NodeId words_of(NodeId ctx) { return hash::table(index_of(ctx))->blk; }
NodeId values_of(NodeId ctx);   // the values block, 0 for on-stack contexts
// Every call pushes its function's slots: counted without a division by the unit size.
inline uint32_t word_count(NodeId ctx) {
  return node_buffer(words_of(ctx))->used() / static_cast<uint32_t>(sizeof(Cell));
}

// Creating.
NodeId make(Kind kind, uint32_t slots, bool on_stack = false, bool self_flag = false);
// Sized by the spec block; every word!, get-word!, lit-word! and refinement! adds its symbol
// once (case-insensitively); everything else is skipped.
NodeId make_from_spec(const Cell* spec, Kind kind, bool on_stack = false, bool self_flag = false);
// A new context with the same words (values not copied); the value's data1 becomes the new
// context and the new word list is bound to it.
NodeId clone(Cell* value, Kind kind);

// Finding and adding.
int32_t find_symbol(NodeId ctx, uint32_t symbol, bool case_insensitive);
int32_t find_or_add_symbol(NodeId ctx, uint32_t symbol, bool case_insensitive, int32_t* added);
// Case-insensitive; an absent symbol is added with an unset! value (unless on the stack).
int32_t find_or_add_word(NodeId ctx, uint32_t symbol);
// Adds the symbol with a copy of value; answers the new value cell, or null when present.
Cell* add_word(NodeId ctx, uint32_t symbol, const Cell* value);
// Sets the symbol's slot (adding it when absent); answers the value cell.
Cell* put(NodeId ctx, uint32_t symbol, const Cell* value);
// Adds every set-word! of a block from its head; true when the word list grew.
bool collect_set_words(NodeId ctx, Cell* block);
// The word-list cell (or a root-block copy, see add_global) for a symbol in the global
// context, added with an unset! value when absent. Case variants share one value slot.
Cell* global_word(uint32_t symbol, bool case_insensitive, bool keep_spelling);
Cell* add_global(uint32_t symbol);
Cell* find_word_or_global(NodeId ctx, uint32_t symbol);
Cell* symbol_value_cell(uint32_t symbol, NodeId ctx);
Cell* set_global(uint32_t symbol, const Cell* value);
Cell* global_value_cell(uint32_t symbol);
// Word #i of the word list (the bound word itself).
Cell* word_cell(NodeId ctx, uint32_t i);

// Reading and writing through a word cell. The returned cell is valid until the next
// allocation.
Cell* get_value_cell(const Cell* word, NodeId ctx);
inline Cell* get_word_value(const Cell* word) { return get_value_cell(word, word->data1); }
// Resolves a -1 position (storing it into the word), then copies value into the slot. A field
// of an object with change events tells the object (its on-change*) unless notify is off, as
// for the quiet setters.
Cell* set_in(Cell* word, const Cell* value, NodeId ctx, bool notify = true);
// Whether a write into this context must go through set_in to raise the owner's events.
inline bool notifies(NodeId ctx) {
  const Cell* cells = node_buffer(ctx)->cells();
  return kind_of(cells) == KIND_OBJECT && cells[1].data3 != 0;
}
inline Cell* set_word_value(Cell* word, const Cell* value) { return set_in(word, value, word->data1); }
int32_t set_integer(Cell* word, int32_t v);

// By context node and position.
Cell* slot_value_cell(NodeId ctx, uint32_t i);
Cell* push_slot(NodeId ctx, uint32_t i);
Cell* push_value(NodeId ctx, uint32_t i);
Cell* set_slot_from_top(NodeId ctx, uint32_t i);
Cell* swap_slot_from_top(NodeId ctx, uint32_t i);
Cell* set_slot_from_base(NodeId ctx, uint32_t i);

// Binding. A word absent from the context keeps its binding.
int32_t bind_word(NodeId ctx, Cell* word);
// Binds every word of a block and of the blocks it holds (any depth, cycles included), in
// place. With self_word, a plain word `self` binds with position -1 (reads the owner).
void bind_block(const Cell* block, NodeId ctx, bool self_word = false, bool deep = true);

// Registers the context! datatype (no actions).
void register_datatype();

}  // namespace tav::context
