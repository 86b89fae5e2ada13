#include "view/backend/qt/widgets.h"

#include <QCloseEvent>
#include <QPainter>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/menus.h"
#include "view/backend/qt/window_table.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"

namespace tav::gui {

int round_coordinate(double v) { return static_cast<int>(v + 0.5); }

namespace {

// Writes the window's new offset or size into its face; false when the face already holds
// it (the program's own setter moved the window: that stays silent).
bool follow(uint32_t id, uint32_t field, QPoint v) {
  Cell face;
  WinData* w = windows::find(id);
  if (!w || loop.gate_closed || !windows::face_of(id, &face)) return false;
  Cell* cell = platform::face_field(&face, field);
  if (!cell) return false;
  if (cell->is(TYPE_PAIR)) {
    if (pair::x_of(cell) == v.x() && pair::y_of(cell) == v.y()) return false;
  } else if (cell->is(TYPE_POINT2D)) {
    if (round_coordinate(point::x_of(cell)) == v.x() && round_coordinate(point::y_of(cell)) == v.y())
      return false;
  }
  if (cell->is(TYPE_POINT2D) && !(w->kind_bits & KIND_PAIR_COORDS))
    point2D::make_at(cell, static_cast<float>(v.x()), static_cast<float>(v.y()));
  else
    pair::make_at(cell, v.x(), v.y());
  return true;
}

void raise_window_event(uint32_t id, uint32_t type) {
  event::Record r;
  r.window = id;
  raise_event(type, 0, r);
}

}  // namespace

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
  uint32_t id = windows::id_of(this);
  if (!windows::find(id) || loop.gate_closed) return;
  if (e->type() == QEvent::ActivationChange) {
    raise_window_event(id, isActiveWindow() ? event::FOCUS : event::UNFOCUS);
  } else if (e->type() == QEvent::WindowStateChange) {
    auto old = static_cast<QWindowStateChangeEvent*>(e)->oldState();
    if (isMinimized()) {
      raise_window_event(id, event::MINIMIZE);
      return;
    }
    follow(id, platform::FACE_SIZE, QPoint(width(), height()));
    follow(id, platform::FACE_OFFSET, geometry().topLeft());
    if (isMaximized()) raise_window_event(id, event::MAXIMIZE);
    else if (old & (Qt::WindowMinimized | Qt::WindowMaximized)) raise_window_event(id, event::RESTORE);
  }
}

// Moves and sizes made by the user (or the window manager) reach the face, then its events.
void WindowShell::moveEvent(QMoveEvent* e) {
  FaceContainer::moveEvent(e);
  uint32_t id = windows::id_of(this);
  if (isMinimized() || !isVisible()) return;
  if (follow(id, platform::FACE_OFFSET, geometry().topLeft())) raise_window_event(id, event::MOVE);
}

void WindowShell::resizeEvent(QResizeEvent* e) {
  FaceContainer::resizeEvent(e);
  uint32_t id = windows::id_of(this);
  if (isMinimized() || !isVisible()) return;
  // The face's size is what lies below the menu bar, as when the window was made.
  if (follow(id, platform::FACE_SIZE, QPoint(width(), height() - menus::bar_height(this))))
    raise_window_event(id, event::RESIZE);
}

}  // namespace tav::gui
