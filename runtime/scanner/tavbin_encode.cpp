// The Tavbin encoders. Both walk the value once, writing records into C++ buffers (nothing
// in the runtime's memory is allocated until the result binary is made, so no collection
// can run while node ids sit in the reference table).
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "core/context.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "core/errors.h"
#include "core/hash_index.h"
#include "core/memory.h"
#include "scanner/tavbin.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav::tavbin {

namespace tavbin_encode_detail {

class Encoder {
 public:
  explicit Encoder(bool compact) : compact_(compact) {}

  std::vector<uint8_t> run(const Cell* value) {
    codec_mode = true;
    write(value);
    return finish();
  }

 private:
  bool compact_;
  std::vector<uint8_t> rec_;
  std::vector<uint32_t> symbol_ids_;
  std::vector<uint8_t> strings_;
  std::vector<uint32_t> offsets_;   // fixed encoding
  std::vector<uint32_t> path_stack_;
  uint32_t position_ = 0;
  std::unordered_map<NodeId, std::vector<uint32_t>> refs_;
  uint32_t depth_ = 0;
  // Header bits of the record being started (the fixed encoding carries them in its word).
  bool new_line_ = false;
  bool shared_ = false;

  // ---- Fields --------------------------------------------------------------------------

  void byte(uint8_t b) { rec_.push_back(b); }
  void varint(uint32_t v) {
    while (v >= 0x80) {
      rec_.push_back(static_cast<uint8_t>(v | 0x80));
      v >>= 7;
    }
    rec_.push_back(static_cast<uint8_t>(v));
  }
  void zigzag(int32_t v) {
    uint32_t u = (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31);
    varint(u);
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; i++) rec_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void raw(const uint8_t* p, size_t n) { rec_.insert(rec_.end(), p, p + n); }
  void pad(size_t multiple) {
    while (rec_.size() % multiple) rec_.push_back(0);
  }
  // A count or size field: varint or u32.
  void count(uint32_t v) { compact_ ? varint(v) : u32(v); }

  // The type item: compact type byte (with the per-type flag), or fixed header word.
  void type_item(TypeId t, bool flag, uint32_t fixed_bits = 0) {
    if (compact_) {
      byte(static_cast<uint8_t>(t | (flag ? 0x40 : 0)));
    } else {
      u32(t | fixed_bits | (new_line_ ? FIXED_NEW_LINE : 0) | (shared_ ? FIXED_SHARED : 0));
    }
    new_line_ = shared_ = false;
  }

  uint32_t symbol_index(uint32_t sym) {
    for (size_t i = 0; i < symbol_ids_.size(); i++)
      if (symbol_ids_[i] == sym) return static_cast<uint32_t>(i);
    symbol::Name name = symbol::name(sym);
    if (!compact_) offsets_.push_back(static_cast<uint32_t>(strings_.size()));
    strings_.insert(strings_.end(), name.bytes, name.bytes + name.length);
    strings_.push_back(0);
    if (!compact_)
      while (strings_.size() % 8) strings_.push_back(0);
    symbol_ids_.push_back(sym);
    return static_cast<uint32_t>(symbol_ids_.size() - 1);
  }
  void symbol(uint32_t sym) { count(symbol_index(sym)); }

  void path(const std::vector<uint32_t>& p) {
    if (compact_) {
      varint(static_cast<uint32_t>(p.size()));
      for (uint32_t i : p) varint(i);
    } else {
      u32(FIXED_REFERENCE);
      u32(static_cast<uint32_t>(p.size()));
      for (uint32_t i : p) u32(i);
    }
  }

  [[noreturn]] static void no_codec(const Cell* v) { error::raise(ERR_ACCESS, "no-codec", v); }

  // ---- Values --------------------------------------------------------------------------

  void write(const Cell* value) {
    Cell v = *value;
    if (depth_ >= MAX_DEPTH) error::raise(ERR_INTERNAL, "too-deep");
    depth_++;
    new_line_ = (v.header & FLAG_NEW_LINE) != 0;
    shared_ = false;
    if (compact_ && new_line_) byte(PREFIX_NEW_LINE);
    write_item(v);
    depth_--;
    position_++;
  }

  void write_item(const Cell& v) {
    TypeId t = v.type();
    switch (t) {
      case TYPE_DATATYPE:
        type_item(t, false);
        count(v.data1);
        return;
      case TYPE_UNSET:
      case TYPE_NONE:
        type_item(t, false);
        return;
      case TYPE_LOGIC:
        if (compact_) {
          byte(v.data1 ? ITEM_TRUE : ITEM_FALSE);
        } else {
          type_item(t, false);
          u32(v.data1);
        }
        return;
      case TYPE_INTEGER:
        if (compact_ && v.int_value() >= 0 && v.int_value() <= 63) {
          byte(static_cast<uint8_t>(ITEM_SMALL_INTEGER + v.int_value()));
        } else {
          type_item(t, false);
          compact_ ? zigzag(v.int_value()) : u32(v.data2);
        }
        return;
      case TYPE_CHAR:
        type_item(t, false);
        count(v.data2);
        return;
      case TYPE_FLOAT:
      case TYPE_PERCENT:
      case TYPE_TIME:
        write_float(v);
        return;
      case TYPE_PAIR:
        type_item(t, false);
        if (compact_) {
          zigzag(static_cast<int32_t>(v.data2));
          zigzag(static_cast<int32_t>(v.data3));
        } else {
          u32(v.data2);
          u32(v.data3);
        }
        return;
      case TYPE_POINT2D:
      case TYPE_POINT3D:
        type_item(t, false);
        u32(v.data1);
        u32(v.data2);
        if (t == TYPE_POINT3D) u32(v.data3);
        return;
      case TYPE_DATE: {
        bool has_time = (v.data1 & DATE_HAS_TIME) != 0;
        type_item(t, has_time);
        u32(v.data1);
        if (compact_) {
          if (has_time) {
            u32(v.data2);
            u32(v.data3);
          }
        } else {
          u32(v.data3);
          u32(v.data2);
        }
        return;
      }
      case TYPE_TYPESET: {
        uint8_t mask[12];
        std::memcpy(mask, &v.data1, 12);
        if (compact_) {
          uint8_t n = 12;
          while (n > 0 && mask[n - 1] == 0) n--;
          type_item(t, false);
          byte(n);
          raw(mask, n);
        } else {
          type_item(t, false);
          raw(mask, 12);
        }
        return;
      }
      case TYPE_TUPLE: {
        uint8_t n = (v.header >> TUPLE_SIZE_SHIFT) & 0xF;
        const auto* bytes = reinterpret_cast<const uint8_t*>(&v.data1);
        if (compact_) {
          type_item(t, n != 3);
          if (n != 3) byte(n);
          raw(bytes, n);
        } else {
          type_item(t, false, uint32_t(n) << 8);
          raw(bytes, 12);
        }
        return;
      }
      case TYPE_MONEY: {
        bool negative = (v.header & MONEY_NEGATIVE) != 0;
        type_item(t, negative, negative ? FIXED_MONEY_NEGATIVE : 0);
        raw(reinterpret_cast<const uint8_t*>(&v.data1), 12);
        return;
      }
      case TYPE_ISSUE:
        type_item(t, false);
        symbol(v.data2);
        return;
      case TYPE_ERROR:
        write_error(v);
        return;
      case TYPE_WORD:
      case TYPE_SET_WORD:
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
      case TYPE_REFINEMENT:
      case TYPE_OBJECT:
      case TYPE_BITSET:
      case TYPE_MAP:
      case TYPE_BINARY:
      case TYPE_VECTOR:
      case TYPE_IMAGE:
        write_referenced(v);
        return;
      case TYPE_FUNCTION:
        write_referenced(v);
        return;
      case TYPE_NATIVE:
      case TYPE_ACTION:
        write_native(v);
        return;
      case TYPE_OP:
        write_op(v);
        return;
      default:
        if (is_any_block(t) || is_any_string(t)) {
          write_referenced(v);
          return;
        }
        // Routines, triples, handles, ports and events are never serialisable.
        no_codec(&v);
    }
  }

  void write_float(const Cell& v) {
    TypeId t = v.type();
    double d = v.float_value();
    bool compact_form = false;
    int32_t n = 0;
    if (compact_) {
      if (t == TYPE_PERCENT) {
        if (d >= -21474836.0 && d <= 21474836.0) {
          double r = d * 100.0;
          n = static_cast<int32_t>(r >= 0 ? r + 0.5 : r - 0.5);
          compact_form = n / 100.0 == d;
        }
      } else if (d >= -2147483000.0 && d <= 2147483000.0) {
        n = static_cast<int32_t>(d);
        compact_form = n == d;
      }
      if (compact_form && n == 0 && std::signbit(d)) compact_form = false;
    }
    type_item(t, compact_form);
    if (compact_form) {
      zigzag(n);
    } else if (compact_) {
      u32(v.data2);
      u32(v.data3);
    } else {
      pad(8);
      u32(v.data3);
      u32(v.data2);
    }
  }

  void push_position() {
    path_stack_.push_back(position_);
    position_ = 0;
  }
  void pop_position() {
    position_ = path_stack_.back();
    path_stack_.pop_back();
  }

  void write_error(const Cell& v) {
    push_position();
    if (v.data1) refs_.emplace(v.data1, path_stack_);
    type_item(TYPE_ERROR, false);
    count(static_cast<uint32_t>(error::code(&v)));
    for (int k = 0; k < 6; k++) {
      Cell f = *error::field(&v, static_cast<ErrorField>(ERROR_ARG1 + k));
      write(&f);
    }
    pop_position();
  }

  // A word's context, when it is one we write: global words (and words of contexts owned by
  // nothing) answer 0.
  static NodeId word_context(const Cell& v) {
    NodeId ctx = v.data1;
    if (ctx == 0 || ctx == context::global) return 0;
    TypeId owner = context::owner_cell(ctx)->type();
    if (owner == TYPE_NONE || owner == TYPE_UNSET || owner == TYPE_BLOCK) return 0;
    if (owner != TYPE_OBJECT && owner != TYPE_FUNCTION) no_codec(&v);
    return ctx;
  }

  // Series, words and objects: written in full once, then as references.
  void write_referenced(const Cell& v) {
    TypeId t = v.type();
    NodeId key;
    if (word::is_any_word(t)) {
      key = word_context(v);
      if (key == 0) {
        type_item(t, false, FIXED_WORD_GLOBAL);
        symbol(v.data2);
        if (!compact_) u32(v.data3);
        return;
      }
    } else if (t == TYPE_OBJECT || t == TYPE_FUNCTION) {
      key = v.data1;
    } else {
      key = v.data2;
    }
    std::vector<uint32_t> ref_path;
    auto found = refs_.find(key);
    bool shared = found != refs_.end();
    if (shared) {
      ref_path = found->second;
      if (compact_) byte(PREFIX_SHARED);
      shared_ = true;
    } else {
      push_position();
      refs_.emplace(key, path_stack_);
    }
    write_body(v, shared);
    if (shared) path(ref_path);
    else pop_position();
  }

  void write_body(const Cell& v, bool shared) {
    TypeId t = v.type();
    if (word::is_any_word(t)) {
      type_item(t, true);
      symbol(v.data2);
      int32_t index = static_cast<int32_t>(v.data3);
      if (index < 0) index = context::find_symbol(v.data1, v.data2, true);
      compact_ ? zigzag(index) : u32(static_cast<uint32_t>(index));
      if (!shared) {
        Cell owner = *context::owner_cell(v.data1);
        if (owner.is(TYPE_FUNCTION)) write_function(owner, false, true);
        else write_object(owner, false, true);
      }
      return;
    }
    if (t == TYPE_OBJECT) {
      write_object(v, shared, false);
      return;
    }
    if (t == TYPE_FUNCTION) {
      write_function(v, shared, false);
      return;
    }
    if (t == TYPE_MAP) {
      write_map(v, shared);
      return;
    }
    if (t == TYPE_IMAGE) {
      write_image(v, shared);
      return;
    }
    SeriesBuffer* buf = node_buffer(v.data2);
    uint32_t units = buf->count();
    uint32_t head = v.data1 > units ? units : v.data1;   // an index past the tail reads as the tail
    if (t == TYPE_BITSET) {
      bool complemented = (buf->flags & BITSET_COMPLEMENTED) != 0;
      type_item(t, complemented, complemented ? FIXED_BITSET_COMPLEMENT : 0);
      if (shared) return;
      count(units);
      raw(buf->head_ptr(), units);
      if (!compact_) pad(4);
      return;
    }
    uint32_t unit = buf->unit();
    uint32_t fixed_bits = is_any_block(t) ? 0 : (unit << 8);
    type_item(t, head != 0, fixed_bits);
    if (compact_) {
      if (head != 0) varint(head);
    } else {
      u32(head);
    }
    if (shared) return;
    if (is_any_block(t)) {
      count(units);
      for (uint32_t i = 0; i < units; i++) {
        Cell c = node_buffer(v.data2)->cells()[i];
        write(&c);
      }
      return;
    }
    uint32_t shift = unit == 1 ? 0 : unit == 2 ? 1 : unit == 4 ? 2 : 3;
    if (is_any_string(t)) {
      if (compact_) {
        if (units >= (1u << 30)) error::raise(ERR_INTERNAL, "no-memory");
        varint(units << 2 | shift);
      } else {
        u32(units);
      }
    } else if (t == TYPE_VECTOR) {
      if (compact_) {
        byte(static_cast<uint8_t>(v.data3 << 2 | shift));
        varint(units);
      } else {
        u32(units);
        u32(v.data3);
      }
    } else {
      count(units);   // binary!
    }
    buf = node_buffer(v.data2);
    raw(buf->head_ptr(), size_t(units) * unit);
    if (!compact_) pad(4);
  }

  // The pixels live in the image store: the record takes the size and the raw words.
  void write_image(const Cell& v, bool shared) {
    uint32_t w = image::width(&v), h = image::height(&v);
    uint64_t pixels = uint64_t(w) * h;
    uint32_t head = v.data1 > pixels ? uint32_t(pixels) : v.data1;
    type_item(TYPE_IMAGE, head != 0);
    if (compact_) {
      if (head != 0) varint(head);
    } else {
      u32(head);
    }
    if (shared) return;
    if (compact_) {
      varint(w);
      varint(h);
    } else {
      u32(image_store::size_word(w, h));
    }
    const image_store::Record* r = image_store::record(&v);
    if (!r) no_codec(&v);
    raw(reinterpret_cast<const uint8_t*>(r->pixels), size_t(pixels) * 4);
  }

  void write_map(const Cell& v, bool shared) {
    type_item(TYPE_MAP, false);
    if (shared) return;
    uint32_t live = v.data3 ? hash::table(v.data3)->size : 0;
    count(live * 2);
    uint32_t cells = node_buffer(v.data2)->count();
    for (uint32_t i = 0; i + 1 < cells; i += 2) {
      Cell key = node_buffer(v.data2)->cells()[i];
      Cell value = node_buffer(v.data2)->cells()[i + 1];
      if (value.header == 0) continue;   // a removed entry
      write(&key);
      write(&value);
    }
  }

  // An object! record. A word's owner is written inside the word's own record, so it takes
  // no position and no reference of its own.
  void write_object(const Cell& obj, bool shared, bool as_owner) {
    if (as_owner) new_line_ = shared_ = false;
    type_item(TYPE_OBJECT, false);
    if (shared) return;
    compact_ ? zigzag(static_cast<int32_t>(obj.data2)) : u32(obj.data2);
    write_context_part(obj.data1);
  }

  // A function! record after the reference decision: its sizes, its context without values,
  // then its spec and its body as block records at positions 0 and 1 (a path reaches them
  // through the function). Like an object, a word's owner takes no position of its own.
  void write_function(const Cell& fn, bool shared, bool as_owner) {
    if (as_owner) new_line_ = shared_ = false;
    type_item(TYPE_FUNCTION, false);
    if (shared) return;
    Cell body = node_buffer(fn.data3)->cells()[function::MORE_BODY];
    if (!body.is(TYPE_BLOCK)) no_codec(&fn);
    count(node_buffer(fn.data2)->count());
    count(node_buffer(body.data2)->count());
    write_context_part(fn.data1);
    Cell spec = make_cell(TYPE_BLOCK, 0, fn.data2);
    write(&spec);
    write(&body);
  }

  // native! and action!: the 1-based table position, then the spec block. The spec takes
  // the built-in's own position: a path to the built-in followed by k reaches spec cell k.
  void write_native(const Cell& v) {
    type_item(v.type(), false);
    count(v.data1 + 1);
    Cell spec = make_cell(TYPE_BLOCK, 0, v.data2);
    new_line_ = shared_ = false;
    write_referenced(spec);
  }

  // op!: the wrapped native, action or function, written as its own record at the op's own
  // position (the op! record adds no level to the paths).
  void write_op(const Cell& v) {
    auto wrapped = static_cast<TypeId>((v.header >> 16) & 0xFF);
    if (wrapped != TYPE_NATIVE && wrapped != TYPE_ACTION && wrapped != TYPE_FUNCTION)
      no_codec(&v);
    type_item(TYPE_OP, false, uint32_t(wrapped) << 16);
    Cell inner = v;
    inner.header = wrapped;
    if (wrapped == TYPE_FUNCTION) inner = *context::owner_cell(v.data1);
    inner.header &= ~FLAG_NEW_LINE;
    new_line_ = shared_ = false;
    write_item(inner);
  }

  void write_context_part(NodeId ctx) {
    Cell cc = *context::context_cell(ctx);
    uint32_t kind = (cc.header >> CTX_KIND_SHIFT) & 3;
    bool on_stack = context::on_stack(&cc);
    bool self_flag = (cc.header & FLAG_CTX_SELF) != 0;
    NodeId words = context::words_of(ctx);
    uint32_t n = node_buffer(words)->count();
    NodeId values = on_stack ? 0 : cc.data2;
    uint32_t value_count = values ? node_buffer(values)->count() : 0;
    bool with_values = false;
    for (uint32_t i = 0; i < value_count && i < n; i++)
      if (!node_buffer(values)->cells()[i].is(TYPE_UNSET)) with_values = true;
    if (compact_) {
      byte(TYPE_CONTEXT);
      byte(static_cast<uint8_t>(kind | (on_stack ? CTX_ON_STACK : 0) |
                                (self_flag ? CTX_HAS_SELF : 0) | (with_values ? CTX_VALUES : 0)));
      varint(n);
    } else {
      u32(TYPE_CONTEXT | kind << 26 | (on_stack ? FIXED_CTX_ON_STACK : 0) |
          (self_flag ? FIXED_CTX_SELF : 0) | (with_values ? FIXED_CTX_VALUES : 0));
      u32(n);
    }
    for (uint32_t i = 0; i < n; i++) symbol(node_buffer(words)->cells()[i].data2);
    if (!with_values) return;
    for (uint32_t i = 0; i < n; i++) {
      Cell c;
      if (i < value_count) c = node_buffer(values)->cells()[i];
      else set_unset(&c);
      write(&c);
    }
  }

  // ---- The stream --------------------------------------------------------------------

  std::vector<uint8_t> finish() {
    std::vector<uint8_t> out;
    out.reserve(rec_.size() + strings_.size() + 4 * symbol_ids_.size() + 24);
    out.insert(out.end(), MAGIC, MAGIC + 6);
    out.push_back(VERSION);
    bool symbols = !symbol_ids_.empty();
    auto put_u32 = [&out](uint32_t v) {
      for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto put_varint = [&out](uint32_t v) {
      while (v >= 0x80) {
        out.push_back(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
      }
      out.push_back(static_cast<uint8_t>(v));
    };
    if (compact_) {
      out.push_back(FLAG_COMPACT | (symbols ? FLAG_SYMBOLS : 0));
      put_varint(1);
      put_varint(static_cast<uint32_t>(rec_.size()));
      if (symbols) {
        put_varint(static_cast<uint32_t>(symbol_ids_.size()));
        put_varint(static_cast<uint32_t>(strings_.size()));
        uint32_t offset = 0;
        for (size_t i = 0; i < symbol_ids_.size(); i++) {
          put_u32(offset);
          while (strings_[offset] != 0) offset++;
          offset++;
        }
      }
    } else {
      out.push_back(symbols ? FLAG_SYMBOLS : 0);
      put_u32(1);
      put_u32(static_cast<uint32_t>(rec_.size()));
      if (symbols) {
        put_u32(static_cast<uint32_t>(symbol_ids_.size()));
        put_u32(static_cast<uint32_t>(strings_.size()));
        for (uint32_t o : offsets_) put_u32(o);
      }
    }
    out.insert(out.end(), strings_.begin(), strings_.end());
    out.insert(out.end(), rec_.begin(), rec_.end());
    return out;
  }
};

}  // namespace tavbin_encode_detail

std::vector<uint8_t> encode_bytes(const Cell* value, bool compact) {
  tavbin_encode_detail::Encoder encoder(compact);
  return encoder.run(value);
}

namespace tavbin_encode_detail {
Cell* to_binary(const std::vector<uint8_t>& bytes, Cell* result) {
  NodeId n = alloc::new_bytes(static_cast<uint32_t>(bytes.size()));
  SeriesBuffer* buf = node_buffer(n);
  if (!bytes.empty()) std::memcpy(buf->head_ptr(), bytes.data(), bytes.size());
  buf->tail = buf->head + static_cast<uint32_t>(bytes.size());
  *result = make_cell(TYPE_BINARY, 0, n);
  return result;
}
}  // namespace tavbin_encode_detail

Cell* encode_cp(const Cell* value, Cell* result) {
  return tavbin_encode_detail::to_binary(encode_bytes(value, true), result);
}

Cell* encode(const Cell* value, Cell* result) {
  return tavbin_encode_detail::to_binary(encode_bytes(value, false), result);
}

}  // namespace tav::tavbin
