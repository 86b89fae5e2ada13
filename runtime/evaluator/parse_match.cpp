// Matching one rule value at an input position: cells of a block by comparison, characters
// of text (folding letter case unless the comparison is strict), bytes of a binary, and
// datatypes (on binary input by scanning one value from the bytes).
#include <algorithm>
#include <string>

#include "core/case_folding.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_scan.h"
#include "evaluator/actions.h"
#include "evaluator/parse_engine.h"
#include "scanner/lexer.h"
#include "core/string_buffer.h"

namespace tav::parse_detail {

namespace match_detail {

// Type membership in a typeset! cell: bit 0x80 >> (t & 7) of byte t >> 3, counted across the
// three payload words as they lie in memory.
bool typeset_has_type(const Cell* ts, TypeId t) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&ts->data1);
  return (bytes[t >> 3] & (0x80u >> (t & 7))) != 0;
}

uint32_t fold(uint32_t cp, int comp) {
  return comp == COMP_STRICT_EQUAL ? cp : casefold::map_char(cp, false);
}

// The character at input position pos (string input).
uint32_t input_char(const Engine& e, int32_t pos) {
  return string::char_at(e.input.node(), static_cast<uint32_t>(pos));
}

// The characters of a text value from its index, against the input from pos.
int32_t match_text(const Engine& e, int32_t pos, int32_t end, const Cell* text, bool tag) {
  uint32_t n = string::length(text);
  int32_t total = static_cast<int32_t>(n) + (tag ? 2 : 0);
  if (pos + total > end) return -1;
  int32_t p = pos;
  if (tag && input_char(e, p++) != '<') return -1;
  for (uint32_t i = 0; i < n; ++i, ++p) {
    if (fold(input_char(e, p), e.comp) != fold(string::char_at(text, i), e.comp)) return -1;
  }
  if (tag && input_char(e, p) != '>') return -1;
  return total;
}

// The bytes of a binary! value from its index.
std::string binary_bytes(const Cell* bin) {
  int32_t from = series::index_of(bin);
  int32_t len = series::buffer_length(bin);
  if (from < 0) from = 0;
  if (from >= len) return {};
  return std::string(reinterpret_cast<const char*>(series::unit_at(bin, from)),
                     static_cast<size_t>(len - from));
}

int32_t match_in_text(const Engine& e, int32_t pos, int32_t end, const Cell* value) {
  TypeId vt = value->type();
  if (vt == TYPE_CHAR)
    return fold(input_char(e, pos), e.comp) == fold(value->data2, e.comp) ? 1 : -1;
  if (vt == TYPE_BITSET) return bitset::has(value, input_char(e, pos)) ? 1 : -1;
  if (is_any_string(vt)) return match_text(e, pos, end, value, vt == TYPE_TAG);
  if (vt == TYPE_BINARY) {
    std::string bytes = binary_bytes(value);
    auto n = static_cast<int32_t>(bytes.size());
    if (pos + n > end) return -1;
    for (int32_t i = 0; i < n; ++i)
      if (input_char(e, pos + i) != static_cast<uint8_t>(bytes[static_cast<size_t>(i)]))
        return -1;
    return n;
  }
  return -1;
}

int32_t match_in_binary(const Engine& e, int32_t pos, int32_t end, const Cell* value) {
  uint8_t byte = *series::unit_at(&e.input, pos);
  TypeId vt = value->type();
  if (vt == TYPE_CHAR) return value->data2 == byte ? 1 : -1;
  if (vt == TYPE_BITSET) return bitset::has(value, byte) ? 1 : -1;
  std::string bytes;
  if (vt == TYPE_BINARY) {
    bytes = binary_bytes(value);
  } else if (is_any_string(vt)) {
    bytes = string::to_std_string(value);
    if (vt == TYPE_TAG) bytes = "<" + bytes + ">";
  } else {
    return -1;
  }
  auto n = static_cast<int32_t>(bytes.size());
  if (pos + n > end) return -1;
  const uint8_t* at = series::unit_at(&e.input, pos);
  for (int32_t i = 0; i < n; ++i)
    if (at[i] != static_cast<uint8_t>(bytes[static_cast<size_t>(i)])) return -1;
  return n;
}

bool empty_text(const Cell* v) {
  if (is_any_string(v->type()) && v->type() != TYPE_TAG) return string::length(v) == 0;
  if (v->is(TYPE_BINARY)) return binary_bytes(v).empty();
  return false;
}

// Units from pos on (at most max) that the test accepts one by one, for a buffer of units of
// type T. The caller re-derives nothing inside: nothing here allocates.
template <typename T, typename Test>
int32_t run_of(const uint8_t* head, int32_t pos, int32_t stop, Test test) {
  const T* p = reinterpret_cast<const T*>(head);
  int32_t i = pos;
  while (i < stop && test(static_cast<uint32_t>(p[i]))) ++i;
  return i - pos;
}

template <typename Test>
int32_t run_by_unit(const Engine& e, int32_t pos, int32_t stop, Test test) {
  SeriesBuffer* b = cell_buffer(&e.input);
  switch (b->unit()) {
    case 1: return run_of<uint8_t>(b->head_ptr(), pos, stop, test);
    case 2: return run_of<uint16_t>(b->head_ptr(), pos, stop, test);
    default: return run_of<uint32_t>(b->head_ptr(), pos, stop, test);
  }
}

// The bytes a match of the value can begin with, on input of one-byte units: false when
// the input is wider or the value begins with a character that the bytes of binary input
// spell otherwise.
bool first_bytes(const Engine& e, const Cell* value, string::ByteSet* set) {
  SeriesBuffer* b = cell_buffer(&e.input);
  if (b->unit() != 1) return false;
  bool binary = e.input.is(TYPE_BINARY);
  string::Fold fold = binary || e.comp == COMP_STRICT_EQUAL ? string::Fold::none
                                                            : string::Fold::lower;
  TypeId vt = value->type();
  if (vt == TYPE_BITSET) {
    *set = string::bytes_of_bitset(value);
    return true;
  }
  uint32_t c;
  if (vt == TYPE_CHAR) {
    c = value->data2;
  } else if (vt == TYPE_TAG) {
    c = '<';
    fold = string::Fold::none;
  } else if (vt == TYPE_BINARY) {
    c = *series::unit_at(value, std::max(series::index_of(value), 0));
    fold = string::Fold::none;
  } else if (is_any_string(vt)) {
    c = string::char_at(value, 0);
    if (binary && c >= 0x80) return false;
  } else {
    return false;
  }
  *set = string::bytes_equal_to(c, fold);
  return true;
}

}  // namespace match_detail

bool runs_by_unit(const Engine& e, const Cell* value) {
  TypeId it = e.input.type();
  return (value->is(TYPE_BITSET) || value->is(TYPE_CHAR)) && !is_any_block(it);
}

int32_t match_run(const Engine& e, int32_t pos, int32_t max, const Cell* value) {
  int32_t end = input_end(e);
  int32_t stop = max >= 0 && max < end - pos ? pos + max : end;
  if (pos >= stop) return 0;
  if (value->is(TYPE_BITSET)) {
    bitset::Members m(value);
    return match_detail::run_by_unit(e, pos, stop, [m](uint32_t c) { return m.has(c); });
  }
  uint32_t want = value->data2;
  if (e.input.is(TYPE_BINARY) || e.comp == COMP_STRICT_EQUAL)
    return match_detail::run_by_unit(e, pos, stop, [want](uint32_t c) { return c == want; });
  uint32_t folded = casefold::map_char(want, false);
  return match_detail::run_by_unit(e, pos, stop, [want, folded](uint32_t c) {
    return c == want || casefold::map_char(c, false) == folded;
  });
}

int32_t match_at(const Engine& e, int32_t pos, const Cell* value) {
  int32_t end = input_end(e);
  if (pos >= end) return -1;
  TypeId it = e.input.type();
  if (is_any_block(it)) {
    Cell a = *block::cell_at(&e.input, static_cast<uint32_t>(pos));
    Cell b = *value;
    int op = e.comp;
    // A lit-word or lit-path matches a word or path of any kind with the same spelling.
    if (b.is(TYPE_LIT_WORD) || b.is(TYPE_LIT_PATH))
      op = e.comp == COMP_STRICT_EQUAL ? COMP_FIND_CASE : COMP_FIND;
    return actions::compare(&a, &b, op) ? 1 : -1;
  }
  if (it == TYPE_BINARY) return match_detail::match_in_binary(e, pos, end, value);
  return match_detail::match_in_text(e, pos, end, value);
}

int32_t match_type_at(Engine& e, int32_t pos, const Cell* rule) {
  TypeId it = e.input.type();
  if (is_any_string(it)) raise(e, "parse-unsupported");
  int32_t end = input_end(e);
  if (pos >= end) return -1;
  auto fits = [rule](int t) {
    if (t <= 0 || t >= TYPE_TABLE_SIZE) return false;
    return rule->is(TYPE_DATATYPE) ? static_cast<int>(rule->data1) == t
                                   : match_detail::typeset_has_type(rule, static_cast<TypeId>(t));
  };
  if (is_any_block(it)) return fits(block::cell_at(&e.input, static_cast<uint32_t>(pos))->type()) ? 1 : -1;
  // Binary input: the value the bytes from here would load as. The bytes are copied out,
  // since the scan allocates and the input buffer may move.
  std::string text(reinterpret_cast<const char*>(series::unit_at(&e.input, pos)),
                   static_cast<size_t>(end - pos));
  lexer::Request req;
  req.text = reinterpret_cast<const uint8_t*>(text.data());
  req.length = text.size();
  req.mode = lexer::Mode::scan;
  req.one_value = true;
  req.count_chars = false;
  Cell unused;
  uint32_t stop = 0;
  int t = lexer::scan_utf8(req, &unused, &stop);
  if (t == TYPE_ERROR || !fits(t) || stop == 0) return -1;
  return static_cast<int32_t>(stop);
}

int32_t search(Engine& e, int32_t pos, const Cell* value, int32_t* len) {
  TypeId it = e.input.type();
  if (!is_any_block(it)) {
    TypeId vt = value->type();
    if (vt != TYPE_CHAR && vt != TYPE_BITSET && vt != TYPE_BINARY && !is_any_string(vt))
      raise(e, "parse-rule", value);
    if (match_detail::empty_text(value)) {
      *len = 0;
      return pos;
    }
  }
  int32_t end = input_end(e);
  string::ByteSet first;
  if (match_detail::first_bytes(e, value, &first)) {
    for (int32_t p = pos; p < end; ++p) {
      // Read afresh each time: a match on binary input may allocate.
      const uint8_t* bytes = cell_buffer(&e.input)->head_ptr();
      p = static_cast<int32_t>(string::next_byte_in(bytes, p, end, first));
      if (p < 0) return -1;
      int32_t n = match_at(e, p, value);
      if (n >= 0) {
        *len = n;
        return p;
      }
    }
    return -1;
  }
  for (int32_t p = pos; p < end; ++p) {
    int32_t n = match_at(e, p, value);
    if (n >= 0) {
      *len = n;
      return p;
    }
  }
  return -1;
}

}  // namespace tav::parse_detail
