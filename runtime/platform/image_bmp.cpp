// BMP, read and written here: uncompressed rows of 1, 4, 8 (palette), 16, 24 and 32 bits, with
// bit-field masks, bottom-up or top-down. Written as 32-bit rows; 32-bit rows read opaque
// unless the header gives an alpha mask.
#include <cstring>

#include "platform/image_codecs.h"

namespace tav::image_codecs {

namespace bmp_detail {

uint32_t u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

void put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>* out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// One channel of a bit-field mask: where it sits and how wide it is.
struct Channel {
  uint32_t mask = 0, shift = 0, bits = 0;
  explicit Channel(uint32_t m) : mask(m) {
    if (!m) return;
    while (!(m & 1)) {
      m >>= 1;
      shift++;
    }
    while (m & 1) {
      m >>= 1;
      bits++;
    }
  }
  uint8_t get(uint32_t v, uint8_t none) const {
    if (!mask) return none;
    uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return uint8_t(x >> (bits - 8));
    return uint8_t(x * 255 / ((1u << bits) - 1));
  }
};

}  // namespace bmp_detail

image_store::Record* decode_bmp(const uint8_t* b, size_t n) {
  using namespace bmp_detail;
  if (n < 26) return nullptr;
  uint32_t offset = u32(b + 10);
  uint32_t dib = u32(b + 14);
  int64_t w, h;
  uint32_t bpp, compression = 0, colours = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  bool has_masks = false;
  size_t entry = 4;
  if (dib == 12) {
    w = u16(b + 18);
    h = int16_t(u16(b + 20));
    bpp = u16(b + 24);
    entry = 3;
  } else if (dib >= 40 && dib <= 124 && n >= 14 + size_t(dib)) {
    w = int32_t(u32(b + 18));
    h = int32_t(u32(b + 22));
    bpp = u16(b + 28);
    compression = u32(b + 30);
    colours = u32(b + 46);
    if (compression == 3 || compression == 6) {
      size_t at = 14 + 40;
      size_t count = compression == 6 || dib >= 56 ? 4 : 3;
      if (at + count * 4 > n) return nullptr;
      for (size_t i = 0; i < count; i++) masks[i] = u32(b + at + i * 4);
      has_masks = true;
    } else if (dib >= 56) {
      masks[3] = u32(b + 14 + 52);
    }
  } else {
    return nullptr;
  }
  if (compression != 0 && !((compression == 3 || compression == 6) && (bpp == 16 || bpp == 32)))
    return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  bool top_down = h < 0;
  if (top_down) h = -h;
  if (w <= 0 || h <= 0 || !image_store::size_ok(uint64_t(w), uint64_t(h))) return nullptr;
  uint64_t stride = ((uint64_t(w) * bpp + 31) / 32) * 4;
  if (uint64_t(offset) + stride * uint64_t(h) > n) return nullptr;

  uint32_t palette[256];
  if (bpp <= 8) {
    uint32_t max = 1u << bpp;
    if (colours == 0 || colours > max) colours = max;
    size_t at = 14 + size_t(dib) + (has_masks && dib == 40 ? 12 : 0);
    if (at + colours * entry > n) return nullptr;
    for (uint32_t i = 0; i < 256; i++) palette[i] = 0xFF000000u;
    for (uint32_t i = 0; i < colours; i++) {
      const uint8_t* e = b + at + i * entry;
      palette[i] = 0xFF000000u | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
    }
  }
  if (!has_masks) {
    if (bpp == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000;
      masks[1] = 0xFF00;
      masks[2] = 0xFF;
    }
  }
  Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);

  image_store::Record* r = image_store::allocate(uint32_t(w), uint32_t(h));
  if (!r) return nullptr;
  for (int64_t y = 0; y < h; y++) {
    const uint8_t* row = b + offset + stride * uint64_t(top_down ? y : h - 1 - y);
    uint32_t* dst = r->pixels + uint64_t(y) * uint64_t(w);
    for (int64_t x = 0; x < w; x++) {
      uint32_t p;
      switch (bpp) {
        case 1: p = palette[(row[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: p = palette[(row[x >> 1] >> (x & 1 ? 0 : 4)) & 0xF]; break;
        case 8: p = palette[row[x]]; break;
        case 24:
          p = 0xFF000000u | uint32_t(row[x * 3 + 2]) << 16 | uint32_t(row[x * 3 + 1]) << 8 |
              row[x * 3];
          break;
        default: {
          uint32_t v = bpp == 16 ? u16(row + x * 2) : u32(row + x * 4);
          p = uint32_t(alpha.get(v, 255)) << 24 | uint32_t(red.get(v, 0)) << 16 |
              uint32_t(green.get(v, 0)) << 8 | blue.get(v, 0);
        }
      }
      dst[x] = p;
    }
  }
  return r;
}

bool encode_bmp(const image_store::Record* r, std::vector<uint8_t>* out) {
  using namespace bmp_detail;
  uint64_t bytes = r->count() * 4;
  if (bytes + 54 > 0xFFFFFFFFull) return false;
  out->reserve(out->size() + 54 + bytes);
  out->push_back('B');
  out->push_back('M');
  put32(out, uint32_t(54 + bytes));
  put32(out, 0);
  put32(out, 54);
  put32(out, 40);
  put32(out, r->width);
  put32(out, r->height);   // positive: rows bottom-up
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);           // uncompressed
  put32(out, uint32_t(bytes));
  put32(out, 2835);        // 72 dots an inch
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  for (uint32_t y = r->height; y-- > 0;) {
    const auto* row = reinterpret_cast<const uint8_t*>(r->pixels + uint64_t(y) * r->width);
    out->insert(out->end(), row, row + uint64_t(r->width) * 4);
  }
  return true;
}

}  // namespace tav::image_codecs
