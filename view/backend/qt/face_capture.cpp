#include "view/backend/qt/face_capture.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/image.h"
#include "datatypes/object.h"
#include "platform/image_store.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/camera.h"
#include "view/backend/qt/draw/image_target.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

// The words the View layer's face? asks for.
bool is_face(const Cell* value) {
  if (!value->is(TYPE_OBJECT)) return false;
  for (const char* name :
       {"type", "offset", "size", "parent", "pane", "state", "para", "font", "actors"}) {
    Cell word;
    word::make_at(symbol::make(name), &word);
    if (object::word_index(value, &word) < 0) return false;
  }
  return true;
}

bool type_is(const Cell* face, const char* name) {
  Cell* t = platform::face_field(face, platform::FACE_TYPE);
  return t && t->is(TYPE_WORD) && symbol::alias(t->data2) == symbol::alias(symbol::make(name));
}

}  // namespace

bool face_to_image(const Cell* value, Cell* out) {
  if (!is_face(value)) return false;
  set_none(out);
  if (type_is(value, "screen")) {
    init();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) draw::image_value(screen->grabWindow(0).toImage(), out);
    return true;
  }
  uint32_t id = platform::face_window(value);
  WinData* w = windows::find(id);
  if (!w || !w->widget) return true;
  // A camera gives the picture it shows.
  QImage frame;
  if (camera::current_frame(w->widget, &frame)) {
    draw::image_value(frame, out);
    return true;
  }
  // What waits for a render is shown as it is now.
  render_stale(windows::root_of(id));
  draw::image_value(w->widget->grab().toImage(), out);
  return true;
}

}  // namespace tav::gui
