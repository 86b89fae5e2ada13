#include "scanner/lz_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace tav::lz {

namespace lz_detail {

uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void store_le32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The cheapest token is a longest match at distance 1 (1 + 14 + 7 bits for 566 bytes), so
// P packed bytes can never state more than P * 8 * 566 / 22 output bytes.
constexpr uint64_t BEST_TOKEN_BITS = 22;

// Encoder work tables: heads of the 3-byte hash, then of the 4-byte hash; the chain links
// positions of equal 4-byte hash within the window.
constexpr uint32_t HASH3_SIZE = 0x80000;
constexpr uint32_t HASH3_MASK = 0x7FFFF;
constexpr uint32_t HASH4_SIZE = 0x100000;
constexpr uint32_t HASH4_MASK = 0xFFFFF;
constexpr uint32_t CHAIN_MASK = MAX_DISTANCE - 1;
constexpr int MAX_CANDIDATES = 256;
// A 3-byte match farther than this costs more bits than the three literals it replaces.
constexpr uint32_t FAR_SHORT_MATCH = 65536;

void put_length(BitWriter& w, uint32_t length) {
  uint32_t n = length - MIN_MATCH;
  if (n < 4) {
    w.put_bits(1, 1);
    w.put_bits(n, 2);
  } else if (n < 8) {
    w.put_bits(0, 1);
    w.put_bits(1, 1);
    w.put_bits(n - 4, 2);
  } else if (n < 12) {
    w.put_bits(0, 2);
    w.put_bits(1, 1);
    w.put_bits(n - 8, 2);
  } else if (n < 20) {
    w.put_bits(0, 3);
    w.put_bits(1, 1);
    w.put_bits(n - 12, 3);
  } else if (n < 52) {
    w.put_bits(0, 4);
    w.put_bits(1, 1);
    w.put_bits(n - 20, 5);
  } else {
    w.put_bits(0, 5);
    w.put_bits(n - 52, 9);
  }
}

void put_distance(BitWriter& w, uint32_t distance) {
  uint32_t c = distance - 1;
  if (c < 8) {
    w.put_bits(0, 4);
    w.put_bits(c, 3);
    return;
  }
  unsigned m = static_cast<unsigned>(std::bit_width(c)) - 1;   // 2^m <= c < 2^(m+1)
  w.put_bits(m - 2, 4);
  w.put_bits(c - (1u << m), m);
}

std::optional<uint32_t> get_length(BitReader& r) {
  // Each leading 0 bit moves to the next, wider band of lengths.
  static constexpr uint32_t BASE[6] = {0, 4, 8, 12, 20, 52};
  static constexpr unsigned WIDTH[6] = {2, 2, 2, 3, 5, 9};
  int band = 0;
  for (; band < 5; ++band) {
    auto bit = r.get_bits(1);
    if (!bit) return std::nullopt;
    if (*bit) break;
  }
  auto extra = r.get_bits(WIDTH[band]);
  if (!extra) return std::nullopt;
  return BASE[band] + *extra + MIN_MATCH;
}

std::optional<uint32_t> get_distance(BitReader& r) {
  auto k = r.get_bits(4);
  if (!k) return std::nullopt;
  unsigned m = *k + 2;
  if (m == 2) {
    auto c = r.get_bits(3);
    if (!c) return std::nullopt;
    return *c + 1;
  }
  auto low = r.get_bits(m);
  if (!low) return std::nullopt;
  return (1u << m) + *low + 1;
}

uint32_t match_length(const uint8_t* window, uint32_t candidate, uint32_t p, uint32_t max_len) {
  uint32_t len = 0;
  while (len < max_len && window[candidate + len] == window[p + len]) ++len;
  return len;
}

// Compresses one chunk (already copied to the start of window, with zeroed look-ahead).
void compress_chunk(BitWriter& w, const uint8_t* window, uint32_t chunk_len, int32_t* heads,
                    int32_t* chain) {
  int32_t* head3 = heads;
  int32_t* head4 = heads + HASH3_SIZE;
  std::fill(heads, heads + HASH3_SIZE + HASH4_SIZE, -1);
  uint32_t h3 = 0, h4 = 0;
  for (int i = 0; i < 3; ++i) h3 = ((h3 << 7) + window[i]) & HASH3_MASK;
  for (int i = 0; i < 4; ++i) h4 = ((h4 << 5) + window[i]) & HASH4_MASK;

  uint32_t p = 0;
  while (p < chunk_len) {
    uint32_t max_len = std::min(MAX_MATCH, chunk_len - p);
    int64_t window_start = p > MAX_DISTANCE ? static_cast<int64_t>(p - MAX_DISTANCE) : 0;
    uint32_t best_len = 2, best_dist = MAX_DISTANCE;

    int32_t c = head3[h3];
    if (c >= window_start && window[c] == window[p]) {
      uint32_t len = match_length(window, static_cast<uint32_t>(c), p, max_len);
      if (len > best_len) {
        best_len = len;
        best_dist = p - static_cast<uint32_t>(c);
      }
    }
    if (best_len < max_len) {
      c = head4[h4];
      for (int tries = 0; tries < MAX_CANDIDATES && c >= window_start; ++tries) {
        uint32_t cand = static_cast<uint32_t>(c);
        if (window[cand + best_len] == window[p + best_len]) {
          uint32_t len = match_length(window, cand, p, max_len);
          uint32_t dist = p - cand;
          // Farther matches must be longer to pay for their longer distance code.
          uint32_t penalty = 0;
          for (uint32_t d = dist >> 4; d > best_dist; d >>= 3) ++penalty;
          if (len > best_len + penalty) {
            best_len = len;
            best_dist = dist;
            if (len == max_len) break;
          }
        }
        c = chain[cand & CHAIN_MASK];
      }
    }
    if (best_len == MIN_MATCH && best_dist > FAR_SHORT_MATCH) best_len = 2;

    uint32_t consumed;
    if (best_len < MIN_MATCH) {
      w.put_bits(0, 1);
      w.put_bits(window[p], 8);
      consumed = 1;
    } else {
      w.put_bits(1, 1);
      put_length(w, best_len);
      put_distance(w, best_dist);
      consumed = best_len;
    }
    for (; consumed > 0; --consumed) {
      head3[h3] = static_cast<int32_t>(p);
      chain[p & CHAIN_MASK] = head4[h4];
      head4[h4] = static_cast<int32_t>(p);
      ++p;
      h3 = ((h3 << 7) + window[p + 2]) & HASH3_MASK;
      h4 = ((h4 << 5) + window[p + 3]) & HASH4_MASK;
    }
    if (w.overflow()) return;
  }
  w.flush();
}

}  // namespace lz_detail

uint8_t* BitWriter::reserve(size_t n) {
  if (overflow_ || n > capacity_ - used_) {
    overflow_ = true;
    return nullptr;
  }
  uint8_t* p = dst_ + used_;
  used_ += n;
  return p;
}

void BitWriter::put_bits(uint32_t value, unsigned n) {
  uint64_t mask = (uint64_t{1} << n) - 1;
  bits_ |= (value & mask) << count_;
  count_ += n;
  while (count_ >= 8) {
    if (uint8_t* p = reserve(1)) *p = static_cast<uint8_t>(bits_);
    bits_ >>= 8;
    count_ -= 8;
  }
}

void BitWriter::flush() {
  if (count_ > 0)
    if (uint8_t* p = reserve(1)) *p = static_cast<uint8_t>(bits_);
  bits_ = 0;
  count_ = 0;
}

std::optional<uint32_t> BitReader::get_bits(unsigned n) {
  if (pos_ >= length_ || n > (length_ - pos_) * 8 - bit_) return std::nullopt;
  uint32_t word = 0;
  size_t avail = std::min<size_t>(4, length_ - pos_);
  for (size_t i = 0; i < avail; ++i) word |= static_cast<uint32_t>(data_[pos_ + i]) << (8 * i);
  uint32_t value = (word >> bit_) & ((uint32_t{1} << n) - 1);
  bit_ += n;
  pos_ += bit_ / 8;
  bit_ %= 8;
  return value;
}

void BitReader::align() {
  if (bit_ > 0) {
    ++pos_;
    bit_ = 0;
  }
}

int64_t compress(const uint8_t* source, size_t n, uint8_t* destination) {
  if (n < MIN_INPUT || n > UINT32_MAX) return -1;
  auto heads = std::make_unique_for_overwrite<int32_t[]>(lz_detail::HASH3_SIZE +
                                                          lz_detail::HASH4_SIZE);
  auto chain = std::make_unique_for_overwrite<int32_t[]>(MAX_DISTANCE);
  auto window = std::make_unique_for_overwrite<uint8_t[]>(MAX_CHUNK + MAX_MATCH);
  BitWriter w(destination + HEADER_SIZE, n - HEADER_SIZE);
  for (size_t start = 0; start < n && !w.overflow(); start += MAX_CHUNK) {
    uint32_t chunk_len = static_cast<uint32_t>(std::min<size_t>(MAX_CHUNK, n - start));
    std::memcpy(window.get(), source + start, chunk_len);
    // The rolling hashes read a few bytes past the chunk; they must not see another chunk.
    std::memset(window.get() + chunk_len, 0, MAX_MATCH);
    uint8_t* length_field = w.reserve(4);
    if (!length_field) break;
    lz_detail::store_le32(length_field, chunk_len);
    lz_detail::compress_chunk(w, window.get(), chunk_len, heads.get(), chain.get());
  }
  if (w.overflow()) return -1;
  lz_detail::store_le32(destination, static_cast<uint32_t>(w.size()));
  lz_detail::store_le32(destination + 4, static_cast<uint32_t>(n));
  return static_cast<int64_t>(w.size() + HEADER_SIZE);
}

std::optional<std::vector<uint8_t>> decompress(const uint8_t* record, size_t length) {
  if (!record || length < HEADER_SIZE) return std::nullopt;
  uint32_t packed = lz_detail::load_le32(record);
  uint32_t unpacked = lz_detail::load_le32(record + 4);
  if (packed > length - HEADER_SIZE) return std::nullopt;
  if (uint64_t{unpacked} * lz_detail::BEST_TOKEN_BITS > uint64_t{packed} * 8 * MAX_MATCH)
    return std::nullopt;

  std::vector<uint8_t> out(unpacked);
  size_t produced = 0;
  BitReader r(record + HEADER_SIZE, packed);
  while (r.position() < packed) {
    if (packed - r.position() < 4) return std::nullopt;
    uint32_t chunk_len = lz_detail::load_le32(record + HEADER_SIZE + r.position());
    r.seek(r.position() + 4);
    if (chunk_len == 0 || chunk_len > MAX_CHUNK || chunk_len > unpacked - produced)
      return std::nullopt;
    size_t chunk_start = produced;
    size_t chunk_end = produced + chunk_len;
    while (produced < chunk_end) {
      auto kind = r.get_bits(1);
      if (!kind) return std::nullopt;
      if (*kind == 0) {
        auto byte = r.get_bits(8);
        if (!byte) return std::nullopt;
        out[produced++] = static_cast<uint8_t>(*byte);
        continue;
      }
      auto len = lz_detail::get_length(r);
      if (!len) return std::nullopt;
      auto dist = lz_detail::get_distance(r);
      if (!dist) return std::nullopt;
      if (*dist > produced - chunk_start || *len > chunk_end - produced) return std::nullopt;
      // Byte by byte: a match may overlap the bytes it produces.
      const uint8_t* from = out.data() + produced - *dist;
      uint8_t* to = out.data() + produced;
      for (uint32_t i = 0; i < *len; ++i) to[i] = from[i];
      produced += *len;
    }
    r.align();
  }
  out.resize(produced);
  return out;
}

}  // namespace tav::lz
