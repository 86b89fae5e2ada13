// Reading words and the contexts they are bound to: global and context-bound words, context
// records and object! records, whose contexts a word record may bring along.
#include <cstdint>
#include <optional>

#include "core/context.h"
#include "core/errors.h"
#include "scanner/tavbin.h"
#include "scanner/tavbin_decoder.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::tavbin::tavbin_decode_detail {

// ---- Words ---------------------------------------------------------------------------

// A word bound in the global context; sym must be the symbol just read (its table entry
// caches the position: the global context only grows during a decode).
Cell Decoder::global_word(TypeId t, uint32_t sym) {
  int32_t& index = global_index_[last_symbol_index_];
  if (index < 0) index = context::find_or_add_word(context::global, sym);
  return make_cell(t, context::global, sym, static_cast<uint32_t>(index));
}

int64_t Decoder::read_word_boot(NodeId parent, TypeId t, bool flag, bool binding,
                                const uint8_t* at) {
  uint32_t sym = symbol();
  Cell w;
  bool has_context = compact_ ? flag : false;
  uint32_t root = 0;
  int32_t k = -1;
  if (compact_ && flag) {
    root = varint();
    k = zigzag();
  } else if (!compact_) {
    uint32_t r = u32();
    k = static_cast<int32_t>(u32());
    has_context = r != 0xFFFFFFFFu;
    root = r;
  }
  if (has_context) {
    uint64_t i = uint64_t(cells_before_) + root;
    if (i >= node_buffer(target_)->count()) bad(at);
    // The root cell that holds the context: an object (a context! record makes one) or a
    // function (its arguments' context).
    Cell holder = *cell_at(target_, static_cast<uint32_t>(i));
    if (!(holder.is(TYPE_OBJECT) || holder.is(TYPE_FUNCTION)) || holder.data1 == 0) bad(at);
    NodeId ctx = holder.data1;
    if (k == -1) k = context::find_symbol(ctx, sym, true);
    if (k < 0 || uint32_t(k) >= context::word_count(ctx)) bad(at);
    w = make_cell(t, ctx, sym, static_cast<uint32_t>(k));
  } else {
    w = global_word(t, sym);
  }
  uint32_t pos = append(parent, w);
  if (!binding) return pos;
  read_value(parent);
  SeriesBuffer* b = node_buffer(parent);
  if (b->count() != pos + 2) bad(at);
  Cell value = b->cells()[pos + 1];
  Cell word = b->cells()[pos];
  Cell* cc = context::context_cell(word.data1);
  if (context::on_stack(cc)) bad(at);
  *context::slot_value_cell(word.data1, word.data3) = value;
  node_buffer(parent)->tail -= 2 * sizeof(Cell);
  return -1;
}

int64_t Decoder::read_word_codec(NodeId parent, TypeId t, bool flag, bool shared,
                                 const uint8_t* at) {
  uint32_t sym = symbol();
  if (!flag) {
    if (!compact_) u32();   // the global index is looked up again
    return append(parent, global_word(t, sym));
  }
  const uint8_t* index_at = p_;
  int32_t k = compact_ ? zigzag() : static_cast<int32_t>(u32());
  NodeId ctx;
  uint32_t pos;
  if (shared) {
    Cell owner = read_path();
    TypeId ot = owner.type();
    if (std::optional<Cell> fn = function_of(owner)) owner = *fn;
    else if (!((word::is_any_word(ot) && ot != TYPE_ISSUE) || ot == TYPE_OBJECT)) bad(at);
    if (owner.data1 == 0 || owner.data1 == context::global) bad(at);
    ctx = owner.data1;
    pos = append(parent, make_cell(t, ctx, sym, static_cast<uint32_t>(k)));
  } else {
    pos = append(parent, make_cell(t, 0, sym, static_cast<uint32_t>(k)));
    const uint8_t* owner_at = p_;
    uint32_t h = 0;
    uint8_t b = 0;
    if (compact_) {
      b = byte();
    } else {
      h = u32();
      b = static_cast<uint8_t>(h & 0xFF);
    }
    TypeId ot = static_cast<TypeId>(b & 0x3F);
    if (ot == TYPE_FUNCTION && (compact_ ? b == TYPE_FUNCTION : h == TYPE_FUNCTION)) {
      read_function(parent, static_cast<int64_t>(pos), owner_at);
      ctx = cell_at(parent, pos)->data1;
      return finish_codec_word(parent, pos, ctx, sym, k, index_at);
    }
    if (ot != TYPE_OBJECT || (!compact_ && (h & ~(FIXED_OBJECT_HANDLERS | 0xFF)))) bad(owner_at);
    bool handlers = compact_ ? (b & 0x40) != 0 : (h & FIXED_OBJECT_HANDLERS) != 0;
    read_object(parent, handlers, static_cast<int64_t>(pos), owner_at);
    ctx = cell_at(parent, pos)->data1;
  }
  return finish_codec_word(parent, pos, ctx, sym, k, index_at);
}

// A word's context is on the argument stack only when a function owns it.
int64_t Decoder::finish_codec_word(NodeId parent, uint32_t pos, NodeId ctx, uint32_t sym,
                                   int32_t k, const uint8_t* index_at) {
  if (k == -1) k = context::find_symbol(ctx, sym, true);
  bool stack_ok = context::owner_cell(ctx)->is(TYPE_FUNCTION);
  if (k < 0 || (context::on_stack(context::context_cell(ctx)) && !stack_ok) ||
      uint32_t(k) >= context::word_count(ctx))
    bad(index_at);
  cell_at(parent, pos)->data3 = static_cast<uint32_t>(k);
  return pos;
}

// ---- Contexts and objects -------------------------------------------------------------

int64_t Decoder::read_context_record(NodeId parent, const uint8_t* at) {
  uint32_t pos = 0;
  read_context_part(at, true, [&](NodeId ctx) {
    Cell obj = make_cell(TYPE_OBJECT, ctx, 0xFFFFFFFFu, 0);
    pos = append(parent, obj);
    *context::owner_cell(ctx) = obj;
  });
  return pos;
}

// The context part's type, which must open an object's or a function's record; answers
// where the part starts.
const uint8_t* Decoder::context_type() {
  const uint8_t* at = p_;
  if (compact_) {
    if (byte() != TYPE_CONTEXT) bad(at);
  } else {
    fixed_header_ = u32();
    if ((fixed_header_ & 0xFF) != TYPE_CONTEXT) bad(at);
  }
  return at;
}

// An object! record after its type; word_pos >= 0 makes it the owner of the word at that
// position of the parent instead of a value of its own.
int64_t Decoder::read_object(NodeId parent, bool handlers, int64_t word_pos, const uint8_t* at) {
  int32_t class_id = compact_ ? zigzag() : static_cast<int32_t>(u32());
  if (codec_) class_id = -1;
  if (handlers) {
    // The handler indices have no event record to go to yet: checked, then dropped.
    for (int i = 0; i < 2; i++) {
      const uint8_t* h_at = p_;
      int32_t h = compact_ ? zigzag() : static_cast<int32_t>(u32());
      if (h < -1) bad(h_at);
    }
  }
  const uint8_t* ctx_at = context_type();
  uint32_t pos = 0;
  read_context_part(ctx_at, true, [&](NodeId ctx) {
    Cell obj = make_cell(TYPE_OBJECT, ctx, static_cast<uint32_t>(class_id), 0);
    *context::owner_cell(ctx) = obj;
    if (word_pos >= 0) {
      pos = static_cast<uint32_t>(word_pos);
      cell_at(parent, pos)->data1 = ctx;
    } else {
      pos = append(parent, obj);
    }
  });
  (void)at;
  return word_pos >= 0 ? -1 : pos;
}

int64_t Decoder::read_shared_object(NodeId parent, const uint8_t* at) {
  Cell c = read_path();
  TypeId t = c.type();
  if ((word::is_any_word(t) && t != TYPE_ISSUE) && c.data1 && c.data1 != context::global)
    c = *context::owner_cell(c.data1);
  if (!c.is(TYPE_OBJECT)) bad(at);
  c.header = TYPE_OBJECT;
  return append(parent, c);
}

}  // namespace tav::tavbin::tavbin_decode_detail
