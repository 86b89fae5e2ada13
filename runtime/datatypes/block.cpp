#include "datatypes/block.h"
#include "datatypes/block_actions.h"

#include <cstring>
#include <vector>

#include "core/cycles.h"
#include "datatypes/hash.h"
#include "datatypes/series.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"

namespace tav::block {

// ---- Cells -------------------------------------------------------------------------------

int32_t rs_length(const Cell* blk) {
  SeriesBuffer* b = cell_buffer(blk);
  return static_cast<int32_t>(b->used() / sizeof(Cell)) - series::index_of(blk);
}

Cell* rs_head(Cell* blk) {
  SeriesBuffer* b = cell_buffer(blk);
  int32_t len = static_cast<int32_t>(b->used() / sizeof(Cell));
  if (series::index_of(blk) > len) series::set_index(blk, len);
  return b->cells() + series::index_of(blk);
}

Cell* tail_cell(const Cell* blk) { return cell_buffer(blk)->cell_tail(); }

bool rs_tail_q(const Cell* blk) {
  return cell_buffer(blk)->cells() + series::index_of(blk) == tail_cell(blk);
}

Cell* cell_at(const Cell* blk, uint32_t n) { return cell_buffer(blk)->cells() + n; }

// ---- Building ----------------------------------------------------------------------------

Cell* make_at(Cell* cell, int32_t capacity, TypeId t) {
  set_unset(cell);
  NodeId n = alloc::new_cells(static_cast<uint32_t>(capacity < 1 ? 1 : capacity));
  *cell = make_cell(t, 0, n);
  return cell;
}

Cell* push_only(int32_t capacity) { return make_at(stack::new_cell(), capacity); }

Cell* append_cell(const Cell* blk, const Cell* value) {
  Cell copy = *value;   // the value may sit in the buffer that is about to move
  Cell* slot = series::new_tail_cell(blk);
  *slot = copy;
  return slot;
}

Cell* append_from(const Cell* dst, const Cell* src) {
  int32_t n = rs_length(src);
  if (n <= 0) return const_cast<Cell*>(dst);
  NodeId d = dst->node(), s = src->node();
  int32_t from = series::index_of(src);
  uint32_t bytes = static_cast<uint32_t>(n) * sizeof(Cell);
  SeriesBuffer* b = series::ensure_room(d, bytes);
  std::memmove(b->tail_ptr(), node_buffer(s)->cells() + from, bytes);
  b->tail += bytes;
  return const_cast<Cell*>(dst);
}

void add_values(Cell* target, const Cell* value, bool splice, bool insert) {
  Cell v = *value;
  if (splice && rs_length(&v) <= 0) return;
  uint32_t before = cell_buffer(target)->count();
  uint32_t at = insert ? static_cast<uint32_t>(series::clamp_index(target)) : before;
  if (insert) {
    Cell* arg = stack::push(&v);
    block::insert(target, arg, -1, !splice, 1, false);
    stack::pop(1);
  } else if (splice) {
    append_from(target, &v);
  } else {
    append_cell(target, &v);
  }
  if (target->is(TYPE_HASH)) hash_block::cells_inserted(target, at, before);
}

namespace block_detail {

void append_spaces(NodeId out, int count) {
  static const char blanks[] = "                                ";
  while (count > 0) {
    int k = count < 32 ? count : 32;
    string::append_ascii(out, blanks + (32 - k));
    count -= k;
  }
}

uint32_t last_char(NodeId out) {
  uint32_t len = string::length(out);
  return len == 0 ? 0 : string::char_at(out, len - 1);
}

bool is_number(TypeId t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }

bool typeset_has(const Cell* ts, TypeId t) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&ts->data1);
  return (t >> 3) < 12 && (bytes[t >> 3] & (0x80u >> (t & 7))) != 0;
}

bool copies_with_types(TypeId t) {
  return is_series_type(t) || t == TYPE_OBJECT || t == TYPE_BITSET || t == TYPE_ERROR ||
         t == TYPE_MAP;
}

// Replaces cell i of the block in `holder` (a rooted cell) by a copy of itself.
void replace_by_copy(const Cell* holder, int32_t i, bool deep) {
  Cell* item = stack::push(cell_at(holder, static_cast<uint32_t>(i)));
  Cell* out = set_unset(stack::new_cell());
  actions::copy_direct(item, out, nullptr, deep, nullptr);
  Cell* slot = cell_at(holder, static_cast<uint32_t>(i));
  uint32_t flags = slot->header & ~HEADER_TYPE_MASK;
  *slot = *out;
  slot->header = (slot->header & HEADER_TYPE_MASK) | flags;   // keep the new-line marker
  stack::pop(2);
}

}  // namespace block_detail

Cell* copy_cells(const Cell* blk, int32_t from, int32_t count, bool deep, Cell* result) {
  series::copy_units(blk, from, count, result);
  if (!deep) return result;
  for (int32_t i = 0; i < count; i++) {
    TypeId t = cell_at(result, static_cast<uint32_t>(i))->type();
    if (is_series_type(t)) block_detail::replace_by_copy(result, i, true);
  }
  return result;
}

// ---- Text --------------------------------------------------------------------------------

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  NodeId out = buffer->node();
  NodeId self = value->node();
  if (cycles::find(self)) {
    string::append_ascii(out, "...");
    return limit - 3;
  }
  cycles::push(self);
  for (int32_t i = series::index_of(value) < 0 ? 0 : series::index_of(value);; i++) {
    SeriesBuffer* b = node_buffer(self);
    int32_t len = static_cast<int32_t>(b->used() / sizeof(Cell));
    if (i >= len) break;
    if (part && limit < 1) break;
    Cell* item = stack::push(b->cells() + i);   // rooted and stable while it is formed
    limit = actions::form_direct(item, buffer, part, limit);
    stack::pop(1);
    if (i + 1 < static_cast<int32_t>(node_buffer(self)->used() / sizeof(Cell))) {
      uint32_t c = block_detail::last_char(out);
      if (c != '\t' && c != '\n' && c != '\r') {
        string::append_ascii(out, " ");
        limit -= 1;
      }
    }
  }
  cycles::pop();
  return limit;
}

int mold_with(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
              int indent, const char* open, const char* close, const char* marker) {
  NodeId out = buffer->node();
  NodeId self = value->node();
  if (cycles::find(self)) {
    string::append_ascii(out, marker);
    return limit - static_cast<int>(std::strlen(marker));
  }
  if (!only) {
    string::append_ascii(out, open);
    limit -= 1;
  }
  cycles::push(self);
  bool close_on_own_line = false;
  bool cut = false;
  int32_t start = series::index_of(value) < 0 ? 0 : series::index_of(value);
  for (int32_t i = start;; i++) {
    SeriesBuffer* b = node_buffer(self);
    if (i >= static_cast<int32_t>(b->used() / sizeof(Cell))) break;
    if (part && limit < 1) {
      cut = true;
      break;
    }
    bool first = i == start;
    Cell* item = stack::push(b->cells() + i);
    if (!flat && (item->header & FLAG_NEW_LINE)) {
      if (first && !only) {
        indent += 1;
        close_on_own_line = true;
      }
      if (!(first && only)) {
        string::append_ascii(out, "\n");
        limit -= 1;
      }
      block_detail::append_spaces(out, 4 * indent);
      limit -= 4 * indent;
    } else if (!first) {
      string::append_ascii(out, " ");
      limit -= 1;
    }
    limit = actions::mold_direct(item, buffer, false, all, flat, part, limit, indent);
    stack::pop(1);
  }
  cycles::pop();
  if (!cut && close_on_own_line) {
    indent -= 1;
    string::append_ascii(out, "\n");
    block_detail::append_spaces(out, 4 * indent);
    limit -= 1 + 4 * indent;
  }
  if (!only) {
    string::append_ascii(out, close);
    limit -= 1;
  }
  return limit;
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  return mold_with(value, buffer, only, all, flat, part, limit, indent, "[", "]", "[...]");
}

// ---- Compare -----------------------------------------------------------------------------

int compare(Cell* value1, Cell* value2, int op) {
  TypeId t1 = value1->type(), t2 = value2->type();
  if (t1 != t2) {
    bool path_pair = (t1 == TYPE_PATH || t1 == TYPE_LIT_PATH) &&
                     (t2 == TYPE_PATH || t2 == TYPE_LIT_PATH);
    if (!(path_pair && (op == COMP_FIND_CASE || op == COMP_FIND))) return COMPARE_UNRELATED;
  }
  NodeId n1 = value1->node(), n2 = value2->node();
  bool identical = n1 == n2 && value1->data1 == value2->data1;
  if (op == COMP_SAME) return identical ? 0 : -1;
  if (identical) return 0;
  if (cycles::find(n1)) return cycles::find(n2) ? 0 : -1;
  int32_t c1 = rs_length(value1), c2 = rs_length(value2);
  if (c1 < 0) c1 = 0;
  if (c2 < 0) c2 = 0;
  if (c1 != c2 && (op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                   op == COMP_FIND_CASE || op == COMP_FIND || op == COMP_FIND_EQUAL))
    return 1;
  cycles::push(n1);
  cycles::push(n2);
  int32_t i1 = series::index_of(value1), i2 = series::index_of(value2);
  int32_t pairs = c1 < c2 ? c1 : c2;
  int r = 0;
  for (int32_t k = 0; k < pairs && r == 0; k++) {
    Cell a = node_buffer(n1)->cells()[i1 + k];
    Cell b = node_buffer(n2)->cells()[i2 + k];
    TypeId ta = a.type(), tb = b.type();
    if (ta != tb && !(is_any_word(ta) && is_any_word(tb)) &&
        !(block_detail::is_number(ta) && block_detail::is_number(tb))) {
      cycles::pop_n(2);
      return ta < tb ? -1 : 1;
    }
    r = actions::compare_value(&a, &b, op);
  }
  cycles::pop_n(2);
  if (r != 0) return r;
  return c1 < c2 ? -1 : (c1 > c2 ? 1 : 0);
}

// ---- Append, insert, change --------------------------------------------------------------

namespace block_detail {

// The cells a value adds: its own cells from its index (a block kind without /only), or the
// value itself. The source is snapshotted when it shares the target's buffer, since the
// target moves its cells around before they are copied.
struct Source {
  Cell single{};
  NodeId node = 0;
  int32_t from = 0;
  int32_t count = 1;
  std::vector<Cell> snapshot;

  Source(const Cell* value, bool only, int part) : single(*value) {
    if (is_any_block(value->type()) && !only) {
      node = value->node();
      int32_t len = static_cast<int32_t>(node_buffer(node)->used() / sizeof(Cell));
      from = series::index_of(value);
      if (from < 0) from = 0;
      if (from > len) from = len;
      count = len - from;
    }
    if (part >= 0 && part < count) count = part;
  }
  void detach_from(NodeId target) {
    if (node != 0 && node == target && count > 0) {
      const Cell* c = node_buffer(node)->cells() + from;
      snapshot.assign(c, c + count);
    }
  }
  const Cell* cells() const {
    if (node == 0) return &single;
    if (!snapshot.empty()) return snapshot.data();
    return node_buffer(node)->cells() + from;
  }
};

// Copies the source once at `at`, then repeats the run until `added` cells are written.
void write_run(Cell* at, const Source& src, int64_t added) {
  if (added <= 0) return;
  std::memcpy(static_cast<void*>(at), src.cells(), size_t(src.count) * sizeof(Cell));
  int64_t done = src.count;
  while (done < added) {
    int64_t n = done < added - done ? done : added - done;
    std::memcpy(static_cast<void*>(at + done), at, size_t(n) * sizeof(Cell));
    done += n;
  }
}

// Makes room for extra cells after the tail: doubling for small repeat counts, exact for
// large ones (a big /dup is usually a one-off fill).
SeriesBuffer* reserve_cells(NodeId n, int64_t extra, int dup) {
  SeriesBuffer* b = node_buffer(n);
  uint64_t bytes = uint64_t(extra) * sizeof(Cell);
  if (b->room() >= bytes) return b;
  if (dup < 5) return series::ensure_room(n, static_cast<uint32_t>(bytes));
  return series::expand_copy(b, static_cast<uint32_t>(b->used() + bytes));
}

}  // namespace block_detail

Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool append) {
  // Appending one value to a block nobody watches, with room left: the common case of a
  // loop that builds a block, done without measuring a source or moving cells.
  if (append && dup == 1 && part != 0 && (only || !is_any_block(value->type())) &&
      !ownership::is_owned(series)) {
    SeriesBuffer* b = cell_buffer(series);
    if (b->room() >= sizeof(Cell)) {
      *reinterpret_cast<Cell*>(b->head_ptr() + b->used()) = *value;
      b->tail += sizeof(Cell);
      series::set_index(series, 0);
      return series;
    }
  }
  block_detail::Source src(value, only, part);
  int64_t added = dup < 1 ? 0 : int64_t(src.count) * dup;
  SeriesBuffer* b = cell_buffer(series);
  series::check_length(uint64_t(b->used() / sizeof(Cell)) + uint64_t(added), sizeof(Cell));
  int32_t len = static_cast<int32_t>(b->used() / sizeof(Cell));
  if (series::index_of(series) > len) series::set_index(series, len);
  ownership::notify_before(series, append ? ownership::Change::append : ownership::Change::insert,
                           value, append ? len : series::index_of(series),
                           static_cast<int32_t>(added));
  // The owner may have changed the block: take the positions afresh.
  NodeId target = series->node();
  len = series::buffer_length(series);
  int32_t pos = append ? len : series::clamp_index(series);
  if (added > 0) {
    src.detach_from(target);
    b = block_detail::reserve_cells(target, added, dup);
    Cell* cells = b->cells();
    std::memmove(static_cast<void*>(cells + pos + added), cells + pos,
                 size_t(len - pos) * sizeof(Cell));
    b->tail += static_cast<uint32_t>(added * sizeof(Cell));
    block_detail::write_run(cells + pos, src, added);
    ownership::notify_after(series,
                            append ? ownership::Change::append : ownership::Change::insert,
                            value, pos, static_cast<int32_t>(added));
  }
  if (append) {
    series::set_index(series, 0);
  } else {
    int64_t after = pos + added;
    int32_t now = series::buffer_length(series);
    series::set_index(series, static_cast<int32_t>(after > now ? now : after));
  }
  return series;
}

Cell* change(Cell* series, Cell* value, int part, bool only, int dup) {
  block_detail::Source src(value, only, -1);
  int64_t added = dup < 1 ? 0 : int64_t(src.count) * dup;
  SeriesBuffer* b = cell_buffer(series);
  series::check_length(uint64_t(b->used() / sizeof(Cell)) + uint64_t(added), sizeof(Cell));
  int32_t idx = series::clamp_index(series);
  int64_t replaced = part >= 0 ? part : added;
  ownership::notify_before(series, ownership::Change::change, value, idx,
                           static_cast<int32_t>(replaced));
  NodeId target = series->node();
  int32_t len = series::buffer_length(series);
  idx = series::clamp_index(series);
  if (replaced > len - idx) replaced = len - idx;
  src.detach_from(target);
  int64_t delta = added - replaced;
  b = delta > 0 ? block_detail::reserve_cells(target, delta, dup) : node_buffer(target);
  Cell* cells = b->cells();
  std::memmove(static_cast<void*>(cells + idx + added), cells + idx + replaced,
               size_t(len - idx - replaced) * sizeof(Cell));
  b->tail = static_cast<uint32_t>(int64_t(b->tail) + delta * int64_t(sizeof(Cell)));
  block_detail::write_run(cells + idx, src, added);
  ownership::notify_after(series, ownership::Change::change, value, idx,
                          static_cast<int32_t>(added));
  int64_t after = idx + added;
  int32_t now = series::buffer_length(series);
  series::set_index(series, static_cast<int32_t>(after > now ? now : after));
  return series;
}

// ---- Find and select ---------------------------------------------------------------------

namespace block_detail {

enum class Match : uint8_t { single, datatype, typeset, sequence };

struct Found {
  int32_t pos = -1;    // -1: no match
  int32_t span = 1;    // cells the match covers
  bool backward = false;
  int32_t step = 1;
};

Found search(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
             Cell* skip, bool last, bool reverse, bool match) {
  Found f;
  int32_t len = series::buffer_length(series);
  int32_t idx = series::index_of(series);
  if (idx < 0) idx = 0;
  if (len == 0 || (!reverse && idx >= len)) return f;
  if (skip) {
    if (!skip->is(TYPE_INTEGER)) actions::raise_invalid_refine("skip", skip);
    if (skip->int_value() < 1) error::raise(ERR_SCRIPT, "out-of-range", skip);
    f.step = skip->int_value();
  }
  int32_t limit = len - 1;
  if (part) {
    int32_t count = series::part_count(series, part);
    if (count < 1) return f;
    int64_t l = int64_t(idx) + count - 1;
    if (l < limit) limit = static_cast<int32_t>(l);
  }
  int op = same ? COMP_SAME : (case_ ? COMP_STRICT_EQUAL : COMP_FIND_EQUAL);
  Match mode = Match::single;
  int32_t seq_from = 0;
  NodeId seq_node = 0;
  if (!only) {
    if (value->is(TYPE_DATATYPE)) mode = Match::datatype;
    else if (value->is(TYPE_TYPESET)) mode = Match::typeset;
    else if (is_any_block(value->type())) mode = Match::sequence;
  }
  if (mode == Match::sequence) {
    seq_node = value->node();
    seq_from = series::index_of(value) < 0 ? 0 : series::index_of(value);
    int32_t n = rs_length(value);
    if (n <= 0) return f;   // an empty sequence is found nowhere
    f.span = n;
  }
  Cell key = *value;
  NodeId self = series->node();
  int32_t bound = (part && !(last || reverse)) ? limit + 1 : len;
  auto matches_at = [&](int32_t p) -> bool {
    if (p < 0 || int64_t(p) + f.span > bound) return false;
    Cell* c = node_buffer(self)->cells() + p;
    switch (mode) {
      case Match::datatype:
        return c->type() == static_cast<TypeId>(key.data1);
      case Match::typeset:
        return typeset_has(&key, c->type());
      case Match::sequence:
        for (int32_t k = 0; k < f.span; k++) {
          Cell a = node_buffer(self)->cells()[p + k];
          Cell b = node_buffer(seq_node)->cells()[seq_from + k];
          if (actions::compare_value(&a, &b, op) != 0) return false;
        }
        return true;
      case Match::single: {
        Cell a = *c;
        return actions::compare_value(&a, &key, op) == 0;
      }
    }
    return false;
  };
  f.backward = last || reverse;
  int32_t start;
  if (last) {
    start = part ? limit : len - f.span;
    if (!part && f.step > 1) start = idx + ((len - 1 - idx) / f.step) * f.step;
  } else if (reverse) {
    start = part ? limit : idx - (mode == Match::sequence ? f.span : f.step);
  } else {
    start = idx;
  }
  if (start < 0) return f;
  if (match) {
    if (matches_at(start)) f.pos = start;
    return f;
  }
  if (f.backward) {
    for (int32_t p = start; p >= 0; p -= f.step)
      if (matches_at(p)) {
        f.pos = p;
        break;
      }
  } else {
    for (int64_t p = start; p <= limit; p += f.step)
      if (matches_at(static_cast<int32_t>(p))) {
        f.pos = static_cast<int32_t>(p);
        break;
      }
  }
  return f;
}

}  // namespace block_detail

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool,
           Cell*, Cell* skip, bool last, bool reverse, bool tail, bool match) {
  block_detail::Found f =
      block_detail::search(series, value, part, only, case_, same, skip, last, reverse, match);
  Cell* result = stack::push(series);
  if (f.pos < 0) return set_none(result);
  int32_t at = f.pos;
  if (tail) {
    bool seq = is_any_block(value->type()) && !only;
    at += seq ? f.span : (f.backward ? 1 : f.step);
    int32_t len = series::buffer_length(series);
    if (at > len) at = len;
  }
  series::set_index(result, at);
  return result;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool,
             Cell*, Cell* skip, bool last, bool reverse) {
  block_detail::Found f =
      block_detail::search(series, value, part, only, case_, same, skip, last, reverse, false);
  Cell* result = stack::new_cell();
  if (f.pos < 0) return set_none(result);
  bool seq = is_any_block(value->type()) && !only;
  int32_t after = f.pos + (seq ? f.span : 1);
  if (after >= series::buffer_length(series)) return set_none(result);
  *result = *cell_at(series, static_cast<uint32_t>(after));
  return result;
}

// ---- Take and copy -----------------------------------------------------------------------

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
  Cell* taken = series_action::take(series, part, deep, last);
  if (taken->is(TYPE_NONE)) return taken;
  if (deep) {
    int32_t n = series::buffer_length(taken);
    for (int32_t i = 0; i < n; i++)
      if (is_series_type(cell_at(taken, static_cast<uint32_t>(i))->type()))
        block_detail::replace_by_copy(taken, i, true);
  }
  if (!part) *taken = *cell_at(taken, 0);
  return taken;
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
  if (!deep && !types) return series_action::copy(value, result, part, false, nullptr);
  NodeId self = value->node();
  if (deep) {
    if (cycles::find(self)) {
      cycles::reset();
      error::raise(ERR_INTERNAL, "no-cycle");
    }
    cycles::push(self);
  }
  series_action::copy(value, result, part, false, nullptr);
  if (result->is(TYPE_HASH)) result->set_type(TYPE_BLOCK);
  int32_t n = series::buffer_length(result);
  for (int32_t i = 0; i < n; i++) {
    TypeId t = cell_at(result, static_cast<uint32_t>(i))->type();
    bool wanted = types ? (block_detail::copies_with_types(t) &&
                           (types->is(TYPE_DATATYPE) ? static_cast<TypeId>(types->data1) == t
                                                     : block_detail::typeset_has(types, t)))
                        : is_series_type(t);
    if (wanted) block_detail::replace_by_copy(result, i, deep);
  }
  if (deep) cycles::pop();
  return result;
}

}  // namespace tav::block

namespace tav::block_type {

void init() {
  // Every series! handler is inherited (where series! has none, block! has none either).
  datatype::register_type(TYPE_BLOCK, TYPE_SERIES, "block!", {
      on<ACT_FORM>(&block::form),
      on<ACT_MOLD>(&block::mold),
      on<ACT_COMPARE>(&block::compare),
      on<ACT_APPEND>(&block::insert),
      on<ACT_INSERT>(&block::insert),
      on<ACT_CHANGE>(&block::change),
      on<ACT_FIND>(&block::find),
      on<ACT_SELECT>(&block::select),
      on<ACT_TAKE>(&block::take),
      on<ACT_COPY>(&block::copy),
      on<ACT_MAKE>(&block::make),
      on<ACT_TO>(&block::to),
      on<ACT_EVAL_PATH>(&block::eval_path),
      on<ACT_PUT>(&block::put),
      on<ACT_SORT>(&block::sort),
      on<ACT_SWAP>(&block::swap),
      on<ACT_TRIM>(&block::trim),
  }, INHERIT);
}

}  // namespace tav::block_type
