#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "services/compression.h"

namespace tav::compression {
namespace {

// Text-like data of some size: compressible, not one repeated byte.
std::vector<uint8_t> sample(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 1;
  for (size_t i = 0; i < n; i++) {
    x = x * 1103515245u + 12345u;
    v[i] = static_cast<uint8_t>("abcdefgh ,.\n"[(x >> 16) % 12]);
  }
  return v;
}

std::vector<uint8_t> encoded(Method m, const std::vector<uint8_t>& data) {
  uint32_t size = static_cast<uint32_t>(data.size() + data.size() / 2 + 1024);
  std::vector<uint8_t> out(size);
  int s = compress(m, out.data(), &size, data.data(), static_cast<uint32_t>(data.size()), -1);
  if (s == TOO_SMALL) {
    out.resize(size);
    s = compress(m, out.data(), &size, data.data(), static_cast<uint32_t>(data.size()), -1);
  }
  EXPECT_EQ(s, OK);
  out.resize(size);
  return out;
}

// decode answers in one pass what the two-call protocol delivers, for sizes below, at and
// well past the first output buffer.
TEST(CompressionDecode, AnswersWhatDecompressDelivers) {
  for (Method m : {Method::zlib, Method::deflate, Method::gzip, Method::zstd}) {
    for (size_t n : {size_t(0), size_t(1), size_t(65536), size_t(3 * 1024 * 1024 + 7)}) {
      std::vector<uint8_t> data = sample(n);
      std::vector<uint8_t> packed = encoded(m, data);
      std::vector<uint8_t> out{1, 2, 3};   // whatever was there is dropped
      ASSERT_EQ(decode(m, packed.data(), static_cast<uint32_t>(packed.size()), out), OK)
          << int(m) << " " << n;
      EXPECT_EQ(out, data) << int(m) << " " << n;
      uint32_t size = 0;
      int s = decompress(m, nullptr, &size, packed.data(), static_cast<uint32_t>(packed.size()));
      EXPECT_TRUE(s == TOO_SMALL || (s == OK && n == 0)) << int(m);
      EXPECT_EQ(size, n) << int(m);
    }
  }
}

// Broken input is refused whole: cut short, a wrong check value, or a gzip size field that
// claims more or less than the data holds (the claim only sizes the first buffer).
TEST(CompressionDecode, RefusesBrokenInput) {
  std::vector<uint8_t> data = sample(200000);
  for (Method m : {Method::zlib, Method::deflate, Method::gzip, Method::zstd}) {
    std::vector<uint8_t> packed = encoded(m, data);
    std::vector<uint8_t> out;
    EXPECT_EQ(decode(m, packed.data(), static_cast<uint32_t>(packed.size() / 2), out), CORRUPT)
        << int(m);
    EXPECT_EQ(decode(m, packed.data(), 0, out), CORRUPT) << int(m);
  }
  std::vector<uint8_t> z = encoded(Method::zlib, data);
  z.back() ^= 1;
  std::vector<uint8_t> out;
  EXPECT_EQ(decode(Method::zlib, z.data(), static_cast<uint32_t>(z.size()), out), CORRUPT);
  for (uint32_t claim : {0u, 199999u, 200001u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> g = encoded(Method::gzip, data);
    size_t at = g.size() - 4;
    for (int i = 0; i < 4; i++) g[at + size_t(i)] = static_cast<uint8_t>(claim >> (8 * i));
    EXPECT_EQ(decode(Method::gzip, g.data(), static_cast<uint32_t>(g.size()), out), CORRUPT)
        << claim;
  }
}

}  // namespace
}  // namespace tav::compression
