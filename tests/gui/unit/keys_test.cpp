// The key translator over constructed key events: what key-down names and which `key`
// characters a press makes, as Windows makes them.
#include <gtest/gtest.h>

#include <QKeyEvent>

#include "view/backend/qt/keys.h"

namespace tav::gui {
namespace {

using event::SK_NONE;

struct Case {
  const char* what;
  int key;
  Qt::KeyboardModifiers mods;
  QString text;
  uint32_t down;                      // key-down character (0 when a special key)
  std::vector<uint32_t> chars;        // `key` characters
};

KeyResult press(int key, Qt::KeyboardModifiers mods, const QString& text, quint32 keysym = 0) {
  QKeyEvent e(QEvent::KeyPress, key, mods, 0, keysym, 0, text);
  return translate_key(key_input(&e));
}

TEST(KeyTranslation, CharactersOfAPress) {
  const Qt::KeyboardModifiers C = Qt::ControlModifier, A = Qt::AltModifier,
                              S = Qt::ShiftModifier, N = Qt::NoModifier;
  const Case cases[] = {
      {"letter", Qt::Key_A, N, "a", 'A', {'a'}},
      {"shifted letter", Qt::Key_A, S, "A", 'A', {'A'}},
      {"Ctrl+A", Qt::Key_A, C, "\x01", 'A', {1}},
      {"Ctrl+Z", Qt::Key_Z, C, "\x1a", 'Z', {26}},
      {"Ctrl+Shift+M", Qt::Key_M, C | S, "\r", 'M', {13}},
      {"Ctrl+[", Qt::Key_BracketLeft, C, "\x1b", '[', {27}},
      {"Ctrl+backslash", Qt::Key_Backslash, C, "\x1c", '\\', {28}},
      {"Ctrl+]", Qt::Key_BracketRight, C, "\x1d", ']', {29}},
      {"Ctrl+1", Qt::Key_1, C, "1", '1', {}},
      {"Backspace", Qt::Key_Backspace, N, "\b", 8, {8}},
      {"Ctrl+Backspace", Qt::Key_Backspace, C, "\b", 8, {127}},
      {"Return", Qt::Key_Return, N, "\r", 13, {13}},
      {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, "\r", 13, {13}},
      {"Ctrl+Return", Qt::Key_Return, C, "\r", 13, {10}},
      {"Tab", Qt::Key_Tab, N, "\t", 9, {9}},
      {"Shift+Tab", Qt::Key_Backtab, S, "", 9, {9}},
      {"Escape", Qt::Key_Escape, N, "\x1b", 27, {27}},
      {"Alt+A", Qt::Key_A, A, "a", 'A', {}},
      {"Alt+Shift+O", Qt::Key_O, A | S, "O", 'O', {}},
      {"Ctrl+Alt gives the text", Qt::Key_Q, C | A, "@", 'Q', {'@'}},
      {"DEL is no character", 0x7F, N, "\x7f", 0x7F, {}},
      {"above U+FFFF", 0x1F600, N, QString::fromUcs4(U"\U0001F600"), 0x1F600, {0x1F600}},
  };
  for (const Case& c : cases) {
    KeyResult r = press(c.key, c.mods, c.text);
    EXPECT_TRUE(r.any) << c.what;
    EXPECT_EQ(r.special, SK_NONE) << c.what;
    EXPECT_EQ(r.down_char, c.down) << c.what;
    EXPECT_EQ(r.chars, c.chars) << c.what;
  }
}

TEST(KeyTranslation, SpecialKeysAndModifierFlags) {
  KeyResult left = press(Qt::Key_Left, Qt::NoModifier, "");
  EXPECT_EQ(left.special, event::SK_LEFT);
  EXPECT_TRUE(left.key_word);
  EXPECT_TRUE(left.chars.empty());

  KeyResult f5 = press(Qt::Key_F5, Qt::ShiftModifier, "");
  EXPECT_EQ(f5.special, event::SK_F1 + 4);
  EXPECT_EQ(f5.modifiers, event::EVT_SHIFT);

  // A modifier key raises key-down only; its own bit is set on its press, whatever Qt's
  // state says, and the keysym tells right from left.
  KeyResult shift = press(Qt::Key_Shift, Qt::NoModifier, "");
  EXPECT_EQ(shift.special, event::SK_LEFT_SHIFT);
  EXPECT_FALSE(shift.key_word);
  EXPECT_EQ(shift.modifiers, event::EVT_SHIFT);
  EXPECT_EQ(press(Qt::Key_Shift, Qt::NoModifier, "", 0xffe2).special, event::SK_RIGHT_SHIFT);
  EXPECT_EQ(press(Qt::Key_Control, Qt::NoModifier, "", 0xffe4).special, event::SK_RIGHT_CONTROL);
  EXPECT_EQ(press(Qt::Key_AltGr, Qt::NoModifier, "", 0xfe03).special, event::SK_RIGHT_ALT);

  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
  KeyResult up = translate_key(key_input(&release));
  EXPECT_EQ(up.special, event::SK_LEFT_CONTROL);
  EXPECT_EQ(up.modifiers, 0u);

  // Keys with nothing to name raise nothing.
  EXPECT_FALSE(press(Qt::Key_VolumeUp, Qt::NoModifier, "").any);
}

}  // namespace
}  // namespace tav::gui
