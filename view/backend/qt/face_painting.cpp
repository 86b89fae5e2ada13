#include "view/backend/qt/face_painting.h"

#include <QSet>
#include <QWidget>

#include "datatypes/event.h"
#include "datatypes/tuple.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/draw/draw_dialect.h"
#include "view/backend/qt/draw/image_target.h"
#include "view/backend/qt/draw/text_draw.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_widgets.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

constexpr uint32_t FACE_COLOR = 5;
constexpr uint32_t FACE_DRAW = 22;

// Faces whose buffer is out of date, each with one render pass queued.
QSet<uint32_t> stale;

QColor face_color(const Cell* face) {
  Cell* c = platform::face_field(face, FACE_COLOR);
  if (!c || !c->is(TYPE_TUPLE)) return QColor(255, 255, 255, 0);
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(c, b);
  return QColor(b[0], b[1], b[2], 255 - (tuple::length(c) > 3 ? b[3] : 0));
}

}  // namespace

bool face_draws(const Cell* face) {
  Cell* d = platform::face_field(face, FACE_DRAW);
  return d && d->is(TYPE_BLOCK);
}

void render_face(uint32_t id) {
  WinData* w = windows::find(id);
  Cell face;
  if (!w || !w->widget || !w->painted || w->drawing || !windows::face_of(id, &face)) return;
  stale.remove(id);
  QWidget* widget = w->widget;
  Cell* commands = platform::face_field(&face, FACE_DRAW);
  bool has_block = commands && commands->is(TYPE_BLOCK);
  // A base or rich-text face without a Draw block is drawn by its program, in answer to a
  // `drawing` event raised on the open frame.
  FaceKind kind = face_kind(&face);
  bool asks = !has_block && (kind == FaceKind::BASE || kind == FaceKind::RICH_TEXT);
  Cell none = make_cell(TYPE_NONE);
  // The frame paints on a buffer of its own, put back afterwards: the program may open or
  // close windows while it draws, which moves or drops the window's record.
  QImage canvas;
  canvas.swap(back_buffer(*w, widget->size(), widget->devicePixelRatioF()));
  draw::BufferTarget target(&canvas);
  QColor color = face_color(&face);
  // The face's own content first, then its Draw block; a faulty block prints its error and
  // leaves what it drew before the fault.
  {
    struct Open {
      uint32_t id;
      ~Open() {
        if (WinData* w = windows::find(id)) w->drawing = nullptr;
      }
    } open{id};
    draw::do_draw(target, has_block ? commands : &none, true, true, [&](draw::DrawContext& ctx) {
      ctx.clear(color);
      draw::draw_face_image(ctx, &face);
      draw::draw_face_text(ctx, &face);
      w->drawing = &ctx;
      if (asks) {
        event::Record r;
        r.window = id;
        raise_event(event::DRAWING, 0, r);
      }
    });
  }
  if (WinData* after = windows::find(id)) after->back_buffer.swap(canvas);
}

void queue_render(uint32_t id) {
  if (stale.contains(id)) return;
  stale.insert(id);
  post_to_window(id, [id] {
    if (!stale.contains(id)) return;
    render_face(id);
    if (WinData* w = windows::find(id); w && w->widget) w->widget->update();
  });
}

void render_stale(uint32_t root) {
  const QList<uint32_t> ids = stale.values();
  for (uint32_t id : ids)
    if (windows::root_of(id) == root) render_face(id);
}

void draw_face(const Cell* face, const Cell* commands) {
  uint32_t id = platform::face_window(face);
  WinData* w = windows::find(id);
  if (!w || !w->widget) return;
  if (w->drawing) {
    draw::draw_on(*w->drawing, commands, true);
    return;
  }
  QImage& buffer = back_buffer(*w, w->widget->size(), w->widget->devicePixelRatioF());
  draw::BufferTarget target(&buffer);
  draw::do_draw(target, commands, true);
  w->painted = true;
  w->widget->update();
}

}  // namespace tav::gui
