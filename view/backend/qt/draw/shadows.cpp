// Shadows under shapes: the shape is drawn alone into a layer; each shadow is that layer
// spread, coloured, blurred and put down at its offset, and the layer goes on top. The blur
// is three box blurs in a row, close to a Gaussian of sigma = blur / 1.8799711.
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "view/backend/qt/draw/draw_context.h"

namespace tav::gui::draw {

namespace {

// The widths of three boxes whose run approaches a Gaussian of that sigma.
std::vector<int> box_widths(qreal sigma) {
  const int n = 3;
  qreal ideal = std::sqrt(12 * sigma * sigma / n + 1);
  int lower = static_cast<int>(std::floor(ideal));
  if (lower % 2 == 0) --lower;
  int upper = lower + 2;
  qreal m_ideal = (12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4);
  int m = static_cast<int>(std::round(m_ideal));
  std::vector<int> out;
  for (int i = 0; i < n; ++i) out.push_back(i < m ? lower : upper);
  return out;
}

// One box pass along rows (or columns) of premultiplied pixels; outside is transparent.
void box_pass(QImage& img, int radius, bool horizontal) {
  if (radius <= 0) return;
  int w = img.width(), h = img.height();
  int lines = horizontal ? h : w, length = horizontal ? w : h;
  std::vector<uint32_t> src(length);
  int width = 2 * radius + 1;
  for (int l = 0; l < lines; ++l) {
    auto px = [&](int i) -> QRgb& {
      return horizontal ? reinterpret_cast<QRgb*>(img.scanLine(l))[i]
                        : reinterpret_cast<QRgb*>(img.scanLine(i))[l];
    };
    for (int i = 0; i < length; ++i) src[i] = px(i);
    int sum[4] = {0, 0, 0, 0};
    auto add = [&](int i, int sign) {
      if (i < 0 || i >= length) return;
      uint32_t v = src[i];
      for (int c = 0; c < 4; ++c) sum[c] += sign * static_cast<int>((v >> (8 * c)) & 0xFF);
    };
    for (int i = -radius; i < radius; ++i) add(i, 1);
    for (int i = 0; i < length; ++i) {
      add(i + radius, 1);
      uint32_t v = 0;
      for (int c = 0; c < 4; ++c) v |= static_cast<uint32_t>((sum[c] + width / 2) / width) << (8 * c);
      px(i) = v;
      add(i - radius, -1);
    }
  }
}

void blur(QImage& img, qreal sigma) {
  if (sigma <= 0) return;
  for (int w : box_widths(sigma)) {
    box_pass(img, (w - 1) / 2, true);
    box_pass(img, (w - 1) / 2, false);
  }
}

}  // namespace

void DrawContext::draw_shadowed(const QPainterPath& path) {
  QPaintDevice* device = painter_.device();
  qreal dpr = device->devicePixelRatioF();
  QImage layer(device->width() * dpr, device->height() * dpr, QImage::Format_ARGB32_Premultiplied);
  layer.setDevicePixelRatio(dpr);
  layer.fill(Qt::transparent);
  {
    QPainter p(&layer);
    p.setRenderHints(painter_.renderHints());
    p.setTransform(painter_.transform());
    paint_path(p, path);
  }
  qreal half = state_.pen.kind != KIND_OFF ? state_.pen_width / 2 : 0;
  QRectF bounds = painter_.transform().mapRect(path.boundingRect().adjusted(-half, -half, half, half));
  QTransform kept = painter_.transform();
  painter_.resetTransform();
  for (const Shadow& s : state_.shadows) {
    QImage shadow(layer.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(dpr);
    shadow.fill(Qt::transparent);
    {
      QPainter p(&shadow);
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      // The spread grows the shape by that much on every side.
      if (s.spread != 0 && bounds.width() > 0 && bounds.height() > 0) {
        QPointF c = bounds.center();
        p.translate(c);
        p.scale((bounds.width() + 2 * s.spread) / bounds.width(),
                (bounds.height() + 2 * s.spread) / bounds.height());
        p.translate(-c);
      }
      p.drawImage(QPointF(0, 0), layer);
      p.resetTransform();
      p.setCompositionMode(QPainter::CompositionMode_SourceIn);
      p.fillRect(QRectF(0, 0, layer.width() / dpr, layer.height() / dpr), s.color);
    }
    blur(shadow, s.blur / 1.8799711 * dpr);
    painter_.drawImage(s.offset, shadow);
  }
  painter_.drawImage(QPointF(0, 0), layer);
  painter_.setTransform(kept);
}

}  // namespace tav::gui::draw
