// Checksums and digests behind the `checksum` native, the gzip and zlib containers and the
// secure random draw: CRC-32, Adler-32, the Internet checksum, MD5 and the SHA family with HMAC.
//
// Digests and HMAC run on libcrypto; every libcrypto call is checked and a failure is
// reported to the caller (which raises an internal error) rather than handing back a
// half-filled buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tav::checksum {

// The method words, in the order the runtime makes them at start-up.
enum class Method : uint8_t { tcp, md5, sha1, crc32, adler32, sha256, sha384, sha512, hash };
constexpr int METHOD_COUNT = 9;
constexpr std::string_view METHOD_NAMES[METHOD_COUNT] = {
    "tcp", "md5", "sha1", "crc32", "adler32", "sha256", "sha384", "sha512", "hash"};

// The method a word names, matched as words are (ASCII letters in either case).
std::optional<Method> method_from_name(std::string_view name);

// Method indexes: tcp 0, crc32 1, md5 2, sha1 3, sha256 4, sha384 5, sha512 6.
// adler32 and hash have none (-1).
constexpr int INDEX_TCP = 0, INDEX_CRC32 = 1, INDEX_MD5 = 2, INDEX_SHA1 = 3, INDEX_SHA256 = 4,
              INDEX_SHA384 = 5, INDEX_SHA512 = 6;
int method_index(Method m);
// Digest bytes of a method index: 16, 20, 32, 48, 64 for indexes 2 to 6, else 0.
uint32_t digest_size(int index);
// Whether an index names a digest method (the only ones that have an HMAC).
inline bool is_digest_index(int index) { return index >= INDEX_MD5 && index <= INDEX_SHA512; }

uint32_t crc32(const uint8_t* data, size_t length);
uint32_t adler32(const uint8_t* data, size_t length);
// The slot of the bytes in a hash table of `size` slots (size > 0): the runtime's own key
// hash, so a script can lay out tables the way maps do.
uint32_t table_hash(const uint8_t* data, size_t length, uint32_t size);
// The 16-bit Internet checksum (RFC 1071) of the bytes read as big-endian words.
uint16_t tcp(const uint8_t* data, size_t length);

// A digest or HMAC: the first `size` bytes are the result.
struct Digest {
  uint8_t bytes[64];
  uint32_t size;
};

// Digest of the data for a digest index (2 to 6); none when the index names no digest or
// libcrypto fails.
std::optional<Digest> digest(const uint8_t* data, size_t length, int index);
// HMAC (RFC 2104) of the data under the key with the digest of the index (2 to 6); none
// when the index names no digest or libcrypto fails.
std::optional<Digest> hmac(const uint8_t* data, size_t length, const uint8_t* key,
                           size_t key_length, int index);

}  // namespace tav::checksum
