// image!: a raster of 32-bit pixels seen as a series of pixels in row-major order.
//
// The cell: header (type 53), the index (a pixel offset, 0-based), the node of the platform
// image (platform/image_store.h), and the size word height << 16 | width. Cells on the same
// node share the pixels. A pixel reads as the tuple R.G.B.A where A is the transparency
// (255 - the stored opacity); a 3-byte tuple means opaque.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.h"
#include "platform/image_store.h"

namespace tav::image {

inline uint32_t width(const Cell* img) { return image_store::width_of(img->data3); }
inline uint32_t height(const Cell* img) { return image_store::height_of(img->data3); }

// Encoding formats, the indexes image/encode takes.
enum Format : int { FORMAT_BMP = 0, FORMAT_PNG = 1, FORMAT_GIF = 2, FORMAT_JPEG = 3, FORMAT_TIFF = 4 };

// Makes `out` an image! over the record, index 0 (the record now belongs to the value).
Cell* make_at(Cell* out, image_store::Record* r);
// A new image of width × height whose pixels the caller fills (raw words); raises internal
// no-memory for a size the store refuses.
Cell* make_blank(Cell* out, uint32_t width, uint32_t height);

// A new image decoded from the bytes when they start with a known signature, else none;
// undecodable data raises access bad-media. Written into out.
Cell* load_from_binary(Cell* out, const uint8_t* bytes, size_t length);
// The image in the file; a file that cannot be read or decoded raises access cannot-open.
Cell* load_from_file(Cell* out, const Cell* file);
// binary! -> load_from_binary, anything else -> load_from_file. Pushes and answers it.
Cell* decode(const Cell* source);
// The image encoded in the format: a new binary!, or the bytes appended to a binary! where
// (which is answered). An image with no pixels raises access bad-media. Pushes and answers it.
Cell* encode(const Cell* img, const Cell* where, int format);

// The pixel at a position (integer: from the index, one-based; pair: x, y from 1) as a tuple,
// pushed; none outside the image.
Cell* pick_at(const Cell* img, const Cell* pos);
// Stores a tuple at the position; outside raises out-of-range, another value invalid-arg.
Cell* poke_at(Cell* img, const Cell* pos, Cell* value);

// Whole-image byte forms: 4 raw bytes a pixel (B, G, R, A), R G B, or the transparencies.
enum PixelMode : int { MODE_ALPHA = 0, MODE_RGB = 1, MODE_ARGB = 2 };
// A new binary! of every pixel in the mode, pushed.
Cell* pixels_to_binary(const Cell* img, PixelMode mode);
// Writes every pixel from a binary!, a tuple! or an integer! (another type raises invalid-arg).
void set_pixels(Cell* img, Cell* value, PixelMode mode);

// The pixel tuple (R, G, B, 255 - opacity) of a raw pixel word.
Cell* pixel_tuple(Cell* out, uint32_t pixel);

void init();

}  // namespace tav::image
