#include "view/backend/qt/widgets.h"

#include <QCloseEvent>
#include <QPainter>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/menus.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/screen_events.h"
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

// A window face's size is its client area below the menu bar, and its offset that area's
// origin on the screen.
QPoint client_size(const QWidget* shell) {
  return QPoint(shell->width(), shell->height() - menus::bar_height(shell));
}

QPoint client_origin(const QWidget* shell) {
  return shell->geometry().topLeft() + QPoint(0, menus::bar_height(shell));
}

void raise_window_event(uint32_t id, uint32_t type) {
  event::Record r;
  r.window = id;
  raise_event(type, 0, r);
}

// A move tells the new offset, a resize the new size (a pair when the window works in pairs).
void raise_geometry_event(uint32_t id, uint32_t type, QPoint value) {
  WinData* w = windows::find(id);
  if (!w) return;
  event::Record r;
  r.window = id;
  r.has_offset = true;
  r.offset_pair = type == event::RESIZE && (w->kind_bits & KIND_PAIR_COORDS);
  r.x = static_cast<float>(value.x());
  r.y = static_cast<float>(value.y());
  raise_event(type, 0, r);
}

}  // namespace

void follow_window_offset(uint32_t window) {
  WinData* w = windows::find(window);
  if (w && w->widget) follow(window, platform::FACE_OFFSET, client_origin(w->widget));
}

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

void WindowShell::showEvent(QShowEvent* e) {
  FaceContainer::showEvent(e);
  watch_screen(this);
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
    follow(id, platform::FACE_SIZE, client_size(this));
    follow(id, platform::FACE_OFFSET, client_origin(this));
    if (isMaximized()) raise_window_event(id, event::MAXIMIZE);
    else if (old & (Qt::WindowMinimized | Qt::WindowMaximized)) raise_window_event(id, event::RESTORE);
  }
}

// Moves and sizes made by the user (or the window manager) reach the face, then its events.
void WindowShell::moveEvent(QMoveEvent* e) {
  FaceContainer::moveEvent(e);
  uint32_t id = windows::id_of(this);
  if (isMinimized() || !isVisible()) return;
  QPoint origin = client_origin(this);
  if (follow(id, platform::FACE_OFFSET, origin)) raise_geometry_event(id, event::MOVE, origin);
}

void WindowShell::resizeEvent(QResizeEvent* e) {
  FaceContainer::resizeEvent(e);
  uint32_t id = windows::id_of(this);
  if (isMinimized() || !isVisible()) return;
  QPoint size = client_size(this);
  if (follow(id, platform::FACE_SIZE, size)) raise_geometry_event(id, event::RESIZE, size);
}

}  // namespace tav::gui
