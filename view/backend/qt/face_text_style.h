// A native control's text style from its face: the font (family, size, weight, style and
// colour) and the para's alignment and wrapping. Faces that draw their own text (base,
// rich-text) read the font and para when they paint instead.
#pragma once
#include <QWidget>

#include "core/cell.h"
#include "view/backend/qt/face_widgets.h"

namespace tav::gui {

void apply_font(QWidget* widget, FaceKind kind, const Cell* face);
void apply_para(QWidget* widget, FaceKind kind, const Cell* face);

}  // namespace tav::gui
