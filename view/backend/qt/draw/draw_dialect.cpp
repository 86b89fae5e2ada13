#include "view/backend/qt/draw/draw_dialect.h"

#include <QHash>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/cycles.h"
#include "core/errors.h"
#include "core/output.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "evaluator/interpreter.h"
#include "view/backend/qt/draw/image_target.h"
#include "view/backend/qt/draw/text_draw.h"

namespace tav::gui::draw {

namespace {

// A drawing stopped by an error already reported (or silenced): the frame closes normally.
struct DrawStop {};

#define TAV_DRAW_KEYWORDS(X)                                                                  \
  X(PEN, "pen") X(FILL_PEN, "fill-pen") X(BOX, "box") X(LINE, "line") X(LINE_WIDTH, "line-width") \
  X(LINE_JOIN, "line-join") X(LINE_CAP, "line-cap") X(LINE_PATTERN, "line-pattern")           \
  X(TRIANGLE, "triangle") X(POLYGON, "polygon") X(CIRCLE, "circle") X(ELLIPSE, "ellipse")     \
  X(ANTI_ALIAS, "anti-alias") X(ARC, "arc") X(CURVE, "curve") X(SPLINE, "spline")             \
  X(CLIP, "clip") X(SHAPE, "shape") X(ROTATE, "rotate") X(SCALE, "scale")                     \
  X(TRANSLATE, "translate") X(SKEW, "skew") X(TRANSFORM, "transform") X(PUSH, "push")         \
  X(MATRIX, "matrix") X(RESET_MATRIX, "reset-matrix") X(INVERT_MATRIX, "invert-matrix")       \
  X(LINEAR, "linear") X(RADIAL, "radial") X(DIAMOND, "diamond") X(PATTERN, "pattern")         \
  X(BITMAP, "bitmap") X(OFF, "off") X(PAD, "pad") X(REPEAT, "repeat") X(REFLECT, "reflect")   \
  X(TILE, "tile") X(FLIP_X, "flip-x") X(FLIP_Y, "flip-y") X(FLIP_XY, "flip-xy")               \
  X(CLAMP, "clamp") X(MITER, "miter") X(MITER_BEVEL, "miter-bevel") X(ROUND, "round")         \
  X(BEVEL, "bevel") X(FLAT, "flat") X(SQUARE, "square") X(CLOSED, "closed")                   \
  X(REPLACE, "replace") X(INTERSECT, "intersect") X(UNION, "union") X(XOR, "xor")             \
  X(EXCLUDE, "exclude") X(MOVE, "move") X(HLINE, "hline") X(VLINE, "vline") X(CURV, "curv")   \
  X(QCURVE, "qcurve") X(QCURV, "qcurv") X(CLOSE, "close") X(SWEEP, "sweep") X(LARGE, "large") \
  X(IMAGE, "image") X(BORDER, "border") X(CROP, "crop")                                       \
  X(TEXT, "text") X(FONT, "font") X(SHADOW, "shadow") X(INSET, "inset")

enum Keyword : int {
  K_NONE = -1,
#define TAV_ENUM(k, text) K_##k,
  TAV_DRAW_KEYWORDS(TAV_ENUM)
#undef TAV_ENUM
  K_COUNT
};

// Keywords match by the symbol's canonical id: case-insensitive, whatever the binding.
Keyword keyword_of(const Cell& c) {
  static QHash<uint32_t, Keyword> table;
  if (table.isEmpty()) {
    const char* names[] = {
#define TAV_NAME(k, text) text,
        TAV_DRAW_KEYWORDS(TAV_NAME)
#undef TAV_NAME
    };
    for (int k = 0; k < K_COUNT; ++k) table.insert(symbol::alias(symbol::make(names[k])), Keyword(k));
  }
  if (!(c.is(TYPE_WORD) || c.is(TYPE_LIT_WORD))) return K_NONE;
  return table.value(symbol::alias(c.data2), K_NONE);
}

bool is_point(const Cell& c) { return c.is(TYPE_PAIR) || c.is(TYPE_POINT2D); }
bool is_number(const Cell& c) { return c.is(TYPE_INTEGER) || c.is(TYPE_FLOAT); }

QPointF point_of(const Cell& c) {
  if (c.is(TYPE_PAIR)) return QPointF(pair::x_of(&c), pair::y_of(&c));
  return QPointF(point::x_of(&c), point::y_of(&c));
}

qreal number_of(const Cell& c) {
  return c.is(TYPE_INTEGER) ? c.int_value() : static_cast<float>(c.float_value());
}

// R.G.B.T: the fourth byte counts transparency.
QColor color_of(const Cell& tuple) {
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(&tuple, b);
  int t = tuple::length(&tuple) > 3 ? b[3] : 0;
  return QColor(b[0], b[1], b[2], 255 - t);
}

bool system_silent() {
  Cell* sys = interp::word_value_cell(word::load("system"));
  for (const char* name : {"view", "silent?"}) {
    if (!sys || !sys->is(TYPE_OBJECT)) return false;
    Cell w = word::make(symbol::make(name));
    if (object::word_index(sys, &w) < 0) return false;
    sys = object::word_value_cell(sys, &w);
  }
  return sys && is_true(sys);
}

// The two rules that end every refused drawing: silenced, printed, or raised.
[[noreturn]] void report(const char* id, const Cell* arg, bool catch_errors) {
  if (system_silent()) throw DrawStop{};
  if (!catch_errors) error::raise(ERR_SCRIPT, id, arg);
  Cell* err = set_none(stack::new_cell());
  error::create(ERR_SCRIPT, id, arg, nullptr, nullptr, err);
  std::string text = error::form(err);
  Cell* line = string::load_new(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                string::ENCODING_UTF8);
  hook::run_print_list(line, true);
  throw DrawStop{};
}

class Parser {
 public:
  Parser(DrawContext& ctx, const Cell& block, bool catch_errors)
      : ctx_(ctx), block_(block), catch_(catch_errors) {}

  void draw() {
    enter();
    ClipMode mode{Keyword(K_REPLACE)};
    uint32_t i = block_.index();
    while (i < end()) {
      const Cell c = at(i);
      if (c.is(TYPE_WORD)) {
        i = command(keyword_of(c), i, mode) + 1;
      } else if (c.is(TYPE_SET_WORD)) {
        set_word(i);
        ++i;
      } else if (c.is(TYPE_BLOCK)) {
        Parser(ctx_, c, catch_).draw();
        ++i;
      } else {
        fail(i);
      }
    }
    cycles::pop();
  }

  void shape(bool draw, bool nested) {
    enter();
    if (!nested) ctx_.shape_begin(draw);
    uint32_t i = block_.index();
    while (i < end()) {
      const Cell c = at(i);
      if (c.is(TYPE_WORD) || c.is(TYPE_LIT_WORD)) {
        i = shape_command(keyword_of(c), c.is(TYPE_LIT_WORD), i) + 1;
      } else if (c.is(TYPE_SET_WORD)) {
        set_word(i);
        ++i;
      } else if (c.is(TYPE_BLOCK)) {
        Parser(ctx_, c, catch_).shape(draw, true);
        ++i;
      } else {
        fail(i);
      }
    }
    if (draw && !nested) ctx_.shape_end();
    cycles::pop();
  }

 private:
  struct ClipMode {
    Keyword word;
  };

  // The state of a block-scoped command comes back however its block ends.
  struct StateGuard {
    DrawContext& ctx;
    DrawState saved;
    explicit StateGuard(DrawContext& c) : ctx(c), saved(c.push_state()) {}
    ~StateGuard() { ctx.pop_state(saved); }
  };

  uint32_t end() const { return node_buffer(block_.node())->count(); }
  Cell at(uint32_t i) const {
    return i < end() ? node_buffer(block_.node())->cells()[i] : make_cell(TYPE_NONE);
  }
  bool has(uint32_t i) const { return i < end(); }
  bool point_at(uint32_t i) const { return has(i) && is_point(at(i)); }
  bool number_at(uint32_t i) const { return has(i) && is_number(at(i)); }
  bool block_at(uint32_t i) const { return has(i) && at(i).is(TYPE_BLOCK); }
  Keyword keyword_at(uint32_t i) const { return has(i) && at(i).is(TYPE_WORD) ? keyword_of(at(i)) : K_NONE; }

  void enter() {
    if (cycles::find(block_.node())) raise("draw-infinite", block_.index());
    cycles::push(block_.node());
  }

  // The argument is a copy of the block positioned at the offending cell.
  [[noreturn]] void raise(const char* id, uint32_t position) { raise_in(block_, id, position); }
  // The same for another block the command reads (a face's styles).
  [[noreturn]] void raise_in(const Cell& blk, const char* id, uint32_t position) {
    uint32_t count = node_buffer(blk.node())->count();
    Cell head = make_cell(TYPE_BLOCK, 0, blk.node());
    Cell* copy = block::copy_cells(&head, 0, static_cast<int32_t>(count), false, stack::new_cell());
    copy->data1 = std::min(position, count);
    report(id, copy, catch_);
  }

  [[noreturn]] void fail(uint32_t position) {
    Cell c = at(position);
    if (has(position) && c.is(TYPE_BLOCK) && c.node() == block_.node()) raise("draw-infinite", c.index());
    raise("draw-invalid", position);
  }

  uint32_t need_point(uint32_t i) {
    if (!point_at(i)) fail(i);
    return i;
  }
  uint32_t need_number(uint32_t i) {
    if (!number_at(i)) fail(i);
    return i;
  }
  uint32_t points_from(uint32_t i) const {
    uint32_t j = i;
    while (point_at(j)) ++j;
    return j - i;
  }
  std::vector<QPointF> points(uint32_t first, uint32_t count) const {
    std::vector<QPointF> out;
    out.reserve(count);
    for (uint32_t k = 0; k < count; ++k) out.push_back(point_of(at(first + k)));
    return out;
  }

  // A word's value: in catch mode an unbound word or one of a running function is refused.
  Cell word_value(uint32_t i) {
    Cell w = at(i);
    if (catch_) {
      NodeId ctx = w.data1;
      if (ctx == 0 || context::on_stack(context::context_cell(ctx))) fail(i);
      Cell* v = interp::word_value_cell(&w);
      if (!v) fail(i);
      return *v;
    }
    return *interp::get_word(&w);
  }

  // A colour: a tuple, or a word whose value is a tuple.
  bool color_at(uint32_t i, QColor* out) {
    if (!has(i)) return false;
    Cell c = at(i);
    if (c.is(TYPE_WORD)) c = word_value(i);
    if (!c.is(TYPE_TUPLE)) return false;
    *out = color_of(c);
    return true;
  }

  void set_word(uint32_t i) {
    Cell w = at(i);
    if (catch_ && w.data1 != 0 && context::on_stack(context::context_cell(w.data1))) fail(i);
    w.set_type(TYPE_WORD);
    Cell value = make_cell(TYPE_BLOCK, i + 1, block_.node());
    interp::set_word(&w, &value);
  }

  MatrixTarget target_at(uint32_t* i) {
    Cell c = at(*i);
    if (!has(*i) || !c.is(TYPE_LIT_WORD)) return ON_DRAWING;
    Keyword k = keyword_of(c);
    if (k != K_PEN && k != K_FILL_PEN) return ON_DRAWING;
    ++*i;
    return k == K_PEN ? ON_PEN : ON_FILL;
  }

  // Runs a block-scoped command's block with the state saved around it.
  template <class F>
  uint32_t scoped(uint32_t last, F apply) {
    if (block_at(last + 1)) {
      StateGuard guard(ctx_);
      apply();
      Parser(ctx_, at(last + 1), catch_).draw();
      return last + 1;
    }
    apply();
    return last;
  }

  uint32_t command(Keyword k, uint32_t i, ClipMode& mode) {
    uint32_t a = i + 1;
    switch (k) {
      case K_PEN:
      case K_FILL_PEN:
        return pen(k == K_FILL_PEN, a);
      case K_LINE_WIDTH:
        ctx_.set_line_width(number_of(at(need_number(a))));
        return a;
      case K_LINE_JOIN: {
        if (!has(a) || !at(a).is(TYPE_WORD)) fail(a);
        switch (keyword_of(at(a))) {
          case K_MITER_BEVEL: ctx_.set_line_join(Qt::SvgMiterJoin, 10); break;
          case K_ROUND: ctx_.set_line_join(Qt::RoundJoin, 10); break;
          case K_BEVEL: ctx_.set_line_join(Qt::BevelJoin, 10); break;
          default: ctx_.set_line_join(Qt::MiterJoin, 5); break;
        }
        return a;
      }
      case K_LINE_CAP: {
        if (!has(a) || !at(a).is(TYPE_WORD)) fail(a);
        Keyword cap = keyword_of(at(a));
        ctx_.set_line_cap(cap == K_SQUARE ? Qt::SquareCap : cap == K_ROUND ? Qt::RoundCap : Qt::FlatCap);
        return a;
      }
      case K_LINE_PATTERN: {
        QVector<qreal> dashes;
        uint32_t j = a;
        while (has(j) && at(j).is(TYPE_INTEGER)) dashes.push_back(at(j++).int_value());
        ctx_.set_line_pattern(dashes);
        return j - 1;
      }
      case K_BOX: {
        QPointF p1 = point_of(at(need_point(a))), p2 = point_of(at(need_point(a + 1)));
        bool radius = number_at(a + 2);
        ctx_.box(p1, p2, radius ? number_of(at(a + 2)) : 0);
        return radius ? a + 2 : a + 1;
      }
      case K_LINE: {
        uint32_t n = points_from(a);
        if (n == 1) fail(a);
        ctx_.line(points(a, n));
        return n ? a + n - 1 : i;
      }
      case K_TRIANGLE:
        need_point(a), need_point(a + 1), need_point(a + 2);
        ctx_.polygon(points(a, 3));
        return a + 2;
      case K_POLYGON: {
        uint32_t n = points_from(a);
        if (n < 3) fail(n ? a + n - 1 : i);
        ctx_.polygon(points(a, n));
        return a + n - 1;
      }
      case K_CIRCLE: {
        QPointF c = point_of(at(need_point(a)));
        qreal rx = number_of(at(need_number(a + 1)));
        bool second = number_at(a + 2);
        qreal ry = second ? number_of(at(a + 2)) : rx;
        ctx_.ellipse(c.x() - rx, c.y() - ry, 2 * rx, 2 * ry);
        return second ? a + 2 : a + 1;
      }
      case K_ELLIPSE: {
        QPointF p = point_of(at(need_point(a))), s = point_of(at(need_point(a + 1)));
        ctx_.ellipse(p.x(), p.y(), s.x(), s.y());
        return a + 1;
      }
      case K_ANTI_ALIAS:
        if (!has(a) || !at(a).is(TYPE_WORD)) fail(i);
        ctx_.set_anti_alias(keyword_of(at(a)) != K_OFF);
        return a;
      case K_ARC: {
        QPointF c = point_of(at(need_point(a))), r = point_of(at(need_point(a + 1)));
        qreal start = number_of(at(need_number(a + 2))), sweep = number_of(at(need_number(a + 3)));
        bool closed = keyword_at(a + 4) == K_CLOSED;
        ctx_.arc(c, r, start, sweep, closed);
        return closed ? a + 4 : a + 3;
      }
      case K_CURVE: {
        need_point(a), need_point(a + 1), need_point(a + 2);
        uint32_t n = point_at(a + 3) ? 4 : 3;
        ctx_.curve(points(a, n));
        return a + n - 1;
      }
      case K_SPLINE: {
        uint32_t n = points_from(a);
        if (n < 2) fail(a + n);
        bool closed = keyword_at(a + n) == K_CLOSED;
        ctx_.spline(points(a, n), closed);
        return closed ? a + n : a + n - 1;
      }
      case K_IMAGE:
        return image(a);
      case K_CLIP:
        return clip(a, mode);
      case K_SHAPE:
        if (!block_at(a)) fail(a);
        Parser(ctx_, at(a), catch_).shape(true, false);
        return a;
      case K_PUSH: {
        if (!block_at(a)) fail(a);
        StateGuard guard(ctx_);
        Parser(ctx_, at(a), catch_).draw();
        return a;
      }
      case K_ROTATE: {
        MatrixTarget t = target_at(&a);
        qreal angle = number_of(at(need_number(a)));
        bool centred = point_at(a + 1);
        QPointF c = centred ? point_of(at(a + 1)) : QPointF();
        return scoped(centred ? a + 1 : a, [&] { ctx_.rotate(t, angle, c); });
      }
      case K_SCALE: {
        MatrixTarget t = target_at(&a);
        qreal sx = factor(a), sy = factor(a + 1);
        bool centred = point_at(a + 2);
        QPointF c = centred ? point_of(at(a + 2)) : QPointF();
        return scoped(centred ? a + 2 : a + 1, [&] { ctx_.scale(t, sx, sy, c); });
      }
      case K_TRANSLATE: {
        MatrixTarget t = target_at(&a);
        QPointF by = point_of(at(need_point(a)));
        return scoped(a, [&] { ctx_.translate(t, by); });
      }
      case K_SKEW: {
        MatrixTarget t = target_at(&a);
        qreal x = number_of(at(need_number(a)));
        uint32_t last = a;
        qreal y = 0;
        if (number_at(a + 1)) y = number_of(at(last = a + 1));
        QPointF c;
        if (point_at(last + 1)) c = point_of(at(++last));
        return scoped(last, [&] { ctx_.skew(t, x, y, c); });
      }
      case K_TRANSFORM: {
        MatrixTarget t = target_at(&a);
        QPointF c;
        if (point_at(a)) c = point_of(at(a++));
        qreal angle = number_of(at(need_number(a)));
        qreal sx = factor(a + 1), sy = factor(a + 2);
        QPointF by = point_of(at(need_point(a + 3)));
        return scoped(a + 3, [&] {
          ctx_.rotate(t, angle, c);
          ctx_.scale(t, sx, sy, c);
          ctx_.translate(t, by);
        });
      }
      case K_MATRIX: {
        MatrixTarget t = target_at(&a);
        if (!block_at(a)) fail(a);
        Cell m = at(a);
        SeriesBuffer* b = node_buffer(m.node());
        qreal v[6];
        if (b->count() < m.index() || b->count() - m.index() != 6) fail(a - 1);
        for (int k = 0; k < 6; ++k) {
          const Cell& n = b->cells()[m.index() + k];
          if (!is_number(n)) fail(a - 1);
          v[k] = number_of(n);
        }
        ctx_.combine(t, QTransform(v[0], v[1], v[2], v[3], v[4], v[5]));
        return a;
      }
      case K_RESET_MATRIX: {
        MatrixTarget t = target_at(&a);
        ctx_.reset_matrix(t);
        return a - 1;
      }
      case K_INVERT_MATRIX: {
        MatrixTarget t = target_at(&a);
        ctx_.invert_matrix(t);
        return a - 1;
      }
      case K_FONT: {
        Cell font = has(a) && at(a).is(TYPE_WORD) ? word_value(a) : at(a);
        if (!has(a) || !font.is(TYPE_OBJECT)) fail(a);
        set_font(ctx_, &font);
        return a;
      }
      case K_TEXT: {
        QPointF at_point = point_of(at(need_point(a)));
        Cell value = has(a + 1) && at(a + 1).is(TYPE_WORD) ? word_value(a + 1) : at(a + 1);
        if (!has(a + 1) || !(value.is(TYPE_STRING) || value.is(TYPE_OBJECT))) fail(a + 1);
        text::StyleFault fault = draw_text(ctx_, at_point, &value);
        if (fault.failed) raise_in(fault.block, "draw-invalid", fault.position);
        return a + 1;
      }
      case K_SHADOW:
        return shadow(a);
      default:
        fail(i);
    }
  }

  // shadow off, or: offset [blur [spread]] [colour] [inset].
  uint32_t shadow(uint32_t a) {
    if (!has(a)) fail(a);
    if (at(a).is(TYPE_WORD)) {
      if (keyword_of(at(a)) != K_OFF) fail(a);
      ctx_.shadows_off();
      return a;
    }
    Shadow s;
    s.offset = point_of(at(need_point(a)));
    uint32_t last = a;
    if (has(last + 1) && at(last + 1).is(TYPE_INTEGER)) {
      s.blur = at(++last).int_value();
      if (has(last + 1) && at(last + 1).is(TYPE_INTEGER)) s.spread = at(++last).int_value();
    }
    // An optional colour: a tuple, or a word holding one (the next command's word is not).
    if (has(last + 1)) {
      Cell c = at(last + 1);
      if (c.is(TYPE_WORD) && keyword_of(c) == K_NONE) {
        Cell* v = interp::word_value_cell(&c);
        if (v && v->is(TYPE_TUPLE)) c = *v;
      }
      if (c.is(TYPE_TUPLE)) {
        s.color = color_of(c);
        ++last;
      }
    }
    if (keyword_at(last + 1) == K_INSET) {
      s.inset = true;
      ++last;
    }
    ctx_.add_shadow(s);
    return last;
  }

  // A scale factor: a number or a percent.
  qreal factor(uint32_t i) {
    if (has(i) && at(i).is(TYPE_PERCENT)) return at(i).float_value();
    return number_of(at(need_number(i)));
  }

  uint32_t clip(uint32_t a, ClipMode& mode) {
    bool rect = point_at(a);
    if (!rect && !block_at(a)) fail(a);
    QPointF p1, p2;
    uint32_t last = a;
    if (rect) {
      p1 = point_of(at(a));
      p2 = point_of(at(need_point(a + 1)));
      last = a + 1;
    } else {
      Parser(ctx_, at(a), catch_).shape(false, false);
    }
    // The mode word is kept for the run; every clip narrows the clips in force.
    Keyword k = keyword_at(last + 1);
    if (k == K_REPLACE || k == K_INTERSECT || k == K_UNION || k == K_XOR || k == K_EXCLUDE) {
      mode.word = k;
      ++last;
    }
    auto apply = [&] {
      if (rect) ctx_.clip_rect(p1, p2);
      else ctx_.clip_shape();
    };
    if (!block_at(last + 1)) {
      apply();
      return last;
    }
    StateGuard guard(ctx_);
    apply();
    Parser(ctx_, at(last + 1), catch_).draw();
    ctx_.pop_clip();
    return last + 1;
  }

  uint32_t pen(bool fill, uint32_t a) {
    if (!has(a)) fail(a);
    Cell c = at(a);
    Keyword k = c.is(TYPE_WORD) ? keyword_of(c) : K_NONE;
    if (k == K_LINEAR || k == K_RADIAL || k == K_DIAMOND) return gradient(fill, k, a);
    if (k == K_PATTERN) return pattern(fill, a);
    if (k == K_BITMAP) return bitmap(fill, a);
    if (k == K_OFF) {
      if (fill) ctx_.set_fill_pen(QColor(255, 255, 255, 0), true);
      else ctx_.set_pen(QColor(255, 255, 255, 0), true);
      return a;
    }
    QColor color;
    if (!color_at(a, &color)) fail(a);
    if (fill) ctx_.set_fill_pen(color, false);
    else ctx_.set_pen(color, false);
    return a;
  }

  // Colour stops: explicit positions are taken as given; the others run evenly from 0 to 1.
  struct Stop {
    QColor color;
    bool given = false;
    qreal position = 0;
  };
  static QGradientStops positions(const std::vector<Stop>& stops) {
    QGradientStops out;
    qreal running = 0, step = stops.size() > 1 ? 1.0 / (stops.size() - 1) : 0;
    for (const Stop& s : stops) {
      qreal p = s.given ? s.position : running;
      if (!s.given) running += step;
      out.push_back({std::clamp<qreal>(p, 0, 1), s.color});
    }
    return out;
  }
  static constexpr size_t MAX_STOPS = 256;

  bool stop_at(uint32_t* j, std::vector<Stop>* stops) {
    Stop s;
    if (!color_at(*j, &s.color)) return false;
    if (stops->size() == MAX_STOPS) fail(*j);
    ++*j;
    if (has(*j) && at(*j).is(TYPE_FLOAT)) {
      s.given = true;
      s.position = at((*j)++).float_value();
    }
    stops->push_back(s);
    return true;
  }

  uint32_t gradient(bool fill, Keyword kind, uint32_t a) {
    if (point_at(a + 1)) return gradient_offset(fill, kind, a);
    GradientSpec g;
    g.type = kind == K_LINEAR ? GRAD_LINEAR : kind == K_RADIAL ? GRAD_RADIAL : GRAD_DIAMOND;
    std::vector<Stop> stops;
    uint32_t j = a + 1;
    for (int k = 0; k < 2; ++k)
      if (!stop_at(&j, &stops)) fail(j);
    while (stop_at(&j, &stops)) {}
    g.stops = positions(stops);
    bool fitted = !point_at(j);
    if (!fitted) {
      g.p1 = point_of(at(j++));
      if (g.type == GRAD_LINEAR) {
        g.p2 = point_of(at(need_point(j++)));
      } else if (g.type == GRAD_RADIAL) {
        g.radius = number_of(at(need_number(j++)));
        if (point_at(j)) {
          g.focal = true;
          g.p2 = point_of(at(j++));
        }
      } else {
        // A diamond is drawn as a radial gradient: its second point gives the radius.
        g.radius = point_of(at(need_point(j++))).x();
        if (point_at(j)) {
          g.focal = true;
          g.p2 = point_of(at(j++));
        }
      }
    } else if (g.type != GRAD_LINEAR) {
      g.p1 = QPointF(1, 1);
      g.radius = 1;
    }
    Keyword spread = keyword_at(j);
    if (spread == K_PAD || spread == K_REPEAT || spread == K_REFLECT) {
      g.spread = spread == K_REPEAT ? QGradient::RepeatSpread
                 : spread == K_REFLECT ? QGradient::ReflectSpread : QGradient::PadSpread;
      ++j;
    }
    ctx_.set_gradient(fill, g, fitted);
    return j - 1;
  }

  // The form introduced by a point: origin, start and stop offsets, then angle and scales.
  uint32_t gradient_offset(bool fill, Keyword kind, uint32_t a) {
    uint32_t j = a + 1;
    QPointF origin = point_of(at(j++));
    for (int k = 0; k < 2; ++k)
      if (!has(j + k) || !at(j + k).is(TYPE_INTEGER)) fail(j + k);
    qreal start = at(j).int_value(), stop = at(j + 1).int_value();
    j += 2;
    qreal extra[3] = {0, 1, 1};
    for (int k = 0; k < 3 && number_at(j); ++k) extra[k] = number_of(at(j++));
    uint32_t run = j;
    std::vector<Stop> stops;
    while (has(j)) {
      if (at(j).is(TYPE_FLOAT) && !stops.empty()) {
        stops.back().given = true;
        stops.back().position = at(j++).float_value();
      } else if (!stop_at(&j, &stops)) {
        break;
      }
    }
    if (stops.size() < 2) fail(run - 1);
    GradientSpec g;
    g.type = kind == K_LINEAR ? GRAD_LINEAR : kind == K_RADIAL ? GRAD_RADIAL : GRAD_DIAMOND;
    g.stops = positions(stops);
    if (g.type == GRAD_LINEAR) {
      g.p1 = QPointF(origin.x() + start, origin.y());
      g.p2 = QPointF(origin.x() + stop, origin.y());
    } else {
      g.p1 = origin;
      g.radius = stop - start;
    }
    ctx_.set_gradient(fill, g, false);
    MatrixTarget t = fill ? ON_FILL : ON_PEN;
    if (extra[0] != 0) ctx_.rotate(t, extra[0], QPointF());
    if (extra[1] != 1 || extra[2] != 1) ctx_.scale(t, extra[1], extra[2], QPointF());
    return j - 1;
  }

  // Optional crop points and tile mode of the image brushes.
  struct Tiling {
    QPointF start, end;
    bool has_start = false, has_end = false;
    Keyword mode = K_TILE;
  };
  uint32_t tiling(uint32_t j, Tiling* t) {
    if (point_at(j)) {
      t->start = point_of(at(j++));
      t->has_start = true;
    }
    if (point_at(j)) {
      t->end = point_of(at(j++));
      t->has_end = true;
    }
    Keyword m = keyword_at(j);
    if (m == K_TILE || m == K_FLIP_X || m == K_FLIP_Y || m == K_FLIP_XY || m == K_CLAMP) {
      t->mode = m;
      ++j;
    }
    return j;
  }

  // The brush's tile: the cropped pixels, mirrored beside themselves for the flip modes.
  static QImage tile_of(const QImage& pixels, const Tiling& t) {
    QPoint from = t.has_start ? t.start.toPoint() : QPoint(0, 0);
    QPoint to = t.has_end ? t.end.toPoint() : QPoint(pixels.width(), pixels.height());
    to = QPoint(std::min(to.x(), pixels.width()), std::min(to.y(), pixels.height()));
    QImage crop = pixels.copy(QRect(from, to - QPoint(1, 1)));
    if (crop.isNull()) return crop;
    bool fx = t.mode == K_FLIP_X || t.mode == K_FLIP_XY, fy = t.mode == K_FLIP_Y || t.mode == K_FLIP_XY;
    if (!fx && !fy) return crop;
    QImage out(crop.width() * (fx ? 2 : 1), crop.height() * (fy ? 2 : 1), crop.format());
    QPainter p(&out);
    p.drawImage(0, 0, crop);
    if (fx) p.drawImage(crop.width(), 0, crop.mirrored(true, false));
    if (fy) p.drawImage(0, crop.height(), crop.mirrored(false, true));
    if (fx && fy) p.drawImage(crop.width(), crop.height(), crop.mirrored(true, true));
    return out;
  }

  uint32_t pattern(bool fill, uint32_t a) {
    QPointF size = point_of(at(need_point(a + 1)));
    Tiling t;
    uint32_t j = tiling(a + 2, &t);
    if (!block_at(j)) fail(j);
    QImage pixels(std::max(1, int(size.x() + 0.5)), std::max(1, int(size.y() + 0.5)),
                  QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::transparent);
    {
      DrawContext sub(&pixels);
      Parser(sub, at(j), catch_).draw();
    }
    ctx_.set_image_brush(fill, tile_of(pixels, t), t.mode == K_CLAMP);
    return j;
  }

  uint32_t bitmap(bool fill, uint32_t a) {
    uint32_t w = a + 1;
    if (!has(w) || !at(w).is(TYPE_WORD)) fail(w);
    Cell image = word_value(w);
    if (!image.is(TYPE_IMAGE)) fail(w);
    Tiling t;
    uint32_t j = tiling(w + 1, &t);
    QImage pixels = pixels_of(&image);
    if (pixels.isNull()) {
      // No pixels: the pen goes off.
      if (fill) ctx_.set_fill_pen(QColor(), true);
      else ctx_.set_pen(QColor(), true);
    } else {
      ctx_.set_image_brush(
          fill, tile_of(pixels.convertToFormat(QImage::Format_ARGB32_Premultiplied), t),
          t.mode == K_CLAMP);
    }
    return j - 1;
  }

  // An image, its corners, an optional key colour (taken, not used), `border` (the same) and a
  // crop: an offset and a size in the image's pixels.
  uint32_t image(uint32_t a) {
    if (!has(a)) fail(a);
    Cell value = at(a);
    if (value.is(TYPE_WORD)) value = word_value(a);
    if (!value.is(TYPE_IMAGE)) fail(a);
    uint32_t n = points_from(a + 1);
    uint32_t j = a + 1 + n;
    // A key colour: a tuple or a word holding one; the option words are never looked up.
    QColor key;
    if (keyword_at(j) == K_NONE && color_at(j, &key)) ++j;
    if (keyword_at(j) == K_BORDER) ++j;
    bool cropped = keyword_at(j) == K_CROP;
    QPointF crop_at, crop_size;
    if (cropped) {
      crop_at = point_of(at(need_point(j + 1)));
      crop_size = point_of(at(need_point(j + 2)));
      j += 3;
    }
    bool onto_itself = identity_of(&value) == ctx_.target_identity() && ctx_.target_identity();
    QImage pixels = onto_itself ? ctx_.frame_copy() : pixels_of(&value);
    if (pixels.isNull()) return j - 1;
    QPointF at_point = n ? point_of(at(a + 1)) : QPointF(0, 0);
    QRectF source(0, 0, pixels.width(), pixels.height());
    if (cropped) {
      QRectF c = QRectF(crop_at, crop_at + crop_size).normalized();
      if (c.right() <= 0 || c.bottom() <= 0) return j - 1;
      // A crop starting left of (or above) the image moves the picture right (or down).
      if (c.left() < 0) at_point.rx() -= c.left();
      if (c.top() < 0) at_point.ry() -= c.top();
      source = QRectF(QPointF(std::max<qreal>(c.left(), 0), std::max<qreal>(c.top(), 0)),
                      QPointF(std::min<qreal>(c.right(), pixels.width()),
                              std::min<qreal>(c.bottom(), pixels.height())));
    }
    if (n <= 1) {
      ctx_.image(pixels, source, QRectF(at_point, source.size()));
    } else if (n == 2) {
      ctx_.image(pixels, source, QRectF(at_point, point_of(at(a + 2))));
    } else {
      // Top-left, top-right, bottom-right and bottom-left; three corners leave the last one
      // below the first.
      QPointF p1 = point_of(at(a + 1)), p2 = point_of(at(a + 2)), p3 = point_of(at(a + 3));
      QPointF p4 = n >= 4 ? point_of(at(a + 4)) : QPointF(p1.x(), p3.y());
      ctx_.image(pixels, source, QPolygonF{p1, p2, p3, p4});
    }
    return j - 1;
  }

  uint32_t shape_command(Keyword k, bool rel, uint32_t i) {
    uint32_t a = i + 1;
    uint32_t n = points_from(a);
    auto need_run = [&](uint32_t least) {
      if (n < least) fail(a);
    };
    switch (k) {
      case K_MOVE:
        ctx_.shape_move(point_of(at(need_point(a))), rel);
        return a;
      case K_LINE:
        need_run(1);
        for (uint32_t m = 0; m < n; ++m) ctx_.shape_line(point_of(at(a + m)), rel);
        return a + n - 1;
      case K_HLINE:
      case K_VLINE:
        ctx_.shape_axis(number_of(at(need_number(a))), rel, k == K_HLINE);
        return a;
      case K_ARC: {
        QPointF to = point_of(at(need_point(a)));
        qreal rx = number_of(at(need_number(a + 1))), ry = number_of(at(need_number(a + 2)));
        qreal angle = number_of(at(need_number(a + 3)));
        uint32_t last = a + 3;
        bool sweep = false, large = false;
        for (int m = 0; m < 2; ++m) {
          Keyword o = keyword_at(last + 1);
          if (o == K_SWEEP) sweep = true;
          else if (o == K_LARGE) large = true;
          else break;
          ++last;
        }
        ctx_.shape_arc(to, rx, ry, angle, sweep, large, rel);
        return last;
      }
      case K_CURVE:
        need_run(3);
        for (uint32_t m = 0; m + 3 <= n; m += 3)
          ctx_.shape_cubic(point_of(at(a + m)), point_of(at(a + m + 1)), point_of(at(a + m + 2)), rel);
        return a + n - 1;
      case K_CURV:
        need_run(2);
        for (uint32_t m = 0; m + 2 <= n; m += 2)
          ctx_.shape_smooth_cubic(point_of(at(a + m)), point_of(at(a + m + 1)), rel);
        return a + n - 1;
      case K_QCURVE:
        need_run(2);
        for (uint32_t m = 0; m + 2 <= n; m += 2)
          ctx_.shape_quad(point_of(at(a + m)), point_of(at(a + m + 1)), rel);
        return a + n - 1;
      case K_QCURV:
        need_run(1);
        for (uint32_t m = 0; m < n; ++m) ctx_.shape_smooth_quad(point_of(at(a + m)), rel);
        return a + n - 1;
      case K_CLOSE:
        ctx_.shape_close();
        return i;
      default:
        fail(i);
    }
  }

  DrawContext& ctx_;
  Cell block_;
  bool catch_;
};

// Runs the parser with the stacks put back as they were when the drawing stops early.
void run(DrawContext& ctx, const Cell* commands, bool catch_errors) {
  stack::State saved = stack::save();
  uint32_t depth = cycles::depth();
  try {
    Parser(ctx, *commands, catch_errors).draw();
  } catch (const DrawStop&) {
    cycles::restore_depth(depth);
    stack::restore(saved);
  } catch (...) {
    cycles::restore_depth(depth);
    throw;
  }
}

}  // namespace

void draw_on(DrawContext& ctx, const Cell* commands, bool catch_errors) {
  if (commands->is(TYPE_BLOCK)) run(ctx, commands, catch_errors);
}

void do_draw(PixelTarget& target, const Cell* commands, bool catch_errors, bool window,
             const std::function<void(DrawContext&)>& prepare) {
  bool drawable = commands->is(TYPE_BLOCK) &&
                  commands->index() < node_buffer(commands->node())->count();
  if (!window && !drawable) return;
  QImage* pixels = target.begin();
  if (!pixels) return;
  try {
    DrawContext ctx(pixels);
    ctx.set_target_identity(target.identity());
    if (prepare) prepare(ctx);
    if (drawable) run(ctx, commands, catch_errors);
  } catch (...) {
    // The error reaches the caller once the frame is closed.
    target.end();
    throw;
  }
  target.end();
}

}  // namespace tav::gui::draw
