// handle!: an opaque platform handle (a window, a font, a file descriptor ...) carried through
// values. Scripts only print and compare handles; the platform services make and read them.
//
// The cell: header (type 46), class, the 32-bit handle value, and -1 (no handle-table entry).
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::handle {

enum Class : uint32_t {
  CLASS_NULL = 0, CLASS_FD = 1, CLASS_MONITOR = 2, CLASS_WINDOW = 3, CLASS_FONT = 4,
  CLASS_RICH_TEXT = 5,
};

Cell* make_at(Cell* cell, int32_t value, uint32_t cls);
// The result slot made a handle.
Cell* box(int32_t value, uint32_t cls);
Cell* append_to_block(const Cell* block, int32_t value, uint32_t cls);
Cell* push(int32_t value, uint32_t cls);
Cell* push_null();

void init();

}  // namespace tav::handle
