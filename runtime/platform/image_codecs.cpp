#include "platform/image_codecs.h"

#include <cstring>

namespace tav::image_codecs {

int sniff(const uint8_t* b, size_t n) {
  auto starts = [&](const char* sig, size_t len) { return n >= len && std::memcmp(b, sig, len) == 0; };
  if (starts("\x89PNG", 4)) return PNG;
  if (starts("\xFF\xD8\xFF", 3)) return JPEG;
  if (starts("BM", 2)) return BMP;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return GIF;
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return TIFF;
  return -1;
}

image_store::Record* decode(const uint8_t* bytes, size_t length) {
  switch (sniff(bytes, length)) {
    case BMP: return decode_bmp(bytes, length);
    case PNG: return decode_png(bytes, length);
    case JPEG: return decode_jpeg(bytes, length);
    case GIF: return decode_gif(bytes, length);
    case TIFF: return decode_tiff(bytes, length);
    default: return nullptr;
  }
}

bool encode(const image_store::Record* r, int format, std::vector<uint8_t>* out) {
  if (format < 0 || format >= FORMAT_COUNT) return false;
  if (!r->count()) return true;
  switch (format) {
    case BMP: return encode_bmp(r, out);
    case PNG: return encode_png(r, out);
    case GIF: return encode_gif(r, out);
    case JPEG: return encode_jpeg(r, out);
    default: return encode_tiff(r, out);
  }
}

}  // namespace tav::image_codecs
