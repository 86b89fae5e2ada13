#include "view/backend/qt/draw/text_draw.h"

#include "core/symbols.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/fonts.h"

namespace tav::gui::draw {

void set_font(DrawContext& ctx, const Cell* font_in) {
  Cell font = *font_in;
  TextState& t = ctx.text_state();
  t.has_font = true;
  t.font = fonts::font_of(&font);
  t.has_color = fonts::font_color(&font, &t.color);
  t.styles = fonts::style_bits(&font);
}

namespace {

text::StyleFault draw_in(DrawContext& ctx, QPointF at, const Cell* value_in, QColor color,
                         bool background) {
  Cell value = *value_in;
  const TextState& t = ctx.text_state();
  text::StyleFault fault;
  QPainter& painter = ctx.painter();
  if (value.is(TYPE_STRING)) {
    text::TextBox box(text::qstring_of(&value), t.has_font ? t.font : fonts::default_font());
    box.set_font_styles(t.styles);
    box.lay_out(text::Paragraph());
    box.draw(painter, at, color);
    return fault;
  }
  Cell* type = fonts::field(&value, "type");
  bool rich = type && symbol::alias(type->data2) == symbol::alias(symbol::make("rich-text"));
  std::unique_ptr<text::TextBox> own;
  text::TextBox* box = nullptr;
  if (rich) {
    box = text::rich_text_box(&value, &fault, true);
    if (fault.failed) return fault;
  } else {
    own = text::face_box(&value, &fault);
    if (fault.failed) return fault;
    box = own.get();
  }
  if (!box) return fault;
  Cell* color_cell = fonts::field(&value, "color");
  Cell* size = fonts::field(&value, "size");
  if (background && color_cell && color_cell->is(TYPE_TUPLE) && size &&
      (size->is(TYPE_PAIR) || size->is(TYPE_POINT2D))) {
    QPointF s = size->is(TYPE_PAIR) ? QPointF(pair::x_of(size), pair::y_of(size))
                                    : QPointF(point::x_of(size), point::y_of(size));
    uint8_t b[tuple::MAX_LENGTH];
    tuple::get_bytes(color_cell, b);
    int tr = tuple::length(color_cell) > 3 ? b[3] : 0;
    painter.fillRect(QRectF(at, at + s), QColor(b[0], b[1], b[2], 255 - tr));
  }
  box->draw(painter, at, color);
  return fault;
}

}  // namespace

text::StyleFault draw_text(DrawContext& ctx, QPointF at, const Cell* value) {
  const TextState& t = ctx.text_state();
  return draw_in(ctx, at, value, t.has_color ? t.color : ctx.state().pen.color, true);
}

void draw_face_text(DrawContext& ctx, const Cell* face_in) {
  Cell face = *face_in;
  Cell* type = fonts::field(&face, "type");
  Cell* text = fonts::field(&face, "text");
  if (!type || !text || !text->is(TYPE_STRING)) return;
  if (symbol::alias(type->data2) == symbol::alias(symbol::make("window"))) return;
  Cell* font = fonts::field(&face, "font");
  QColor color;
  if (!font || !fonts::font_color(font, &color)) color = QColor::fromRgb(platform_info().text_color);
  draw_in(ctx, QPointF(0, 0), &face, color, false);
}

}  // namespace tav::gui::draw
