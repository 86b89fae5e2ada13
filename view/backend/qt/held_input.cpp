#include "view/backend/qt/held_input.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <memory>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/pre_dispatch.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::held_input {

namespace {

struct Held {
  QPointer<QWidget> receiver;
  std::unique_ptr<QEvent> event;
};

std::deque<Held> held;

}  // namespace

bool hold(QWidget* receiver, QEvent* e) {
  switch (e->type()) {
    case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::InputMethod:
      break;
    default:
      return false;
  }
  if (!loop.quit_pending && held.empty()) return false;
  // Dialogs and menus run loops of their own: their keys are theirs.
  if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return false;
  if (windows::face_window_of(receiver) == 0) return false;
  held.push_back({receiver, std::unique_ptr<QEvent>(e->clone())});
  return true;
}

void release() {
  while (!held.empty() && !loop.quit_pending) {
    Held h = std::move(held.front());
    held.pop_front();
    if (!h.receiver) continue;
    // Sent, not spontaneous: the pre-dispatch filter lets it pass on to the widget.
    if (!pre_dispatch(h.receiver, h.event.get(), false))
      QCoreApplication::sendEvent(h.receiver, h.event.get());
  }
}

}  // namespace tav::gui::held_input
