// string! construction (make, to) and the actions that change a string in place: append,
// insert, change, swap, take, trim, and the case changes behind uppercase and lowercase.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/case_folding.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "datatypes/vector.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/number_text.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/unicode.h"

namespace tav::string {

namespace string_modify_detail {

// Appends the formed values of a block from its index, with no separator, stopping once
// budget characters (when budget >= 0) are written; the text is cut where the budget ends.
void form_block_into(Cell* buffer, const Cell* blk, int32_t budget) {
  NodeId bn = blk->node();
  int32_t len = series::buffer_length(blk);
  int32_t i = series::index_of(blk);
  if (i < 0) i = 0;
  for (; i < len; i++) {
    if (budget >= 0 && static_cast<int32_t>(length(buffer)) >= budget) break;
    Cell item = node_buffer(bn)->cells()[i];
    actions::form_direct(&item, buffer, nullptr, 0);
  }
  if (budget >= 0) truncate(buffer->node(), static_cast<uint32_t>(budget));
}

// The text a value brings to append, insert and change: an any-string value from its index
// (the value itself), or a new string pushed on the argument stack: a char!, a tag! between
// "<" and ">", the formed values of a block, or any other value formed. part (>= 0) limits
// the characters that formed text needs to hold.
const Cell* source_text(const Cell* value, int32_t part) {
  TypeId t = value->type();
  if (is_any_string(t) && t != TYPE_TAG) return value;
  Cell* buffer = make_at(stack::new_cell(), 16);
  if (t == TYPE_CHAR) {
    append_char(buffer->node(), value->data2);
  } else if (t == TYPE_TAG) {
    append_char(buffer->node(), '<');
    append_string(buffer->node(), value);
    append_char(buffer->node(), '>');
  } else if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
    form_block_into(buffer, value, part);
  } else {
    Cell copy = *value;
    actions::form_direct(&copy, buffer, nullptr, 0);
  }
  return buffer;
}

// Refuses a result that the buffer could not hold, before anything changes: the series
// gains added characters and loses removed ones.
void check_size(const Cell* series, uint64_t added, const Cell* src, uint64_t removed = 0) {
  uint32_t unit = std::max(cell_buffer(series)->unit(), cell_buffer(src)->unit());
  series::check_length(uint64_t(cell_buffer(series)->count()) - removed + added, unit);
}

// Appends count characters of src (from its index) dup times to the buffer n, doubling the
// copied run each step.
void append_repeated(NodeId n, const Cell* src, uint32_t count, int dup) {
  uint32_t start = length(n);
  append_units(n, src->node(), clamped_index(src), count);
  uint64_t total = uint64_t(count) * static_cast<uint32_t>(dup);
  uint64_t done = count;
  while (done < total) {
    uint64_t k = std::min(done, total - done);
    append_units(n, n, start, static_cast<uint32_t>(k));
    done += k;
  }
}

// A string pushed on the argument stack holding count characters of src repeated dup times.
Cell* repeated_text(const Cell* src, uint32_t count, int dup) {
  Cell* out = make_at(stack::new_cell(), count, cell_buffer(src)->unit());
  append_repeated(out->node(), src, count, dup);
  return out;
}

bool in_w(uint32_t c) {
  if (c >= 1 && c <= 32) return true;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool in_h(uint32_t c) {
  if (c == ' ' || c == '\t') return true;
  return c > 0x7F && in_w(c);
}

// The characters from the value's index to the tail.
std::vector<uint32_t> read_rest(const Cell* v) {
  CharView cv = view_of(v);
  std::vector<uint32_t> out(cv.count);
  for (uint32_t i = 0; i < cv.count; i++) out[i] = cv.at(i);
  return out;
}

// Writes chars over the value's buffer from its index and cuts the tail after them. Every
// character came from the same buffer, so each fits its unit and the text is no longer.
void write_rest(Cell* v, const std::vector<uint32_t>& chars) {
  uint32_t from = clamped_index(v);
  SeriesBuffer* b = cell_buffer(v);
  uint32_t unit = b->unit();
  uint8_t* p = b->head_ptr() + size_t(from) * unit;
  for (uint32_t c : chars) {
    put_char(p, unit, c);
    p += unit;
  }
  b->tail = static_cast<uint32_t>(p - b->data());
}

}  // namespace string_modify_detail

// ---- make and to -------------------------------------------------------------------------

Cell* make_value(Cell* proto, Cell* spec, int type) {
  // A number is the room to make, for text and bytes alike; other specs of a binary are
  // converted.
  if (type == TYPE_BINARY && !spec->is(TYPE_INTEGER) && !spec->is(TYPE_FLOAT)) {
    if (spec->is(TYPE_MONEY)) {
      Cell dt;
      set_datatype(&dt, TYPE_BINARY);
      error::raise(ERR_SCRIPT, "bad-make-arg", &dt, spec);
    }
    return actions::to_direct(proto, spec, type);
  }
  if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT)) {
    int32_t size;
    if (spec->is(TYPE_INTEGER)) size = spec->int_value();
    else if (!number::float_to_int32(spec->float_value(), &size))
      error::raise(ERR_SCRIPT, "out-of-range", spec);
    if (size < 0) error::raise(ERR_SCRIPT, "out-of-range", spec);
    Cell* out = make_at(stack::new_cell(), size == 0 ? 16 : static_cast<uint32_t>(size));
    out->set_type(static_cast<TypeId>(type));
    return out;
  }
  return to_value(proto, spec, type);
}

Cell* to_value(Cell*, Cell* spec, int type) {
  TypeId t = spec->type();
  Cell* out;
  if (t == TYPE_NONE) {
    Cell dt;
    set_datatype(&dt, static_cast<TypeId>(type));
    error::raise(ERR_SCRIPT, "bad-to-arg", &dt, spec);
  } else if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
    out = make_at(stack::new_cell(), 16);
    string_modify_detail::form_block_into(out, spec, -1);
  } else if (is_any_string(t)) {
    out = stack::new_cell();
    set_none(out);
    Cell copy = *spec;
    series::copy_units(&copy, static_cast<int32_t>(clamped_index(&copy)),
                       static_cast<int32_t>(length(&copy)), out);
    out->data3 = 0;
  } else if (t == TYPE_BINARY) {
    int32_t from = series::index_of(spec);
    int32_t len = series::buffer_length(spec);
    from = std::clamp(from, 0, len);
    out = stack::new_cell();
    set_none(out);
    load_series(spec->node(), cell_buffer(spec)->head + static_cast<uint32_t>(from),
                static_cast<uint32_t>(len - from), out, ENCODING_UTF8);
  } else {
    out = make_at(stack::new_cell(), 16);
    Cell copy = *spec;
    if (t == TYPE_REFINEMENT && type != TYPE_STRING)
      actions::mold_direct(&copy, out, false, false, false, nullptr, 0, 0);
    else
      actions::form_direct(&copy, out, nullptr, 0);
  }
  out->set_type(static_cast<TypeId>(type));
  return out;
}

// ---- append, insert, change --------------------------------------------------------------

namespace string_modify_detail {

// The bytes [from, from + bytes) of value's buffer copied to the tail of series' buffer,
// which is made room for first when it needs it.
[[gnu::noinline]] bool append_bytes(Cell* series, const Cell* value, uint32_t from,
                                    uint32_t bytes) {
  SeriesBuffer* tb = cell_buffer(series);
  if (tb->room() < bytes) tb = series::ensure_room(series->node(), bytes);
  std::memcpy(tb->tail_ptr(), cell_buffer(value)->head_ptr() + from, bytes);
  tb->tail += bytes;
  series::set_index(series, 0);
  return true;
}

}  // namespace string_modify_detail

bool append_same_width(Cell* series, const Cell* value, int part) {
  TypeId t = value->type();
  if (!is_any_string(t) || t == TYPE_TAG || value->node() == series->node()) return false;
  if (ownership::is_owned(series)) return false;
  SeriesBuffer* sb = cell_buffer(value);
  SeriesBuffer* tb = cell_buffer(series);
  uint32_t unit = sb->unit();
  if (tb->unit() != unit) return false;
  // In bytes: the same width on both sides needs no division by it.
  uint32_t used = sb->used();
  int32_t at = series::index_of(value);
  uint64_t from = at < 0 ? 0 : std::min(uint64_t(at) * unit, uint64_t(used));
  uint32_t bytes = used - static_cast<uint32_t>(from);
  if (part >= 0 && uint64_t(part) * unit < bytes) bytes = static_cast<uint32_t>(part) * unit;
  if (bytes == 0) return false;
  if (uint64_t(tb->used()) + bytes > series::max_bytes(unit)) return false;
  if (tb->room() < bytes || bytes > 16) [[unlikely]]
    return string_modify_detail::append_bytes(series, value, static_cast<uint32_t>(from), bytes);
  // Short texts are the common case: two copies of a word, overlapping as they need, cost
  // less than a call into the library or a loop over the bytes.
  const uint8_t* p = sb->head_ptr() + from;
  uint8_t* q = tb->tail_ptr();
  if (bytes >= 8) {
    std::memcpy(q, p, 8);
    std::memcpy(q + bytes - 8, p + bytes - 8, 8);
  } else if (bytes >= 4) {
    std::memcpy(q, p, 4);
    std::memcpy(q + bytes - 4, p + bytes - 4, 4);
  } else if (bytes >= 2) {
    std::memcpy(q, p, 2);
    std::memcpy(q + bytes - 2, p + bytes - 2, 2);
  } else {
    *q = *p;
  }
  tb->tail += bytes;
  series::set_index(series, 0);
  return true;
}

Cell* insert(Cell* series, Cell* value, int part, bool, int dup, bool append) {
  using namespace string_modify_detail;
  if (append && dup == 1 && append_same_width(series, value, part)) return series;
  Cell* saved_top = stack::top;
  if (dup < 1) dup = 0;
  const Cell* src = source_text(value, part);
  uint32_t count = length(src);
  if (part >= 0 && static_cast<uint32_t>(part) < count) count = static_cast<uint32_t>(part);
  uint64_t total = uint64_t(count) * static_cast<uint32_t>(dup);
  if (total == 0) {
    if (append) series::set_index(series, 0);
    else series::clamp_index(series);
    stack::top = saved_top;
    return series;
  }
  check_size(series, total, src);
  ownership::Change kind = append ? ownership::Change::append : ownership::Change::insert;
  int32_t at = append ? series::buffer_length(series) : series::clamp_index(series);
  ownership::notify_before(series, kind, value, at, static_cast<int32_t>(total));
  // The owner may have changed the string: take the position afresh.
  NodeId n = series->node();
  if (append) {
    append_repeated(n, src, count, dup);
    series::set_index(series, 0);
  } else {
    uint32_t pos = series::clamp_index(series);
    if (pos == length(n)) {
      append_repeated(n, src, count, dup);
    } else {
      const Cell* text = dup > 1 ? repeated_text(src, count, dup) : src;
      Cell target = *series;
      concatenate(&target, text, static_cast<int32_t>(dup > 1 ? total : count), 0, Splice::insert);
    }
    series::set_index(series, static_cast<int32_t>(pos + total));
  }
  ownership::notify_after(series, kind, value, at, static_cast<int32_t>(total));
  stack::top = saved_top;
  return series;
}

Cell* change(Cell* series, Cell* value, int part, bool, int dup) {
  using namespace string_modify_detail;
  Cell* saved_top = stack::top;
  if (dup < 1) dup = 0;
  uint32_t idx = static_cast<uint32_t>(series::clamp_index(series));
  const Cell* src = source_text(value, -1);
  uint32_t count = length(src);
  uint64_t total = uint64_t(count) * static_cast<uint32_t>(dup);
  uint32_t left = length(series->node()) - idx;
  uint64_t replaced = part >= 0 ? static_cast<uint64_t>(part) : total;
  if (replaced > left) replaced = left;
  check_size(series, total, src, replaced);
  // The replaced run goes before the new text is copied: a text on the same buffer is
  // copied out first.
  if (src->node() == series->node()) src = repeated_text(src, count, 1);
  ownership::notify_before(series, ownership::Change::change, value, static_cast<int32_t>(idx),
                           static_cast<int32_t>(replaced));
  // The owner may have changed the string: clamp the position and the run afresh.
  NodeId n = series->node();
  idx = static_cast<uint32_t>(series::clamp_index(series));
  left = length(n) - idx;
  if (replaced > left) replaced = left;
  remove_units(n, idx, static_cast<uint32_t>(replaced));
  if (total > 0) {
    const Cell* text = dup > 1 ? repeated_text(src, count, dup) : src;
    Cell target = *series;
    concatenate(&target, text, static_cast<int32_t>(total), 0, Splice::insert);
  }
  series::set_index(series, static_cast<int32_t>(idx + total));
  ownership::notify_after(series, ownership::Change::change, value, static_cast<int32_t>(idx),
                          static_cast<int32_t>(total));
  stack::top = saved_top;
  return series;
}

// ---- swap and take -----------------------------------------------------------------------

namespace string_modify_detail {

// Stores a character into a string or a byte into a binary!.
void store_unit(Cell* s, uint32_t pos, uint32_t c) {
  if (s->is(TYPE_BINARY)) *series::unit_at(s, static_cast<int32_t>(pos)) = static_cast<uint8_t>(c);
  else poke_char(s->node(), pos, c);
}

}  // namespace string_modify_detail

Cell* swap(Cell* series1, Cell* series2) {
  using namespace string_modify_detail;
  TypeId t2 = series2->type();
  if (!is_any_string(t2) && t2 != TYPE_BINARY) error::raise(ERR_SCRIPT, "invalid-arg", series2);
  if (length(series1) == 0 || length(series2) == 0) return series1;
  uint32_t p1 = clamped_index(series1), p2 = clamped_index(series2);
  uint32_t c1 = char_at(series1->node(), p1), c2 = char_at(series2->node(), p2);
  // A byte buffer holds no character above 0xFF: refuse before either side changes.
  if (series1->is(TYPE_BINARY) && c2 > 0xFF) error::raise(ERR_SCRIPT, "invalid-arg", series2);
  if (t2 == TYPE_BINARY && c1 > 0xFF) error::raise(ERR_SCRIPT, "invalid-arg", series1);
  ownership::notify_before(series1, ownership::Change::swap, series2, static_cast<int32_t>(p1), 1);
  ownership::notify_before(series2, ownership::Change::swap, series1, static_cast<int32_t>(p2), 1);
  if (length(series1) == 0 || length(series2) == 0) return series1;
  p1 = clamped_index(series1);
  p2 = clamped_index(series2);
  store_unit(series1, p1, c2);
  store_unit(series2, p2, c1);
  ownership::notify_after(series1, ownership::Change::swap, series2, static_cast<int32_t>(p1), 1);
  ownership::notify_after(series2, ownership::Change::swap, series1, static_cast<int32_t>(p2), 1);
  return series1;
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
  Cell* taken = series_action::take(series, part, deep, last);
  if (part || taken->is(TYPE_NONE) || series::buffer_length(taken) != 1) return taken;
  if (series->is(TYPE_BINARY)) return set_integer(taken, *series::unit_at(taken, 0));
  if (series->is(TYPE_VECTOR)) {
    Cell element = *vector::push_element(taken, 0);
    stack::pop(1);
    *taken = element;
    return taken;
  }
  return set_char(taken, string::char_at(taken->node(), 0));
}

// ---- trim --------------------------------------------------------------------------------

void trim_with(Cell* series, const Cell* set) {
  using namespace string_modify_detail;
  std::vector<uint32_t> members;
  if (!set) {
    members = {'\t', '\n', '\r', ' '};
  } else if (set->is(TYPE_CHAR) || set->is(TYPE_INTEGER)) {
    members.push_back(set->data2);
  } else if (is_any_string(set->type()) || set->is(TYPE_BINARY)) {
    members = read_rest(set);
  } else {
    error::raise(ERR_SCRIPT, "invalid-arg", set);
  }
  if (members.empty()) return;
  std::vector<uint32_t> chars = read_rest(series);
  std::erase_if(chars, [&](uint32_t c) {
    return std::find(members.begin(), members.end(), c) != members.end();
  });
  write_rest(series, chars);
}

void trim_lines(Cell* series) {
  using namespace string_modify_detail;
  std::vector<uint32_t> chars = read_rest(series);
  std::vector<uint32_t> out;
  out.reserve(chars.size());
  bool pending = false;   // a whitespace run waits to become one space
  for (uint32_t c : chars) {
    if (in_w(c)) {
      pending = !out.empty();
      continue;
    }
    if (pending) out.push_back(' ');
    pending = false;
    out.push_back(c);
  }
  write_rest(series, out);
}

void trim_ends(Cell* series, bool head, bool tail) {
  using namespace string_modify_detail;
  std::vector<uint32_t> chars = read_rest(series);
  size_t s = 0, e = chars.size();
  if (!(tail && !head))
    while (s < e && in_w(chars[s])) s++;
  bool dropped_lf = false;
  if (!(head && !tail))
    while (e > s && in_w(chars[e - 1])) dropped_lf |= chars[--e] == '\n';
  std::vector<uint32_t> out;
  if (head || tail) {
    out.assign(chars.begin() + static_cast<ptrdiff_t>(s), chars.begin() + static_cast<ptrdiff_t>(e));
  } else {
    out.reserve(e - s + 1);
    bool line_start = true;
    size_t i = s;
    while (i < e) {
      uint32_t c = chars[i];
      if (in_h(c)) {
        size_t j = i;
        while (j < e && in_h(chars[j])) j++;
        bool before_lf = j < e && chars[j] == '\n';
        if (!line_start && !before_lf) out.insert(out.end(), chars.begin() + static_cast<ptrdiff_t>(i),
                                                  chars.begin() + static_cast<ptrdiff_t>(j));
        i = j;
        continue;
      }
      out.push_back(c);
      line_start = c == '\n';
      i++;
    }
    if (dropped_lf) out.push_back('\n');
  }
  write_rest(series, out);
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
  if (!all && !with && auto_) error::raise(ERR_INTERNAL, "not-done");
  if (with && !(with->is(TYPE_CHAR) || with->is(TYPE_INTEGER) || with->is(TYPE_BINARY) ||
                is_any_string(with->type())))
    error::raise(ERR_SCRIPT, "invalid-arg", with);
  int32_t idx = series::clamp_index(series);
  ownership::notify_before(series, ownership::Change::trim, nullptr, idx,
                           series::length(series, false));
  series::clamp_index(series);
  if (all || with) trim_with(series, with);
  else if (lines) trim_lines(series);
  else trim_ends(series, head, tail);
  ownership::notify_after(series, ownership::Change::trim, nullptr, idx,
                          series::length(series, false));
  return series;
}

// ---- uppercase and lowercase ---------------------------------------------------------------

void change_case(Cell* value, const Cell* part, bool upper) {
  if (value->is(TYPE_CHAR)) {
    value->data2 = casefold::map_char(value->data2, upper);
    return;
  }
  int32_t idx = series::clamp_index(value);
  uint32_t left = length(value);
  int64_t requested = left;
  if (part) {
    if (part->is(TYPE_INTEGER)) requested = part->int_value();
    else if (part->type() == value->type() && part->node() == value->node())
      requested = int64_t(series::index_of(part)) - idx;
    else actions::raise_invalid_refine("part", part);
  }
  size_t count = casefold::part_count(requested, left);
  if (count == 0) return;
  NodeId n = value->node();
  SeriesBuffer* b = node_buffer(n);
  uint32_t unit = b->unit();
  unsigned need = casefold::change_case_unit(b->head_ptr() + size_t(idx) * unit, count, unit, upper);
  if (need > unit) {
    widen(n, need);
    unit = need;
  }
  b = node_buffer(n);
  casefold::change_case_units(b->head_ptr() + size_t(idx) * unit, count, unit, upper);
}

}  // namespace tav::string
