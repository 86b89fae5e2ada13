#include "datatypes/map.h"

#include <cstring>

#include "core/cycles.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/evaluator_door.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::map {

namespace map_detail {

// Answered by a path that names an absent key.
Cell absent_value = make_cell(TYPE_NONE);

inline SeriesBuffer* pairs(const Cell* map) { return node_buffer(map->data2); }
inline uint32_t cell_count(const Cell* map) { return pairs(map)->count(); }
inline Cell* cells(const Cell* map) { return pairs(map)->cells(); }
inline bool live(const Cell* map, uint32_t key_pos) {
  return key_pos + 1 < cell_count(map) && cells(map)[key_pos + 1].header != 0;
}

inline int lookup_op(bool case_, bool same) {
  return same ? COMP_SAME : (case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
}

// The stored key's position, live or dead, or -1; the key's hash goes to *key_hash when
// asked for.
int32_t find_pos(const Cell* map, const Cell* key, int op, uint32_t* key_hash = nullptr) {
  return hash::find_key(map->data3, key, 0, 1, op, false, false, key_hash);
}

// A key as find, words and foreach give it: a set-word as a word!.
Cell outward_key(const Cell* key) {
  Cell k = *key;
  k.header &= ~FLAG_NEW_LINE;
  if (k.is(TYPE_SET_WORD)) k.set_type(TYPE_WORD);
  return k;
}

[[noreturn]] void raise_bad_key(const Cell* map, const Cell* key) {
  Cell m = *map, dt;
  set_datatype(&dt, key->type());
  error::raise(ERR_SCRIPT, "invalid-path", &m, &dt);
}

// Appends a new pair (the key normalised) and indexes it under the hash find_pos gave it
// (normalising keeps what the hash reads: the characters, the word's symbol).
void add_pair(Cell* map, const Cell* key, const Cell* value, uint32_t key_hash) {
  Cell k = *key, v = *value;
  normalize_key(&k, map);
  v.header &= ~FLAG_NEW_LINE;
  NodeId blk = map->data2;
  uint32_t pos = node_buffer(blk)->count();
  *series::buffer_new_tail_cell(blk) = k;
  *series::buffer_new_tail_cell(blk) = v;
  hash::put(map->data3, pos, key_hash);
}

// Stores a value for a key found at pos, bringing a dead pair back.
void store_at(Cell* map, uint32_t pos, const Cell* value) {
  Cell v = *value;
  v.header &= ~FLAG_NEW_LINE;
  Cell* slot = cells(map) + pos + 1;
  if (slot->header == 0) hash::table(map->data3)->size++;
  *slot = v;
}

// Adds the pairs of a block under a lookup op, after checking the count and every key.
void add_pairs(Cell* map, const Cell* block, int op) {
  Cell src = *block;
  int32_t from = series::clamp_index(&src);
  int32_t n = series::buffer_length(&src) - from;
  if (n % 2 != 0) error::raise(ERR_SCRIPT, "invalid-arg", &src);
  for (int32_t i = 0; i < n; i += 2) {
    const Cell* key = block::cell_at(&src, static_cast<uint32_t>(from + i));
    if (!key_type_q(key->type())) raise_bad_key(map, key);
  }
  series::ensure_room(map->data2, static_cast<uint32_t>(n) * sizeof(Cell));
  for (int32_t i = 0; i < n; i += 2) {
    Cell key = *block::cell_at(&src, static_cast<uint32_t>(from + i));
    Cell value = *block::cell_at(&src, static_cast<uint32_t>(from + i + 1));
    uint32_t h = 0;
    int32_t pos = find_pos(map, &key, op, &h);
    if (pos >= 0) store_at(map, static_cast<uint32_t>(pos), &value);
    else add_pair(map, &key, &value, h);
  }
}

}  // namespace map_detail

uint32_t length(const Cell* map) { return hash::table(map->data3)->size; }

bool key_type_q(TypeId t) {
  return (t >= TYPE_STRING && t <= TYPE_FLOAT) || (t >= TYPE_WORD && t <= TYPE_ISSUE) ||
         (t >= TYPE_PAIR && t <= TYPE_TUPLE) || t == TYPE_BINARY ||
         (t >= TYPE_TIME && t <= TYPE_EMAIL) || t == TYPE_DATE ||
         (t >= TYPE_MONEY && t <= TYPE_POINT3D);
}

void normalize_key(Cell* key, const Cell* map) {
  TypeId t = key->type();
  if (!key_type_q(t)) map_detail::raise_bad_key(map, key);
  if (is_any_string(t) || t == TYPE_BINARY) {
    Cell src = *key;
    int32_t from = series::clamp_index(&src);
    int32_t count = series::buffer_length(&src) - from;
    Cell copy;
    series::copy_units(&src, from, count, &copy);
    *key = copy;
  } else if (t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD) {
    key->set_type(TYPE_SET_WORD);
  }
  key->header &= ~FLAG_NEW_LINE;
}

Cell* make_at(Cell* cell, uint32_t capacity) {
  set_none(cell);
  NodeId blk = alloc::new_cells(capacity < 2 ? 2 : capacity);
  // The block is referenced by nothing yet, but no collection runs before the cell holds it.
  NodeId index = hash::new_table(capacity / 2, blk, hash::KIND_MAP);
  *cell = make_cell(TYPE_MAP, 0, blk, index);
  return cell;
}

void extend_from_block(Cell* map, const Cell* block, bool case_) {
  map_detail::add_pairs(map, block, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
}

void put_value(Cell* map, const Cell* key, const Cell* value, bool case_) {
  uint32_t h = 0;
  int32_t pos = map_detail::find_pos(map, key, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL, &h);
  if (pos >= 0) map_detail::store_at(map, static_cast<uint32_t>(pos), value);
  else map_detail::add_pair(map, key, value, h);
}

Cell* find_value(const Cell* map, const Cell* key, int op) {
  int32_t pos = map_detail::find_pos(map, key, op);
  if (pos < 0 || !map_detail::live(map, static_cast<uint32_t>(pos))) return nullptr;
  return map_detail::cells(map) + pos + 1;
}

bool foreach_step(const Cell* words, Cell* map, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const Cell* w = block::cell_at(words, words->index() + static_cast<uint32_t>(i));
    TypeId t = w->type();
    if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD) {
      Cell bad = *w;
      error::raise(ERR_SCRIPT, "invalid-arg", &bad);
    }
  }
  uint32_t n = map_detail::cell_count(map);
  uint32_t pos = map->data1;
  while (pos < n && !map_detail::live(map, pos)) pos += 2;
  map->data1 = pos;
  if (pos >= n) return false;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t at = pos + static_cast<uint32_t>(i);
    Cell value = make_cell(TYPE_NONE);
    if (at < n) {
      value = map_detail::cells(map)[at];
      if (i % 2 == 0) value = map_detail::outward_key(&value);
      value.header &= ~FLAG_NEW_LINE;
    }
    Cell word = *block::cell_at(words, words->index() + static_cast<uint32_t>(i));
    evaluator_door::set_word(&word, &value);
  }
  return true;
}

bool load_literal(const Cell* cells, uint32_t count, Cell* out) {
  if (count % 2 != 0) return false;
  for (uint32_t i = 0; i < count; i += 2)
    if (!key_type_q(cells[i].type())) return false;
  NodeId blk = alloc::new_cells(count < 2 ? 2 : count);
  SeriesBuffer* b = node_buffer(blk);
  if (count) std::memcpy(b->tail_ptr(), cells, count * sizeof(Cell));
  b->tail += count * static_cast<uint32_t>(sizeof(Cell));
  Cell source = make_cell(TYPE_BLOCK, 0, blk);
  make_at(out, count);
  map_detail::add_pairs(out, &source, COMP_STRICT_EQUAL);
  return true;
}

// ---- Make and to ------------------------------------------------------------------------

namespace map_detail {

Cell* build(Cell* spec, int type, bool to) {
  TypeId st = spec->type();
  Cell dt;
  set_datatype(&dt, static_cast<TypeId>(type));
  if (st == TYPE_BLOCK || st == TYPE_PAREN || st == TYPE_HASH) {
    Cell src = *spec;
    int32_t from = series::clamp_index(&src);
    int32_t n = series::buffer_length(&src) - from;
    if (n % 2 != 0) error::raise(ERR_SCRIPT, "invalid-arg", &src);
    Cell* out = make_at(stack::new_cell(), static_cast<uint32_t>(n));
    add_pairs(out, &src, COMP_STRICT_EQUAL);
    return out;
  }
  if ((st == TYPE_INTEGER || st == TYPE_FLOAT) && !to) {
    double n = st == TYPE_INTEGER ? spec->int_value() : spec->float_value();
    if (n < 0 || n != n || n > 1e8) error::raise(ERR_SCRIPT, "out-of-range", spec);
    uint32_t entries = static_cast<uint32_t>(n);
    return make_at(stack::new_cell(), entries == 0 ? 2 : entries * 2);
  }
  if (st == TYPE_MAP) {
    Cell* out = stack::new_cell();
    set_none(out);
    return actions::copy_direct(spec, out, nullptr, false, nullptr);
  }
  Cell s = *spec;
  error::raise(ERR_SCRIPT, "bad-to-arg", &dt, &s);
}

}  // namespace map_detail

Cell* make(Cell*, Cell* spec, int type) { return map_detail::build(spec, type, false); }
Cell* to(Cell*, Cell* spec, int type) { return map_detail::build(spec, type, true); }

// ---- Reflection -------------------------------------------------------------------------

Cell* reflect(Cell* value, uint32_t field_symbol) {
  uint32_t f = symbol::alias(field_symbol);
  bool keys = f == symbol::alias(symbols::words_);
  bool values = f == symbol::alias(symbols::values);
  bool body = f == symbol::alias(symbols::body);
  if (!keys && !values && !body) error::raise(ERR_INTERNAL, "not-done");
  Cell map = *value;
  uint32_t live_count = length(&map);
  Cell* out = block::make_at(stack::new_cell(), static_cast<int32_t>(body ? 2 * live_count
                                                                          : live_count));
  uint32_t n = map_detail::cell_count(&map);
  for (uint32_t pos = 0; pos + 1 < n; pos += 2) {
    if (!map_detail::live(&map, pos)) continue;
    Cell key = map_detail::cells(&map)[pos];
    Cell val = map_detail::cells(&map)[pos + 1];
    val.header &= ~FLAG_NEW_LINE;
    if (keys) {
      key = map_detail::outward_key(&key);
      block::append_cell(out, &key);
    } else if (values) {
      block::append_cell(out, &val);
    } else {
      key.header |= FLAG_NEW_LINE;
      block::append_cell(out, &key);
      block::append_cell(out, &val);
    }
  }
  // The answer replaces the map in its cell (the call's result slot).
  *value = *out;
  return value;
}

// ---- Text -------------------------------------------------------------------------------

namespace map_detail {

void spaces(NodeId out, int count) {
  for (int i = 0; i < count; ++i) string::append_char(out, ' ');
}

// The live pairs, each "key value" (both molded), with the separator between them (and
// after the last when indenting), each indented when indenting.
int write_pairs(Cell* map, Cell* buffer, bool all, bool flat, Cell* part, int limit,
                bool indenting, int indent) {
  NodeId out = buffer->node();
  const char sep = flat ? ' ' : '\n';
  NodeId self = map->data2;
  bool first = true;
  for (uint32_t pos = 0;; pos += 2) {
    if (pos + 1 >= node_buffer(self)->count()) break;
    if (node_buffer(self)->cells()[pos + 1].header == 0) continue;
    if (part && limit <= 0) break;
    if (!first && !indenting) {
      string::append_char(out, sep);
      --limit;
    }
    first = false;
    if (indenting) {
      spaces(out, 4 * (indent + 1));
      limit -= 4 * (indent + 1);
    }
    Cell* key = stack::push(node_buffer(self)->cells() + pos);
    key->header &= ~FLAG_NEW_LINE;
    limit = actions::mold_direct(key, buffer, false, all, flat, part, limit, indent + 1);
    string::append_char(out, ' ');
    --limit;
    *key = node_buffer(self)->cells()[pos + 1];
    key->header &= ~FLAG_NEW_LINE;
    limit = actions::mold_direct(key, buffer, false, all, flat, part, limit, indent + 1);
    stack::pop(1);
    if (indenting) {
      string::append_char(out, sep);
      --limit;
    }
  }
  return limit;
}

}  // namespace map_detail

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  NodeId out = buffer->node();
  NodeId self = value->data2;
  if (cycles::find(self)) {
    string::append_ascii(out, "...");
    return limit - 3;
  }
  cycles::push(self);
  limit = map_detail::write_pairs(value, buffer, false, false, part, limit, false, 0);
  cycles::pop();
  return limit;
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  NodeId out = buffer->node();
  NodeId self = value->data2;
  if (cycles::find(self)) {
    string::append_ascii(out, "#[...]");
    return limit - 6;
  }
  if (!only) {
    string::append_ascii(out, "#[");
    limit -= 2;
  }
  bool has_pairs = length(value) > 0;
  bool indenting = !flat && !only && has_pairs;
  if (indenting) {
    string::append_char(out, '\n');
    --limit;
  }
  cycles::push(self);
  limit = map_detail::write_pairs(value, buffer, all, flat, part, limit, indenting, indent);
  cycles::pop();
  if (indenting) {
    map_detail::spaces(out, 4 * indent);
    limit -= 4 * indent;
  }
  if (!only) {
    string::append_char(out, ']');
    --limit;
  }
  return limit;
}

// ---- Comparison -------------------------------------------------------------------------

namespace map_detail {

// Whether some live pair of b has a key equal to `key` and a value equal to `value` under op.
bool has_matching_pair(Cell* b, Cell* key, Cell* value, int op) {
  for (uint32_t pos = 0; pos + 1 < cell_count(b); pos += 2) {
    if (!live(b, pos)) continue;
    Cell* k = stack::push(cells(b) + pos);
    Cell* v = stack::push(cells(b) + pos + 1);
    bool keys_equal = is_any_word(k->type()) && is_any_word(key->type())
                          ? symbol::alias(k->data2) == symbol::alias(key->data2)
                          : actions::compare_value(k, key, COMP_EQUAL) == 0;
    bool match = keys_equal && actions::compare_value(v, value, op) == 0;
    stack::pop(2);
    if (match) return true;
  }
  return false;
}

int compare_pairs(Cell* a, Cell* b, int op) {
  if (a->data2 == b->data2 && a->data1 == b->data1) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find(a->data2)) return cycles::find(b->data2) ? 0 : -1;
  uint32_t la = length(a), lb = length(b);
  if (la != lb) return 1;
  if (la == 0) return 0;
  cycles::push(a->data2);
  cycles::push(b->data2);
  int result = 0;
  for (uint32_t pos = 0; pos + 1 < cell_count(a) && result == 0; pos += 2) {
    if (!live(a, pos)) continue;
    Cell* key = stack::push(cells(a) + pos);
    Cell* value = stack::push(cells(a) + pos + 1);
    if (op == COMP_STRICT_EQUAL) {
      Cell* other = find_value(b, key, COMP_STRICT_EQUAL);
      if (!other) {
        result = 1;
      } else {
        Cell* ov = stack::push(other);
        result = actions::compare_value(value, ov, op) == 0 ? 0 : 1;
        stack::pop(1);
      }
    } else if (!has_matching_pair(b, key, value, op)) {
      result = 1;
    }
    stack::pop(2);
  }
  cycles::pop_n(2);
  return result;
}

}  // namespace map_detail

int compare(Cell* value1, Cell* value2, int op) {
  if (!value2->is(TYPE_MAP)) return COMPARE_UNRELATED;
  switch (op) {
    case COMP_SORT: case COMP_CASE_SORT: {
      int64_t d = int64_t(value1->data2) - int64_t(value2->data2);
      return d < 0 ? -1 : (d > 0 ? 1 : 0);
    }
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME:
    case COMP_FIND_EQUAL: {
      Cell a = *value1, b = *value2;
      return map_detail::compare_pairs(&a, &b, op == COMP_NOT_EQUAL ? COMP_EQUAL : op);
    }
    default:
      return COMPARE_UNRELATED;
  }
}

// ---- Other actions ----------------------------------------------------------------------

namespace map_detail {

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int, bool case_,
                bool, bool, bool) {
  if (!value) {
    Cell* v = find_value(parent, element, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
    if (v) return v;
    set_none(&absent_value);
    return &absent_value;
  }
  Cell key = *element;
  put_value(parent, &key, value, case_);
  return value;
}

Cell* clear(Cell* map) {
  hash::clear(map->data3);
  return map;
}

Cell* copy(Cell* value, Cell* result, Cell*, bool deep, Cell* types) {
  Cell map = *value;
  if (deep && types && cycles::find(map.data2)) {
    cycles::reset();
    error::raise(ERR_INTERNAL, "no-cycle");
  }
  uint32_t live_count = length(&map);
  Cell* live_pairs = block::make_at(stack::new_cell(), static_cast<int32_t>(2 * live_count));
  for (uint32_t pos = 0; pos + 1 < cell_count(&map); pos += 2) {
    if (!live(&map, pos)) continue;
    block::append_cell(live_pairs, cells(&map) + pos);
    block::append_cell(live_pairs, cells(&map) + pos + 1);
  }
  if (deep || types) {
    // Keys are copies the map owns already; only the values are copied again.
    cycles::push(map.data2);
    Cell* copied = set_none(stack::new_cell());
    block::copy(live_pairs, copied, nullptr, deep, types);
    for (uint32_t pos = 0; pos < 2 * live_count; pos += 2)
      *block::cell_at(copied, pos) = *block::cell_at(live_pairs, pos);
    *live_pairs = *copied;
    stack::pop(1);
    cycles::pop();
  }
  NodeId index = hash::new_table(live_count, live_pairs->node(), hash::KIND_MAP);
  *result = make_cell(TYPE_MAP, 0, live_pairs->node(), index);
  stack::pop(1);
  return result;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool case_, bool same, bool, Cell*, Cell*,
           bool, bool, bool, bool) {
  int32_t pos = find_pos(series, value, lookup_op(case_, same));
  Cell* out = stack::new_cell();
  if (pos < 0 || !live(series, static_cast<uint32_t>(pos))) return set_none(out);
  *out = outward_key(cells(series) + pos);
  return out;
}

Cell* select(Cell* series, Cell* value, Cell*, bool, bool case_, bool same, bool, Cell*, Cell*,
             bool, bool) {
  Cell* v = find_value(series, value, lookup_op(case_, same));
  Cell* out = stack::new_cell();
  if (!v) return set_none(out);
  *out = *v;
  return out;
}

int length_q(Cell* series) { return static_cast<int>(length(series)); }

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
  put_value(series, key, value, case_);
  return value;
}

Cell* remove(Cell* series, Cell*, Cell* key) {
  if (!key) error::raise(ERR_SCRIPT, "missing-arg");
  int32_t pos = find_pos(series, key, COMP_STRICT_EQUAL);
  if (pos >= 0 && live(series, static_cast<uint32_t>(pos)))
    hash::delete_entry(series->data3, static_cast<uint32_t>(pos));
  return series;
}

}  // namespace map_detail

void init() {
  using namespace map_detail;
  datatype::register_type(TYPE_MAP, TYPE_NONE_ID, "map!", {
      on<ACT_MAKE>(make),
      on<ACT_TO>(to),
      on<ACT_REFLECT>(reflect),
      on<ACT_FORM>(form),
      on<ACT_MOLD>(mold),
      on<ACT_EVAL_PATH>(map_detail::eval_path),
      on<ACT_COMPARE>(compare),
      on<ACT_CLEAR>(map_detail::clear),
      on<ACT_COPY>(map_detail::copy),
      on<ACT_FIND>(map_detail::find),
      on<ACT_LENGTH_Q>(length_q),
      on<ACT_PUT>(map_detail::put),
      on<ACT_REMOVE>(map_detail::remove),
      on<ACT_SELECT>(map_detail::select),
  });
}

}  // namespace tav::map
