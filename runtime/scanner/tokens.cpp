// What every token handler leans on (new strings and blocks, type names, emitting a value),
// the word-like tokens, and the table that hands each final state its handler.
#include "scanner/tokens.h"

#include <cstring>

#include "datatypes/block.h"
#include "core/memory.h"
#include "scanner/tokens_internal.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/unicode.h"
#include "core/words.h"

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

// The automaton also reaches these states from a number ("1#abc") or a "'" or ":" prefix
// ("'/a"): only the token's own first character makes an issue or a refinement.
bool load_issue(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  if (end - start < 2 || *start != '#') return fail(s, start, end, TYPE_ISSUE);
  return load_word_as(s, start + 1, end, TYPE_ISSUE, build);
}

bool load_refinement(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  if (end - start < 2 || *start != '/') return fail(s, start, end, TYPE_REFINEMENT);
  return load_word_as(s, start + 1, end, TYPE_REFINEMENT, build);
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

namespace lexer_tokens {

// A symbol keeps its name's bytes, and mold and form decode them as UTF-8: a name they
// would refuse is refused here, while the token can still be reported.
bool valid_name(const uint8_t* start, const uint8_t* end) {
  const uint8_t* p = start;
  while (p < end && *p < 0x80) ++p;
  if (p == end) return true;
  return unicode::scan_utf8(start, end - start, false).status == unicode::Utf8Status::ok;
}

}  // namespace lexer_tokens

bool load_word_as(State& s, const uint8_t* start, const uint8_t* end, TypeId kind, bool build) {
  if (start == end || !lexer_tokens::valid_name(start, end)) return fail(s, start, end, kind);
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
