// The Tavbin decoder's class, shared by the files that read its records. Internal to the
// scanner: the bounded field readers stay inline here, since every record read goes through them.
//
// Every read goes through the Decoder's bounded field readers; a cell that a later record
// may reach by a reference path is appended to its parent before its own contents are
// decoded, so cyclic values resolve. The collector is off for the whole decode: fresh
// series are referred to from the target block only once their parent cell is written.
#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "core/context.h"
#include "core/errors.h"
#include "core/memory.h"
#include "scanner/tavbin.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::tavbin::tavbin_decode_detail {

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

  // ---- Headers (tavbin_decode.cpp) -----------------------------------------------------

  void read_compact_header();
  void read_fixed_header();
  // After the records' size (read at size_at): the symbol table when there is one, then the
  // records themselves.
  void take_records(const uint8_t* size_at, uint32_t size);
  void read_symbol_table();

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

  // ---- Reference paths (tavbin_decode_values.cpp) ----------------------------------------

  Cell read_path();
  static std::optional<Cell> cell_of(NodeId block, uint32_t k);
  static std::optional<Cell> function_of(const Cell& c);
  static std::optional<Cell> builtin_spec(const Cell& c);
  static std::optional<Cell> step_into(const Cell& cur, uint32_t k);
  static int share_family(TypeId t);
  uint32_t read_shared_series(NodeId parent, TypeId t, uint32_t head, const uint8_t* at);

  // ---- Values (tavbin_decode_values.cpp) -------------------------------------------------

  void read_value(NodeId parent) { compact_ ? read_compact(parent) : read_fixed(parent); }

  void read_compact(NodeId parent);
  void read_fixed(NodeId parent);
  uint32_t fixed_header_ = 0;
  uint32_t fixed_header_op_ = 0;   // the op! record's header word, while its wrapped record is read

  int64_t read_typed(NodeId parent, TypeId t, bool flag, bool shared, bool binding,
                     const uint8_t* at);
  int64_t read_block(NodeId parent, TypeId t, uint32_t h, const uint8_t* at);
  int64_t read_bytes(NodeId parent, TypeId t, uint32_t h, const uint8_t* at);
  int64_t read_bitset(NodeId parent, bool complemented);
  int64_t read_image(NodeId parent, uint32_t h, const uint8_t* at);
  static bool map_key_type(TypeId t);
  int64_t read_map(NodeId parent, const uint8_t* at);

  // ---- Words (tavbin_decode_objects.cpp) -------------------------------------------------

  Cell global_word(TypeId t, uint32_t sym);
  int64_t read_word_boot(NodeId parent, TypeId t, bool flag, bool binding, const uint8_t* at);
  int64_t read_word_codec(NodeId parent, TypeId t, bool flag, bool shared, const uint8_t* at);
  int64_t finish_codec_word(NodeId parent, uint32_t pos, NodeId ctx, uint32_t sym, int32_t k,
                            const uint8_t* index_at);

  // ---- Contexts and objects (tavbin_decode_objects.cpp) ----------------------------------

  // A context part after its type: makes the context, lets `attach` refer to it (so that
  // references among its values resolve), then reads its words and values. Objects and
  // functions both read one, so it lives here.
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

  int64_t read_context_record(NodeId parent, const uint8_t* at);
  const uint8_t* context_type();
  int64_t read_object(NodeId parent, bool handlers, int64_t word_pos, const uint8_t* at);
  int64_t read_shared_object(NodeId parent, const uint8_t* at);

  // ---- Functions and built-ins (tavbin_decode_functions.cpp) -----------------------------

  struct BlockPart {
    NodeId node = 0;
    uint32_t head = 0;
    bool new_line = false;
  };

  template <typename Attach>
  BlockPart read_block_part(Attach attach);
  int64_t read_function(NodeId parent, int64_t word_pos, const uint8_t* at);
  int64_t read_shared_function(NodeId parent, const uint8_t* at);
  int64_t read_native(NodeId parent, TypeId t, const uint8_t* at);
  int64_t read_op(NodeId parent, const uint8_t* at);
  int64_t read_error(NodeId parent, const uint8_t* at);
};

}  // namespace tav::tavbin::tavbin_decode_detail
