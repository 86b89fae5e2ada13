// Key translation: a Qt key event becomes a key-down (or key-up) and, for a press, the `key`
// events Windows would have made of it: the character of WM_CHAR, or the special key's word.
#pragma once
#include <Qt>
#include <QString>
#include <cstdint>
#include <vector>

#include "datatypes/event.h"

class QKeyEvent;

namespace tav::gui {

struct KeyInput {
  int key = 0;                          // Qt::Key
  Qt::KeyboardModifiers modifiers;
  QString text;
  uint32_t keysym = 0;                  // the X keysym; 0 when there is none (offscreen)
  uint32_t level0 = 0;                  // the physical key's unshifted character, 0: unknown
  bool press = true;
};

struct KeyResult {
  bool any = false;                     // false: the key raises nothing
  int32_t special = event::SK_NONE;     // a named key
  uint32_t down_char = 0;               // key-down and key-up character when not named
  uint32_t modifiers = 0;               // event flag bits
  bool key_word = false;                // the press also raises `key` with the named key
  std::vector<uint32_t> chars;          // the press's `key` characters
};

KeyResult translate_key(const KeyInput& in);

// Reads a Qt key event, with the level-0 character of its physical key when the keyboard
// map is known (X11).
KeyInput key_input(const QKeyEvent* e);

// The X keyboard map changed: read it again on next use.
void forget_keymap();

// The event flag bits of Qt's modifier state.
uint32_t modifier_flags(Qt::KeyboardModifiers m);

}  // namespace tav::gui
