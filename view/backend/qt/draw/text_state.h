// The text part of a drawing's state: the font the `font` command chose and the colour text
// is drawn in. Without a font the default one is used; without a font colour text follows
// the pen.
#pragma once
#include <QColor>
#include <QFont>
#include <cstdint>

namespace tav::gui::draw {

struct TextState {
  bool has_font = false;
  QFont font;
  bool has_color = false;
  QColor color;
  uint32_t styles = 0;  // underline and strike bits of the font
};

}  // namespace tav::gui::draw
