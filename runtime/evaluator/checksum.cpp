#include "evaluator/checksum.h"

#include <array>
#include <climits>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "core/murmur3.h"

namespace tav::checksum {

namespace checksum_detail {

// The reflected CRC-32 table (polynomial 0xEDB88320), built by the compiler so that no
// first-use initialisation is needed.
constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> CRC_TABLE = make_crc_table();

const EVP_MD* digest_algorithm(int index) {
  switch (index) {
    case INDEX_MD5: return EVP_md5();
    case INDEX_SHA1: return EVP_sha1();
    case INDEX_SHA256: return EVP_sha256();
    case INDEX_SHA384: return EVP_sha384();
    case INDEX_SHA512: return EVP_sha512();
    default: return nullptr;
  }
}

// Leaves no stale entries on libcrypto's per-thread error queue after a failed call.
std::nullopt_t failed() {
  ERR_clear_error();
  return std::nullopt;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace checksum_detail

std::optional<Method> method_from_name(std::string_view name) {
  for (int m = 0; m < METHOD_COUNT; ++m) {
    std::string_view candidate = METHOD_NAMES[m];
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = checksum_detail::ascii_lower(name[i]) == candidate[i];
    if (same) return static_cast<Method>(m);
  }
  return std::nullopt;
}

int method_index(Method m) {
  switch (m) {
    case Method::tcp: return INDEX_TCP;
    case Method::crc32: return INDEX_CRC32;
    case Method::md5: return INDEX_MD5;
    case Method::sha1: return INDEX_SHA1;
    case Method::sha256: return INDEX_SHA256;
    case Method::sha384: return INDEX_SHA384;
    case Method::sha512: return INDEX_SHA512;
    case Method::adler32:
    case Method::hash: break;
  }
  return -1;
}

uint32_t digest_size(int index) {
  switch (index) {
    case INDEX_MD5: return 16;
    case INDEX_SHA1: return 20;
    case INDEX_SHA256: return 32;
    case INDEX_SHA384: return 48;
    case INDEX_SHA512: return 64;
    default: return 0;
  }
}

uint32_t crc32(const uint8_t* data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i)
    crc = (crc >> 8) ^ checksum_detail::CRC_TABLE[(crc ^ data[i]) & 0xFF];
  return ~crc;
}

uint32_t adler32(const uint8_t* data, size_t length) {
  constexpr uint32_t BASE = 65521;
  // The longest run after which the unsigned sum b cannot pass 2^32.
  constexpr size_t RUN = 5552;
  uint32_t a = 1, b = 0;
  while (length > 0) {
    size_t run = length < RUN ? length : RUN;
    length -= run;
    for (; run >= 16; run -= 16) {
      for (int k = 0; k < 16; ++k) {
        a += data[k];
        b += a;
      }
      data += 16;
    }
    for (; run > 0; --run) {
      a += *data++;
      b += a;
    }
    a %= BASE;
    b %= BASE;
  }
  return (b << 16) | a;
}

uint32_t table_hash(const uint8_t* data, size_t length, uint32_t size) {
  return hash::murmur3(data, length) % size;
}

uint16_t tcp(const uint8_t* data, size_t length) {
  // A 64-bit sum keeps every carry even for inputs of gigabytes; the folds below then give
  // the true one's-complement sum.
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 1 < length; i += 2) sum += (static_cast<uint32_t>(data[i]) << 8) | data[i + 1];
  if (i < length) sum += static_cast<uint32_t>(data[i]) << 8;
  while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::optional<Digest> digest(const uint8_t* data, size_t length, int index) {
  const EVP_MD* algorithm = checksum_detail::digest_algorithm(index);
  if (!algorithm) return std::nullopt;
  Digest result{};
  unsigned int written = 0;
  static const uint8_t empty = 0;
  if (EVP_Digest(length ? data : &empty, length, result.bytes, &written, algorithm, nullptr) != 1)
    return checksum_detail::failed();
  if (written != digest_size(index)) return checksum_detail::failed();
  result.size = written;
  return result;
}

std::optional<Digest> hmac(const uint8_t* data, size_t length, const uint8_t* key,
                           size_t key_length, int index) {
  const EVP_MD* algorithm = checksum_detail::digest_algorithm(index);
  if (!algorithm || key_length > INT_MAX) return std::nullopt;
  Digest result{};
  unsigned int written = 0;
  static const uint8_t empty = 0;
  if (!HMAC(algorithm, key_length ? key : &empty, static_cast<int>(key_length),
            length ? data : &empty, length, result.bytes, &written))
    return checksum_detail::failed();
  if (written != digest_size(index)) return checksum_detail::failed();
  result.size = written;
  return result;
}

}  // namespace tav::checksum
