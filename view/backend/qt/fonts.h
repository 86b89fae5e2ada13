// Fonts: a font! object made into a QFont once and kept in a table; the object's `state`
// block holds the table id as a font handle, so every face that uses the font shares it.
// Sizes are points at 96 dpi (12 pt = 16 px); the names "Sans", "Serif" and "Monospace" are
// fontconfig aliases and resolve to whatever the machine's fontconfig prefers for them.
#pragma once
#include <QFont>
#include <cstdint>

#include "core/cell.h"

namespace tav::gui::fonts {

// The font's style bits that apply to a whole text: underline and strike-through.
constexpr uint32_t STYLE_UNDERLINE = 1;
constexpr uint32_t STYLE_STRIKE = 2;

// The QFont of a font! object, made and stored in its `state` when missing; anything that is
// not an object gives the default font (system/view/fonts/system at its size).
QFont font_of(const Cell* font);
QFont default_font();
// Underline and strike bits from the font's `style` word or block.
uint32_t style_bits(const Cell* font);
// The font's `color` when it is a tuple.
bool font_color(const Cell* font, QColor* out);
// A change of one of the font's fields (its index in font!): the fields that shape the
// glyphs remake the font; `color` and the others change nothing here.
void update_font(const Cell* font, int32_t field);

// A field of an object by name; null when the object has no such word.
Cell* field(const Cell* obj, const char* name);

}  // namespace tav::gui::fonts
