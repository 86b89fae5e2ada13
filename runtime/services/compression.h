// The codecs behind `compress` and `decompress`: raw deflate (zlib in raw mode), the zlib and
// gzip containers written here around it, and zstd frames (libzstd).
//
// Every entry point takes a destination (decoders accept null), the destination size by
// reference, the source and its length, and for encoders a level (-1: the codec's default).
// It answers a status and never raises: OK with the bytes written, TOO_SMALL with the bytes
// needed, CORRUPT for input it cannot decode. Nothing is written past the destination size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tav::compression {

enum Status : int { OK = 0, TOO_SMALL = 1, CORRUPT = 2 };

enum class Method : uint8_t { zlib, deflate, gzip, zstd };
constexpr std::string_view METHOD_NAMES[4] = {"zlib", "deflate", "gzip", "zstd"};
// The method a word names, matched as words are (ASCII letters in either case).
std::optional<Method> method_from_name(std::string_view name);

// Highest level each method takes.
inline int max_level(Method m) { return m == Method::zstd ? 19 : 9; }

int deflate_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level);
int deflate_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length);
int zlib_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level);
int zlib_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length);
int gzip_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level);
int gzip_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length);
int zstd_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level);
int zstd_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length);

// The entry points of a method.
int compress(Method m, uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length,
             int level);
int decompress(Method m, uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length);

// The whole decoded data of a method into out, decoded once: what decompress delivers, for
// a caller that takes the bytes as they come instead of asking for the size first. OK or
// CORRUPT.
int decode(Method m, const uint8_t* src, uint32_t length, std::vector<uint8_t>& out);

}  // namespace tav::compression
