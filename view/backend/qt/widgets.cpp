#include "view/backend/qt/widgets.h"

#include <QCloseEvent>
#include <QPainter>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

int round_coordinate(double v) { return static_cast<int>(v + 0.5); }

void FaceContainer::paintEvent(QPaintEvent*) {
  WinData* w = windows::find(windows::id_of(this));
  if (!w || !w->painted || w->back_buffer.isNull()) return;
  QPainter p(this);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, w->back_buffer);
}

void FaceContainer::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  uint32_t id = windows::id_of(this);
  WinData* w = windows::find(id);
  if (w && w->painted) queue_render(id);
}

WindowShell::WindowShell() : FaceContainer(nullptr) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

void WindowShell::closeEvent(QCloseEvent* e) {
  uint32_t id = windows::id_of(this);
  WinData* w = windows::find(id);
  if (!w || w->destroying) {
    e->accept();
    return;
  }
  // The View layer decides: the window stays until it destroys the view.
  e->ignore();
  event::Record r;
  r.window = id;
  if (raise_event(event::CLOSE, 0, r) == 0) post_quit();
}

void WindowShell::changeEvent(QEvent* e) {
  FaceContainer::changeEvent(e);
  if (e->type() != QEvent::ActivationChange) return;
  uint32_t id = windows::id_of(this);
  if (!windows::find(id) || loop.gate_closed) return;
  event::Record r;
  r.window = id;
  raise_event(isActiveWindow() ? event::FOCUS : event::UNFOCUS, 0, r);
}

}  // namespace tav::gui
