#include "datatypes/string.h"
#include "datatypes/string_ops.h"

#include <algorithm>
#include <cstring>

#include "core/errors.h"
#include "core/stack.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::string {

namespace string_value_detail {

// Copies count characters between buffers of possibly different units; the target unit
// holds every character.
void copy_units(uint8_t* dst, uint32_t tu, const uint8_t* src, uint32_t su, uint32_t count) {
  if (tu == su) {
    std::memmove(dst, src, size_t(count) * su);
    return;
  }
  for (uint32_t i = 0; i < count; i++) put_char(dst + i * tu, tu, get_char(src + i * su, su));
}

uint32_t checked_bytes(uint64_t chars, uint32_t unit) {
  series::check_length(chars, unit);
  return static_cast<uint32_t>(chars * unit);
}

// Escapes for code points 0-94 ("^" + the entry); 0 means none.
constexpr char escape_table[95] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '^',
};

// Characters mold writes as they are in the given delimiter mode (runs of them are copied
// in one go).
inline bool molds_plain(uint32_t c, bool braces, bool escape_high) {
  if (c < 0x20 || c == 0x7F || c == '^') return false;
  if (c >= 0x80 && (escape_high || c <= 0x9F)) return false;
  if (braces) return c != '{' && c != '}';
  return c != '"';
}

// Position (from the range start) of the first "{" that has no matching "}" in the range,
// or count when every one is matched. Braces pair up as nesting would read them.
uint32_t first_unmatched_brace(NodeId n, uint32_t start, uint32_t count) {
  SeriesBuffer* b = node_buffer(n);
  uint32_t unit = b->unit();
  const uint8_t* p = b->head_ptr() + (start << unit_shift(unit));
  uint32_t depth = 0, bottom = count;
  for (uint32_t i = 0; i < count; i++) {
    uint32_t c = get_char(p + i * unit, unit);
    if (c == '{') {
      if (depth++ == 0) bottom = i;
    } else if (c == '}' && depth > 0) {
      depth--;
    }
  }
  return depth > 0 ? bottom : count;
}

}  // namespace string_value_detail

uint32_t clamped_index(const Cell* v) {
  int32_t at = static_cast<int32_t>(v->index());
  uint32_t total = cell_buffer(v)->count();
  return at < 0 ? 0 : std::min(static_cast<uint32_t>(at), total);
}

uint32_t length(const Cell* v) { return cell_buffer(v)->count() - clamped_index(v); }

bool is_tail(const Cell* v) { return length(v) == 0; }

uint8_t* head_address(Cell* v) {
  uint32_t index = clamped_index(v);
  v->data1 = index;
  SeriesBuffer* b = cell_buffer(v);
  return b->head_ptr() + (index << unit_shift(b->unit()));
}

uint32_t char_at(const Cell* v, uint32_t offset) {
  return string::char_at(v->node(), clamped_index(v) + offset);
}

void reset_to_bytes(Cell* v) {
  string::reset_to_bytes(v->node());
  v->data1 = 0;
}

Cell* make_at(Cell* out, uint32_t capacity, uint32_t unit) {
  // Unset while the buffer is allocated, so a collection never meets a half-made string.
  set_unset(out);
  bool on_stack = out >= stack::begin && out < stack::end;
  uint32_t at = on_stack ? stack::index_of(out) : 0;
  NodeId n = make_unit(capacity, unit);
  if (on_stack) out = stack::at_index(at);
  *out = make_cell(TYPE_STRING, 0, n, 0);
  return out;
}

void concatenate(Cell* target, const Cell* source, int32_t part, int32_t offset, Splice mode) {
  using namespace string_value_detail;
  NodeId tn = target->node();
  NodeId sn = source->node();
  uint32_t from = clamped_index(source);
  uint32_t count = length(source);
  if (part >= 0 && static_cast<uint32_t>(part) < count) count = static_cast<uint32_t>(part);
  if (count == 0) return;
  if (mode == Splice::append) {
    append_units(tn, sn, from, count);
    return;
  }
  uint32_t t_len = string::length(tn);
  int64_t pos64 = int64_t(clamped_index(target)) + offset;
  uint32_t pos = static_cast<uint32_t>(std::clamp<int64_t>(pos64, 0, t_len));
  // Moving the target's characters would move the source's when they share a buffer:
  // work from a copy of the source's characters, kept on the stack while we allocate.
  Cell* kept = nullptr;
  if (sn == tn) {
    NodeId copy = make_unit(count, unit_of(sn));
    append_units(copy, sn, from, count);
    Cell c = make_cell(TYPE_STRING, 0, copy, 0);
    kept = stack::push(&c);
    sn = copy;
    from = 0;
  }
  uint32_t su = unit_of(sn);
  uint32_t tu = unit_of(tn);
  if (su > tu) {
    SeriesBuffer* s = node_buffer(sn);
    uint32_t need = unicode::min_unit(s->head_ptr() + (from << unit_shift(su)), count, su);
    if (need > tu) {
      widen(tn, need, count);
      tu = need;
    }
  }
  uint32_t grow = mode == Splice::insert ? count : (pos + count > t_len ? pos + count - t_len : 0);
  SeriesBuffer* t = series::ensure_room(tn, checked_bytes(grow, tu));
  uint8_t* at = t->head_ptr() + size_t(pos) * tu;
  if (mode == Splice::insert) std::memmove(at + size_t(count) * tu, at, size_t(t_len - pos) * tu);
  t->tail += grow * tu;
  SeriesBuffer* s = node_buffer(sn);
  copy_units(at, tu, s->head_ptr() + (from << unit_shift(su)), su, count);
  if (kept) stack::pop(1);
}

namespace string_value_detail {

// Loads len bytes that bytes_at() locates afresh after each allocation (they may sit in a
// series buffer that moves).
template <typename Locate>
Cell* load_located(Locate bytes_at, size_t len, Cell* target, int encoding, size_t* bytes_left) {
  if (encoding != ENCODING_UTF8 && encoding != ENCODING_UTF16LE)
    error::raise(ERR_INTERNAL, "not-done");
  if (!target) target = stack::new_cell();
  bool on_stack = target >= stack::begin && target < stack::end;
  uint32_t at = on_stack ? stack::index_of(target) : 0;
  *target = make_cell(TYPE_UNSET);
  NodeId n;
  if (encoding == ENCODING_UTF8) {
    const uint8_t* bytes = bytes_at();
    unicode::Utf8Scan s = unicode::scan_utf8(bytes, len, false);
    if (s.status == unicode::Utf8Status::invalid ||
        (s.status == unicode::Utf8Status::truncated && !bytes_left))
      raise_invalid_utf8(bytes + s.end, len - s.end);
    if (bytes_left && (s.status == unicode::Utf8Status::truncated || (len == 3 && s.start == 3)))
      *bytes_left = s.bytes_left;
    n = make_unit(static_cast<uint32_t>(s.chars), s.unit);
    SeriesBuffer* b = node_buffer(n);
    size_t written;
    if (s.unit == 1 && s.chars == s.end - s.start) {
      // Plain ASCII: one byte per character as it stands.
      std::memcpy(b->head_ptr(), bytes_at() + s.start, s.chars);
      written = s.chars;
    } else {
      written = unicode::decode_utf8_units(bytes_at(), s, false, b->head_ptr(), s.unit);
    }
    b->tail = b->head + static_cast<uint32_t>(written) * s.unit;
  } else {
    size_t units = len / 2;
    unicode::Utf16Scan s = unicode::scan_utf16(bytes_at(), units, false);
    n = make_unit(static_cast<uint32_t>(s.chars), s.unit);
    SeriesBuffer* b = node_buffer(n);
    size_t written = unicode::decode_utf16_units(bytes_at(), units, false, b->head_ptr(), s.unit);
    b->tail = b->head + static_cast<uint32_t>(written) * s.unit;
  }
  if (on_stack) target = stack::at_index(at);
  *target = make_cell(TYPE_STRING, 0, n, 0);
  return target;
}

}  // namespace string_value_detail

Cell* load(const uint8_t* bytes, size_t len, Cell* target, int encoding, size_t* bytes_left) {
  return string_value_detail::load_located([bytes] { return bytes; }, len, target, encoding,
                                           bytes_left);
}

Cell* load_series(NodeId src, uint32_t offset, uint32_t len, Cell* target, int encoding,
                  size_t* bytes_left) {
  return string_value_detail::load_located(
      [src, offset] { return node_buffer(src)->head_ptr() + offset; }, len, target, encoding,
      bytes_left);
}

NodeId to_utf8(const Cell* v, int32_t count, bool lf_to_crlf) {
  uint32_t from = clamped_index(v);
  uint32_t n = string::length(v);
  if (count >= 0 && static_cast<uint32_t>(count) < n) n = static_cast<uint32_t>(count);
  SeriesBuffer* b = cell_buffer(v);
  uint32_t unit = b->unit();
  unicode::Utf8Size size =
      unicode::utf8_size(b->head_ptr() + (from << unit_shift(unit)), n, unit, lf_to_crlf);
  if (!size.ok) {
    Cell bad;
    set_integer(&bad, static_cast<int32_t>(size.bad_char));
    error::raise(ERR_SCRIPT, "invalid-char", &bad);
  }
  series::check_length(size.bytes + 1, 1);
  NodeId out = alloc::new_bytes(static_cast<uint32_t>(size.bytes + 1));
  b = cell_buffer(v);
  SeriesBuffer* o = node_buffer(out);
  unicode::units_to_utf8(b->head_ptr() + (from << unit_shift(unit)), n, unit, o->data(),
                         lf_to_crlf, true);
  o->head = 0;
  o->tail = static_cast<uint32_t>(size.bytes);
  return out;
}

std::string to_std_string(const Cell* v) {
  uint32_t from = clamped_index(v);
  uint32_t n = string::length(v);
  SeriesBuffer* b = cell_buffer(v);
  uint32_t unit = b->unit();
  const uint8_t* p = b->head_ptr() + (from << unit_shift(unit));
  unicode::Utf8Size size = unicode::utf8_size(p, n, unit);
  if (!size.ok) {
    Cell bad;
    set_integer(&bad, static_cast<int32_t>(size.bad_char));
    error::raise(ERR_SCRIPT, "invalid-char", &bad);
  }
  std::string text(size.bytes, '\0');
  unicode::units_to_utf8(p, n, unit, reinterpret_cast<uint8_t*>(text.data()), false, false);
  return text;
}

const char* to_hex(int32_t value, bool trim) {
  static char text[9];
  static const char digits[] = "0123456789ABCDEF";
  text[8] = '\0';
  int pos = 8;
  int32_t v = value;
  while (pos > 0 && v != 0 && v != -1) {
    text[--pos] = digits[v & 15];
    v >>= 4;   // arithmetic: a negative value ends at -1
  }
  if (trim) return pos == 8 ? "00" : text + pos;
  while (pos > 0) text[--pos] = value < 0 ? 'F' : '0';
  return text;
}

const char* byte_to_hex(uint8_t byte) {
  static char text[3];
  static const char digits[] = "0123456789ABCDEF";
  text[0] = digits[byte >> 4];
  text[1] = digits[byte & 15];
  text[2] = '\0';
  return text;
}

void mold_char(NodeId out, uint32_t cp, int mode, bool escape_high) {
  if (cp == 0x1E || (cp >= 0x80 && cp <= 0x9F) || (escape_high && cp > 0x7F)) {
    append_ascii(out, "^(");
    append_ascii(out, to_hex(static_cast<int32_t>(cp), true));
    append_char(out, ')');
  } else if (mode == ESCAPE_STRING && cp < 95 && string_value_detail::escape_table[cp]) {
    append_char(out, '^');
    append_char(out, static_cast<uint8_t>(string_value_detail::escape_table[cp]));
  } else if (mode == ESCAPE_STRING && cp == 0x7F) {
    append_ascii(out, "^~");
  } else {
    append_char(out, cp);
  }
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  int32_t most = part ? std::max(limit, 0) : -1;
  uint32_t written = append_string(buffer->node(), value, most);
  return limit - static_cast<int>(written);
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int limit, int) {
  using namespace string_value_detail;
  NodeId out = buffer->node();
  NodeId n = value->node();
  uint32_t start = clamped_index(value);
  uint32_t len = string::length(value);
  uint32_t count = part ? std::min<uint32_t>(len, static_cast<uint32_t>(std::max(limit, 0))) : len;

  uint32_t quotes = 0, lines = 0;
  {
    SeriesBuffer* b = node_buffer(n);
    uint32_t unit = b->unit();
    const uint8_t* p = b->head_ptr() + (start << unit_shift(unit));
    for (uint32_t i = 0; i < count; i++) {
      uint32_t c = get_char(p + i * unit, unit);
      quotes += c == '"';
      lines += c == '\n';
    }
  }
  bool braces = lines > 2 || quotes > 0 || len > 49;
  uint32_t unmatched = braces ? first_unmatched_brace(n, start, count) : count;

  append_char(out, braces ? '{' : '"');
  uint32_t open = 0;
  uint32_t i = 0;
  while (i < count) {
    // A run of characters written as they are goes in one copy.
    uint32_t run = i;
    while (run < count && molds_plain(string::char_at(n, start + run), braces, all)) run++;
    if (run > i) {
      append_units(out, n, start + i, run - i);
      i = run;
      continue;
    }
    uint32_t c = string::char_at(n, start + i);
    if (braces && c == '{') {
      if (i < unmatched) {
        append_char(out, '{');
        open++;
      } else {
        append_ascii(out, "^{");
      }
    } else if (braces && c == '}') {
      if (open > 0) {
        append_char(out, '}');
        open--;
      } else {
        append_ascii(out, "^}");
      }
    } else if (braces && c == '^') {
      append_ascii(out, "^^");
    } else {
      mold_char(out, c, ESCAPE_STRING, all);
    }
    i++;
  }
  append_char(out, braces ? '}' : '"');
  return limit - static_cast<int>(count) - 2;
}

}  // namespace tav::string

namespace tav::string_type {

void register_text_kind(TypeId id, const char* name, std::initializer_list<ActionBinding> own) {
  static constexpr ActionId KEPT[] = {
      ACT_MAKE, ACT_REFLECT, ACT_TO, ACT_FORM, ACT_COMPARE, ACT_APPEND, ACT_AT, ACT_BACK,
      ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT,
      ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE,
      ACT_SELECT, ACT_SKIP, ACT_SWAP, ACT_TAIL, ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY,
  };
  ActionRow row{};
  for (ActionId a : KEPT) row[a - 1] = INHERIT;
  for (const ActionBinding& b : own) row[b.action - 1] = b.entry;
  datatype::register_type(id, TYPE_STRING, name, row);
}

void init() {
  datatype::register_type(TYPE_STRING, TYPE_SERIES, "string!", {
      inherit(ACT_RANDOM), inherit(ACT_REFLECT), inherit(ACT_AT), inherit(ACT_BACK),
      inherit(ACT_CLEAR), inherit(ACT_COPY), inherit(ACT_HEAD), inherit(ACT_HEAD_Q),
      inherit(ACT_INDEX_Q), inherit(ACT_LENGTH_Q), inherit(ACT_MOVE), inherit(ACT_NEXT),
      inherit(ACT_PICK), inherit(ACT_POKE), inherit(ACT_REMOVE), inherit(ACT_REVERSE),
      inherit(ACT_SKIP), inherit(ACT_TAIL), inherit(ACT_TAIL_Q), inherit(ACT_MODIFY),
      on<ACT_FORM>(&string::form),
      on<ACT_MOLD>(&string::mold),
      on<ACT_MAKE>(&string::make_value),
      on<ACT_TO>(&string::to_value),
      on<ACT_EVAL_PATH>(&string::eval_path),
      on<ACT_COMPARE>(&string::compare),
      on<ACT_FIND>(&string::find),
      on<ACT_SELECT>(&string::select),
      on<ACT_SORT>(&string::sort),
      on<ACT_APPEND>(&string::insert),
      on<ACT_INSERT>(&string::insert),
      on<ACT_CHANGE>(&string::change),
      on<ACT_SWAP>(&string::swap),
      on<ACT_TAKE>(&string::take),
      on<ACT_TRIM>(&string::trim),
  });
}

}  // namespace tav::string_type
