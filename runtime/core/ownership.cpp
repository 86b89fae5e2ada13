#include "core/ownership.h"

#include "core/context.h"
#include "core/cycles.h"
#include "datatypes/object.h"
#include "core/hash_index.h"
#include "init_steps.h"
#include "runtime.h"
#include "core/stack.h"
#include "core/words.h"

namespace tav::ownership {

NodeId table = 0;

namespace ownership_detail {

constexpr uint32_t RECORD_CELLS = 3;   // owned value, owner object, owner's word

bool tracked_series(TypeId t) {
  return is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
         t == TYPE_BITSET;
}

// The node a value is recorded under, 0 when it cannot be owned.
NodeId key_of(const Cell* v) {
  TypeId t = v->type();
  if (t == TYPE_OBJECT) return v->data1;
  if (tracked_series(t)) return v->node();
  return 0;
}

bool is_owner_context(NodeId ctx) {
  return (context::context_cell(ctx)->header & object::CTX_OWNER) != 0;
}

void record(const Cell* value, const Cell* owner, const Cell* word) {
  Cell v = *value, o = *owner, w = *word;
  Cell* rec = hash::node_record(table, key_of(&v));
  rec[0] = v;
  rec[1] = o;
  rec[2] = w;
}

// Walks with an explicit cycle guard: a value met again (a block holding itself, an object
// holding its owner) is not entered twice.
void set_walk(const Cell* value_in, const Cell* owner, const Cell* word) {
  Cell* value = stack::push(value_in);
  TypeId t = value->type();
  NodeId key = key_of(value);
  if (!key) {
    stack::pop(1);
    return;
  }
  if (t == TYPE_OBJECT) {
    NodeId ctx = value->data1;
    bool is_owner_itself = owner->is(TYPE_OBJECT) && ctx == owner->data1;
    if (!is_owner_itself && !hash::find_node_record(table, key)) record(value, owner, word);
    if (!is_owner_context(ctx) && !cycles::find(ctx)) {
      cycles::push(ctx);
      try {
        uint32_t n = context::word_count(ctx);
        for (uint32_t i = 0; i < n; i++) {
          Cell v = *context::slot_value_cell(ctx, i);
          if (v.is(TYPE_OBJECT) && owner->is(TYPE_OBJECT) && v.data1 == owner->data1) continue;
          Cell w = *context::word_cell(ctx, i);
          w.header = TYPE_WORD;
          w.data1 = ctx;
          w.data3 = i;
          set_walk(&v, owner, &w);
        }
      } catch (...) {
        cycles::pop();
        throw;
      }
      cycles::pop();
    }
    stack::pop(1);
    return;
  }
  SeriesBuffer* b = node_buffer(key);
  if (!(b->flags & BUF_OWNED)) {
    b->flags |= BUF_OWNED;
    record(value, owner, word);
  }
  if (is_any_block(t) && !cycles::find(key)) {
    cycles::push(key);
    try {
      for (uint32_t i = value->index(); i < node_buffer(key)->count(); i++) {
        Cell v = node_buffer(key)->cells()[i];
        set_walk(&v, owner, word);
      }
    } catch (...) {
      cycles::pop();
      throw;
    }
    cycles::pop();
  }
  stack::pop(1);
}

void remove_record(NodeId key) {
  Cell* rec = hash::find_node_record(table, key);
  if (!rec) return;
  for (uint32_t i = 0; i < RECORD_CELLS; i++) set_unset(rec + i);
  hash::remove_node_record(table, key);
}

// The value unbound on request is walked even when it is an owner itself, and stops being one.
void unbind_walk(const Cell* value_in, bool top) {
  Cell value = *value_in;
  TypeId t = value.type();
  NodeId key = key_of(&value);
  if (!key) return;
  if (t == TYPE_OBJECT) {
    remove_record(key);
    NodeId ctx = value.data1;
    if (top) context::context_cell(ctx)->header &= ~object::CTX_OWNER;
    else if (is_owner_context(ctx)) return;
    if (cycles::find(ctx)) return;
    cycles::push(ctx);
    try {
      for (uint32_t i = 0; i < context::word_count(ctx); i++) {
        Cell v = *context::slot_value_cell(ctx, i);
        unbind_walk(&v, false);
      }
    } catch (...) {
      cycles::pop();
      throw;
    }
    cycles::pop();
    return;
  }
  node_buffer(key)->flags &= ~BUF_OWNED;
  remove_record(key);
  if (is_any_block(t) && !cycles::find(key)) {
    cycles::push(key);
    try {
      for (uint32_t i = value.index(); i < node_buffer(key)->count(); i++) {
        Cell v = node_buffer(key)->cells()[i];
        unbind_walk(&v, false);
      }
    } catch (...) {
      cycles::pop();
      throw;
    }
    cycles::pop();
  }
}

struct ChangeWords {
  const Cell* before;
  const Cell* after;
};

ChangeWords words_of(Change kind) {
  switch (kind) {
    case Change::clear: return {&words::clear, &words::cleared};
    case Change::poke: return {&words::poke, &words::poked};
    case Change::random: return {&words::random, &words::randomized};
    case Change::move: return {&words::move, &words::moved};
    case Change::remove: return {&words::remove, &words::removed};
    case Change::reverse: return {&words::reverse, &words::reversed};
    case Change::take: return {&words::take, &words::taken};
    case Change::append: return {&words::append, &words::appended};
    case Change::insert: return {&words::insert, &words::inserted};
    case Change::change: return {&words::change, &words::changed};
    case Change::put: return {&words::put, &words::put_ed};
    case Change::sort: return {&words::sort, &words::sorted};
    case Change::swap: return {&words::swap, &words::swaped};
    case Change::trim: return {&words::trim, &words::trimmed};
  }
  return {&words::change, &words::changed};
}

}  // namespace ownership_detail

void init() {
  table = hash::new_table(INITIAL_RECORDS, 0, hash::KIND_OWNERSHIP,
                          ownership_detail::RECORD_CELLS);
  Cell holder = make_cell(TYPE_HASH, 0, hash::table(table)->blk, table);
  runtime::root_append(&holder);
}

const Cell* change_word(Change kind, bool done) {
  auto w = ownership_detail::words_of(kind);
  return done ? w.after : w.before;
}

void notify_before(const Cell* series, Change kind, const Cell* value, int32_t index,
                   int32_t count) {
  if (!is_owned(series)) return;
  check_and_notify(series, change_word(kind, false), value, index, count);
}

void notify_after(const Cell* series, Change kind, const Cell* value, int32_t index,
                  int32_t count) {
  if (!is_owned(series)) return;
  check_and_notify(series, change_word(kind, true), value, index, count);
}

void set_deep(const Cell* value, const Cell* owner, const Cell* word) {
  Cell o = *owner, w = *word;
  Cell* held_owner = stack::push(&o);
  Cell* held_word = stack::push(&w);
  ownership_detail::set_walk(value, held_owner, held_word);
  stack::pop(2);
}

void set_deep_object(const Cell* value, const Cell* owner, const Cell* word) {
  Cell o = *owner;
  set_deep(value, &o, word);
  if (o.is(TYPE_OBJECT)) context::context_cell(o.data1)->header |= object::CTX_OWNER;
}

void unbind(const Cell* value) { ownership_detail::unbind_walk(value, true); }

void clear_range(const Cell* block, int32_t index, int32_t count) {
  NodeId n = block->node();
  for (int32_t i = index; i < index + count; i++) {
    if (i < 0 || static_cast<uint32_t>(i) >= node_buffer(n)->count()) break;
    Cell v = node_buffer(n)->cells()[i];
    unbind(&v);
  }
}

Cell* find_owner(NodeId node) {
  if (!table || !node) return nullptr;
  Cell* rec = hash::find_node_record(table, node);
  return rec ? rec + 1 : nullptr;
}

bool check_and_notify(const Cell* value, const Cell* action, const Cell* new_value,
                      int32_t index, int32_t part) {
  NodeId key = ownership_detail::key_of(value);
  Cell* found = find_owner(key);
  if (!found) return false;
  Cell owner = found[0], word = found[1];
  Cell target = *value, act = *action;
  Cell nv;
  if (new_value) nv = *new_value;
  object::fire_on_deep_change(&owner, &word, &target, &act, new_value ? &nv : nullptr, index,
                              part);
  return true;
}

}  // namespace tav::ownership

namespace tav::init_steps {
void ownership_table() { ownership::init(); }
}  // namespace tav::init_steps
