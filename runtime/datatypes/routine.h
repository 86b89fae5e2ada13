// routine!: a function whose body is C++ in the routine registry. The cell keeps its row's
// index in the registry (in the more block's code cell), never an address; start-up binds
// each row to its word by name, with the argument block and help text the boot image carries
// for it.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/cell.h"
#include "core/stack.h"

namespace tav::routine {

// Return type of a row: a type id, or none declared.
constexpr int32_t RETURNS_NOTHING = -1;

// One registry row. The spec is Tav text, scanned at build time into the boot image; the
// entry reads its arguments at stack::base like a native's and leaves its result there.
struct Row {
  const char* name;
  const char* spec;
  int32_t return_type;
  NativeEntry entry;
};

// The registry the library links in; empty in a program built without it.
uint32_t count();
const Row& row(uint32_t index);
// Row index of a name, or -1.
int32_t find(std::string_view name);

// The registry index a routine! value keeps, and its entry (null for a bad index).
uint32_t index_of(const Cell* routine);
NativeEntry entry_of(const Cell* routine);

// Makes a routine! on the argument stack top from its spec block (kept, not copied) and a
// registry row; answers the pushed cell.
Cell* push(const Cell* spec, uint32_t index);

// Registers routine! (under function!).
void register_datatype();

}  // namespace tav::routine
