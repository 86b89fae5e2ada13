#include "core/handles.h"

#include <cstdlib>
#include <cstring>

#include "init_steps.h"
#include "core/memory.h"
#include "platform/fatal.h"
#include "runtime.h"

namespace tav::handles {

namespace handles_detail {

struct Kind {
  const char* name;
  Release release;
};

Kind kinds[MAX_KINDS];
int kind_count = 0;

Entry* entries = nullptr;
uint32_t entry_capacity = 0;
int32_t used_head = -1;
int32_t free_head = -1;

NodeId slot_block = 0;
int32_t slot_free_head = -1;

[[noreturn]] void out_of_memory() {
  fatal_exit(RUNTIME_ERROR_OUT_OF_MEMORY,
             reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

// Chains entries [from, to) as free entries in index order, the last one ending the list.
void chain_free(uint32_t from, uint32_t to) {
  for (uint32_t i = from; i < to; i++) {
    entries[i].kind = ENTRY_FREE;
    entries[i].pointer = nullptr;
    entries[i].next = i + 1 < to ? static_cast<int32_t>(i + 1) : -1;
  }
}

void grow_entries() {
  uint32_t old = entry_capacity;
  uint32_t grown = old ? old * 2 : INITIAL_ENTRIES;
  auto* e = static_cast<Entry*>(std::realloc(entries, sizeof(Entry) * grown));
  if (!e) out_of_memory();
  entries = e;
  entry_capacity = grown;
  chain_free(old, grown);
}

// Unlinks an entry from the used list (a walk: the list is singly linked).
void unlink_used(int32_t handle) {
  int32_t* link = &used_head;
  while (*link != -1) {
    if (*link == handle) {
      *link = entries[handle].next;
      return;
    }
    link = &entries[*link].next;
  }
}

void push_free(int32_t handle) {
  entries[handle].kind = ENTRY_FREE;
  entries[handle].pointer = nullptr;
  entries[handle].next = free_head;
  free_head = handle;
}

bool live(int32_t handle) {
  return handle >= 0 && static_cast<uint32_t>(handle) < entry_capacity &&
         !(entries[handle].kind & ENTRY_FREE);
}

// Threads the slot cells [from, to) as free slots (0-based indexes, -1 ending the list).
void chain_slots(uint32_t from, uint32_t to) {
  Cell* cells = node_buffer(slot_block)->cells();
  for (uint32_t i = from; i < to; i++)
    set_integer(cells + i, i + 1 < to ? static_cast<int32_t>(i + 1) : slot_free_head);
}

}  // namespace handles_detail

void init() {
  using namespace handles_detail;
  std::free(entries);
  entries = nullptr;
  entry_capacity = 0;
  kind_count = 0;
  used_head = -1;
  grow_entries();
  free_head = 0;
}

int register_kind(const char* name, Release release) {
  using namespace handles_detail;
  if (kind_count >= MAX_KINDS)
    fatal_exit(RUNTIME_ERROR_ASSERTION, reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
  kinds[kind_count] = Kind{name, release};
  return ++kind_count;
}

int32_t new_(void* pointer, int kind) {
  using namespace handles_detail;
  if (free_head == -1 || entries[free_head].next == -1) {
    uint32_t old = entry_capacity;
    grow_entries();
    if (free_head == -1) free_head = static_cast<int32_t>(old);
    else entries[free_head].next = static_cast<int32_t>(old);
  }
  int32_t h = free_head;
  free_head = entries[h].next;
  entries[h].kind = static_cast<uint32_t>(kind) & KIND_MASK;
  entries[h].pointer = pointer;
  entries[h].next = used_head;
  used_head = h;
  return h;
}

void release(uint32_t kind_word, void* pointer) {
  using namespace handles_detail;
  int k = static_cast<int>(kind_word & KIND_MASK);
  if (k >= 1 && k <= kind_count && kinds[k - 1].release) kinds[k - 1].release(pointer);
}

void replace_pointer(int32_t handle, void* pointer) {
  using namespace handles_detail;
  if (!live(handle)) return;
  void* old = entries[handle].pointer;
  entries[handle].pointer = pointer;
  if (old != pointer) release(entries[handle].kind, old);
}

void free(int32_t handle, bool release_pointer) {
  using namespace handles_detail;
  // A handle freed twice would sit on the free list twice and be handed out to two owners.
  if (!live(handle)) return;
  if (release_pointer) release(entries[handle].kind, entries[handle].pointer);
  unlink_used(handle);
  push_free(handle);
}

bool mark(int32_t handle, void* data) {
  using namespace handles_detail;
  if (!live(handle)) return false;
  if (data) entries[handle].pointer = data;
  if (entries[handle].kind & ENTRY_MARKED) return false;
  entries[handle].kind |= ENTRY_MARKED;
  return true;
}

void for_each_of_kind(int kind, Visit visit) {
  using namespace handles_detail;
  for (int32_t h = used_head; h != -1; h = entries[h].next)
    if (static_cast<int>(entries[h].kind & KIND_MASK) == kind) visit(entries[h].pointer);
}

void sweep() {
  using namespace handles_detail;
  int32_t* link = &used_head;
  while (*link != -1) {
    int32_t h = *link;
    Entry& e = entries[h];
    if (e.kind & ENTRY_MARKED) {
      e.kind &= ~ENTRY_MARKED;
      link = &e.next;
      continue;
    }
    *link = e.next;
    uint32_t kind = e.kind;
    void* p = e.pointer;
    push_free(h);
    // Released after the entry is back on the free list, so a callback that makes a new
    // handle finds the table consistent.
    release(kind, p);
  }
}

int32_t node_handle(NodeId node) {
  if (!is_live_node(node)) return -1;
  SeriesBuffer* b = node_buffer(node);
  if (b->unit() != 1 || b->used() < sizeof(int32_t)) return -1;
  int32_t h;
  std::memcpy(&h, b->head_ptr(), sizeof h);
  return h;
}

void* pointer(int32_t handle) {
  return handles_detail::live(handle) ? handles_detail::entries[handle].pointer : nullptr;
}

int kind_of(int32_t handle) {
  if (!handles_detail::live(handle)) return 0;
  return static_cast<int>(handles_detail::entries[handle].kind & KIND_MASK);
}

const char* kind_name(int kind) {
  using namespace handles_detail;
  return kind >= 1 && kind <= kind_count ? kinds[kind - 1].name : nullptr;
}

uint32_t capacity() { return handles_detail::entry_capacity; }

uint32_t used_count() {
  uint32_t n = 0;
  for (int32_t h = handles_detail::used_head; h != -1; h = handles_detail::entries[h].next) n++;
  return n;
}

void slot_init() {
  using namespace handles_detail;
  slot_block = alloc::new_cells(INITIAL_SLOTS);
  Cell holder = make_cell(TYPE_BLOCK, 0, slot_block);
  runtime::root_append(&holder);
  SeriesBuffer* b = node_buffer(slot_block);
  b->tail = b->head + INITIAL_SLOTS * sizeof(Cell);
  slot_free_head = -1;
  chain_slots(0, INITIAL_SLOTS);
  slot_free_head = 0;
}

int32_t slot_new(const Cell* value_in) {
  using namespace handles_detail;
  Cell value = *value_in;
  if (slot_free_head == -1) {
    SeriesBuffer* b = node_buffer(slot_block);
    uint32_t old = b->count();
    b = series::expand_copy(b, b->capacity * 2);
    uint32_t grown = b->capacity / sizeof(Cell);
    b->tail = b->head + grown * sizeof(Cell);
    chain_slots(old, grown);
    slot_free_head = static_cast<int32_t>(old);
  }
  int32_t i = slot_free_head;
  Cell* c = node_buffer(slot_block)->cells() + i;
  slot_free_head = c->int_value();
  *c = value;
  return i + 1;
}

Cell* slot_cell(int32_t slot) {
  return node_buffer(handles_detail::slot_block)->cells() + (slot - 1);
}

void slot_free(int32_t slot) {
  using namespace handles_detail;
  if (slot <= 0 || static_cast<uint32_t>(slot) > node_buffer(slot_block)->count()) return;
  set_integer(slot_cell(slot), slot_free_head);
  slot_free_head = slot - 1;
}

uint32_t slot_capacity() { return node_buffer(handles_detail::slot_block)->count(); }

}  // namespace tav::handles

namespace tav::init_steps {
void handle_tables() { handles::init(); }
void handle_slots() { handles::slot_init(); }
}  // namespace tav::init_steps
