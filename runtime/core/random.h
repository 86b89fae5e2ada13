// The process-wide pseudo-random generator behind every datatype's `random` action.
//
// A Mersenne-Twister variant whose sequence for a given seed is observable (scripts reseed
// to replay a sequence), so its arithmetic is kept bit for bit: the words behave as signed
// 32-bit values whose right shifts copy bit 31, and the first 624 draws after a seed temper
// the seeded words before any twist. It therefore differs from the reference MT19937.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/murmur3.h"

namespace tav::random {

// The seed the generator starts from.
constexpr uint32_t START_SEED = 19650218u;

// The process-wide hash seed, fixed so that hashing and seeding from text repeat from run
// to run. The hash index shares it.
constexpr uint32_t HASH_SEED = hash::SEED;   // the runtime's one hash seed

// Seeds the generator with its start seed (runtime initialisation).
void init();

// Reseeds the generator; a negative integer seed passes its two's-complement bits.
void seed(uint32_t value);

// The seed that a text or binary value gives: the MurmurHash3 (x86, 32-bit) of its bytes
// under the hash seed.
uint32_t seed_of_bytes(const uint8_t* data, size_t length);
// Reseeds the generator from bytes (the `/seed` of a text or binary value).
void seed_bytes(const uint8_t* data, size_t length);

// The next draw, 0 to 0x7FFFFFFF.
int32_t next();

// A draw from the kernel's cryptographic generator, 0 to 0x7FFFFFFF; 0 when it cannot draw.
int32_t next_secure();

// A uniform integer: 1..max for max > 0, max..-1 for max < 0, 0 for 0. The smallest 32-bit
// integer gives one draw mapped onto -2147483648..-1.
int32_t int_in_range(bool secure, int32_t max);

}  // namespace tav::random
