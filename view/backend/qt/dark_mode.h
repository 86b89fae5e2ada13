// Dark mode of a face's window. Qt has no system-wide dark switch for Widgets on Linux: the
// window gets a dark palette of the Fusion style, which its child widgets inherit, and light
// mode gives it the application's palette back. Title bars are the window manager's: they
// keep its look either way.
#pragma once
#include <QPalette>

#include "core/cell.h"

class QWidget;

namespace tav::gui::dark_mode {

// The palette dark windows get: the Fusion style's roles in dark shades.
QPalette dark_palette();

// Switches the widget of the face's window to dark or light; a face without a window is left
// alone. The colours the face set on its widget itself (its `color`, its font's colour) stay.
void set(const Cell* face, bool dark);

// The same on a widget.
void set(QWidget* widget, bool dark);

}  // namespace tav::gui::dark_mode
