#include "scanner/tokens.h"

#include "datatypes/time.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "memory.h"
#include "number_text.h"
#include "scanner/converters.h"
#include "datatypes/block.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "string_buffer.h"
#include "symbols.h"
#include "types.h"
#include "unicode.h"
#include "words.h"

namespace tav::lexer {

NodeId make_string(const uint32_t* chars, size_t count, uint32_t unit) {
  NodeId node = string::make_unit(static_cast<uint32_t>(count), unit);
  SeriesBuffer* buf = node_buffer(node);
  for (size_t i = 0; i < count; ++i) unicode::write_unit(buf->head_ptr(), i, unit, chars[i]);
  buf->tail = buf->head + static_cast<uint32_t>(count * unit);
  return node;
}

NodeId make_block(const Cell* cells, size_t count) {
  Cell block;
  block::make_at(&block, static_cast<int32_t>(count));
  SeriesBuffer* buf = node_buffer(block.node());
  if (count) std::memcpy(buf->tail_ptr(), cells, count * sizeof(Cell));
  buf->tail += static_cast<uint32_t>(count * sizeof(Cell));
  return block.node();
}

const char* type_name(int type) {
  if (type > 0 && type < TYPE_TABLE_SIZE && type_table[type].name) return type_table[type].name;
  // Until the datatypes register, the names the lexer itself reports.
  static const char* const names[TYPE_TABLE_SIZE] = {
      nullptr, "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!",
      "file!", "url!", "char!", "integer!", "float!", "symbol!", "context!", "word!",
      "set-word!", "lit-word!", "get-word!", "refinement!", "issue!", "native!", "action!",
      "op!", "function!", "path!", "lit-path!", "set-path!", "get-path!", "routine!",
      "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!", "pair!",
      "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!",
      "handle!", "date!", "port!", "money!", "ref!", "point2D!", "point3D!", "image!",
      "event!", nullptr, nullptr};
  return type > 0 && type < TYPE_TABLE_SIZE ? names[type] : nullptr;
}

void emit(State& s, Cell value) {
  Cell* c = push_cell(s);
  uint32_t new_line = c->header & FLAG_NEW_LINE;
  *c = value;
  c->header |= new_line;
}

namespace lexer_tokens {

// Characters decoded from a token; reused so that a token costs no allocation once warm.
std::vector<uint32_t> scratch_chars;
std::vector<uint8_t> scratch_bytes;

constexpr uint32_t UNICODE_BLANKS[] = {0x0085, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
                                       0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A,
                                       0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0x180E, 0x200B,
                                       0x200C};

bool is_unicode_blank(uint32_t cp) {
  for (uint32_t b : UNICODE_BLANKS) {
    if (b == cp) return true;
  }
  return false;
}

int hex_value(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

bool equal_nocase(const uint8_t* p, size_t n, const char* word) {
  if (std::strlen(word) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(p[i]) != word[i]) return false;
  }
  return true;
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
    if (v > 0x10FFFF) return nullptr;
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

bool contains(const uint8_t* p, const uint8_t* end, uint8_t byte) {
  return p < end && std::memchr(p, byte, end - p) != nullptr;
}

Cell series_cell(TypeId type, NodeId node) { return make_cell(type, 0, node, 0); }

// ---- Value loaders ----------------------------------------------------------------------

bool load_string(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                 bool build) {
  s.position = end + 1;   // the closing quote
  return load_text(s, start + 1, end, flags, true, TYPE_STRING, build);
}

bool load_word(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  TypeId kind = TYPE_WORD;
  const uint8_t* name = start;
  const uint8_t* name_end = end;
  if (*name == '\'') kind = TYPE_LIT_WORD, ++name;
  else if (*name == ':') kind = TYPE_GET_WORD, ++name;
  if (name_end > name && name_end[-1] == ':') {
    if (kind == TYPE_LIT_WORD) return fail(s, start, end, TYPE_LIT_WORD);
    if (kind == TYPE_GET_WORD) return fail(s, start, end, TYPE_WORD);
    kind = TYPE_SET_WORD;
    --name_end;
  }
  if (name == name_end) return fail(s, start, end, kind);
  s.type = kind;
  return load_word_as(s, name, name_end, kind, build);
}

bool load_issue(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  if (end - start < 2) return fail(s, start, end, TYPE_ISSUE);
  return load_word_as(s, start + 1, end, TYPE_ISSUE, build);
}

bool load_refinement(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  if (end - start < 2) return fail(s, start, end, TYPE_REFINEMENT);
  return load_word_as(s, start + 1, end, TYPE_REFINEMENT, build);
}

bool load_integer(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                  bool build);

// A decimal text (with "'" separators) to a float; false when it is malformed.
bool text_to_double(const uint8_t* start, const uint8_t* end, int exponent_shift, double* out) {
  if (start == end) return false;
  char text[320] = {};
  size_t n = 0;
  for (const uint8_t* p = start; p < end; ++p) {
    if (n >= 312) return false;
    text[n++] = static_cast<char>(*p);
  }
  if (!float_syntax(text, n)) return false;
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] != '\'') text[kept++] = text[i];
  }
  int left = 0;
  *out = number::text_to_float(text, text + kept, exponent_shift, &left);
  return left == 0;
}

bool load_float(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  double v;
  if (!text_to_double(start, end, 0, &v)) return fail(s, start, end, TYPE_FLOAT);
  if (build) {
    Cell c;
    emit(s, *set_float(&c, v));
  }
  return true;
}

bool load_integer(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                  bool build) {
  const uint8_t* p = start;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  size_t digits = 0;
  int64_t value = 0;
  bool apostrophes = (flags & TOKEN_APOSTROPHE) != 0;
  for (const uint8_t* q = p; q < end; ++q) {
    if (*q == '\'') {
      if (q + 1 < end && q[1] == '\'') return fail(s, start, end, TYPE_INTEGER);
      continue;
    }
    if (*q < '0' || *q > '9') return fail(s, start, end, TYPE_INTEGER);
    ++digits;
    if (value < (int64_t(1) << 40)) value = value * 10 + (*q - '0');
  }
  if (digits == 0) return fail(s, start, end, TYPE_INTEGER);
  // Ten characters besides the sign: counting the sign too would make every negative
  // ten-digit integer (-1000000000) a float while -2147483648 stays an integer.
  bool too_long = apostrophes ? digits > 10 : static_cast<size_t>(end - p) > 10;
  if (negative) value = -value;
  s.type = TYPE_INTEGER;
  if (too_long || value > INT32_MAX || value < INT32_MIN) {
    // Out of 32 bits: the token is a float.
    double v;
    if (!text_to_double(start, end, 0, &v)) return fail(s, start, end, TYPE_INTEGER);
    s.type = TYPE_FLOAT;
    if (build) {
      Cell c;
      emit(s, *set_float(&c, v));
    }
    return true;
  }
  if (build) {
    Cell c;
    emit(s, *set_integer(&c, static_cast<int32_t>(value)));
  }
  return true;
}

bool load_hex(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
  size_t n = end - start - 1;   // without the "h"
  bool digit_first = *start >= '0' && *start <= '9';
  if (!digit_first && n < 2) return fail(s, start, end, TYPE_WORD);
  if ((flags & (TOKEN_SIGN | TOKEN_APOSTROPHE)) || n < 2 || n > 8) {
    return fail(s, start, end, TYPE_INTEGER);
  }
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    int h = hex_value(start[i]);
    if (h < 0) return fail(s, start, end, TYPE_INTEGER);
    v = v * 16 + static_cast<uint32_t>(h);
  }
  if (build) {
    Cell c;
    emit(s, *set_integer(&c, static_cast<int32_t>(v)));
  }
  return true;
}

bool load_percent(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  s.position = end + 1;   // the "%"
  double v;
  if (!text_to_double(start, end, -2, &v)) return fail(s, start, end + 1, TYPE_PERCENT);
  if (build) {
    Cell c;
    emit(s, *set_float(&c, v, TYPE_PERCENT));
  }
  return true;
}

bool load_special_float(State& s, const uint8_t* start, const uint8_t* end, uint32_t,
                        bool build) {
  const uint8_t* p = start;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  size_t n = end - p;
  double v;
  if (n == 6 && p[0] == '1' && p[1] == '.' && p[2] == '#' && equal_nocase(p + 3, 3, "nan")) {
    v = std::numeric_limits<double>::quiet_NaN();
  } else if (n == 6 && p[0] == '1' && p[1] == '.' && p[2] == '#' &&
             equal_nocase(p + 3, 3, "inf")) {
    v = negative ? -std::numeric_limits<double>::infinity()
                 : std::numeric_limits<double>::infinity();
  } else {
    return fail(s, start, end, TYPE_FLOAT);
  }
  if (build) {
    Cell c;
    emit(s, *set_float(&c, v));
  }
  return true;
}

bool load_tuple(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  int error = 0;
  Cell c;
  string_to_tuple(start, end - start, 1, &c, &error);
  if (error) return fail(s, start, end, TYPE_TUPLE);
  if (build) emit(s, c);
  return true;
}

// Two integers separated by "x" or "X"; a "." anywhere (a float component) is refused.
bool load_pair(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  int64_t parts[2] = {0, 0};
  const uint8_t* p = start;
  for (int i = 0; i < 2; ++i) {
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const uint8_t* digits = p;
    int64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
      v = v * 10 + (*p++ - '0');
      if (v > int64_t(INT32_MAX) + 1) return fail(s, start, end, TYPE_PAIR);
    }
    if (p == digits) return fail(s, start, end, TYPE_PAIR);
    v = negative ? -v : v;
    if (v > INT32_MAX) return fail(s, start, end, TYPE_PAIR);
    parts[i] = v;
    if (i == 0) {
      if (p >= end || (*p != 'x' && *p != 'X')) return fail(s, start, end, TYPE_PAIR);
      ++p;
    }
  }
  if (p != end) return fail(s, start, end, TYPE_PAIR);
  if (build) {
    Cell c = make_cell(TYPE_PAIR, 0, static_cast<uint32_t>(parts[0]),
                       static_cast<uint32_t>(parts[1]));
    emit(s, c);
  }
  return true;
}

bool load_char(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  s.position = end + 1;
  uint32_t widest;
  uint32_t unit = 1;
  if (end - start < 3 || !decode_chars(start + 2, end, true, &widest, &unit) ||
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

bool load_time(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  double seconds;
  if (!time_::text_to_seconds(start, static_cast<uint32_t>(end - start), 1, &seconds))
    return fail(s, start, end, TYPE_TIME);
  if (build) {
    Cell c;
    emit(s, *set_float(&c, seconds, TYPE_TIME));
  }
  return true;
}

// "$1.50", "-EUR$3'000.25": sign, currency code, "$", digits with "'" separators between
// them, "." or "," as the decimal mark, at most 17 integer digits and 5 decimals.
bool load_money(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  auto bad = [&]() { return fail(s, start, end, TYPE_MONEY); };
  const uint8_t* p = start;
  MoneyText parts{};
  if (p < end && (*p == '+' || *p == '-')) parts.negative = *p++ == '-';
  if (p < end && std::isalpha(*p)) {
    if (end - p < 4) return bad();
    for (int k = 0; k < 3; ++k) {
      if (!std::isalpha(p[k])) return bad();
      parts.currency[k] = static_cast<char>(p[k]);
    }
    p += 3;
  }
  if (p == end || *p != '$') return bad();
  ++p;
  if (p == end || *p < '0' || *p > '9') return bad();
  bool in_fraction = false;
  for (const uint8_t* q = p; q < end; ++q) {
    uint8_t c = *q;
    if (c >= '0' && c <= '9') {
      if (in_fraction) {
        if (parts.fraction_count == 5) return bad();
        parts.fraction_digits[parts.fraction_count++] = static_cast<char>(c);
      } else if (parts.integer_count > 0 || c != '0') {
        if (parts.integer_count == 17) return bad();
        parts.integer_digits[parts.integer_count++] = static_cast<char>(c);
      }
    } else if (c == '\'') {
      if (q + 1 == end || q[1] == '\'' || q[-1] == '\'') return bad();
    } else if ((c == '.' || c == ',') && !in_fraction) {
      in_fraction = true;
    } else {
      return bad();
    }
  }
  Cell c;
  if (!money::make_from_text(&c, parts)) return bad();
  if (build) emit(s, c);
  return true;
}

// Reads up to max digits at p (at least min); -1 when there are fewer than min.
int64_t date_digits(const uint8_t*& p, const uint8_t* end, int min, int max, int* count) {
  int64_t v = 0;
  int n = 0;
  while (p < end && n < max && *p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    ++n;
  }
  if (count) *count = n;
  return n < min ? -1 : v;
}

// The month of a name given by 3 to 9 of its letters, or 0.
int month_of_name(const uint8_t* p, size_t n) {
  static const char* const names[12] = {"january", "february", "march", "april", "may",
                                        "june", "july", "august", "september", "october",
                                        "november", "december"};
  if (n < 3 || n > 9) return 0;
  for (int m = 0; m < 12; ++m) {
    if (std::strlen(names[m]) < n) continue;
    bool same = true;
    for (size_t i = 0; i < n && same; ++i) same = std::tolower(p[i]) == names[m][i];
    if (same) return m + 1;
  }
  return 0;
}

struct DateTimePart {
  double time = 0;
  int zone_hours = 0;
  int zone_minutes = 0;
  bool zone_west = false;
};

// A time after "/" or "T": hh:mm[:ss[.f]] (or hhmm[ss] in the compact form), then "Z" or a
// zone +hh, -hh, +hh:mm or +hhmm. False when malformed or out of range.
bool date_time_part(const uint8_t* p, const uint8_t* end, DateTimePart* out) {
  int n = 0;
  int64_t hour = date_digits(p, end, 1, 2, &n);
  int64_t minute = 0;
  double second = 0;
  if (hour < 0) return false;
  auto read_seconds = [&](const uint8_t*& q) {
    const uint8_t* from = q;
    int digits = 0;
    while (q < end && *q >= '0' && *q <= '9') { ++q; ++digits; }
    if (digits == 0 || digits > 2) return false;
    if (q < end && (*q == '.' || *q == ',')) {
      ++q;
      while (q < end && *q >= '0' && *q <= '9') ++q;
    }
    char text[64];
    size_t k = 0;
    for (const uint8_t* r = from; r < q && k < sizeof text - 1; ++r) text[k++] = *r == ',' ? '.' : static_cast<char>(*r);
    int left = 0;
    second = number::text_to_float(text, text + k, 0, &left);
    return left == 0;
  };
  if (p < end && *p == ':') {
    ++p;
    minute = date_digits(p, end, 2, 2, nullptr);
    if (minute < 0) return false;
    if (p < end && *p == ':') {
      ++p;
      if (!read_seconds(p)) return false;
    }
  } else {
    // Compact: hhmm or hhmmss.
    if (n != 2) return false;
    minute = date_digits(p, end, 2, 2, nullptr);
    if (minute < 0) return false;
    if (p < end && *p >= '0' && *p <= '9' && !read_seconds(p)) return false;
  }
  if (hour > 23 || minute > 59 || second >= 60) return false;
  out->time = hour * 3600.0 + minute * 60.0 + second;
  if (p == end) return true;
  if (*p == 'Z' || *p == 'z') return p + 1 == end;
  if (*p != '+' && *p != '-') return false;
  out->zone_west = *p++ == '-';
  int zn = 0;
  int64_t zh = date_digits(p, end, 1, 2, &zn);
  if (zh < 0 || zh > 15) return false;
  int64_t zm = 0;
  if (p < end && *p == ':') {
    ++p;
    zm = date_digits(p, end, 2, 2, nullptr);
  } else if (p < end) {
    if (zn != 2) return false;
    zm = date_digits(p, end, 2, 2, nullptr);
  }
  if (zm < 0 || zm > 59 || p != end) return false;
  out->zone_hours = static_cast<int>(zh);
  out->zone_minutes = static_cast<int>(zm);
  return true;
}

// Day-first (d-m-y, d/m/y, month as number or name), year-first ISO (yyyy-mm-dd),
// ordinal (yyyy-ddd), week (yyyy-Www-d) and compact (yyyymmddThhmmss) dates, each with an
// optional time and zone.
bool load_date(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  auto bad = [&]() { return fail(s, start, end, TYPE_DATE); };
  const uint8_t* p = start;
  int n1 = 0;
  int64_t f1 = date_digits(p, end, 1, 8, &n1);
  if (f1 < 0) return bad();
  int64_t year = 0, month = 0, day = 0;
  enum { PLAIN, ORDINAL, WEEK } form = PLAIN;
  if (n1 == 8) {
    if (p == end || (*p != 'T' && *p != 't')) return bad();
    year = f1 / 10000;
    month = f1 / 100 % 100;
    day = f1 % 100;
  } else {
    if (p == end || (*p != '-' && *p != '/')) return bad();
    uint8_t sep = *p++;
    if (n1 == 4 && sep == '-' && p < end && (*p == 'W' || *p == 'w')) {
      ++p;
      int64_t week = date_digits(p, end, 2, 2, nullptr);
      if (week < 1 || week > 53 || p == end || *p != '-') return bad();
      ++p;
      int64_t weekday = date_digits(p, end, 1, 1, nullptr);
      if (weekday < 1 || weekday > 7) return bad();
      year = f1;
      month = week;
      day = weekday;
      form = WEEK;
    } else {
      int n2 = 0;
      const uint8_t* name = p;
      while (p < end && std::isalpha(*p)) ++p;
      if (p > name) {
        month = month_of_name(name, p - name);
        if (month == 0) return bad();
      } else {
        month = date_digits(p, end, 1, 3, &n2);
        if (month < 0) return bad();
      }
      if (n2 == 3 && n1 == 4 && sep == '-' && (p == end || *p == '/' || *p == 'T')) {
        year = f1;
        day = month;
        month = 1;
        form = ORDINAL;
        if (day < 1 || day > (date::leap_year(static_cast<int32_t>(year)) ? 366 : 365)) return bad();
      } else {
        if (n2 > 2 || p == end || *p != sep) return bad();
        ++p;
        bool negative = p < end && *p == '-';
        if (negative) ++p;
        int n3 = 0;
        int64_t f3 = date_digits(p, end, 1, 5, &n3);
        if (f3 < 0) return bad();
        if (negative) f3 = -f3;
        if (f1 <= 99 || f3 < 0 || f3 > 31) {
          day = f1;
          year = f3;
          if (!negative && n3 <= 2) year += year < 50 ? 2000 : 1900;
        } else {
          year = f1;
          day = f3;
        }
      }
    }
  }
  if (year < -9999 || year > 9999) return bad();
  if (form == PLAIN) {
    static const int lengths[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > lengths[month - 1]) return bad();
    if (month == 2 && day == 29 && !date::leap_year(static_cast<int32_t>(year))) return bad();
  }
  DateTimePart t;
  bool with_time = false;
  if (p < end) {
    if (*p != '/' && *p != 'T' && *p != 't') return bad();
    ++p;
    if (!date_time_part(p, end, &t)) return bad();
    with_time = true;
  }
  if (!build) return true;
  Cell c;
  int zh = t.zone_west ? -t.zone_hours : t.zone_hours;
  int zm = t.zone_west ? -t.zone_minutes : t.zone_minutes;
  if (form == PLAIN) {
    date::make_at(&c, static_cast<int32_t>(year), static_cast<int>(month), static_cast<int>(day),
                  t.time, zh, zm, with_time);
  } else {
    date::make_at(&c, static_cast<int32_t>(year), 1, 1, t.time, zh, zm, with_time);
    if (form == ORDINAL) {
      date::set_yearday(&c, static_cast<int32_t>(day));
    } else {
      date::set_week(&c, static_cast<int32_t>(month));
      date::set_weekday(&c, static_cast<int32_t>(day));
    }
  }
  emit(s, c);
  return true;
}

// Literals whose datatypes are not in this build yet: recognised, but not made.
bool load_not_built(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  if (!build) return true;
  return fail(s, start, end, not_built(s.type));
}

}  // namespace lexer_tokens

const uint8_t* skip_unicode_blank(const uint8_t* start, const uint8_t* end) {
  const uint8_t* p = start;
  while (p < end && *p >= 0xC2) {
    size_t len = 1;
    int32_t cp = unicode::decode_utf8_checked(p, end - p, &len);
    if (cp < 0) return nullptr;
    if (!lexer_tokens::is_unicode_blank(static_cast<uint32_t>(cp))) break;
    p += len;
  }
  return p;
}

bool load_word_as(State& s, const uint8_t* start, const uint8_t* end, TypeId kind, bool build) {
  if (start == end) return fail(s, start, end, kind);
  if (build) {
    uint32_t symbol = symbol::make(reinterpret_cast<const char*>(start), end - start);
    Cell word = make_cell(kind);
    word::make_at(symbol, &word);
    word.set_type(kind);
    // An issue is not looked up as a word: it keeps the global context but no position.
    if (kind == TYPE_ISSUE) word.data3 = 0xFFFFFFFFu;
    emit(s, word);
  }
  return true;
}

bool load_text(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool escapes,
               TypeId type, bool build) {
  using namespace lexer_tokens;   // NOLINT
  const uint8_t* from = start;
  const uint8_t* to = end;
  bool percents = (type == TYPE_FILE || type == TYPE_URL) && !escapes && contains(start, end, '%');
  if (percents) {
    if (!percent_decode(start, end)) return fail(s, s.token_start, end, type);
    from = scratch_bytes.data();
    to = from + scratch_bytes.size();
  }
  uint32_t widest = 0;
  uint32_t unit = string_unit(flags);
  if (!decode_chars(from, to, escapes && (flags & TOKEN_CARET), &widest, &unit)) {
    return fail(s, s.token_start, end, type);
  }
  s.type = type;
  if (!build) return true;
  if (unicode::unit_for(widest) > unit) unit = unicode::unit_for(widest);
  NodeId node = make_string(scratch_chars.data(), scratch_chars.size(), unit);
  emit(s, series_cell(type, node));
  return true;
}

bool load_point(State& s, const Cell* values, uint32_t count, int type, const uint8_t* start,
                const uint8_t* end, Cell* out) {
  uint32_t wanted = type == TYPE_POINT3D ? 3 : 2;
  if (count != wanted) return fail(s, start, end, type);
  float v[3] = {0.0f, 0.0f, 0.0f};
  for (uint32_t i = 0; i < count; ++i) {
    if (values[i].is(TYPE_INTEGER)) v[i] = static_cast<float>(values[i].int_value());
    else if (values[i].is(TYPE_FLOAT)) v[i] = static_cast<float>(values[i].float_value());
    else return fail(s, start, end, type);
  }
  uint32_t w[3];
  std::memcpy(w, v, sizeof w);
  *out = make_cell(static_cast<TypeId>(type), w[0], w[1], type == TYPE_POINT3D ? w[2] : 0);
  return true;
}

void register_token_handlers() {
  auto set = [](uint8_t state, Handler h) { load_handlers[state - FIRST_FINAL_STATE] = h; };
  set(S_STRING, lexer_tokens::load_string);
  set(S_WORD, lexer_tokens::load_word);
  set(S_ISSUE, lexer_tokens::load_issue);
  set(S_INTEGER, lexer_tokens::load_integer);
  set(S_REFINEMENT, lexer_tokens::load_refinement);
  set(S_CHAR, lexer_tokens::load_char);
  set(S_FILE, lexer_tokens::load_file);
  set(S_BINARY, lexer_tokens::load_binary);
  set(S_PERCENT, lexer_tokens::load_percent);
  set(S_FLOAT, lexer_tokens::load_float);
  set(S_SPECIAL_FLOAT, lexer_tokens::load_special_float);
  set(S_TUPLE, lexer_tokens::load_tuple);
  set(S_DATE, lexer_tokens::load_date);
  set(S_PAIR, lexer_tokens::load_pair);
  set(S_POINT, lexer_tokens::load_not_built);
  set(S_TIME, lexer_tokens::load_time);
  set(S_MONEY, lexer_tokens::load_money);
  set(S_TAG, lexer_tokens::load_tag);
  set(S_URL, lexer_tokens::load_url);
  set(S_EMAIL, lexer_tokens::load_email);
  set(S_HEX, lexer_tokens::load_hex);
  set(S_RAW_STRING, lexer_tokens::load_raw_string);
  set(S_REF, lexer_tokens::load_ref);
}

}  // namespace tav::lexer
