#include "datatypes/series.h"

#include "core/random.h"

#include <cstring>
#include <vector>

#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/ownership.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "datatypes/vector.h"

namespace tav {

namespace series {

int32_t buffer_length(const Cell* v) {
  SeriesBuffer* b = cell_buffer(v);
  return static_cast<int32_t>(b->used() >> unit_shift(b));
}

bool at_tail(const Cell* v) { return index_of(v) >= buffer_length(v); }

bool skip(Cell* v, int32_t n) {
  int64_t target = int64_t(index_of(v)) + n;
  int64_t len = buffer_length(v);
  if (target <= len) set_index(v, static_cast<int32_t>(target < 0 ? 0 : target));
  return target >= len;
}

int32_t length(Cell* v, bool whole) {
  int32_t len = buffer_length(v);
  if (whole) return len;
  int32_t i = index_of(v);
  if (i < 0) i = 0;
  if (i > len) {
    set_index(v, len);
    return 0;
  }
  return len - i;
}

int32_t offset_index(const Cell* v, int32_t n, bool at) {
  int64_t i = index_of(v);
  i += (at && n > 0) ? int64_t(n) - 1 : n;
  int64_t len = buffer_length(v);
  if (i < 0) return 0;
  return static_cast<int32_t>(i > len ? len : i);
}

int32_t clamp_index(Cell* v) {
  int32_t len = buffer_length(v);
  int32_t i = index_of(v);
  if (i < 0) i = 0;
  if (i > len) i = len;
  set_index(v, i);
  return i;
}

int32_t part_count(const Cell* v, const Cell* part) {
  if (part->is(TYPE_INTEGER)) return part->int_value();
  if (part->type() == v->type() && part->node() == v->node())
    return index_of(part) - index_of(v);
  actions::raise_invalid_refine("part", part);
}

Cell* copy_units(const Cell* v, int32_t from, int32_t count, Cell* result) {
  TypeId t = v->type();
  uint32_t third = v->data3;
  NodeId src = v->node();
  NodeId n = series::copy_part(src, static_cast<uint32_t>(from), static_cast<uint32_t>(count));
  *result = make_cell(t, 0, n, third);
  return result;
}

}  // namespace series

namespace series_action {

namespace series_action_detail {
Cell* push_none() { return set_none(stack::new_cell()); }

bool is_text(TypeId t) { return is_any_string(t); }
bool holds_cells(TypeId t) { return is_any_block(t) || t == TYPE_MAP; }

// Pushes the unit at position pos of a series as the value pick answers for it.
Cell* push_unit(const Cell* v, int32_t pos) {
  TypeId t = v->type();
  if (t == TYPE_BINARY) return set_integer(stack::new_cell(), *series::unit_at(v, pos));
  if (t == TYPE_VECTOR) return vector::push_element(v, static_cast<uint32_t>(pos));
  return set_char(stack::new_cell(), string::char_at(v->node(), static_cast<uint32_t>(pos)));
}

// Position of a pick or poke: n counts from 1 forward, from -1 backward; -1 when none.
int64_t pick_position(const Cell* v, int n) {
  if (n == 0) return -1;
  int64_t pos = int64_t(series::index_of(v)) + (n > 0 ? int64_t(n) - 1 : int64_t(n));
  if (pos < 0 || pos >= series::buffer_length(v)) return -1;
  return pos;
}
}  // namespace series_action_detail

Cell* head() {
  series::set_index(stack::base, 0);
  return stack::base;
}

Cell* tail() {
  series::set_index(stack::base, series::buffer_length(stack::base));
  return stack::base;
}

Cell* head_q() { return set_logic(stack::base, series::index_of(stack::base) == 0); }

Cell* tail_q() { return set_logic(stack::base, series::at_tail(stack::base)); }

Cell* index_q() { return set_integer(stack::base, series::index_of(stack::base) + 1); }

Cell* next() {
  series::skip(stack::base, 1);
  return stack::base;
}

Cell* back() {
  int32_t i = series::index_of(stack::base);
  if (i > 0) series::set_index(stack::base, i - 1);
  return stack::base;
}

namespace series_action_detail {
Cell* move_to(bool at) {
  Cell* v = stack::base;
  Cell* n = v + 1;
  if (!n->is(TYPE_INTEGER)) error::raise(ERR_SCRIPT, "invalid-arg", n);
  series::set_index(v, series::offset_index(v, n->int_value(), at));
  return v;
}
}  // namespace series_action_detail

Cell* at() { return series_action_detail::move_to(true); }
Cell* skip() { return series_action_detail::move_to(false); }

int length_q(Cell* series) { return series::length(series, false); }

Cell* pick(Cell* series, int index, Cell*) {
  int64_t pos = series_action_detail::pick_position(series, index);
  if (pos < 0) return series_action_detail::push_none();
  if (series_action_detail::holds_cells(series->type()))
    return cell_buffer(series)->cells() + pos;
  return series_action_detail::push_unit(series, static_cast<int32_t>(pos));
}

Cell* poke(Cell* series, int index, Cell* data, Cell* boxed) {
  int64_t pos = series_action_detail::pick_position(series, index);
  if (pos < 0) error::raise(ERR_SCRIPT, "out-of-range", boxed);
  TypeId t = series->type();
  // Check the value before anyone is told of a change.
  if (series_action_detail::is_text(t) && !data->is(TYPE_CHAR))
    error::raise(ERR_SCRIPT, "invalid-arg", data);
  if (t == TYPE_BINARY && !(data->is(TYPE_INTEGER) && data->int_value() >= 0 &&
                            data->int_value() <= 255))
    error::raise(ERR_SCRIPT, "invalid-arg", data);
  if (t == TYPE_VECTOR) vector::check_type(series, data);
  ownership::notify_before(series, ownership::Change::poke, data, static_cast<int32_t>(pos), 1);
  if (pos >= series::buffer_length(series)) error::raise(ERR_SCRIPT, "out-of-range", boxed);
  if (series_action_detail::holds_cells(t)) {
    cell_buffer(series)->cells()[pos] = *data;
  } else if (t == TYPE_BINARY) {
    *series::unit_at(series, static_cast<int32_t>(pos)) = static_cast<uint8_t>(data->int_value());
  } else if (t == TYPE_VECTOR) {
    vector::poke_element(series, static_cast<uint32_t>(pos), data);
  } else {
    string::poke_char(series->node(), static_cast<uint32_t>(pos), data->data2);
  }
  ownership::notify_after(series, ownership::Change::poke, data, static_cast<int32_t>(pos), 1);
  return data;
}

Cell* clear(Cell* series) {
  if (series::length(series, false) < 1) return series;
  ownership::notify_before(series, ownership::Change::clear, nullptr, series::index_of(series),
                           series::length(series, false));
  int32_t i = series::clamp_index(series);
  SeriesBuffer* b = cell_buffer(series);
  b->tail = b->head + (static_cast<uint32_t>(i) << series::unit_shift(b));
  ownership::notify_after(series, ownership::Change::clear, nullptr, i, 0);
  return series;
}

namespace series_action_detail {
// Cuts count units at pos out of the buffer, moving the rest down.
void cut_units(Cell* series, int32_t pos, int32_t count) {
  SeriesBuffer* b = cell_buffer(series);
  uint32_t shift = series::unit_shift(b);
  int32_t len = static_cast<int32_t>(b->used() >> shift);
  if (pos >= len || count <= 0) return;
  if (count > len - pos) count = len - pos;
  uint8_t* at = b->head_ptr() + (size_t(pos) << shift);
  size_t bytes = size_t(count) << shift;
  std::memmove(at, at + bytes, b->tail_ptr() - (at + bytes));
  b->tail -= static_cast<uint32_t>(bytes);
}
}  // namespace series_action_detail

Cell* remove(Cell* series, Cell* part, Cell* key) {
  int32_t count = part ? series::part_count(series, part) : 1;
  if (count < 1) return series;
  int32_t pos = series::index_of(series);
  if (key) {
    Cell* found = actions::find_direct(series, key, nullptr, false, true, false, false, nullptr,
                                       nullptr, false, false, false, false);
    if (found->is(TYPE_NONE)) return series;
    pos = series::index_of(found);
    if (count < INT32_MAX) count += 1;   // the key goes too; no count reaches past the tail
  }
  if (pos < 0 || pos >= series::buffer_length(series)) return series;
  ownership::notify_before(series, ownership::Change::remove, nullptr, pos, count);
  // The owner may have changed the series: cut what is still there.
  series_action_detail::cut_units(series, pos, count);
  ownership::notify_after(series, ownership::Change::remove, nullptr, pos, count);
  return series;
}

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
  int32_t avail = series::length(series, false);
  int32_t count = part ? series::part_count(series, part) : avail;
  if (count < 1) return series;
  if (count > avail) count = avail;
  int32_t size = 1;
  if (skip) {
    if (!skip->is(TYPE_INTEGER)) actions::raise_invalid_refine("skip", skip);
    size = skip->int_value();
    if (size < 1) error::raise(ERR_SCRIPT, "out-of-range", skip);
    if (size == count) return series;
    if (size > count || count % size != 0) actions::raise_invalid_refine("skip", skip);
  }
  if (count < 2) return series;
  ownership::notify_before(series, ownership::Change::reverse, nullptr, series::index_of(series),
                           count);
  avail = series::length(series, false);
  if (count > avail) count = avail - avail % size;
  SeriesBuffer* b = cell_buffer(series);
  uint32_t shift = series::unit_shift(b);
  size_t rec = size_t(size) << shift;
  uint8_t* lo = b->head_ptr() + (size_t(series::index_of(series)) << shift);
  uint8_t* hi = lo + (size_t(count) << shift) - rec;
  uint8_t small[64];
  std::vector<uint8_t> large;
  uint8_t* tmp = small;
  if (rec > sizeof small) {
    large.resize(rec);
    tmp = large.data();
  }
  for (; lo < hi; lo += rec, hi -= rec) {
    std::memcpy(tmp, lo, rec);
    std::memcpy(lo, hi, rec);
    std::memcpy(hi, tmp, rec);
  }
  ownership::notify_after(series, ownership::Change::reverse, nullptr, series::index_of(series),
                          count);
  return series;
}

// /seed: the generator is seeded with the hash of the units from the index to the tail.
// /only: one unit at a random position, as pick gives it. Otherwise the series is shuffled
// in place: each position takes the unit at a random distance among those left.
Cell* random(Cell* series, bool seed, bool secure, bool only) {
  int32_t n = series::length(series, false);
  SeriesBuffer* b = cell_buffer(series);
  uint32_t shift = series::unit_shift(b);
  if (seed) {
    const uint8_t* p = b->head_ptr() + (size_t(series::index_of(series)) << shift);
    random::seed_bytes(p, size_t(n < 0 ? 0 : n) << shift);
    return set_unset(stack::base);
  }
  if (only) {
    if (n < 1) return set_none(stack::base);
    Cell picked = *pick(series, random::int_in_range(secure, n), nullptr);
    *stack::base = picked;
    return stack::base;
  }
  if (n < 2) return series;
  ownership::notify_before(series, ownership::Change::random, nullptr, series::index_of(series), n);
  b = cell_buffer(series);
  n = series::length(series, false);
  size_t unit = size_t(1) << shift;
  uint8_t tmp[16];
  uint8_t* first = b->head_ptr() + (size_t(series::index_of(series)) << shift);
  for (int32_t i = 0; i < n - 1; ++i) {
    int32_t r = random::int_in_range(secure, n - i);
    uint8_t* a = first + (size_t(i) << shift);
    uint8_t* c = a + (size_t(r - 1) << shift);
    if (a == c) continue;
    std::memcpy(tmp, a, unit);
    std::memcpy(a, c, unit);
    std::memcpy(c, tmp, unit);
  }
  ownership::notify_after(series, ownership::Change::random, nullptr, series::index_of(series), n);
  return series;
}

Cell* take(Cell* series, Cell* part, bool, bool last) {
  if (series::length(series, false) < 1) return series_action_detail::push_none();
  int32_t count = part ? series::part_count(series, part) : 1;
  int32_t idx = series::index_of(series);
  int32_t from = idx;
  if (count < 0) {
    if (last) {
      count = 1;
    } else {
      from = idx + count < 0 ? 0 : idx + count;
      count = idx - from;
    }
  }
  if (count == 0) count = 1;
  ownership::notify_before(series, ownership::Change::take, nullptr, from, count);
  int32_t avail = series::length(series, false);
  idx = series::index_of(series);
  if (from > idx) from = idx;
  if (from == idx && count > avail) count = avail;
  if (last) {
    if (count > avail) count = avail;
    from = series::buffer_length(series) - count;
  }
  Cell* result = stack::new_cell();
  set_none(result);
  if (count <= 0) return result;
  series::copy_units(series, from, count, result);
  if (!series->is(TYPE_VECTOR)) result->data3 = 0;   // a vector keeps its element type
  series_action_detail::cut_units(series, from, count);
  if (from < idx) series::set_index(series, from);
  ownership::notify_after(series, ownership::Change::take, nullptr, from, count);
  return result;
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
  int32_t len = series::buffer_length(value);
  int32_t from = series::index_of(value);
  if (from < 0) from = 0;
  if (from > len) from = len;
  int32_t count = len - from;
  if (part) {
    // Any two 32-bit coordinates span more than 32 bits: the count is worked out in 64.
    int64_t n;
    if (part->is(TYPE_PAIR)) {
      int32_t x = static_cast<int32_t>(part->data2), y = static_cast<int32_t>(part->data3);
      from = series::offset_index(value, x, true);
      n = y < x ? 0 : int64_t(y) - x;
    } else {
      n = series::part_count(value, part);
    }
    if (n < 0) {
      int64_t start = from + n < 0 ? 0 : from + n;
      n = from - start;
      from = static_cast<int32_t>(start);
    }
    count = static_cast<int32_t>(n < len - from ? n : len - from);
  }
  return series::copy_units(value, from, count, result);
}

namespace series_action_detail {

bool movable_kind(TypeId t) {
  return is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
         t == TYPE_IMAGE;
}

// Moves count units at from to dest (a position counted before the units are taken out)
// inside one buffer.
void move_within(Cell* series, int32_t from, int32_t count, int32_t dest) {
  SeriesBuffer* b = cell_buffer(series);
  uint32_t shift = series::unit_shift(b);
  uint8_t* head = b->head_ptr();
  size_t bytes = size_t(count) << shift;
  std::vector<uint8_t> moved(head + (size_t(from) << shift), head + (size_t(from) << shift) + bytes);
  if (dest < from) {
    std::memmove(head + (size_t(dest) << shift) + bytes, head + (size_t(dest) << shift),
                 size_t(from - dest) << shift);
    std::memcpy(head + (size_t(dest) << shift), moved.data(), bytes);
  } else {
    // dest is where the units land once they are out: after the unit that was at the target.
    std::memmove(head + (size_t(from) << shift), head + (size_t(from) << shift) + bytes,
                 size_t(dest - from) << shift);
    std::memcpy(head + (size_t(dest) << shift), moved.data(), bytes);
  }
}

}  // namespace series_action_detail

Cell* move(Cell* origin, Cell* target, Cell* part) {
  TypeId ts = origin->type(), tt = target->type();
  if (!series_action_detail::movable_kind(tt)) actions::raise_expect_arg(tt, 1);
  int32_t avail = series::length(origin, false);
  int32_t count = part ? series::part_count(origin, part) : 1;
  if (count > avail) count = avail;
  if (count < 1) return target;
  int32_t from = series::index_of(origin);
  NodeId src = origin->node(), dst = target->node();
  if (src == dst) {
    int32_t len = series::buffer_length(origin);
    int32_t at = series::index_of(target);
    if (at < 0) at = 0;
    if (at == from) return target;
    // A target inside the units being moved, or too close to the tail for them, has no
    // place to take them: nothing moves.
    if (at > from && at < len && (at < from + count || len - at < count)) return origin;
    if (at > len) return origin;
    ownership::notify_before(origin, ownership::Change::move, nullptr, from, count);
    len = series::buffer_length(origin);
    if (from + count > len || at > len) return origin;
    int32_t dest = at < from ? at : (at == len ? len - count : at + 1 - count);
    series_action_detail::move_within(origin, from, count, dest);
    ownership::notify_after(origin, ownership::Change::move, nullptr, at - count, count);
    return target;
  }
  bool text_s = is_any_string(ts), text_t = is_any_string(tt);
  if (is_any_block(ts) != is_any_block(tt)) {
    Cell a, b;
    set_datatype(&a, ts);
    set_datatype(&b, tt);
    error::raise(ERR_SCRIPT, "move-bad", &a, &b);
  }
  uint32_t us = node_buffer(src)->unit(), ut = node_buffer(dst)->unit();
  bool raw = ts == TYPE_BINARY || ts == TYPE_VECTOR || tt == TYPE_BINARY || tt == TYPE_VECTOR;
  // Units are copied as they are: a vector's elements keep their meaning only in a vector of
  // the same element type, or, for characters, in text.
  bool numbers_s = ts == TYPE_VECTOR && vector::element_type(origin) != TYPE_CHAR;
  bool numbers_t = tt == TYPE_VECTOR && vector::element_type(target) != TYPE_CHAR;
  bool kinds_differ = ts == TYPE_VECTOR && tt == TYPE_VECTOR
                          ? vector::element_type(origin) != vector::element_type(target)
                          : numbers_s || numbers_t;
  if ((us != ut && (raw || !(text_s && text_t))) || kinds_differ) {
    Cell a, b;
    set_datatype(&a, ts);
    set_datatype(&b, tt);
    error::raise(ERR_SCRIPT, "move-bad", &a, &b);
  }
  ownership::notify_before(origin, ownership::Change::move, nullptr, from, count);
  avail = series::length(origin, false);
  if (count > avail) count = avail;
  from = series::index_of(origin);
  int32_t at = series::clamp_index(target);
  if (us < ut) us = ut;
  if (text_s && text_t) string::widen(dst, us);
  SeriesBuffer* d = series::ensure_room(dst, static_cast<uint32_t>(count) * us * 2);
  uint32_t shift = series::unit_shift(d);
  uint8_t* gap = d->head_ptr() + (size_t(at) << shift);
  std::memmove(gap + (size_t(count) << shift), gap, d->tail_ptr() - gap);
  d->tail += static_cast<uint32_t>(count) << shift;
  SeriesBuffer* sb = node_buffer(src);
  uint32_t su = sb->unit();
  for (int32_t i = 0; i < count; i++) {
    if (su == d->unit()) {
      std::memcpy(gap + (size_t(i) << shift), sb->head_ptr() + size_t(from + i) * su, su);
    } else {
      string::put_char(gap + (size_t(i) << shift), d->unit(),
                       string::get_char(sb->head_ptr() + size_t(from + i) * su, su));
    }
  }
  series_action_detail::cut_units(origin, from, count);
  ownership::notify_after(target, ownership::Change::move, nullptr, at, count);
  return target;
}

// The owner of a series as a block [owner word] (the form modify takes back), or none.
Cell* reflect(Cell* value, uint32_t field) {
  if (symbol::alias(field) != symbol::alias(symbols::owned))
    error::raise(ERR_INTERNAL, "not-done");
  Cell* rec = ownership::find_owner(value->node());
  if (!rec) return set_none(value);
  Cell owner = rec[0], word = rec[1];
  Cell* blk = block::make_at(stack::new_cell(), 2);
  block::append_cell(blk, &owner);
  block::append_cell(blk, &word);
  *value = *blk;
  stack::pop(1);
  return value;
}

// modify series 'owned none drops the owner; modify series 'owned [owner word] sets one.
Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
  Cell series = *target;
  Cell v = *value;
  if (field->is(TYPE_WORD) && symbol::alias(field->data2) == symbol::alias(symbols::owned)) {
    if (v.is(TYPE_NONE)) {
      ownership::unbind(&series);
    } else if (v.is(TYPE_BLOCK) && block::rs_length(&v) >= 2) {
      Cell owner = block::rs_head(&v)[0];
      Cell word = block::rs_head(&v)[1];
      ownership::set_deep(&series, &owner, &word);
    }
  }
  *target = v;
  return target;
}

}  // namespace series_action

namespace series_type {

void init() {
  datatype::register_type(TYPE_SERIES, TYPE_NONE_ID, "series!", {
      on<ACT_AT>(&series_action::at),
      on<ACT_RANDOM>(&series_action::random),
      on<ACT_BACK>(&series_action::back),
      on<ACT_CLEAR>(&series_action::clear),
      on<ACT_COPY>(&series_action::copy),
      on<ACT_HEAD>(&series_action::head),
      on<ACT_HEAD_Q>(&series_action::head_q),
      on<ACT_INDEX_Q>(&series_action::index_q),
      on<ACT_LENGTH_Q>(&series_action::length_q),
      on<ACT_MOVE>(&series_action::move),
      on<ACT_NEXT>(&series_action::next),
      on<ACT_PICK>(&series_action::pick),
      on<ACT_POKE>(&series_action::poke),
      on<ACT_REMOVE>(&series_action::remove),
      on<ACT_REVERSE>(&series_action::reverse),
      on<ACT_SKIP>(&series_action::skip),
      on<ACT_TAIL>(&series_action::tail),
      on<ACT_TAIL_Q>(&series_action::tail_q),
      on<ACT_TAKE>(&series_action::take),
      on<ACT_REFLECT>(&series_action::reflect),
      on<ACT_MODIFY>(&series_action::modify),
  });
}

}  // namespace series_type
}  // namespace tav
