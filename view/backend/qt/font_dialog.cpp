#include "view/backend/qt/font_dialog.h"

#include <QApplication>
#include <QFontDialog>
#include <cmath>

#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/fonts.h"

namespace tav::gui {

namespace {

QFont starting_font(const Cell* selected) {
  if (selected && selected->is(TYPE_OBJECT)) {
    Cell* inner = fonts::field(selected, "font");
    if (!inner) return fonts::font_of(selected);  // a font! itself
    if (inner->is(TYPE_OBJECT)) return fonts::font_of(inner);
  }
  QFont f("Monospace");
  f.setPointSizeF(11);
  return f;
}

Cell word_cell(const char* name) { return word::make(symbol::make(name)); }

void put(const Cell* obj, const char* name, const Cell& value) {
  if (Cell* slot = fonts::field(obj, name)) *slot = value;
}

// The chosen font into the font! fields: name, size in points, style words and weight.
void fill(const Cell* font, const QFont& chosen) {
  stack::State saved = stack::save();
  QByteArray name = chosen.family().toUtf8();
  put(font, "name",
      *string::load_new(reinterpret_cast<const uint8_t*>(name.constData()),
                        static_cast<size_t>(name.size()), string::ENCODING_UTF8));
  Cell size;
  double points = chosen.pointSizeF();
  if (points == std::floor(points)) set_integer(&size, static_cast<int32_t>(points));
  else set_float(&size, std::round(points * 10) / 10);
  put(font, "size", size);
  bool bold = chosen.weight() == QFont::Bold;
  Cell style = make_cell(TYPE_NONE);
  if (bold && chosen.italic()) {
    Cell* blk = block::push_only(2);
    Cell w = word_cell("bold");
    block::append_cell(blk, &w);
    w = word_cell("italic");
    block::append_cell(blk, &w);
    style = *blk;
  } else if (bold) {
    style = word_cell("bold");
  } else if (chosen.italic()) {
    style = word_cell("italic");
  }
  put(font, "style", style);
  Cell weight;
  set_integer(&weight, static_cast<int32_t>(chosen.weight()));
  put(font, "weight", weight);
  stack::restore(saved);
}

}  // namespace

Cell request_font(const Cell* font, const Cell* selected, bool mono) {
  init();
  QFontDialog dialog(starting_font(selected), QApplication::activeWindow());
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  if (mono) dialog.setOption(QFontDialog::MonospacedFonts);
  // The dialog's own loop serves only the dialog: no language code runs meanwhile.
  bool gate = loop.gate_closed;
  loop.gate_closed = true;
  bool accepted = dialog.exec() == QDialog::Accepted;
  loop.gate_closed = gate;
  if (!accepted) return make_cell(TYPE_NONE);
  fill(font, dialog.selectedFont());
  return *font;
}

}  // namespace tav::gui
