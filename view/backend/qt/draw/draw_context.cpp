#include "view/backend/qt/draw/draw_context.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace tav::gui::draw {

namespace {

constexpr qreal PI = 3.14159265358979323846;

QRectF ordered(QPointF a, QPointF b) {
  return QRectF(QPointF(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                QPointF(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

QTransform about(const QTransform& t, QPointF centre) {
  if (centre.isNull()) return t;
  return QTransform::fromTranslate(-centre.x(), -centre.y()) * t *
         QTransform::fromTranslate(centre.x(), centre.y());
}

qreal vector_angle(qreal ux, qreal uy, qreal vx, qreal vy) {
  return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

// One span of a uniform Catmull-Rom spline, flattened into 25 lines.
void catmull_rom(QPainterPath& path, QPointF p0, QPointF p1, QPointF p2, QPointF p3) {
  for (int k = 1; k <= 25; ++k) {
    qreal t = k * 0.04, t2 = t * t, t3 = t2 * t;
    path.lineTo(0.5 * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                       (3 * p1 - 3 * p2 + p3 - p0) * t3));
  }
}

// The tile grown to cover a shape of that size, its last column and row repeated outwards.
QImage clamped(const QImage& tile, QSizeF size) {
  int w = std::max(tile.width(), static_cast<int>(std::ceil(size.width())));
  int h = std::max(tile.height(), static_cast<int>(std::ceil(size.height())));
  if (tile.isNull() || (w == tile.width() && h == tile.height())) return tile;
  QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&out);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  int tw = tile.width(), th = tile.height();
  p.drawImage(0, 0, tile);
  p.drawImage(QRect(tw, 0, w - tw, th), tile.copy(tw - 1, 0, 1, th));
  p.drawImage(QRect(0, th, tw, h - th), tile.copy(0, th - 1, tw, 1));
  p.fillRect(QRect(tw, th, w - tw, h - th), tile.pixelColor(tw - 1, th - 1));
  return out;
}

}  // namespace

void arc_to(QPainterPath& path, QPointF from, QPointF to, qreal rx, qreal ry, qreal degrees,
            bool large, bool sweep) {
  if (from == to) return;
  rx = std::abs(rx);
  ry = std::abs(ry);
  if (rx == 0 || ry == 0) {
    path.lineTo(to);
    return;
  }
  qreal phi = degrees * PI / 180, c = std::cos(phi), s = std::sin(phi);
  qreal dx2 = (from.x() - to.x()) / 2, dy2 = (from.y() - to.y()) / 2;
  qreal x1 = c * dx2 + s * dy2, y1 = -s * dx2 + c * dy2;
  // Radii too small to join the points grow until they just do.
  qreal lambda = (x1 * x1) / (rx * rx) + (y1 * y1) / (ry * ry);
  if (lambda > 1) {
    rx *= std::sqrt(lambda);
    ry *= std::sqrt(lambda);
  }
  qreal num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
  qreal den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
  qreal coef = den > 0 ? std::sqrt(std::max<qreal>(0, num / den)) : 0;
  if (large == sweep) coef = -coef;
  qreal cxp = coef * rx * y1 / ry, cyp = -coef * ry * x1 / rx;
  qreal cx = c * cxp - s * cyp + (from.x() + to.x()) / 2;
  qreal cy = s * cxp + c * cyp + (from.y() + to.y()) / 2;
  qreal theta = vector_angle(1, 0, (x1 - cxp) / rx, (y1 - cyp) / ry);
  qreal delta = vector_angle((x1 - cxp) / rx, (y1 - cyp) / ry, (-x1 - cxp) / rx, (-y1 - cyp) / ry);
  if (!sweep && delta > 0) delta -= 2 * PI;
  if (sweep && delta < 0) delta += 2 * PI;
  int segments = std::max(1, static_cast<int>(std::ceil(std::abs(delta) / (PI / 2) - 1e-9)));
  qreal step = delta / segments;
  auto map = [&](qreal ux, qreal uy) {
    return QPointF(cx + rx * ux * c - ry * uy * s, cy + rx * ux * s + ry * uy * c);
  };
  for (int i = 0; i < segments; ++i) {
    qreal t1 = theta + i * step, t2 = t1 + step;
    qreal alpha = 4.0 / 3.0 * std::tan(step / 4);
    QPointF c1 = map(std::cos(t1) - alpha * std::sin(t1), std::sin(t1) + alpha * std::cos(t1));
    QPointF c2 = map(std::cos(t2) + alpha * std::sin(t2), std::sin(t2) - alpha * std::cos(t2));
    path.cubicTo(c1, c2, i + 1 == segments ? to : map(std::cos(t2), std::sin(t2)));
  }
}

DrawContext::DrawContext(QImage* pixels) {
  painter_.begin(pixels);
  apply_hints();
}

DrawContext::~DrawContext() {
  while (state_.clip_depth > 0) pop_clip();
  painter_.end();
}

void DrawContext::apply_hints() {
  painter_.setRenderHint(QPainter::Antialiasing, state_.antialias);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter_.setTransform(state_.transform);
}

void DrawContext::clear(const QColor& color) {
  painter_.save();
  painter_.resetTransform();
  painter_.setClipping(false);
  painter_.setCompositionMode(QPainter::CompositionMode_Source);
  // Logical or device pixels alike: the rectangle covers the whole frame.
  QPaintDevice* d = painter_.device();
  painter_.fillRect(QRect(0, 0, d->width() * 4, d->height() * 4), color);
  painter_.restore();
}

// ---- Pens and brushes ---------------------------------------------------------------------

void DrawContext::set_pen(const QColor& color, bool off) {
  if (off) {
    state_.pen.kind = state_.saved_pen_kind = KIND_OFF;
    return;
  }
  state_.pen.kind = KIND_SOLID;
  state_.pen.color = color;
  // A zero line width keeps the pen hidden until the width comes back.
  if (state_.pen_width == 0) {
    state_.saved_pen_kind = KIND_SOLID;
    state_.pen.kind = KIND_OFF;
  }
}

void DrawContext::set_fill_pen(const QColor& color, bool off) {
  if (off) {
    state_.fill.kind = KIND_OFF;
    return;
  }
  state_.fill.kind = KIND_SOLID;
  state_.fill.color = color;
}

void DrawContext::set_line_width(qreal width) {
  if (width == 0) {
    if (state_.pen_width != 0) state_.saved_pen_kind = state_.pen.kind;
    state_.pen.kind = KIND_OFF;
    state_.pen_width = 0;
    return;
  }
  if (width == state_.pen_width) return;
  if (state_.pen_width == 0) state_.pen.kind = state_.saved_pen_kind;
  state_.pen_width = width;
}

void DrawContext::set_line_join(Qt::PenJoinStyle join, qreal miter_limit) {
  state_.join = join;
  state_.miter_limit = miter_limit;
}

void DrawContext::set_line_cap(Qt::PenCapStyle cap) { state_.cap = cap; }

void DrawContext::set_line_pattern(const QVector<qreal>& dashes) {
  state_.dashes = dashes;
  // An odd list repeats to make dash-gap pairs.
  if (state_.dashes.size() % 2) state_.dashes += dashes;
}

void DrawContext::set_gradient(bool fill, const GradientSpec& spec, bool fitted) {
  BrushState& b = fill ? state_.fill : state_.pen;
  b.gradient = spec;
  b.kind = fitted ? KIND_FITTED : KIND_PLACED;
  b.transform = QTransform();
}

void DrawContext::set_image_brush(bool fill, const QImage& tile, bool clamp) {
  BrushState& b = fill ? state_.fill : state_.pen;
  b.tile = tile;
  b.clamp = clamp;
  b.kind = KIND_IMAGE;
  b.transform = QTransform();
}

void DrawContext::set_anti_alias(bool on) {
  state_.antialias = on;
  painter_.setRenderHint(QPainter::Antialiasing, on);
}

QBrush DrawContext::brush_for(const BrushState& b, const QRectF& bounds) const {
  if (b.kind == KIND_SOLID) return QBrush(b.color);
  QTransform t = b.transform;
  GradientSpec g = b.gradient;
  if (b.kind == KIND_FITTED || b.kind == KIND_IMAGE) {
    // Fitted brushes are placed on the shape's bounding box, anchored at its corner.
    qreal w = bounds.width(), h = bounds.height();
    if (b.kind == KIND_FITTED && g.type == GRAD_LINEAR) {
      g.p1 = QPointF(0, 0);
      g.p2 = QPointF(w, 0);
    } else if (b.kind == KIND_FITTED && g.type == GRAD_RADIAL) {
      g.p1 = QPointF(w / 2, h / 2);
      g.radius = std::min(w / 2, h / 2);
      g.focal = false;
    }
    t = t * QTransform::fromTranslate(bounds.x(), bounds.y());
  }
  QBrush brush;
  if (b.kind == KIND_IMAGE) {
    brush = QBrush(b.clamp ? clamped(b.tile, bounds.size()) : b.tile);
  } else if (g.type == GRAD_LINEAR) {
    QLinearGradient lg(g.p1, g.p2);
    lg.setStops(g.stops);
    lg.setSpread(g.spread);
    brush = QBrush(lg);
  } else {
    QRadialGradient rg(g.p1, g.radius, g.focal ? g.p2 : g.p1);
    rg.setStops(g.stops);
    rg.setSpread(g.spread);
    brush = QBrush(rg);
  }
  brush.setTransform(t);
  return brush;
}

QPen DrawContext::pen_for(const QRectF& bounds) const {
  QPen pen(brush_for(state_.pen, bounds), state_.pen_width, Qt::SolidLine, state_.cap, state_.join);
  pen.setMiterLimit(state_.miter_limit);
  if (!state_.dashes.isEmpty()) pen.setDashPattern(state_.dashes);
  return pen;
}

// Every shape: filled first, then outlined.
void DrawContext::draw_path(const QPainterPath& path) { paint_path(painter_, path); }

void DrawContext::paint_path(QPainter& painter, const QPainterPath& path) {
  QRectF bounds;
  if (state_.fill.kind >= KIND_FITTED || state_.pen.kind >= KIND_FITTED) {
    qreal half = state_.pen_width / 2;
    bounds = path.boundingRect().adjusted(-half, -half, half, half);
  }
  if (state_.fill.kind != KIND_OFF) painter.fillPath(path, brush_for(state_.fill, bounds));
  if (state_.pen.kind != KIND_OFF) painter.strokePath(path, pen_for(bounds));
}

// ---- Shapes -------------------------------------------------------------------------------

void DrawContext::line(const std::vector<QPointF>& points) {
  if (points.size() < 2) return;
  QPainterPath path(points[0]);
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  if (points.size() == 2) {
    // One segment is a line only: never filled.
    if (state_.pen.kind == KIND_OFF) return;
    qreal half = state_.pen_width / 2;
    painter_.strokePath(path, pen_for(ordered(points[0], points[1]).adjusted(-half, -half, half, half)));
    return;
  }
  draw_path(path);
}

void DrawContext::polygon(const std::vector<QPointF>& points) {
  if (points.empty()) return;
  QPainterPath path(points[0]);
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  path.closeSubpath();
  draw_path(path);
}

void DrawContext::box(QPointF a, QPointF b, qreal radius) {
  QPainterPath path;
  QRectF r = ordered(a, b);
  if (radius != 0) path.addRoundedRect(r, radius, radius);
  else path.addRect(r);
  if (state_.shadows.empty()) draw_path(path);
  else draw_shadowed(path);
}

void DrawContext::ellipse(qreal x, qreal y, qreal w, qreal h) {
  QPainterPath path;
  path.addEllipse(QRectF(x, y, w, h));
  if (state_.shadows.empty()) draw_path(path);
  else draw_shadowed(path);
}

void DrawContext::arc(QPointF centre, QPointF radius, qreal start, qreal sweep, bool closed) {
  qreal rx = radius.x(), ry = radius.y();
  if (sweep >= 359.999f || sweep <= -359.999f) {
    ellipse(centre.x() - rx, centre.y() - ry, 2 * rx, 2 * ry);
    return;
  }
  // The angles are the directions seen on screen: on an ellipse they become the parametric
  // angles of the points in those directions.
  auto point_at = [&](qreal degrees) {
    qreal a = degrees * PI / 180;
    if (rx != ry) a = std::atan2(std::sin(a) * rx, std::cos(a) * ry);
    return QPointF(centre.x() + rx * std::cos(a), centre.y() + ry * std::sin(a));
  };
  QPointF from = point_at(start), to = point_at(start + sweep);
  QPainterPath path;
  if (closed) {
    path.moveTo(centre);
    path.lineTo(from);
  } else {
    path.moveTo(from);
  }
  arc_to(path, from, to, rx, ry, 0, sweep >= 180 || sweep <= -180, sweep >= 0);
  if (closed) path.closeSubpath();
  draw_path(path);
}

void DrawContext::curve(const std::vector<QPointF>& p) {
  if (p.size() < 3 || state_.pen.kind == KIND_OFF) return;
  QPainterPath path(p[0]);
  if (p.size() == 3) path.cubicTo((p[0] + 2 * p[1]) / 3, (p[2] + 2 * p[1]) / 3, p[2]);
  else path.cubicTo(p[1], p[2], p[3]);
  // A curve is never filled.
  qreal half = state_.pen_width / 2;
  painter_.strokePath(path, pen_for(path.boundingRect().adjusted(-half, -half, half, half)));
}

void DrawContext::spline(const std::vector<QPointF>& p, bool closed) {
  size_t count = p.size();
  if (count < 2) return;
  if (count == 2) {
    line(p);
    return;
  }
  size_t n = count - 1;
  auto at = [&](long i) {
    if (closed) return p[static_cast<size_t>((i % long(count) + long(count)) % long(count))];
    return p[static_cast<size_t>(std::clamp<long>(i, 0, long(n)))];
  };
  QPainterPath path(p[0]);
  size_t spans = closed ? count : n;
  for (size_t i = 0; i < spans; ++i) {
    long k = static_cast<long>(i);
    catmull_rom(path, at(k - 1), at(k), at(k + 1), at(k + 2));
  }
  if (closed) path.closeSubpath();
  draw_path(path);
}

// ---- The shape sub-dialect ----------------------------------------------------------------

void DrawContext::shape_begin(bool draw) {
  path_ = QPainterPath();
  path_.setFillRule(draw ? Qt::OddEvenFill : Qt::WindingFill);
  path_draw_ = draw;
  current_ = QPointF(0, 0);
  has_control_ = false;
  path_.moveTo(current_);
}

void DrawContext::shape_move(QPointF p, bool relative) {
  current_ = relative ? current_ + p : p;
  path_.moveTo(current_);
  has_control_ = false;
}

void DrawContext::shape_line(QPointF p, bool relative) {
  current_ = relative ? current_ + p : p;
  path_.lineTo(current_);
  has_control_ = false;
}

void DrawContext::shape_axis(qreal v, bool relative, bool horizontal) {
  qreal& c = horizontal ? current_.rx() : current_.ry();
  c = relative ? c + v : v;
  path_.lineTo(current_);
}

void DrawContext::shape_cubic(QPointF c1, QPointF c2, QPointF end, bool relative) {
  QPointF base = relative ? current_ : QPointF(0, 0);
  path_.cubicTo(base + c1, base + c2, base + end);
  control_ = base + c2;
  current_ = base + end;
  has_control_ = true;
}

void DrawContext::shape_smooth_cubic(QPointF c2, QPointF end, bool relative) {
  QPointF c1 = has_control_ ? 2 * current_ - control_ : current_;
  QPointF base = relative ? current_ : QPointF(0, 0);
  path_.cubicTo(c1, base + c2, base + end);
  control_ = base + c2;
  current_ = base + end;
  has_control_ = true;
}

void DrawContext::shape_quad(QPointF c, QPointF end, bool relative) {
  QPointF base = relative ? current_ : QPointF(0, 0);
  path_.quadTo(base + c, base + end);
  control_ = base + c;
  current_ = base + end;
  has_control_ = true;
}

void DrawContext::shape_smooth_quad(QPointF end, bool relative) {
  QPointF c = has_control_ ? 2 * current_ - control_ : current_;
  QPointF base = relative ? current_ : QPointF(0, 0);
  path_.quadTo(c, base + end);
  control_ = c;
  current_ = base + end;
  has_control_ = true;
}

void DrawContext::shape_arc(QPointF end, qreal rx, qreal ry, qreal angle, bool sweep, bool large,
                            bool relative) {
  QPointF to = relative ? current_ + end : end;
  arc_to(path_, current_, to, rx, ry, angle, large, sweep);
  current_ = to;
}

void DrawContext::shape_close() {
  path_.closeSubpath();
  path_.moveTo(current_);
}

void DrawContext::shape_end() {
  if (path_draw_) draw_path(path_);
  path_ = QPainterPath();
}

// ---- Images -------------------------------------------------------------------------------

void DrawContext::image(const QImage& pixels, const QRectF& source, const QRectF& destination) {
  if (pixels.isNull() || source.isEmpty()) return;
  painter_.drawImage(destination, pixels, source);
}

void DrawContext::image(const QImage& pixels, const QRectF& source, const QPolygonF& quad) {
  if (pixels.isNull() || source.isEmpty()) return;
  QTransform onto;
  QRectF local(QPointF(0, 0), source.size());
  QPolygonF corners{local.topLeft(), local.topRight(), local.bottomRight(), local.bottomLeft()};
  if (quad.size() != 4 || !QTransform::quadToQuad(corners, quad, onto)) return;
  // The projective map acts first, in the coordinates the drawing's transform maps from.
  painter_.setTransform(onto * state_.transform);
  painter_.drawImage(local, pixels, source);
  painter_.setTransform(state_.transform);
}

QImage DrawContext::frame_copy() const {
  auto* frame = dynamic_cast<QImage*>(painter_.device());
  return frame ? frame->copy() : QImage();
}

// ---- Matrices -----------------------------------------------------------------------------

QTransform* DrawContext::matrix_of(MatrixTarget target) {
  if (target == ON_DRAWING) return &state_.transform;
  BrushState& b = target == ON_PEN ? state_.pen : state_.fill;
  // A solid colour has no matrix to change.
  return b.kind >= KIND_PLACED ? &b.transform : nullptr;
}

void DrawContext::combine(MatrixTarget target, const QTransform& t) {
  QTransform* m = matrix_of(target);
  if (!m) return;
  // Prepended, the new transform acts first, in the coordinates the current one maps from.
  *m = state_.prepend ? t * *m : *m * t;
  if (target == ON_DRAWING) painter_.setTransform(state_.transform);
}

void DrawContext::rotate(MatrixTarget target, qreal degrees, QPointF centre) {
  combine(target, about(QTransform().rotate(degrees), centre));
}

void DrawContext::scale(MatrixTarget target, qreal sx, qreal sy, QPointF centre) {
  combine(target, about(QTransform::fromScale(sx, sy), centre));
}

void DrawContext::translate(MatrixTarget target, QPointF by) {
  combine(target, QTransform::fromTranslate(by.x(), by.y()));
}

void DrawContext::skew(MatrixTarget target, qreal x_degrees, qreal y_degrees, QPointF centre) {
  qreal tx = std::tan(x_degrees * PI / 180), ty = std::tan(y_degrees * PI / 180);
  combine(target, QTransform(1, ty, tx, 1, -centre.y() * tx, -centre.x() * ty));
}

void DrawContext::reset_matrix(MatrixTarget target) {
  QTransform* m = matrix_of(target);
  if (!m) return;
  *m = QTransform();
  if (target == ON_DRAWING) painter_.setTransform(state_.transform);
}

void DrawContext::invert_matrix(MatrixTarget target) {
  QTransform* m = matrix_of(target);
  if (!m) return;
  bool invertible = false;
  QTransform inverse = m->inverted(&invertible);
  if (invertible) *m = inverse;
  if (target == ON_DRAWING) painter_.setTransform(state_.transform);
}

// ---- Clips --------------------------------------------------------------------------------

void DrawContext::clip_rect(QPointF a, QPointF b) {
  painter_.save();
  painter_.setClipRect(ordered(a, b), Qt::IntersectClip);
  ++state_.clip_depth;
}

void DrawContext::clip_shape() {
  path_.closeSubpath();
  painter_.save();
  painter_.setClipPath(path_, Qt::IntersectClip);
  ++state_.clip_depth;
  path_ = QPainterPath();
}

void DrawContext::pop_clip() {
  if (state_.clip_depth <= 0) return;
  --state_.clip_depth;
  painter_.restore();
  apply_hints();
}

void DrawContext::pop_state(const DrawState& saved) {
  while (state_.clip_depth > saved.clip_depth) pop_clip();
  state_ = saved;
  apply_hints();
}

}  // namespace tav::gui::draw
