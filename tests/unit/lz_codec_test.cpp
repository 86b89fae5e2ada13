#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scanner/lz_codec.h"

namespace tav::lz_codec_test {

using Bytes = std::vector<uint8_t>;

struct XorShift {
  uint32_t s;
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

Bytes words_text(size_t n, uint32_t seed) {
  static const char* words[] = {"block ", "word ", "value ", "series ", "parse ", "[", "] ",
                                "func ", "context ", "1234 ", "\n", "either ", "tail "};
  XorShift r{seed};
  Bytes out;
  while (out.size() < n) {
    const char* w = words[r.next() % 13];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(n);
  return out;
}

Bytes noise(size_t n, uint32_t seed) {
  XorShift r{seed};
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(r.next() >> 24);
  return out;
}

// Compresses into an n-byte destination; empty when the encoder refuses.
Bytes pack(const Bytes& in) {
  Bytes dst(in.size());
  int64_t size = lz::compress(in.data(), in.size(), dst.data());
  if (size < 0) return {};
  EXPECT_LE(static_cast<size_t>(size), in.size());
  dst.resize(static_cast<size_t>(size));
  return dst;
}

uint32_t le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void put_le32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Builds tokens by the format's tables, independently of the encoder.
class TokenWriter {
 public:
  explicit TokenWriter(size_t capacity = 4096) : buf_(capacity), w_(buf_.data(), buf_.size()) {}
  void literal(uint8_t b) { w_.put_bits(0, 1); w_.put_bits(b, 8); }
  void match(uint32_t length, uint32_t distance) {
    w_.put_bits(1, 1);
    uint32_t n = length - 3;
    // Length bands: leading zero bits, then a stop bit (except the last band), then the offset.
    struct Band { uint32_t lo, hi; unsigned zeros, width; bool stop; };
    static const Band bands[] = {{0, 3, 0, 2, true},   {4, 7, 1, 2, true},
                                 {8, 11, 2, 2, true},  {12, 19, 3, 3, true},
                                 {20, 51, 4, 5, true}, {52, 563, 5, 9, false}};
    for (const Band& b : bands) {
      if (n < b.lo || n > b.hi) continue;
      for (unsigned i = 0; i < b.zeros; ++i) w_.put_bits(0, 1);
      if (b.stop) w_.put_bits(1, 1);
      w_.put_bits(n - b.lo, b.width);
      break;
    }
    uint32_t c = distance - 1;
    unsigned m = 2;
    while (c >= (1u << (m + 1))) ++m;
    w_.put_bits(m - 2, 4);
    if (m == 2) w_.put_bits(c, 3);
    else w_.put_bits(c - (1u << m), m);
  }
  // Ends the chunk and returns its bit stream.
  Bytes finish() {
    w_.flush();
    EXPECT_FALSE(w_.overflow());
    Bytes out(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(w_.size()));
    w_ = lz::BitWriter(buf_.data(), buf_.size());
    return out;
  }

 private:
  Bytes buf_;
  lz::BitWriter w_;
};

struct Chunk { uint32_t length; Bytes stream; };

Bytes record(uint32_t unpacked, const std::vector<Chunk>& chunks) {
  Bytes body;
  for (const Chunk& c : chunks) {
    put_le32(body, c.length);
    body.insert(body.end(), c.stream.begin(), c.stream.end());
  }
  Bytes rec;
  put_le32(rec, static_cast<uint32_t>(body.size()));
  put_le32(rec, unpacked);
  rec.insert(rec.end(), body.begin(), body.end());
  return rec;
}

std::optional<Bytes> unpack(const Bytes& rec) { return lz::decompress(rec.data(), rec.size()); }

TEST(LzCodec, RoundTrips) {
  Bytes multi = words_text(2 * lz::MAX_CHUNK + 5000, 7);
  // The third chunk repeats the start of the first: no match may reach back into it.
  std::memcpy(multi.data() + 2 * lz::MAX_CHUNK, multi.data(), 5000);
  Bytes ramp(70000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i % 251);
  Bytes mixed = words_text(40000, 3);
  Bytes blob = noise(300, 9);
  mixed.insert(mixed.begin() + 20000, blob.begin(), blob.end());
  // A block of noise repeated 256 KiB later: only the longest distance code reaches it.
  Bytes far(300000, 0);
  Bytes block = noise(600, 5);
  std::memcpy(far.data() + 1000, block.data(), block.size());
  std::memcpy(far.data() + 1000 + lz::MAX_DISTANCE, block.data(), block.size());
  struct Case { const char* name; Bytes data; };
  const Case cases[] = {
      {"128 equal bytes", Bytes(128, 'a')},
      {"run of 100000", Bytes(100000, 0)},
      {"text", words_text(100000, 1)},
      {"ramp", ramp},
      {"mixed", mixed},
      {"far repeats", far},
      {"three chunks", multi},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes packed = pack(c.data);
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(le32(packed, 0), packed.size() - 8);
    EXPECT_EQ(le32(packed, 4), c.data.size());
    auto back = unpack(packed);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == c.data);
  }
}

TEST(LzCodec, EncoderWritesTheFormatBitForBit) {
  // 128 x "a": a literal, then one match of 127 at distance 1:
  // 0 | 0x61 | 1 | 00000 + 72 in 9 bits | K = 0, C = 0 -> 31 bits in 4 bytes.
  Bytes packed = pack(Bytes(128, 'a'));
  const Bytes want = {8, 0, 0, 0, 128, 0, 0, 0, 128, 0, 0, 0, 0xC2, 0x02, 0x24, 0x00};
  EXPECT_EQ(packed, want);
}

TEST(LzCodec, EncoderReachesBackTheWholeWindow) {
  // 600 bytes of noise cost about 675 bytes as literals; repeated exactly 256 KiB later
  // they must cost one match, one byte farther they cannot be reached.
  Bytes block = noise(600, 5);
  auto with_repeat_at = [&](size_t distance) {
    Bytes data(300000, 0);
    std::memcpy(data.data() + 1000, block.data(), block.size());
    if (distance) std::memcpy(data.data() + 1000 + distance, block.data(), block.size());
    return pack(data).size();
  };
  size_t once = with_repeat_at(0);
  ASSERT_GT(once, 0u);
  EXPECT_LT(with_repeat_at(lz::MAX_DISTANCE), once + 32);
  EXPECT_GT(with_repeat_at(lz::MAX_DISTANCE + 1), once + 600);
}

TEST(LzCodec, EncoderRefusesShortOrIncompressibleInput) {
  Bytes dst(200);
  EXPECT_EQ(lz::compress(Bytes(127, 'a').data(), 127, dst.data()), -1);
  EXPECT_EQ(lz::compress(dst.data(), 0, dst.data()), -1);
  // Random bytes do not shrink: the record would not fit in the input's size.
  Bytes rnd = noise(128, 11);
  EXPECT_EQ(lz::compress(rnd.data(), rnd.size(), dst.data()), -1);
  Bytes big = noise(50000, 12);
  Bytes big_dst(big.size());
  EXPECT_EQ(lz::compress(big.data(), big.size(), big_dst.data()), -1);
}

TEST(LzCodec, DecodesEveryLengthAndDistanceBand) {
  const uint32_t lengths[] = {3, 6, 7, 10, 11, 14, 15, 22, 23, 54, 55, 300, 566};
  const uint32_t distances[] = {1, 8, 9, 16, 17, 32, 33, 4096, 4097, 65536, 131073, 262144};
  Bytes prefix = noise(262144, 21);
  for (uint32_t distance : distances) {
    for (uint32_t length : lengths) {
      SCOPED_TRACE(testing::Message() << length << " at " << distance);
      // Exactly `distance` literals, so the match reaches back to the chunk's first byte.
      TokenWriter tw(distance * 9 / 8 + 64);
      for (uint32_t i = 0; i < distance; ++i) tw.literal(prefix[i]);
      tw.match(length, distance);
      uint32_t total = distance + length;
      auto out = unpack(record(total, {{total, tw.finish()}}));
      ASSERT_TRUE(out.has_value());
      ASSERT_EQ(out->size(), total);
      EXPECT_TRUE(std::equal(prefix.begin(), prefix.begin() + distance, out->begin()));
      for (uint32_t i = distance; i < total; ++i) ASSERT_EQ((*out)[i], (*out)[i - distance]) << i;
    }
  }
}

TEST(LzCodec, LongestMatchAtDistanceOneRepeatsOneByte) {
  TokenWriter tw;
  tw.literal('x');
  tw.match(566, 1);
  auto out = unpack(record(567, {{567, tw.finish()}}));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, Bytes(567, 'x'));
}

TEST(LzCodec, ChunksConcatenate) {
  TokenWriter tw;
  tw.literal('a');
  tw.literal('b');
  tw.match(4, 2);
  Bytes first = tw.finish();
  tw.literal('z');
  Bytes second = tw.finish();
  auto out = unpack(record(7, {{6, first}, {1, second}}));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(std::string(out->begin(), out->end()), "ababab" "z");
}

TEST(LzCodec, CorruptRecordsAreRefused) {
  TokenWriter tw;
  tw.literal('a');
  tw.literal('b');
  tw.literal('c');
  Bytes abc = tw.finish();
  tw.literal('a');
  tw.match(3, 2);   // reaches before the chunk's start
  Bytes too_far = tw.finish();
  tw.literal('a');
  tw.match(5, 1);   // runs past the chunk's 4 bytes
  Bytes too_long = tw.finish();
  tw.match(3, 1);   // a second chunk may not reach into the first
  Bytes across = tw.finish();

  Bytes good = record(3, {{3, abc}});
  ASSERT_TRUE(unpack(good).has_value());

  Bytes huge_u = good;
  huge_u[4] = huge_u[5] = huge_u[6] = huge_u[7] = 0xFF;   // U = 0xFFFFFFFF from 5 packed bytes
  Bytes big_p = good;
  big_p[0] += 1;                                           // P beyond the record
  Bytes trailing = good;
  trailing.push_back(0);                                   // stray byte: no room for a length
  trailing[0] += 1;

  struct Case { const char* name; Bytes rec; };
  const Case cases[] = {
      {"chunk length 0", record(3, {{0, abc}})},
      {"chunk length above 1 MiB", record(0x100001, {{0x100001, abc}})},
      {"chunk longer than U", record(2, {{3, abc}})},
      {"bit stream shorter than the chunk", record(4, {{4, abc}})},
      {"match before the chunk", record(4, {{4, too_far}})},
      {"match past the chunk", record(4, {{4, too_long}})},
      {"match across chunks", record(6, {{3, abc}, {3, across}})},
      {"U that P cannot produce", huge_u},
      {"P beyond the record", big_p},
      {"trailing bytes", trailing},
      {"shorter than a header", Bytes{1, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_FALSE(unpack(c.rec).has_value()) << c.name;
  EXPECT_FALSE(lz::decompress(nullptr, 0).has_value());
}

TEST(LzCodec, TruncatedAndMutatedRecordsNeverOverrun) {
  Bytes data = words_text(20000, 4);
  Bytes packed = pack(data);
  ASSERT_FALSE(packed.empty());
  // Every cut keeps P pointing past the end: refused without reading beyond the cut.
  for (size_t cut = 0; cut < packed.size(); cut += 7) {
    Bytes shorter(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(unpack(shorter).has_value()) << cut;
  }
  // Cut with P rewritten to match: the bit stream ends early.
  Bytes cut = packed;
  cut.resize(packed.size() / 2);
  uint32_t p = static_cast<uint32_t>(cut.size() - 8);
  std::memcpy(cut.data(), &p, 4);
  EXPECT_FALSE(unpack(cut).has_value());
  // Flipped bits anywhere: refused or decoded, always within U and the record (the
  // sanitizer build checks the bounds).
  XorShift r{77};
  for (int i = 0; i < 1000; ++i) {
    Bytes bad = packed;
    for (int k = 0; k < 3; ++k) bad[8 + r.next() % (bad.size() - 8)] ^= 1u << (r.next() % 8);
    auto out = unpack(bad);
    if (out) {
      EXPECT_LE(out->size(), data.size());
    }
  }
}

TEST(LzCodec, BitFieldsRoundTrip) {
  struct Field { uint32_t value; unsigned width; };
  const Field fields[] = {{1, 1},   {0, 1},      {5, 3},         {0xAB, 8},    {0x1FFFF, 17},
                          {0, 17},  {0x3FF, 10}, {0xFFFFFF, 24}, {0x12345, 20}, {1, 2}};
  uint8_t buf[64] = {};
  lz::BitWriter w(buf, sizeof buf);
  for (const Field& f : fields) w.put_bits(f.value, f.width);
  w.flush();
  ASSERT_FALSE(w.overflow());
  lz::BitReader r(buf, w.size());
  for (const Field& f : fields) {
    auto v = r.get_bits(f.width);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, f.value);
  }
  r.align();
  EXPECT_EQ(r.position(), w.size());
  EXPECT_FALSE(r.get_bits(1).has_value());
  // The writer stops at its capacity and says so.
  uint8_t small[2];
  lz::BitWriter tight(small, sizeof small);
  tight.put_bits(0xFFFF, 16);
  EXPECT_FALSE(tight.overflow());
  tight.put_bits(1, 8);
  EXPECT_TRUE(tight.overflow());
  EXPECT_EQ(tight.reserve(1), nullptr);
}

}  // namespace tav::lz_codec_test
