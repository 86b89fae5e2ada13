#include "core/random.h"

#include <cstring>

#include "core/murmur3.h"
#include "init_steps.h"
#include "platform/platform.h"

namespace tav::random {

namespace random_detail {

constexpr int STATE_WORDS = 624;
constexpr int TWIST_OFFSET = 397;

struct Generator {
  uint32_t x[STATE_WORDS];
  int index;   // the next word to temper; STATE_WORDS means "twist first"
};

// Right shift of a word seen as signed 32-bit: bit 31 is copied into the vacated bits.
// Written on unsigned words so that every step is defined behaviour.
constexpr uint32_t shift_right_signed(uint32_t v, unsigned n) {
  uint32_t fill = (v & 0x80000000u) ? ~(0xFFFFFFFFu >> n) : 0u;
  return (v >> n) | fill;
}

constexpr void seed_state(Generator& g, uint32_t seed) {
  g.x[0] = seed;
  for (int i = 1; i < STATE_WORDS; ++i) {
    uint32_t prev = g.x[i - 1];
    g.x[i] = 1812433253u * (prev ^ shift_right_signed(prev, 30)) + static_cast<uint32_t>(i);
  }
  g.index = 0;
}

constexpr Generator seeded(uint32_t seed) {
  Generator g{};
  seed_state(g, seed);
  return g;
}

// Seeded already at load time, so a draw before `init` still follows the start seed.
constinit Generator generator = seeded(START_SEED);

void twist(Generator& g) {
  for (int k = 0; k < STATE_WORDS; ++k) {
    uint32_t y = (g.x[k] & 0x80000000u) | (g.x[(k + 1) % STATE_WORDS] & 0x7FFFFFFFu);
    g.x[k] = g.x[(k + TWIST_OFFSET) % STATE_WORDS] ^ shift_right_signed(y, 1) ^
             ((y & 1u) ? 0x9908B0DFu : 0u);
  }
  g.index = 0;
}

}  // namespace random_detail

void init() { seed(START_SEED); }

void seed(uint32_t value) { random_detail::seed_state(random_detail::generator, value); }

uint32_t seed_of_bytes(const uint8_t* data, size_t length) {
  return hash::murmur3(data, length, HASH_SEED);
}

void seed_bytes(const uint8_t* data, size_t length) { seed(seed_of_bytes(data, length)); }

int32_t next() {
  random_detail::Generator& g = random_detail::generator;
  if (g.index >= random_detail::STATE_WORDS) random_detail::twist(g);
  uint32_t w = g.x[g.index++];
  w ^= random_detail::shift_right_signed(w, 11);
  w ^= (w << 7) & 0x9D2C5680u;
  w ^= (w << 15) & 0xEFC60000u;
  w ^= random_detail::shift_right_signed(w, 18);
  // Bit 31 of w XOR (w >> 18) is always clear, since the shift copied it.
  return static_cast<int32_t>(w);
}

int32_t next_secure() {
  uint8_t bytes[4] = {0, 0, 0, 0};
  if (!platform::random_bytes(bytes, sizeof bytes)) return 0;
  uint32_t w;
  std::memcpy(&w, bytes, sizeof w);
  return static_cast<int32_t>(w & 0x7FFFFFFFu);
}

int32_t int_in_range(bool secure, int32_t max) {
  if (max == 0) return 0;
  if (max == INT32_MIN) {
    int32_t draw = secure ? next_secure() : next();
    return -1 - draw;
  }
  uint32_t n = max < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(max)) : static_cast<uint32_t>(max);
  // Rejecting draws at or above the last whole multiple of n keeps every residue equally likely.
  uint32_t limit = n * (0x7FFFFFFFu / n);
  uint32_t draw;
  do {
    draw = static_cast<uint32_t>(secure ? next_secure() : next());
  } while (draw >= limit);
  int32_t r = static_cast<int32_t>(draw % n) + 1;
  return max < 0 ? -r : r;
}

}  // namespace tav::random

namespace tav::init_steps {
void random_generator() { random::init(); }
}  // namespace tav::init_steps
