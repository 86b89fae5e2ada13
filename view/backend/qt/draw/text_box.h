// A text-box: one text laid out with QTextLayout in lines of our own, for the Draw `text`
// command, rich-text faces and text measuring. The language counts characters from 1 while
// the layout counts UTF-16 units from 0; a box maps between them (only texts with
// characters above U+FFFF need a table).
#pragma once
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QString>
#include <QTextLayout>
#include <memory>
#include <vector>

#include "core/cell.h"

namespace tav::gui::text {

struct Background {
  int start, length;  // UTF-16 units
  QColor color;
};

// Where a styles block was refused: the block and the offending position.
struct StyleFault {
  bool failed = false;
  Cell block;
  uint32_t position = 0;
};

struct Paragraph {
  Qt::Alignment align = Qt::AlignLeft;
  int v_align = 0;  // 0 top, 1 middle, 2 bottom
  bool wrap = true;
  qreal width = 0, height = 0;  // the layout box; 0 is no limit
  qreal line_spacing = -1;      // a uniform line step when not below 0
  qreal tab_distance = -1;
  QList<qreal> tab_stops;
};

class TextBox {
 public:
  // Lays the text out at once; call styles and apply before measuring or drawing.
  TextBox(const QString& text, const QFont& font);

  int char_count() const { return static_cast<int>(u16_of_.size()) - 1; }
  int u16_of(int char_index) const;
  int char_of(int u16) const;

  // Reads a rich-text styles block (ranges and their styles) into formats and backgrounds.
  StyleFault read_styles(const Cell* styles);
  void add_format(int char_start, int char_length, const QTextCharFormat& format);
  void set_color(const QColor& color);  // the whole text
  void set_font_styles(uint32_t bits);  // underline / strike over the whole text
  // Breaks the text into lines within the paragraph's box.
  void lay_out(const Paragraph& para);

  // The queries: caret position (top-left, or its lower end), the caret or the character at
  // a point, the height of a character's line, the size and the line count.
  QPointF caret(int char_index, bool lower) const;
  int hit(QPointF p, bool caret) const;
  qreal line_height(int char_index) const;
  QSizeF size() const;
  int line_count() const { return layout_.lineCount(); }

  // Backgrounds, then the text at the position in the given colour.
  void draw(QPainter& painter, QPointF at, const QColor& color) const;

 private:
  QTextLine line_at_y(qreal y) const;
  QTextLine line_of_u16(int pos) const;
  qreal step(const QTextLine& line) const;
  qreal line_top(int index) const;

  QString text_;
  std::vector<int> u16_of_;  // char index -> UTF-16 position, one past the end included
  QTextLayout layout_;
  QList<QTextLayout::FormatRange> formats_;
  std::vector<Background> backgrounds_;
  qreal y_offset_ = 0;
  qreal spacing_ = -1;
};

// The paragraph of a face: alignment, vertical alignment and wrapping from its `para`
// (defaults by type), its size as the box, and a rich-text face's tabs and line spacing.
Paragraph paragraph_of(const Cell* face);

// Builds the layout of a face's text, styled from its font and `data`; null when its text
// is not a string. A refused styles block is reported in fault.
std::unique_ptr<TextBox> face_box(const Cell* face, StyleFault* fault);

// A rich-text face's layout, kept in its `handles` block and rebuilt when that block asks
// for it (or is missing), or always with rebuild (drawing lays the face out afresh). Null
// when the text is not a string. A refused styles block asks for a rebuild next time and is
// reported in fault, or raised as draw-invalid without one.
TextBox* rich_text_box(const Cell* face, StyleFault* fault = nullptr, bool rebuild = false);

// Asks the next measurement of a rich-text face to lay its text out again (its size, font or
// paragraph may have changed); a face that was never laid out is left alone.
void mark_stale(const Cell* face);

// text-box-metrics: the query on a rich-text face (face-type for any other face).
Cell metrics(const Cell* face, const Cell* arg, int32_t query);

// size-text: the face's text, or the given string, measured in the face's font.
Cell size_text(const Cell* face, const Cell* value);

QString qstring_of(const Cell* str);

}  // namespace tav::gui::text
