// The runtime's own LZ77 codec, used for compressed Tavbin data.
//
// Record: packed size P (32-bit LE), unpacked size U (32-bit LE), then P bytes of chunks.
// Chunk: a 32-bit LE length L (1 to 1 MiB of output), then a bit stream (least significant
// bit first) of tokens producing exactly L bytes: a literal (bit 0, 8-bit byte) or a match
// (bit 1, length code, distance code) copying 3 to 566 bytes from up to 256 KiB back in the
// chunk's own output. The bit stream ends with the byte holding its last bit.
//
// The decoder trusts nothing in the record: every read is bounded by the record, every
// match by the chunk, and U is refused when P could not produce it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tav::lz {

constexpr uint32_t HEADER_SIZE = 8;
constexpr uint32_t MAX_CHUNK = 0x100000;       // output bytes of one chunk
constexpr uint32_t MIN_MATCH = 3;
constexpr uint32_t MAX_MATCH = 566;
constexpr uint32_t MAX_DISTANCE = 0x40000;
constexpr size_t MIN_INPUT = 128;              // shorter inputs are never compressed

// Writes bit fields into a destination of fixed capacity. Running out of room sets the
// overflow flag; later writes are dropped.
class BitWriter {
 public:
  BitWriter(uint8_t* destination, size_t capacity) : dst_(destination), capacity_(capacity) {}
  // n more bytes of the output, or none (with the overflow flag set) when they do not fit.
  uint8_t* reserve(size_t n);
  // Appends the low n bits (n <= 32) of value, low bit first.
  void put_bits(uint32_t value, unsigned n);
  // Ends the current bit stream: its last partial byte is written out.
  void flush();
  size_t size() const { return used_; }
  bool overflow() const { return overflow_; }

 private:
  uint8_t* dst_;
  size_t capacity_;
  size_t used_ = 0;
  uint64_t bits_ = 0;
  unsigned count_ = 0;
  bool overflow_ = false;
};

// Reads bit fields from [data, data + length). A read past the end fails and leaves the
// reader failed.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}
  // The next n bits (n <= 24) as written by put_bits; none past the end.
  std::optional<uint32_t> get_bits(unsigned n);
  // Skips to the next whole byte (the end of a bit stream).
  void align();
  // Byte position of the next whole byte (valid after align).
  size_t position() const { return pos_; }
  void seek(size_t pos) { pos_ = pos; bit_ = 0; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t pos_ = 0;
  unsigned bit_ = 0;   // bits already taken from data_[pos_]
};

// Compresses n bytes of source into destination, which must hold n bytes. Returns the
// record's total size (P + 8), or -1 when n is below 128, above what U can state, or when
// the record would not fit in n bytes.
int64_t compress(const uint8_t* source, size_t n, uint8_t* destination);

// Decompresses a record of the given length. Returns the bytes produced, or none when the
// record is corrupt.
std::optional<std::vector<uint8_t>> decompress(const uint8_t* record, size_t length);

}  // namespace tav::lz
