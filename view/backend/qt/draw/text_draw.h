// The Draw commands `text` and `font`: a string in the drawing's font, or a face's text laid
// out in its box with its styles and its background.
#pragma once
#include <QPointF>

#include "core/cell.h"
#include "view/backend/qt/draw/draw_context.h"
#include "view/backend/qt/draw/text_box.h"

namespace tav::gui::draw {

void set_font(DrawContext& ctx, const Cell* font);
// Draws a string or a face's text at the position; a refused styles block of a face comes
// back in the fault, with nothing drawn.
text::StyleFault draw_text(DrawContext& ctx, QPointF at, const Cell* text_or_face);

// A face's own text under its Draw block (not a window's): at 0x0, in its font's colour or
// the system text colour, without its background. A refused styles block draws nothing.
void draw_face_text(DrawContext& ctx, const Cell* face);

}  // namespace tav::gui::draw
