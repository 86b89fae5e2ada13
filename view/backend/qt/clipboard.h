// The system clipboard on QClipboard: text, lists of files (as URLs) and images. Installed
// into the runtime's clipboard hooks by the GUI program.
#pragma once
#include "core/cell.h"

namespace tav::gui::clipboard {

// The clipboard's content into out: a string! (line ends as LF), a block of file! values,
// an image!, or none when nothing usable is there. False when it cannot be read.
bool read(Cell* out);
// Puts a string!, a block of file! values or an image! on the clipboard; none empties it.
bool write(const Cell* data);
// Points the runtime's clipboard hooks at the two above.
void install();

}  // namespace tav::gui::clipboard
