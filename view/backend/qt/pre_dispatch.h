// Pre-dispatch: input events on their first delivery become events for the language before
// the widget sees them; a consumed one never reaches the widget.
#pragma once
#include <cstdint>

class QEvent;
class QWidget;

namespace tav::gui {

void install_pre_dispatch();

// Runs the pre-dispatch on an input event for a widget of ours; true when consumed. Direct
// sends call it for events they build (key presses then raise key-down only).
bool pre_dispatch(QWidget* receiver, QEvent* e, bool synthetic);

// Raises `key` for a character, as a character message does; true when consumed.
bool raise_key_character(uint32_t window, uint32_t flags);

// The next mouse move raises `over` even at the last position.
void forget_last_move();

}  // namespace tav::gui
