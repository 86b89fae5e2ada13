#include "core/hash_index.h"

#include <cstring>
#include <vector>

#include "core/case_folding.h"
#include "datatypes/money.h"
#include "core/murmur3.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav::hash {

namespace hash_index_detail {

constexpr double LOAD = 0.77;

uint32_t next_pow2(uint64_t x) {
  uint64_t p = 1;
  while (p < x) p <<= 1;
  return static_cast<uint32_t>(p);
}

Cell* store_cells(const Table* t) { return node_buffer(t->blk)->cells(); }
uint32_t store_count(const Table* t) { return node_buffer(t->blk)->count(); }

// Fresh slot arrays for n slots: every slot empty.
void new_slot_arrays(NodeId index, uint32_t n) {
  NodeId flags = alloc::new_bytes_filled(n / 4 < 16 ? 16 : n / 4, 0xAA);
  node_buffer(flags)->tail = n / 4 < 16 ? 16 : n / 4;
  NodeId keys = alloc::new_series(n, sizeof(Slot), 0);
  SeriesBuffer* kb = node_buffer(keys);
  std::memset(kb->data(), 0, kb->capacity);
  kb->tail = n * sizeof(Slot);
  Table* t = table(index);
  t->flags = flags;
  t->keys = keys;
  t->n_buckets = n;
}

// A context's word list of a few words has no slot arrays: scanning the list costs no more
// than a probe, and most objects and function contexts are that small, so each saves two
// buffers. The arrays are made when the list grows past this.
constexpr uint32_t SMALL_WORD_LIST = 8;

bool is_small_word_list(const Table* t) { return t->flags == 0; }

uint8_t* flag_bytes(const Table* t) { return node_buffer(t->flags)->head_ptr(); }

uint32_t* index_words(const Table* t) {
  return reinterpret_cast<uint32_t*>(node_buffer(t->indexes)->head_ptr());
}

// Kind 0: per-position slot numbers, grown (bytes 0xFF) when a position lies beyond them.
void set_position_slot(NodeId index, uint32_t pos, uint32_t slot_plus_one) {
  Table* t = table(index);
  SeriesBuffer* b = node_buffer(t->indexes);
  uint32_t need = (pos + 1) * 4;
  if (b->used() < need) {
    uint32_t want = need * 2;
    if (b->capacity < want) b = series::expand_filled(b, want, 0xFF);
    std::memset(b->head_ptr() + b->used(), 0xFF, want - b->used());
    b->tail = b->head + want;
    t = table(index);
  }
  index_words(t)[pos] = slot_plus_one;
}

uint32_t* chain_list(const Table* t) {
  return reinterpret_cast<uint32_t*>(node_buffer(t->chains)->head_ptr());
}
uint32_t chain_count(const Table* t) { return node_buffer(t->chains)->used() / 4; }

SeriesBuffer* chain(const Table* t, uint32_t k) { return node_buffer(chain_list(t)[k - 1]); }
uint32_t* chain_positions(SeriesBuffer* c) { return reinterpret_cast<uint32_t*>(c->head_ptr()); }

// The first position a kind-0 slot names.
uint32_t first_position(const Table* t, uint32_t slot) {
  int32_t k = static_cast<int32_t>(slots(t)[slot].place);
  if (k >= 0) return static_cast<uint32_t>(k);
  return chain_positions(chain(t, static_cast<uint32_t>(-k)))[0];
}

// The code point at a unit of a text buffer (1, 2 or 4 bytes a unit).
uint32_t text_unit(SeriesBuffer* b, uint32_t at) {
  const uint8_t* p = b->head_ptr();
  switch (b->unit()) {
    case 1: return p[at];
    case 2: { uint16_t u; std::memcpy(&u, p + size_t(at) * 2, 2); return u; }
    default: { uint32_t u; std::memcpy(&u, p + size_t(at) * 4, 4); return u; }
  }
}

// A character folded to upper case; ASCII, most keys' characters, without the table lookup.
inline uint32_t fold_upper(uint32_t c) {
  if (c < 0x80) return c - 'a' < 26 ? c - 32 : c;
  return casefold::map_char(c, true);
}

// Characters [from, from + count) of a text, each folded to upper case and fed as one word.
uint32_t text_hash(NodeId text, uint32_t from, uint32_t count) {
  SeriesBuffer* b = node_buffer(text);
  Murmur3Stream m;
  if (b->unit() == 1) {
    const uint8_t* p = b->head_ptr() + from;
    for (uint32_t i = 0; i < count; i++) m.add_word(fold_upper(p[i]));
  } else {
    for (uint32_t i = 0; i < count; i++) m.add_word(fold_upper(text_unit(b, from + i)));
  }
  return m.finish();
}

// The characters a text key stands for: from its index to the tail, or a slice's count.
void text_range(const Cell* key, uint32_t* from, uint32_t* count) {
  uint32_t len = node_buffer(key->node())->count();
  *from = key->data1 < len ? key->data1 : len;
  uint32_t left = len - *from;
  *count = key->header == SLICE_KEY && key->data3 < left ? key->data3 : left;
}

// A stored text against a slice key, folding case unless the op is a case-sensitive one.
bool slice_equal(const Cell* stored, const Cell* slice, int op) {
  if (!is_any_string(stored->type())) return false;
  uint32_t f1, n1, f2, n2;
  text_range(stored, &f1, &n1);
  text_range(slice, &f2, &n2);
  if (n1 != n2) return false;
  bool fold = op != COMP_STRICT_EQUAL && op != COMP_SAME && op != COMP_FIND_CASE &&
              op != COMP_CASE_SORT;
  SeriesBuffer* b1 = node_buffer(stored->node());
  SeriesBuffer* b2 = node_buffer(slice->node());
  for (uint32_t i = 0; i < n1; i++) {
    uint32_t c1 = text_unit(b1, f1 + i), c2 = text_unit(b2, f2 + i);
    if (fold) {
      c1 = casefold::map_char(c1, true);
      c2 = casefold::map_char(c2, true);
    }
    if (c1 != c2) return false;
  }
  return true;
}

// Whether a stored key has the type a search key asks for (a slice takes any text).
bool type_matches(const Cell* stored, const Cell* key) {
  return key->header == SLICE_KEY ? is_any_string(stored->type()) : stored->type() == key->type();
}

// Whether two stored keys are equal under an equality op because they are the same code
// units: the common case of a key found again, settled without the type's compare handler.
// Identical units are equal under every op but same?, which asks for the same series.
bool identical_units(const Cell* a, const Cell* b, int op) {
  if (op == COMP_SAME || a->type() != b->type() || !is_any_string(a->type())) return false;
  SeriesBuffer* ba = node_buffer(a->node());
  SeriesBuffer* bb = node_buffer(b->node());
  uint32_t unit = ba->unit();
  if (unit != bb->unit()) return false;
  uint32_t fa, na, fb, nb;
  text_range(a, &fa, &na);
  text_range(b, &fb, &nb);
  return na == nb && std::memcmp(ba->head_ptr() + size_t(fa) * unit,
                                 bb->head_ptr() + size_t(fb) * unit, size_t(na) * unit) == 0;
}

// Equality of two values under a comparison op, through the type's compare handler when one
// is registered; words compare by symbol so that the indexes work before word! registers.
bool values_equal(const Cell* a, const Cell* b, int op) {
  if (b->header == SLICE_KEY) return slice_equal(a, b, op);
  TypeId ta = a->type(), tb = b->type();
  if (is_any_word(ta) && is_any_word(tb)) {
    if (op == COMP_STRICT_EQUAL || op == COMP_SAME)
      return ta == tb && a->data2 == b->data2 && (op != COMP_SAME || a->data1 == b->data1);
    return symbol::alias(a->data2) == symbol::alias(b->data2);
  }
  if (ta == TYPE_INTEGER && tb == TYPE_INTEGER) return a->data2 == b->data2;
  if (identical_units(a, b, op)) return true;
  if (auto f = reinterpret_cast<act::Compare>(action_entry(ta, ACT_COMPARE))) {
    // Handlers take mutable cells; they only read them for equality ops.
    return f(const_cast<Cell*>(a), const_cast<Cell*>(b), op) == 0;
  }
  if (ta != tb) return false;
  return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
}

// First empty slot on the probe from h (the table always has one).
uint32_t first_empty(const Table* t, uint32_t h) {
  uint32_t mask = t->n_buckets - 1;
  uint32_t slot = h & mask;
  for (uint32_t k = 1; slot_state(t, slot) != SLOT_EMPTY; k++) slot = (slot + k) & mask;
  return slot;
}

void remove_position_from_slot(NodeId index, uint32_t pos);

}  // namespace hash_index_detail

HeldCell::HeldCell(const Cell& c) : slot_(stack::begin ? stack::push(&c) : nullptr) {}

HeldCell::~HeldCell() {
  // An error unwinding through this scope has already cut the stack back to its catcher,
  // where the error itself now lies: nothing of that may be popped.
  if (slot_ && stack::top > slot_) stack::pop(1);
}

SlotState slot_state(const Table* t, uint32_t slot) {
  uint8_t b = hash_index_detail::flag_bytes(t)[slot >> 2];
  return static_cast<SlotState>((b >> ((slot & 3) * 2)) & 3);
}

void set_slot_state(Table* t, uint32_t slot, SlotState s) {
  uint8_t* b = hash_index_detail::flag_bytes(t) + (slot >> 2);
  uint32_t shift = (slot & 3) * 2;
  *b = static_cast<uint8_t>((*b & ~(3u << shift)) | (uint32_t(s) << shift));
}

uint32_t name_hash(const uint8_t* name, uint32_t len) {
  uint8_t small[256] = {};
  std::vector<uint8_t> large;
  uint8_t* buf = small;
  if (len > sizeof small) {
    large.resize(len);
    buf = large.data();
  }
  for (uint32_t i = 0; i < len; i++) {
    uint8_t c = name[i];
    buf[i] = (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c;
  }
  return murmur3(buf, len);
}

uint32_t value(const Cell* key) {
  const uint32_t* w = &key->data1;
  switch (static_cast<uint32_t>(key->type())) {
    case TYPE_UNSET: return static_cast<uint32_t>(-2);
    case TYPE_NONE: return static_cast<uint32_t>(-1);
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
      return mix(key->data1);
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
      return mix(key->data2);
    case TYPE_NATIVE: case TYPE_ACTION:
      return mix(key->data3);
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT: case TYPE_ISSUE:
      return mix(symbol::alias(key->data2));
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_IMAGE: case TYPE_POINT2D:
      return murmur3(w, 8);
    case TYPE_FLOAT: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TIME:
      return murmur3(w + 1, 8);
    case TYPE_OP: case TYPE_FUNCTION: case TYPE_TRIPLE: case TYPE_TYPESET: case TYPE_DATE:
    case TYPE_POINT3D:
      return murmur3(w, 12);
    case TYPE_TUPLE: {
      uint32_t n = (key->header >> 19) & 0xF;
      if (n > 12) n = 12;
      return murmur3(w, n);
    }
    case TYPE_BINARY: {
      SeriesBuffer* b = node_buffer(key->node());
      uint32_t used = b->used();
      uint32_t from = key->index() < used ? key->index() : used;
      return murmur3(b->head_ptr() + from, used - from);
    }
    case TYPE_SYMBOL: {
      SeriesBuffer* b = node_buffer(key->data3);
      return name_hash(b->head_ptr(), b->used());
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: case SLICE_KEY: {
      uint32_t from, count;
      hash_index_detail::text_range(key, &from, &count);
      return hash_index_detail::text_hash(key->node(), from, count);
    }
    case TYPE_MONEY: {
      // The amount alone: equal? holds across a currency and a generic amount ($1 and
      // USD$1) and between -$0 and $0, so neither the currency byte nor the sign of zero may
      // part them; nor may header bits such as new-line marks.
      Cell m = *key;
      m.header = TYPE_MONEY;
      m.data1 &= ~0xFFu;
      money::set_sign_bit(&m, money::sign_bit(key) && !money::zero(key));
      return murmur3(&m, sizeof m);
    }
    default:
      return 0;
  }
}

NodeId new_table(uint32_t size, NodeId store, Kind kind, uint32_t record_cells, uint32_t start) {
  using namespace hash_index_detail;
  NodeId index = alloc::new_bytes(sizeof(Table));
  {
    SeriesBuffer* b = node_buffer(index);
    std::memset(b->data(), 0, sizeof(Table));
    b->tail = sizeof(Table);
  }
  if (kind == KIND_SYMBOL && store == 0 && size <= SMALL_WORD_LIST) {
    Table* t = table(index);
    t->type = kind;
    t->upper_bound = SMALL_WORD_LIST;
    NodeId blk = alloc::new_cells(size ? size : 1);
    table(index)->blk = blk;
    return index;
  }
  if (kind == KIND_SYMBOL && size >= 4000) size *= 2;
  uint32_t entries = size < 4 ? 4 : size;
  uint32_t n = next_pow2(static_cast<uint64_t>(entries / LOAD));
  if (n < 4) n = 4;
  new_slot_arrays(index, n);
  Table* t = table(index);
  t->type = kind;
  t->upper_bound = static_cast<uint32_t>(n * LOAD);
  if (kind >= KIND_RECORDS) t->indexes = (record_cells + 1) * sizeof(Cell);
  if (kind == KIND_HASH) {
    NodeId idx = alloc::new_bytes_filled(entries * 4, 0xFF);
    node_buffer(idx)->tail = entries * 4;
    NodeId ch = alloc::new_bytes(16);
    t = table(index);
    t->indexes = idx;
    t->chains = ch;
  }
  if (kind >= KIND_RECORDS || store == 0) {
    uint32_t cells = kind >= KIND_RECORDS ? entries * (record_cells + 1) : entries;
    NodeId blk = alloc::new_cells(cells);
    table(index)->blk = blk;
  } else {
    table(index)->blk = store;
    // The index is not yet held by any value: keep it reachable while indexing allocates.
    HeldCell hold(make_cell(TYPE_HASH, 0, store, index));
    index_block(index, start, kind == KIND_MAP ? 2 : 1);
  }
  return index;
}

void index_block(NodeId index, uint32_t start, uint32_t step) {
  using namespace hash_index_detail;
  uint32_t pos = start;
  while (pos < store_count(table(index))) {
    Table* t = table(index);
    if (t->type == KIND_MAP) {
      Cell key = store_cells(t)[pos];
      uint32_t h = 0;
      int32_t found = find_key(index, &key, 0, 1, COMP_STRICT_EQUAL, false, false, &h);
      if (found >= 0 && uint32_t(found) < pos) {
        // A repeated key: its new value replaces the stored one, and the pair goes.
        SeriesBuffer* b = node_buffer(t->blk);
        Cell* cells = b->cells();
        uint32_t count = b->count();
        if (pos + 1 < count) cells[found + 1] = cells[pos + 1];
        uint32_t drop = pos + 2 <= count ? 2 : count - pos;
        std::memmove(cells + pos, cells + pos + drop, (count - pos - drop) * sizeof(Cell));
        b->tail -= drop * sizeof(Cell);
        continue;
      }
      put(index, pos, h);
    } else {
      put(index, pos);
    }
    pos += step;
  }
}

void put(NodeId index, uint32_t pos) {
  put(index, pos, value(hash_index_detail::store_cells(table(index)) + pos));
}

void put(NodeId index, uint32_t pos, uint32_t h) {
  using namespace hash_index_detail;
  Table* t = table(index);
  if (t->n_occupied >= t->upper_bound) {
    // Grows, or only sweeps the deleted slots out when they are what fills the index.
    uint32_t target = (t->size * 2 < t->n_buckets && t->type != KIND_MAP) ? t->n_buckets - 1
                                                                          : t->n_buckets + 1;
    resize(index, target);
    t = table(index);
  }
  const Cell* key = store_cells(t) + pos;
  uint32_t mask = t->n_buckets - 1;
  uint32_t slot = h & mask;
  int64_t deleted = -1;
  bool found = false;
  for (uint32_t k = 1; k <= t->n_buckets; k++) {
    SlotState s = slot_state(t, slot);
    if (s == SLOT_EMPTY) break;
    const Slot& sl = slots(t)[slot];
    if (s == SLOT_DELETED) {
      deleted = slot;
    } else if (sl.hash == h) {
      const Cell* stored = store_cells(t) + (t->type == KIND_HASH ? first_position(t, slot) : sl.place);
      int op = t->type == KIND_HASH ? COMP_EQUAL : COMP_STRICT_EQUAL;
      if (stored->type() == key->type() && values_equal(stored, key, op)) {
        found = true;
        break;
      }
    }
    slot = (slot + k) & mask;
  }
  uint32_t s;
  if (found) {
    s = slot;
  } else if (deleted >= 0) {
    s = static_cast<uint32_t>(deleted);
  } else if (slot_state(t, slot) == SLOT_EMPTY) {
    s = slot;
  } else {
    return;   // cannot happen: the upper bound keeps empty slots
  }
  if (found) {
    if (t->type != KIND_HASH) return;
    // Equal keys share the slot through a chain of positions.
    int32_t kv = static_cast<int32_t>(slots(t)[s].place);
    uint32_t k;
    if (kv >= 0) {
      NodeId c = alloc::new_series(4, 4, 0);
      t = table(index);
      *reinterpret_cast<uint32_t*>(series::buffer_reserve_tail(c, 4)) = static_cast<uint32_t>(kv);
      *reinterpret_cast<uint32_t*>(series::buffer_reserve_tail(t->chains, 4)) = c;
      t = table(index);
      k = chain_count(t);
      slots(t)[s].place = static_cast<uint32_t>(-static_cast<int32_t>(k));
    } else {
      k = static_cast<uint32_t>(-kv);
    }
    *reinterpret_cast<uint32_t*>(series::buffer_reserve_tail(chain_list(t)[k - 1], 4)) = pos;
    set_position_slot(index, pos, s + 1);
    return;
  }
  slots(t)[s] = Slot{pos, h};
  if (slot_state(t, s) == SLOT_EMPTY) t->n_occupied++;
  set_slot_state(t, s, SLOT_USED);
  t->size++;
  if (t->type == KIND_HASH) set_position_slot(index, pos, s + 1);
}

int32_t find_key(NodeId index, const Cell* key_in, uint32_t start, uint32_t skip, int op,
                 bool last, bool reverse, uint32_t* key_hash) {
  using namespace hash_index_detail;
  Cell key = *key_in;
  Table* t = table(index);
  if (t->type == KIND_MAP && (key.type() >= TYPE_WORD && key.type() <= TYPE_GET_WORD))
    key.set_type(TYPE_SET_WORD);
  if (skip == 0) skip = 1;
  uint32_t h = value(&key);
  if (key_hash) *key_hash = h;
  uint32_t mask = t->n_buckets - 1;
  uint32_t slot = h & mask;
  for (uint32_t k = 1; k <= t->n_buckets; k++) {
    SlotState s = slot_state(t, slot);
    if (s == SLOT_EMPTY) return -1;
    if (s == SLOT_USED && slots(t)[slot].hash == h) {
      const Cell* cells = store_cells(t);
      if (t->type != KIND_HASH) {
        uint32_t p = slots(t)[slot].place;
        if (type_matches(cells + p, &key) && values_equal(cells + p, &key, op))
          return static_cast<int32_t>(p);
      } else if (values_equal(cells + first_position(t, slot), &key, COMP_EQUAL)) {
        int32_t kv = static_cast<int32_t>(slots(t)[slot].place);
        const uint32_t* positions = &slots(t)[slot].place;
        uint32_t n = 1;
        if (kv < 0) {
          SeriesBuffer* c = chain(t, static_cast<uint32_t>(-kv));
          positions = chain_positions(c);
          n = c->used() / 4;
        }
        int64_t best = -1;
        for (uint32_t i = 0; i < n; i++) {
          uint32_t p = positions[i];
          if (!values_equal(cells + p, &key, op)) continue;
          if (reverse) {
            if (p < start && (start - p - 1) % skip == 0 && int64_t(p) > best) best = p;
          } else if (p >= start && (p - start) % skip == 0) {
            if (best < 0 || (last ? int64_t(p) > best : int64_t(p) < best)) best = p;
          }
        }
        if (best >= 0) return static_cast<int32_t>(best);
      }
    }
    slot = (slot + k) & mask;
  }
  return -1;
}

namespace hash_index_detail {

void remove_position_from_slot(NodeId index, uint32_t pos) {
  Table* t = table(index);
  uint32_t slot_plus_one = index_words(t)[pos];
  if (slot_plus_one == 0xFFFFFFFFu || slot_plus_one == 0) return;
  uint32_t slot = slot_plus_one - 1;
  index_words(t)[pos] = 0xFFFFFFFFu;
  int32_t kv = static_cast<int32_t>(slots(t)[slot].place);
  if (kv < 0) {
    uint32_t k = static_cast<uint32_t>(-kv);
    SeriesBuffer* c = chain(t, k);
    uint32_t* p = chain_positions(c);
    uint32_t n = c->used() / 4;
    // From the back: a chain grows at its end, and removals mostly take what came last (a
    // long chain of one repeated value, taken from the tail, then costs nothing to walk).
    for (uint32_t i = n; i-- > 0;) {
      if (p[i] == pos) {
        std::memmove(p + i, p + i + 1, (n - i - 1) * 4);
        c->tail -= 4;
        n--;
        break;
      }
    }
    if (n > 0) return;   // equal keys remain: the slot and the size stay
    chain_list(t)[k - 1] = 0;
    slots(t)[slot].place = k;
  }
  set_slot_state(t, slot, SLOT_DELETED);
  t->size--;
}

}  // namespace hash_index_detail

void delete_entry(NodeId index, uint32_t pos) {
  using namespace hash_index_detail;
  Table* t = table(index);
  if (t->type == KIND_HASH) {
    remove_position_from_slot(index, pos);
    return;
  }
  // Other kinds keep the slot used; the cell after the key (a map!'s value) is marked gone.
  SeriesBuffer* b = node_buffer(t->blk);
  if (pos + 1 < b->count()) b->cells()[pos + 1].header = 0;
  t->size--;
}

int shift_positions(NodeId index, int32_t delta, uint32_t pos, uint32_t old_count) {
  using namespace hash_index_detail;
  if (delta == 0 || pos >= old_count) return 0;
  if (old_count - pos > 30000) return 1;
  uint32_t removed = delta < 0 ? static_cast<uint32_t>(-delta) : 0;
  if (removed > old_count - pos) removed = old_count - pos;
  for (uint32_t p = pos; p < pos + removed; p++) {
    if (p < node_buffer(table(index)->indexes)->used() / 4) remove_position_from_slot(index, p);
  }
  uint32_t from = pos + removed;
  if (delta > 0) {
    // Room for the moved entries: the entry of the last position moves to old_count + delta.
    set_position_slot(index, old_count + static_cast<uint32_t>(delta) - 1, 0xFFFFFFFFu);
  }
  Table* t = table(index);
  uint32_t known = node_buffer(t->indexes)->used() / 4;
  uint32_t* idx = index_words(t);
  std::vector<uint8_t> chain_done(chain_count(t) + 1, 0);
  std::vector<uint32_t> chains_to_move;
  for (uint32_t p = from; p < old_count && p < known; p++) {
    uint32_t slot_plus_one = idx[p];
    if (slot_plus_one == 0xFFFFFFFFu || slot_plus_one == 0) continue;
    uint32_t slot = slot_plus_one - 1;
    int32_t kv = static_cast<int32_t>(slots(t)[slot].place);
    if (kv >= 0) {
      slots(t)[slot].place = static_cast<uint32_t>(static_cast<int32_t>(p) + delta);
    } else if (!chain_done[static_cast<uint32_t>(-kv)]) {
      chain_done[static_cast<uint32_t>(-kv)] = 1;
      chains_to_move.push_back(static_cast<uint32_t>(-kv));
    }
  }
  // A chain's positions before the change stay; the others move, each chain once.
  for (uint32_t k : chains_to_move) {
    SeriesBuffer* c = chain(t, k);
    uint32_t* positions = chain_positions(c);
    for (uint32_t i = 0; i < c->used() / 4; i++)
      if (positions[i] >= from) positions[i] = static_cast<uint32_t>(static_cast<int32_t>(positions[i]) + delta);
  }
  // The per-position slot numbers follow their cells.
  uint32_t moving = old_count < known ? old_count - from : (known > from ? known - from : 0);
  uint32_t to = static_cast<uint32_t>(static_cast<int32_t>(from) + delta);
  std::memmove(idx + to, idx + from, size_t(moving) * 4);
  if (delta > 0) {
    std::memset(idx + pos, 0xFF, size_t(delta) * 4);
  } else {
    // Only the entries the move left behind; past the old count they are all unset already.
    uint32_t end = to + moving;
    uint32_t stale = old_count < known ? old_count : known;
    if (stale > end) std::memset(idx + end, 0xFF, size_t(stale - end) * 4);
  }
  return 0;
}

void clear(NodeId index) {
  using namespace hash_index_detail;
  Table* t = table(index);
  t->size = t->n_occupied = 0;
  SeriesBuffer* s = node_buffer(t->blk);
  s->tail = s->head;
  SeriesBuffer* f = node_buffer(t->flags);
  std::memset(f->head_ptr(), 0xAA, f->used());
  if (t->type == KIND_HASH) {
    SeriesBuffer* ib = node_buffer(t->indexes);
    std::memset(ib->head_ptr(), 0xFF, ib->used());
    SeriesBuffer* cb = node_buffer(t->chains);
    cb->tail = cb->head;
  }
}

void rebuild(NodeId index, uint32_t n) {
  using namespace hash_index_detail;
  uint32_t nb = next_pow2(static_cast<uint64_t>(n * 1.5));
  if (nb < 4) nb = 4;
  new_slot_arrays(index, nb);
  Table* t = table(index);
  t->upper_bound = static_cast<uint32_t>(nb * LOAD);
  t->size = t->n_occupied = t->stamp = 0;
  SeriesBuffer* cb = node_buffer(t->chains);
  cb->tail = cb->head;
  SeriesBuffer* ib = node_buffer(t->indexes);
  std::memset(ib->head_ptr(), 0xFF, ib->used());
  index_block(index, 0, 1);
}

void resize(NodeId index, uint32_t c) {
  using namespace hash_index_detail;
  Table* t = table(index);
  uint32_t nb = next_pow2(c);
  if (nb < 4) nb = 4;
  uint32_t ub = static_cast<uint32_t>(nb * LOAD + 0.5);
  if (t->size >= ub) return;
  // Gather the used slots, then lay them out again in fresh arrays by their kept hashes.
  std::vector<Slot> used;
  used.reserve(t->size);
  for (uint32_t s = 0; s < t->n_buckets; s++)
    if (slot_state(t, s) == SLOT_USED) used.push_back(slots(t)[s]);
  new_slot_arrays(index, nb);
  t = table(index);
  t->upper_bound = ub;
  uint32_t* by_position = t->type == KIND_HASH ? index_words(t) : nullptr;
  for (const Slot& slot : used) {
    uint32_t s = first_empty(t, slot.hash);
    slots(t)[s] = slot;
    set_slot_state(t, s, SLOT_USED);
    if (!by_position) continue;
    // A hash! finds a position's slot by number: every position the slot names follows it.
    int32_t kv = static_cast<int32_t>(slot.place);
    if (kv >= 0) {
      by_position[kv] = s + 1;
    } else {
      SeriesBuffer* ch = chain(t, static_cast<uint32_t>(-kv));
      const uint32_t* positions = chain_positions(ch);
      for (uint32_t i = 0; i < ch->used() / 4; i++) by_position[positions[i]] = s + 1;
    }
  }
  t->n_occupied = static_cast<uint32_t>(used.size());
}

void grow_symbol_index(NodeId index) {
  Table* t = table(index);
  if (hash_index_detail::is_small_word_list(t) || t->n_occupied < t->upper_bound) return;
  uint32_t c = (t->size * 2 < t->n_buckets) ? 16 * (t->n_buckets - 1) : 16 * (t->n_buckets + 1);
  resize(index, c);
}

namespace hash_index_detail {

// Gives a small word list its slot arrays, every word indexed.
void index_word_list(NodeId index) {
  uint32_t count = store_count(table(index));
  uint32_t nb = next_pow2(static_cast<uint64_t>(2 * count));
  if (nb < 16) nb = 16;
  new_slot_arrays(index, nb);
  Table* t = table(index);
  t->upper_bound = static_cast<uint32_t>(nb * LOAD);
  for (uint32_t p = 0; p < count; p++) {
    uint32_t h = value(store_cells(t) + p);
    uint32_t s = first_empty(t, h);
    slots(t)[s] = Slot{p, h};
    set_slot_state(t, s, SLOT_USED);
  }
  t->n_occupied = count;
}

}  // namespace hash_index_detail

int32_t find_or_add_symbol(NodeId index, uint32_t symbol, bool by_alias, NodeId ctx,
                           int32_t* added_pos, int32_t* store_pos) {
  using namespace hash_index_detail;
  Table* t = table(index);
  uint32_t canonical = symbol::alias(symbol);
  if (is_small_word_list(t)) {
    uint32_t count = store_count(t);
    const Cell* words = store_cells(t);
    for (uint32_t p = 0; p < count; p++) {
      const Cell* w = words + p;
      if (by_alias ? symbol::alias(w->data2) == canonical : w->data2 == symbol) {
        if (store_pos) *store_pos = static_cast<int32_t>(p);
        return static_cast<int32_t>(w->data3);
      }
    }
    if (!ctx) return -1;
    if (count < SMALL_WORD_LIST) {
      Cell* w = series::buffer_new_tail_cell(t->blk);
      *w = make_cell(TYPE_WORD, ctx, symbol, count);
      t = table(index);
      t->size++;
      t->n_occupied++;
      if (added_pos) *added_pos = static_cast<int32_t>(count);
      if (store_pos) *store_pos = static_cast<int32_t>(count);
      return -1;
    }
    index_word_list(index);
  }
  if (ctx) grow_symbol_index(index);
  t = table(index);
  uint32_t mask = t->n_buckets - 1;
  uint32_t h = mix(canonical);
  uint32_t slot = h & mask;
  uint32_t k = 1;
  while (slot_state(t, slot) != SLOT_EMPTY) {
    if (slot_state(t, slot) == SLOT_USED && slots(t)[slot].hash == h) {
      uint32_t p = slots(t)[slot].place;
      const Cell* w = store_cells(t) + p;
      bool match = by_alias ? symbol::alias(w->data2) == canonical : w->data2 == symbol;
      if (match) {
        if (store_pos) *store_pos = static_cast<int32_t>(p);
        return static_cast<int32_t>(w->data3);
      }
    }
    slot = (slot + k++) & mask;
    if (k > t->n_buckets) break;
  }
  if (!ctx) return -1;
  uint32_t pos = store_count(t);
  Cell* w = series::buffer_new_tail_cell(t->blk);
  *w = make_cell(TYPE_WORD, ctx, symbol, pos);
  t = table(index);
  slots(t)[slot] = Slot{pos, h};
  set_slot_state(t, slot, SLOT_USED);
  t->size++;
  t->n_occupied++;
  if (added_pos) *added_pos = static_cast<int32_t>(pos);
  if (store_pos) *store_pos = static_cast<int32_t>(pos);
  return -1;
}

// --- node-keyed records -------------------------------------------------------------------

namespace hash_index_detail {

Cell* record_at(const Table* t, uint32_t offset) {
  return reinterpret_cast<Cell*>(node_buffer(t->blk)->head_ptr() + offset);
}

// Probe for a key node: the used slot holding it, or -1 with the slot to insert into.
int64_t probe_record(const Table* t, NodeId key, uint32_t* insert_slot) {
  uint32_t mask = t->n_buckets - 1;
  uint32_t h = mix(key);
  uint32_t slot = h & mask;
  int64_t deleted = -1;
  uint32_t k = 1;
  for (; k <= t->n_buckets; k++) {
    SlotState s = slot_state(t, slot);
    if (s == SLOT_EMPTY) break;
    const Slot& sl = slots(t)[slot];
    if (s == SLOT_DELETED) deleted = slot;
    else if (sl.hash == h && record_at(t, sl.place)->data1 == key) return slot;
    slot = (slot + k) & mask;
  }
  if (insert_slot) *insert_slot = deleted >= 0 ? static_cast<uint32_t>(deleted) : slot;
  return -1;
}

}  // namespace hash_index_detail

Cell* node_record(NodeId index, NodeId key) {
  using namespace hash_index_detail;
  Table* t = table(index);
  if (t->n_occupied >= t->upper_bound) {
    resize_records(index, (t->size * 2 < t->n_buckets) ? t->n_buckets - 1 : t->n_buckets + 1);
    t = table(index);
  }
  uint32_t record_bytes = t->indexes;
  uint32_t slot = 0;
  int64_t found = probe_record(t, key, &slot);
  uint32_t offset;
  if (found >= 0) {
    offset = slots(t)[found].place;
  } else if (slot_state(t, slot) == SLOT_DELETED) {
    offset = slots(t)[slot].place;   // the record the deleted slot still names is reused
    slots(t)[slot].hash = mix(key);
    set_slot_state(t, slot, SLOT_USED);
    t->size++;
  } else {
    uint8_t* at = series::buffer_reserve_tail(t->blk, record_bytes);
    t = table(index);
    offset = static_cast<uint32_t>(at - node_buffer(t->blk)->head_ptr());
    slots(t)[slot] = Slot{offset, mix(key)};
    set_slot_state(t, slot, SLOT_USED);
    t->size++;
    t->n_occupied++;
  }
  Cell* rec = record_at(t, offset);
  for (uint32_t i = 0; i < record_bytes / sizeof(Cell); i++) rec[i] = make_cell(TYPE_UNSET);
  rec->data1 = key;
  return rec + 1;
}

Cell* find_node_record(NodeId index, NodeId key) {
  using namespace hash_index_detail;
  Table* t = table(index);
  int64_t s = probe_record(t, key, nullptr);
  return s < 0 ? nullptr : record_at(t, slots(t)[s].place) + 1;
}

Cell* remove_node_record(NodeId index, NodeId key) {
  using namespace hash_index_detail;
  Table* t = table(index);
  int64_t s = probe_record(t, key, nullptr);
  if (s < 0) return nullptr;
  set_slot_state(t, static_cast<uint32_t>(s), SLOT_DELETED);
  t->size--;
  Cell* rec = record_at(t, slots(t)[s].place);
  rec->header = 0;
  return rec + 1;
}

void resize_records(NodeId index, uint32_t count) {
  using namespace hash_index_detail;
  Table* t = table(index);
  uint32_t nb = next_pow2(count);
  if (nb < 4) nb = 4;
  uint32_t record_bytes = t->indexes;
  uint32_t cells_per = record_bytes / sizeof(Cell);
  NodeId old_store = t->blk;
  NodeId new_store = alloc::new_cells(t->size * cells_per + cells_per);
  // The old store stays reachable through this cell until its records are copied.
  HeldCell hold(make_cell(TYPE_BLOCK, 0, old_store));
  new_slot_arrays(index, nb);
  t = table(index);
  t->upper_bound = static_cast<uint32_t>(nb * LOAD + 0.5);
  t->size = t->n_occupied = 0;
  t->blk = new_store;
  uint32_t old_used = node_buffer(old_store)->used();
  for (uint32_t off = 0; off + record_bytes <= old_used; off += record_bytes) {
    const Cell* rec = reinterpret_cast<const Cell*>(node_buffer(old_store)->head_ptr() + off);
    if (rec->header != TYPE_UNSET) continue;   // removed record
    Cell* values = node_record(index, rec->data1);
    rec = reinterpret_cast<const Cell*>(node_buffer(old_store)->head_ptr() + off);
    std::memcpy(values, rec + 1, record_bytes - sizeof(Cell));
  }
}

void sweep_records(NodeId index) {
  using namespace hash_index_detail;
  Table* t = table(index);
  auto dead = [](NodeId n) {
    SeriesBuffer* b = n ? node_buffer(n) : nullptr;
    return n != 0 && (b == nullptr || (reinterpret_cast<uintptr_t>(b) & 1) ||
                      !(b->flags & BUF_MARKED));
  };
  for (uint32_t s = 0; s < t->n_buckets; s++) {
    if (slot_state(t, s) != SLOT_USED) continue;
    Cell* rec = record_at(t, slots(t)[s].place);
    bool drop = dead(rec->data1) || (t->type == KIND_OWNERSHIP && dead(rec[2].data1));
    if (!drop) continue;
    set_slot_state(t, s, SLOT_DELETED);
    t->size--;
    rec->header = 0;
    rec->data1 = 0;
  }
}

}  // namespace tav::hash
