// String-family tokens (string, raw string, char, file, tag, url, email, ref) and binaries:
// escapes, percent-encoding and the base 2, 16 and 64 digits that become their contents.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.h"
#include "scanner/tokens.h"
#include "scanner/tokens_internal.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::lexer {

namespace lexer_tokens {

// Characters decoded from a token; reused so that a token costs no allocation once warm.
std::vector<uint32_t> scratch_chars;
std::vector<uint8_t> scratch_bytes;
std::vector<uint8_t> scratch_text;

// Characters back to UTF-8; each came from decoding, so each encodes.
void encode_chars(const std::vector<uint32_t>& chars, std::vector<uint8_t>& out) {
  out.resize(chars.size() * 4);
  size_t n = 0;
  for (uint32_t cp : chars) n += unicode::encode_utf8_char(cp, out.data() + n);
  out.resize(n);
}

// Decodes the escape after a "^" at p (p < end); answers the position after it, or nullptr.
// A long "^(...)" code asks for wide units whatever its value: *unit is raised to 2 for
// more than 2 digits and to 4 for more than 4.
const uint8_t* decode_escape(const uint8_t* p, const uint8_t* end, uint32_t* out,
                             uint32_t* unit) {
  uint8_t c = *p;
  if (c == '(') {
    const uint8_t* close = static_cast<const uint8_t*>(std::memchr(p, ')', end - p));
    if (!close) return nullptr;
    const uint8_t* body = p + 1;
    size_t n = close - body;
    static const struct { const char* name; uint32_t code; } named[] = {
        {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27},
        {"del", 127}};
    for (const auto& e : named) {
      if (equal_nocase(body, n, e.name)) {
        *out = e.code;
        return close + 1;
      }
    }
    if (n == 0 || n > 6) return nullptr;
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) {
      int h = hex_value(body[i]);
      if (h < 0) return nullptr;
      v = v * 16 + static_cast<uint32_t>(h);
    }
    // An escape names only what UTF-8 text can hold (no surrogate, nothing above U+10FFFF):
    // the decoder's own check decides, so a string never holds what mold cannot write.
    uint8_t encoded[4];
    int encoded_size = unicode::encode_utf8_char(v, encoded);
    size_t decoded_size;
    if (encoded_size == 0 || unicode::decode_utf8_checked(encoded, encoded_size, &decoded_size) < 0)
      return nullptr;
    if (n > 4) *unit = 4;
    else if (n > 2 && *unit < 2) *unit = 2;
    *out = v;
    return close + 1;
  }
  switch (c) {
    case '"': *out = '"'; return p + 1;
    case '-': *out = 9; return p + 1;
    case '/': *out = 10; return p + 1;
    case '@': *out = 0; return p + 1;
    case '^': *out = '^'; return p + 1;
    case '{': *out = '{'; return p + 1;
    case '}': *out = '}'; return p + 1;
    case '~': *out = 127; return p + 1;
    default: break;
  }
  if (c >= 'a' && c <= 'z') {
    *out = c - 'a' + 1u;
    return p + 1;
  }
  if (c >= 'A' && c <= '_') {
    *out = c - 'A' + 1u;
    return p + 1;
  }
  size_t len = 1;
  int32_t cp = unicode::decode_utf8_checked(p, end - p, &len);
  if (cp < 0) return nullptr;
  *out = static_cast<uint32_t>(cp);
  return p + len;
}

// UTF-8 text (with "^" escapes when asked) to characters in scratch_chars; false when the
// text is malformed. *unit is raised to the width that long escapes ask for.
bool decode_chars(const uint8_t* p, const uint8_t* end, bool escapes, uint32_t* widest,
                  uint32_t* unit) {
  scratch_chars.clear();
  uint32_t top = 0;
  while (p < end) {
    uint32_t cp;
    if (*p < 0x80) {
      if (escapes && *p == '^') {
        if (p + 1 >= end) return false;
        p = decode_escape(p + 1, end, &cp, unit);
        if (!p) return false;
      } else {
        cp = *p++;
      }
    } else {
      size_t len = 1;
      int32_t c = unicode::decode_utf8_checked(p, end - p, &len);
      if (c < 0) return false;
      cp = static_cast<uint32_t>(c);
      p += len;
    }
    scratch_chars.push_back(cp);
    if (cp > top) top = cp;
  }
  *widest = top;
  return true;
}

// "%XX" sequences to bytes, in scratch_bytes; false for a broken sequence.
bool percent_decode(const uint8_t* p, const uint8_t* end) {
  scratch_bytes.clear();
  while (p < end) {
    if (*p == '%') {
      if (end - p < 3) return false;
      int hi = hex_value(p[1]);
      int lo = hex_value(p[2]);
      if (hi < 0 || lo < 0) return false;
      scratch_bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
      p += 3;
    } else {
      scratch_bytes.push_back(*p++);
    }
  }
  return true;
}

Cell series_cell(TypeId type, NodeId node) { return make_cell(type, 0, node, 0); }

// ---- Value loaders ----------------------------------------------------------------------

bool load_string(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                 bool build) {
  s.position = end + 1;   // the closing quote
  return load_text(s, start + 1, end, flags, true, TYPE_STRING, build);
}

bool load_char(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  s.position = end + 1;
  uint32_t widest;
  uint32_t unit = 1;
  if (end - start < 3 || start[0] != '#' || start[1] != '"' ||
      !decode_chars(start + 2, end, true, &widest, &unit) ||
      scratch_chars.size() != 1) {
    return fail(s, start, end + 1, TYPE_CHAR);
  }
  if (build) {
    Cell c;
    emit(s, *set_char(&c, scratch_chars[0]));
  }
  return true;
}

bool load_file(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  if (s.previous_state == 8) {   // %"..."
    s.position = end + 1;
    return load_text(s, start + 2, end, flags, true, TYPE_FILE, build);
  }
  return load_text(s, start + 1, end, flags, false, TYPE_FILE, build);
}

bool load_tag(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  s.position = end + 1;
  return load_text(s, start + 1, end, flags, false, TYPE_TAG, build);
}

bool load_url(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  // "'a:b" and ":a:b" reach the url state through a word's prefix: no url starts so.
  if (*start == '\'') return fail(s, start, end, TYPE_LIT_WORD);
  if (*start == ':') return fail(s, start, end, TYPE_GET_WORD);
  return load_text(s, start, end, flags, false, TYPE_URL, build);
}

bool load_email(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  return load_text(s, start, end, flags, false, TYPE_EMAIL, build);
}

bool load_ref(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  if (end - start < 2) return fail(s, start, end, TYPE_REF);
  return load_text(s, start + 1, end, flags, false, TYPE_REF, build);
}

bool load_raw_string(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                     bool build) {
  size_t run = 0;
  while (start + run < end && start[run] == '%') ++run;
  const uint8_t* body = start + run + 1;   // past the "{"
  const uint8_t* body_end = end - run - 1;
  if (body_end < body || *body_end != '}') return fail(s, start, end, TYPE_STRING);
  return load_text(s, body, body_end, flags, false, TYPE_STRING, build);
}

// Binary digits in base 2, 16 or 64, with blanks and ";" comments between them.
bool decode_binary(const uint8_t* p, const uint8_t* end, int base) {
  scratch_bytes.clear();
  uint32_t acc = 0;
  int bits = 0;
  int pad = 0;
  for (; p < end; ++p) {
    uint8_t c = *p;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (c == ';') {
      while (p < end && *p != '\n') ++p;
      continue;
    }
    int v;
    int width;
    if (base == 16) {
      v = hex_value(c);
      width = 4;
    } else if (base == 2) {
      v = c == '0' ? 0 : c == '1' ? 1 : -1;
      width = 1;
    } else {
      width = 6;
      if (c == '=') {
        ++pad;
        continue;
      }
      if (pad) return false;
      v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26
        : c >= '0' && c <= '9' ? c - '0' + 52 : c == '+' ? 62 : c == '/' ? 63 : -1;
    }
    if (v < 0) return false;
    acc = (acc << width) | static_cast<uint32_t>(v);
    bits += width;
    if (bits >= 8) {
      bits -= 8;
      scratch_bytes.push_back(static_cast<uint8_t>(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
  if (base == 64) {
    // Leftover bits must be the zero fill of a group that "=" completes.
    if (pad > 2 || acc != 0 || (bits == 0 && pad != 0) || (bits == 4 && pad != 2) ||
        (bits == 2 && pad != 1) || bits == 6) {
      return false;
    }
    return true;
  }
  return bits == 0;
}

bool load_binary(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  s.position = end + 1;   // the "}"
  const uint8_t* hash = static_cast<const uint8_t*>(std::memchr(start, '#', end - start));
  int base = 16;
  if (hash != start) {
    std::string digits(reinterpret_cast<const char*>(start), hash - start);
    base = digits == "2" ? 2 : digits == "16" ? 16 : digits == "64" ? 64 : 0;
  }
  if (base == 0 || !decode_binary(hash + 2, end, base)) {
    return fail(s, start, end + 1, TYPE_BINARY);
  }
  if (build) {
    NodeId node = alloc::new_bytes(static_cast<uint32_t>(scratch_bytes.size()));
    SeriesBuffer* buf = node_buffer(node);
    if (!scratch_bytes.empty()) {
      std::memcpy(buf->head_ptr(), scratch_bytes.data(), scratch_bytes.size());
    }
    buf->tail = buf->head + static_cast<uint32_t>(scratch_bytes.size());
    emit(s, series_cell(TYPE_BINARY, node));
  }
  return true;
}

}  // namespace lexer_tokens

bool load_text(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool escapes,
               TypeId type, bool build) {
  using namespace lexer_tokens;   // NOLINT
  uint32_t widest = 0;
  uint32_t unit = string_unit(flags);
  if (!decode_chars(start, end, escapes && (flags & TOKEN_CARET), &widest, &unit)) {
    return fail(s, s.token_start, end, type);
  }
  // A file or url is percent-decoded as built: after its "^" escapes.
  if ((type == TYPE_FILE || type == TYPE_URL) &&
      std::find(scratch_chars.begin(), scratch_chars.end(), '%') != scratch_chars.end()) {
    encode_chars(scratch_chars, scratch_text);
    if (!percent_decode(scratch_text.data(), scratch_text.data() + scratch_text.size()) ||
        !decode_chars(scratch_bytes.data(), scratch_bytes.data() + scratch_bytes.size(), false,
                      &widest, &unit)) {
      return fail(s, s.token_start, end, type);
    }
  }
  s.type = type;
  if (!build) return true;
  if (unicode::unit_for(widest) > unit) unit = unicode::unit_for(widest);
  NodeId node = make_string(scratch_chars.data(), scratch_chars.size(), unit);
  emit(s, series_cell(type, node));
  return true;
}

}  // namespace tav::lexer
