#include "view/backend/qt/draw/text_box.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "evaluator/interpreter.h"
#include "view/backend/qt/fonts.h"

namespace tav::gui::text {

namespace {

constexpr qreal NO_LIMIT = 1e6;
constexpr QChar LINE_BREAK(0x2028);
constexpr QChar BREAK_TAIL(0x200B);

bool word_is(const Cell& c, const char* name) {
  return (c.is(TYPE_WORD) || c.is(TYPE_LIT_WORD)) &&
         symbol::alias(c.data2) == symbol::alias(symbol::make(name));
}

bool is_point(const Cell& c) { return c.is(TYPE_PAIR) || c.is(TYPE_POINT2D); }

QPointF point_of(const Cell& c) {
  if (c.is(TYPE_PAIR)) return QPointF(pair::x_of(&c), pair::y_of(&c));
  return QPointF(point::x_of(&c), point::y_of(&c));
}

QColor color_of(const Cell& tuple) {
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(&tuple, b);
  int t = tuple::length(&tuple) > 3 ? b[3] : 0;
  return QColor(b[0], b[1], b[2], 255 - t);
}

// A colour in a styles block: a tuple, or a word holding one.
bool color_at(const Cell& c, QColor* out) {
  Cell v = c;
  if (v.is(TYPE_WORD)) {
    Cell* value = interp::word_value_cell(&c);
    if (!value) return false;
    v = *value;
  }
  if (!v.is(TYPE_TUPLE)) return false;
  *out = color_of(v);
  return true;
}

bool is_blank(QChar c) {
  return c == ' ' || c == '\t' || c == LINE_BREAK || c == BREAK_TAIL || c == QChar(0xA0);
}

Cell point2d(qreal x, qreal y) {
  Cell c = make_cell(TYPE_NONE);
  point2D::make_at(&c, static_cast<float>(x), static_cast<float>(y));
  return c;
}

// The rich-text layouts kept for faces, by the table id in their handles block.
std::vector<std::unique_ptr<TextBox>> kept;
// The layout of a face that has no handles block to keep it in: it lives until the next.
std::unique_ptr<TextBox> scratch;

uint32_t keep(std::unique_ptr<TextBox> box, int32_t reuse) {
  if (reuse >= 0 && static_cast<size_t>(reuse) < kept.size()) {
    kept[reuse] = std::move(box);
    return reuse;
  }
  for (uint32_t i = 0; i < kept.size(); ++i)
    if (!kept[i]) {
      kept[i] = std::move(box);
      return i;
    }
  kept.push_back(std::move(box));
  return static_cast<uint32_t>(kept.size() - 1);
}

Cell* cells_of(const Cell* blk, uint32_t* count) {
  SeriesBuffer* b = node_buffer(blk->node());
  *count = b->count() > blk->index() ? b->count() - blk->index() : 0;
  return b->cells() + blk->index();
}

[[noreturn]] void raise_invalid(const Cell& blk, uint32_t position) {
  SeriesBuffer* b = node_buffer(blk.node());
  Cell head = make_cell(TYPE_BLOCK, 0, blk.node());
  Cell* copy = block::copy_cells(&head, 0, static_cast<int32_t>(b->count()), false,
                                 stack::new_cell());
  copy->data1 = std::min<uint32_t>(position, b->count());
  error::raise(ERR_SCRIPT, "draw-invalid", copy);
}

}  // namespace

QString qstring_of(const Cell* str) {
  return QString::fromStdString(string::to_std_string(str));
}

TextBox::TextBox(const QString& text, const QFont& font) : text_(text) {
  // QTextLayout breaks no line at LF: line breaks become U+2028, and the LF of CR LF a
  // zero-width space, so every position stays where it was.
  QString shown = text;
  for (qsizetype i = 0; i < shown.size(); ++i) {
    if (shown[i] == '\r') {
      shown[i] = LINE_BREAK;
      if (i + 1 < shown.size() && shown[i + 1] == '\n') shown[++i] = BREAK_TAIL;
    } else if (shown[i] == '\n') {
      shown[i] = LINE_BREAK;
    }
  }
  for (qsizetype i = 0; i < text.size();) {
    u16_of_.push_back(static_cast<int>(i));
    i += text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
  }
  u16_of_.push_back(static_cast<int>(text.size()));
  layout_.setText(shown);
  layout_.setFont(font);
  layout_.setCacheEnabled(true);
}

int TextBox::u16_of(int char_index) const {
  return u16_of_[std::clamp(char_index, 0, char_count())];
}

int TextBox::char_of(int u16) const {
  auto it = std::upper_bound(u16_of_.begin(), u16_of_.end(), u16);
  return std::max(0, static_cast<int>(it - u16_of_.begin()) - 1);
}

void TextBox::add_format(int char_start, int char_length, const QTextCharFormat& format) {
  int from = u16_of(char_start), to = u16_of(char_start + char_length);
  if (to > from) formats_.push_back({from, to - from, format});
}

void TextBox::set_color(const QColor& color) {
  QTextCharFormat f;
  f.setForeground(color);
  add_format(0, char_count(), f);
}

void TextBox::set_font_styles(uint32_t bits) {
  if (!bits) return;
  QTextCharFormat f;
  if (bits & fonts::STYLE_UNDERLINE) f.setFontUnderline(true);
  if (bits & fonts::STYLE_STRIKE) f.setFontStrikeOut(true);
  add_format(0, char_count(), f);
}

StyleFault TextBox::read_styles(const Cell* styles) {
  StyleFault fault;
  uint32_t n;
  Cell* cells = cells_of(styles, &n);
  int start = 0, length = 0;
  auto fail = [&](uint32_t i) {
    fault.failed = true;
    fault.block = *styles;
    fault.position = styles->index() + i;
    backgrounds_.clear();
    return fault;
  };
  auto with = [&](auto set) {
    QTextCharFormat f;
    set(f);
    add_format(start, length, f);
  };
  for (uint32_t i = 0; i < n; ++i) {
    const Cell& c = cells[i];
    if (c.is(TYPE_PAIR)) {
      // A range past the end is cut at the end, and never gets a negative length.
      start = std::clamp(pair::x_of(&c) - 1, 0, char_count());
      length = std::clamp(pair::y_of(&c), 0, char_count() - start);
    } else if (c.is(TYPE_TUPLE)) {
      QColor color = color_of(c);
      with([&](QTextCharFormat& f) { f.setForeground(color); });
    } else if (c.is(TYPE_STRING)) {
      QString name = qstring_of(&c);
      with([&](QTextCharFormat& f) { f.setFontFamilies({name}); });
    } else if (c.is(TYPE_INTEGER) || c.is(TYPE_FLOAT)) {
      qreal points = c.is(TYPE_INTEGER) ? c.int_value() : c.float_value();
      if (points > 0) with([&](QTextCharFormat& f) { f.setFontPointSize(points); });
    } else if (word_is(c, "backdrop")) {
      QColor color;
      if (i + 1 >= n || !color_at(cells[i + 1], &color)) return fail(i + 1);
      ++i;
      int from = u16_of(start), to = u16_of(start + length);
      if (to > from) backgrounds_.push_back({from, to - from, color});
    } else if (word_is(c, "bold")) {
      with([](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); });
    } else if (word_is(c, "italic")) {
      with([](QTextCharFormat& f) { f.setFontItalic(true); });
    } else if (word_is(c, "underline") || word_is(c, "strike") || word_is(c, "border")) {
      bool under = word_is(c, "underline"), strike = word_is(c, "strike");
      if (i + 1 < n && cells[i + 1].is(TYPE_TUPLE)) ++i;
      if (i + 1 < n && cells[i + 1].is(TYPE_LIT_WORD)) ++i;
      if (under) with([](QTextCharFormat& f) { f.setFontUnderline(true); });
      if (strike) with([](QTextCharFormat& f) { f.setFontStrikeOut(true); });
    } else {
      return fail(i);
    }
  }
  return fault;
}

void TextBox::lay_out(const Paragraph& para) {
  QTextOption option;
  bool boxed = para.width > 0;
  option.setAlignment(boxed ? para.align : Qt::AlignLeft);
  option.setWrapMode(boxed && para.wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                        : QTextOption::NoWrap);
  if (para.tab_distance > 0) {
    option.setTabStopDistance(para.tab_distance);
  } else {
    // Four em, whatever Qt's own default.
    option.setTabStopDistance(4 * QFontInfo(layout_.font()).pixelSize());
  }
  if (!para.tab_stops.isEmpty()) {
    QList<QTextOption::Tab> tabs;
    for (qreal p : para.tab_stops) tabs.push_back(QTextOption::Tab(p, QTextOption::LeftTab));
    option.setTabs(tabs);
  }
  layout_.setTextOption(option);
  layout_.setFormats(formats_);
  spacing_ = para.line_spacing;
  layout_.beginLayout();
  qreal y = 0;
  for (;;) {
    QTextLine line = layout_.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(boxed ? para.width : NO_LIMIT);
    line.setPosition(QPointF(0, y));
    y += step(line);
  }
  layout_.endLayout();
  y_offset_ = 0;
  if (para.height > 0 && para.v_align) {
    qreal free = para.height - y;
    y_offset_ = para.v_align == 1 ? free / 2 : free;
  }
}

qreal TextBox::step(const QTextLine& line) const {
  return spacing_ >= 0 ? std::max(spacing_, line.height()) : line.height();
}

QTextLine TextBox::line_of_u16(int pos) const {
  QTextLine line = layout_.lineForTextPosition(pos);
  if (!line.isValid() && layout_.lineCount() > 0) line = layout_.lineAt(layout_.lineCount() - 1);
  return line;
}

QTextLine TextBox::line_at_y(qreal y) const {
  int count = layout_.lineCount();
  for (int i = 0; i < count; ++i) {
    QTextLine line = layout_.lineAt(i);
    if (y < line.y() + step(line)) return line;
  }
  return count ? layout_.lineAt(count - 1) : QTextLine();
}

QPointF TextBox::caret(int char_index, bool lower) const {
  int pos = u16_of(char_index - 1);
  QTextLine line = line_of_u16(pos);
  if (!line.isValid()) return QPointF(0, std::max<qreal>(0, y_offset_));
  qreal x = line.cursorToX(pos);
  qreal y = std::max<qreal>(0, line.y() + y_offset_);
  if (lower) {
    int end = line.textStart() + line.textLength();
    int next = layout_.nextCursorPosition(pos);
    const QString& shown = layout_.text();
    if (pos < end && next <= end && shown[pos] != LINE_BREAK) x = line.cursorToX(next);
    y += step(line);
  }
  return QPointF(x, y);
}

int TextBox::hit(QPointF p, bool caret_wanted) const {
  QTextLine line = line_at_y(p.y() - y_offset_);
  if (!line.isValid()) return 1;
  const QString& shown = layout_.text();
  int start = line.textStart(), end = start + line.textLength();
  int pos = line.xToCursor(p.x(), QTextLine::CursorOnCharacter);
  int next = pos;
  bool trailing = false;
  // A line ending in a break stops before it: past its end the caret goes before the break.
  int last = end;
  if (last > start && shown[last - 1] == BREAK_TAIL) --last;
  bool broken = last > start && shown[last - 1] == LINE_BREAK;
  if (broken) --last;
  if (pos >= last) {
    if (broken) {
      pos = next = last;
    } else if (end > start) {
      next = end;
      pos = layout_.previousCursorPosition(end);
      trailing = true;
    } else {
      pos = next = start;
    }
  } else {
    next = std::min(layout_.nextCursorPosition(pos), last);
    qreal middle = (line.cursorToX(pos) + line.cursorToX(next)) / 2;
    trailing = p.x() > middle;
  }
  // A caret after a cluster lands after all of it, never between its characters.
  if (caret_wanted) return char_of(trailing ? next : pos) + 1;
  return char_of(pos) + 1;
}

qreal TextBox::line_height(int char_index) const {
  QTextLine line = line_of_u16(u16_of(char_index - 1));
  return line.isValid() ? step(line) : 0;
}

QSizeF TextBox::size() const {
  const QString& shown = layout_.text();
  qreal width = 0, height = 0;
  for (int i = 0; i < layout_.lineCount(); ++i) {
    QTextLine line = layout_.lineAt(i);
    int start = line.textStart(), end = start + line.textLength();
    // Trailing blanks take no width.
    while (end > start && is_blank(shown[end - 1])) --end;
    if (end > start) width = std::max(width, std::abs(line.cursorToX(end) - line.cursorToX(start)));
    height = line.y() + step(line);
  }
  return QSizeF(width, height);
}

void TextBox::draw(QPainter& painter, QPointF at, const QColor& color) const {
  QPointF origin = at + QPointF(0, y_offset_);
  for (const Background& bg : backgrounds_) {
    for (int i = 0; i < layout_.lineCount(); ++i) {
      QTextLine line = layout_.lineAt(i);
      int from = std::max(bg.start, line.textStart());
      int to = std::min(bg.start + bg.length, line.textStart() + line.textLength());
      if (from >= to) continue;
      qreal x1 = line.cursorToX(from), x2 = line.cursorToX(to);
      int left = static_cast<int>(origin.x() + std::min(x1, x2) + 0.5);
      int top = static_cast<int>(origin.y() + line.y() + 0.5);
      int width = static_cast<int>(std::abs(x2 - x1) + 0.5);
      int height = static_cast<int>(step(line) + 0.99);
      painter.fillRect(QRect(left, top, width, height), bg.color);
    }
  }
  painter.save();
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setPen(color);
  painter.setBrush(Qt::NoBrush);
  layout_.draw(&painter, origin);
  painter.restore();
}

Paragraph paragraph_of(const Cell* face) {
  Paragraph p;
  Cell* type = fonts::field(face, "type");
  bool base = type && word_is(*type, "base");
  if (base) {
    p.align = Qt::AlignHCenter;
    p.v_align = 1;
  }
  Cell* para = fonts::field(face, "para");
  if (para && para->is(TYPE_OBJECT)) {
    Cell* align = fonts::field(para, "align");
    if (align && word_is(*align, "left")) p.align = Qt::AlignLeft;
    else if (align && word_is(*align, "center")) p.align = Qt::AlignHCenter;
    else if (align && word_is(*align, "right")) p.align = Qt::AlignRight;
    Cell* v = fonts::field(para, "v-align");
    if (v && word_is(*v, "top")) p.v_align = 0;
    else if (v && word_is(*v, "middle")) p.v_align = 1;
    else if (v && word_is(*v, "bottom")) p.v_align = 2;
    // A wrap? of none counts as true.
    Cell* wrap = fonts::field(para, "wrap?");
    p.wrap = !wrap || wrap->is(TYPE_NONE) || is_true(wrap);
  }
  Cell* size = fonts::field(face, "size");
  if (size && is_point(*size)) {
    QPointF s = point_of(*size);
    p.width = std::max(0, static_cast<int>(s.x() + 0.5));
    p.height = std::max(0, static_cast<int>(s.y() + 0.5));
  }
  if (type && word_is(*type, "rich-text")) {
    Cell* spacing = fonts::field(face, "line-spacing");
    if (spacing && spacing->is(TYPE_INTEGER)) p.line_spacing = spacing->int_value();
    else if (spacing && spacing->is(TYPE_FLOAT)) p.line_spacing = spacing->float_value();
    Cell* tabs = fonts::field(face, "tabs");
    if (tabs && tabs->is(TYPE_INTEGER)) p.tab_distance = tabs->int_value();
    else if (tabs && tabs->is(TYPE_FLOAT)) p.tab_distance = tabs->float_value();
    else if (tabs && tabs->is(TYPE_BLOCK)) {
      uint32_t n;
      Cell* cells = cells_of(tabs, &n);
      for (uint32_t i = 0; i < n; ++i) {
        if (cells[i].is(TYPE_INTEGER)) p.tab_stops.push_back(cells[i].int_value());
        else if (cells[i].is(TYPE_FLOAT)) p.tab_stops.push_back(cells[i].float_value());
      }
    }
  }
  return p;
}

std::unique_ptr<TextBox> face_box(const Cell* face_in, StyleFault* fault) {
  Cell face = *face_in;
  Cell* text = fonts::field(&face, "text");
  if (!text || !text->is(TYPE_STRING)) return nullptr;
  QString s = qstring_of(text);
  Cell* font_cell = fonts::field(&face, "font");
  Cell font = font_cell ? *font_cell : make_cell(TYPE_NONE);
  // Making the font may allocate its state block: fields are looked up again afterwards.
  QFont qfont = fonts::font_of(&font);
  auto box = std::make_unique<TextBox>(s, qfont);
  QColor color;
  if (fonts::font_color(&font, &color)) box->set_color(color);
  box->set_font_styles(fonts::style_bits(&font));
  Cell* data = fonts::field(&face, "data");
  uint32_t n = 0;
  if (data && data->is(TYPE_BLOCK)) cells_of(data, &n);
  if (n > 1) {
    Cell styles = *data;
    *fault = box->read_styles(&styles);
  }
  box->lay_out(paragraph_of(&face));
  return box;
}

void mark_stale(const Cell* face) {
  Cell* h = fonts::field(face, "handles");
  if (!h || !h->is(TYPE_BLOCK)) return;
  uint32_t n;
  Cell* cells = cells_of(h, &n);
  if (n >= 4) set_logic(&cells[n - 1], true);
}

TextBox* rich_text_box(const Cell* face_in, StyleFault* report, bool rebuild) {
  Cell face = *face_in;
  Cell* h = fonts::field(&face, "handles");
  int32_t old = -1;
  if (h && h->is(TYPE_BLOCK)) {
    uint32_t n;
    Cell* cells = cells_of(h, &n);
    if (n >= 4 && cells[0].is(TYPE_HANDLE) && cells[0].data1 == handle::CLASS_RICH_TEXT &&
        cells[0].data2 < kept.size() && kept[cells[0].data2]) {
      old = static_cast<int32_t>(cells[0].data2);
      // A text changed since the layout was made is laid out again too.
      Cell* text = fonts::field(&face, "text");
      bool same = cells[2].is(TYPE_STRING) && text && text->is(TYPE_STRING) &&
                  string::to_std_string(&cells[2]) == string::to_std_string(text);
      if (same && !rebuild && !is_true(&cells[3])) return kept[old].get();
    }
  }
  StyleFault fault;
  std::unique_ptr<TextBox> box = face_box(&face, &fault);
  if (!box) return nullptr;
  if (!h) {
    scratch = std::move(box);
    if (fault.failed && report) *report = fault;
    else if (fault.failed) raise_invalid(fault.block, fault.position);
    return scratch.get();
  }
  TextBox* made = box.get();
  uint32_t id = keep(std::move(box), old);
  // The cells made here live on the stack only until they are stored in the face.
  stack::State saved = stack::save();
  Cell* text = fonts::field(&face, "text");
  std::string copy = string::to_std_string(text);
  Cell* kept_text = string::load_new(reinterpret_cast<const uint8_t*>(copy.data()), copy.size(),
                                     string::ENCODING_UTF8);
  Cell layout;
  handle::make_at(&layout, static_cast<int32_t>(id), handle::CLASS_RICH_TEXT);
  Cell again = make_cell(TYPE_LOGIC);
  set_logic(&again, fault.failed);
  h = fonts::field(&face, "handles");
  uint32_t n = 0;
  if (h->is(TYPE_BLOCK)) cells_of(h, &n);
  if (n < 4) {
    Cell* blk = block::push_only(4);
    Cell none = make_cell(TYPE_NONE);
    for (int i = 0; i < 4; ++i) block::append_cell(blk, &none);
    h = fonts::field(&face, "handles");
    *h = *blk;
  }
  Cell* cells = cells_of(h, &n);
  cells[0] = layout;
  cells[2] = *kept_text;
  cells[3] = again;
  stack::restore(saved);
  if (fault.failed && report) *report = fault;
  else if (fault.failed) raise_invalid(fault.block, fault.position);
  return made;
}

Cell metrics(const Cell* face_in, const Cell* arg_in, int32_t query) {
  Cell face = *face_in, arg = *arg_in;
  Cell* type = fonts::field(&face, "type");
  if (!type || !word_is(*type, "rich-text")) {
    Cell t = type ? *type : make_cell(TYPE_NONE);
    error::raise(ERR_SCRIPT, "face-type", &t);
  }
  Cell* text = fonts::field(&face, "text");
  if (!text || !text->is(TYPE_STRING)) return make_cell(TYPE_NONE);
  TextBox* box = rich_text_box(&face);
  if (!box) return make_cell(TYPE_NONE);
  auto position = [&]() {
    if (arg.is(TYPE_INTEGER)) return arg.int_value();
    if (arg.is(TYPE_FLOAT)) return static_cast<int32_t>(arg.float_value());
    error::raise(ERR_SCRIPT, "invalid-arg", &arg);
  };
  Cell out = make_cell(TYPE_NONE);
  switch (query) {
    case 0:
    case 6: {
      QPointF p = box->caret(position(), query == 6);
      return point2d(p.x(), p.y());
    }
    case 1:
    case 5:
      if (!is_point(arg)) error::raise(ERR_SCRIPT, "invalid-arg", &arg);
      return set_integer(&out, box->hit(point_of(arg), query == 1)), out;
    case 2:
      return set_float(&out, box->line_height(position())), out;
    case 3: {
      QSizeF s = box->size();
      return point2d(s.width(), s.height());
    }
    default:
      return set_integer(&out, box->line_count()), out;
  }
}

Cell size_text(const Cell* face_in, const Cell* value_in) {
  Cell face = *face_in, value = *value_in;
  if (!value.is(TYPE_STRING) && !value.is(TYPE_NONE)) {
    Cell type = make_cell(TYPE_DATATYPE, value.type());
    error::raise(ERR_SCRIPT, "invalid-type", &type);
  }
  if (value.is(TYPE_NONE)) {
    Cell* text = fonts::field(&face, "text");
    if (text) value = *text;
  }
  if (!value.is(TYPE_STRING)) return make_cell(TYPE_NONE);
  QString s = qstring_of(&value);
  Cell* font_cell = fonts::field(&face, "font");
  Cell font = font_cell ? *font_cell : make_cell(TYPE_NONE);
  QFont qfont = fonts::font_of(&font);
  Cell* type = fonts::field(&face, "type");
  bool drawn = type && (word_is(*type, "base") || word_is(*type, "rich-text") ||
                        word_is(*type, "window") || word_is(*type, "panel"));
  QSizeF size;
  if (drawn) {
    // Base faces draw their text themselves: measured as laid out, without a box.
    TextBox box(s, qfont);
    box.lay_out(Paragraph());
    size = box.size();
  } else {
    size = QFontMetricsF(qfont).size(Qt::TextExpandTabs, s);
  }
  return point2d(size.width(), size.height());
}

}  // namespace tav::gui::text
