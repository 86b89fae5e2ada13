#include "view/backend/qt/send_event.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <memory>

#include "core/memory.h"
#include "datatypes/event.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/pre_dispatch.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

using namespace event;

constexpr uint32_t NO_MAX_FLAG = 0x10000000,
                   NO_MIN_FLAG = 0x20000000, RESIZE_FLAG = 0x04000000;

Qt::KeyboardModifiers qt_modifiers(uint32_t flags) {
  Qt::KeyboardModifiers m;
  if (flags & EVT_CONTROL) m |= Qt::ControlModifier;
  if (flags & EVT_SHIFT) m |= Qt::ShiftModifier;
  if (flags & EVT_ALT) m |= Qt::AltModifier;
  return m;
}

Qt::MouseButtons qt_buttons(uint32_t flags) {
  Qt::MouseButtons b;
  if (flags & EVT_DOWN) b |= Qt::LeftButton;
  if (flags & EVT_ALT_DOWN) b |= Qt::RightButton;
  if (flags & EVT_MID_DOWN) b |= Qt::MiddleButton;
  if (flags & EVT_AUX_DOWN) b |= Qt::XButton1;
  return b;
}

// The Qt key of a key-down character: letters by their upper case, others as they are.
int qt_key_of(uint32_t ch) {
  switch (ch) {
    case 8: return Qt::Key_Backspace;
    case 9: return Qt::Key_Tab;
    case 13: return Qt::Key_Return;
    case 27: return Qt::Key_Escape;
    default: return static_cast<int>(ch < 0x110000 ? QChar::toUpper(ch) : ch);
  }
}

std::unique_ptr<QEvent> build(uint32_t type, uint32_t flags, const Cell* fields) {
  QPointF at(0, 0);
  const Cell* offset = fields ? &fields[2] : nullptr;
  if (offset && offset->is(TYPE_PAIR)) at = QPointF(pair::x_of(offset), pair::y_of(offset));
  else if (offset && offset->is(TYPE_POINT2D)) at = QPointF(point::x_of(offset), point::y_of(offset));
  Qt::KeyboardModifiers mods = qt_modifiers(flags);
  Qt::MouseButtons buttons = qt_buttons(flags);
  uint32_t ch = flags & KEY_MASK;
  auto mouse = [&](QEvent::Type t, Qt::MouseButton b) {
    Qt::MouseButtons held = t == QEvent::MouseButtonRelease ? (buttons & ~b) : (buttons | b);
    return std::make_unique<QMouseEvent>(t, at, at, b, held, mods);
  };
  switch (type) {
    case DOWN: return mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    case UP: return mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
    case MID_DOWN: return mouse(QEvent::MouseButtonPress, Qt::MiddleButton);
    case MID_UP: return mouse(QEvent::MouseButtonRelease, Qt::MiddleButton);
    case ALT_DOWN: return mouse(QEvent::MouseButtonPress, Qt::RightButton);
    case ALT_UP: return mouse(QEvent::MouseButtonRelease, Qt::RightButton);
    case AUX_DOWN: return mouse(QEvent::MouseButtonPress, Qt::XButton1);
    case AUX_UP: return mouse(QEvent::MouseButtonRelease, Qt::XButton1);
    case DBL_CLICK: return mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
    case OVER:
      if (flags & EVT_AWAY) return std::make_unique<QEvent>(QEvent::Leave);
      return std::make_unique<QMouseEvent>(QEvent::MouseMove, at, at, Qt::NoButton, buttons, mods);
    case WHEEL: {
      int notches = fields && fields[3].is(TYPE_INTEGER) ? fields[3].int_value() : 0;
      return std::make_unique<QWheelEvent>(at, at, QPoint(), QPoint(0, notches * 120), buttons,
                                           mods, Qt::NoScrollPhase, false);
    }
    case KEY:
      return std::make_unique<QKeyEvent>(QEvent::KeyPress, qt_key_of(ch), mods,
                                         QString::fromUcs4(reinterpret_cast<const char32_t*>(&ch), 1));
    case KEY_DOWN:
      // A made key-down has no text: it makes no character.
      return std::make_unique<QKeyEvent>(QEvent::KeyPress, qt_key_of(ch), mods, QString());
    case KEY_UP:
      return std::make_unique<QKeyEvent>(QEvent::KeyRelease, qt_key_of(ch), mods, QString());
    default:
      return nullptr;
  }
}

bool deliver(uint32_t window, uint32_t type, uint32_t flags, const Cell* fields) {
  WinData* w = windows::find(window);
  if (!w || !w->widget) return false;
  std::unique_ptr<QEvent> e = build(type, flags, fields);
  if (!e) return false;
  QPointer<QWidget> widget = w->widget;
  int32_t saved = loop.modifier_override;
  if (type == KEY || type == KEY_DOWN || type == KEY_UP)
    loop.modifier_override = static_cast<int32_t>(flags & 0x73C00000);
  bool consumed = false;
  if (type == KEY) {
    // The character alone, as a character message raises it.
    consumed = raise_key_character(window, flags & (0x73C00000 | KEY_MASK));
  } else {
    consumed = pre_dispatch(widget, e.get(), true);
  }
  loop.modifier_override = saved;
  if (!consumed && widget) QCoreApplication::sendEvent(widget, e.get());
  return true;
}

bool change_state(uint32_t window, uint32_t type) {
  WinData* w = windows::find(window);
  if (!w || !w->widget) return false;
  QWidget* widget = w->widget;
  if (type == MINIMIZE) widget->showMinimized();
  else if (type == MAXIMIZE) widget->showMaximized();
  else {
    if (widget->isMinimized() || widget->isMaximized()) widget->showNormal();
    widget->activateWindow();
  }
  return true;
}

}  // namespace

bool send_event(const Cell* evt, bool queued) {
  if (!evt->is(TYPE_EVENT) || !(evt->header & FLAG_MADE) || evt->data2 == 0) return false;
  const Cell* fields = node_buffer(evt->data2)->cells();
  const Cell face = fields[0];
  uint32_t window = platform::face_window(&face);
  WinData* w = windows::find(window);
  if (!w) return false;
  uint32_t type = evt->data1, flags = evt->data3;
  if (type >= MINIMIZE && type <= RESTORE) {
    if (windows::root_of(window) != window || !w->widget || !w->widget->isWindow()) return false;
    uint32_t f = w->face_flags;
    if (type == MINIMIZE && (f & NO_MIN_FLAG)) return false;
    if (type == MAXIMIZE && ((f & NO_MAX_FLAG) || !(f & RESIZE_FLAG))) return false;
    if (queued) {
      post_to_window(window, [window, type] { change_state(window, type); });
      return true;
    }
    return change_state(window, type);
  }
  if (type == 0 || type >= MINIMIZE || !build(type, flags, fields)) return false;
  if (type == OVER || type == UP) forget_last_move();
  if (queued) {
    // The made event's block may be gone when the call runs: keep what it says.
    Cell offset = fields[2], picked = fields[3];
    post_to_window(window, [window, type, flags, offset, picked] {
      Cell kept[4] = {make_cell(TYPE_NONE), make_cell(TYPE_NONE), offset, picked};
      deliver(window, type, flags, kept);
    });
    return true;
  }
  return deliver(window, type, flags, fields);
}

}  // namespace tav::gui
