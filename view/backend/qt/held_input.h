// Keys typed after a loop was told to end belong to the next loop: Qt hands over every input
// event it has read in one pass, also those behind the key that ended the loop. They are kept
// here, in order, and the next loop takes them before anything newer.
#pragma once

class QEvent;
class QWidget;

namespace tav::gui::held_input {

// Keeps a key or input-method event for a face's window when a quit is pending (or earlier
// ones still wait); true when it was kept, and the widget must not see it now.
bool hold(QWidget* receiver, QEvent* e);
// Hands the kept events to the loop that starts, oldest first, through pre-dispatch and on to
// their widgets, until one of them ends this loop too: the rest wait for the next.
void release();

}  // namespace tav::gui::held_input
