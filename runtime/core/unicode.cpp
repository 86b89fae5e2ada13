#include "core/unicode.h"

#include <cstring>

namespace tav::unicode {

namespace utf8_dfa {

// Björn Höhrmann's UTF-8 automaton: 256 byte classes, then the transitions with states
// in multiples of 12 (0 accepts, 12 rejects). It rejects overlong forms, surrogates and
// code points above U+10FFFF by construction.
constexpr uint8_t ACCEPT = 0;
constexpr uint8_t REJECT = 12;

constexpr uint8_t table[364] = {
    // 00..7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 80..9F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    // A0..BF
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    // C0..DF
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // E0..FF
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // transitions
    0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12, 12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12, 12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,
    12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
};

// Runs the automaton from p, reading no byte at or past end. Returns the state it
// stopped in: ACCEPT (cp holds the character, *next is after it), REJECT (*next is after
// the bytes to skip), or another state when end came first (*next == end).
inline uint8_t run(const uint8_t* p, const uint8_t* end, uint32_t* cp, const uint8_t** next) {
  uint8_t b = *p;
  uint8_t cls = table[b];
  uint32_t c = (0xFFu >> cls) & b;
  uint8_t state = table[256 + cls];
  const uint8_t* q = p + 1;
  while (state != ACCEPT && state != REJECT && q < end) {
    b = *q;
    cls = table[b];
    uint8_t s = table[256 + state + cls];
    if (s == REJECT) {
      state = REJECT;  // the breaking byte is left for the next character
      break;
    }
    c = (c << 6) | (b & 0x3Fu);
    state = s;
    ++q;
  }
  *cp = c;
  *next = q;
  return state;
}

}  // namespace utf8_dfa

unsigned min_unit(const void* units, size_t count, unsigned unit) {
  unsigned need = 1;
  if (unit == 1) return 1;
  for (size_t i = 0; i < count; ++i) {
    unsigned u = unit_for(read_unit(units, i, unit));
    if (u > need) {
      need = u;
      if (need == unit) break;
    }
  }
  return need;
}

void widen_units(void* buffer, size_t count, unsigned from, unsigned to) {
  for (size_t i = count; i-- > 0;) write_unit(buffer, i, to, read_unit(buffer, i, from));
}

const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp) {
  uint32_t c;
  const uint8_t* next;
  uint8_t state = utf8_dfa::run(p, end, &c, &next);
  *cp = state == utf8_dfa::ACCEPT ? static_cast<int32_t>(c) : -1;
  return next;
}

size_t utf8_length(const uint8_t* start, const uint8_t* end) {
  size_t n = 0;
  int32_t cp;
  for (const uint8_t* p = start; p < end; ++n) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    p = fast_decode_utf8_char(p, end, &cp);
  }
  return n;
}

const uint8_t* utf8_skip(const uint8_t* p, const uint8_t* end, size_t n) {
  int32_t cp;
  for (; n > 0 && p < end; --n) p = fast_decode_utf8_char(p, end, &cp);
  return p;
}

int32_t decode_utf8_checked(const uint8_t* p, size_t avail, size_t* length) {
  if (*p < 0x80) {
    *length = 1;
    return *p;
  }
  uint32_t c;
  const uint8_t* next;
  uint8_t state = utf8_dfa::run(p, p + avail, &c, &next);
  *length = static_cast<size_t>(next - p);
  if (state == utf8_dfa::ACCEPT) return c == 0xFFFE ? UTF8_INVALID : static_cast<int32_t>(c);
  return state == utf8_dfa::REJECT ? UTF8_INVALID : UTF8_TRUNCATED;
}

Utf8Scan scan_utf8(const uint8_t* bytes, size_t length, bool crlf_to_lf) {
  Utf8Scan s{Utf8Status::ok, 0, length, 0, 1, 0};
  if (length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) s.start = 3;
  size_t i = s.start;
  while (i < length) {
    // Eight ASCII bytes at a time, when no CR among them needs folding.
    if (!crlf_to_lf) {
      while (i + 8 <= length) {
        uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        if (w & 0x8080808080808080ull) break;
        i += 8;
        s.chars += 8;
      }
      if (i >= length) break;
    }
    uint8_t b = bytes[i];
    if (b < 0x80) {
      ++i;
      if (b == '\r' && crlf_to_lf && i < length && bytes[i] == '\n') ++i;
      ++s.chars;
      continue;
    }
    size_t n;
    int32_t cp = decode_utf8_checked(bytes + i, length - i, &n);
    if (cp < 0) {
      s.status = cp == UTF8_TRUNCATED ? Utf8Status::truncated : Utf8Status::invalid;
      s.end = i;
      if (cp == UTF8_TRUNCATED) s.bytes_left = length - i;
      return s;
    }
    unsigned u = unit_for(static_cast<uint32_t>(cp));
    if (u > s.unit) s.unit = u;
    ++s.chars;
    i += n;
  }
  return s;
}

size_t decode_utf8_units(const uint8_t* bytes, const Utf8Scan& scan, bool crlf_to_lf,
                         void* out, unsigned unit) {
  size_t n = 0;
  size_t i = scan.start;
  while (i < scan.end) {
    uint8_t b = bytes[i];
    if (b < 0x80) {
      ++i;
      if (b == '\r' && crlf_to_lf) {
        b = '\n';
        if (i < scan.end && bytes[i] == '\n') ++i;
      }
      write_unit(out, n++, unit, b);
      continue;
    }
    size_t len;
    int32_t cp = decode_utf8_checked(bytes + i, scan.end - i, &len);
    if (cp < 0) break;  // only when the caller passes a scan of other bytes
    write_unit(out, n++, unit, static_cast<uint32_t>(cp));
    i += len;
  }
  return n;
}

int encode_utf8_char(uint32_t cp, uint8_t* dst) {
  if (cp < 0x80) {
    dst[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    dst[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    dst[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    dst[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    dst[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    dst[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  if (cp <= MAX_CODE_POINT) {
    dst[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
    dst[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    dst[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    dst[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
  }
  return 0;
}

int encode_utf8_char_limited(uint32_t cp, uint8_t* dst, size_t room) {
  uint8_t seq[4];
  int n = encode_utf8_char(cp, seq);
  if (static_cast<size_t>(n) > room) n = static_cast<int>(room);
  std::memcpy(dst, seq, static_cast<size_t>(n));
  return n;
}

Utf8Size utf8_size(const void* units, size_t count, unsigned unit, bool lf_to_crlf) {
  Utf8Size r{0, true, 0};
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(units, i, unit);
    int n = utf8_char_size(cp);
    if (n == 0) return Utf8Size{r.bytes, false, cp};
    r.bytes += static_cast<size_t>(n) + (lf_to_crlf && cp == '\n' ? 1 : 0);
  }
  return r;
}

Utf8Size units_to_utf8(const void* units, size_t count, unsigned unit, uint8_t* dst,
                       bool lf_to_crlf, bool terminate) {
  Utf8Size r{0, true, 0};
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(units, i, unit);
    if (cp < 0x80) {
      if (cp == '\n' && lf_to_crlf) dst[r.bytes++] = '\r';
      dst[r.bytes++] = static_cast<uint8_t>(cp);
      continue;
    }
    int n = encode_utf8_char(cp, dst + r.bytes);
    if (n == 0) {
      r.ok = false;
      r.bad_char = cp;
      break;
    }
    r.bytes += static_cast<size_t>(n);
  }
  if (terminate) dst[r.bytes] = 0;
  return r;
}

size_t units_to_utf8_limited(const void* units, size_t count, unsigned unit, uint8_t* dst,
                             size_t room, bool terminate) {
  size_t written = 0;
  for (size_t i = 0; i < count && written < room; ++i)
    written += static_cast<size_t>(
        encode_utf8_char_limited(read_unit(units, i, unit), dst + written, room - written));
  if (terminate) dst[written] = 0;
  return written;
}

namespace utf16_le {

inline uint32_t get(const uint8_t* src, size_t i) {
  return static_cast<uint32_t>(src[2 * i]) | static_cast<uint32_t>(src[2 * i + 1]) << 8;
}

inline void put(uint8_t* dst, size_t i, uint32_t u) {
  dst[2 * i] = static_cast<uint8_t>(u);
  dst[2 * i + 1] = static_cast<uint8_t>(u >> 8);
}

inline bool is_high(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The character at code unit i and how many code units it took.
inline uint32_t decode(const uint8_t* src, size_t count, size_t i, size_t* used) {
  uint32_t u = get(src, i);
  *used = 1;
  if (!is_high(u)) return u;
  if (i + 1 < count) {
    uint32_t low = get(src, i + 1);
    if (is_low(low)) {
      *used = 2;
      return 0x10000 + (((u & 0x3FF) << 10) | (low & 0x3FF));
    }
  }
  return REPLACEMENT_CHAR;  // a high surrogate with no partner
}

}  // namespace utf16_le

Utf16Scan scan_utf16(const uint8_t* src, size_t count, bool drop_cr) {
  Utf16Scan s{0, 1};
  for (size_t i = 0; i < count;) {
    size_t used;
    uint32_t cp = utf16_le::decode(src, count, i, &used);
    i += used;
    if (cp == '\r' && drop_cr) continue;
    unsigned u = unit_for(cp);
    if (u > s.unit) s.unit = u;
    ++s.chars;
  }
  return s;
}

size_t decode_utf16_units(const uint8_t* src, size_t count, bool drop_cr, void* out,
                          unsigned unit) {
  size_t n = 0;
  for (size_t i = 0; i < count;) {
    size_t used;
    uint32_t cp = utf16_le::decode(src, count, i, &used);
    i += used;
    if (cp == '\r' && drop_cr) continue;
    write_unit(out, n++, unit, cp);
  }
  return n;
}

int encode_utf16_char(uint32_t cp, uint8_t* dst) {
  if (cp < 0x10000) {
    utf16_le::put(dst, 0, cp);
    return 1;
  }
  if (cp > MAX_CODE_POINT) return 0;
  uint32_t v = cp - 0x10000;
  utf16_le::put(dst, 0, 0xD800 | (v >> 10));
  utf16_le::put(dst, 1, 0xDC00 | (v & 0x3FF));
  return 2;
}

size_t utf16_room(const void* units, size_t count, unsigned unit) {
  size_t room = count * 2 + 2;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(units, i, unit);
    if (cp == '\n' || cp >= 0x10000) room += 2;
  }
  return room;
}

int64_t units_to_utf16(const void* units, size_t count, unsigned unit, uint8_t* dst,
                       bool lf_to_crlf) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(units, i, unit);
    if (cp == '\n' && lf_to_crlf) utf16_le::put(dst, n++, '\r');
    int w = encode_utf16_char(cp, dst + 2 * n);
    if (w == 0) {
      utf16_le::put(dst, 0, 0);
      return -1;
    }
    n += static_cast<size_t>(w);
  }
  utf16_le::put(dst, n, 0);
  return static_cast<int64_t>(n);
}

namespace cp1251 {

// Bytes 0x80-0xFF; 0x98 has no character in the code page and stands for U+0098.
constexpr uint16_t high_half[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411,
    0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432,
    0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D,
    0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448,
    0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

}  // namespace cp1251

uint32_t cp1251_char(uint8_t b) { return b < 0x80 ? b : cp1251::high_half[b - 0x80]; }

Utf16Scan scan_cp1251(const uint8_t* bytes, size_t length, bool crlf_to_lf) {
  Utf16Scan s{0, 1};
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] == '\r' && crlf_to_lf && i + 1 < length && bytes[i + 1] == '\n') ++i;
    unsigned u = unit_for(cp1251_char(bytes[i]));
    if (u > s.unit) s.unit = u;
    ++s.chars;
  }
  return s;
}

size_t decode_cp1251_units(const uint8_t* bytes, size_t length, bool crlf_to_lf, void* out,
                           unsigned unit) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    uint32_t cp = cp1251_char(bytes[i]);
    if (cp == '\r' && crlf_to_lf) {
      cp = '\n';
      if (i + 1 < length && bytes[i + 1] == '\n') ++i;
    }
    write_unit(out, n++, unit, cp);
  }
  return n;
}

}  // namespace tav::unicode
