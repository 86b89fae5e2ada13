#include "datatypes/string_scan.h"

#include <emmintrin.h>

#include <array>
#include <bit>
#include <cstring>

#include "core/case_folding.h"
#include "datatypes/bitset.h"

namespace tav::string {

namespace scan_detail {

// For each byte, the bytes that fold to the same character: built once per folding, after
// the case tables are filled (the first scan runs long after start-up).
struct FoldClasses {
  std::array<ByteSet, 256> same;
  explicit FoldClasses(bool upper) {
    uint32_t folded[256];
    for (uint32_t b = 0; b < 256; b++) folded[b] = casefold::map_char(b, upper);
    for (uint32_t b = 0; b < 256; b++)
      for (uint32_t o = 0; o < 256; o++)
        if (folded[o] == folded[b]) same[b].add(o);
  }
};

const FoldClasses& classes(Fold fold) {
  static const FoldClasses upper(true);
  static const FoldClasses lower(false);
  return fold == Fold::upper ? upper : lower;
}

// Sixteen bytes at a time for one or two wanted values, memchr's way.
int64_t next_of_two(const uint8_t* bytes, int64_t lo, int64_t hi, uint8_t a, uint8_t b) {
  int64_t p = lo;
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  for (; p + 16 <= hi; p += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + p));
    int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)));
    if (mask) return p + std::countr_zero(static_cast<unsigned>(mask));
  }
  for (; p < hi; p++)
    if (bytes[p] == a || bytes[p] == b) return p;
  return -1;
}

}  // namespace scan_detail

int ByteSet::count() const {
  int n = 0;
  for (uint64_t w : bits) n += std::popcount(w);
  return n;
}

ByteSet bytes_equal_to(uint32_t c, Fold fold) {
  if (fold != Fold::none && c < 256) return scan_detail::classes(fold).same[c];
  ByteSet set;
  if (fold == Fold::none) {
    if (c < 256) set.add(c);
    return set;
  }
  // A character beyond the bytes can still fold to the form of one (the Kelvin sign).
  uint32_t want = casefold::map_char(c, fold == Fold::upper);
  for (uint32_t b = 0; b < 256; b++)
    if (casefold::map_char(b, fold == Fold::upper) == want) set.add(b);
  return set;
}

ByteSet bytes_of_bitset(const Cell* bits) {
  ByteSet set;
  bitset::Members m(bits);
  // Number n is bit 0x80 >> (n & 7) of byte n >> 3: eight members per stored byte.
  for (uint32_t byte = 0; byte < 32; byte++) {
    uint32_t stored = byte < m.size ? m.bytes[byte] : (m.complement ? 0xFFu : 0u);
    if (!stored) continue;
    for (uint32_t k = 0; k < 8; k++)
      if (stored & (0x80u >> k)) set.add(byte * 8 + k);
  }
  return set;
}

int64_t next_byte_in(const uint8_t* bytes, int64_t lo, int64_t hi, const ByteSet& set) {
  if (lo >= hi) return -1;
  int n = set.count();
  if (n == 0) return -1;
  if (n <= 2) {
    uint32_t first = 0, second = 0;
    int seen = 0;
    for (int i = 0; i < 4 && seen < n; i++) {
      uint64_t w = set.bits[i];
      while (w && seen < n) {
        uint32_t b = static_cast<uint32_t>(i * 64 + std::countr_zero(w));
        w &= w - 1;
        (seen++ == 0 ? first : second) = b;
      }
    }
    if (n == 1) {
      const void* at = std::memchr(bytes + lo, static_cast<int>(first), static_cast<size_t>(hi - lo));
      return at ? static_cast<const uint8_t*>(at) - bytes : -1;
    }
    return scan_detail::next_of_two(bytes, lo, hi, static_cast<uint8_t>(first),
                                    static_cast<uint8_t>(second));
  }
  for (int64_t p = lo; p < hi; p++)
    if (set.has(bytes[p])) return p;
  return -1;
}

}  // namespace tav::string
