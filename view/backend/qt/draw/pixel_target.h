// What a drawing goes into: a window's back buffer, an image!'s pixels, or a plain QImage
// (tests, pattern brushes). The target hands out premultiplied pixels for the frame and takes
// them back when the frame ends, converting to its own storage if it keeps another format.
#pragma once
#include <QImage>

namespace tav::gui::draw {

class PixelTarget {
 public:
  virtual ~PixelTarget() = default;
  // The pixels to paint on for one frame; null when there is nothing to draw on.
  virtual QImage* begin() = 0;
  // The frame is over: the pixels are final.
  virtual void end() = 0;
  // What is drawn on, when it is an image! value's pixels: drawing that image onto itself
  // then reads the frame as it stands.
  virtual const void* identity() const { return nullptr; }
};

// A QImage the caller owns, kept in straight-alpha ARGB32 (the image store's format): the
// frame draws on a premultiplied copy, converted back at the end.
class ImageTarget : public PixelTarget {
 public:
  explicit ImageTarget(QImage* image) : image_(image) {}
  QImage* begin() override {
    if (!image_ || image_->isNull()) return nullptr;
    frame_ = image_->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return &frame_;
  }
  void end() override { *image_ = frame_.convertToFormat(QImage::Format_ARGB32); }

 private:
  QImage* image_;
  QImage frame_;
};

// A premultiplied QImage drawn on in place (a back buffer).
class BufferTarget : public PixelTarget {
 public:
  explicit BufferTarget(QImage* buffer) : buffer_(buffer) {}
  QImage* begin() override { return buffer_ && !buffer_->isNull() ? buffer_ : nullptr; }
  void end() override {}

 private:
  QImage* buffer_;
};

}  // namespace tav::gui::draw
