// The file and folder dialogs behind request-file and request-dir.
#pragma once
#include "core/cell.h"

namespace tav::gui {

// A file!, a block of them (multi), or none when the dialog was cancelled.
Cell request_file(const Cell* title, const Cell* name, const Cell* filter, bool save, bool multi);
// A folder's file! ending in "/", or none when cancelled. With keep, the folder chosen is
// where the next call with keep starts.
Cell request_dir(const Cell* title, const Cell* dir, bool keep);

}  // namespace tav::gui
