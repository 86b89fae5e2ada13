// The draw context: one drawing's pen, fill, stroke, matrices and clips over a QPainter,
// and the operations the Draw dialect calls. QPainter keeps only the transform and the clips;
// pens and brushes live here and are made for each shape (a fitted gradient depends on the
// shape's bounds).
#pragma once
#include <QBrush>
#include <QGradient>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <QVector>
#include <vector>

#include "view/backend/qt/draw/text_state.h"

namespace tav::gui::draw {

// Pen and fill kinds: what a brush is and how it is placed on a shape.
enum BrushKind : int { KIND_OFF = 0, KIND_SOLID = 1, KIND_PLACED = 2, KIND_FITTED = 3, KIND_IMAGE = 4 };
enum GradientType : int { GRAD_LINEAR, GRAD_RADIAL, GRAD_DIAMOND };
// The target of a matrix command.
enum MatrixTarget : int { ON_DRAWING, ON_PEN, ON_FILL };

struct GradientSpec {
  GradientType type = GRAD_LINEAR;
  QGradientStops stops;
  QGradient::Spread spread = QGradient::PadSpread;
  // Placed geometry: start and end (linear), or centre, radius and focal point.
  QPointF p1, p2;
  qreal radius = 0;
  bool focal = false;
};

struct BrushState {
  int kind = KIND_OFF;
  QColor color = QColor(0, 0, 0);
  GradientSpec gradient;
  QImage tile;            // image brushes
  bool clamp = false;     // the tile's edge pixels go on over the shape instead of repeating
  QTransform transform;   // the brush's own matrix (gradients and image brushes)
};

inline BrushState solid_black() {
  BrushState b;
  b.kind = KIND_SOLID;
  return b;
}

// One shadow drawn under boxes, circles and ellipses while shadows are on.
struct Shadow {
  QPointF offset;
  qreal blur = 0, spread = 0;
  QColor color = QColor(0, 0, 0);
  bool inset = false;  // kept, drawn like any other
};

struct DrawState {
  // A frame starts with an opaque black pen and no fill.
  BrushState pen = solid_black(), fill;
  int saved_pen_kind = KIND_OFF;
  qreal pen_width = 1.0;
  Qt::PenJoinStyle join = Qt::MiterJoin;
  qreal miter_limit = 5.0;
  Qt::PenCapStyle cap = Qt::FlatCap;
  QVector<qreal> dashes;
  bool prepend = true;
  bool antialias = true;
  QTransform transform;
  int clip_depth = 0;
  TextState text;
  std::vector<Shadow> shadows;
};

class DrawContext {
 public:
  // Opens the frame on the pixels (premultiplied ARGB32); the painter ends with the context.
  explicit DrawContext(QImage* pixels);
  ~DrawContext();
  DrawContext(const DrawContext&) = delete;
  DrawContext& operator=(const DrawContext&) = delete;

  QPainter& painter() { return painter_; }
  // Fills the whole frame with a colour (the face's colour, or transparent).
  void clear(const QColor& color);

  // Pens, brushes and stroke.
  void set_pen(const QColor& color, bool off);
  void set_fill_pen(const QColor& color, bool off);
  void set_line_width(qreal width);
  void set_line_join(Qt::PenJoinStyle join, qreal miter_limit);
  void set_line_cap(Qt::PenCapStyle cap);
  void set_line_pattern(const QVector<qreal>& dashes);
  void set_gradient(bool fill, const GradientSpec& spec, bool fitted);
  void set_image_brush(bool fill, const QImage& tile, bool clamp);
  void set_anti_alias(bool on);
  // Shadows: each `shadow` adds one while they are on; off removes them all.
  void add_shadow(const Shadow& shadow) { state_.shadows.push_back(shadow); }
  void shadows_off() { state_.shadows.clear(); }

  // Shapes.
  void line(const std::vector<QPointF>& points);
  void polygon(const std::vector<QPointF>& points);
  void box(QPointF a, QPointF b, qreal radius);
  void ellipse(qreal x, qreal y, qreal w, qreal h);
  void arc(QPointF centre, QPointF radius, qreal start, qreal sweep, bool closed);
  void curve(const std::vector<QPointF>& points);
  void spline(const std::vector<QPointF>& points, bool closed);

  // The shape sub-dialect's path: begun, built, then drawn or used as a clip.
  void shape_begin(bool draw);
  void shape_move(QPointF p, bool relative);
  void shape_line(QPointF p, bool relative);
  void shape_axis(qreal v, bool relative, bool horizontal);
  void shape_cubic(QPointF c1, QPointF c2, QPointF end, bool relative);
  void shape_smooth_cubic(QPointF c2, QPointF end, bool relative);
  void shape_quad(QPointF c, QPointF end, bool relative);
  void shape_smooth_quad(QPointF end, bool relative);
  void shape_arc(QPointF end, qreal rx, qreal ry, qreal angle, bool sweep, bool large, bool relative);
  void shape_close();
  void shape_end();

  // Images: the source rectangle of the pixels (premultiplied) stretched over a destination
  // rectangle, or mapped onto a quadrilateral (top-left, top-right, bottom-right, bottom-left).
  void image(const QImage& pixels, const QRectF& source, const QRectF& destination);
  void image(const QImage& pixels, const QRectF& source, const QPolygonF& quad);
  // The image! this frame draws on (null for a window), and a copy of the frame as it stands.
  void set_target_identity(const void* id) { target_identity_ = id; }
  const void* target_identity() const { return target_identity_; }
  QImage frame_copy() const;

  // Matrices.
  void set_matrix_order(bool prepend) { state_.prepend = prepend; }
  void combine(MatrixTarget target, const QTransform& t);
  void rotate(MatrixTarget target, qreal degrees, QPointF centre);
  void scale(MatrixTarget target, qreal sx, qreal sy, QPointF centre);
  void translate(MatrixTarget target, QPointF by);
  void skew(MatrixTarget target, qreal x_degrees, qreal y_degrees, QPointF centre);
  void reset_matrix(MatrixTarget target);
  void invert_matrix(MatrixTarget target);

  // Clips: a rectangle, or the path the shape sub-dialect built in clip mode.
  void clip_rect(QPointF a, QPointF b);
  void clip_shape();
  void pop_clip();
  int clip_depth() const { return state_.clip_depth; }

  // The draw state around nested blocks: pop also removes the clips pushed since the push.
  DrawState push_state() const { return state_; }
  void pop_state(const DrawState& saved);

  const DrawState& state() const { return state_; }
  TextState& text_state() { return state_.text; }

 private:
  QBrush brush_for(const BrushState& b, const QRectF& bounds) const;
  QPen pen_for(const QRectF& bounds) const;
  void draw_path(const QPainterPath& path);
  void paint_path(QPainter& painter, const QPainterPath& path);
  // A shape with the shadows in force drawn under it (shadows.cpp).
  void draw_shadowed(const QPainterPath& path);
  void apply_hints();
  QTransform* matrix_of(MatrixTarget target);

  QPainter painter_;
  DrawState state_;
  QPainterPath path_;
  bool path_draw_ = true;
  QPointF current_;
  QPointF control_;
  bool has_control_ = false;
  const void* target_identity_ = nullptr;
};

// An SVG-style elliptical arc from `from` to `to` appended to the path as cubic curves.
void arc_to(QPainterPath& path, QPointF from, QPointF to, qreal rx, qreal ry, qreal degrees,
            bool large, bool sweep);

}  // namespace tav::gui::draw
