// The word kinds: word!, set-word!, lit-word!, get-word!, refinement! and issue!. All share
// one cell (context node, symbol id as written, position or -1) and differ in their type id;
// words.h makes and reads words, this file gives their datatype handlers and the helpers that
// make a word of one kind from a name, a symbol or another word.
//
// Words compare by the canonical id of their symbol (case is ignored), strict comparison by the
// symbol as written; form and mold write the name as written.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/stack.h"
#include "core/words.h"

namespace tav::word {

// ---- Handlers (word! and, by inheritance, the other kinds) -------------------------------

// make and to (one handler): a word kind, a refinement or issue whose name is a word, a string
// or char that loads as one word, a datatype (its name word) or a logic! (true or false).
Cell* convert(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
// The prefix or suffix of each kind: 'a :a /a a: and a.
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
// index? of the word in the result slot: its 1-based position, none when unresolved.
Cell* index_q();

// ---- Making words ------------------------------------------------------------------------

// A word! of the symbol at the block's tail (bound to the global context).
Cell* append_to_block(uint32_t symbol, const Cell* block);
Cell* load_into_block(const char* utf8_name, const Cell* block);
// The result slot made a word! of the symbol.
Cell* make_result(uint32_t symbol);
// A copy of the cell kept in the root block.
Cell* collect(const Cell* cell);
// Pushes a copy of any cell.
inline Cell* push(const Cell* cell) { return stack::push(cell); }

// The same for kind t (header exactly t, flags cleared).
Cell* load_as(const char* utf8_name, TypeId t);
Cell* load_into_block_as(const char* utf8_name, const Cell* block, TypeId t);
// Pushes a copy of the word typed t (other header bits kept).
Cell* push_as(const Cell* word, TypeId t);
// Pushes word #i of the context's word list typed t.
Cell* push_from_context(NodeId ctx, uint32_t i, TypeId t);

// ---- Names -------------------------------------------------------------------------------

Cell* symbol_cell(const Cell* word);
// Pushes a new string! holding the name as written.
Cell* push_as_string(const Cell* word);
// The datatype the name would load as (0 when it is not one value).
int scan_name(const Cell* word);
inline bool any_word_q(int type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }

// ---- Values ------------------------------------------------------------------------------

// Sets the word in argument 1 to argument 2 of the running call and copies the value into the
// result slot; with checked, an unset! value raises need-value.
Cell* set_from_args(bool checked = true);
// Copies the value at the argument base into target (need-value when it is unset!).
Cell* set_from_base(Cell* target);
// Copies the value of the word in argument 1 into the result slot (no check).
Cell* get_into_result();

}  // namespace tav::word

namespace tav::refinement {
// refinement::load (an unbound refinement in the root block) is in words.h. The other kinds
// go through word::load_as, push_as and push_from_context with their type id.
// Pushes word #i of the context with the header exactly refinement! (flags cleared).
Cell* push_from_context(NodeId ctx, uint32_t i);
}  // namespace tav::refinement

namespace tav::issue {
// An issue! of the global context with the name's symbol and position -1.
Cell* make_at(Cell* cell, const char* utf8_name);
Cell* append_to_block(const char* utf8_name, const Cell* block);
// While start-up collects words, appended to the root block; else pushed.
Cell* load(const char* utf8_name);
// Pushes a copy of the word typed issue! (header flags kept).
Cell* push(const Cell* word);

// Handlers: make and to (a string from its index, a char, a word kind retyped, else word!'s
// make), mold ("#" and the name), compare (only with another issue!).
Cell* make(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
}  // namespace tav::issue

namespace tav::word_type {
// Registers word!, lit-word!, set-word!, get-word! and refinement! (after context!).
void init();
}  // namespace tav::word_type

namespace tav::issue_type {
// Registers issue! under word!.
void init();
}  // namespace tav::issue_type
