#include "view/backend/qt/face_widgets.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "core/symbols.h"
#include "view/backend/qt/menus.h"
#include "datatypes/block.h"
#include "datatypes/event.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "view/backend/qt/camera.h"
#include "view/backend/qt/face_controls.h"
#include "view/backend/qt/face_options.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/face_scrollbars.h"
#include "view/backend/qt/face_text_style.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

using platform::face_field;

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
constexpr uint32_t FLAG_PASSWORD = 0x00080000;

// The `hint` of the face's options: the placeholder an empty field shows.
QString hint_of(const Cell* face) {
  const Cell* hint = face_option(face, "hint");
  if (!hint || !hint->is(TYPE_STRING)) return QString();
  return QString::fromStdString(string::to_std_string(hint));
}

void apply_text(QWidget* widget, FaceKind kind, const Cell* face) {
  QString text = text_of(face);
  switch (kind) {
    case FaceKind::WINDOW:
      widget->setWindowTitle(text);
      break;
    case FaceKind::TEXT:
      static_cast<QLabel*>(widget)->setText(text);
      break;
    case FaceKind::BUTTON:
      static_cast<QPushButton*>(widget)->setText(text);
      break;
    case FaceKind::FIELD: {
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
void apply_color(QWidget* widget, FaceKind kind, const Cell* face) {
  QColor color;
  bool has = color_of(face, &color);
  QPalette pal = QApplication::palette(widget);
  if (has) {
    pal.setColor(QPalette::Window, color);
    if (kind == FaceKind::FIELD) pal.setColor(QPalette::Base, color);
    if (kind == FaceKind::BUTTON) pal.setColor(QPalette::Button, color);
  }
  widget->setPalette(pal);
  if (kind != FaceKind::BASE && kind != FaceKind::FIELD && kind != FaceKind::BUTTON)
    widget->setAutoFillBackground(has);
}

// A window's `selected` face takes the keyboard focus; none leaves it with the window.
void focus_selected(QWidget* window, const Cell* face) {
  Cell* sel = face_field(face, platform::FACE_SELECTED);
  WinData* target = sel && sel->is(TYPE_OBJECT) ? windows::find(platform::face_window(sel)) : nullptr;
  QWidget* w = target && target->widget ? target->widget.data() : window;
  if (w->focusPolicy() == Qt::NoFocus) w = window;
  w->setFocus(Qt::OtherFocusReason);
}

}  // namespace

FaceKind face_kind(const Cell* face) {
  Cell* t = face_field(face, platform::FACE_TYPE);
  if (!t || !t->is(TYPE_WORD)) return FaceKind::NONE;
  static const struct {
    const char* name;
    FaceKind kind;
  } names[] = {
      {"window", FaceKind::WINDOW},       {"panel", FaceKind::PANEL},
      {"group-box", FaceKind::GROUP_BOX}, {"tab-panel", FaceKind::TAB_PANEL},
      {"base", FaceKind::BASE},           {"rich-text", FaceKind::RICH_TEXT},
      {"text", FaceKind::TEXT},           {"button", FaceKind::BUTTON},
      {"toggle", FaceKind::TOGGLE},       {"check", FaceKind::CHECK},
      {"radio", FaceKind::RADIO},         {"field", FaceKind::FIELD},
      {"area", FaceKind::AREA},           {"text-list", FaceKind::TEXT_LIST},
      {"drop-down", FaceKind::DROP_DOWN}, {"drop-list", FaceKind::DROP_LIST},
      {"progress", FaceKind::PROGRESS},   {"slider", FaceKind::SLIDER},
      {"scroller", FaceKind::SCROLLER},   {"calendar", FaceKind::CALENDAR},
      {"camera", FaceKind::CAMERA},
  };
  // The type words are looked up once: a face's kind is asked at every update.
  static std::vector<uint32_t> symbols;
  if (symbols.empty())
    for (const auto& n : names) symbols.push_back(symbol::alias(symbol::make(n.name)));
  uint32_t sym = symbol::alias(t->data2);
  for (size_t i = 0; i < symbols.size(); ++i)
    if (symbols[i] == sym) return names[i].kind;
  return FaceKind::NONE;
}

QWidget* create_face_widget(const Cell* face, QWidget* parent) {
  FaceKind kind = face_kind(face);
  switch (kind) {
    case FaceKind::WINDOW:
      return new WindowShell;
    case FaceKind::PANEL:
      return new FaceContainer(parent);
    case FaceKind::BASE:
    case FaceKind::RICH_TEXT: {
      auto* container = new FaceContainer(parent);
      Cell* flags = face_field(face, platform::FACE_FLAGS);
      scrollbars::attach(container, flags ? event::face_flags(flags) : 0);
      return container;
    }
    case FaceKind::TEXT: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case FaceKind::BUTTON:
      return new QPushButton(parent);
    case FaceKind::FIELD: {
      auto* edit = new QLineEdit(parent);
      Cell* flags = face_field(face, platform::FACE_FLAGS);
      if (flags && (event::face_flags(flags) & FLAG_PASSWORD))
        edit->setEchoMode(QLineEdit::Password);
      edit->setPlaceholderText(hint_of(face));
      return edit;
    }
    case FaceKind::CAMERA:
      return camera::create(const_cast<Cell*>(face), parent);
    case FaceKind::NONE:
      return nullptr;
    default:
      return controls::create(kind, face, parent);
  }
}

void apply_facets(uint32_t id, const Cell* face, uint32_t bits, bool now) {
  WinData* w = windows::find(id);
  if (!w || !w->widget) return;
  QWidget* widget = w->widget;
  FaceKind kind = face_kind(face);
  Cell* mutable_face = const_cast<Cell*>(face);
  if (kind == FaceKind::WINDOW && (bits & bit(platform::FACE_MENU)))
    menus::set_bar(id, face_field(face, platform::FACE_MENU));
  if (bits & (bit(platform::FACE_OFFSET) | bit(platform::FACE_SIZE))) {
    QPoint offset = point_of(face_field(face, platform::FACE_OFFSET));
    QPoint size = point_of(face_field(face, platform::FACE_SIZE));
    if (kind == FaceKind::WINDOW) {
      // A window with no size of its own opens at 200 on that side.
      if (size.x() < 0) size.setX(200);
      if (size.y() < 0) size.setY(200);
    }
    // A window's menu bar lies above its faces: the window's offset and size are those of
    // the area below the bar.
    if (kind == FaceKind::WINDOW) {
      int bar = menus::bar_height(widget);
      size.ry() += bar;
      offset.ry() -= bar;
    } else {
      offset.ry() += menus::bar_height(widget->parentWidget());
    }
    // Sizes below zero mean nothing to Qt; a face that small shows nothing.
    widget->setGeometry(offset.x(), offset.y(), std::max(0, size.x()), std::max(0, size.y()));
    if (w->tab_panel) controls::place_tab_page(widget, w->tab_panel, mutable_face);
    if (kind == FaceKind::TAB_PANEL) controls::place_tab_pages(id, face);
    if (bits & bit(platform::FACE_SIZE)) controls::apply_size(widget, kind, face);
  }
  if (bits & (bit(platform::FACE_TEXT) | bit(platform::FACE_DATA))) {
    apply_text(widget, kind, face);
    controls::apply_text(widget, kind, face);
  }
  // A new size moves a slider's or progress bar's position within its new range.
  if (bits & (bit(platform::FACE_DATA) | bit(platform::FACE_SIZE)))
    controls::apply_data(widget, kind, mutable_face);
  if (bits & bit(platform::FACE_SELECTED)) {
    if (kind == FaceKind::WINDOW) focus_selected(widget, face);
    else controls::apply_selected(widget, kind, mutable_face);
  }
  if (bits & bit(platform::FACE_COLOR)) apply_color(widget, kind, face);
  if (bits & bit(platform::FACE_FONT)) apply_font(widget, kind, face);
  if (bits & bit(platform::FACE_PARA)) apply_para(widget, kind, face);
  if (bits & bit(platform::FACE_ENABLED)) {
    // A window stays enabled: disabling it would grey every child. Its input is dropped instead.
    if (kind != FaceKind::WINDOW) widget->setEnabled(flag_of(face, platform::FACE_ENABLED));
  }
  if ((bits & bit(platform::FACE_VISIBLE)) && kind != FaceKind::WINDOW) {
    widget->setVisible(flag_of(face, platform::FACE_VISIBLE));
    if (kind == FaceKind::TAB_PANEL) controls::place_tab_pages(id, face);
  }
  if (kind == FaceKind::CAMERA) camera::apply(widget, id, mutable_face, bits, now);
  if (bits & bit(platform::FACE_FLAGS)) {
    Cell* flags = face_field(face, platform::FACE_FLAGS);
    w->face_flags = flags ? event::face_flags(flags) : 0;
    if (kind == FaceKind::FIELD) {
      static_cast<QLineEdit*>(widget)->setEchoMode(
          (w->face_flags & FLAG_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
      widget->setFocus(Qt::OtherFocusReason);
    }
  }
  if (bits & bit(platform::FACE_IMAGE)) apply_button_image(widget, kind, face);
  if (bits & bit(platform::FACE_OPTIONS)) apply_cursor(widget, face);
  // Whatever a drawn face paints from: its Draw block, colour, image, text and its style.
  if (bits & (bit(platform::FACE_DRAW) | bit(platform::FACE_COLOR) | bit(platform::FACE_TEXT) |
              bit(platform::FACE_SIZE) | bit(platform::FACE_IMAGE) | bit(platform::FACE_FONT) |
              bit(platform::FACE_PARA))) {
    bool draws = kind == FaceKind::BASE || kind == FaceKind::RICH_TEXT || face_draws(face);
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
  if (WinData* w = windows::find(platform::face_window(face)); w && w->widget)
    scrollbars::raise(w->widget);
}

}  // namespace tav::gui
