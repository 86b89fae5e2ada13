#include "core/murmur3.h"

#include <cstring>

namespace tav::hash {

namespace murmur3_detail {
constexpr uint32_t C1 = 0xcc9e2d51u;
constexpr uint32_t C2 = 0x1b873593u;

inline uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline uint32_t scramble(uint32_t k) {
  k *= C1;
  k = rotl(k, 15);
  return k * C2;
}

inline uint32_t step(uint32_t h, uint32_t k) {
  h ^= scramble(k);
  h = rotl(h, 13);
  return h * 5 + 0xe6546b64u;
}
}  // namespace murmur3_detail

uint32_t murmur3(const void* data, size_t len, uint32_t seed) {
  using namespace murmur3_detail;
  const auto* p = static_cast<const uint8_t*>(data);
  size_t blocks = len / 4;
  uint32_t h = seed;
  for (size_t i = 0; i < blocks; i++) {
    uint32_t k;
    std::memcpy(&k, p + i * 4, 4);   // little-endian, unaligned-safe
    h = step(h, k);
  }
  const uint8_t* tail = p + blocks * 4;
  uint32_t k = 0;
  switch (len & 3) {
    case 3: k ^= uint32_t(tail[2]) << 16; [[fallthrough]];
    case 2: k ^= uint32_t(tail[1]) << 8; [[fallthrough]];
    case 1:
      k ^= tail[0];
      h ^= scramble(k);
  }
  h ^= static_cast<uint32_t>(len);
  return mix(h);
}

void Murmur3Stream::add_word(uint32_t k) {
  h = murmur3_detail::step(h, k);
  bytes += 4;
}

uint32_t Murmur3Stream::finish() { return mix(h ^ bytes); }

}  // namespace tav::hash
