#include "datatypes/binary.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "datatypes/base_codecs.h"
#include "datatypes/bitset.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "datatypes/tuple.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav::binary {

namespace binary_detail {


[[noreturn]] void raise_bad_to(const Cell* value) {
  Cell dt;
  set_datatype(&dt, TYPE_BINARY);
  error::raise(ERR_SCRIPT, "bad-to-arg", &dt, value);
}

void put_utf8(uint32_t cp, std::vector<uint8_t>& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<uint8_t>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<uint8_t>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<uint8_t>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<uint8_t>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
  }
}

void append_text(const Cell* text, std::vector<uint8_t>& out) {
  std::string utf8 = string::to_std_string(text);
  out.insert(out.end(), utf8.begin(), utf8.end());
}

// The UTF-8 of the formed value.
void append_formed(const Cell* value, std::vector<uint8_t>& out) {
  Cell* saved = stack::top;
  Cell* v = stack::push(value);
  Cell* buf = string::make_at(stack::new_cell(), 16);
  actions::form_direct(v, buf, nullptr, 0);
  append_text(buf, out);
  stack::top = saved;
}

void byte_form_into(const Cell* value, int32_t limit, bool in_bytes, ByteMode mode,
                    std::vector<uint8_t>& out) {
  size_t start = out.size();
  TypeId t = value->type();
  switch (t) {
    case TYPE_CHAR:
      if (value->data2 > string::MAX_CODE_POINT) error::raise(ERR_SCRIPT, "invalid-char", value);
      put_utf8(value->data2, out);
      break;
    case TYPE_INTEGER: {
      int32_t v = value->int_value();
      if (v < -128 || v > 255) error::raise(ERR_SCRIPT, "invalid-arg", value);
      out.push_back(static_cast<uint8_t>(v));
      break;
    }
    case TYPE_BINARY:
      out.insert(out.end(), rs_head(value), rs_head(value) + rs_length(value));
      break;
    case TYPE_TUPLE: {
      uint8_t bytes[tuple::MAX_LENGTH];
      tuple::get_bytes(value, bytes);
      out.insert(out.end(), bytes, bytes + tuple::length(value));
      break;
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      NodeId n = value->node();
      int32_t from = std::max(series::index_of(value), 0);
      for (int32_t i = from, k = 0;; i++, k++) {
        SeriesBuffer* b = node_buffer(n);
        if (i >= static_cast<int32_t>(b->count())) break;
        if (limit > 0 && !in_bytes && k >= limit) break;
        int32_t left = limit > 0 && in_bytes ? limit - static_cast<int32_t>(out.size() - start) : -1;
        if (left == 0) break;
        Cell item = b->cells()[i];
        byte_form_into(&item, left, in_bytes, mode, out);
      }
      return;
    }
    default:
      if (is_any_string(t)) append_text(value, out);
      else if (mode == ByteMode::any) append_formed(value, out);
      else raise_bad_to(value);
      break;
  }
  if (limit > 0 && out.size() - start > static_cast<size_t>(limit)) out.resize(start + limit);
}

// Makes room for `added` more bytes, as the byte rules grow a binary: twice the capacity when
// that is enough, else exactly what is needed.
SeriesBuffer* grow(NodeId n, uint64_t added) {
  SeriesBuffer* b = node_buffer(n);
  uint64_t need = uint64_t(b->used()) + added;
  series::check_length(need, 1);
  if (b->room() >= added) return b;
  uint64_t cap = uint64_t(b->capacity) * 2;
  if (cap < need || cap > series::max_bytes(1)) cap = need;
  return series::expand_copy(b, static_cast<uint32_t>(cap));
}

// Writes `count` copies of the bytes at p, doubling the run written so far.
void write_repeated(uint8_t* p, const std::vector<uint8_t>& bytes, uint64_t count) {
  size_t size = bytes.size();
  std::memcpy(p, bytes.data(), size);
  uint64_t total = size * count, done = size;
  while (done < total) {
    uint64_t k = std::min(done, total - done);
    std::memcpy(p + done, p, k);
    done += k;
  }
}

bool is_equality(int op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
         op == COMP_FIND_EQUAL;
}

// Combines the two binaries at the base pair-wise into a new binary in the base.
template <typename Op>
Cell* bitwise(Op op, bool keep_rest) {
  Cell* a = stack::base;
  Cell* b = stack::base + 1;
  if (!a->is(TYPE_BINARY)) error::raise(ERR_SCRIPT, "invalid-arg", a);
  if (!b->is(TYPE_BINARY)) error::raise(ERR_SCRIPT, "invalid-arg", b);
  uint32_t la = rs_length(a), lb = rs_length(b);
  uint32_t n = std::max(la, lb);
  NodeId out = alloc::new_bytes(n);
  SeriesBuffer* o = node_buffer(out);
  const uint8_t* pa = rs_head(a);
  const uint8_t* pb = rs_head(b);
  const uint8_t* longer = la >= lb ? pa : pb;
  uint8_t* d = o->head_ptr();
  uint32_t common = std::min(la, lb);
  for (uint32_t i = 0; i < common; i++) d[i] = op(pa[i], pb[i]);
  for (uint32_t i = common; i < n; i++) d[i] = keep_rest ? longer[i] : 0;
  o->tail = o->head + n;
  *a = make_cell(TYPE_BINARY, 0, out, 0);
  return a;
}

// A binary on the argument stack holding the bytes a search looks for in a binary: an
// integer! as one byte, a char! and any string kind as UTF-8, a binary! as it is; any other
// value is left to the string search.
const Cell* needle_of(Cell* value) {
  TypeId t = value->type();
  if (t != TYPE_INTEGER && t != TYPE_CHAR && !is_any_string(t)) return value;
  std::vector<uint8_t> bytes;
  byte_form(value, -1, false, ByteMode::strict, bytes);
  return load(bytes.data(), bytes.size());
}

}  // namespace binary_detail

// ---- Values ----------------------------------------------------------------------------

Cell* make_at(Cell* cell, uint32_t capacity) {
  set_unset(cell);
  NodeId n = alloc::new_bytes(capacity);
  *cell = make_cell(TYPE_BINARY, 0, n, 0);
  return cell;
}

Cell* load(const uint8_t* bytes, size_t length) {
  series::check_length(length, 1);
  Cell* out = make_at(stack::new_cell(), static_cast<uint32_t>(length));
  SeriesBuffer* b = cell_buffer(out);
  if (length) std::memcpy(b->head_ptr(), bytes, length);
  b->tail = b->head + static_cast<uint32_t>(length);
  return out;
}

uint32_t rs_length(const Cell* bin) {
  int32_t len = static_cast<int32_t>(cell_buffer(bin)->used());
  int32_t i = std::clamp(series::index_of(bin), 0, len);
  return static_cast<uint32_t>(len - i);
}

uint8_t* rs_head(const Cell* bin) {
  SeriesBuffer* b = cell_buffer(bin);
  int32_t i = std::clamp(series::index_of(bin), 0, static_cast<int32_t>(b->used()));
  return b->head_ptr() + i;
}

void append_bytes(const Cell* bin, const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  SeriesBuffer* b = binary_detail::grow(bin->node(), length);
  std::memcpy(b->tail_ptr(), bytes, length);
  b->tail += static_cast<uint32_t>(length);
}

void byte_form(const Cell* value, int32_t limit, bool limit_in_bytes, ByteMode mode,
               std::vector<uint8_t>& out) {
  size_t start = out.size();
  try {
    binary_detail::byte_form_into(value, limit, limit_in_bytes, mode, out);
  } catch (...) {
    out.resize(start);
    throw;
  }
}

// ---- Comparison ------------------------------------------------------------------------

int compare_bytes(const Cell* bin, const Cell* other, int op, bool match) {
  TypeId t = other->type();
  if (t != TYPE_BINARY && !is_any_string(t)) return COMPARE_UNRELATED;
  if (t == TYPE_BINARY && other->node() == bin->node() && other->index() == bin->index()) {
    if (op == COMP_SAME || binary_detail::is_equality(op)) return 0;
  }
  if (op == COMP_SAME) return -1;
  std::vector<uint8_t> text;
  const uint8_t* q;
  uint32_t l2;
  if (t == TYPE_BINARY) {
    q = rs_head(other);
    l2 = rs_length(other);
  } else {
    binary_detail::append_text(other, text);
    q = text.data();
    l2 = static_cast<uint32_t>(text.size());
  }
  const uint8_t* p = rs_head(bin);
  uint32_t l1 = rs_length(bin);
  uint32_t n;
  if (!match) {
    if (l1 != l2 && binary_detail::is_equality(op)) return 1;
    if (l1 == 0 && l2 == 0) return 0;
    n = std::min(l1, l2);
  } else {
    if (l2 == 0)
      return op == COMP_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_EQUAL ? 0 : 1;
    // A prefix longer than the binary cannot match.
    if (l2 > l1) return -1;
    n = l2;
  }
  for (uint32_t i = 0; i < n; i++)
    if (p[i] != q[i]) return p[i] < q[i] ? -1 : 1;
  if (match || l1 == l2) return 0;
  return l1 < l2 ? -1 : 1;
}

int compare(Cell* value1, Cell* value2, int op) {
  if (!value2->is(TYPE_BINARY)) return COMPARE_UNRELATED;
  return compare_bytes(value1, value2, op, false);
}

// ---- to ------------------------------------------------------------------------------------

Cell* to_value(Cell*, Cell* spec, int) {
  TypeId t = spec->type();
  std::vector<uint8_t> bytes;
  switch (t) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
    case TYPE_CHAR: case TYPE_BINARY: case TYPE_TUPLE:
      byte_form(spec, -1, false, ByteMode::strict, bytes);
      break;
    case TYPE_BITSET: {
      // The bit array as it is stored (the complement flag is not part of the bytes).
      const uint8_t* p = bitset::data_pointer(spec);
      bytes.assign(p, p + bitset::byte_size(spec));
      break;
    }
    case TYPE_INTEGER: {
      uint32_t v = static_cast<uint32_t>(spec->int_value());
      for (int s = 24; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(v >> s));
      break;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: {
      uint64_t v = (uint64_t(spec->data3) << 32) | spec->data2;
      for (int s = 56; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(v >> s));
      break;
    }
    case TYPE_ISSUE: {
      symbol::Name name = symbol::name(spec->data2);
      Decoded d = decode_base16(reinterpret_cast<const uint8_t*>(name.bytes), name.length, 1);
      if (!d) error::raise(ERR_SCRIPT, "invalid-data", spec);
      bytes = std::move(*d);
      break;
    }
    default:
      if (!is_any_string(t)) binary_detail::raise_bad_to(spec);
      byte_form(spec, -1, false, ByteMode::strict, bytes);
      break;
  }
  return load(bytes.data(), bytes.size());
}

// ---- form and mold -------------------------------------------------------------------------

namespace binary_detail {

void new_line(NodeId out, int level) {
  string::append_char(out, '\n');
  for (int i = 0; i < 4 * level; i++) string::append_char(out, ' ');
}

// The whole mold, with no /part budget to watch: its length is known before a character is
// written, so the text goes into one buffer reserved up front, a row of 32 bytes at a time.
int mold_whole(Cell* value, NodeId out, bool only, bool lines, int indent, int limit) {
  uint32_t len = rs_length(value);
  std::string inner_break = "\n" + std::string(4 * size_t(indent + 1), ' ');
  std::string last_break = "\n" + std::string(4 * size_t(indent), ' ');
  uint64_t size = (only ? 0 : 3) + 2 * uint64_t(len);
  if (lines) {
    size += inner_break.size() * (1 + uint64_t(len / 32));
    if (len % 32 != 0) size += last_break.size();
  }
  string::reserve(out, size);
  if (!only) string::append_ascii(out, "#{");
  if (lines) string::append_bytes(out, inner_break.data(), inner_break.size());
  char row[64];
  for (uint32_t i = 0; i < len; i += 32) {
    uint32_t n = std::min<uint32_t>(32, len - i);
    const uint8_t* p = rs_head(value) + i;   // re-read: appending may move the output only
    for (uint32_t k = 0; k < n; k++) std::memcpy(row + 2 * k, string::byte_to_hex(p[k]), 2);
    string::append_bytes(out, row, 2 * size_t(n));
    if (n == 32 && lines) string::append_bytes(out, inner_break.data(), inner_break.size());
  }
  if (lines && len % 32 != 0) string::append_bytes(out, last_break.data(), last_break.size());
  if (!only) string::append_char(out, '}');
  return static_cast<int>(std::max<int64_t>(int64_t(limit) - int64_t(size), INT32_MIN));
}

}  // namespace binary_detail

int mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int limit,
         int indent) {
  NodeId out = buffer->node();
  uint32_t len = rs_length(value);
  bool lines = len > 30 && !flat;
  if (!part) return binary_detail::mold_whole(value, out, only, lines, indent, limit);
  if (!only) {
    string::append_ascii(out, "#{");
    limit -= 2;
  }
  if (lines) binary_detail::new_line(out, indent + 1);
  for (uint32_t i = 0; i < len; i++) {
    string::append_ascii(out, string::byte_to_hex(rs_head(value)[i]));
    limit -= 2;
    if ((i + 1) % 32 == 0 && !flat) {
      binary_detail::new_line(out, indent + 1);
      limit -= 1;
    }
    if (part && limit <= 0) return limit;
  }
  if (len > 30 && len % 32 != 0 && !flat) binary_detail::new_line(out, indent);
  if (!only) {
    string::append_char(out, '}');
    limit -= 1;
  }
  return limit;
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  return mold(value, buffer, false, false, false, part, limit, 0);
}

// ---- Bit-wise logic ------------------------------------------------------------------------

Cell* and_t() { return binary_detail::bitwise([](uint8_t x, uint8_t y) { return uint8_t(x & y); }, false); }
Cell* or_t() { return binary_detail::bitwise([](uint8_t x, uint8_t y) { return uint8_t(x | y); }, true); }
Cell* xor_t() { return binary_detail::bitwise([](uint8_t x, uint8_t y) { return uint8_t(x ^ y); }, true); }

Cell* complement(Cell* value) {
  uint8_t* p = rs_head(value);
  uint32_t n = rs_length(value);
  for (uint32_t i = 0; i < n; i++) p[i] = static_cast<uint8_t>(~p[i]);
  return value;
}

// ---- append, insert, change ----------------------------------------------------------------

Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool append) {
  // The whole byte form is made (and checked) before the binary changes, so an error leaves
  // it as it was.
  std::vector<uint8_t> bytes;
  byte_form(value, part, only, ByteMode::strict, bytes);
  series::clamp_index(series);
  if (bytes.empty() || dup < 1) return series;
  uint64_t total = uint64_t(bytes.size()) * static_cast<uint32_t>(dup);
  series::check_length(uint64_t(cell_buffer(series)->used()) + total, 1);
  ownership::notify_before(series, ownership::Change::append, value, series::index_of(series),
                           part);
  // The owner may have changed the binary: take the position afresh.
  int32_t idx = series::clamp_index(series);
  NodeId n = series->node();
  SeriesBuffer* b = binary_detail::grow(n, total);
  uint32_t len = b->used();
  uint32_t at = append ? len : static_cast<uint32_t>(idx);
  uint8_t* p = b->head_ptr() + at;
  std::memmove(p + total, p, len - at);
  binary_detail::write_repeated(p, bytes, static_cast<uint32_t>(dup));
  b->tail += static_cast<uint32_t>(total);
  ownership::notify_after(series, ownership::Change::append, value, idx, part < 0 ? 1 : part);
  series::set_index(series, append ? 0 : static_cast<int32_t>(at + total));
  return series;
}

Cell* change(Cell* series, Cell* value, int part, bool, int dup) {
  std::vector<uint8_t> bytes;
  byte_form(value, -1, false, ByteMode::any, bytes);
  if (dup < 1) dup = 0;
  uint64_t written = uint64_t(bytes.size()) * static_cast<uint32_t>(dup);
  int32_t idx = series::clamp_index(series);
  uint32_t avail = rs_length(series);
  uint64_t replaced = std::min<uint64_t>(part >= 0 ? static_cast<uint64_t>(part) : written, avail);
  series::check_length(uint64_t(cell_buffer(series)->used()) - replaced + written, 1);
  ownership::notify_before(series, ownership::Change::change, nullptr, idx,
                           static_cast<int32_t>(replaced));
  idx = series::clamp_index(series);
  avail = rs_length(series);
  if (replaced > avail) replaced = avail;
  NodeId n = series->node();
  SeriesBuffer* b = written > replaced ? binary_detail::grow(n, written - replaced) : node_buffer(n);
  uint32_t len = b->used();
  uint8_t* p = b->head_ptr() + idx;
  std::memmove(p + written, p + replaced, len - idx - replaced);
  if (written) binary_detail::write_repeated(p, bytes, static_cast<uint32_t>(dup));
  b->tail = static_cast<uint32_t>(b->tail + written - replaced);
  ownership::notify_after(series, ownership::Change::change, nullptr, idx,
                          static_cast<int32_t>(written));
  series::set_index(series, static_cast<int32_t>(idx + written));
  return series;
}

// ---- find and select ---------------------------------------------------------------------

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
  Cell* saved = stack::top;
  Cell needle = *binary_detail::needle_of(value);
  Cell found = *string::find(series, &needle, part, only, case_, same, any, with, skip, last,
                             reverse, tail, match);
  stack::top = saved;
  return stack::push(&found);
}

Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
  Cell* saved = stack::top;
  Cell needle = *binary_detail::needle_of(value);
  Cell found = *string::select(series, &needle, part, only, case_, same, any, with, skip, last,
                               reverse);
  stack::top = saved;
  return stack::push(&found);
}

// ---- trim ------------------------------------------------------------------------------------

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
  if (!with && !all && (auto_ || lines)) error::raise(ERR_INTERNAL, "not-done");
  if (with && !(with->is(TYPE_CHAR) || with->is(TYPE_INTEGER) || with->is(TYPE_BINARY) ||
                is_any_string(with->type())))
    error::raise(ERR_SCRIPT, "invalid-arg", with);
  int32_t idx = series::clamp_index(series);
  ownership::notify_before(series, ownership::Change::trim, nullptr, idx,
                           static_cast<int32_t>(rs_length(series)));
  idx = series::clamp_index(series);
  if (with) {
    string::trim_with(series, with);
  } else {
    SeriesBuffer* b = cell_buffer(series);
    uint8_t* p = b->head_ptr() + idx;
    uint32_t n = b->used() - static_cast<uint32_t>(idx);
    uint32_t kept = 0;
    if (all) {
      for (uint32_t i = 0; i < n; i++)
        if (p[i] != 0) p[kept++] = p[i];
    } else {
      uint32_t s = 0, e = n;
      if (head || !tail)
        while (s < e && p[s] == 0) s++;
      if (tail || !head)
        while (e > s && p[e - 1] == 0) e--;
      kept = e - s;
      std::memmove(p, p + s, kept);
    }
    b->tail = b->head + static_cast<uint32_t>(idx) + kept;
  }
  ownership::notify_after(series, ownership::Change::trim, nullptr, idx,
                          static_cast<int32_t>(rs_length(series)));
  return series;
}

}  // namespace tav::binary

namespace tav::binary_type {

void init() {
  datatype::register_type(TYPE_BINARY, TYPE_STRING, "binary!", {
      inherit(ACT_MAKE), inherit(ACT_RANDOM), inherit(ACT_REFLECT), inherit(ACT_EVAL_PATH),
      inherit(ACT_AT), inherit(ACT_BACK), inherit(ACT_CLEAR), inherit(ACT_COPY),
      inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q), inherit(ACT_LENGTH_Q),
      inherit(ACT_MOVE), inherit(ACT_NEXT), inherit(ACT_PICK), inherit(ACT_POKE),
      inherit(ACT_REMOVE), inherit(ACT_REVERSE), inherit(ACT_SORT), inherit(ACT_SKIP),
      inherit(ACT_SWAP), inherit(ACT_TAIL), inherit(ACT_TAIL_Q), inherit(ACT_TAKE),
      inherit(ACT_MODIFY),
      on<ACT_TO>(&binary::to_value),
      on<ACT_FORM>(&binary::form),
      on<ACT_MOLD>(&binary::mold),
      on<ACT_COMPARE>(&binary::compare),
      on<ACT_AND_T>(&binary::and_t),
      on<ACT_OR_T>(&binary::or_t),
      on<ACT_XOR_T>(&binary::xor_t),
      on<ACT_COMPLEMENT>(&binary::complement),
      on<ACT_APPEND>(&binary::insert),
      on<ACT_INSERT>(&binary::insert),
      on<ACT_CHANGE>(&binary::change),
      on<ACT_FIND>(&binary::find),
      on<ACT_SELECT>(&binary::select),
      on<ACT_TRIM>(&binary::trim),
  });
}

}  // namespace tav::binary_type
