// Touchpad gestures (pinch, rotation, swipe) become `zoom`, `rotate` and `pan` for the face
// under the gesture.
#pragma once

class QNativeGestureEvent;
class QWidget;

namespace tav::gui {

// Raises the gesture's event; the gesture goes on to the widget either way.
void gesture_event(QWidget* receiver, const QNativeGestureEvent* e);

}  // namespace tav::gui
