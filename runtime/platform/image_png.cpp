// PNG through libpng's simplified interface, which reports every fault through its result
// (no jump out of our frames). Pixels are read and written as 8-bit BGRA, the store's layout.
#include <png.h>

#include <cstring>

#include "platform/image_codecs.h"

namespace tav::image_codecs {

image_store::Record* decode_png(const uint8_t* bytes, size_t length) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, length)) return nullptr;
  // The size is checked before the pixels are allocated: against the store's limits, and
  // against the data, since deflate expands at most 1,032 times and a row takes at least a
  // filter byte and a bit a pixel.
  uint64_t least = uint64_t(image.height) * (1 + (uint64_t(image.width) + 7) / 8);
  if (!image_store::size_ok(image.width, image.height) || image.width == 0 || image.height == 0 ||
      least > uint64_t(length) * 1032) {
    png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_BGRA;
  image_store::Record* r = image_store::allocate(image.width, image.height);
  if (!r) {
    png_image_free(&image);
    return nullptr;
  }
  if (!png_image_finish_read(&image, nullptr, r->pixels, int32_t(r->width * 4), nullptr)) {
    png_image_free(&image);
    image_store::destroy(r);
    return nullptr;
  }
  return r;
}

bool encode_png(const image_store::Record* r, std::vector<uint8_t>* out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = r->width;
  image.height = r->height;
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, r->pixels, int32_t(r->width * 4), nullptr))
    return false;
  size_t at = out->size();
  out->resize(at + size);
  if (!png_image_write_to_memory(&image, out->data() + at, &size, 0, r->pixels,
                                 int32_t(r->width * 4), nullptr)) {
    out->resize(at);
    return false;
  }
  out->resize(at + size);
  return true;
}

}  // namespace tav::image_codecs
