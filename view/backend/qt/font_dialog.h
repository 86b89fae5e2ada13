// The font dialog behind request-font.
#pragma once
#include "core/cell.h"

namespace tav::gui {

// Asks for a font, starting from `selected` (a font! or a face with one; otherwise the
// monospace font at 11 points), fixed-pitch fonts only with mono. Confirmed: the choice is
// written into `font` (a fresh font!), which is the result; cancelled: none.
Cell request_font(const Cell* font, const Cell* selected, bool mono);

}  // namespace tav::gui
