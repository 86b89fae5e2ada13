// The symbol table: every name is interned once; a symbol id is the 1-based position of its
// cell in the table. Each spelling is its own symbol; a spelling that differs from an earlier
// one only in ASCII letter case records that symbol's id as its alias, and all
// case-insensitive matching goes through the alias (the canonical id).
//
// Symbol cell (symbol!): data1 the alias (-1 for a first spelling), data2 the node of the
// name as a string! buffer (0 until the string code makes it), data3 the node of a byte
// series holding the UTF-8 name followed by a NUL byte past its tail.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.h"

namespace tav::symbol {

// The table's block and its hash index (kind 2).
extern NodeId store_node;
extern NodeId index_node;

// Makes the table's block (kept in the root block); the index comes with `init_index`.
void init_store();
void init_index();

// Interns a name: exact spelling first; with any_case an existing case variant is returned.
uint32_t intern(const char* utf8, size_t len, bool any_case);
// Interns case-sensitively (a new case variant becomes a new, aliased symbol).
uint32_t make(const char* utf8, size_t len);
uint32_t make(const char* utf8);
// Returns any existing case variant instead of adding one.
uint32_t make_folded(const char* utf8);

// The canonical id: the alias when there is one, else the id itself.
uint32_t alias(uint32_t id);
// The alias word as stored: -1 for a first spelling.
int32_t alias_of(uint32_t id);

struct Name {
  const char* bytes;   // valid until the next allocation
  uint32_t length;
};
Name name(uint32_t id);
// The name as a NUL-terminated string (valid until the next allocation).
const char* get_c_string(uint32_t id);

Cell* get_cell(uint32_t id);
uint32_t count();

// Registers the symbol! datatype (only compare is supported).
void register_datatype();

}  // namespace tav::symbol
