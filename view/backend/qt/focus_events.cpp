#include "view/backend/qt/focus_events.h"

#include <QApplication>
#include <QFocusEvent>
#include <QWidget>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_widgets.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

// The face window holding the focus as far as the language was told (0: none). A compound
// control (a calendar, a combo box with its edit) moves the focus among its own parts: that
// is no news.
uint32_t focused = 0;

// Only the controls that tell their parent about the focus raise these events.
bool tells_focus(FaceKind kind) {
  switch (kind) {
    case FaceKind::FIELD: case FaceKind::AREA: case FaceKind::TEXT_LIST:
    case FaceKind::DROP_DOWN: case FaceKind::DROP_LIST:
      return true;
    default:
      return false;
  }
}

// The control's face window, when it is one that tells about its focus; else 0.
uint32_t control_of(const QWidget* widget) {
  uint32_t id = widget ? windows::face_window_of(widget) : 0;
  Cell face;
  if (!id || !windows::face_of(id, &face) || !tells_focus(face_kind(&face))) return 0;
  return id;
}

void raise(uint32_t id, uint32_t type) {
  event::Record r;
  r.window = id;
  raise_event(type, 0, r);
}

void gained(uint32_t id) {
  if (id == focused) return;
  focused = id;
  // The window remembers its focused face: activating it again gives that face the focus.
  Cell face, root;
  if (windows::face_of(id, &face) && windows::face_of(windows::root_of(id), &root)) {
    if (Cell* selected = platform::face_field(&root, platform::FACE_SELECTED)) *selected = face;
  }
  raise(id, event::FOCUS);
}

void lost(uint32_t id) {
  if (id != focused) return;
  // Qt names the new focus widget before the old one hears of its loss.
  if (control_of(QApplication::focusWidget()) == id) return;
  focused = 0;
  raise(id, event::UNFOCUS);
}

}  // namespace

void focus_event(QObject* receiver, QEvent* e) {
  if (e->type() != QEvent::FocusIn && e->type() != QEvent::FocusOut) return;
  if (!receiver->isWidgetType() || loop.gate_closed) return;
  // A menu takes the keyboard for a moment without the control losing its place.
  if (static_cast<QFocusEvent*>(e)->reason() == Qt::PopupFocusReason) return;
  uint32_t id = control_of(static_cast<QWidget*>(receiver));
  if (!id) return;
  if (e->type() == QEvent::FocusIn) gained(id);
  else lost(id);
}

}  // namespace tav::gui
