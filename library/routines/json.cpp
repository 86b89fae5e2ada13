// The JSON decoder's one routine: rewriting the escape sequences of a string literal's text
// in place.
#include "core/errors.h"
#include "core/memory.h"
#include "core/string_buffer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "routines.h"

namespace tav::routines {

namespace {

// The value of four hexadecimal digits from position at, or -1 when fewer remain or one
// is not a digit.
int32_t hex4(NodeId n, uint32_t at, uint32_t end) {
  if (end - at < 4) return -1;
  int32_t v = 0;
  for (uint32_t k = 0; k < 4; ++k) {
    uint32_t c = string::char_at(n, at + k);
    int32_t d;
    if (c >= '0' && c <= '9') d = static_cast<int32_t>(c - '0');
    else if (c >= 'A' && c <= 'F') d = static_cast<int32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') d = static_cast<int32_t>(c - 'a' + 10);
    else return -1;
    v = v * 16 + d;
  }
  return v;
}

// Reads the character an escape stands for, the backslash being at `at`; answers it and
// moves `at` past the escape, or answers -1 for an escape JSON does not have.
int32_t escaped(NodeId n, uint32_t& at, uint32_t end) {
  if (end - at < 2) return -1;
  uint32_t c = string::char_at(n, at + 1);
  at += 2;
  switch (c) {
    case '"': case '\\': case '/': return static_cast<int32_t>(c);
    case 'b': return 0x08;
    case 'f': return 0x0C;
    case 'n': return 0x0A;
    case 'r': return 0x0D;
    case 't': return 0x09;
    case 'u': break;
    default: return -1;
  }
  int32_t hi = hex4(n, at, end);
  if (hi < 0) return -1;
  at += 4;
  if (hi < 0xD800 || hi > 0xDBFF) return hi;
  // A high surrogate is only half a character: the low half must follow as its own escape.
  if (end - at < 6 || string::char_at(n, at) != '\\' || string::char_at(n, at + 1) != 'u')
    return -1;
  int32_t lo = hex4(n, at + 2, end);
  if (lo < 0xDC00 || lo > 0xDFFF) return -1;
  at += 6;
  return 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00);
}

}  // namespace

Status unescape(const int32_t*) {
  Cell* str = arg(0);
  NodeId n = str->node();
  uint32_t from = string::clamped_index(str);
  uint32_t end = string::length(n);
  uint32_t first = from;
  while (first < end && string::char_at(n, first) != '\\') ++first;
  if (first == end) return done();
  // Every escape is checked before the first is written, so a refused text is reported
  // as the caller gave it.
  for (uint32_t at = first; at < end;) {
    if (string::char_at(n, at) != '\\') {
      ++at;
      continue;
    }
    if (escaped(n, at, end) < 0) {
      Cell* copy = series::copy_units(str, static_cast<int32_t>(from),
                                      static_cast<int32_t>(end - from), stack::new_cell());
      error::raise(ERR_SCRIPT, "invalid-data", copy);
    }
  }
  // The text only shrinks, so the write position never passes the read position; a wider
  // character widens the buffer, and positions count characters, so reading goes on.
  uint32_t dst = first;
  for (uint32_t src = first; src < end; ++dst) {
    uint32_t c = string::char_at(n, src);
    if (c == '\\') c = static_cast<uint32_t>(escaped(n, src, end));
    else ++src;
    string::poke_char(n, dst, c);
  }
  string::truncate(n, dst);
  return done();
}

}  // namespace tav::routines
