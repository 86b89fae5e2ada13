// The native widget of each face type, and bringing a widget in line with its face's facets.
#pragma once
#include <QWidget>
#include <cstdint>

#include "core/cell.h"

namespace tav::gui {

enum class FaceKind {
  WINDOW, PANEL, GROUP_BOX, TAB_PANEL, BASE, RICH_TEXT, TEXT, BUTTON, TOGGLE, CHECK, RADIO,
  FIELD, AREA, TEXT_LIST, DROP_DOWN, DROP_LIST, PROGRESS, SLIDER, SCROLLER, CALENDAR, CAMERA,
  NONE
};
// The kind of a face by its type word (NONE for a type with no widget here).
FaceKind face_kind(const Cell* face);

// A new widget for the face under the parent widget (none for a window); null for a face
// type with no widget on this backend.
QWidget* create_face_widget(const Cell* face, QWidget* parent);

// Applies the facets whose change bits are set (all bits: every facet) to the window's widget.
// A face that draws renders at once when `now`, else once from the loop.
void apply_facets(uint32_t window, const Cell* face, uint32_t bits, bool now);

// Stacks the children of a container in pane order: the last on top.
void restack_pane(const Cell* face);

}  // namespace tav::gui
