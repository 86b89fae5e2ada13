// The scroll bars of a scrollable base or rich-text face: a vertical bar along its right
// edge and a horizontal one along its bottom edge, both over the face's own pixels. The
// program moves them only through its scroller objects; what the user does with them comes
// back as `scroll` events and changes nothing by itself.
#pragma once
#include <QWidget>
#include <cstdint>

#include "core/cell.h"

namespace tav::gui::scrollbars {

// Gives the face's widget its two bars, shown, when its flags ask for them (`scrollable`).
void attach(QWidget* face_widget, uint32_t face_flags);

// Keeps the bars above the face's children (after the pane is stacked again).
void raise(QWidget* face_widget);

// The face's bar of that direction; null when the face has none.
QWidget* bar_of(QWidget* face_widget, bool vertical);

// A face's scroll bar: the pre-dispatch leaves its mouse buttons and moves to it.
bool is_face_bar(const QWidget* widget);

// update-scroller: the field of the scroller object that changed (0 position; 1 page-size
// and 3 max-size: page and range; 4 visible?) is brought to the bar of its parent face.
void update(const Cell* scroller, int32_t field);

}  // namespace tav::gui::scrollbars
