#include "view/backend/qt/screen_events.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cstring>

#include "core/symbols.h"
#include "core/system_object.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/face_widgets.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

using platform::face_field;

bool same_object(const Cell* a, const Cell* b) {
  return a->is(TYPE_OBJECT) && b->is(TYPE_OBJECT) && object::context_of(a) == object::context_of(b);
}

bool is_screen_face(const Cell* face) {
  Cell* type = face ? face_field(face, platform::FACE_TYPE) : nullptr;
  static uint32_t screen = 0;
  if (!screen) screen = symbol::alias(symbol::make("screen"));
  return type && type->is(TYPE_WORD) && symbol::alias(type->data2) == screen;
}

// The monitor id a screen face holds in its state block (0 for none).
uint32_t monitor_of(const Cell* screen_face) {
  Cell* state = face_field(screen_face, platform::FACE_STATE);
  if (!state || !state->is(TYPE_BLOCK)) return 0;
  SeriesBuffer* b = node_buffer(state->node());
  if (state->index() >= b->count()) return 0;
  const Cell* h = b->cells() + state->index();
  return h->is(TYPE_HANDLE) && h->data1 == platform::CLASS_MONITOR ? h->data2 : 0;
}

// Takes the face out of a pane block without telling anyone: the window moved, nothing in
// the pane changed for the program.
void drop_from(Cell* pane, const Cell* face) {
  if (!pane || !pane->is(TYPE_BLOCK)) return;
  SeriesBuffer* b = node_buffer(pane->node());
  for (uint32_t i = pane->index(); i < b->count(); ++i) {
    if (!same_object(b->cells() + i, face)) continue;
    std::memmove(b->cells() + i, b->cells() + i + 1, (b->count() - i - 1) * sizeof(Cell));
    b->tail -= sizeof(Cell);
    return;
  }
}

// The window's face now belongs to the screen face whose monitor is the window's screen.
void move_to_screen(Cell* face, uint32_t monitor) {
  Cell* parent = face_field(face, platform::FACE_PARENT);
  if (!parent || !is_screen_face(parent) || monitor_of(parent) == monitor) return;
  Cell* screens = system_object::field({"view", "screens"});
  if (!screens || !screens->is(TYPE_BLOCK)) return;
  SeriesBuffer* b = node_buffer(screens->node());
  for (uint32_t i = screens->index(); i < b->count(); ++i) {
    Cell target = b->cells()[i];
    if (!target.is(TYPE_OBJECT) || monitor_of(&target) != monitor) continue;
    Cell* pane = face_field(&target, platform::FACE_PANE);
    if (!pane || !pane->is(TYPE_BLOCK)) return;
    drop_from(face_field(parent, platform::FACE_PANE), face);
    bool held = false;
    SeriesBuffer* p = node_buffer(pane->node());
    for (uint32_t k = pane->index(); k < p->count() && !held; ++k) held = same_object(p->cells() + k, face);
    if (!held) block::append_cell(pane, face);
    *face_field(face, platform::FACE_PARENT) = target;
    return;
  }
}

// Faces are placed in logical pixels, which stay; what changes is how they are painted.
// Offsets become point2D! on the way, as a window that changed density keeps fractions.
void relayout(const Cell* pane) {
  if (!pane || !pane->is(TYPE_BLOCK)) return;
  SeriesBuffer* b = node_buffer(pane->node());
  for (uint32_t i = pane->index(); i < b->count(); ++i) {
    Cell child = b->cells()[i];
    if (!child.is(TYPE_OBJECT)) continue;
    uint32_t id = platform::face_window(&child);
    WinData* w = windows::find(id);
    if (!w) continue;
    Cell* offset = face_field(&child, platform::FACE_OFFSET);
    if (offset && offset->is(TYPE_PAIR)) {
      float x = static_cast<float>(pair::x_of(offset)), y = static_cast<float>(pair::y_of(offset));
      point2D::make_at(offset, x, y);
    }
    if (w->painted) queue_render(id);
    relayout(face_field(&child, platform::FACE_PANE));
    b = node_buffer(pane->node());
  }
}

}  // namespace

void dpi_changed(uint32_t id, QScreen* screen) {
  Cell face;
  WinData* w = windows::find(id);
  if (!w || !w->widget || !windows::face_of(id, &face)) return;
  Cell* state = face_field(&face, platform::FACE_STATE);
  if (!state || !state->is(TYPE_BLOCK)) return;
  bool window = face_kind(&face) == FaceKind::WINDOW;
  if (window && screen) move_to_screen(&face, platform::monitor_id(screen));
  set_dpi(screen_dpi(screen));
  if (Cell* metric = system_object::field({"view", "metrics", "dpi"})) set_integer(metric, dpi.dpi);
  if (window) relayout(face_field(&face, platform::FACE_PANE));
  if (w->painted) queue_render(id);
  w->widget->update();
}

void watch_screen(QWidget* shell) {
  QWindow* handle = shell->windowHandle();
  if (!handle || handle->property("tav-watched").toBool()) return;
  handle->setProperty("tav-watched", true);
  QObject::connect(handle, &QWindow::screenChanged, shell, [shell](QScreen* screen) {
    if (!loop.gate_closed) dpi_changed(windows::id_of(shell), screen);
  });
}

}  // namespace tav::gui
