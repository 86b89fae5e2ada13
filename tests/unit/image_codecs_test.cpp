#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "datatypes/image.h"
#include "datatypes/tuple.h"
#include "platform/image_codecs.h"
#include "platform/image_store.h"
#include "test_runtime.h"

namespace tav::image_codecs_test {

using Bytes = std::vector<uint8_t>;
using image_store::Record;
namespace codecs = image_codecs;

struct Free {
  void operator()(Record* r) const { image_store::destroy(r); }
};
using Owned = std::unique_ptr<Record, Free>;

// A width × height image of varied colours; with alpha, varied opacities too.
Owned sample(uint32_t w, uint32_t h, bool alpha) {
  Owned r(image_store::allocate(w, h));
  uint32_t s = 12345;
  for (uint64_t i = 0; i < r->count(); i++) {
    s = s * 1103515245u + 12345u;
    uint32_t p = (s >> 8) & 0xFFFFFF;
    r->pixels[i] = p | (alpha ? ((s >> 3) & 0xFF) << 24 : 0xFF000000u);
  }
  return r;
}

Bytes encoded(const Record* r, int format) {
  Bytes out;
  EXPECT_TRUE(codecs::encode(r, format, &out));
  return out;
}

Owned decoded(const Bytes& b) { return Owned(codecs::decode(b.data(), b.size())); }

bool same_pixels(const Record* a, const Record* b, uint32_t mask) {
  if (a->width != b->width || a->height != b->height) return false;
  for (uint64_t i = 0; i < a->count(); i++)
    if ((a->pixels[i] & mask) != (b->pixels[i] & mask)) return false;
  return true;
}

TEST(ImageCodecs, RoundTripsKeepWhatEachFormatKeeps) {
  struct Case {
    int format;
    bool alpha;
    uint32_t mask;   // the bits that must come back
  } cases[] = {
      {codecs::PNG, true, 0xFFFFFFFF},
      {codecs::TIFF, true, 0xFFFFFFFF},
      {codecs::BMP, false, 0xFFFFFFFF},
      {codecs::BMP, true, 0x00FFFFFF},
  };
  for (const Case& c : cases) {
    Owned src = sample(13, 7, c.alpha);
    Owned back = decoded(encoded(src.get(), c.format));
    ASSERT_TRUE(back) << c.format;
    EXPECT_TRUE(same_pixels(src.get(), back.get(), c.mask)) << c.format;
  }
  // Bitmaps read back opaque whatever alpha was written.
  Owned back = decoded(encoded(sample(3, 3, true).get(), codecs::BMP));
  for (uint64_t i = 0; i < back->count(); i++) EXPECT_EQ(back->pixels[i] >> 24, 0xFFu);
}

TEST(ImageCodecs, GifKeepsFewColoursExactlyAndQuantisesMany) {
  Owned few(image_store::allocate(20, 10));
  for (uint64_t i = 0; i < few->count(); i++) few->pixels[i] = 0xFF000000u | uint32_t(i % 200) * 0x010203u;
  Owned back = decoded(encoded(few.get(), codecs::GIF));
  ASSERT_TRUE(back);
  EXPECT_TRUE(same_pixels(few.get(), back.get(), 0xFFFFFFFF));
  Owned many = sample(40, 30, false);
  back = decoded(encoded(many.get(), codecs::GIF));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 40u);
  EXPECT_EQ(back->height, 30u);
}

TEST(ImageCodecs, JpegIsLossyButSizedAndSigned) {
  Owned src(image_store::allocate(33, 17));
  for (uint64_t i = 0; i < src->count(); i++) src->pixels[i] = 0xFF336699u;
  Bytes b = encoded(src.get(), codecs::JPEG);
  ASSERT_GE(b.size(), 3u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 3), (Bytes{0xFF, 0xD8, 0xFF}));
  Owned back = decoded(b);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 33u);
  EXPECT_EQ(back->height, 17u);
  uint32_t p = back->pixels[100];
  EXPECT_EQ(p >> 24, 0xFFu);
  EXPECT_NEAR(double((p >> 16) & 0xFF), 0x33, 3);
  EXPECT_NEAR(double(p & 0xFF), 0x99, 3);
}

TEST(ImageCodecs, SignaturesPickTheDecoder) {
  struct Case {
    const char* bytes;
    size_t length;
    int format;
  } cases[] = {
      {"\x89PNG\r\n", 6, codecs::PNG}, {"\xFF\xD8\xFF\xE0", 4, codecs::JPEG},
      {"BM\0\0", 4, codecs::BMP},      {"GIF87a", 6, codecs::GIF},
      {"GIF89a", 6, codecs::GIF},      {"II*\0", 4, codecs::TIFF},
      {"MM\0*", 4, codecs::TIFF},      {"GIF88a", 6, -1},
      {"\xFF\xD8", 2, -1},             {"II*", 3, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(codecs::sniff(reinterpret_cast<const uint8_t*>(c.bytes), c.length), c.format)
        << c.bytes;
}

// Every prefix and many single-byte corruptions of a valid file of each format decode to an
// image or to nothing, never a crash (the sanitizer build checks the memory side).
TEST(ImageCodecs, TruncatedAndCorruptFilesFailCleanly) {
  for (int format = 0; format < codecs::FORMAT_COUNT; format++) {
    Owned src = sample(9, 6, true);
    Bytes good = encoded(src.get(), format);
    ASSERT_TRUE(decoded(good)) << format;
    for (size_t n = 0; n < good.size(); n++) {
      Bytes cut(good.begin(), good.begin() + n);
      Owned r = decoded(cut);
      if (r) {
        EXPECT_EQ(r->width, 9u) << format << " cut at " << n;
      }
    }
    uint32_t s = 99;
    for (int k = 0; k < 400; k++) {
      Bytes bad = good;
      s = s * 1103515245u + 12345u;
      bad[(s >> 8) % bad.size()] ^= uint8_t(1 + (s >> 20) % 255);
      Owned r = decoded(bad);
      if (r) {
        EXPECT_TRUE(image_store::size_ok(r->width, r->height));
      }
    }
  }
}

void put_be32(Bytes* b, uint32_t v) {
  for (int i = 3; i >= 0; i--) b->push_back(uint8_t(v >> (8 * i)));
}

Bytes png_header(uint32_t w, uint32_t h) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  put_be32(&b, 13);
  Bytes chunk = {'I', 'H', 'D', 'R'};
  put_be32(&chunk, w);
  put_be32(&chunk, h);
  chunk.insert(chunk.end(), {8, 6, 0, 0, 0});
  b.insert(b.end(), chunk.begin(), chunk.end());
  put_be32(&b, uint32_t(crc32(0, chunk.data(), uInt(chunk.size()))));
  return b;
}

// Sizes are refused from the header, before any pixel memory is asked for.
TEST(ImageCodecs, HugeClaimedSizesAreRefused) {
  EXPECT_FALSE(decoded(png_header(100000, 100000)));
  EXPECT_FALSE(decoded(png_header(20000, 20000)));   // within each side, too many pixels
  EXPECT_FALSE(decoded(png_header(16000, 16000)));   // allowed, but more than the data can hold
  Bytes big_frame = {'G', 'I', 'F', '8', '9', 'a', 0x80, 0x3E, 0x80, 0x3E, 0x80, 0, 0,
                     0, 0, 0, 255, 255, 255, ',', 0, 0, 0, 0, 0x80, 0x3E, 0x80, 0x3E, 0, 2, 2, 0x4C, 0x01, 0};
  EXPECT_FALSE(decoded(big_frame));
  Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
               0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0, 1, 0, 32, 0};
  bmp.resize(60, 0);
  EXPECT_FALSE(decoded(bmp));
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, ',', 0, 0, 0, 0,
               0xFF, 0xFF, 0xFF, 0xFF, 0};
  EXPECT_FALSE(decoded(gif));
  EXPECT_FALSE(image_store::allocate(70000, 1));
  EXPECT_FALSE(image_store::allocate(65535, 65535));
}

TEST(ImageCodecs, AnEmptyImageEncodesToNothing) {
  Owned empty(image_store::allocate(0, 4));
  for (int format = 0; format < codecs::FORMAT_COUNT; format++) {
    Bytes out;
    EXPECT_TRUE(codecs::encode(empty.get(), format, &out));
    EXPECT_TRUE(out.empty());
  }
  Bytes out;
  EXPECT_FALSE(codecs::encode(empty.get(), 5, &out));
}

TEST(ImageStore, MakeBitmapFillsFromColourOrBytes) {
  Cell colour = make_cell(TYPE_TUPLE);
  uint8_t red[12] = {255, 0, 0, 0};
  tuple::set(&colour, 4, red);
  Owned a(image_store::make_bitmap(2, 1, nullptr, 0, nullptr, 0, &colour));
  EXPECT_EQ(a->pixels[0], 0xFFFF0000u);
  EXPECT_EQ(a->pixels[1], 0xFFFF0000u);
  const uint8_t rgb[4] = {1, 2, 3, 4};
  const uint8_t alpha[1] = {0x40};
  Owned b(image_store::make_bitmap(2, 1, rgb, 4, alpha, 1, nullptr));
  EXPECT_EQ(b->pixels[0], 0xBF010203u);
  EXPECT_EQ(b->pixels[1], 0xFFFFFFFFu);
}

TEST(ImageStore, PremultipliedCopyIsRebuiltOnlyAfterAWrite) {
  Owned r(image_store::allocate(1, 1));
  r->pixels[0] = 0x80FF0000u;
  const uint32_t* first = image_store::premultiplied(r.get());
  EXPECT_EQ(first[0], 0x80800000u);
  EXPECT_EQ(image_store::premultiplied(r.get())[0], 0x80800000u);
  image_store::lock(r.get(), true).data[0] = 0xFF00FF00u;
  EXPECT_EQ(image_store::premultiplied(r.get())[0], 0xFF00FF00u);
}

// Files other packages install, where this system has them: each decodes to the size its
// header states.
TEST(ImageCodecs, SystemFilesDecodeToTheirStatedSizes) {
  struct Case {
    const char* path;
    uint32_t w, h;
  } cases[] = {
      {"/usr/share/gitweb/static/git-logo.png", 72, 27},
      {"/usr/share/doc/cmake-data/CMakeLogo.gif", 150, 61},
      {"/usr/share/doc/libxslt1-dev/html/Libxslt-Logo-180x168.gif", 180, 68},
      {"/usr/share/doc/fp-compiler/3.2.2/palmos/pilrc.bmp", 48, 48},
      {"/usr/share/doc/nodejs/thin-white-stripe.jpg", 493, 58},
      {"/usr/share/qt6/doc/global/template/images/Qt-header-bg.jpg", 195, 195},
  };
  int found = 0;
  for (const Case& c : cases) {
    std::ifstream in(c.path, std::ios::binary);
    if (!in) continue;
    Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Owned r = decoded(b);
    ASSERT_TRUE(r) << c.path;
    EXPECT_EQ(r->width, c.w) << c.path;
    EXPECT_EQ(r->height, c.h) << c.path;
    found++;
  }
  if (!found) GTEST_SKIP() << "none of the packaged images is installed";
}

// Through the datatype: bytes with a known signature that do not decode raise bad-media;
// unknown bytes give none; an image value keeps its record alive through collections.
TEST(ImageValues, DecodingFaultsAreLanguageErrors) {
  testing::ensure_runtime();
  Bytes png = encoded(sample(4, 4, true).get(), codecs::PNG);
  png.resize(png.size() / 2);
  Cell out;
  EXPECT_EQ(testing::error_id([&] { image::load_from_binary(&out, png.data(), png.size()); }),
            "bad-media");
  const uint8_t junk[3] = {1, 2, 3};
  image::load_from_binary(&out, junk, 3);
  EXPECT_TRUE(out.is(TYPE_NONE));
}

}  // namespace tav::image_codecs_test
