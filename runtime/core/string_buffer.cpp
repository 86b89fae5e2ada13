#include "core/string_buffer.h"

#include <algorithm>
#include <cstring>

#include "core/errors.h"
#include "platform/fatal.h"
#include "core/stack.h"
#include "core/unicode.h"

namespace tav::string {

namespace string_buffer_detail {

uint32_t checked_bytes(uint64_t chars, uint32_t unit) {
  series::check_length(chars, unit);
  return static_cast<uint32_t>(chars * unit);
}

void set_unit(SeriesBuffer* b, uint32_t unit) { b->flags = (b->flags & ~BUF_UNIT_MASK) | unit; }

// The unit a write of cp needs in a buffer of `unit` under a widening threshold (0x80 for
// appends, 0x100 for stores and inserts); 0 when the buffer holds it as it is.
uint32_t wider_unit_for(uint32_t unit, uint32_t cp, uint32_t latin_limit) {
  if (unit == 1 && cp >= latin_limit) return cp > 0xFFFF ? 4 : 2;
  if (unit == 2 && cp > 0xFFFF) return 4;
  return 0;
}

// The few bad bytes an invalid-utf8 error shows (they may lie in a series that moves
// when the binary is allocated, so they are copied out first).
void make_error_binary(const uint8_t* bytes, size_t size, Cell* out) {
  uint8_t copy[4];
  size = std::min<size_t>(size, sizeof copy);
  if (size) std::memcpy(copy, bytes, size);
  NodeId b = alloc::new_bytes(static_cast<uint32_t>(size));
  SeriesBuffer* buf = node_buffer(b);
  if (size) std::memcpy(buf->data(), copy, size);
  buf->head = 0;
  buf->tail = static_cast<uint32_t>(size);
  *out = make_cell(TYPE_BINARY, 0, b, 0);
}

// A new buffer holding the UTF-8 text; keep_bom keeps a leading U+FEFF as a character.
NodeId new_from_utf8(const uint8_t* bytes, size_t len, bool keep_bom) {
  unicode::Utf8Scan s = unicode::scan_utf8(bytes, len, false);
  if (s.status != unicode::Utf8Status::ok) raise_invalid_utf8(bytes + s.end, len - s.end);
  if (keep_bom && s.start == 3) {
    s.start = 0;
    s.chars += 1;
    s.unit = std::max(s.unit, 2u);
  }
  NodeId n = make_unit(static_cast<uint32_t>(s.chars), s.unit);
  SeriesBuffer* b = node_buffer(n);
  size_t written = unicode::decode_utf8_units(bytes, s, false, b->head_ptr(), s.unit);
  b->tail = b->head + static_cast<uint32_t>(written) * s.unit;
  return n;
}

}  // namespace string_buffer_detail

uint32_t get_char(const uint8_t* p, uint32_t unit) {
  switch (unit) {
    case 1: return *p;
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    default: fatal_exit(101, reinterpret_cast<uintptr_t>(p));
  }
}

void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
  switch (unit) {
    case 1: *p = static_cast<uint8_t>(cp); return;
    case 2: { uint16_t v = static_cast<uint16_t>(cp); std::memcpy(p, &v, 2); return; }
    case 4: std::memcpy(p, &cp, 4); return;
    default: fatal_exit(101, reinterpret_cast<uintptr_t>(p));
  }
}

NodeId make(uint32_t capacity) { return make_unit(capacity, 1); }

NodeId make_unit(uint32_t capacity, uint32_t unit) {
  return alloc::new_series(capacity == 0 ? 1 : capacity, unit, 0);
}

void reserve(NodeId n, uint64_t chars) {
  SeriesBuffer* b = node_buffer(n);
  uint32_t unit = b->unit();
  series::check_length(uint64_t(b->count()) + chars, unit);
  uint64_t bytes = chars * unit;
  if (b->room() >= bytes) return;
  series::expand_copy(b, static_cast<uint32_t>(b->used() + bytes));
}

uint32_t length(NodeId n) { return node_buffer(n)->count(); }
uint32_t unit_of(NodeId n) { return node_buffer(n)->unit(); }

uint32_t char_at(NodeId n, uint32_t index) {
  SeriesBuffer* b = node_buffer(n);
  return get_char(b->head_ptr() + (index << unit_shift(b->unit())), b->unit());
}

void widen(NodeId n, uint32_t to, uint32_t extra) {
  using namespace string_buffer_detail;
  SeriesBuffer* b = node_buffer(n);
  uint32_t from = b->unit();
  if (to <= from) return;
  uint32_t count = b->count();
  // One spare unit after the widened text, as an in-place widening requires.
  uint64_t need = uint64_t(count) + extra + 1;
  if (b->head % to == 0 && b->head + need * to <= b->capacity) {
    unicode::widen_units(b->head_ptr(), count, from, to);
    b->tail = b->head + count * to;
    set_unit(b, to);
    return;
  }
  // Too small to widen in place: the text goes straight into a bigger buffer of the wider
  // unit, and the node is pointed at it.
  uint64_t chars = b->capacity / from;
  if (chars < need) chars = need * 2;
  uint64_t most = series::max_bytes(to) / to;
  if (chars > most) chars = std::max(most, need);
  checked_bytes(chars, to);
  NodeId fresh = alloc::new_series(static_cast<uint32_t>(chars), to, 0);
  b = node_buffer(n);   // the allocation may have moved it
  SeriesBuffer* nb = node_buffer(fresh);
  const uint8_t* src = b->head_ptr();
  uint8_t* dst = nb->data();
  for (uint32_t i = 0; i < count; i++) put_char(dst + i * to, to, get_char(src + i * from, from));
  nb->head = 0;
  nb->tail = count * to;
  nb->flags = (b->flags & ~(BUF_UNIT_MASK | BUF_BIG | BUF_HEAD_MIDDLE | BUF_MARKED | BUF_HEAP)) |
              (nb->flags & BUF_BIG) | to;
  node_table[n] = nb;
  nb->node = n;
  series::retire(b);
  node_table[fresh] = nullptr;
  alloc::free_node(fresh);
}

void append_char(NodeId n, uint32_t cp) {
  uint32_t unit = node_buffer(n)->unit();
  if (uint32_t wider = string_buffer_detail::wider_unit_for(unit, cp, 0x80)) {
    widen(n, wider, 1);
    unit = wider;
  }
  SeriesBuffer* b = series::ensure_room(n, unit);
  put_char(b->tail_ptr(), unit, cp);
  b->tail += unit;
}

void append_ascii(NodeId n, const char* text) { append_bytes(n, text, std::strlen(text)); }

void append_bytes(NodeId n, const char* bytes, size_t len) {
  if (len == 0) return;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes);
  uint32_t unit = node_buffer(n)->unit();
  if (unit == 1 && std::any_of(p, p + len, [](uint8_t c) { return c >= 0x80; })) {
    widen(n, 2, static_cast<uint32_t>(std::min<size_t>(len, 0xFFFFFFFFu)));
    unit = 2;
  }
  SeriesBuffer* b = series::ensure_room(n, string_buffer_detail::checked_bytes(len, unit));
  uint8_t* dst = b->tail_ptr();
  if (unit == 1) {
    std::memcpy(dst, p, len);
  } else {
    for (size_t i = 0; i < len; i++) put_char(dst + i * unit, unit, p[i]);
  }
  b->tail += static_cast<uint32_t>(len * unit);
}

void append_utf8(NodeId n, const uint8_t* bytes, size_t len) {
  if (len == 0) return;
  unicode::Utf8Scan s = unicode::scan_utf8(bytes, len, false);
  if (s.status != unicode::Utf8Status::ok) raise_invalid_utf8(bytes + s.end, len - s.end);
  if (s.start == 3) {   // inside a text a leading U+FEFF is a character like any other
    s.start = 0;
    s.chars += 1;
    s.unit = std::max(s.unit, 2u);
  }
  uint32_t unit = node_buffer(n)->unit();
  if (s.unit > unit) {
    widen(n, s.unit, static_cast<uint32_t>(std::min<size_t>(s.chars, 0xFFFFFFFFu)));
    unit = s.unit;
  }
  SeriesBuffer* b = series::ensure_room(n, string_buffer_detail::checked_bytes(s.chars, unit));
  size_t written = unicode::decode_utf8_units(bytes, s, false, b->tail_ptr(), unit);
  b->tail += static_cast<uint32_t>(written * unit);
}

uint32_t append_string(NodeId n, const Cell* str, int32_t part) {
  uint32_t total = cell_buffer(str)->count();
  int32_t at = static_cast<int32_t>(str->index());
  uint32_t index = at < 0 ? 0 : std::min(static_cast<uint32_t>(at), total);
  uint32_t count = total - index;
  if (part >= 0 && static_cast<uint32_t>(part) < count) count = static_cast<uint32_t>(part);
  append_units(n, str->node(), index, count);
  return count;
}

void append_units(NodeId n, NodeId src, uint32_t from, uint32_t count) {
  if (count == 0) return;
  uint32_t su = node_buffer(src)->unit();
  uint32_t tu = node_buffer(n)->unit();
  if (su > tu) {
    SeriesBuffer* s = node_buffer(src);
    uint32_t need = unicode::min_unit(s->head_ptr() + (from << unit_shift(su)), count, su);
    if (need > tu) {
      widen(n, need, count);
      tu = need;
    }
  }
  SeriesBuffer* t = series::ensure_room(n, string_buffer_detail::checked_bytes(count, tu));
  SeriesBuffer* s = node_buffer(src);   // re-derived: it may be the buffer that just moved
  su = s->unit();
  const uint8_t* p = s->head_ptr() + (from << unit_shift(su));
  uint8_t* q = t->tail_ptr();
  if (su == tu) {
    std::memmove(q, p, size_t(count) * su);
  } else {
    for (uint32_t i = 0; i < count; i++) put_char(q + i * tu, tu, get_char(p + i * su, su));
  }
  t->tail += count * tu;
}

void poke_char(NodeId n, uint32_t index, uint32_t cp) {
  SeriesBuffer* b = node_buffer(n);
  uint32_t count = b->count();
  if (index > count) index = count;
  uint32_t unit = b->unit();
  if (uint32_t wider = string_buffer_detail::wider_unit_for(unit, cp, 0x100)) {
    widen(n, wider, index == count ? 1 : 0);
    unit = wider;
  }
  if (index == count) {
    b = series::ensure_room(n, unit);
    b->tail += unit;
  } else {
    b = node_buffer(n);
  }
  put_char(b->head_ptr() + (index << unit_shift(unit)), unit, cp);
}

void insert_char(NodeId n, uint32_t index, uint32_t cp) {
  SeriesBuffer* b = node_buffer(n);
  uint32_t count = b->count();
  if (index > count) index = count;
  uint32_t unit = b->unit();
  if (uint32_t wider = string_buffer_detail::wider_unit_for(unit, cp, 0x100)) {
    widen(n, wider, 1);
    unit = wider;
  }
  b = series::ensure_room(n, unit);
  uint8_t* at = b->head_ptr() + (index << unit_shift(unit));
  std::memmove(at + unit, at, size_t(count - index) * unit);
  put_char(at, unit, cp);
  b->tail += unit;
}

void remove_units(NodeId n, uint32_t index, uint32_t count) {
  SeriesBuffer* b = node_buffer(n);
  uint32_t total = b->count();
  if (index >= total || count == 0) return;
  if (count > total - index) count = total - index;
  uint32_t shift = unit_shift(b->unit());
  uint8_t* at = b->head_ptr() + (index << shift);
  std::memmove(at, at + (count << shift), size_t(total - index - count) << shift);
  b->tail -= count << shift;
}

void truncate(NodeId n, uint32_t length) {
  SeriesBuffer* b = node_buffer(n);
  if (length < b->count()) b->tail = b->head + (length << unit_shift(b->unit()));
}

void reset_to_bytes(NodeId n) {
  SeriesBuffer* b = node_buffer(n);
  b->tail = b->head;
  string_buffer_detail::set_unit(b, 1);
}

Cell* utf8_error_arg(const uint8_t* bytes, size_t len, Cell* out) {
  unicode::Utf8Scan s = unicode::scan_utf8(bytes, len, false);
  if (s.status == unicode::Utf8Status::ok) return set_none(out);
  string_buffer_detail::make_error_binary(bytes + s.end,
                                    unicode::invalid_utf8_arg_size(len - s.end), out);
  return out;
}

[[noreturn]] void raise_invalid_utf8(const uint8_t* seq, size_t bytes_left) {
  Cell arg;
  string_buffer_detail::make_error_binary(seq, unicode::invalid_utf8_arg_size(bytes_left), &arg);
  error::raise(ERR_ACCESS, "invalid-utf8", &arg);
}

Cell* push_utf8(const char* bytes, size_t len) {
  uint32_t at = stack::index_of(set_unset(stack::new_cell()));
  NodeId n = string_buffer_detail::new_from_utf8(reinterpret_cast<const uint8_t*>(bytes), len,
                                                 true);
  Cell* c = stack::at_index(at);
  *c = make_cell(TYPE_STRING, 0, n, 0);
  return c;
}

Cell* push_utf8(const char* text) { return push_utf8(text, std::strlen(text)); }

}  // namespace tav::string
