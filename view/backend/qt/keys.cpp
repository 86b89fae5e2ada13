#include "view/backend/qt/keys.h"

#include <QKeyEvent>

namespace tav::gui {

namespace {

// X keysyms of the right-hand modifier keys (ISO_Level3_Shift is AltGr, the right Alt).
bool right_hand(uint32_t keysym) {
  switch (keysym) {
    case 0xffe2: case 0xffe4: case 0xffe8: case 0xffea: case 0xffec: case 0xfe03: return true;
    default: return false;
  }
}

int32_t special_of(const KeyInput& in) {
  using namespace event;
  bool right = right_hand(in.keysym);
  switch (in.key) {
    case Qt::Key_PageUp: return SK_PAGE_UP;
    case Qt::Key_PageDown: return SK_PAGE_DOWN;
    case Qt::Key_End: return SK_END;
    case Qt::Key_Home: return SK_HOME;
    case Qt::Key_Left: return SK_LEFT;
    case Qt::Key_Up: return SK_UP;
    case Qt::Key_Right: return SK_RIGHT;
    case Qt::Key_Down: return SK_DOWN;
    case Qt::Key_Insert: return SK_INSERT;
    case Qt::Key_Delete: return SK_DELETE;
    case Qt::Key_CapsLock: return SK_CAPS_LOCK;
    case Qt::Key_NumLock: return SK_NUM_LOCK;
    case Qt::Key_ScrollLock: return SK_SCROLL_LOCK;
    case Qt::Key_Pause: return SK_PAUSE;
    case Qt::Key_Shift: return right ? SK_RIGHT_SHIFT : SK_LEFT_SHIFT;
    case Qt::Key_Control: return right ? SK_RIGHT_CONTROL : SK_LEFT_CONTROL;
    case Qt::Key_Alt: return right ? SK_RIGHT_ALT : SK_LEFT_ALT;
    case Qt::Key_AltGr: return SK_RIGHT_ALT;
    case Qt::Key_Meta: case Qt::Key_Super_L: case Qt::Key_Super_R:
      return right || in.key == Qt::Key_Super_R ? SK_RIGHT_COMMAND : SK_LEFT_COMMAND;
    default:
      if (in.key >= Qt::Key_F1 && in.key <= Qt::Key_F12) return SK_F1 + (in.key - Qt::Key_F1);
      return SK_NONE;
  }
}

uint32_t upper(uint32_t c) { return c < 0x110000 ? QChar::toUpper(c) : c; }

// The key-down character: the physical key's unshifted character, upper-cased.
uint32_t down_char_of(const KeyInput& in) {
  switch (in.key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    default: break;
  }
  if (in.level0 >= 0x20) return upper(in.level0);
  if (in.key > 0 && in.key < 0x110000) return upper(static_cast<uint32_t>(in.key));
  return 0;
}

// The characters of a press, as Windows makes WM_CHAR.
std::vector<uint32_t> chars_of(const KeyInput& in, uint32_t down) {
  bool ctrl = in.modifiers & Qt::ControlModifier;
  bool alt = in.modifiers & Qt::AltModifier;
  switch (in.key) {
    case Qt::Key_Backspace: return {ctrl ? 127u : 8u};
    case Qt::Key_Tab: case Qt::Key_Backtab: return {9};
    case Qt::Key_Return: case Qt::Key_Enter: return {ctrl ? 10u : 13u};
    case Qt::Key_Escape: return {27};
    default: break;
  }
  if (ctrl && !alt) {
    if (down >= 'A' && down <= 'Z') return {down - 'A' + 1};
    if (down == '[') return {27};
    if (down == '\\') return {28};
    if (down == ']') return {29};
    return {};
  }
  if (alt && !ctrl) return {};
  std::vector<uint32_t> out;
  for (uint32_t c : in.text.toUcs4())
    if (c >= 0x20 && c != 0x7F) out.push_back(c);
  return out;
}

}  // namespace

uint32_t modifier_flags(Qt::KeyboardModifiers m) {
  uint32_t f = 0;
  if (m & Qt::ControlModifier) f |= event::EVT_CONTROL;
  if (m & Qt::ShiftModifier) f |= event::EVT_SHIFT;
  if (m & Qt::AltModifier) f |= event::EVT_ALT;
  return f;
}

KeyResult translate_key(const KeyInput& in) {
  using namespace event;
  KeyResult r;
  r.modifiers = modifier_flags(in.modifiers);
  r.special = special_of(in);
  // A modifier key's own bit is on while it is down, whatever the state Qt reports.
  uint32_t own = 0;
  switch (r.special) {
    case SK_LEFT_SHIFT: case SK_RIGHT_SHIFT: own = EVT_SHIFT; break;
    case SK_LEFT_CONTROL: case SK_RIGHT_CONTROL: own = EVT_CONTROL; break;
    case SK_LEFT_ALT: case SK_RIGHT_ALT: own = EVT_ALT; break;
    default: break;
  }
  if (own) r.modifiers = in.press ? (r.modifiers | own) : (r.modifiers & ~own);
  if (r.special != SK_NONE) {
    r.any = true;
    r.key_word = in.press && own == 0;
    return r;
  }
  r.down_char = down_char_of(in);
  if (r.down_char == 0) return r;
  r.any = true;
  if (in.press) r.chars = chars_of(in, r.down_char);
  return r;
}

}  // namespace tav::gui
