// Scanning a buffer of one-byte units for the places a match can start: the one search
// mechanism under find on text and binary and under parse's to and thru. The caller names
// the bytes that can begin a match (a character in the caller's own case folding, or the
// members of a bitset) and checks each candidate with its own matching rule, so a scan
// never decides a match by a second definition of it: it only skips the bytes that cannot
// begin one, with memchr or sixteen bytes at a time.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::string {

// How the caller compares characters: exactly, by upper-case form (find, comparison) or
// by lower-case form (parse).
enum class Fold : uint8_t { none, upper, lower };

// A set of byte values.
struct ByteSet {
  uint64_t bits[4] = {0, 0, 0, 0};
  void add(uint32_t b) { bits[b >> 6] |= uint64_t(1) << (b & 63); }
  bool has(uint32_t b) const { return b < 256 && ((bits[b >> 6] >> (b & 63)) & 1) != 0; }
  int count() const;
  void add_all(const ByteSet& other) {
    for (int i = 0; i < 4; i++) bits[i] |= other.bits[i];
  }
};

// The bytes equal to the character c once both are folded as asked.
ByteSet bytes_equal_to(uint32_t c, Fold fold);
// The members of a bitset! below 256.
ByteSet bytes_of_bitset(const Cell* bits);

// The first position p in [lo, hi) of the units at `bytes` whose byte is in the set, or -1.
int64_t next_byte_in(const uint8_t* bytes, int64_t lo, int64_t hi, const ByteSet& set);

// The first candidate p in [lo, hi) that accept(p) takes, or -1. accept sees only
// positions whose byte is in the set; it must not allocate (bytes would go stale).
template <class Accept>
int64_t scan_bytes(const uint8_t* bytes, int64_t lo, int64_t hi, const ByteSet& set,
                   Accept&& accept) {
  for (int64_t p = lo; p < hi; p++) {
    p = next_byte_in(bytes, p, hi, set);
    if (p < 0) return -1;
    if (accept(p)) return p;
  }
  return -1;
}

}  // namespace tav::string
