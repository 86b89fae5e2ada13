#include "view/backend/qt/pre_dispatch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_scrollbars.h"
#include "view/backend/qt/focus_events.h"
#include "view/backend/qt/gestures.h"
#include "view/backend/qt/held_input.h"
#include "view/backend/qt/keys.h"
#include "view/backend/qt/menus.h"
#include "view/backend/qt/window_table.h"
#include "view/backend/qt/x11_colormap.h"

namespace tav::gui {

namespace {

using namespace event;

uint32_t last_hovered = 0;
QPointF last_move(-1, -1);

uint32_t button_flags(Qt::MouseButtons b) {
  uint32_t f = 0;
  if (b & Qt::LeftButton) f |= EVT_DOWN;
  if (b & Qt::RightButton) f |= EVT_ALT_DOWN;
  if (b & Qt::MiddleButton) f |= EVT_MID_DOWN;
  if (b & Qt::XButton1) f |= EVT_AUX_DOWN;
  return f;
}

uint32_t live_flags() {
  uint32_t m = loop.modifier_override >= 0 ? static_cast<uint32_t>(loop.modifier_override)
                                           : modifier_flags(QApplication::keyboardModifiers()) |
                                                 button_flags(QApplication::mouseButtons());
  return m;
}

Record record_for(uint32_t window) {
  Record r;
  r.window = window;
  return r;
}

// The point in the face window's own coordinates.
Record mouse_record(uint32_t window, QWidget* receiver, QPointF local) {
  Record r = record_for(window);
  WinData* w = windows::find(window);
  QPointF p = local;
  if (w && w->widget && receiver != w->widget) p = receiver->mapTo(w->widget, local);
  if (w && w->widget) p.ry() -= menus::bar_height(w->widget);
  r.has_offset = true;
  r.x = static_cast<float>(p.x());
  r.y = static_cast<float>(p.y());
  r.picked = Picked::none;
  return r;
}

// Key events take the pointer position at the time, in the window's coordinates.
Record key_record(uint32_t window) {
  Record r = record_for(window);
  WinData* w = windows::find(window);
  if (w && w->widget) {
    QPointF p = w->widget->mapFromGlobal(QCursor::pos());
    r.has_offset = true;
    r.x = static_cast<float>(p.x());
    r.y = static_cast<float>(p.y());
  }
  return r;
}

bool key_press(uint32_t window, const QKeyEvent* e, bool synthetic) {
  KeyResult k = translate_key(key_input(e));
  if (!k.any) return false;
  uint32_t mods = loop.modifier_override >= 0 ? static_cast<uint32_t>(loop.modifier_override)
                                              : k.modifiers;
  Record r = key_record(window);
  r.special_key = k.special;
  int result = raise_event(KEY_DOWN, mods | k.down_char, r);
  if (result != 0 && !synthetic) {
    if (k.key_word) {
      result = raise_event(KEY, mods, r);
    } else {
      Record c = r;
      c.special_key = SK_NONE;
      for (uint32_t ch : k.chars) {
        if (ch > 0xFFFF) mods = 0;   // a character from a surrogate pair carries no modifiers
        result = raise_event(KEY, mods | ch, c);
        if (result == 0) break;
      }
    }
  }
  // A system key (Alt without Ctrl) inserts nothing into the widget.
  bool alt_only = (e->modifiers() & Qt::AltModifier) && !(e->modifiers() & Qt::ControlModifier);
  return result == 0 || (alt_only && k.special == SK_NONE);
}

bool key_release(uint32_t window, const QKeyEvent* e) {
  KeyResult k = translate_key(key_input(e));
  if (!k.any) return false;
  Record r = key_record(window);
  r.special_key = k.special;
  return raise_event(KEY_UP, k.modifiers | k.down_char, r) == 0;
}

uint32_t press_type(Qt::MouseButton b, bool down) {
  switch (b) {
    case Qt::LeftButton: return down ? DOWN : UP;
    case Qt::RightButton: return down ? ALT_DOWN : ALT_UP;
    case Qt::MiddleButton: return down ? MID_DOWN : MID_UP;
    case Qt::XButton1: case Qt::XButton2: return down ? AUX_DOWN : AUX_UP;
    default: return 0;
  }
}

bool mouse(uint32_t window, QWidget* receiver, QEvent* e) {
  auto* m = static_cast<QMouseEvent*>(e);
  Record r = mouse_record(window, receiver, m->position());
  uint32_t flags = modifier_flags(m->modifiers()) | button_flags(m->buttons());
  switch (e->type()) {
    case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease: {
      uint32_t type = press_type(m->button(), e->type() == QEvent::MouseButtonPress);
      bool consumed = type && raise_event(type, flags, r) == 0;
      // The face's context menu follows its alt-down and takes the press.
      if (type == ALT_DOWN && menus::open_context(window, m->globalPosition().toPoint()))
        return true;
      return consumed;
    }
    case QEvent::MouseButtonDblClick:
      // The second press of a double click comes only as this event.
      if (m->button() != Qt::LeftButton) return false;
      raise_event(DOWN, flags, r);
      raise_event(DBL_CLICK, flags, r);
      return false;
    case QEvent::MouseMove: {
      if (m->position() == last_move && window == last_hovered) return false;
      last_move = m->position();
      WinData* w = windows::find(window);
      bool all_over = w && (w->face_flags & 0x1);
      if (window != last_hovered || all_over) raise_event(OVER, flags, r);
      last_hovered = window;
      return false;
    }
    default:
      return false;
  }
}

bool wheel(uint32_t window, QWidget* receiver, QWheelEvent* e) {
  Record r = mouse_record(window, receiver, e->position());
  r.picked = Picked::number;
  r.picked_number = e->angleDelta().y() / 120.0;
  uint32_t flags = modifier_flags(e->modifiers()) | button_flags(e->buttons());
  return raise_event(WHEEL, flags, r) == 0;
}

class Filter : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::KeyboardLayoutChange) forget_keymap();
    adopt_default_colormap(o, e);
    focus_event(o, e);
    if (!o->isWidgetType() || !e->spontaneous()) return false;
    if (held_input::hold(static_cast<QWidget*>(o), e)) return true;
    if (e->type() == QEvent::NativeGesture) {
      if (!QApplication::activeModalWidget() && !QApplication::activePopupWidget())
        gesture_event(static_cast<QWidget*>(o), static_cast<QNativeGestureEvent*>(e));
      return false;
    }
    return pre_dispatch(static_cast<QWidget*>(o), e, false);
  }
};

}  // namespace

bool pre_dispatch(QWidget* receiver, QEvent* e, bool synthetic) {
  switch (e->type()) {
    case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick: case QEvent::MouseMove:
    case QEvent::Wheel: case QEvent::Leave:
      break;
    default:
      return false;
  }
  // A face's scroll bar works by itself: only the wheel goes to its face.
  if (e->type() != QEvent::Wheel && scrollbars::is_face_bar(receiver)) return false;
  // Dialogs and menus run their own loops: their input is theirs.
  if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return false;
  uint32_t window = windows::face_window_of(receiver);
  if (window == 0 || loop.gate_closed) return false;
  switch (e->type()) {
    case QEvent::KeyPress:
      return key_press(window, static_cast<QKeyEvent*>(e), synthetic);
    case QEvent::KeyRelease:
      return key_release(window, static_cast<QKeyEvent*>(e));
    case QEvent::Wheel:
      return wheel(window, receiver, static_cast<QWheelEvent*>(e));
    case QEvent::Leave: {
      if (windows::id_of(receiver) != window) return false;
      last_move = QPointF(-1, -1);
      Record r = record_for(window);
      raise_event(OVER, live_flags() | EVT_AWAY, r);
      if (last_hovered == window) last_hovered = 0;
      return false;
    }
    default:
      return mouse(window, receiver, e);
  }
}

bool raise_key_character(uint32_t window, uint32_t flags) {
  return raise_event(KEY, flags, key_record(window)) == 0;
}

void forget_last_move() { last_move = QPointF(-1, -1); }

void install_pre_dispatch() {
  static Filter* filter = new Filter;
  qApp->installEventFilter(filter);
}

}  // namespace tav::gui
