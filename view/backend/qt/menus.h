// Menus from a face's `menu` block: a window's menu bar, and the context menu a right press
// opens over a face. The item chosen raises a `menu` event whose picked value is the word
// that follows the item's text (or -1 when there is none).
#pragma once
#include <QPoint>
#include <cstdint>

#include "core/cell.h"

class QMenu;
class QMenuBar;
class QWidget;

namespace tav::gui::menus {

// A window face's menu block makes a bar unless it starts with the word `popup`.
bool is_bar(const Cell* menu, bool window_face);
// Adds the block's items to the menu: "text" word, "text" [submenu], `---` separators;
// other values are skipped. Each action's data is the word's symbol, or -1.
void build(const Cell* block, QMenu* into);
void build(const Cell* block, QMenuBar* into);
// Runs the context menu of the window's face at the global point, when its face has one;
// false when none was shown. The item chosen raises `menu` from a queued call.
bool open_context(uint32_t window, QPoint global);
// Sets, replaces or removes (a block that makes no bar) the menu bar of a window's shell;
// the bar is wired to raise `menu` for that window.
// Faces below it move down with it, and the window grows: its face size excludes the bar, and
// its offset is the origin of the area below the bar.
void set_bar(uint32_t window, const Cell* menu);
// The height of the widget's menu bar; 0 when it has none.
int bar_height(const QWidget* shell);

}  // namespace tav::gui::menus
