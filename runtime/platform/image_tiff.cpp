// TIFF through libtiff over an in-memory stream. Files of 8-bit RGB or RGBA strips (what the
// encoder writes) are read row by row, keeping straight alpha exactly; every other layout goes
// through libtiff's RGBA reader. Written as uncompressed 8-bit RGBA strips with unassociated
// alpha.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/image_codecs.h"

namespace tav::image_codecs {

namespace tiff_detail {

// One in-memory file: reading works on the caller's bytes, writing on a growing vector.
struct Stream {
  const uint8_t* bytes;
  std::vector<uint8_t>* out;
  uint64_t length;
  uint64_t at;
};

tsize_t read(thandle_t h, tdata_t buffer, tsize_t size) {
  auto* s = static_cast<Stream*>(h);
  if (size < 0 || s->at >= s->length) return 0;
  uint64_t n = std::min<uint64_t>(uint64_t(size), s->length - s->at);
  const uint8_t* from = s->out ? s->out->data() : s->bytes;
  std::memcpy(buffer, from + s->at, n);
  s->at += n;
  return tsize_t(n);
}

tsize_t write(thandle_t h, tdata_t buffer, tsize_t size) {
  auto* s = static_cast<Stream*>(h);
  if (!s->out || size < 0) return 0;
  uint64_t end = s->at + uint64_t(size);
  if (end > s->out->size()) s->out->resize(end);
  std::memcpy(s->out->data() + s->at, buffer, size_t(size));
  s->at = end;
  s->length = std::max(s->length, end);
  return size;
}

toff_t seek(thandle_t h, toff_t offset, int whence) {
  auto* s = static_cast<Stream*>(h);
  uint64_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->length : 0;
  uint64_t to = base + offset;
  // Reading cannot go past the end; writing may (the gap reads as zeros).
  if (!s->out && to > s->length) return toff_t(-1);
  s->at = to;
  return to;
}

int close(thandle_t) { return 0; }
toff_t size(thandle_t h) { return static_cast<Stream*>(h)->length; }
int map(thandle_t, tdata_t*, toff_t*) { return 0; }
void unmap(thandle_t, tdata_t, toff_t) {}

::TIFF* open(Stream* s, const char* mode) {
  // The library reports faults through its handlers; they are ours to turn into results.
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  return TIFFClientOpen("image", mode, s, read, write, seek, close, size, map, unmap);
}

uint32_t rgba_to_pixel(uint32_t abgr) {
  return TIFFGetA(abgr) << 24 | TIFFGetR(abgr) << 16 | TIFFGetG(abgr) << 8 | TIFFGetB(abgr);
}

// 8-bit RGB or RGBA strips: row by row. False when the file is of another layout.
bool plain_layout(::TIFF* tif, uint16_t* samples) {
  uint16_t bits = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, extra_count = 0;
  uint16_t* extra = nullptr;
  if (TIFFIsTiled(tif)) return false;
  if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) || bits != 8) return false;
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || photometric != PHOTOMETRIC_RGB)
    return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  if (planar != PLANARCONFIG_CONTIG) return false;
  if (!TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, samples)) return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
  if (*samples == 3) return extra_count == 0;
  return *samples == 4 && extra_count == 1 && extra[0] == EXTRASAMPLE_UNASSALPHA;
}

image_store::Record* read_image(::TIFF* tif) {
  uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  if (w == 0 || h == 0 || !image_store::size_ok(w, h)) return nullptr;
  uint16_t samples = 0;
  if (plain_layout(tif, &samples)) {
    tmsize_t line = TIFFScanlineSize(tif);
    if (line < tmsize_t(uint64_t(w) * samples)) return nullptr;
    std::vector<uint8_t> row(static_cast<size_t>(line));
    image_store::Record* r = image_store::allocate(w, h);
    if (!r) return nullptr;
    for (uint32_t y = 0; y < h; y++) {
      if (TIFFReadScanline(tif, row.data(), y, 0) < 0) {
        image_store::destroy(r);
        return nullptr;
      }
      uint32_t* dst = r->pixels + uint64_t(y) * w;
      for (uint32_t x = 0; x < w; x++) {
        const uint8_t* p = row.data() + size_t(x) * samples;
        uint32_t a = samples == 4 ? p[3] : 255;
        dst[x] = a << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
      }
    }
    return r;
  }
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return nullptr;
  image_store::Record* r = image_store::allocate(w, h);
  if (!r) return nullptr;
  if (!TIFFReadRGBAImageOriented(tif, w, h, r->pixels, ORIENTATION_TOPLEFT, 0)) {
    image_store::destroy(r);
    return nullptr;
  }
  for (uint64_t i = 0; i < r->count(); i++) r->pixels[i] = rgba_to_pixel(r->pixels[i]);
  return r;
}

}  // namespace tiff_detail

image_store::Record* decode_tiff(const uint8_t* bytes, size_t length) {
  tiff_detail::Stream s{bytes, nullptr, length, 0};
  ::TIFF* tif = tiff_detail::open(&s, "rm");
  if (!tif) return nullptr;
  image_store::Record* r = tiff_detail::read_image(tif);
  TIFFClose(tif);
  return r;
}

bool encode_tiff(const image_store::Record* r, std::vector<uint8_t>* out) {
  std::vector<uint8_t> file;
  tiff_detail::Stream s{nullptr, &file, 0, 0};
  ::TIFF* tif = tiff_detail::open(&s, "wm");
  if (!tif) return false;
  uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, r->width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, r->height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  std::vector<uint8_t> row(size_t(r->width) * 4);
  bool ok = true;
  for (uint32_t y = 0; ok && y < r->height; y++) {
    const uint32_t* src = r->pixels + uint64_t(y) * r->width;
    for (uint32_t x = 0; x < r->width; x++) {
      uint32_t p = src[x];
      row[x * 4] = uint8_t(p >> 16);
      row[x * 4 + 1] = uint8_t(p >> 8);
      row[x * 4 + 2] = uint8_t(p);
      row[x * 4 + 3] = uint8_t(p >> 24);
    }
    ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
  }
  TIFFClose(tif);
  if (!ok) return false;
  out->insert(out->end(), file.begin(), file.end());
  return true;
}

}  // namespace tav::image_codecs
