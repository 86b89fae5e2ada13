#include "view/backend/qt/fonts.h"

#include <QColor>
#include <QFontInfo>
#include <optional>
#include <vector>

#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "evaluator/interpreter.h"

namespace tav::gui::fonts {

namespace {

// The fonts made so far, by table id; a freed slot is reused.
std::vector<std::optional<QFont>> table;

uint32_t store(const QFont& f) {
  for (uint32_t i = 0; i < table.size(); ++i)
    if (!table[i]) {
      table[i] = f;
      return i;
    }
  table.push_back(f);
  return static_cast<uint32_t>(table.size() - 1);
}

bool word_is(const Cell& c, const char* name) {
  return (c.is(TYPE_WORD) || c.is(TYPE_LIT_WORD)) &&
         symbol::alias(c.data2) == symbol::alias(symbol::make(name));
}

// Calls f on the style word, or on each word of the style block.
template <class F>
void each_style(const Cell* style, F f) {
  if (!style) return;
  if (style->is(TYPE_BLOCK)) {
    SeriesBuffer* b = node_buffer(style->node());
    for (uint32_t i = style->index(); i < b->count(); ++i) f(b->cells()[i]);
  } else {
    f(*style);
  }
}

Cell* view_fonts_field(const char* name) {
  Cell* sys = interp::word_value_cell(word::load("system"));
  Cell* view = field(sys, "view");
  Cell* fonts = field(view, "fonts");
  return field(fonts, name);
}

QString default_name() {
  Cell* name = view_fonts_field("system");
  if (name && name->is(TYPE_STRING)) return QString::fromStdString(string::to_std_string(name));
  return QStringLiteral("Sans");
}

double default_size() {
  Cell* size = view_fonts_field("size");
  if (size && size->is(TYPE_INTEGER) && size->int_value() > 0) return size->int_value();
  if (size && size->is(TYPE_FLOAT) && size->float_value() > 0) return size->float_value();
  return 9;
}

// The generic names get the matching style hint, so the fallback agrees with fontconfig's
// alias when the family itself is not installed under that name.
void set_family(QFont& f, const QString& name) {
  f.setFamily(name);
  // Unhinted glyphs keep their design advances: text measures the same at every size.
  f.setHintingPreference(QFont::PreferNoHinting);
  QString n = name.toLower();
  if (n == "monospace") f.setStyleHint(QFont::Monospace);
  else if (n == "serif") f.setStyleHint(QFont::Serif);
  else if (n == "sans" || n == "sans-serif") f.setStyleHint(QFont::SansSerif);
}

QFont make(const Cell* font) {
  QFont f;
  Cell* name = field(font, "name");
  set_family(f, name && name->is(TYPE_STRING)
                    ? QString::fromStdString(string::to_std_string(name)).left(31)
                    : default_name());
  Cell* size = field(font, "size");
  double points = size && size->is(TYPE_INTEGER) && size->int_value() > 0 ? size->int_value()
                  : size && size->is(TYPE_FLOAT) && size->float_value() > 0 ? size->float_value()
                                                                            : default_size();
  // Under Qt's 96-dpi rule a point is 96 / 72 pixels.
  f.setPointSizeF(points);
  int weight = 400;
  each_style(field(font, "style"), [&](const Cell& w) {
    if (word_is(w, "bold")) weight = 700;
    else if (word_is(w, "italic")) f.setItalic(true);
    else if (word_is(w, "underline")) f.setUnderline(true);
    else if (word_is(w, "strike")) f.setStrikeOut(true);
  });
  Cell* given = field(font, "weight");
  if (given && given->is(TYPE_INTEGER) && given->int_value() > 0)
    weight = std::clamp(given->int_value(), 1, 1000);
  f.setWeight(QFont::Weight(weight));
  // Every quality anti-alias? can ask for is smoothed here: text is always drawn with
  // grayscale antialiasing.
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

// The table id held by the font's state block, or -1.
int32_t id_of(const Cell* font) {
  Cell* state = field(font, "state");
  if (!state || !state->is(TYPE_BLOCK)) return -1;
  SeriesBuffer* b = node_buffer(state->node());
  if (state->index() >= b->count()) return -1;
  const Cell& h = b->cells()[state->index()];
  if (!h.is(TYPE_HANDLE) || h.data1 != handle::CLASS_FONT) return -1;
  uint32_t id = h.data2;
  return id < table.size() && table[id] ? static_cast<int32_t>(id) : -1;
}

}  // namespace

Cell* field(const Cell* obj, const char* name) {
  if (!obj || !obj->is(TYPE_OBJECT)) return nullptr;
  Cell w = word::make(symbol::make(name));
  if (object::word_index(obj, &w) < 0) return nullptr;
  return object::word_value_cell(obj, &w);
}

QFont default_font() {
  QFont f;
  set_family(f, default_name());
  f.setPointSizeF(default_size());
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

QFont font_of(const Cell* font) {
  if (!font || !font->is(TYPE_OBJECT)) return default_font();
  int32_t id = id_of(font);
  if (id >= 0) return *table[id];
  QFont f = make(font);
  Cell obj = *font;
  uint32_t slot = store(f);
  Cell* state = field(&obj, "state");
  if (!state) return f;
  Cell h;
  handle::make_at(&h, static_cast<int32_t>(slot), handle::CLASS_FONT);
  if (state->is(TYPE_BLOCK) && state->index() < node_buffer(state->node())->count()) {
    node_buffer(state->node())->cells()[state->index()] = h;
    return f;
  }
  stack::State saved = stack::save();
  Cell* blk = block::push_only(3);
  Cell none = make_cell(TYPE_NONE);
  block::append_cell(blk, &h);
  block::append_cell(blk, &none);
  block::append_cell(blk, &none);
  // The block allocated: the field is looked up again.
  if ((state = field(&obj, "state"))) *state = *blk;
  stack::restore(saved);
  return f;
}

uint32_t style_bits(const Cell* font) {
  uint32_t bits = 0;
  each_style(field(font, "style"), [&](const Cell& w) {
    if (word_is(w, "underline")) bits |= STYLE_UNDERLINE;
    else if (word_is(w, "strike")) bits |= STYLE_STRIKE;
  });
  return bits;
}

bool font_color(const Cell* font, QColor* out) {
  Cell* c = field(font, "color");
  if (!c || !c->is(TYPE_TUPLE)) return false;
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(c, b);
  int t = tuple::length(c) > 3 ? b[3] : 0;
  *out = QColor(b[0], b[1], b[2], 255 - t);
  return true;
}

void update_font(const Cell* font, int32_t field_index) {
  // name size style weight angle color anti-alias?: all but the colour shape the glyphs.
  if (field_index < 0 || field_index > 6 || field_index == 5) return;
  int32_t id = id_of(font);
  if (id < 0) return;
  table[id] = make(font);
}

}  // namespace tav::gui::fonts
