// GIF through giflib. Decoding reads records up to the first image and stops there: the
// result is the first frame on the logical screen (uncovered pixels and the frame's
// transparent colour fully transparent). Encoding writes one frame with an exact palette
// when the image has at most 256 colours, else giflib's quantised one; alpha is not kept.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/image_codecs.h"

namespace tav::image_codecs {

namespace gif_detail {

struct Source {
  const uint8_t* bytes;
  size_t length;
  size_t at;
};

int read(GifFileType* gif, GifByteType* buffer, int wanted) {
  auto* s = static_cast<Source*>(gif->UserData);
  size_t n = std::min(size_t(wanted < 0 ? 0 : wanted), s->length - s->at);
  std::memcpy(buffer, s->bytes + s->at, n);
  s->at += n;
  return int(n);
}

int write(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

// Reads the first frame onto the record; false on any fault.
bool first_frame(GifFileType* gif, image_store::Record** result) {
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK) return false;
    if (type == TERMINATE_RECORD_TYPE) return false;
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return false;
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
      }
      while (ext)
        if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return false;
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) != GIF_OK) return false;
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map || d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0) return false;
    uint64_t w = std::max<uint64_t>(uint64_t(gif->SWidth), uint64_t(d.Left) + d.Width);
    uint64_t h = std::max<uint64_t>(uint64_t(gif->SHeight), uint64_t(d.Top) + d.Height);
    if (!image_store::size_ok(w, h)) return false;
    // An LZW code stands for at most 4,096 pixels and takes at least 2 bits: a frame larger
    // than the bytes left could hold is refused before its memory is asked for. The screen
    // around the frame costs no data, so it may only add as much again.
    auto* source = static_cast<Source*>(gif->UserData);
    uint64_t most = (uint64_t(source->length - source->at) + 1) * 16384;
    if (uint64_t(d.Width) * d.Height > most || w * h > 2 * most + 65536) return false;
    image_store::Record* r = image_store::allocate(uint32_t(w), uint32_t(h));
    if (!r) return false;
    *result = r;
    uint32_t palette[256];
    for (int i = 0; i < 256; i++) {
      const GifColorType* c = i < map->ColorCount ? &map->Colors[i] : nullptr;
      palette[i] = i == transparent ? 0
                   : c ? 0xFF000000u | uint32_t(c->Red) << 16 | uint32_t(c->Green) << 8 | c->Blue
                       : 0xFF000000u;
    }
    std::vector<GifPixelType> line(size_t(d.Width));
    auto put_row = [&](int y) {
      if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) return false;
      uint32_t* dst = r->pixels + (uint64_t(d.Top) + y) * w + d.Left;
      for (int x = 0; x < d.Width; x++)
        if (line[x] != transparent) dst[x] = palette[line[x]];
      return true;
    };
    if (d.Interlace) {
      static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; pass++)
        for (int y = start[pass]; y < d.Height; y += step[pass])
          if (!put_row(y)) return false;
    } else {
      for (int y = 0; y < d.Height; y++)
        if (!put_row(y)) return false;
    }
    return true;
  }
}

}  // namespace gif_detail

image_store::Record* decode_gif(const uint8_t* bytes, size_t length) {
  gif_detail::Source source{bytes, length, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, gif_detail::read, &error);
  if (!gif) return nullptr;
  image_store::Record* r = nullptr;
  bool ok = gif_detail::first_frame(gif, &r);
  DGifCloseFile(gif, &error);
  if (ok) return r;
  image_store::destroy(r);
  return nullptr;
}

bool encode_gif(const image_store::Record* r, std::vector<uint8_t>* out) {
  uint64_t n = r->count();
  if (r->width > 65535 || r->height > 65535) return false;
  std::vector<GifByteType> indexes(n);
  std::vector<GifColorType> colours;
  std::unordered_map<uint32_t, uint8_t> seen;
  bool exact = true;
  for (uint64_t i = 0; i < n && exact; i++) {
    uint32_t c = r->pixels[i] & 0xFFFFFF;
    auto it = seen.find(c);
    if (it != seen.end()) {
      indexes[i] = it->second;
    } else if (colours.size() < 256) {
      seen.emplace(c, uint8_t(colours.size()));
      indexes[i] = uint8_t(colours.size());
      colours.push_back(GifColorType{GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)});
    } else {
      exact = false;
    }
  }
  if (!exact) {
    std::vector<GifByteType> red(n), green(n), blue(n);
    for (uint64_t i = 0; i < n; i++) {
      red[i] = GifByteType(r->pixels[i] >> 16);
      green[i] = GifByteType(r->pixels[i] >> 8);
      blue[i] = GifByteType(r->pixels[i]);
    }
    int size = 256;
    colours.assign(256, GifColorType{0, 0, 0});
    if (GifQuantizeBuffer(r->width, r->height, &size, red.data(), green.data(), blue.data(),
                          indexes.data(), colours.data()) != GIF_OK)
      return false;
    colours.resize(size_t(size));
  }
  int bits = 1;
  while ((1u << bits) < colours.size()) bits++;
  colours.resize(size_t(1) << bits, GifColorType{0, 0, 0});
  ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
  if (!map) return false;
  int error = 0;
  size_t at = out->size();
  GifFileType* gif = EGifOpen(out, gif_detail::write, &error);
  bool ok = gif && EGifPutScreenDesc(gif, int(r->width), int(r->height), bits, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, int(r->width), int(r->height), false, nullptr) == GIF_OK;
  for (uint32_t y = 0; ok && y < r->height; y++)
    ok = EGifPutLine(gif, indexes.data() + uint64_t(y) * r->width, int(r->width)) == GIF_OK;
  if (gif && EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  GifFreeMapObject(map);
  if (!ok) out->resize(at);
  return ok;
}

}  // namespace tav::image_codecs
