#include "services/compression.h"

#include <dlfcn.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <vector>


namespace tav::compression {

namespace compression_detail {

// The largest output a decoder produces: the size word of a series buffer.
constexpr size_t MAX_OUTPUT = 0xFFFFFF00u;

// The containers' check values by zlib's own routines, which take several bytes a step: the
// same sums as the checksum natives give, at the speed of the codec around them.
// zlib's sums take at most a uInt of bytes a call.
template <typename Sum>
uint32_t zlib_sum(Sum sum, const uint8_t* p, size_t n) {
  uLong v = sum(0L, Z_NULL, 0);
  while (n > 0) {
    uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    v = sum(v, p, step);
    p += step;
    n -= step;
  }
  return static_cast<uint32_t>(v);
}
uint32_t crc32_of(const uint8_t* p, size_t n) { return zlib_sum(::crc32, p, n); }
uint32_t adler32_of(const uint8_t* p, size_t n) { return zlib_sum(::adler32, p, n); }

uint32_t read_le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void write_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Hands a decoded or encoded result to the caller's destination.
int deliver(const std::vector<uint8_t>& out, uint8_t* dst, uint32_t* size) {
  if (out.empty()) {
    *size = 0;
    return OK;
  }
  if (!dst || *size < out.size()) {
    *size = static_cast<uint32_t>(out.size());
    return TOO_SMALL;
  }
  if (!out.empty()) std::memcpy(dst, out.data(), out.size());
  *size = static_cast<uint32_t>(out.size());
  return OK;
}

// Deflates the whole source into dst, which holds cap bytes: OK with the size written,
// TOO_SMALL (with the most the data can take) when it does not fit, CORRUPT when zlib fails.
int raw_deflate(const uint8_t* src, uint32_t length, int level, uint8_t* dst, uint32_t* size) {
  if (level < 1 || level > 9) level = 6;
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return CORRUPT;
  uLong bound = deflateBound(&z, length);
  if (!dst || *size < bound) {
    deflateEnd(&z);
    *size = static_cast<uint32_t>(std::min<uLong>(bound, MAX_OUTPUT));
    return TOO_SMALL;
  }
  z.next_in = const_cast<Bytef*>(src);
  z.avail_in = length;
  z.next_out = dst;
  z.avail_out = *size;
  int r = deflate(&z, Z_FINISH);
  *size = static_cast<uint32_t>(z.total_out);
  deflateEnd(&z);
  return r == Z_STREAM_END ? OK : CORRUPT;
}

// Room for more output: at least double what is there, at least the hint (a size the data
// claims, trusted only up to a bound, since it is not known to be true yet).
size_t grown_size(size_t used, size_t hint) {
  size_t want = std::max<size_t>(used * 2, 65536);
  if (hint > used && hint - used <= 64u * 1024 * 1024) want = std::max(want, hint + 1);
  return std::min(want, MAX_OUTPUT + 1);
}

// Inflates a whole raw deflate stream straight into out; CORRUPT when it is broken, cut
// short or too big. hint: the output size the caller expects, if any.
int raw_inflate(const uint8_t* src, uint32_t length, std::vector<uint8_t>& out,
                size_t hint = 0) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return CORRUPT;
  z.next_in = const_cast<Bytef*>(src);
  z.avail_in = length;
  size_t used = out.size();
  int r;
  do {
    if (used == out.size()) {
      if (out.size() > MAX_OUTPUT) {
        r = Z_MEM_ERROR;
        break;
      }
      out.resize(grown_size(used, hint));
    }
    size_t room = std::min<size_t>(out.size() - used, 1u << 30);
    z.next_out = out.data() + used;
    z.avail_out = static_cast<uInt>(room);
    r = inflate(&z, Z_NO_FLUSH);
    if (r != Z_OK && r != Z_STREAM_END) break;
    used += room - z.avail_out;
    if (used > MAX_OUTPUT) r = Z_MEM_ERROR;
  } while (r == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
  inflateEnd(&z);
  out.resize(used);
  return r == Z_STREAM_END ? OK : CORRUPT;
}

// A gzip member: checks its header, inflates its data and checks CRC-32 and ISIZE.
int gzip_member(const uint8_t* src, uint32_t length, std::vector<uint8_t>& out) {
  if (length <= 17 || src[0] != 0x1F || src[1] != 0x8B || src[2] != 8 || (src[3] & 0xE0))
    return CORRUPT;
  uint8_t flags = src[3];
  uint32_t end = length - 8;   // the trailer
  uint32_t pos = 10;
  if (flags & 4) {
    uint32_t xlen = uint32_t(src[10]) | (uint32_t(src[11]) << 8);
    if (xlen > length - 12) return CORRUPT;
    pos = 12 + xlen;
  }
  for (uint8_t bit : {uint8_t(8), uint8_t(16)}) {
    if (!(flags & bit)) continue;
    while (pos < end && src[pos] != 0) pos++;
    if (pos >= end) return CORRUPT;
    pos++;
  }
  if (flags & 2) {
    if (pos + 2 > end) return CORRUPT;
    uint32_t crc = crc32_of(src, pos) & 0xFFFF;
    if ((uint32_t(src[pos]) | (uint32_t(src[pos + 1]) << 8)) != crc) return CORRUPT;
    pos += 2;
  }
  if (pos > end) return CORRUPT;
  int r = raw_inflate(src + pos, end - pos, out, read_le32(src + length - 4));
  if (r != OK) return r;
  if (out.size() != read_le32(src + length - 4)) return CORRUPT;
  if (crc32_of(out.data(), out.size()) != read_le32(src + end)) return CORRUPT;
  return OK;
}

// The whole of a zlib container or a zstd frame decoded into out (below).
int zlib_decode(const uint8_t* src, uint32_t length, std::vector<uint8_t>& out);
int zstd_decode(const uint8_t* src, uint32_t length, std::vector<uint8_t>& out);

// libzstd, loaded on first use: the build links zlib only.
struct ZstdApi {
  decltype(&ZSTD_compress) compress = nullptr;
  decltype(&ZSTD_isError) is_error = nullptr;
  decltype(&ZSTD_createDCtx) create_dctx = nullptr;
  decltype(&ZSTD_freeDCtx) free_dctx = nullptr;
  decltype(&ZSTD_DCtx_setParameter) set_parameter = nullptr;
  decltype(&ZSTD_decompressStream) decompress_stream = nullptr;
  decltype(&ZSTD_getFrameContentSize) content_size = nullptr;   // optional
  bool ok = false;
};

const ZstdApi& zstd_api() {
  static ZstdApi api = [] {
    ZstdApi a;
    void* lib = dlopen("libzstd.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return a;
    a.compress = reinterpret_cast<decltype(a.compress)>(dlsym(lib, "ZSTD_compress"));
    a.is_error = reinterpret_cast<decltype(a.is_error)>(dlsym(lib, "ZSTD_isError"));
    a.create_dctx = reinterpret_cast<decltype(a.create_dctx)>(dlsym(lib, "ZSTD_createDCtx"));
    a.free_dctx = reinterpret_cast<decltype(a.free_dctx)>(dlsym(lib, "ZSTD_freeDCtx"));
    a.set_parameter =
        reinterpret_cast<decltype(a.set_parameter)>(dlsym(lib, "ZSTD_DCtx_setParameter"));
    a.decompress_stream =
        reinterpret_cast<decltype(a.decompress_stream)>(dlsym(lib, "ZSTD_decompressStream"));
    a.content_size =
        reinterpret_cast<decltype(a.content_size)>(dlsym(lib, "ZSTD_getFrameContentSize"));
    a.ok = a.compress && a.is_error && a.create_dctx && a.free_dctx && a.set_parameter &&
           a.decompress_stream;
    return a;
  }();
  return api;
}

}  // namespace compression_detail

std::optional<Method> method_from_name(std::string_view name) {
  for (int i = 0; i < 4; i++) {
    std::string_view m = METHOD_NAMES[i];
    if (m.size() != name.size()) continue;
    bool same = true;
    for (size_t k = 0; k < m.size() && same; k++) {
      char c = name[k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == m[k];
    }
    if (same) return static_cast<Method>(i);
  }
  return std::nullopt;
}

int deflate_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level) {
  // Written straight into the destination when it has room for the worst case; a smaller
  // one gets the data through a buffer of that size, so the answer is always the exact size.
  uint32_t room = *size;
  int r = compression_detail::raw_deflate(src, length, level, dst, &room);
  if (r != TOO_SMALL) {
    *size = room;
    return r;
  }
  std::vector<uint8_t> out(room);
  r = compression_detail::raw_deflate(src, length, level, out.data(), &room);
  if (r != OK) return r;
  out.resize(room);
  return compression_detail::deliver(out, dst, size);
}

int deflate_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length) {
  std::vector<uint8_t> out;
  int r = compression_detail::raw_inflate(src, length, out);
  if (r != OK) return r;
  return compression_detail::deliver(out, dst, size);
}

int zlib_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level) {
  if (*size < 6) {
    *size = length + 6;
    return CORRUPT;
  }
  uint8_t flg = level < 2 ? 0x01 : level <= 5 ? 0x5E : level == 6 ? 0x9C : 0xDA;
  uint32_t room = *size - 2;
  int r = deflate_compress(dst + 2, &room, src, length, level);
  if (r != OK) {
    *size = room + 6;
    return r;
  }
  uint32_t total = room + 6;
  if (total > *size) {
    *size = total;
    return TOO_SMALL;
  }
  dst[0] = 0x78;
  dst[1] = flg;
  uint32_t adler = compression_detail::adler32_of(src, length);
  for (int i = 0; i < 4; i++) dst[room + 2 + i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
  *size = total;
  return OK;
}

int zlib_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length) {
  std::vector<uint8_t> out;
  int r = compression_detail::zlib_decode(src, length, out);
  if (r != OK) return r;
  return compression_detail::deliver(out, dst, size);
}

int gzip_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level) {
  // Data that already is a whole gzip member passes through; anything else that merely
  // starts like one is compressed, so the result always decompresses.
  if (length > 2 && src[0] == 0x1F && src[1] == 0x8B && src[2] == 8) {
    std::vector<uint8_t> check;
    if (compression_detail::gzip_member(src, length, check) == OK) {
      std::vector<uint8_t> same(src, src + length);
      return compression_detail::deliver(same, dst, size);
    }
  }
  if (*size < 18) {
    *size = length + 18;
    return CORRUPT;
  }
  uint32_t room = *size - 10;
  int r = deflate_compress(dst + 10, &room, src, length, level);
  if (r != OK) {
    *size = room + 18;
    return r;
  }
  uint32_t total = room + 18;
  if (total > *size) {
    *size = total;
    return TOO_SMALL;
  }
  uint8_t xfl = level == -1 || level == 1 ? 4 : level == 9 ? 2 : 0;
  const uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, xfl, 4};
  std::memcpy(dst, header, 10);
  compression_detail::write_le32(dst + 10 + room, compression_detail::crc32_of(src, length));
  compression_detail::write_le32(dst + 14 + room, length);
  *size = total;
  return OK;
}

int gzip_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length) {
  if (length <= 17) return CORRUPT;
  uint32_t isize = compression_detail::read_le32(src + length - 4);
  if (!dst || *size < isize) {
    // The stored size is only a claim: answer it once the member proves valid.
    std::vector<uint8_t> out;
    int r = compression_detail::gzip_member(src, length, out);
    if (r != OK) return r;
    *size = isize;
    return TOO_SMALL;
  }
  std::vector<uint8_t> out;
  int r = compression_detail::gzip_member(src, length, out);
  if (r != OK) return r;
  return compression_detail::deliver(out, dst, size);
}

int zstd_compress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length, int level) {
  const auto& api = compression_detail::zstd_api();
  if (!api.ok) return CORRUPT;
  if (level < 1) level = 3;
  uint64_t blocks = length == 0 ? 1 : (uint64_t(length) + 131071) / 131072;
  // At least the library's own bound, so incompressible data always fits.
  uint64_t bound = std::max<uint64_t>(uint64_t(length) + 3 * blocks + 10, ZSTD_COMPRESSBOUND(uint64_t(length)));
  if (!dst || *size < bound) {
    *size = static_cast<uint32_t>(bound);
    return TOO_SMALL;
  }
  size_t r = api.compress(dst, *size, src, length, level);
  if (api.is_error(r)) return CORRUPT;
  *size = static_cast<uint32_t>(r);
  return OK;
}

namespace compression_detail {

int zstd_decode(const uint8_t* src, uint32_t length, std::vector<uint8_t>& out) {
  const auto& api = compression_detail::zstd_api();
  if (!api.ok) return CORRUPT;
  ZSTD_DCtx* ctx = api.create_dctx();
  if (!ctx) return CORRUPT;
  // A window above 2 GiB is refused.
  api.set_parameter(ctx, ZSTD_d_windowLogMax, 31);
  ZSTD_inBuffer in{src, length, 0};
  size_t hint = 1;
  bool failed = false;
  size_t used = 0;
  // The frame's own claim of its size, when it makes one, sizes the first buffer.
  unsigned long long claimed = api.content_size ? api.content_size(src, length) : 0;
  size_t size_hint = claimed < compression_detail::MAX_OUTPUT ? static_cast<size_t>(claimed) : 0;
  while (in.pos < in.size || hint == 0) {
    if (used == out.size()) {
      if (out.size() > compression_detail::MAX_OUTPUT) {
        failed = true;
        break;
      }
      out.resize(compression_detail::grown_size(used, size_hint));
    }
    ZSTD_outBuffer o{out.data() + used, out.size() - used, 0};
    hint = api.decompress_stream(ctx, &o, &in);
    if (api.is_error(hint)) {
      failed = true;
      break;
    }
    used += o.pos;
    if (used > compression_detail::MAX_OUTPUT) {
      failed = true;
      break;
    }
    if (hint == 0 && in.pos >= in.size) break;
    if (o.pos == 0 && in.pos >= in.size) break;
  }
  api.free_dctx(ctx);
  out.resize(used);
  // A frame cut short leaves the decoder waiting for more input.
  if (failed || hint != 0) return CORRUPT;
  return OK;
}

int zlib_decode(const uint8_t* src, uint32_t length, std::vector<uint8_t>& out) {
  if (length < 6) return CORRUPT;
  uint8_t cmf = src[0], flg = src[1];
  if ((cmf * 256u + flg) % 31 != 0 || (cmf & 0x0F) != 8 || (cmf & 0x80) || (flg & 0x20))
    return CORRUPT;
  int r = raw_inflate(src + 2, length - 6, out);
  if (r != OK) return r;
  const uint8_t* t = src + length - 4;
  uint32_t stored = (uint32_t(t[0]) << 24) | (uint32_t(t[1]) << 16) | (uint32_t(t[2]) << 8) | t[3];
  return adler32_of(out.data(), out.size()) == stored ? OK : CORRUPT;
}

}  // namespace compression_detail

int zstd_decompress(uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length) {
  std::vector<uint8_t> out;
  int r = compression_detail::zstd_decode(src, length, out);
  if (r != OK) return r;
  return compression_detail::deliver(out, dst, size);
}

int compress(Method m, uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length,
             int level) {
  switch (m) {
    case Method::zlib: return zlib_compress(dst, size, src, length, level);
    case Method::deflate: return deflate_compress(dst, size, src, length, level);
    case Method::gzip: return gzip_compress(dst, size, src, length, level);
    case Method::zstd: return zstd_compress(dst, size, src, length, level);
  }
  return CORRUPT;
}

int decode(Method m, const uint8_t* src, uint32_t length, std::vector<uint8_t>& out) {
  out.clear();
  switch (m) {
    case Method::zlib: return compression_detail::zlib_decode(src, length, out);
    case Method::deflate: return compression_detail::raw_inflate(src, length, out);
    case Method::gzip: return compression_detail::gzip_member(src, length, out);
    case Method::zstd: return compression_detail::zstd_decode(src, length, out);
  }
  return CORRUPT;
}

int decompress(Method m, uint8_t* dst, uint32_t* size, const uint8_t* src, uint32_t length) {
  switch (m) {
    case Method::zlib: return zlib_decompress(dst, size, src, length);
    case Method::deflate: return deflate_decompress(dst, size, src, length);
    case Method::gzip: return gzip_decompress(dst, size, src, length);
    case Method::zstd: return zstd_decompress(dst, size, src, length);
  }
  return CORRUPT;
}

}  // namespace tav::compression
