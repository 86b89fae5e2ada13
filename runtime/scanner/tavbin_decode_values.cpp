// Reading value records: the scalar, series, map and bitset records, and the reference paths
// that let a record share a value decoded earlier in the same stream.
#include <cmath>
#include <cstdint>
#include <optional>

#include "core/context.h"
#include "datatypes/date.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/money.h"
#include "core/errors.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "scanner/tavbin.h"
#include "scanner/tavbin_decoder.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::tavbin::tavbin_decode_detail {

// ---- Reference paths -----------------------------------------------------------------

Cell Decoder::read_path() {
  const uint8_t* at = p_;
  if (!compact_ && u32() != FIXED_REFERENCE) bad(at);
  at = p_;
  uint32_t n = compact_ ? varint() : u32();
  if (n == 0 || n > MAX_PATH || n > left()) bad(at);
  Cell cur{};
  for (uint32_t step = 0; step < n; step++) {
    const uint8_t* here = p_;
    uint32_t k = compact_ ? varint() : u32();
    if (step == 0) {
      uint32_t total = node_buffer(target_)->count();
      if (uint64_t(cells_before_) + k >= total) bad(here);
      cur = *cell_at(target_, cells_before_ + k);
      continue;
    }
    std::optional<Cell> next = step_into(cur, k);
    if (!next) bad(here);
    cur = *next;
  }
  return cur;
}
std::optional<Cell> Decoder::cell_of(NodeId block, uint32_t k) {
  if (block == 0 || k >= node_buffer(block)->count()) return std::nullopt;
  return *cell_at(block, k);
}
// The function a cell stands for in a path: a function!, an op! made from one, or a word
// bound to a function's context.
std::optional<Cell> Decoder::function_of(const Cell& c) {
  TypeId t = c.type();
  if (t == TYPE_FUNCTION) return c;
  bool via_op = t == TYPE_OP && ((c.header >> 16) & 0xFF) == TYPE_FUNCTION;
  bool via_word = word::is_any_word(t) && t != TYPE_ISSUE && c.data1 &&
                  c.data1 != context::global;
  if (!via_op && !via_word) return std::nullopt;
  Cell owner = *context::owner_cell(c.data1);
  if (!owner.is(TYPE_FUNCTION)) return std::nullopt;
  return owner;
}
// The spec block of a native!, an action! or an op! made from one.
std::optional<Cell> Decoder::builtin_spec(const Cell& c) {
  TypeId t = c.type();
  if (t == TYPE_OP) t = static_cast<TypeId>((c.header >> 16) & 0xFF);
  if ((t != TYPE_NATIVE && t != TYPE_ACTION) || c.data2 == 0) return std::nullopt;
  return make_cell(TYPE_BLOCK, 0, c.data2);
}
std::optional<Cell> Decoder::step_into(const Cell& cur, uint32_t k) {
  TypeId t = cur.type();
  if (is_any_block(t) || t == TYPE_MAP) return cell_of(cur.data2, k);
  if (std::optional<Cell> fn = function_of(cur)) {
    // 0: the spec block, 1: the body block (either may still be being decoded).
    if (k == 0 && fn->data2) return make_cell(TYPE_BLOCK, 0, fn->data2);
    if (k == 1) {
      Cell body = node_buffer(fn->data3)->cells()[function::MORE_BODY];
      if (body.is(TYPE_BLOCK)) return body;
    }
    return std::nullopt;
  }
  if (std::optional<Cell> spec = builtin_spec(cur)) return cell_of(spec->data2, k);
  if ((word::is_any_word(t) && t != TYPE_ISSUE) || t == TYPE_OBJECT) {
    NodeId ctx = cur.data1;
    if (ctx == 0 || context::on_stack(context::context_cell(ctx))) return std::nullopt;
    return cell_of(context::context_cell(ctx)->data2, k);
  }
  // An error's steps are its six written fields, arg1 to stack, held among its values.
  if (t == TYPE_ERROR && k < 6 && cur.data1)
    return cell_of(context::values_of(cur.data1), ERROR_ARG1 + k);
  return std::nullopt;
}

// The family a shared record and the cell it designates must share.
int Decoder::share_family(TypeId t) {
  if (t == TYPE_HASH) return 1;
  if (is_any_block(t)) return 2;
  if (is_any_string(t)) return 3;
  switch (t) {
    case TYPE_BINARY: return 4;
    case TYPE_VECTOR: return 5;
    case TYPE_BITSET: return 6;
    case TYPE_MAP: return 7;
    case TYPE_IMAGE: return 8;
    default: return 0;
  }
}

// A series record after the shared prefix: a copy of the designated series with the
// record's type and head.
uint32_t Decoder::read_shared_series(NodeId parent, TypeId t, uint32_t head,
                                     const uint8_t* at) {
  Cell c = read_path();
  // A block record may name a built-in: its spec shares the built-in's path.
  if (t == TYPE_BLOCK) {
    if (std::optional<Cell> spec = builtin_spec(c)) c = *spec;
  }
  if (share_family(c.type()) != share_family(t)) bad(at);
  if (t == TYPE_IMAGE) {
    if (head > uint64_t(image::width(&c)) * image::height(&c)) bad(at);
    c.data1 = head;
  } else if (t != TYPE_MAP && t != TYPE_BITSET) {
    SeriesBuffer* b = node_buffer(c.data2);
    if (head > b->count()) bad(at);
    c.data1 = head;
  }
  c.header = t;
  return append(parent, c);
}

// ---- Values --------------------------------------------------------------------------

void Decoder::read_compact(NodeId parent) {
  DepthGuard guard(*this);
  if (p_ >= end_) bad(p_);
  bool new_line = false, shared = false, binding = false;
  for (;;) {
    uint8_t b = byte();
    if (b == PREFIX_NEW_LINE) new_line = true;
    else if (b == PREFIX_SHARED) shared = true;
    else if (b == PREFIX_BINDING) {
      if (codec_) bad(p_);
      binding = true;
    } else {
      p_--;
      break;
    }
  }
  const uint8_t* at = p_;
  uint8_t item = byte();
  int64_t pos;
  if (item >= 0x80) {
    if (shared || binding) bad(at);
    Cell c;
    if (item < 0xC0) set_integer(&c, item - ITEM_SMALL_INTEGER);
    else if (item == ITEM_TRUE || item == ITEM_FALSE) set_logic(&c, item == ITEM_TRUE);
    else if (item == ITEM_REFERENCE) c = read_path();
    else bad(at);
    pos = append(parent, c);
  } else {
    uint32_t t = item & 0x3F;
    bool flag = (item & 0x40) != 0;
    if (t == 63) t = varint();
    if (t == 0 || t >= TYPE_TABLE_SIZE) bad(at);
    if (binding && !(t >= TYPE_WORD && t <= TYPE_ISSUE)) bad(at);
    pos = read_typed(parent, static_cast<TypeId>(t), flag, shared, binding, at);
  }
  if (new_line && pos >= 0) cell_at(parent, static_cast<uint32_t>(pos))->header |= FLAG_NEW_LINE;
}

void Decoder::read_fixed(NodeId parent) {
  DepthGuard guard(*this);
  const uint8_t* at;
  uint32_t h;
  do {
    at = p_;
    h = u32();
  } while (h == 0);
  TypeId t = static_cast<TypeId>(h & 0xFF);
  if (t >= TYPE_TABLE_SIZE) bad(at);
  bool shared = (h & FIXED_SHARED) != 0;
  bool binding = false;
  bool flag = false;
  switch (t) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
      if (codec_) flag = (h & FIXED_WORD_GLOBAL) == 0;
      else binding = (h & FIXED_WORD_BINDING) != 0;
      break;
    case TYPE_BITSET: flag = (h & FIXED_BITSET_COMPLEMENT) != 0; break;
    case TYPE_MONEY: flag = (h & FIXED_MONEY_NEGATIVE) != 0; break;
    case TYPE_OBJECT: flag = (h & FIXED_OBJECT_HANDLERS) != 0; break;
    // An op! is never shared, and its bits 16-23 hold the wrapped type: function! (24)
    // sets bit 19, which on other records means shared.
    case TYPE_OP: shared = false; break;
    default: break;
  }
  fixed_header_ = h;
  int64_t pos = read_typed(parent, t, flag, shared, binding, at);
  if ((h & FIXED_NEW_LINE) && pos >= 0)
    cell_at(parent, static_cast<uint32_t>(pos))->header |= FLAG_NEW_LINE;
}

// One record after its type; answers the position of the appended cell (-1: none).
int64_t Decoder::read_typed(NodeId parent, TypeId t, bool flag, bool shared, bool binding,
                            const uint8_t* at) {
  bool shareable = share_family(t) != 0 || (word::is_any_word(t) && t != TYPE_ISSUE) ||
                   t == TYPE_OBJECT || t == TYPE_FUNCTION;
  if (shared && !shareable) bad(at);
  Cell c{};
  switch (t) {
    case TYPE_DATATYPE: {
      uint32_t id = compact_ ? varint() : u32();
      if (id == 0 || id >= TYPE_TABLE_SIZE) bad(at);
      set_datatype(&c, static_cast<TypeId>(id));
      break;
    }
    case TYPE_UNSET: set_unset(&c); break;
    case TYPE_NONE: set_none(&c); break;
    case TYPE_LOGIC: {
      if (compact_) bad(at);
      uint32_t v = u32();
      if (v > 1) bad(at);
      set_logic(&c, v == 1);
      break;
    }
    case TYPE_CHAR: {
      uint32_t cp = compact_ ? varint() : u32();
      if (cp > string::MAX_CODE_POINT) bad(at);
      set_char(&c, cp);
      break;
    }
    case TYPE_INTEGER: set_integer(&c, compact_ ? zigzag() : static_cast<int32_t>(u32())); break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      c = make_cell(t);
      if (compact_ && flag) {
        double d = zigzag();
        c.set_float_value(t == TYPE_PERCENT ? d / 100.0 : d);
      } else if (compact_) {
        c.data2 = u32();
        c.data3 = u32();
      } else {
        skip_padding(8);
        c.data3 = u32();
        c.data2 = u32();
      }
      break;
    case TYPE_PAIR:
      c = make_cell(t);
      c.data2 = compact_ ? static_cast<uint32_t>(zigzag()) : u32();
      c.data3 = compact_ ? static_cast<uint32_t>(zigzag()) : u32();
      break;
    case TYPE_POINT2D: case TYPE_POINT3D:
      c = make_cell(t);
      c.data1 = u32();
      c.data2 = u32();
      if (t == TYPE_POINT3D) c.data3 = u32();
      break;
    case TYPE_DATE: {
      c = make_cell(t);
      c.data1 = u32();
      bool has_time = (c.data1 & DATE_HAS_TIME) != 0;
      if (compact_) {
        if (flag != has_time) bad(at);
        if (has_time) {
          c.data2 = u32();
          c.data3 = u32();
        }
      } else {
        c.data3 = u32();
        c.data2 = u32();
      }
      if (!date::names_a_day(c.data1) || (has_time && !std::isfinite(c.float_value()))) bad(at);
      break;
    }
    case TYPE_TYPESET: {
      c = make_cell(t);
      uint8_t n = 12;
      if (compact_) {
        n = byte();
        if (n > 12) bad(at);
      }
      raw(&c.data1, n);
      break;
    }
    case TYPE_TUPLE: {
      c = make_cell(t);
      uint32_t n;
      if (compact_) {
        n = flag ? byte() : 3;
        raw(&c.data1, n <= 12 ? n : 0);
      } else {
        n = (fixed_header_ >> 8) & 0xF;
        raw(&c.data1, 12);
      }
      if (n == 0 || n > 12) bad(at);
      c.header |= n << TUPLE_SIZE_SHIFT;
      break;
    }
    case TYPE_MONEY:
      c = make_cell(t, 0, 0, 0);
      if (flag) c.header |= MONEY_NEGATIVE;
      raw(&c.data1, 12);
      if (!money::well_formed(&c)) bad(at);
      break;
    case TYPE_ISSUE:
      c = make_cell(TYPE_ISSUE, context::global, symbol(), 0xFFFFFFFFu);
      break;
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
      return codec_ ? read_word_codec(parent, t, flag, shared, at)
                    : read_word_boot(parent, t, flag, binding, at);
    case TYPE_CONTEXT:
      return read_context_record(parent, at);
    case TYPE_OBJECT:
      if (shared) return read_shared_object(parent, at);
      return read_object(parent, flag, -1, at);
    case TYPE_ERROR:
      return read_error(parent, at);
    case TYPE_MAP:
      if (shared) return read_shared_series(parent, t, 0, at);
      return read_map(parent, at);
    case TYPE_BITSET:
      if (shared) return read_shared_series(parent, t, 0, at);
      return read_bitset(parent, flag);
    case TYPE_NATIVE: case TYPE_ACTION:
      if (shared) bad(at);
      return read_native(parent, t, at);
    case TYPE_OP:
      if (shared) bad(at);
      fixed_header_op_ = fixed_header_;
      return read_op(parent, at);
    case TYPE_FUNCTION:
      if (shared) return read_shared_function(parent, at);
      return read_function(parent, -1, at);
    case TYPE_IMAGE: {
      uint32_t h = !compact_ || flag ? head() : 0;
      if (shared) return read_shared_series(parent, t, h, at);
      return read_image(parent, h, at);
    }
    case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT: {
      Cell dt;
      set_datatype(&dt, t);
      error::raise(ERR_ACCESS, "no-codec", &dt);
    }
    default: {
      if (!(is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR))
        bad(at);
      uint32_t h = 0;
      if (!compact_) h = head();
      else if (flag) h = head();
      if (shared) return read_shared_series(parent, t, h, at);
      if (is_any_block(t)) return read_block(parent, t, h, at);
      return read_bytes(parent, t, h, at);
    }
  }
  return append(parent, c);
}

int64_t Decoder::read_block(NodeId parent, TypeId t, uint32_t h, const uint8_t* at) {
  uint32_t n = count();
  if (h > n) bad(at);
  NodeId node = alloc::new_cells(n ? n : 1);
  uint32_t pos = append(parent, make_cell(t, h, node));
  for (uint32_t i = 0; i < n; i++) read_value(node);
  if (node_buffer(node)->count() != n) bad(at);
  if (t == TYPE_HASH) {
    NodeId index = hash::new_table(n, node, hash::KIND_HASH);
    cell_at(parent, pos)->data3 = index;
  }
  return pos;
}

int64_t Decoder::read_bytes(NodeId parent, TypeId t, uint32_t h, const uint8_t* at) {
  uint32_t unit = 1, n, element_type = 0;
  if (is_any_string(t)) {
    if (compact_) {
      uint32_t code = varint();
      if ((code & 3) == 3) bad(at);
      unit = 1u << (code & 3);
      n = code >> 2;
    } else {
      unit = (fixed_header_ >> 8) & 0xFF;
      if (unit != 1 && unit != 2 && unit != 4) bad(at);
      n = u32();
    }
  } else if (t == TYPE_VECTOR) {
    if (compact_) {
      uint8_t kind = byte();
      unit = 1u << (kind & 3);
      element_type = kind >> 2;
      n = varint();
    } else {
      unit = (fixed_header_ >> 8) & 0xFF;
      n = u32();
      element_type = u32();
    }
    bool ok = false;
    if (element_type == TYPE_CHAR || element_type == TYPE_INTEGER)
      ok = unit == 1 || unit == 2 || unit == 4;
    else if (element_type == TYPE_FLOAT) ok = unit == 4 || unit == 8;
    else if (element_type == TYPE_PERCENT) ok = unit == 8;
    if (!ok) bad(at);
  } else {
    n = compact_ ? varint() : u32();
  }
  uint64_t bytes = uint64_t(n) * unit;
  if (bytes > left() || h > n) bad(at);
  if (unit == 4 && is_any_string(t)) {
    for (uint32_t i = 0; i < n; i++) {
      const uint8_t* q = p_ + size_t(i) * 4;
      uint32_t cp = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16 |
                    uint32_t(q[3]) << 24;
      if (cp > string::MAX_CODE_POINT) bad(q);
    }
  }
  NodeId node = alloc::new_series(n ? n : 1, unit, 0);
  SeriesBuffer* b = node_buffer(node);
  raw(b->head_ptr(), static_cast<size_t>(bytes));
  b->tail = b->head + static_cast<uint32_t>(bytes);
  if (!compact_) skip_padding(4);
  return append(parent, make_cell(t, h, node, element_type));
}

int64_t Decoder::read_image(NodeId parent, uint32_t h, const uint8_t* at) {
  uint32_t w, ht;
  if (compact_) {
    w = varint();
    ht = varint();
  } else {
    uint32_t size = u32();
    w = image_store::width_of(size);
    ht = image_store::height_of(size);
  }
  // In 64 bits: 65,535 squared times 4 does not fit in 32.
  uint64_t pixels = uint64_t(w) * ht;
  if (w > image_store::MAX_SIDE || ht > image_store::MAX_SIDE || pixels * 4 > left() || h > pixels ||
      !image_store::size_ok(w, ht))
    bad(at);
  image_store::Record* r = image_store::allocate(w, ht);
  if (!r) error::raise(ERR_INTERNAL, "no-memory");
  raw(r->pixels, size_t(pixels * 4));
  Cell c;
  image::make_at(&c, r);
  c.data1 = h;
  return append(parent, c);
}

int64_t Decoder::read_bitset(NodeId parent, bool complemented) {
  uint32_t n = count();
  NodeId node = alloc::new_bytes(n);
  SeriesBuffer* b = node_buffer(node);
  raw(b->head_ptr(), n);
  b->tail = b->head + n;
  if (complemented) b->flags |= BITSET_COMPLEMENTED;
  if (!compact_) skip_padding(4);
  return append(parent, make_cell(TYPE_BITSET, 0, node));
}

bool Decoder::map_key_type(TypeId t) {
  return (t >= TYPE_STRING && t <= TYPE_FLOAT) || (t >= TYPE_WORD && t <= TYPE_ISSUE) ||
         (t >= TYPE_PAIR && t <= TYPE_TUPLE) || t == TYPE_BINARY ||
         (t >= TYPE_TIME && t <= TYPE_EMAIL) || t == TYPE_DATE ||
         (t >= TYPE_MONEY && t <= TYPE_POINT3D);
}

int64_t Decoder::read_map(NodeId parent, const uint8_t* at) {
  uint32_t n = count();
  if (n % 2) bad(at);
  NodeId pairs = alloc::new_cells(n ? n : 1);
  uint32_t pos = append(parent, make_cell(TYPE_MAP, 0, pairs));
  for (uint32_t i = 0; i < n; i++) read_value(pairs);
  if (node_buffer(pairs)->count() != n) bad(at);
  for (uint32_t i = 0; i < n; i += 2) {
    Cell* key = cell_at(pairs, i);
    TypeId kt = key->type();
    if (!map_key_type(kt)) bad(at);
    if (kt == TYPE_WORD || kt == TYPE_LIT_WORD || kt == TYPE_GET_WORD) key->set_type(TYPE_SET_WORD);
  }
  NodeId index = hash::new_table(n / 2, pairs, hash::KIND_MAP);
  cell_at(parent, pos)->data3 = index;
  return pos;
}

}  // namespace tav::tavbin::tavbin_decode_detail
