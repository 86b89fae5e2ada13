// The keyboard focus moving between controls: a field, an area, a list or a combo box that
// takes it raises `focus` (and becomes its window's `selected` face); one that loses it
// raises `unfocus`. A window's own focus comes from its activation instead.
#pragma once

class QEvent;
class QObject;

namespace tav::gui {

// Called by the application's one event filter for every event; acts on FocusIn and
// FocusOut only and never consumes them.
void focus_event(QObject* receiver, QEvent* e);

}  // namespace tav::gui
