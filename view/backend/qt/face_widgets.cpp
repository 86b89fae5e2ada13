#include "view/backend/qt/face_widgets.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "core/symbols.h"
#include "datatypes/block.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

using platform::face_field;

enum class Kind { WINDOW, PANEL, BASE, TEXT, BUTTON, FIELD, NONE };

Kind kind_of(const Cell* face) {
  Cell* t = face_field(face, platform::FACE_TYPE);
  if (!t || !t->is(TYPE_WORD)) return Kind::NONE;
  static const struct {
    const char* name;
    Kind kind;
  } names[] = {{"window", Kind::WINDOW}, {"panel", Kind::PANEL}, {"base", Kind::BASE},
               {"text", Kind::TEXT},     {"button", Kind::BUTTON}, {"field", Kind::FIELD}};
  uint32_t sym = symbol::alias(t->data2);
  for (const auto& n : names)
    if (symbol::alias(symbol::make(n.name)) == sym) return n.kind;
  return Kind::NONE;
}

QPoint point_of(const Cell* v) {
  if (!v) return QPoint(0, 0);
  if (v->is(TYPE_PAIR)) return QPoint(pair::x_of(v), pair::y_of(v));
  if (v->is(TYPE_POINT2D))
    return QPoint(round_coordinate(point::x_of(v)), round_coordinate(point::y_of(v)));
  return QPoint(0, 0);
}

QString text_of(const Cell* face) {
  Cell* t = face_field(face, platform::FACE_TEXT);
  if (!t || !t->is(TYPE_STRING)) return QString();
  return QString::fromStdString(string::to_std_string(t));
}

bool color_of(const Cell* face, QColor* out) {
  Cell* c = face_field(face, platform::FACE_COLOR);
  if (!c || !c->is(TYPE_TUPLE)) return false;
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(c, b);
  *out = QColor(b[0], b[1], b[2], 255 - (tuple::length(c) > 3 ? b[3] : 0));
  return true;
}

bool flag_of(const Cell* face, uint32_t field) {
  Cell* v = face_field(face, field);
  return !v || is_true(v);
}

constexpr uint32_t bit(uint32_t field) { return 1u << field; }

void apply_text(QWidget* widget, Kind kind, const Cell* face) {
  QString text = text_of(face);
  switch (kind) {
    case Kind::WINDOW:
      widget->setWindowTitle(text);
      break;
    case Kind::TEXT:
      static_cast<QLabel*>(widget)->setText(text);
      break;
    case Kind::BUTTON:
      static_cast<QPushButton*>(widget)->setText(text);
      break;
    case Kind::FIELD: {
      auto* edit = static_cast<QLineEdit*>(widget);
      // Only a real change moves the caret to the end.
      if (edit->text() != text) edit->setText(text);
      break;
    }
    default:
      break;
  }
}

// The face's colour is its background: the palette's Window role for containers and labels,
// Base for an edit, Button for a button. No colour gives the style's own back.
void apply_color(QWidget* widget, Kind kind, const Cell* face) {
  QColor color;
  bool has = color_of(face, &color);
  QPalette pal = QApplication::palette(widget);
  if (has) {
    pal.setColor(QPalette::Window, color);
    if (kind == Kind::FIELD) pal.setColor(QPalette::Base, color);
    if (kind == Kind::BUTTON) pal.setColor(QPalette::Button, color);
  }
  widget->setPalette(pal);
  if (kind != Kind::BASE && kind != Kind::FIELD && kind != Kind::BUTTON)
    widget->setAutoFillBackground(has);
}

}  // namespace

QWidget* create_face_widget(const Cell* face, QWidget* parent) {
  switch (kind_of(face)) {
    case Kind::WINDOW:
      return new WindowShell;
    case Kind::PANEL:
    case Kind::BASE:
      return new FaceContainer(parent);
    case Kind::TEXT: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case Kind::BUTTON:
      return new QPushButton(parent);
    case Kind::FIELD:
      return new QLineEdit(parent);
    case Kind::NONE:
      break;
  }
  return nullptr;
}

void apply_facets(uint32_t id, const Cell* face, uint32_t bits, bool now) {
  WinData* w = windows::find(id);
  if (!w || !w->widget) return;
  QWidget* widget = w->widget;
  Kind kind = kind_of(face);
  if (bits & (bit(platform::FACE_OFFSET) | bit(platform::FACE_SIZE))) {
    QPoint offset = point_of(face_field(face, platform::FACE_OFFSET));
    QPoint size = point_of(face_field(face, platform::FACE_SIZE));
    // Sizes below zero mean nothing to Qt; a face that small shows nothing.
    widget->setGeometry(offset.x(), offset.y(), std::max(0, size.x()), std::max(0, size.y()));
  }
  if (bits & (bit(platform::FACE_TEXT) | bit(platform::FACE_DATA))) apply_text(widget, kind, face);
  if (bits & bit(platform::FACE_COLOR)) apply_color(widget, kind, face);
  if (bits & bit(platform::FACE_ENABLED)) {
    // A window stays enabled: disabling it would grey every child. Its input is dropped instead.
    if (kind != Kind::WINDOW) widget->setEnabled(flag_of(face, platform::FACE_ENABLED));
  }
  if ((bits & bit(platform::FACE_VISIBLE)) && kind != Kind::WINDOW)
    widget->setVisible(flag_of(face, platform::FACE_VISIBLE));
  if (bits & (bit(platform::FACE_DRAW) | bit(platform::FACE_COLOR) | bit(platform::FACE_TEXT) |
              bit(platform::FACE_SIZE))) {
    bool draws = kind == Kind::BASE || face_draws(face);
    if (draws) {
      w->painted = true;
      if (now) {
        render_face(id);
        widget->update();
      } else {
        queue_render(id);
      }
    } else if (w->painted) {
      w->painted = false;
      widget->update();
    }
  }
}

void restack_pane(const Cell* face) {
  Cell* pane = face_field(face, platform::FACE_PANE);
  if (!pane || !pane->is(TYPE_BLOCK)) return;
  SeriesBuffer* b = node_buffer(pane->node());
  for (uint32_t i = 0; i < b->count(); ++i) {
    Cell child = b->cells()[i];
    if (!child.is(TYPE_OBJECT)) continue;
    WinData* w = windows::find(platform::face_window(&child));
    if (w && w->widget) w->widget->raise();
  }
}

}  // namespace tav::gui
