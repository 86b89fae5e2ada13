#include "core/symbols.h"

#include <cstring>

#include "core/errors.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "runtime.h"

namespace tav::symbol {

NodeId store_node = 0;
NodeId index_node = 0;

namespace symbols_detail {

constexpr uint32_t INITIAL_SYMBOLS = 4000;

inline bool ascii_ci_equal(const uint8_t* a, const uint8_t* b, uint32_t n) {
  for (uint32_t i = 0; i < n; i++) {
    uint8_t x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<uint8_t>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<uint8_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Probes for a name; answers the matching symbol id or 0, and the empty slot that ended the
// probe.
uint32_t probe(const uint8_t* name, uint32_t len, uint32_t h, bool ignore_case,
               uint32_t* empty_slot) {
  hash::Table* t = hash::table(index_node);
  const Cell* cells = node_buffer(store_node)->cells();
  uint32_t mask = t->n_buckets - 1;
  uint32_t slot = h & mask;
  for (uint32_t k = 1; hash::slot_state(t, slot) != hash::SLOT_EMPTY; k++) {
    const hash::Slot& sl = hash::slots(t)[slot];
    SeriesBuffer* nb = sl.hash == h ? node_buffer(cells[sl.place].data3) : nullptr;
    if (nb && nb->used() == len) {
      uint32_t p = sl.place;
      const uint8_t* stored = nb->head_ptr();
      bool match = ignore_case ? ascii_ci_equal(stored, name, len)
                               : std::memcmp(stored, name, len) == 0;
      if (match) return p + 1;
    }
    slot = (slot + k) & mask;
  }
  *empty_slot = slot;
  return 0;
}

}  // namespace symbols_detail

void init_store() {
  store_node = alloc::new_cells(symbols_detail::INITIAL_SYMBOLS);
  Cell blk = make_cell(TYPE_BLOCK, 0, store_node);
  runtime::root_append(&blk);
}

void init_index() {
  index_node = hash::new_table(symbols_detail::INITIAL_SYMBOLS, store_node, hash::KIND_SYMBOL);
  // The index lives as long as the process: keep it with the roots.
  Cell holder = make_cell(TYPE_HASH, 0, store_node, index_node);
  runtime::root_append(&holder);
}

uint32_t intern(const char* utf8, size_t len64, bool any_case) {
  using namespace symbols_detail;
  if (len64 > 0x7FFFFFF0u) error::raise(ERR_INTERNAL, "no-memory");
  auto len = static_cast<uint32_t>(len64);
  const auto* name = reinterpret_cast<const uint8_t*>(utf8);
  hash::grow_symbol_index(index_node);
  uint32_t h = hash::name_hash(name, len);
  uint32_t empty = 0;
  if (uint32_t id = probe(name, len, h, any_case, &empty)) return id;
  int32_t alias_id = -1;
  if (!any_case) {
    uint32_t unused;
    if (uint32_t variant = probe(name, len, h, true, &unused)) alias_id = static_cast<int32_t>(variant);
  }
  // The caller's bytes may live in a series: copy them before allocating.
  NodeId bytes = alloc::new_bytes(len + 1);
  SeriesBuffer* b = node_buffer(bytes);
  std::memcpy(b->data(), utf8, len);
  b->data()[len] = 0;
  b->tail = len;
  Cell* c = series::buffer_new_tail_cell(store_node);
  *c = make_cell(TYPE_SYMBOL, static_cast<uint32_t>(alias_id), 0, bytes);
  uint32_t pos = node_buffer(store_node)->count() - 1;
  hash::Table* t = hash::table(index_node);
  hash::slots(t)[empty] = hash::Slot{pos, h};
  hash::set_slot_state(t, empty, hash::SLOT_USED);
  t->size++;
  t->n_occupied++;
  return pos + 1;
}

uint32_t make(const char* utf8, size_t len) { return intern(utf8, len, false); }
uint32_t make(const char* utf8) { return intern(utf8, std::strlen(utf8), false); }
uint32_t make_folded(const char* utf8) { return intern(utf8, std::strlen(utf8), true); }

Cell* get_cell(uint32_t id) { return node_buffer(store_node)->cells() + (id - 1); }
uint32_t count() { return node_buffer(store_node)->count(); }

uint32_t alias(uint32_t id) {
  auto a = static_cast<int32_t>(get_cell(id)->data1);
  return a > 0 ? static_cast<uint32_t>(a) : id;
}

int32_t alias_of(uint32_t id) { return static_cast<int32_t>(get_cell(id)->data1); }

Name name(uint32_t id) {
  SeriesBuffer* b = node_buffer(get_cell(id)->data3);
  return {reinterpret_cast<const char*>(b->head_ptr()), b->used()};
}

const char* get_c_string(uint32_t id) {
  SeriesBuffer* b = node_buffer(get_cell(id)->data3);
  // The terminator sits past the tail; buffers keep slack bytes after their capacity.
  *b->tail_ptr() = 0;
  return reinterpret_cast<const char*>(b->head_ptr());
}

}  // namespace tav::symbol
