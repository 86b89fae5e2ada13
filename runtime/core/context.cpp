#include "core/context.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "runtime.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/object.h"

namespace tav::context {

NodeId global = 0;

namespace context_detail {

Cell* values_cells(NodeId ctx) { return node_buffer(context_cell(ctx)->data2)->cells(); }

// Appends one unset! value to a context's values block.
void append_unset_value(NodeId ctx) {
  Cell* c = context_cell(ctx);
  if (on_stack(c)) return;
  series::buffer_new_tail_cell(c->data2);
}

void mark_field(NodeId ctx, uint32_t i) {
  if (kind_of(context_cell(ctx)) == KIND_OBJECT)
    node_buffer(words_of(ctx))->cells()[i].header |= FLAG_FIELD_STORED;
}

Cell word_as_arg(NodeId ctx, uint32_t i) { return *word_cell(ctx, i); }

}  // namespace context_detail

NodeId values_of(NodeId ctx) {
  Cell* c = context_cell(ctx);
  return on_stack(c) ? 0 : c->data2;
}

void init_global() {
  global = make(KIND_GLOBAL, GLOBAL_SLOTS);
  Cell holder = make_cell(TYPE_OBJECT, global);
  runtime::root_append(&holder);
}

NodeId make(Kind kind, uint32_t slots, bool stack_values, bool self_flag) {
  if (slots == 0) slots = 1;
  NodeId ctx = alloc::new_cells(2);
  {
    SeriesBuffer* b = node_buffer(ctx);
    set_unset(b->cells());
    set_unset(b->cells() + 1);
    b->tail = 2 * sizeof(Cell);
  }
  // Until the new context is referred to from anywhere, keep it on the argument stack.
  NodeId index, values = 0;
  {
    hash::HeldCell hold(make_cell(TYPE_OBJECT, ctx));
    index = hash::new_table(slots, 0, hash::KIND_SYMBOL);
    hash::HeldCell hold_index(make_cell(TYPE_HASH, 0, hash::table(index)->blk, index));
    if (!stack_values) values = alloc::new_unset_cells(slots);
  }
  uint32_t header = TYPE_CONTEXT | (uint32_t(kind) << CTX_KIND_SHIFT);
  if (stack_values) header |= FLAG_CTX_ON_STACK;
  if (self_flag) header |= FLAG_CTX_SELF;
  *context_cell(ctx) = Cell{header, index, values, 0};
  return ctx;
}

NodeId make_from_spec(const Cell* spec_in, Kind kind, bool stack_values, bool self_flag) {
  Cell spec = *spec_in;
  SeriesBuffer* sb = node_buffer(spec.node());
  uint32_t len = sb->count() > spec.index() ? sb->count() - spec.index() : 0;
  NodeId ctx = make(kind, len, stack_values, self_flag);
  hash::HeldCell hold(make_cell(TYPE_OBJECT, ctx));
  for (uint32_t i = spec.index(); i < node_buffer(spec.node())->count(); i++) {
    const Cell* c = node_buffer(spec.node())->cells() + i;
    TypeId t = c->type();
    if (t != TYPE_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD && t != TYPE_REFINEMENT)
      continue;
    find_or_add_word(ctx, c->data2);
  }
  return ctx;
}

NodeId clone(Cell* value, Kind kind) {
  NodeId old_ctx = value->data1;
  Cell* oc = context_cell(old_ctx);
  bool stack_values = on_stack(oc);
  bool self_flag = (oc->header & FLAG_CTX_SELF) != 0;
  uint32_t slots = hash::table(oc->data1)->size;
  NodeId ctx = make(kind, slots, stack_values, self_flag);
  hash::HeldCell hold(make_cell(TYPE_OBJECT, ctx));
  // Same words in the same order: add each as written, keeping shared global positions.
  uint32_t n = word_count(old_ctx);
  for (uint32_t i = 0; i < n; i++) {
    Cell w = node_buffer(words_of(old_ctx))->cells()[i];
    int32_t added = -1;
    hash::find_or_add_symbol(index_of(ctx), w.data2, false, ctx, &added);
    Cell* nw = node_buffer(words_of(ctx))->cells() + (word_count(ctx) - 1);
    nw->data3 = w.data3;
    nw->header = (nw->header & ~HEADER_TYPE_MASK & ~FLAG_FIELD_STORED) | TYPE_WORD;
  }
  value->data1 = ctx;
  return ctx;
}

int32_t find_symbol(NodeId ctx, uint32_t symbol, bool ci) {
  return hash::find_or_add_symbol(index_of(ctx), symbol, ci, 0, nullptr);
}

int32_t find_or_add_symbol(NodeId ctx, uint32_t symbol, bool ci, int32_t* added) {
  return hash::find_or_add_symbol(index_of(ctx), symbol, ci, ctx, added);
}

int32_t find_or_add_word(NodeId ctx, uint32_t symbol) {
  int32_t added = -1;
  int32_t pos = hash::find_or_add_symbol(index_of(ctx), symbol, true, ctx, &added);
  if (pos >= 0) return pos;
  context_detail::append_unset_value(ctx);
  return added;
}

Cell* add_word(NodeId ctx, uint32_t symbol, const Cell* value_in) {
  Cell value = *value_in;
  if (on_stack(context_cell(ctx))) return nullptr;
  int32_t added = -1;
  if (hash::find_or_add_symbol(index_of(ctx), symbol, false, ctx, &added) >= 0) return nullptr;
  Cell* slot = series::buffer_new_tail_cell(context_cell(ctx)->data2);
  *slot = value;
  return slot;
}

Cell* put(NodeId ctx, uint32_t symbol, const Cell* value_in) {
  Cell value = *value_in;
  int32_t pos = find_or_add_word(ctx, symbol);
  Cell* slot = context_detail::values_cells(ctx) + pos;
  *slot = value;
  return slot;
}

bool collect_set_words(NodeId ctx, Cell* block) {
  SeriesBuffer* b = node_buffer(block->node());
  if (block->data1 > b->count()) block->data1 = b->count();
  NodeId blk = block->node();
  uint32_t head = block->data1;
  uint32_t before = word_count(ctx);
  for (uint32_t i = head; i < node_buffer(blk)->count(); i++) {
    const Cell* c = node_buffer(blk)->cells() + i;
    if (c->is(TYPE_SET_WORD)) find_or_add_word(ctx, c->data2);
  }
  return word_count(ctx) > before;
}

Cell* global_word(uint32_t symbol, bool ci, bool keep_spelling) {
  NodeId index = index_of(global);
  int32_t store_pos = -1;
  int32_t pos = hash::find_or_add_symbol(index, symbol, ci, 0, nullptr, &store_pos);
  if (pos >= 0) {
    Cell* w = node_buffer(words_of(global))->cells() + store_pos;
    if (ci && keep_spelling && w->data2 != symbol) {
      // Keep the spelling asked for while sharing the value.
      Cell copy = *w;
      copy.data2 = symbol;
      return runtime::root_append(&copy);
    }
    return w;
  }
  // A case variant of a word already present shares that word's value slot.
  int32_t shared = hash::find_or_add_symbol(index, symbol, true, 0, nullptr);
  int32_t added = -1;
  hash::find_or_add_symbol(index, symbol, false, global, &added);
  context_detail::append_unset_value(global);
  Cell* w = node_buffer(words_of(global))->cells() + added;
  if (shared >= 0) w->data3 = static_cast<uint32_t>(shared);
  return w;
}

Cell* add_global(uint32_t symbol) {
  Cell* w = global_word(symbol, false, true);
  if (runtime::collecting_words) {
    Cell copy = *w;
    return runtime::root_append(&copy);
  }
  return w;
}

Cell* find_word_or_global(NodeId ctx, uint32_t symbol) {
  int32_t store_pos = -1;
  if (hash::find_or_add_symbol(index_of(ctx), symbol, false, 0, nullptr, &store_pos) >= 0)
    return node_buffer(words_of(ctx))->cells() + store_pos;
  return add_global(symbol);
}

Cell* symbol_value_cell(uint32_t symbol, NodeId ctx) {
  if (on_stack(context_cell(ctx))) ctx = global;
  int32_t pos = find_symbol(ctx, symbol, true);
  if (pos < 0) {
    Cell w = make_cell(TYPE_WORD, ctx, symbol, uint32_t(-1));
    error::raise(ERR_SCRIPT, "not-defined", &w);
  }
  return context_detail::values_cells(ctx) + pos;
}

Cell* set_global(uint32_t symbol, const Cell* value_in) {
  Cell value = *value_in;
  Cell* w = global_word(symbol, false, false);
  Cell* slot = context_detail::values_cells(global) + w->data3;
  *slot = value;
  return slot;
}

Cell* global_value_cell(uint32_t symbol) { return symbol_value_cell(symbol, global); }

Cell* word_cell(NodeId ctx, uint32_t i) { return node_buffer(words_of(ctx))->cells() + i; }

Cell* get_value_cell(const Cell* word, NodeId ctx) {
  auto pos = static_cast<int32_t>(word->data3);
  if (pos < 0) {
    if (word->data2 == symbols::self && word->data1) return owner_cell(word->data1);
    error::raise(ERR_SCRIPT, "no-value", word);
  }
  Cell* c = context_cell(ctx);
  if (c->data2 == 0) error::raise(ERR_SCRIPT, "not-in-context", word);
  if (on_stack(c)) return stack::at_index(c->data2 - 1 + uint32_t(pos));
  return node_buffer(c->data2)->cells() + pos;
}

Cell* set_in(Cell* word, const Cell* value_in, NodeId ctx, bool notify) {
  Cell value = *value_in;
  if (static_cast<int32_t>(word->data3) < 0) {
    int32_t pos = find_symbol(ctx, word->data2, false);
    if (pos < 0) pos = find_or_add_word(ctx, word->data2);
    word->data3 = static_cast<uint32_t>(pos);
  }
  Cell* c = context_cell(ctx);
  if (c->data2 == 0) error::raise(ERR_SCRIPT, "not-defined", word);
  if (on_stack(c)) {
    Cell* slot = stack::at_index(c->data2 - 1 + word->data3);
    *slot = value;
    return slot;
  }
  context_detail::mark_field(ctx, word->data3);
  Cell* slot = node_buffer(c->data2)->cells() + word->data3;
  if (notify && notifies(ctx)) {
    // The old and the new value stay on the stack while the handler runs: it may collect.
    Cell* saved_top = stack::top;
    Cell* old_value = stack::push(slot);
    Cell* new_value = stack::push(&value);
    *slot = value;
    Cell owner = *owner_cell(ctx);
    Cell field = *word;
    field.set_type(TYPE_WORD);   // the handler hears the field's word, whatever wrote it
    object::fire_on_change(&owner, &field, old_value, new_value);
    stack::top = saved_top;
    return node_buffer(context_cell(ctx)->data2)->cells() + word->data3;
  }
  *slot = value;
  return slot;
}

int32_t set_integer(Cell* word, int32_t v) {
  Cell value;
  tav::set_integer(&value, v);
  set_in(word, &value, word->data1);
  return v;
}

Cell* slot_value_cell(NodeId ctx, uint32_t i) { return context_detail::values_cells(ctx) + i; }

Cell* push_slot(NodeId ctx, uint32_t i) {
  Cell w = *word_cell(ctx, i);
  return stack::push(&w);
}

Cell* push_value(NodeId ctx, uint32_t i) {
  Cell* c = context_cell(ctx);
  if (c->data2 == 0) {
    Cell w = context_detail::word_as_arg(ctx, i);
    error::raise(ERR_SCRIPT, "not-defined", &w);
  }
  Cell v = on_stack(c) ? *stack::at_index(c->data2 - 1 + i) : context_detail::values_cells(ctx)[i];
  return stack::push(&v);
}

Cell* set_slot_from_top(NodeId ctx, uint32_t i) {
  context_detail::mark_field(ctx, i);
  Cell* slot = context_detail::values_cells(ctx) + i;
  *slot = *stack::last();
  return slot;
}

Cell* swap_slot_from_top(NodeId ctx, uint32_t i) {
  Cell top = *stack::last();
  Cell old = context_detail::values_cells(ctx)[i];
  stack::push(&old);
  context_detail::mark_field(ctx, i);
  Cell* slot = context_detail::values_cells(ctx) + i;
  *slot = top;
  return slot;
}

Cell* set_slot_from_base(NodeId ctx, uint32_t i) {
  context_detail::mark_field(ctx, i);
  context_detail::values_cells(ctx)[i] = *stack::base;
  return stack::base;
}

int32_t bind_word(NodeId ctx, Cell* word) {
  int32_t pos = find_symbol(ctx, word->data2, true);
  if (pos >= 0) {
    word->data1 = ctx;
    word->data3 = static_cast<uint32_t>(pos);
  }
  return pos;
}

void bind_block(const Cell* block, NodeId ctx, bool self_word, bool deep) {
  // An explicit work list instead of recursion: nesting depth costs heap, never machine
  // stack. Binding is idempotent, so a block met again (itself, or shared) is only bound
  // again from an earlier head than any seen before; this ends cycles and keeps shared
  // blocks linear.
  std::vector<std::pair<NodeId, uint32_t>> work;
  std::unordered_map<NodeId, uint32_t> bound_from;
  work.emplace_back(block->node(), block->index());
  while (!work.empty()) {
    auto [node, head] = work.back();
    work.pop_back();
    auto seen = bound_from.find(node);
    if (seen != bound_from.end()) {
      if (seen->second <= head) continue;
      seen->second = head;
    } else {
      bound_from.emplace(node, head);
    }
    // Binding allocates nothing, so the buffer stays put during the walk.
    SeriesBuffer* b = node_buffer(node);
    Cell* cells = b->cells();
    uint32_t n = b->count();
    for (uint32_t i = head; i < n; i++) {
      Cell* c = cells + i;
      TypeId t = c->type();
      if (t >= TYPE_WORD && t <= TYPE_REFINEMENT) {
        if (self_word && t == TYPE_WORD && c->data2 == symbols::self) {
          c->data1 = ctx;
          c->data3 = uint32_t(-1);
        } else {
          bind_word(ctx, c);
        }
      } else if (deep && is_any_block(t) && c->node()) {
        work.emplace_back(c->node(), c->index());
      }
    }
  }
}

}  // namespace tav::context
