#include "datatypes/hash.h"

#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/type_dispatch.h"
#include "core/hash_index.h"
#include "core/ownership.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"

namespace tav::hash_block {

namespace hash_block_detail {

// The block! handler of an action (rows are filled before hash! registers).
template <typename Fn>
Fn block_handler(ActionId a) {
  return reinterpret_cast<Fn>(action_entry(TYPE_BLOCK, a));
}

uint32_t cell_count(const Cell* v) { return node_buffer(v->node())->count(); }

void reindex_if_hash(const Cell* v) {
  if (v && v->is(TYPE_HASH) && v->data3) reindex(v);
}

// A hash! made from a block! result: a fresh index over its own cells.
Cell* as_hash(Cell* v) {
  make_over(v, v->node());
  return v;
}

}  // namespace hash_block_detail

Cell* make_over(Cell* cell, NodeId block) {
  int32_t index = series::index_of(cell);
  uint32_t n = node_buffer(block)->count();
  // The cell names the block while the index is built, so the collector keeps both.
  *cell = make_cell(TYPE_BLOCK, static_cast<uint32_t>(index), block);
  NodeId table = hash::new_table(n < 1 ? 1 : n, block, hash::KIND_HASH);
  *cell = make_cell(TYPE_HASH, static_cast<uint32_t>(index), block, table);
  return cell;
}

void reindex(const Cell* value) {
  uint32_t n = hash_block_detail::cell_count(value);
  hash::rebuild(value->data3, n < 1 ? 1 : n);
}

// ---- Make, to, copy ---------------------------------------------------------------------

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
  Cell src = *value;
  src.set_type(TYPE_BLOCK);
  src.data3 = 0;
  hash_block_detail::block_handler<act::Copy>(ACT_COPY)(&src, result, part, deep, types);
  result->set_type(TYPE_BLOCK);
  result->data3 = 0;
  return hash_block_detail::as_hash(result);
}

Cell* make(Cell* proto, Cell* spec, int) {
  TypeId st = spec->type();
  Cell* out = stack::new_cell();
  set_none(out);
  if (st == TYPE_INTEGER || st == TYPE_FLOAT) {
    double d = st == TYPE_INTEGER ? spec->int_value() : spec->float_value();
    int32_t n = d >= 1 && d < 1e8 ? static_cast<int32_t>(d) : 1;
    block::make_at(out, n);
    return hash_block_detail::as_hash(out);
  }
  if (st == TYPE_HASH) return copy(spec, out, nullptr, false, nullptr);
  if (st == TYPE_BLOCK) {
    Cell src = *spec;
    int32_t from = series::clamp_index(&src);
    block::copy_cells(&src, from, series::buffer_length(&src) - from, false, out);
    return hash_block_detail::as_hash(out);
  }
  Cell* converted = actions::to_direct(proto, spec, TYPE_BLOCK);
  *out = *converted;
  out->set_type(TYPE_BLOCK);
  out->data3 = 0;
  return hash_block_detail::as_hash(out);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  if (spec->is(TYPE_HASH)) return make(proto, spec, type);
  Cell* out = set_none(stack::new_cell());
  *out = *actions::to_direct(proto, spec, TYPE_BLOCK);
  out->set_type(TYPE_BLOCK);
  out->data3 = 0;
  return hash_block_detail::as_hash(out);
}

// ---- Text -------------------------------------------------------------------------------

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  if (!only) {
    string::append_ascii(buffer->node(), "make hash! ");
    limit -= 11;
  }
  Cell blk = *value;
  blk.set_type(TYPE_BLOCK);
  return block::mold(&blk, buffer, only, all, flat, part, limit, indent);
}

// ---- Lookups through the index ----------------------------------------------------------

namespace hash_block_detail {

// The position of value from the hash's index the way find looks (-1: absent); the found cell
// is checked, and an index that no longer matches its cells is rebuilt once.
int32_t indexed_find(Cell* series, Cell* value, bool case_, bool same, bool last, bool reverse,
                     uint32_t step) {
  int op = same ? COMP_SAME : (case_ ? COMP_STRICT_EQUAL : COMP_FIND_EQUAL);
  uint32_t start = static_cast<uint32_t>(series::clamp_index(series));
  for (int attempt = 0; attempt < 2; ++attempt) {
    int32_t pos = hash::find_key(series->data3, value, start, step, op, last, reverse);
    if (pos < 0) return -1;
    if (static_cast<uint32_t>(pos) < cell_count(series)) {
      Cell* found = stack::push(block::cell_at(series, static_cast<uint32_t>(pos)));
      bool ok = actions::compare(found, value, op);
      stack::pop(1);
      if (ok) return pos;
    }
    reindex(series);
  }
  return -1;
}

// The record size a /skip asks for, 1 without one; 0 when the walk must handle it (a
// backward search by records, or a size the walk rejects with its error).
uint32_t record_step(Cell* skip, bool reverse) {
  if (!skip) return 1;
  if (reverse || !skip->is(TYPE_INTEGER) || skip->int_value() < 1) return 0;
  return static_cast<uint32_t>(skip->int_value());
}

bool needs_walk(Cell* series, Cell* value, Cell* part, bool only, bool any, Cell* with,
                Cell* skip, bool reverse, bool match) {
  // Block values hash by identity, and find compares them by their contents.
  (void)only;
  return part || any || with || record_step(skip, reverse) == 0 || match ||
         series->data3 == 0 || is_any_block(value->type());
}

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
  if (needs_walk(series, value, part, only, any, with, skip, reverse, match))
    return block::find(series, value, part, only, case_, same, any, with, skip, last, reverse,
                       tail, match);
  uint32_t step = record_step(skip, reverse);
  int32_t pos = indexed_find(series, value, case_, same, last, reverse, step);
  Cell* result = stack::push(series);
  if (pos < 0) return set_none(result);
  // /tail goes past the record found, as the walk does; a backward search past the value.
  int64_t at = pos;
  if (tail) at += (last || reverse) ? 1 : step;
  int32_t len = series::buffer_length(series);
  series::set_index(result, static_cast<int32_t>(at > len ? len : at));
  return result;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
  if (needs_walk(series, value, part, only, any, with, skip, reverse, false))
    return block::select(series, value, part, only, case_, same, any, with, skip, last,
                         reverse);
  int32_t pos =
      indexed_find(series, value, case_, same, last, reverse, record_step(skip, reverse));
  Cell* result = stack::new_cell();
  if (pos < 0 || static_cast<uint32_t>(pos) + 1 >= cell_count(series)) return set_none(result);
  *result = *block::cell_at(series, static_cast<uint32_t>(pos) + 1);
  return result;
}

// ---- Changes: the block! handler, then the index follows ------------------------------
//
// Where the change is plain (cells added at one place, removed from one place, or overwritten
// in place) only the entries it touches are updated; where it is not, or where the owner of
// the series may have changed it again in between, the whole block is indexed again.

// What a hash! looked like before a change.
struct Before {
  Cell self;
  uint32_t count;
  uint32_t at;      // the clamped index
  bool owned;       // an owner's handler may change the block again: index it whole after
};

Before before(Cell* series) {
  Before b{*series, cell_count(series), static_cast<uint32_t>(series::clamp_index(series)),
           ownership::is_owned(series)};
  return b;
}

// Enters the cells [from, to) of the store.
void enter(const Cell* self, uint32_t from, uint32_t to) {
  for (uint32_t p = from; p < to; p++) hash::put(self->data3, p);
}

// Enters again the cells [from, to), which were overwritten.
void reenter(const Cell* self, uint32_t from, uint32_t to) {
  for (uint32_t p = from; p < to; p++) hash::delete_entry(self->data3, p);
  enter(self, from, to);
}

// Cells were inserted at `at`: move the entries after them, then enter them.
void inserted(const Before& b, uint32_t at) {
  if (b.owned) return reindex(&b.self);
  cells_inserted(&b.self, at, b.count);
}

// Cells were removed from `at`: drop their entries and move the ones after them.
void removed(const Before& b, uint32_t at) {
  uint32_t now = cell_count(&b.self);
  if (b.owned || now > b.count || at > now) return reindex(&b.self);
  uint32_t gone = b.count - now;
  if (hash::shift_positions(b.self.data3, -static_cast<int32_t>(gone), at, b.count) != 0)
    reindex(&b.self);
}

Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool append) {
  Before b = before(series);
  Cell* r = block_handler<act::Append>(ACT_INSERT)(series, value, part, only, dup, append);
  inserted(b, append ? b.count : b.at);
  return r;
}

Cell* change(Cell* series, Cell* value, int part, bool only, int dup) {
  Cell self = *series;
  Cell* r = block_handler<act::Change>(ACT_CHANGE)(series, value, part, only, dup);
  reindex(&self);
  return r;
}

Cell* clear(Cell* series) {
  Before b = before(series);
  Cell* r = block_handler<act::Unary>(ACT_CLEAR)(series);
  removed(b, b.at);
  return r;
}

Cell* poke(Cell* series, int index, Cell* data, Cell* boxed) {
  Before b = before(series);
  Cell* r = block_handler<act::Poke>(ACT_POKE)(series, index, data, boxed);
  // The handler refused any position outside the block.
  int64_t pos = int64_t(b.at) + (index > 0 ? index - 1 : index);
  if (b.owned || cell_count(&b.self) != b.count || pos < 0 || pos >= b.count)
    reindex(&b.self);
  else
    reenter(&b.self, static_cast<uint32_t>(pos), static_cast<uint32_t>(pos) + 1);
  return r;
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
  Before b = before(series);
  // Where the key is, found as the handler finds it (block keys match by their contents,
  // which the index cannot tell).
  int32_t key_at = -1;
  bool known = !is_any_block(key->type()) && series->data3 != 0;
  if (known) key_at = indexed_find(series, key, case_, false, false, false, 1);
  Cell* r = block_handler<act::Put>(ACT_PUT)(series, key, value, case_);
  uint32_t now = cell_count(&b.self);
  if (b.owned || !known || now < b.count) reindex(&b.self);
  else if (now > b.count) enter(&b.self, b.count, now);                 // appended
  else if (key_at >= 0 && uint32_t(key_at) + 1 < now)
    reenter(&b.self, static_cast<uint32_t>(key_at) + 1, static_cast<uint32_t>(key_at) + 2);
  return r;
}

Cell* remove(Cell* series, Cell* part, Cell* key) {
  Before b = before(series);
  Cell* r = block_handler<act::Remove>(ACT_REMOVE)(series, part, key);
  // With /key the cells go from where the key was found.
  if (key) reindex(&b.self);
  else removed(b, b.at);
  return r;
}

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
  Before b = before(series);
  Cell* r = block_handler<act::Reverse>(ACT_REVERSE)(series, part, skip);
  // The reversed range lies within [index, tail): its cells are entered again.
  if (b.owned || cell_count(&b.self) != b.count) reindex(&b.self);
  else reenter(&b.self, b.at, b.count);
  return r;
}

// The one cell swap overwrote at a hash!'s index.
void swapped(const Cell* v, uint32_t at, uint32_t count) {
  if (!v->is(TYPE_HASH) || !v->data3) return;
  if (ownership::is_owned(v) || cell_count(v) != count) return reindex(v);
  if (at < count) reenter(v, at, at + 1);
}

Cell* swap(Cell* series1, Cell* series2) {
  Cell a = *series1, b = *series2;
  uint32_t a_at = static_cast<uint32_t>(series::clamp_index(&a)), a_count = cell_count(&a);
  bool b_block = is_any_block(b.type());
  uint32_t b_at = b_block ? static_cast<uint32_t>(series::clamp_index(&b)) : 0;
  uint32_t b_count = b_block ? cell_count(&b) : 0;
  Cell* r = block_handler<act::Swap>(ACT_SWAP)(series1, series2);
  swapped(&a, a_at, a_count);
  if (b_block && !(b.node() == a.node() && b_at == a_at)) swapped(&b, b_at, b_count);
  return r;
}

Cell* move(Cell* origin, Cell* target, Cell* part) {
  Cell a = *origin, b = *target;
  Cell* r = block_handler<act::Move>(ACT_MOVE)(origin, target, part);
  reindex_if_hash(&a);
  reindex_if_hash(&b);
  return r;
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
  Before b = before(series);
  Cell self = *series;
  Cell* r = block_handler<act::Take>(ACT_TAKE)(series, part, deep, last);
  // Taken from the tail, or from the index forwards; a /part that reaches back before the
  // index takes from elsewhere.
  bool forwards = !part || (part->is(TYPE_INTEGER) && part->int_value() >= 0);
  if (last) removed(b, cell_count(&self));
  else if (forwards) removed(b, b.at);
  else reindex(&self);
  // Taken values come back in a series of their own: it must not share this index.
  if (r->is(TYPE_HASH) && r->node() != self.node()) as_hash(r);
  return r;
}

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse_, bool stable) {
  Cell self = *series;
  Cell* r = block_handler<act::Sort>(ACT_SORT)(series, case_, skip, comparator, part, all,
                                               reverse_, stable);
  reindex(&self);
  return r;
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
  Cell self = *series;
  Cell* r = block_handler<act::Trim>(ACT_TRIM)(series, head, tail, auto_, lines, all, with);
  reindex(&self);
  return r;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt) {
  Cell self = *parent;
  Cell* r = block_handler<act::EvalPath>(ACT_EVAL_PATH)(parent, element, value, path,
                                                        grand_parent, prev_element, index,
                                                        case_, get, tail, evt);
  if (value) reindex(&self);
  return r;
}

}  // namespace hash_block_detail

void cells_inserted(const Cell* value, uint32_t at, uint32_t before) {
  using namespace hash_block_detail;
  if (!value->data3) return;
  uint32_t now = cell_count(value);
  // An owner's handler may have changed the block again in between.
  if (ownership::is_owned(value) || now < before || at > before) return reindex(value);
  uint32_t added = now - before;
  if (hash::shift_positions(value->data3, static_cast<int32_t>(added), at, before) != 0)
    return reindex(value);
  enter(value, at, at + added);
}

void init() {
  using namespace hash_block_detail;
  datatype::register_type(TYPE_HASH, TYPE_BLOCK, "hash!", {
      inherit(ACT_REFLECT), inherit(ACT_FORM), inherit(ACT_COMPARE), inherit(ACT_AT),
      inherit(ACT_BACK), inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q),
      inherit(ACT_LENGTH_Q), inherit(ACT_NEXT), inherit(ACT_PICK), inherit(ACT_SKIP),
      inherit(ACT_TAIL), inherit(ACT_TAIL_Q), inherit(ACT_MODIFY),
      on<ACT_MAKE>(make),
      on<ACT_TO>(to),
      on<ACT_MOLD>(mold),
      on<ACT_COPY>(copy),
      on<ACT_FIND>(hash_block_detail::find),
      on<ACT_SELECT>(hash_block_detail::select),
      on<ACT_APPEND>(hash_block_detail::insert),
      on<ACT_INSERT>(hash_block_detail::insert),
      on<ACT_CHANGE>(hash_block_detail::change),
      on<ACT_CLEAR>(hash_block_detail::clear),
      on<ACT_POKE>(hash_block_detail::poke),
      on<ACT_PUT>(hash_block_detail::put),
      on<ACT_REMOVE>(hash_block_detail::remove),
      on<ACT_REVERSE>(hash_block_detail::reverse),
      on<ACT_SWAP>(hash_block_detail::swap),
      on<ACT_MOVE>(hash_block_detail::move),
      on<ACT_TAKE>(hash_block_detail::take),
      on<ACT_SORT>(hash_block_detail::sort),
      on<ACT_TRIM>(hash_block_detail::trim),
      on<ACT_EVAL_PATH>(hash_block_detail::eval_path),
  });
}

}  // namespace tav::hash_block
