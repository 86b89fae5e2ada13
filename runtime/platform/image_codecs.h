// The image codecs: BMP (written here), PNG (libpng), JPEG (libjpeg-turbo), GIF (giflib) and
// TIFF (libtiff). Decoding picks the format by the data's signature; encoding by its index.
//
// Nothing here raises: a decoder answers null for data it cannot decode (a corrupt or
// truncated file, a size the store refuses, which is checked before any pixel memory is
// taken), an encoder false. Which formats keep what: PNG and TIFF keep every pixel and its
// alpha; BMP keeps the colours (it reads back opaque); JPEG is lossy (quality 90) and opaque;
// GIF keeps up to 256 colours exactly, quantises beyond, and reads back opaque except for
// its transparent colour; a GIF decodes to its first frame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/image_store.h"

namespace tav::image_codecs {

enum Format : int { BMP = 0, PNG = 1, GIF = 2, JPEG = 3, TIFF = 4 };
constexpr int FORMAT_COUNT = 5;

// The format the first bytes name, or -1: PNG 137 "PNG"; JPEG 255 216 255; BMP "BM"; GIF
// "GIF87a" or "GIF89a"; TIFF "II*" 0 or "MM" 0 "*".
int sniff(const uint8_t* bytes, size_t length);

// A new record decoded from the bytes, or null.
image_store::Record* decode(const uint8_t* bytes, size_t length);

// Appends the encoded record to out; false when the format index is unknown or the encoder
// failed. A record with no pixels gives no bytes (and true).
bool encode(const image_store::Record* r, int format, std::vector<uint8_t>* out);

// Each format's own entry points (the dispatchers above call them).
image_store::Record* decode_bmp(const uint8_t* bytes, size_t length);
image_store::Record* decode_png(const uint8_t* bytes, size_t length);
image_store::Record* decode_jpeg(const uint8_t* bytes, size_t length);
image_store::Record* decode_gif(const uint8_t* bytes, size_t length);
image_store::Record* decode_tiff(const uint8_t* bytes, size_t length);
bool encode_bmp(const image_store::Record* r, std::vector<uint8_t>* out);
bool encode_png(const image_store::Record* r, std::vector<uint8_t>* out);
bool encode_jpeg(const image_store::Record* r, std::vector<uint8_t>* out);
bool encode_gif(const image_store::Record* r, std::vector<uint8_t>* out);
bool encode_tiff(const image_store::Record* r, std::vector<uint8_t>* out);

}  // namespace tav::image_codecs
