// The controls that hold a value or a list (toggles, checks, radios, sliders, progress bars,
// scrollers, lists, combo boxes, tab panels, calendars, group boxes, multi-line edits): made
// for their face and kept in step with its data, selected and text facets.
#pragma once
#include <QWidget>

#include "core/cell.h"
#include "view/backend/qt/face_widgets.h"

namespace tav::gui::controls {

// A new widget for a face of one of these kinds; null for another kind.
QWidget* create(FaceKind kind, const Cell* face, QWidget* parent);

// What creation sets up once the facets are applied: a scroller's page and position (its
// `selected` made 10% when it is no number, its `data` 0.0), a calendar's `data` from the
// control when it is no date.
void init(QWidget* widget, FaceKind kind, Cell* face);

// The face's text shown by the control (for the kinds that show one here).
void apply_text(QWidget* widget, FaceKind kind, const Cell* face);
// The data facet: a check state, a position, list items, tabs or a date.
void apply_data(QWidget* widget, FaceKind kind, Cell* face);
// The selected facet: a list row, a tab, a scroller's page or an edit's selection.
void apply_selected(QWidget* widget, FaceKind kind, Cell* face);
// A new size changes a slider's and a progress bar's range and direction.
void apply_size(QWidget* widget, FaceKind kind, const Cell* face);

// A page face of a tab panel lives beside the tab panel, over its display area: fits the
// face's offset and size to that area and places its widget there.
void place_tab_page(QWidget* page, uint32_t tab_panel, Cell* face);
// A tab panel's pages follow it when it moves, resizes or changes visibility.
void place_tab_pages(uint32_t tab_panel, const Cell* face);

}  // namespace tav::gui::controls
