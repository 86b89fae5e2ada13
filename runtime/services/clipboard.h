// The system clipboard, reached through hooks the view layer installs; with none installed
// (headless) every operation answers "not available".
#pragma once
#include "core/cell.h"

namespace tav::clipboard {

struct Hooks {
  // Writes the clipboard's content into out: a string!, a block of file! values, an image!,
  // or none when the clipboard is empty. False when it cannot be read.
  bool (*read)(Cell* out) = nullptr;
  // Puts a string!, a block of file! values, an image! or none (empties it). True on success.
  bool (*write)(const Cell* data) = nullptr;
};

extern Hooks hooks;

// The clipboard's content into out; false (and out untouched) when it cannot be read.
bool read(Cell* out);
// Whether the value is one the clipboard takes: a string!, an image!, none, or a block
// holding file! values only.
bool writable(const Cell* data);
// Writes a value that writable accepts; false when it cannot be written.
bool write(const Cell* data);

}  // namespace tav::clipboard
