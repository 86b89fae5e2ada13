#include "view/backend/qt/face_text_style.h"

#include <QLabel>
#include <QLineEdit>

#include "core/symbols.h"
#include "view/backend/qt/fonts.h"
#include "view/backend/qt/platform.h"

namespace tav::gui {

namespace {

using platform::face_field;

bool draws_own_text(FaceKind kind) {
  return kind == FaceKind::WINDOW || kind == FaceKind::BASE || kind == FaceKind::RICH_TEXT;
}

bool word_is(const Cell* c, const char* name) {
  return c && c->is(TYPE_WORD) && symbol::alias(c->data2) == symbol::alias(symbol::make(name));
}

// The para's word for an axis as Qt flags; 0 when it names none of the axis's words.
Qt::Alignment horizontal(const Cell* word) {
  if (word_is(word, "left")) return Qt::AlignLeft;
  if (word_is(word, "center")) return Qt::AlignHCenter;
  if (word_is(word, "right")) return Qt::AlignRight;
  return {};
}

Qt::Alignment vertical(const Cell* word) {
  if (word_is(word, "top")) return Qt::AlignTop;
  if (word_is(word, "middle")) return Qt::AlignVCenter;
  if (word_is(word, "bottom")) return Qt::AlignBottom;
  return {};
}

}  // namespace

void apply_font(QWidget* widget, FaceKind kind, const Cell* face) {
  if (draws_own_text(kind)) return;
  Cell* font = face_field(face, platform::FACE_FONT);
  bool has = font && font->is(TYPE_OBJECT);
  // A face without a font keeps the control's own: only a font taken away resets it.
  if (has) widget->setFont(fonts::font_of(font));
  else if (widget->testAttribute(Qt::WA_SetFont)) widget->setFont(QFont());
  QColor color;
  bool colored = has && fonts::font_color(font, &color);
  QPalette palette = widget->palette();
  QPalette text_roles;
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    text_roles.setColor(role, color);
    if (colored) palette.setColor(role, color);
  }
  // Without a colour of its own the text takes its window's, light or dark.
  if (!colored) palette.setResolveMask(palette.resolveMask() & ~text_roles.resolveMask());
  widget->setPalette(palette);
}

void apply_para(QWidget* widget, FaceKind kind, const Cell* face) {
  Cell* para = face_field(face, platform::FACE_PARA);
  if (!para || !para->is(TYPE_OBJECT)) return;
  Cell* align = fonts::field(para, "align");
  Cell* v_align = fonts::field(para, "v-align");
  Cell* wrap = fonts::field(para, "wrap?");
  Qt::Alignment h = horizontal(align);
  if (!h) h = Qt::AlignLeft;
  switch (kind) {
    case FaceKind::TEXT: {
      auto* label = static_cast<QLabel*>(widget);
      Qt::Alignment v = vertical(v_align);
      label->setAlignment(h | (v ? v : Qt::AlignVCenter));
      label->setWordWrap(wrap && is_true(wrap));
      break;
    }
    case FaceKind::FIELD:
      static_cast<QLineEdit*>(widget)->setAlignment(h | Qt::AlignVCenter);
      break;
    default:
      break;
  }
}

}  // namespace tav::gui
