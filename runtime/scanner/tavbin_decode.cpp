// The Tavbin decoder (codec and boot modes) and the boot loader.
//
// Every read goes through the Decoder's bounded field readers; a cell that a later record
// may reach by a reference path is appended to its parent before its own contents are
// decoded, so cyclic values resolve. The collector is off for the whole decode: fresh
// series are referred to from the target block only once their parent cell is written.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "boot.h"
#include "collector.h"
#include "context.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "evaluator/natives.h"
#include "types.h"
#include "error_catalogue.h"
#include "errors.h"
#include "hash_index.h"
#include "init_steps.h"
#include "memory.h"
#include "runtime.h"
#include "scanner/lz_codec.h"
#include "scanner/tavbin.h"
#include "stack.h"
#include "string_buffer.h"
#include "symbols.h"
#include "unicode.h"
#include "words.h"

namespace tav::tavbin {

bool codec_mode = false;

namespace tavbin_decode_detail {

// Raised for a bad magic or corrupt compressed data; the caller reports it by mode.
struct BadStream {
  const char* boot_message;
};

class Decoder {
 public:
  Decoder(bool codec, NodeId target, uint32_t cells_before)
      : codec_(codec), target_(target), cells_before_(cells_before) {}

  // Reads the stream after the flags byte: p..end, where p lies `offset` bytes after the
  // first magic byte (positions in errors count from there).
  void run(const uint8_t* p, const uint8_t* end, int64_t offset, bool compact) {
    origin_ = p;
    origin_offset_ = offset;
    p_ = p;
    end_ = end;
    compact_ = compact;
    compact ? read_compact_header() : read_fixed_header();
    while (p_ < end_) read_value(target_);
  }

 private:
  bool codec_;
  bool compact_ = true;
  NodeId target_;
  uint32_t cells_before_;
  const uint8_t* origin_ = nullptr;
  int64_t origin_offset_ = 0;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* records_ = nullptr;
  const uint8_t* offsets_ = nullptr;
  const uint8_t* strings_ = nullptr;
  uint32_t symbol_count_ = 0;
  uint32_t strings_size_ = 0;
  std::vector<uint32_t> symbols_;   // interned ids, 0 until first use
  // Per symbol-table entry, the word's position in the global context, -1 until first use:
  // most words of a stream are global, and each distinct one is looked up there once.
  std::vector<int32_t> global_index_;
  uint32_t last_symbol_index_ = 0;
  uint32_t depth_ = 0;

  // ---- Faults and bounds ---------------------------------------------------------------

  [[noreturn]] void bad(const uint8_t* at) {
    Cell pos;
    set_integer(&pos, static_cast<int32_t>(origin_offset_ + (at - origin_) + 1));
    error::raise(ERR_SCRIPT, "tb-invalid-record", &pos);
  }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  void need(size_t n) {
    if (left() < n) bad(p_);
  }

  // ---- Fields --------------------------------------------------------------------------

  uint8_t byte() {
    need(1);
    return *p_++;
  }
  uint32_t varint() {
    uint32_t v = 0;
    for (int i = 0; i < 5; i++) {
      if (p_ >= end_) bad(p_);
      uint8_t b = *p_;
      if (i == 4 && b >= 0x10) bad(p_);
      p_++;
      v |= uint32_t(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) return v;
    }
    return v;   // not reached: the 5th byte has no continuation bit
  }
  int32_t zigzag() {
    uint32_t u = varint();
    return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1)));
  }
  uint32_t u32() {
    need(4);
    uint32_t v = uint32_t(p_[0]) | uint32_t(p_[1]) << 8 | uint32_t(p_[2]) << 16 |
                 uint32_t(p_[3]) << 24;
    p_ += 4;
    return v;
  }
  // A count field, which no record may claim beyond the bytes left (units of min_size).
  uint32_t count(uint64_t unit_bytes = 1) {
    const uint8_t* at = p_;
    uint32_t n = compact_ ? varint() : u32();
    if (n > INT32_MAX || uint64_t(n) * unit_bytes > left()) bad(at);
    return n;
  }
  uint32_t head() {
    const uint8_t* at = p_;
    uint32_t h = compact_ ? varint() : u32();
    if (h > INT32_MAX) bad(at);
    return h;
  }
  void raw(void* dst, size_t n) {
    need(n);
    if (n) std::memcpy(dst, p_, n);
    p_ += n;
  }
  void skip_padding(size_t multiple) {
    while ((p_ - records_) % multiple) {
      if (p_ >= end_ || *p_ != 0) bad(p_);
      p_++;
    }
  }

  uint32_t symbol() {
    const uint8_t* at = p_;
    uint32_t i = compact_ ? varint() : u32();
    if (i >= symbol_count_) bad(at);
    if (symbols_[i] == 0) {
      const uint8_t* o = offsets_ + size_t(i) * 4;
      uint32_t off = uint32_t(o[0]) | uint32_t(o[1]) << 8 | uint32_t(o[2]) << 16 |
                     uint32_t(o[3]) << 24;
      if (off >= strings_size_) bad(at);
      const uint8_t* s = strings_ + off;
      const uint8_t* z = static_cast<const uint8_t*>(std::memchr(s, 0, strings_size_ - off));
      size_t len = static_cast<size_t>(z - s);   // the table ends with a NUL: z is found
      if (len == 0 || !valid_utf8(s, len)) bad(at);
      symbols_[i] = symbol::make(reinterpret_cast<const char*>(s), len);
    }
    last_symbol_index_ = i;
    return symbols_[i];
  }
  static bool valid_utf8(const uint8_t* s, size_t len) {
    size_t i = 0;
    while (i < len) {
      size_t n = 0;
      if (unicode::decode_utf8_checked(s + i, len - i, &n) < 0 || n == 0) return false;
      i += n;
    }
    return true;
  }

  // ---- Headers -------------------------------------------------------------------------

  void read_compact_header() {
    varint();   // root count: the records say how many values there are
    const uint8_t* at = p_;
    uint32_t size = varint();
    if (flags_symbols_) read_symbol_table();
    if (size > left()) bad(at);
    records_ = p_;
    end_ = p_ + size;
  }
  void read_fixed_header() {
    if (left() < 8) bad(p_);
    u32();
    const uint8_t* at = p_;
    uint32_t size = u32();
    if (flags_symbols_) read_symbol_table();
    if (size > left()) bad(at);
    records_ = p_;
    end_ = p_ + size;
  }
  void read_symbol_table() {
    const uint8_t* at = p_;
    uint32_t n = compact_ ? varint() : u32();
    uint32_t s = compact_ ? varint() : u32();
    if (uint64_t(n) * 4 > left() || uint64_t(n) * 4 + s > left()) bad(at);
    offsets_ = p_;
    strings_ = p_ + size_t(n) * 4;
    symbol_count_ = n;
    strings_size_ = s;
    if (n > 0 && (s == 0 || strings_[s - 1] != 0)) bad(strings_ + (s ? s - 1 : 0));
    for (uint32_t i = 0; i < n; i++)
      if (offsets_[i * 4 + 3] & 0x80) bad(offsets_ + i * 4);
    symbols_.assign(n, 0);
    global_index_.assign(n, -1);
    p_ = strings_ + s;
  }

 public:
  bool flags_symbols_ = false;

 private:
  // ---- Cells ---------------------------------------------------------------------------

  static uint32_t append(NodeId parent, const Cell& c) {
    Cell* slot = series::buffer_new_tail_cell(parent);
    *slot = c;
    return node_buffer(parent)->count() - 1;
  }
  static Cell* cell_at(NodeId parent, uint32_t i) { return node_buffer(parent)->cells() + i; }

  struct DepthGuard {
    Decoder& d;
    explicit DepthGuard(Decoder& dec) : d(dec) {
      if (d.depth_ >= MAX_DEPTH) error::raise(ERR_INTERNAL, "too-deep");
      d.depth_++;
    }
    ~DepthGuard() { d.depth_--; }
  };

  // ---- Reference paths -----------------------------------------------------------------

  Cell read_path() {
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
  static std::optional<Cell> cell_of(NodeId block, uint32_t k) {
    if (block == 0 || k >= node_buffer(block)->count()) return std::nullopt;
    return *cell_at(block, k);
  }
  // The function a cell stands for in a path: a function!, an op! made from one, or a word
  // bound to a function's context.
  static std::optional<Cell> function_of(const Cell& c) {
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
  static std::optional<Cell> builtin_spec(const Cell& c) {
    TypeId t = c.type();
    if (t == TYPE_OP) t = static_cast<TypeId>((c.header >> 16) & 0xFF);
    if ((t != TYPE_NATIVE && t != TYPE_ACTION) || c.data2 == 0) return std::nullopt;
    return make_cell(TYPE_BLOCK, 0, c.data2);
  }
  static std::optional<Cell> step_into(const Cell& cur, uint32_t k) {
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
    if (t == TYPE_ERROR && k < 6 && cur.data1) return cell_of(cur.data1, ERROR_ARG1 + k);
    return std::nullopt;
  }

  // The family a shared record and the cell it designates must share.
  static int share_family(TypeId t) {
    if (t == TYPE_HASH) return 1;
    if (is_any_block(t)) return 2;
    if (is_any_string(t)) return 3;
    switch (t) {
      case TYPE_BINARY: return 4;
      case TYPE_VECTOR: return 5;
      case TYPE_BITSET: return 6;
      case TYPE_MAP: return 7;
      default: return 0;
    }
  }

  // A series record after the shared prefix: a copy of the designated series with the
  // record's type and head.
  uint32_t read_shared_series(NodeId parent, TypeId t, uint32_t head, const uint8_t* at) {
    Cell c = read_path();
    // A block record may name a built-in: its spec shares the built-in's path.
    if (t == TYPE_BLOCK) {
      if (std::optional<Cell> spec = builtin_spec(c)) c = *spec;
    }
    if (share_family(c.type()) != share_family(t)) bad(at);
    if (t != TYPE_MAP && t != TYPE_BITSET) {
      SeriesBuffer* b = node_buffer(c.data2);
      if (head > b->count()) bad(at);
      c.data1 = head;
    }
    c.header = t;
    return append(parent, c);
  }

  // ---- Values --------------------------------------------------------------------------

  void read_value(NodeId parent) { compact_ ? read_compact(parent) : read_fixed(parent); }

  void read_compact(NodeId parent) {
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

  void read_fixed(NodeId parent) {
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
  uint32_t fixed_header_ = 0;
  uint32_t fixed_header_op_ = 0;   // the op! record's header word, while its wrapped record is read

  // One record after its type; answers the position of the appended cell (-1: none).
  int64_t read_typed(NodeId parent, TypeId t, bool flag, bool shared, bool binding,
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
      case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
      case TYPE_IMAGE: {
        // image! has a record, but no decoder until the datatype exists.
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

  int64_t read_block(NodeId parent, TypeId t, uint32_t h, const uint8_t* at) {
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

  int64_t read_bytes(NodeId parent, TypeId t, uint32_t h, const uint8_t* at) {
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

  int64_t read_bitset(NodeId parent, bool complemented) {
    uint32_t n = count();
    NodeId node = alloc::new_bytes(n);
    SeriesBuffer* b = node_buffer(node);
    raw(b->head_ptr(), n);
    b->tail = b->head + n;
    if (complemented) b->flags |= BITSET_COMPLEMENTED;
    if (!compact_) skip_padding(4);
    return append(parent, make_cell(TYPE_BITSET, 0, node));
  }

  static bool map_key_type(TypeId t) {
    return (t >= TYPE_STRING && t <= TYPE_FLOAT) || (t >= TYPE_WORD && t <= TYPE_ISSUE) ||
           (t >= TYPE_PAIR && t <= TYPE_TUPLE) || t == TYPE_BINARY ||
           (t >= TYPE_TIME && t <= TYPE_EMAIL) || t == TYPE_DATE ||
           (t >= TYPE_MONEY && t <= TYPE_POINT3D);
  }

  int64_t read_map(NodeId parent, const uint8_t* at) {
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

  // ---- Words ---------------------------------------------------------------------------

  // A word bound in the global context; sym must be the symbol just read (its table entry
  // caches the position: the global context only grows during a decode).
  Cell global_word(TypeId t, uint32_t sym) {
    int32_t& index = global_index_[last_symbol_index_];
    if (index < 0) index = context::find_or_add_word(context::global, sym);
    return make_cell(t, context::global, sym, static_cast<uint32_t>(index));
  }

  int64_t read_word_boot(NodeId parent, TypeId t, bool flag, bool binding, const uint8_t* at) {
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

  int64_t read_word_codec(NodeId parent, TypeId t, bool flag, bool shared, const uint8_t* at) {
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
  int64_t finish_codec_word(NodeId parent, uint32_t pos, NodeId ctx, uint32_t sym, int32_t k,
                            const uint8_t* index_at) {
    if (k == -1) k = context::find_symbol(ctx, sym, true);
    bool stack_ok = context::owner_cell(ctx)->is(TYPE_FUNCTION);
    if (k < 0 || (context::on_stack(context::context_cell(ctx)) && !stack_ok) ||
        uint32_t(k) >= context::word_count(ctx))
      bad(index_at);
    cell_at(parent, pos)->data3 = static_cast<uint32_t>(k);
    return pos;
  }

  // ---- Contexts and objects -------------------------------------------------------------

  // A context part after its type: makes the context, lets `attach` refer to it (so that
  // references among its values resolve), then reads its words and values.
  template <typename Attach>
  NodeId read_context_part(const uint8_t* at, bool allow_values, Attach attach,
                           bool of_function = false) {
    uint32_t flags, n;
    if (compact_) {
      flags = byte();
      n = count();
    } else {
      uint32_t h = fixed_header_;
      flags = ((h >> 26) & 3) | ((h & FIXED_CTX_ON_STACK) ? CTX_ON_STACK : 0) |
              ((h & FIXED_CTX_SELF) ? CTX_HAS_SELF : 0) | ((h & FIXED_CTX_VALUES) ? CTX_VALUES : 0);
      n = count(4);
    }
    if (flags & ~uint32_t(CTX_KIND_MASK | CTX_ON_STACK | CTX_HAS_SELF | CTX_VALUES)) bad(at);
    auto kind = static_cast<context::Kind>(flags & CTX_KIND_MASK);
    bool on_stack = (flags & CTX_ON_STACK) != 0;
    // Script data makes object contexts only: a global-kind or on-stack context would be
    // read through the argument stack or taken for the global one.
    // A function's own context is always a function context on the argument stack.
    if (of_function && flags != (context::KIND_FUNCTION | CTX_ON_STACK)) bad(at);
    if (codec_ && !of_function &&
        (on_stack || (kind != context::KIND_OBJECT && kind != context::KIND_FUNCTION)))
      bad(at);
    NodeId ctx = context::make(kind, n, on_stack, (flags & CTX_HAS_SELF) != 0);
    attach(ctx);
    for (uint32_t i = 0; i < n; i++) {
      const uint8_t* sym_at = p_;
      uint32_t sym = symbol();
      if (context::find_symbol(ctx, sym, true) >= 0) bad(sym_at);
      context::find_or_add_word(ctx, sym);
    }
    if ((flags & CTX_VALUES) && !on_stack) {
      if (!allow_values) bad(at);
      NodeId values = context::context_cell(ctx)->data2;
      node_buffer(values)->tail = node_buffer(values)->head;
      for (uint32_t i = 0; i < n; i++) read_value(values);
      if (node_buffer(values)->count() != n) bad(at);
    }
    return ctx;
  }

  int64_t read_context_record(NodeId parent, const uint8_t* at) {
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
  const uint8_t* context_type() {
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
  int64_t read_object(NodeId parent, bool handlers, int64_t word_pos, const uint8_t* at) {
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

  int64_t read_shared_object(NodeId parent, const uint8_t* at) {
    Cell c = read_path();
    TypeId t = c.type();
    if ((word::is_any_word(t) && t != TYPE_ISSUE) && c.data1 && c.data1 != context::global)
      c = *context::owner_cell(c.data1);
    if (!c.is(TYPE_OBJECT)) bad(at);
    c.header = TYPE_OBJECT;
    return append(parent, c);
  }

  // ---- Functions and built-ins -----------------------------------------------------------

  struct BlockPart {
    NodeId node = 0;
    uint32_t head = 0;
    bool new_line = false;
  };

  // A block record where only a block may stand (a function's spec and body, a built-in's
  // spec): its prefixes, a block type with an optional head, then a path to an earlier
  // block or the count and the values. `attach` learns the node before the values are read,
  // so that paths among them reach the block.
  template <typename Attach>
  BlockPart read_block_part(Attach attach) {
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
  int64_t read_function(NodeId parent, int64_t word_pos, const uint8_t* at) {
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

  int64_t read_shared_function(NodeId parent, const uint8_t* at) {
    std::optional<Cell> fn = function_of(read_path());
    if (!fn) bad(at);
    Cell c = *fn;
    c.header &= ~FLAG_NEW_LINE;
    return append(parent, c);
  }

  // native! and action!: the table position and the spec. In boot mode a root record also
  // leaves its spec in the root block, after the built-in (the literal index counts it).
  int64_t read_native(NodeId parent, TypeId t, const uint8_t* at) {
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
  int64_t read_op(NodeId parent, const uint8_t* at) {
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

  int64_t read_error(NodeId parent, const uint8_t* at) {
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
};

// Switches the collector off for a scope and puts the codec flag back.
struct DecodeScope {
  bool collector_was = collector::enabled;
  DecodeScope() { collector::enabled = false; }
  ~DecodeScope() { collector::enabled = collector_was; }
};

[[noreturn]] void raise_invalid_data(const uint8_t* data, int64_t length, const Cell* data_arg) {
  Cell arg;
  if (data_arg) {
    arg = *data_arg;
  } else {
    uint32_t n = length < 0 ? 6 : static_cast<uint32_t>(std::min<int64_t>(length, 64));
    NodeId node = alloc::new_bytes(n);
    SeriesBuffer* b = node_buffer(node);
    if (n) std::memcpy(b->head_ptr(), data, n);
    b->tail = b->head + n;
    arg = make_cell(TYPE_BINARY, 0, node);
  }
  error::raise(ERR_SCRIPT, "invalid-data", &arg);
}

[[noreturn]] void boot_failure(const char* message) {
  std::fprintf(stderr, "Error: %s\n", message);
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace tavbin_decode_detail

uint32_t decode(const uint8_t* data, int64_t length, Cell* target_cell, bool from_codec,
                const Cell* data_arg) {
  using namespace tavbin_decode_detail;
  DecodeScope scope;
  NodeId target = target_cell->data2;
  bool bounded = length >= 0;
  // Magic, version and flags: 8 bytes.
  if ((bounded && length < 8) || std::memcmp(data, MAGIC, 6) != 0) {
    if (from_codec) raise_invalid_data(data, length, data_arg);
    boot_failure("Not a Tavbin file!");
  }
  uint8_t flags = data[7];
  uint32_t cells_before = node_buffer(target)->count();
  const uint8_t* rest = data + 8;
  // Our own boot image carries its sizes; only it may be read without a bound.
  const uint8_t* rest_end = bounded ? data + length : rest + (size_t(1) << 40);
  std::optional<std::vector<uint8_t>> unpacked;
  int64_t offset = 8;
  if (flags & FLAG_COMPRESSED) {
    size_t n = static_cast<size_t>(rest_end - rest);
    if (!bounded) {
      uint32_t packed = uint32_t(rest[0]) | uint32_t(rest[1]) << 8 | uint32_t(rest[2]) << 16 |
                        uint32_t(rest[3]) << 24;
      n = size_t(packed) + lz::HEADER_SIZE;
    }
    unpacked = lz::decompress(rest, n);
    if (!unpacked) {
      if (from_codec) raise_invalid_data(data, length, data_arg);
      boot_failure("Tavbin compressed data corrupted!");
    }
    rest = unpacked->data();
    rest_end = rest + unpacked->size();
  }
  Decoder decoder(from_codec, target, cells_before);
  decoder.flags_symbols_ = (flags & FLAG_SYMBOLS) != 0;
  decoder.run(rest, rest_end, offset, (flags & FLAG_COMPACT) != 0);
  return cells_before;
}

uint32_t load_boot(const uint8_t* data, size_t length) {
  codec_mode = false;
  Cell root = make_cell(TYPE_BLOCK, 0, runtime::root_node);
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    uint32_t first = decode(data, static_cast<int64_t>(length), &root, false);
    stack::restore(saved);
    return first;
  } catch (const Unwind& u) {
    std::string text = "boot image";
    if (u.code == CODE_ERROR && stack::top > stack::begin && (stack::top - 1)->is(TYPE_ERROR))
      text = error::form(stack::top - 1);
    stack::restore(saved);
    std::fprintf(stderr, "Error: the boot image cannot be loaded\n%s\n", text.c_str());
    std::fflush(stderr);
    std::exit(1);
  }
}

}  // namespace tav::tavbin

// The build embeds the boot image as these two symbols; a program linked without one (the
// image-building tool) starts with an empty library.
extern "C" {
extern const uint8_t tav_boot_image[] __attribute__((weak));
extern const size_t tav_boot_image_size __attribute__((weak));
}

namespace tav::init_steps {
void boot_image() {
  if (boot::text_manifest) {
    runtime::boot_root_index = boot::load_text_sources();
    boot::image_loaded = true;
    return;
  }
  if (&tav_boot_image_size == nullptr || tav_boot_image == nullptr) return;
  runtime::boot_root_index = tavbin::load_boot(tav_boot_image, tav_boot_image_size);
  boot::image_loaded = true;
}
}  // namespace tav::init_steps
