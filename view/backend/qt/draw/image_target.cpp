#include "view/backend/qt/draw/image_target.h"

#include <cstring>

#include "core/errors.h"
#include "core/ownership.h"
#include "core/words.h"
#include "datatypes/image.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/draw/draw_dialect.h"

namespace tav::gui::draw {

QImage* StoreTarget::begin() {
  if (!record_ || !record_->pixels || record_->count() == 0) return nullptr;
  const uint32_t* pre = image_store::premultiplied(record_);
  frame_ = QImage(reinterpret_cast<const uchar*>(pre), int(record_->width), int(record_->height),
                  int(record_->width * 4), QImage::Format_ARGB32_Premultiplied)
               .copy();
  return &frame_;
}

void StoreTarget::end() {
  if (frame_.isNull()) return;
  QImage straight = frame_.convertToFormat(QImage::Format_ARGB32);
  image_store::Pixels px = image_store::lock(record_, true);
  for (uint32_t y = 0; y < px.height; ++y)
    std::memcpy(reinterpret_cast<uchar*>(px.data) + size_t(y) * px.stride, straight.constScanLine(int(y)),
                size_t(px.width) * 4);
  image_store::unlock(record_);
  image_store::mark_changed(record_);
  frame_ = QImage();
}

QImage pixels_of(const Cell* image) {
  image_store::Record* r = image_store::record(image);
  if (!r || !r->pixels || r->count() == 0) return QImage();
  const uint32_t* pre = image_store::premultiplied(r);
  return QImage(reinterpret_cast<const uchar*>(pre), int(r->width), int(r->height),
                int(r->width * 4), QImage::Format_ARGB32_Premultiplied);
}

void image_value(const QImage& picture, Cell* out) {
  QImage img = picture.convertToFormat(QImage::Format_ARGB32);
  image_store::Record* r = image_store::allocate(static_cast<uint32_t>(img.width()),
                                                 static_cast<uint32_t>(img.height()));
  if (!r) error::raise(ERR_INTERNAL, "no-memory");
  for (int y = 0; y < img.height(); ++y)
    std::memcpy(r->pixels + static_cast<size_t>(y) * r->width, img.constScanLine(y),
                static_cast<size_t>(r->width) * 4);
  image_store::make_value(out, r);
}

const void* identity_of(const Cell* image) { return image_store::record(image); }

void draw_face_image(DrawContext& ctx, const Cell* face) {
  constexpr uint32_t FACE_SIZE = 2, FACE_IMAGE = 4;
  Cell* image = platform::face_field(face, FACE_IMAGE);
  Cell* size = platform::face_field(face, FACE_SIZE);
  if (!image || !image->is(TYPE_IMAGE) || !size) return;
  QPointF extent;
  if (size->is(TYPE_PAIR)) extent = QPointF(pair::x_of(size), pair::y_of(size));
  else if (size->is(TYPE_POINT2D)) extent = QPointF(point::x_of(size), point::y_of(size));
  else return;
  QImage pixels = pixels_of(image);
  if (pixels.isNull()) return;
  ctx.image(pixels, QRectF(0, 0, pixels.width(), pixels.height()), QRectF(QPointF(0, 0), extent));
}

void draw_image(Cell* image, const Cell* commands) {
  if (image::width(image) == 0 || image::height(image) == 0) return;
  StoreTarget target(image_store::record(image));
  do_draw(target, commands, false);
  // The whole image changed, as one poke would tell its owner.
  ownership::check_and_notify(image, &words::poke, nullptr, -1, -1);
}

}  // namespace tav::gui::draw
