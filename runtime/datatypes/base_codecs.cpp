#include "datatypes/base_codecs.h"

#include <algorithm>

#include "core/string_buffer.h"

namespace tav::binary {

namespace base_codecs_detail {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
constexpr char B58_ALPHABET[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char B64_ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr uint8_t SKIP = 64;
constexpr uint8_t INVALID = 128;

constexpr bool is_skip(uint32_t c) {
  return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32 || c == 39;
}

struct Table {
  uint8_t v[128];
};

constexpr Table make_table(const char* alphabet, uint32_t size) {
  Table t{};
  for (uint32_t c = 0; c < 128; c++) t.v[c] = is_skip(c) ? SKIP : INVALID;
  for (uint32_t i = 0; i < size; i++) t.v[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
  return t;
}
constexpr Table B58_TABLE = make_table(B58_ALPHABET, 58);
constexpr Table B64_TABLE = [] {
  Table t = make_table(B64_ALPHABET, 64);
  t.v['='] = 0;
  return t;
}();

int hex_value(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

// Walks the characters of a text, hiding ";" comments: a comment runs to the next line feed,
// which is then read as an ordinary blank.
class Reader {
 public:
  Reader(const uint8_t* text, uint32_t count, uint32_t unit) : p_(text), n_(count), unit_(unit) {}
  bool next(uint32_t* c) {
    while (i_ < n_) {
      uint32_t ch = string::get_char(p_ + size_t(i_) * unit_, unit_);
      i_++;
      if (ch == ';') {
        while (i_ < n_ && string::get_char(p_ + size_t(i_) * unit_, unit_) != '\n') i_++;
        continue;
      }
      *c = ch;
      return true;
    }
    return false;
  }

 private:
  const uint8_t* p_;
  uint32_t n_;
  uint32_t unit_;
  uint32_t i_ = 0;
};

}  // namespace base_codecs_detail

void encode_base2(const uint8_t* bytes, size_t length, std::string& out) {
  out.reserve(out.size() + length * 8);
  for (size_t i = 0; i < length; i++)
    for (int bit = 7; bit >= 0; bit--) out.push_back((bytes[i] >> bit) & 1 ? '1' : '0');
}

void encode_base16(const uint8_t* bytes, size_t length, std::string& out) {
  using base_codecs_detail::HEX_DIGITS;
  out.reserve(out.size() + length * 2);
  for (size_t i = 0; i < length; i++) {
    out.push_back(HEX_DIGITS[bytes[i] >> 4]);
    out.push_back(HEX_DIGITS[bytes[i] & 15]);
  }
}

void encode_base64(const uint8_t* bytes, size_t length, std::string& out) {
  using base_codecs_detail::B64_ALPHABET;
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    uint32_t v = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
    for (int s = 18; s >= 0; s -= 6) out.push_back(B64_ALPHABET[(v >> s) & 63]);
  }
  size_t rest = length - i;
  if (rest == 1) {
    uint32_t v = uint32_t(bytes[i]) << 16;
    out.push_back(B64_ALPHABET[(v >> 18) & 63]);
    out.push_back(B64_ALPHABET[(v >> 12) & 63]);
    out += "==";
  } else if (rest == 2) {
    uint32_t v = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8);
    out.push_back(B64_ALPHABET[(v >> 18) & 63]);
    out.push_back(B64_ALPHABET[(v >> 12) & 63]);
    out.push_back(B64_ALPHABET[(v >> 6) & 63]);
    out.push_back('=');
  }
}

void encode_base58(const uint8_t* bytes, size_t length, std::string& out) {
  using base_codecs_detail::B58_ALPHABET;
  size_t zeros = 0;
  while (zeros < length && bytes[zeros] == 0) zeros++;
  // The number read big-endian, divided by 58 until nothing is left.
  std::vector<uint8_t> work(bytes + zeros, bytes + length);
  std::string digits;
  size_t start = 0;
  while (start < work.size()) {
    uint32_t rem = 0;
    for (size_t k = start; k < work.size(); k++) {
      uint32_t acc = rem * 256 + work[k];
      work[k] = static_cast<uint8_t>(acc / 58);
      rem = acc % 58;
    }
    digits.push_back(B58_ALPHABET[rem]);
    while (start < work.size() && work[start] == 0) start++;
  }
  out.append(zeros, '1');
  out.append(digits.rbegin(), digits.rend());
}

Decoded decode_base2(const uint8_t* text, uint32_t count, uint32_t unit) {
  base_codecs_detail::Reader r(text, count, unit);
  std::vector<uint8_t> out;
  out.reserve(count / 8);
  uint32_t c, acc = 0, bits = 0;
  while (r.next(&c)) {
    if (c <= 32) continue;
    if (c != '0' && c != '1') return std::nullopt;
    acc = (acc << 1) | (c - '0');
    if (++bits == 8) {
      out.push_back(static_cast<uint8_t>(acc));
      acc = bits = 0;
    }
  }
  if (bits != 0) return std::nullopt;
  return out;
}

Decoded decode_base16(const uint8_t* text, uint32_t count, uint32_t unit) {
  base_codecs_detail::Reader r(text, count, unit);
  std::vector<uint8_t> out;
  out.reserve(count / 2);
  uint32_t c, acc = 0, digits = 0;
  while (r.next(&c)) {
    if (c <= 32) continue;
    // A character beyond ASCII is never a digit (masking it to 7 bits would make one).
    int v = c > 127 ? -1 : base_codecs_detail::hex_value(c);
    if (v < 0) return std::nullopt;
    acc = (acc << 4) | static_cast<uint32_t>(v);
    if (++digits == 2) {
      out.push_back(static_cast<uint8_t>(acc));
      acc = digits = 0;
    }
  }
  return out;   // a trailing odd digit is dropped
}

Decoded decode_base64(const uint8_t* text, uint32_t count, uint32_t unit) {
  using namespace base_codecs_detail;
  Reader r(text, count, unit);
  std::vector<uint8_t> out;
  out.reserve((size_t(count) + 3) * 3 / 4);
  uint32_t c, acc = 0, pending = 0;
  while (r.next(&c)) {
    if (c > 127) return std::nullopt;
    if (c == '=') {
      if (pending == 3) {
        out.push_back(static_cast<uint8_t>(acc >> 10));
        out.push_back(static_cast<uint8_t>(acc >> 2));
      } else if (pending == 2) {
        out.push_back(static_cast<uint8_t>(acc >> 4));
      } else {
        return std::nullopt;
      }
      return out;   // whatever follows the padding is ignored
    }
    uint8_t v = B64_TABLE.v[c];
    if (v == SKIP) continue;
    if (v == INVALID) return std::nullopt;
    acc = (acc << 6) | v;
    if (++pending == 4) {
      out.push_back(static_cast<uint8_t>(acc >> 16));
      out.push_back(static_cast<uint8_t>(acc >> 8));
      out.push_back(static_cast<uint8_t>(acc));
      acc = pending = 0;
    }
  }
  return out;   // 1 to 3 digits left without padding are dropped
}

Decoded decode_base58(const uint8_t* text, uint32_t count, uint32_t unit) {
  using namespace base_codecs_detail;
  Reader r(text, count, unit);
  std::vector<uint8_t> digits;
  digits.reserve(count);
  uint32_t c;
  while (r.next(&c)) {
    // A character beyond ASCII fails, rather than ending the text with a silent prefix.
    if (c > 127) return std::nullopt;
    uint8_t v = B58_TABLE.v[c];
    if (v == SKIP) continue;
    if (v == INVALID) return std::nullopt;
    digits.push_back(v);
  }
  size_t zeros = 0;
  while (zeros < digits.size() && digits[zeros] == 0) zeros++;
  // Base-256 digits of the number, least significant first.
  std::vector<uint8_t> le;
  for (size_t k = zeros; k < digits.size(); k++) {
    uint32_t carry = digits[k];
    for (uint8_t& b : le) {
      carry += uint32_t(b) * 58;
      b = static_cast<uint8_t>(carry);
      carry >>= 8;
    }
    while (carry) {
      le.push_back(static_cast<uint8_t>(carry));
      carry >>= 8;
    }
  }
  std::vector<uint8_t> out(zeros, 0);
  out.insert(out.end(), le.rbegin(), le.rend());
  return out;
}

bool is_supported_base(int base) { return base == 2 || base == 16 || base == 58 || base == 64; }

bool encode_base(int base, const uint8_t* bytes, size_t length, std::string& out) {
  switch (base) {
    case 2: encode_base2(bytes, length, out); return true;
    case 16: encode_base16(bytes, length, out); return true;
    case 58: encode_base58(bytes, length, out); return true;
    case 64: encode_base64(bytes, length, out); return true;
    default: return false;
  }
}

Decoded decode_base(int base, const uint8_t* text, uint32_t count, uint32_t unit) {
  switch (base) {
    case 2: return decode_base2(text, count, unit);
    case 16: return decode_base16(text, count, unit);
    case 58: return decode_base58(text, count, unit);
    case 64: return decode_base64(text, count, unit);
    default: return std::nullopt;
  }
}

}  // namespace tav::binary
