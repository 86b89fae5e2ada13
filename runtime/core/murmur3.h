// MurmurHash3, x86 32-bit variant, and its final mix on one word.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::hash {

// One seed for the whole process, fixed so that hashing repeats from run to run.
constexpr uint32_t SEED = 0x9747B28Cu;

// The block step and tail of MurmurHash3 x86_32 over len bytes, then the final mix.
uint32_t murmur3(const void* data, size_t len, uint32_t seed = SEED);

// Hashing a sequence of 32-bit words fed one by one (the string hash feeds code points).
struct Murmur3Stream {
  uint32_t h = SEED;
  uint32_t bytes = 0;
  void add_word(uint32_t k);
  uint32_t finish();
};

// The final mix alone: spreads a 32-bit key (symbol ids, node ids, integers).
inline uint32_t mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x85ebca6bu;
  x ^= x >> 13;
  x *= 0xc2b2ae35u;
  x ^= x >> 16;
  return x;
}

}  // namespace tav::hash
