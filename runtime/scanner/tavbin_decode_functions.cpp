// Reading records that become callable or carry a fault: function!, native!, action! and op!
// records, made as the runtime makes them so that calls can trust them, and error! records.
#include <cstdint>
#include <optional>

#include "core/context.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "core/error_catalogue.h"
#include "core/errors.h"
#include "core/native_list.h"
#include "core/memory.h"
#include "scanner/tavbin.h"
#include "scanner/tavbin_decoder.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav::tavbin::tavbin_decode_detail {

// ---- Functions and built-ins -----------------------------------------------------------

// A block record where only a block may stand (a function's spec and body, a built-in's
// spec): its prefixes, a block type with an optional head, then a path to an earlier
// block or the count and the values. `attach` learns the node before the values are read,
// so that paths among them reach the block.
template <typename Attach>
Decoder::BlockPart Decoder::read_block_part(Attach attach) {
  DepthGuard guard(*this);
  BlockPart part;
  const uint8_t* at = p_;
  bool shared = false;
  if (compact_) {
    for (;;) {
      if (p_ < end_ && *p_ == PREFIX_NEW_LINE) part.new_line = true;
      else if (p_ < end_ && *p_ == PREFIX_SHARED) shared = true;
      else break;
      p_++;
    }
    at = p_;
    uint8_t b = byte();
    if ((b & 0x3F) != TYPE_BLOCK) bad(at);
    if (b & 0x40) part.head = head();
  } else {
    uint32_t h;
    do {
      at = p_;
      h = u32();
    } while (h == 0);
    if ((h & ~(FIXED_NEW_LINE | FIXED_SHARED)) != TYPE_BLOCK) bad(at);
    shared = (h & FIXED_SHARED) != 0;
    part.new_line = (h & FIXED_NEW_LINE) != 0;
    part.head = head();
  }
  if (shared) {
    Cell c = read_path();
    if (std::optional<Cell> spec = builtin_spec(c)) c = *spec;
    if (!c.is(TYPE_BLOCK)) bad(at);
    part.node = c.data2;
    if (part.head > node_buffer(part.node)->count()) bad(at);
    attach(part.node);
    return part;
  }
  uint32_t n = count();
  if (part.head > n) bad(at);
  part.node = alloc::new_cells(n ? n : 1);
  attach(part.node);
  for (uint32_t i = 0; i < n; i++) read_value(part.node);
  if (node_buffer(part.node)->count() != n) bad(at);
  return part;
}

// A function! record after its type; word_pos >= 0 makes it the owner of the word at that
// position of the parent instead of a value of its own. The function is appended (or
// given to the word) before its spec and body are read, so paths inside them reach it.
int64_t Decoder::read_function(NodeId parent, int64_t word_pos, const uint8_t* at) {
  count();   // the spec and body sizes: the blocks' own counts size them
  count();
  const uint8_t* ctx_at = context_type();
  NodeId more = alloc::new_cells(function::MORE_CELLS);
  SeriesBuffer* mb = node_buffer(more);
  mb->tail = mb->head + function::MORE_CELLS * sizeof(Cell);
  for (uint32_t i = 0; i < function::MORE_CELLS; i++) set_unset(mb->cells() + i);
  set_none(mb->cells() + function::MORE_BODY);
  int64_t pos = -1;
  // A failing decode must not leave a half-made function to be called: its cells become
  // none!.
  struct Unfinished {
    NodeId parent;
    int64_t& pos;
    NodeId ctx = 0;
    bool done = false;
    ~Unfinished() {
      if (done) return;
      if (pos >= 0) set_none(node_buffer(parent)->cells() + pos);
      if (ctx) set_none(context::owner_cell(ctx));
    }
  } unfinished{parent, pos};
  NodeId ctx = read_context_part(ctx_at, false, [&](NodeId c) {
    unfinished.ctx = c;
    Cell fn = make_cell(TYPE_FUNCTION, c, 0, more);
    *context::owner_cell(c) = fn;
    if (word_pos >= 0) cell_at(parent, static_cast<uint32_t>(word_pos))->data1 = c;
    else pos = append(parent, fn);
  }, true);
  // Every copy of the function value changes together while it is being read.
  auto update = [&](auto change) {
    change(*context::owner_cell(ctx));
    if (pos >= 0) change(*cell_at(parent, static_cast<uint32_t>(pos)));
  };
  BlockPart spec = read_block_part([&](NodeId n) { update([n](Cell& f) { f.data2 = n; }); });
  // The spec must be one `func` accepts and give exactly the context read: calls rely on
  // both.
  Cell spec_block = make_cell(TYPE_BLOCK, spec.head, spec.node);
  if (spec.head != 0) {
    spec_block = make_cell(TYPE_BLOCK, 0, series::copy_part(spec.node, spec.head,
                                                            node_buffer(spec.node)->count() - spec.head));
    update([&](Cell& f) { f.data2 = spec_block.data2; });
  }
  uint32_t flags = function::check_spec(&spec_block);
  NodeId expected = context::make_from_spec(&spec_block, context::KIND_FUNCTION, true);
  uint32_t n = context::word_count(ctx);
  if (context::word_count(expected) != n) bad(ctx_at);
  for (uint32_t i = 0; i < n; i++)
    if (symbol::alias(context::word_cell(ctx, i)->data2) !=
        symbol::alias(context::word_cell(expected, i)->data2))
      bad(ctx_at);
  update([flags](Cell& f) { f.header |= flags & (FLAG_TRACE | FLAG_NO_TRACE); });
  BlockPart body = read_block_part([&](NodeId b) {
    node_buffer(more)->cells()[function::MORE_BODY] = make_cell(TYPE_BLOCK, 0, b);
  });
  node_buffer(more)->cells()[function::MORE_BODY] = make_cell(TYPE_BLOCK, body.head, body.node);
  unfinished.done = true;
  (void)at;
  return pos;
}

int64_t Decoder::read_shared_function(NodeId parent, const uint8_t* at) {
  std::optional<Cell> fn = function_of(read_path());
  if (!fn) bad(at);
  Cell c = *fn;
  c.header &= ~FLAG_NEW_LINE;
  return append(parent, c);
}

// native! and action!: the table position and the spec. In boot mode a root record also
// leaves its spec in the root block, after the built-in (the literal index counts it).
int64_t Decoder::read_native(NodeId parent, TypeId t, const uint8_t* at) {
  const uint8_t* index_at = p_;
  uint32_t k = compact_ ? varint() : u32();
  // The actions a word may name: not the dispatchers of paths and comparisons.
  bool ok = t == TYPE_NATIVE
                ? k >= 1 && k <= natives::NATIVE_COUNT
                : k >= 1 && k <= uint32_t(ACTION_COUNT) &&
                      !(k >= uint32_t(ACT_EVAL_PATH) && k <= uint32_t(ACT_COMPARE));
  if (!ok) bad(index_at);
  // Until its spec is read the built-in stands as that block (a path into either reaches
  // the same cells), so a failing decode leaves nothing half made.
  uint32_t pos = append(parent, make_cell(TYPE_NONE));
  const uint8_t* spec_at = p_;
  BlockPart spec = read_block_part([&](NodeId n) { *cell_at(parent, pos) = make_cell(TYPE_BLOCK, 0, n); });
  Cell spec_block = make_cell(TYPE_BLOCK, spec.head, spec.node);
  if (spec.head != 0) bad(spec_at);
  // Made as `make native!` makes it: the argument context comes from its spec block.
  NodeId arg = alloc::new_cells(2);
  SeriesBuffer* ab = node_buffer(arg);
  ab->cells()[0] = spec_block;
  set_integer(ab->cells() + 1, static_cast<int32_t>(k));
  ab->tail = ab->head + 2 * sizeof(Cell);
  Cell arg_block = make_cell(TYPE_BLOCK, 0, arg);
  Cell proto = make_cell(t);
  Cell made = *native_type::make(&proto, &arg_block, t);
  stack::pop(1);
  *cell_at(parent, pos) = made;
  if (!codec_ && parent == target_) {
    Cell spec_cell = spec_block;
    if (spec.new_line) spec_cell.header |= FLAG_NEW_LINE;
    append(parent, spec_cell);
  }
  (void)at;
  return pos;
}

// op!: the next record is the wrapped native, action or function, turned into the op.
int64_t Decoder::read_op(NodeId parent, const uint8_t* at) {
  uint32_t pos = node_buffer(parent)->count();
  read_value(parent);
  if (node_buffer(parent)->count() <= pos) bad(at);
  Cell c = *cell_at(parent, pos);
  TypeId t = c.type();
  if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION) bad(at);
  if (!compact_ && ((fixed_header_op_ >> 16) & 0xFF) != t) bad(at);
  if (!native_type::op_valid_spec(c.data2)) bad(at);
  if (t == TYPE_FUNCTION) node_buffer(c.data3)->cells()[function::MORE_OP_SELF] = c;
  cell_at(parent, pos)->header = TYPE_OP | (uint32_t(t) << 16);
  return pos;
}

int64_t Decoder::read_error(NodeId parent, const uint8_t* at) {
  uint32_t code = compact_ ? varint() : u32();
  int cat, id;
  if (code > INT32_MAX || !error_catalogue::split_code(static_cast<int32_t>(code), &cat, &id))
    bad(at);
  Cell err;
  error::make_from_code(static_cast<int32_t>(code), &err);
  uint32_t pos = append(parent, err);
  NodeId scratch = alloc::new_cells(6);
  for (int k = 0; k < 6; k++) {
    read_value(scratch);
    if (node_buffer(scratch)->count() != uint32_t(k + 1)) bad(at);
    Cell v = *cell_at(scratch, k);
    *error::field(cell_at(parent, pos), static_cast<ErrorField>(ERROR_ARG1 + k)) = v;
  }
  return pos;
}

}  // namespace tav::tavbin::tavbin_decode_detail
