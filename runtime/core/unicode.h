// Text conversion between UTF-8, UTF-16LE, Windows-1251 and the fixed-width units that
// strings store (1 byte: Latin-1, 2 bytes: UCS-2, 4 bytes: UCS-4).
//
// Everything here works on plain arrays; the string datatype owns buffers, sizes them
// with the scan and size functions below and raises the language errors these
// functions report (invalid-utf8, invalid-char). Character widths live with the case
// tables in case_folding.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tav::unicode {

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;
constexpr uint32_t REPLACEMENT_CHAR = 0xFFFD;

// ---- Units ----------------------------------------------------------------------------

// Smallest unit (1, 2 or 4 bytes) that holds the code point.
inline unsigned unit_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

inline uint32_t read_unit(const void* units, size_t i, unsigned unit) {
  const uint8_t* p = static_cast<const uint8_t*>(units);
  if (unit == 1) return p[i];
  if (unit == 2) {
    uint16_t v;
    std::memcpy(&v, p + 2 * i, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, p + 4 * i, 4);
  return v;
}

// The code point must fit the unit.
inline void write_unit(void* units, size_t i, unsigned unit, uint32_t cp) {
  uint8_t* p = static_cast<uint8_t*>(units);
  if (unit == 1) {
    p[i] = static_cast<uint8_t>(cp);
  } else if (unit == 2) {
    uint16_t v = static_cast<uint16_t>(cp);
    std::memcpy(p + 2 * i, &v, 2);
  } else {
    std::memcpy(p + 4 * i, &cp, 4);
  }
}

// Smallest unit that holds every one of count units read at the given unit size.
unsigned min_unit(const void* units, size_t count, unsigned unit);

// Widens count units from one size to a larger one in place (1 -> 2, 1 -> 4, 2 -> 4).
// The buffer must already have room for count units of the new size; units are copied
// from the last to the first so the source and destination may overlap.
void widen_units(void* buffer, size_t count, unsigned from, unsigned to);

// ---- UTF-8 decoding -------------------------------------------------------------------

// The lead byte's announced sequence length: 4, 3 or 2 by its top bits, else 0
// (ASCII and continuation bytes alike).
inline int utf8_lead_length(uint8_t b) {
  if ((b & 0xF0) == 0xF0) return 4;
  if ((b & 0xE0) == 0xE0) return 3;
  if ((b & 0xC0) == 0xC0) return 2;
  return 0;
}

// Decodes one character with the DFA (one table load per byte). Overlong forms,
// surrogates, code points above U+10FFFF and sequences cut short by end give *cp = -1.
// On failure the bytes of the broken sequence are consumed except the one that broke
// it, which may start the next character; a bad lead byte consumes itself.
// Requires p < end.
const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp);

// Characters in the bytes; each malformed piece counts as one character.
size_t utf8_length(const uint8_t* start, const uint8_t* end);

// The position after at most n characters, never past end.
const uint8_t* utf8_skip(const uint8_t* p, const uint8_t* end, size_t n);

// Results of decode_utf8_checked besides a code point.
constexpr int32_t UTF8_TRUNCATED = -1;   // the bytes ran out inside a sequence
constexpr int32_t UTF8_INVALID = -2;     // raise invalid-utf8

// Decodes one character from at most avail bytes (avail > 0). Rejects what the fast
// decoder rejects and also U+FFFE. A sequence is reported truncated only when every
// byte present could still begin a valid one. *length receives the bytes consumed
// (the sequence length; for an invalid sequence the bytes to skip over it).
int32_t decode_utf8_checked(const uint8_t* p, size_t avail, size_t* length);

// Bytes the invalid-utf8 error shows: up to four from the sequence's start, never more
// than the input still holds there.
inline size_t invalid_utf8_arg_size(size_t bytes_left) { return bytes_left < 4 ? bytes_left : 4; }

enum class Utf8Status : uint8_t { ok, truncated, invalid };

// What loading UTF-8 will produce. Decoding covers bytes [start, end).
struct Utf8Scan {
  Utf8Status status;
  size_t start;        // 3 when a byte-order mark is skipped, else 0
  size_t end;          // where decoding stops: the input length, the cut-short tail's
                       // start (truncated), or the bad sequence's start (invalid)
  size_t chars;        // characters to store, CR LF folding applied
  unsigned unit;       // smallest unit holding them (1 for empty text)
  size_t bytes_left;   // length - end when truncated, else 0: kept for the next chunk
};

// Scans UTF-8 to be loaded into a string. With crlf_to_lf a CR becomes LF and a CR LF
// pair gives one LF. A leading mark EF BB BF is skipped when the input is longer than
// two bytes.
Utf8Scan scan_utf8(const uint8_t* bytes, size_t length, bool crlf_to_lf);

// Decodes bytes [scan.start, scan.end) into units of the given size (at least
// scan.unit); returns the units written (scan.chars).
size_t decode_utf8_units(const uint8_t* bytes, const Utf8Scan& scan, bool crlf_to_lf,
                         void* out, unsigned unit);

// ---- UTF-8 encoding -------------------------------------------------------------------

// 1 to 4 bytes; 0 above U+10FFFF (the caller raises invalid-char).
inline int utf8_char_size(uint32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  if (cp <= MAX_CODE_POINT) return 4;
  return 0;
}

// Bytes written (1-4); 0 above U+10FFFF, writing nothing.
int encode_utf8_char(uint32_t cp, uint8_t* dst);

// As encode_utf8_char, but writes only the first room bytes of the sequence.
int encode_utf8_char_limited(uint32_t cp, uint8_t* dst, size_t room);

// Result of sizing or encoding a run of units as UTF-8.
struct Utf8Size {
  size_t bytes;          // without a terminating zero
  bool ok;               // false: a unit above U+10FFFF, in bad_char
  uint32_t bad_char;
};

// UTF-8 bytes needed for count units; each LF counts two bytes when lf_to_crlf.
Utf8Size utf8_size(const void* units, size_t count, unsigned unit, bool lf_to_crlf = false);

// Room that always suffices for count units and a terminating zero, LF -> CR LF
// included, without scanning them: (count + 1) * (2, 3 or 4 for unit 1, 2 or 4).
inline size_t utf8_bound(size_t count, unsigned unit) {
  return (count + 1) * (unit == 1 ? 2 : unit == 2 ? 3 : 4);
}

// Encodes count units into dst, which the caller sized (utf8_size or utf8_bound), each LF
// as CR LF when asked, then a zero byte when terminate. On a unit above U+10FFFF it
// stops and reports it; the bytes before it are written.
Utf8Size units_to_utf8(const void* units, size_t count, unsigned unit, uint8_t* dst,
                       bool lf_to_crlf, bool terminate);

// Encodes count units into at most room bytes: the output is the encoding cut at room,
// possibly inside a sequence. Units above U+10FFFF are left out. Returns the bytes
// written; a terminating zero, when asked, follows them (the caller keeps a byte for it).
size_t units_to_utf8_limited(const void* units, size_t count, unsigned unit, uint8_t* dst,
                             size_t room, bool terminate);

// ---- UTF-16LE -------------------------------------------------------------------------
// UTF-16 text is little-endian bytes, two per code unit, read and written without
// alignment requirements.

struct Utf16Scan {
  size_t chars;
  unsigned unit;
};

// Scans count code units. A surrogate pair is one character; a high surrogate with no
// low surrogate after it becomes U+FFFD; a lone low surrogate is kept as it is. With
// drop_cr every U+000D is left out.
Utf16Scan scan_utf16(const uint8_t* src, size_t count, bool drop_cr);

// Decodes count code units into units of the given size (at least the scan's unit);
// returns the units written.
size_t decode_utf16_units(const uint8_t* src, size_t count, bool drop_cr, void* out,
                          unsigned unit);

// Code units written (1 or 2, a surrogate pair); 0 above U+10FFFF.
int encode_utf16_char(uint32_t cp, uint8_t* dst);

// Bytes the conversion of count units needs: (count * 2 + 2) plus 2 for every LF and
// for every character above U+FFFF, whether or not CR LF is asked.
size_t utf16_room(const void* units, size_t count, unsigned unit);

// Encodes count units into dst (sized with utf16_room), each LF as CR LF when asked,
// and ends with a zero code unit. Returns the code units written without the zero, or
// -1 when a unit lies above U+10FFFF (nothing usable was written).
int64_t units_to_utf16(const void* units, size_t count, unsigned unit, uint8_t* dst,
                       bool lf_to_crlf);

// ---- Windows-1251 ---------------------------------------------------------------------

uint32_t cp1251_char(uint8_t b);

// Characters and smallest unit the bytes give, with the same CR LF -> LF rule as UTF-8.
Utf16Scan scan_cp1251(const uint8_t* bytes, size_t length, bool crlf_to_lf);

size_t decode_cp1251_units(const uint8_t* bytes, size_t length, bool crlf_to_lf, void* out,
                           unsigned unit);

}  // namespace tav::unicode
