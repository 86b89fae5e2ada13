// Tavbin: the binary serialisation of values. One format serves the boot image (decoded into
// the root block at start-up) and the `tavbin` codec, through which scripts encode values to
// a binary! and decode them back.
//
// Stream: "TAVBIN", a version byte, a flags byte (compact / compressed / symbol table), then
// either the compact encoding (varints, prefix bytes, one-byte small integers) or the fixed
// encoding (every field a 32-bit word). Series and contexts met more than once are written
// once and referred to later by a path of positions, so shared and cyclic values survive a
// round trip.
//
// Codec data comes from scripts and is trusted in nothing: every read is bounded, sizes are
// computed in 64 bits, nesting is limited, and every fault is a language error. The boot
// image is our own, but a damaged one still ends start-up with a message, never a crash.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/cell.h"

namespace tav::tavbin {

constexpr char MAGIC[6] = {'T', 'A', 'V', 'B', 'I', 'N'};
constexpr uint8_t VERSION = 2;          // what the encoders write (the boot image carries 1)
constexpr uint8_t FLAG_COMPACT = 1;
constexpr uint8_t FLAG_COMPRESSED = 2;
constexpr uint8_t FLAG_SYMBOLS = 4;

// Compact prefix and item bytes.
constexpr uint8_t PREFIX_NEW_LINE = 0xC0;
constexpr uint8_t PREFIX_SHARED = 0xC1;
constexpr uint8_t ITEM_TRUE = 0xC2;
constexpr uint8_t ITEM_FALSE = 0xC3;
constexpr uint8_t PREFIX_BINDING = 0xC4;
constexpr uint8_t ITEM_REFERENCE = 0xFF;
constexpr uint8_t ITEM_SMALL_INTEGER = 0x80;   // 0x80 + 0..63

// Fixed header-word bits.
constexpr uint32_t FIXED_NEW_LINE = 1u << 31;
constexpr uint32_t FIXED_SHARED = 1u << 19;
constexpr uint32_t FIXED_MONEY_NEGATIVE = 1u << 22;
constexpr uint32_t FIXED_BITSET_COMPLEMENT = 1u << 23;
constexpr uint32_t FIXED_OBJECT_HANDLERS = 1u << 24;
constexpr uint32_t FIXED_WORD_GLOBAL = 1u << 25;    // codec streams
constexpr uint32_t FIXED_WORD_BINDING = 1u << 25;   // boot streams
constexpr uint32_t FIXED_CTX_SELF = 1u << 28;
constexpr uint32_t FIXED_CTX_ON_STACK = 1u << 29;
constexpr uint32_t FIXED_CTX_VALUES = 1u << 30;
constexpr uint32_t FIXED_REFERENCE = 255;

// Context-part flags of the compact encoding.
constexpr uint8_t CTX_KIND_MASK = 0x03;
constexpr uint8_t CTX_ON_STACK = 0x04;
constexpr uint8_t CTX_HAS_SELF = 0x08;
constexpr uint8_t CTX_VALUES = 0x10;

// Containers nested deeper than this are refused by both directions (internal too-deep),
// so anything the encoders write decodes again.
constexpr uint32_t MAX_DEPTH = 1000;
constexpr uint32_t MAX_PATH = 65536;

// Header bits of value kinds kept in the cell header.
constexpr uint32_t TUPLE_SIZE_SHIFT = 19;           // tuple!: byte count in bits 19-22
constexpr uint32_t MONEY_NEGATIVE = 1u << 14;       // money!: the sign
constexpr uint32_t DATE_HAS_TIME = 1u << 16;        // date!: packed word carries a time
constexpr uint32_t BITSET_COMPLEMENTED = 0x80000;   // bitset!: buffer flag

// Set while the codec decodes or either encoder runs; the boot loader clears it.
extern bool codec_mode;

// Decodes every root record of data (length bytes; negative: unbounded, only for our own
// images) and appends the values to the target block. In codec mode faults raise
// script invalid-data (bad magic, corrupt compressed data; with data_arg as argument, or a
// binary! of the data when it is null), script tb-invalid-record (with the 1-based byte
// position of the failing read) or access no-codec; in boot mode a bad magic or corrupt
// compression ends the process with a message on standard error and status 1. The
// collector does not run during a decode. Answers the position (from the buffer head) of
// the first cell appended to the target.
uint32_t decode(const uint8_t* data, int64_t length, Cell* target, bool from_codec,
                const Cell* data_arg = nullptr);

// Decodes a boot image into the root block (boot mode: binding records, root-indexed word
// contexts, class ids kept). Any fault ends the process with a message on standard error
// and status 1. Answers the root position of the first appended cell.
uint32_t load_boot(const uint8_t* data, size_t length);

// The encoders: one root value (and everything it reaches) to a new binary! in result.
// Values that cannot be serialised raise access no-codec; nesting beyond MAX_DEPTH raises
// internal too-deep.
Cell* encode_cp(const Cell* value, Cell* result);   // compact encoding
Cell* encode(const Cell* value, Cell* result);      // fixed encoding
// The same bytes for hosts (the boot-image tool, tests).
std::vector<uint8_t> encode_bytes(const Cell* value, bool compact);

}  // namespace tav::tavbin
