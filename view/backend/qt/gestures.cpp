#include "view/backend/qt/gestures.h"

#include <QNativeGestureEvent>
#include <QPointer>
#include <QWidget>
#include <cmath>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/keys.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

// The rotation since the gesture began, in degrees: Qt tells each step's part.
double rotation = 0;
// Qt may offer one gesture event to the receiver's parents in turn: it counts once.
const QNativeGestureEvent* last_event = nullptr;
quint64 last_time = 0;
QPointer<QWidget> last_receiver;

}  // namespace

void gesture_event(QWidget* receiver, const QNativeGestureEvent* e) {
  QWidget* top = receiver->window();
  uint32_t window = windows::face_window_of(top);
  if (!window || loop.gate_closed) return;
  if (e == last_event && e->timestamp() == last_time && last_receiver && receiver != last_receiver &&
      receiver->isAncestorOf(last_receiver))
    return;
  last_event = e;
  last_time = e->timestamp();
  last_receiver = receiver;
  event::Record r;
  uint32_t type;
  switch (e->gestureType()) {
    case Qt::BeginNativeGesture:
    case Qt::EndNativeGesture:
      rotation = 0;
      return;
    case Qt::ZoomNativeGesture:
      // Each step's value is its growth over the step before.
      type = event::ZOOM;
      r.picked = event::Picked::percent;
      r.picked_number = 1.0 + e->value();
      break;
    case Qt::RotateNativeGesture:
      type = event::ROTATE;
      rotation += e->value();
      r.picked = event::Picked::integer;
      r.picked_int = static_cast<int32_t>(std::lround(rotation));
      break;
    case Qt::PanNativeGesture:
    case Qt::SwipeNativeGesture:
      type = event::PAN;
      r.picked = event::Picked::integer;
      r.picked_int = static_cast<int32_t>(std::lround(std::hypot(e->delta().x(), e->delta().y())));
      break;
    default:
      return;
  }
  // The face under the gesture: the visible child there that takes the pointer, else the
  // window itself.
  QWidget* child = top->childAt(top->mapFromGlobal(e->globalPosition()).toPoint());
  uint32_t face = child ? windows::face_window_of(child) : 0;
  r.window = face ? face : window;
  r.has_offset = true;
  r.x = static_cast<float>(e->globalPosition().x());
  r.y = static_cast<float>(e->globalPosition().y());
  raise_event(type, modifier_flags(e->modifiers()), r);
}

}  // namespace tav::gui
