// What the token handlers' files share: the small digit and letter tests both the number
// and the text loaders use, and every handler, so that tokens.cpp can register them.
// Internal to the scanner.
#pragma once
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scanner/lexer.h"

namespace tav::lexer::lexer_tokens {

inline int hex_value(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

inline bool equal_nocase(const uint8_t* p, size_t n, const char* word) {
  if (std::strlen(word) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(p[i]) != word[i]) return false;
  }
  return true;
}

// ---- Words and word-like tokens (tokens.cpp) --------------------------------------------

bool load_word(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_issue(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_refinement(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_not_built(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);

// ---- Numbers and values made of numbers (tokens_numbers.cpp) -----------------------------

bool load_integer(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                  bool build);
bool load_float(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_hex(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);
bool load_percent(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_special_float(State& s, const uint8_t* start, const uint8_t* end, uint32_t,
                        bool build);
bool load_money(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_tuple(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_pair(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);

// ---- Strings, the string family and binaries (tokens_text.cpp) ---------------------------

bool load_string(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                 bool build);
bool load_raw_string(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                     bool build);
bool load_char(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_file(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);
bool load_tag(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);
bool load_url(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);
bool load_email(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);
bool load_ref(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);
bool load_binary(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);

// ---- Dates and times (tokens_dates.cpp) ---------------------------------------------------

bool load_date(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);
bool load_time(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build);

}  // namespace tav::lexer::lexer_tokens
