#include "datatypes/block_actions.h"

#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/vector.h"
#include "datatypes/series.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "core/ownership.h"
#include "scanner/lexer.h"
#include "core/sort.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::block {

namespace block_actions_detail {

[[noreturn]] void raise_bad_make(int type, const Cell* spec) {
  Cell dt;
  set_datatype(&dt, static_cast<TypeId>(type));
  error::raise(ERR_SCRIPT, "bad-make-arg", &dt, spec);
}

// A shallow copy of a block kind's cells from its index, typed as asked.
Cell* shallow_copy(const Cell* spec, int type) {
  Cell* out = stack::new_cell();
  Cell src = *spec;
  int32_t from = series::clamp_index(&src);
  series::copy_units(&src, from, series::buffer_length(&src) - from, out);
  out->data3 = 0;
  out->set_type(static_cast<TypeId>(type));
  return out;
}

// A vector's elements as values.
Cell* vector_elements(const Cell* spec, int type) {
  Cell* out = vector::to_block(spec, stack::new_cell());
  out->set_type(static_cast<TypeId>(type));
  return out;
}

// An object's words and values, one set-word and value after the other.
Cell* object_body(Cell* spec, int type) {
  Cell* out = stack::push(actions::reflect_direct(spec, symbols::body));
  out->set_type(static_cast<TypeId>(type));
  return out;
}

bool typeset_has(const Cell* ts, TypeId t) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&ts->data1);
  return (t >> 3) < 12 && (bytes[t >> 3] & (0x80u >> (t & 7))) != 0;
}

}  // namespace block_actions_detail

// ---- make and to -------------------------------------------------------------------------

Cell* make(Cell*, Cell* spec, int type) {
  using namespace block_actions_detail;
  TypeId st = spec->type();
  if (is_any_block(st)) return shallow_copy(spec, type);
  if (st == TYPE_INTEGER || st == TYPE_FLOAT) {
    int32_t n;
    if (st == TYPE_INTEGER) n = spec->int_value();
    else if (!number::float_to_int32(spec->float_value(), &n))
      error::raise(ERR_SCRIPT, "out-of-range", spec);
    return make_at(stack::new_cell(), n < 1 ? 1 : n, static_cast<TypeId>(type));
  }
  if (st == TYPE_OBJECT) return object_body(spec, type);
  if (st == TYPE_VECTOR) return vector_elements(spec, type);
  raise_bad_make(type, spec);
}

Cell* to(Cell*, Cell* spec, int type) {
  using namespace block_actions_detail;
  TypeId st = spec->type();
  if (is_any_block(st)) return shallow_copy(spec, type);
  if (st == TYPE_OBJECT) return object_body(spec, type);
  if (st == TYPE_VECTOR) return vector_elements(spec, type);
  Cell* out = stack::new_cell();
  if (st == TYPE_STRING) {
    lexer::scan_string(spec, -1, lexer::Mode::load, false, nullptr, out, nullptr);
  } else if (st == TYPE_TYPESET) {
    Cell ts = *spec;
    make_at(out, 8);
    for (int t = 1; t < TYPE_TABLE_SIZE; t++)
      if (typeset_has(&ts, static_cast<TypeId>(t)) && type_table[t].name)
        append_cell(out, &type_table[t].word);
  } else {
    Cell value = *spec;
    make_at(out, 1);
    append_cell(out, &value);
  }
  out->set_type(static_cast<TypeId>(type));
  return out;
}

// ---- Paths -------------------------------------------------------------------------------

Cell* select_word(const Cell* block, const Cell* word, bool case_) {
  int32_t len = series::buffer_length(block);
  int32_t i = series::index_of(block) < 0 ? 0 : series::index_of(block);
  uint32_t want = case_ ? word->data2 : symbol::alias(word->data2);
  for (; i < len; i++) {
    const Cell* c = cell_at(block, static_cast<uint32_t>(i));
    TypeId t = c->type();
    if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
      continue;
    if ((case_ ? c->data2 : symbol::alias(c->data2)) != want) continue;
    return i + 1 < len ? cell_at(block, static_cast<uint32_t>(i + 1)) : nullptr;
  }
  return nullptr;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int,
                bool case_, bool, bool, bool) {
  if (element->is(TYPE_INTEGER)) {
    int n = element->int_value();
    if (!value) return series_action::pick(parent, n, element);
    return series_action::poke(parent, n, value, element);
  }
  if (!value) {
    if (element->is(TYPE_WORD) && !parent->is(TYPE_HASH)) {
      Cell* found = select_word(parent, element, case_);
      return found ? found : set_none(stack::new_cell());
    }
    return block::select(parent, element, nullptr, true, case_, false, false, nullptr, nullptr,
                         false, false);
  }
  // A block element stands for the sequence of its values, so the value goes after all of
  // them: where a read of the same path finds it.
  Cell* at = block::find(parent, element, nullptr, false, case_, false, false, nullptr, nullptr,
                         false, false, true, false);
  if (at->is(TYPE_NONE)) error::raise(ERR_SCRIPT, "bad-path-set", path, element);
  Cell head = *parent;
  series::set_index(&head, 0);
  return series_action::poke(&head, series::index_of(at) + 1, value, element);
}

// ---- put ---------------------------------------------------------------------------------

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
  int op = case_ ? COMP_STRICT_EQUAL : COMP_FIND_EQUAL;
  int32_t len = series::buffer_length(series);
  int32_t i = series::clamp_index(series);
  int32_t found = -1;
  for (; i < len; i++) {
    Cell c = *cell_at(series, static_cast<uint32_t>(i));
    if (actions::compare_value(&c, key, op) == 0) {
      found = i;
      break;
    }
  }
  if (found < 0) {
    ownership::notify_before(series, ownership::Change::put, value, len, 2);
    append_cell(series, key);
    append_cell(series, value);
    ownership::notify_after(series, ownership::Change::put, value,
                            series::buffer_length(series) - 2, 2);
    return value;
  }
  ownership::notify_before(series, ownership::Change::put, value, found + 1, 1);
  // The owner may have changed the block: take the positions afresh.
  len = series::buffer_length(series);
  if (found + 1 < len) {
    Cell old = *cell_at(series, static_cast<uint32_t>(found + 1));
    if (actions::compare_value(&old, value, COMP_FIND_EQUAL) != 0)
      *cell_at(series, static_cast<uint32_t>(found + 1)) = *value;
  } else {
    append_cell(series, value);
  }
  ownership::notify_after(series, ownership::Change::put, value, found + 1, 1);
  return value;
}

// ---- sort --------------------------------------------------------------------------------

namespace block_actions_detail {

constexpr uint32_t ORDER_REVERSE = 1, ORDER_ALL = 2;

struct RecordPlan {
  uint32_t size = 1;     // cells per record
  uint32_t field = 0;    // the cell compared when not all of them
};

// One field of two records in sort order; values the compare action cannot order go by
// their type ids.
int32_t compare_fields(Cell* a, Cell* b, int op) {
  int c = actions::compare_value(a, b, op);
  if (c == COMPARE_UNRELATED) return a->type() < b->type() ? -1 : (a->type() > b->type() ? 1 : 0);
  return c;
}

int32_t compare_records(const uint8_t* a, const uint8_t* b, int op, uint32_t flags,
                        void* context) {
  const RecordPlan* plan = static_cast<const RecordPlan*>(context);
  if (flags & ORDER_REVERSE) std::swap(a, b);
  uint32_t from = (flags & ORDER_ALL) ? 0 : plan->field;
  uint32_t to = (flags & ORDER_ALL) ? plan->size : plan->field + 1;
  for (uint32_t f = from; f < to; f++) {
    Cell x, y;
    std::memcpy(&x, a + f * sizeof(Cell), sizeof(Cell));
    std::memcpy(&y, b + f * sizeof(Cell), sizeof(Cell));
    int32_t c = compare_fields(&x, &y, op);
    if (c != 0) return c;
  }
  return 0;
}

// Ordering through a user function: the records wait in a snapshot block on the argument
// stack (the function may allocate, collect and move any buffer), indexes are sorted, and
// the block is rewritten once at the end.
struct FunctionOrder {
  ::tav::sort::FunctionCall* call;
  Cell snapshot;
  uint32_t size;
  bool whole;            // pass whole records as blocks
  bool reverse;
  Cell* scratch;         // two blocks on the argument stack for whole records
  Cell series;
  int32_t length;
  Cell fn;
};

// The answer of a block comparator, read as the order of record A against record B.
int32_t function_answer(const Cell* answer) {
  switch (answer->type()) {
    case TYPE_LOGIC: return answer->data1 ? 1 : -1;
    case TYPE_INTEGER: return answer->int_value();
    case TYPE_FLOAT: {
      double d = answer->float_value();
      return d > 0.0 ? 1 : (d < 0.0 ? -1 : 0);
    }
    case TYPE_NONE: return -1;
    default: return 1;
  }
}

void fill_scratch(const Cell* scratch, const Cell* snapshot, uint32_t record, uint32_t size) {
  NodeId n = scratch->node();
  SeriesBuffer* b = node_buffer(n);
  b->tail = b->head;
  b = series::ensure_room(n, size * sizeof(Cell));
  std::memcpy(static_cast<void*>(b->cells()), cell_at(snapshot, record * size),
              size * sizeof(Cell));
  b->tail = b->head + size * static_cast<uint32_t>(sizeof(Cell));
}

int32_t compare_by_function(uint32_t a, uint32_t b, void* context) {
  FunctionOrder* o = static_cast<FunctionOrder*>(context);
  // The function hears B first and A second (A first under /reverse).
  uint32_t first = o->reverse ? a : b, second = o->reverse ? b : a;
  Cell x, y;
  if (o->whole) {
    fill_scratch(&o->scratch[0], &o->snapshot, first, o->size);
    fill_scratch(&o->scratch[1], &o->snapshot, second, o->size);
    x = o->scratch[0];
    y = o->scratch[1];
  } else {
    x = *cell_at(&o->snapshot, first * o->size);
    y = *cell_at(&o->snapshot, second * o->size);
  }
  Cell answer = o->call->call(&x, &y);
  // The cells go back into the block at the end: a function that resized it must not
  // have them written over what it now holds.
  if (series::buffer_length(&o->series) != o->length)
    error::raise(ERR_SCRIPT, "invalid-arg", &o->fn);
  return function_answer(&answer);
}

void sort_by_function(Cell* series, int32_t idx, int32_t count, uint32_t size, bool all,
                      bool reverse, const Cell* fn) {
  Cell* snapshot = stack::new_cell();
  series::copy_units(series, idx, count, snapshot);
  snapshot->set_type(TYPE_BLOCK);
  Cell* scratch = nullptr;
  if (all) {
    scratch = make_at(stack::new_cell(), static_cast<int32_t>(size));
    make_at(stack::new_cell(), static_cast<int32_t>(size));
  }
  ::tav::sort::FunctionCall call(fn);
  uint32_t records = static_cast<uint32_t>(count) / size;
  std::vector<uint32_t> order(records);
  FunctionOrder o{&call, *snapshot, size, all, reverse, scratch, *series,
                  series::buffer_length(series), *fn};
  ::tav::sort::sort_indexes(order.data(), records, compare_by_function, &o);
  Cell* to = cell_at(series, static_cast<uint32_t>(idx));
  for (uint32_t r = 0; r < records; r++, to += size)
    std::memcpy(static_cast<void*>(to), cell_at(snapshot, order[r] * size), size * sizeof(Cell));
}

}  // namespace block_actions_detail

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool) {
  using namespace block_actions_detail;
  int32_t idx = series::clamp_index(series);
  int32_t count = series::buffer_length(series) - idx;
  int32_t new_index = idx;
  if (part) {
    int32_t n = series::part_count(series, part);
    if (n < 0) {
      // Sorts the cells before the index; the index moves back with them.
      new_index = idx + n < 0 ? 0 : idx + n;
      count = idx - new_index;
    } else if (n < count) {
      count = n;
    }
  }
  if (count <= 0) return series;

  RecordPlan plan;
  if (skip) {
    if (!skip->is(TYPE_INTEGER)) actions::raise_invalid_refine("skip", skip);
    int32_t s = skip->int_value();
    if (s < 1 || s > count || count % s != 0) actions::raise_invalid_refine("skip", skip);
    plan.size = static_cast<uint32_t>(s);
  } else if (all) {
    error::raise(ERR_SCRIPT, "bad-refines");
  }
  bool by_function = false;
  if (comparator) {
    if (comparator->is(TYPE_INTEGER)) {
      if (!skip || all) error::raise(ERR_SCRIPT, "bad-refines");
      int32_t k = comparator->int_value();
      if (k < 1 || static_cast<uint32_t>(k) > plan.size)
        error::raise(ERR_SCRIPT, "out-of-range", comparator);
      plan.field = static_cast<uint32_t>(k - 1);
    } else if (comparator->is(TYPE_FUNCTION)) {
      by_function = true;
    } else {
      actions::raise_invalid_refine("compare", comparator);
    }
  }
  series::set_index(series, new_index);
  idx = new_index;

  ownership::notify_before(series, ownership::Change::sort, nullptr, idx, count);
  // The owner may have changed the block: sort whole records of what is still there.
  idx = series::clamp_index(series);
  int32_t left = series::buffer_length(series) - idx;
  if (count > left) count = left - left % static_cast<int32_t>(plan.size);
  if (count > 0) {
    if (by_function) {
      sort_by_function(series, idx, count, plan.size, all && skip, reverse, comparator);
    } else if (plan.size == 1 && ::tav::sort::sort_integer_cells(
                                     cell_at(series, static_cast<uint32_t>(idx)),
                                     static_cast<uint32_t>(count), reverse)) {
      // Integers alone need no compare action.
    } else {
      uint32_t flags = (reverse ? ORDER_REVERSE : 0) | (all ? ORDER_ALL : 0);
      ::tav::sort::merge_sort(reinterpret_cast<uint8_t*>(cell_at(series, static_cast<uint32_t>(idx))),
                              static_cast<uint32_t>(count) / plan.size,
                              plan.size * static_cast<uint32_t>(sizeof(Cell)),
                              case_ ? COMP_CASE_SORT : COMP_SORT, flags, compare_records, &plan);
    }
  }
  ownership::notify_after(series, ownership::Change::sort, nullptr, idx, count);
  return series;
}

// ---- swap and trim -----------------------------------------------------------------------

Cell* swap(Cell* series1, Cell* series2) {
  if (!is_series_type(series2->type())) error::raise(ERR_SCRIPT, "invalid-arg", series2);
  if (series::at_tail(series1) || series::at_tail(series2)) return series1;
  int32_t i1 = series::index_of(series1), i2 = series::index_of(series2);
  bool cells = is_any_block(series2->type());
  // Another kind of series takes the value the way poke gives it one (and refuses what it
  // cannot hold before either side changes).
  Cell other = cells ? *cell_at(series2, static_cast<uint32_t>(i2))
                     : *actions::pick_direct(series2, 1, series2);
  ownership::notify_before(series1, ownership::Change::swap, series2, i1, 1);
  if (cells) ownership::notify_before(series2, ownership::Change::swap, series1, i2, 1);
  // The owners may have cut either block.
  if (series::at_tail(series1) || series::at_tail(series2)) return series1;
  i1 = series::index_of(series1);
  i2 = series::index_of(series2);
  Cell mine = *cell_at(series1, static_cast<uint32_t>(i1));
  if (cells) {
    other = *cell_at(series2, static_cast<uint32_t>(i2));
    *cell_at(series2, static_cast<uint32_t>(i2)) = mine;
  } else {
    Cell at = *series2;
    actions::poke_direct(&at, 1, &mine, &at);
  }
  *cell_at(series1, static_cast<uint32_t>(i1)) = other;
  ownership::notify_after(series1, ownership::Change::swap, series2, i1, 1);
  if (cells) ownership::notify_after(series2, ownership::Change::swap, series1, i2, 1);
  return series1;
}

Cell* trim(Cell* series, bool, bool, bool, bool, bool, Cell*) {
  int32_t idx = series::clamp_index(series);
  ownership::notify_before(series, ownership::Change::trim, nullptr, idx,
                           series::buffer_length(series) - idx);
  idx = series::clamp_index(series);
  SeriesBuffer* b = cell_buffer(series);
  Cell* cells = b->cells();
  int32_t len = static_cast<int32_t>(b->used() / sizeof(Cell));
  int32_t out = idx;
  for (int32_t i = idx; i < len; i++)
    if (!cells[i].is(TYPE_NONE)) cells[out++] = cells[i];
  b->tail = b->head + static_cast<uint32_t>(out) * static_cast<uint32_t>(sizeof(Cell));
  ownership::notify_after(series, ownership::Change::trim, nullptr, idx, out - idx);
  return series;
}

// ---- Set operations ----------------------------------------------------------------------

namespace block_actions_detail {

enum : int { SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11,
             SET_DIFFERENCE = 12 };

// Membership of a record's first cell among the first cells of a series' records. Hashable
// values go through an index over the series; block kinds (hashed by identity) are compared
// one by one. Nothing in a set operation evaluates, so no collection runs while it works and
// the temporary indexes need no root; they are garbage once it returns.
struct Members {
  Cell series;        // rooted by the caller
  int32_t from = 0;
  uint32_t size = 1;
  NodeId index = 0;   // 0 until the first hashable lookup
  int op;

  bool has(const Cell* key) {
    int32_t len = series::buffer_length(&series);
    if (is_any_block(key->type())) {
      for (int32_t i = from; i < len; i += static_cast<int32_t>(size)) {
        Cell c = *cell_at(&series, static_cast<uint32_t>(i));
        Cell k = *key;
        if (actions::compare_value(&c, &k, op) == 0) return true;
      }
      return false;
    }
    if (from >= len) return false;
    if (index == 0)
      index = hash::new_table(static_cast<uint32_t>(len - from), series.node(), hash::KIND_HASH,
                              0, static_cast<uint32_t>(from));
    return hash::find_key(index, key, static_cast<uint32_t>(from), size, op, false, false) >= 0;
  }
};

// The first cells of the records taken so far, indexed; kept apart from the result so that
// the index never sees the other cells of a record.
struct Seen {
  Cell* keys;         // a block on the argument stack
  NodeId index;
  int op;
  bool has(const Cell* key) {
    if (is_any_block(key->type())) {
      int32_t n = series::buffer_length(keys);
      for (int32_t i = 0; i < n; i++) {
        Cell c = *cell_at(keys, static_cast<uint32_t>(i));
        Cell k = *key;
        if (actions::compare_value(&c, &k, op) == 0) return true;
      }
      return false;
    }
    return hash::find_key(index, key, 0, 1, op, false, false) >= 0;
  }
  void add(const Cell* key) {
    append_cell(keys, key);
    hash::put(index, static_cast<uint32_t>(series::buffer_length(keys) - 1));
  }
};

// One pass over `from`: each record whose first cell passes the test against `other` (when
// given: present when must_occur, else absent) and was not taken yet is appended whole.
void set_pass(Cell* result, Seen& seen, const Cell* from, Members* other, bool must_occur,
              uint32_t size) {
  int32_t len = series::buffer_length(from);
  int32_t start = series::index_of(from) < 0 ? 0 : series::index_of(from);
  for (int32_t i = start; i < len; i += static_cast<int32_t>(size)) {
    Cell key = *cell_at(from, static_cast<uint32_t>(i));
    if (other && other->has(&key) != must_occur) continue;
    if (seen.has(&key)) continue;
    seen.add(&key);
    int32_t take = len - i < static_cast<int32_t>(size) ? len - i : static_cast<int32_t>(size);
    for (int32_t k = 0; k < take; k++) {
      Cell c = *cell_at(from, static_cast<uint32_t>(i + k));
      append_cell(result, &c);
    }
  }
}

}  // namespace block_actions_detail

Cell* do_set_op(Cell* first, Cell* second, bool case_, Cell* skip, int op) {
  using namespace block_actions_detail;
  uint32_t size = 1;
  if (skip) {
    if (!skip->is(TYPE_INTEGER) || skip->int_value() < 1)
      actions::raise_invalid_refine("skip", skip);
    size = static_cast<uint32_t>(skip->int_value());
  }
  int cmp = case_ ? COMP_STRICT_EQUAL : COMP_FIND_EQUAL;
  series::clamp_index(first);
  bool two = op != SET_UNIQUE;
  if (two) series::clamp_index(second);
  int64_t room = rs_length(first) + (op == SET_UNION ? rs_length(second) : 0);
  if (room > 0x7FFFFFF) room = 0x7FFFFFF;
  Cell* result = make_at(stack::new_cell(), static_cast<int32_t>(room));
  Cell* keys = make_at(stack::new_cell(), static_cast<int32_t>(room));
  Seen seen{keys, 0, cmp};
  seen.index = hash::new_table(static_cast<uint32_t>(room < 1 ? 1 : room), keys->node(),
                               hash::KIND_HASH);
  auto members_of = [&](const Cell* s) {
    Members m;
    m.series = *s;
    m.from = series::index_of(s);
    m.size = size;
    m.op = cmp;
    return m;
  };
  switch (op) {
    case SET_UNIQUE: set_pass(result, seen, first, nullptr, false, size); break;
    case SET_UNION:
      set_pass(result, seen, first, nullptr, false, size);
      set_pass(result, seen, second, nullptr, false, size);
      break;
    case SET_INTERSECT: {
      Members m = members_of(second);
      set_pass(result, seen, first, &m, true, size);
      break;
    }
    case SET_EXCLUDE: {
      Members m = members_of(second);
      set_pass(result, seen, first, &m, false, size);
      break;
    }
    case SET_DIFFERENCE: {
      Members in_second = members_of(second);
      set_pass(result, seen, first, &in_second, false, size);
      Members in_first = members_of(first);
      set_pass(result, seen, second, &in_first, false, size);
      break;
    }
    default: error::raise(ERR_INTERNAL, "not-done");
  }
  bool hashed = first->is(TYPE_HASH) || (two && second->is(TYPE_HASH));
  first->data1 = 0;
  first->data2 = result->node();
  first->data3 = 0;
  first->set_type(TYPE_BLOCK);
  if (hashed) {
    first->data3 = hash::new_table(static_cast<uint32_t>(rs_length(first) < 1 ? 1 : rs_length(first)),
                                   first->node(), hash::KIND_HASH);
    first->set_type(TYPE_HASH);
  }
  return first;
}

}  // namespace tav::block
