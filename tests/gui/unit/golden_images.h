// Comparing a rendered image with its golden image.
#pragma once
#include <QImage>
#include <cstdlib>
#include <string>

namespace tav::viewtest {

// Equal within 2 per channel, or else matched by a pixel of the golden image at most 2 pixels
// away: antialiased edges and glyphs may move slightly between renderers, insides may not.
inline bool close_to(const QImage& got, const QImage& want, std::string* why) {
  if (got.size() != want.size()) {
    *why = "size differs";
    return false;
  }
  auto near = [](QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
           std::abs(qBlue(a) - qBlue(b)) <= 2 && std::abs(qAlpha(a) - qAlpha(b)) <= 2;
  };
  for (int y = 0; y < got.height(); ++y)
    for (int x = 0; x < got.width(); ++x) {
      QRgb g = got.pixel(x, y);
      if (near(g, want.pixel(x, y))) continue;
      bool edge = false;
      for (int dy = -2; dy <= 2 && !edge; ++dy)
        for (int dx = -2; dx <= 2 && !edge; ++dx) {
          int xx = x + dx, yy = y + dy;
          if (xx >= 0 && yy >= 0 && xx < got.width() && yy < got.height())
            edge = near(g, want.pixel(xx, yy));
        }
      if (!edge) {
        *why = "pixel " + std::to_string(x) + "x" + std::to_string(y) + " differs";
        return false;
      }
    }
  return true;
}

}  // namespace tav::viewtest
