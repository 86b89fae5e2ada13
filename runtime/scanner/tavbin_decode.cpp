// The Tavbin decoder's entry points and the boot loader: the stream framing (magic, flags,
// compression, headers) lives here, the records in the tavbin_decode_*.cpp files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "boot.h"
#include "core/collector.h"
#include "core/errors.h"
#include "init_steps.h"
#include "core/memory.h"
#include "runtime.h"
#include "scanner/lz_codec.h"
#include "scanner/tavbin.h"
#include "scanner/tavbin_decoder.h"
#include "core/stack.h"

namespace tav::tavbin {

bool codec_mode = false;

namespace tavbin_decode_detail {

// ---- Headers -------------------------------------------------------------------------

void Decoder::read_compact_header() {
  varint();   // root count: the records say how many values there are
  const uint8_t* at = p_;
  take_records(at, varint());
}
void Decoder::read_fixed_header() {
  if (left() < 8) bad(p_);
  u32();
  const uint8_t* at = p_;
  take_records(at, u32());
}
void Decoder::take_records(const uint8_t* size_at, uint32_t size) {
  if (flags_symbols_) read_symbol_table();
  if (size > left()) bad(size_at);
  records_ = p_;
  end_ = p_ + size;
}
void Decoder::read_symbol_table() {
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
