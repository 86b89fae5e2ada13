// The lexer's load errors: the message a refused token leaves, and the language error that a
// failed load raises from it.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "scanner/lexer_internal.h"
#include "scanner/tokens.h"
#include "core/unicode.h"

namespace tav::lexer {

namespace lexer_driver {

LoadError last_error;

uint32_t line_of(const State& s, const uint8_t* at) {
  uint32_t line = 1;
  for (const uint8_t* p = s.input_start; p < at; ++p) line += (*p == '\n');
  return line;
}

// The token text an error shows: at most 30 characters, cut at a line feed.
std::string error_token(const State& s, const uint8_t* start) {
  const uint8_t* p = start;
  for (int n = 0; n < 30 && p < s.input_end && *p != '\n'; ++n) {
    const uint8_t* next = unicode::utf8_skip(p, s.input_end, 1);
    p = next > p ? next : p + 1;
  }
  return std::string(reinterpret_cast<const char*>(start), p - start);
}

Cell* push_text(std::string_view text, Cell* out) {
  std::vector<uint32_t> chars;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* e = p + text.size();
  uint32_t unit = 1;
  while (p < e) {
    size_t len = 1;
    int32_t cp = unicode::decode_utf8_checked(p, e - p, &len);
    if (cp < 0) cp = 0xFFFD;
    chars.push_back(static_cast<uint32_t>(cp));
    unit = std::max<uint32_t>(unit, unicode::unit_for(static_cast<uint32_t>(cp)));
    p += len ? len : 1;
  }
  *out = make_cell(TYPE_STRING, 0, make_string(chars.data(), chars.size(), unit), 0);
  return out;
}

[[noreturn]] void raise_load_error(const LoadError& e) {
  Cell line, arg2, token;
  push_text("(line " + std::to_string(e.line) + ")", &line);
  push_text(e.token, &token);
  if (e.kind <= KIND_NOT_BUILT) {
    set_datatype(&arg2, static_cast<TypeId>(KIND_NOT_BUILT - e.kind));
    error::raise(ERR_INTERNAL, "not-done", &arg2, &token);
  }
  switch (e.kind) {
    case KIND_BAD_CHAR: error::raise(ERR_SYNTAX, "bad-char", &line, &token);
    case KIND_BAD_CONSTRUCTION: error::raise(ERR_SYNTAX, "malconstruct", &line, &token);
    case KIND_MISSING:
    case KIND_MISSING_AT_END:
      push_text(e.message.substr(e.message.find("missing ") + 8, 1), &arg2);
      error::raise(ERR_SYNTAX, "missing", &line, &arg2, &token);
    default:
      set_datatype(&arg2, static_cast<TypeId>(e.kind));
      error::raise(ERR_SYNTAX, "invalid", &line, &arg2, &token);
  }
}

}  // namespace lexer_driver

char closer_of(int nesting_type) {
  return (nesting_type == TYPE_BLOCK || nesting_type == TYPE_MAP) ? ']' : ')';
}

bool fail(State& s, const uint8_t* start, const uint8_t* end, int kind) {
  s.failed = true;
  if (!s.load) {
    s.type = TYPE_ERROR;
    return false;
  }
  if (s.traced) {
    int type = kind > 0 ? kind : kind <= KIND_NOT_BUILT ? KIND_NOT_BUILT - kind : s.error_type;
    s.error_end = end;
    s.error_type = 0;
    if (!fire_event(s, EVENT_ERROR, type ? type : TYPE_ERROR, nullptr, start, end)) {
      s.declined = true;
      return false;
    }
  }
  s.error_pending = true;
  LoadError& e = lexer_driver::last_error;
  e.kind = kind;
  e.line = lexer_driver::line_of(s, start);
  e.token = lexer_driver::error_token(s, start);
  std::string line = "(line " + std::to_string(e.line) + ") ";
  if (kind <= KIND_NOT_BUILT) {
    e.message = std::string("*** Internal Error: ") + type_name(KIND_NOT_BUILT - kind) +
                " values cannot be loaded yet at " + e.token;
    return false;
  }
  switch (kind) {
    case KIND_BAD_CHAR: e.message = line + "invalid character at " + e.token; break;
    case KIND_BAD_CONSTRUCTION: e.message = line + "invalid construction spec at " + e.token; break;
    case KIND_MISSING:
    case KIND_MISSING_AT_END: e.message = line + "missing " + s.missing + " at " + e.token; break;
    default: e.message = line + "invalid " + type_name(kind) + " at " + e.token; break;
  }
  e.message = "*** Syntax Error: " + e.message;
  return false;
}

const LoadError& last_load_error() { return lexer_driver::last_error; }

}  // namespace tav::lexer
