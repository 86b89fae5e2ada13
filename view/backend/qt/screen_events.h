// A window that reaches a screen of another pixel density: its face moves to that screen's
// face, the DPI state follows, and its faces are laid out and painted again.
#pragma once
#include <cstdint>

class QScreen;
class QWidget;

namespace tav::gui {

// Follows the top-level widget's screen from now on (once per widget).
void watch_screen(QWidget* shell);

// What a window does on reaching the screen; nothing for a window whose face has no state.
void dpi_changed(uint32_t window, QScreen* screen);

}  // namespace tav::gui
