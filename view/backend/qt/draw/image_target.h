// Drawing on image! values: the frame target over an image's pixels, how the dialect reads an
// image's pixels, and the `draw-image` work behind the language's `draw`.
#pragma once
#include <QImage>

#include "core/cell.h"
#include "platform/image_store.h"
#include "view/backend/qt/draw/draw_context.h"
#include "view/backend/qt/draw/pixel_target.h"

namespace tav::gui::draw {

// The frame draws on a premultiplied copy of the image's pixels; the end writes them back
// (straight alpha) and marks the image changed, so every cached copy of it is dropped.
class StoreTarget : public PixelTarget {
 public:
  explicit StoreTarget(image_store::Record* record) : record_(record) {}
  QImage* begin() override;
  void end() override;
  const void* identity() const override { return record_; }

 private:
  image_store::Record* record_;
  QImage frame_;
};

// The pixels of an image! value, premultiplied, without copying; null when it has none. The
// image is only valid until the value's pixels change.
QImage pixels_of(const Cell* image);

// A new image! value holding a copy of the picture's pixels (a screen grab, a pasted image).
void image_value(const QImage& picture, Cell* out);

// The image! value's pixel record, the identity a frame on it has.
const void* identity_of(const Cell* image);

// A face's `image`, when it holds one, stretched over the face's `size`: part of the face's
// own content, under its Draw block.
void draw_face_image(DrawContext& ctx, const Cell* face);

// Renders the commands into the image; a refused block raises its error once the frame is
// closed. An image with no pixels is left alone. The change is reported to the image's owner.
void draw_image(Cell* image, const Cell* commands);

}  // namespace tav::gui::draw
