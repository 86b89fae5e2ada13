// Decodes arbitrary bytes as UTF-8 the ways strings load them: every decoder must stay inside
// the buffer (the fuzzer's exact-size copies let AddressSanitizer see a read past the end),
// and what the scan promises must be what decoding writes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav::unicode;
  std::vector<uint8_t> exact(data, data + size);
  const uint8_t* p = exact.data();
  const uint8_t* end = p + size;
  for (bool crlf : {false, true}) {
    Utf8Scan scan = scan_utf8(p, size, crlf);
    std::vector<uint32_t> out(scan.chars + 1);
    size_t written = decode_utf8_units(p, scan, crlf, out.data(), 4);
    if (written != scan.chars) std::abort();
  }
  (void)utf8_length(p, end);
  for (const uint8_t* q = p; q < end;) {
    int32_t cp;
    const uint8_t* next = fast_decode_utf8_char(q, end, &cp);
    if (next <= q || next > end) std::abort();
    q = next;
  }
  for (size_t i = 0; i < size;) {
    size_t len = 0;
    int32_t cp = decode_utf8_checked(p + i, size - i, &len);
    if (cp < 0 || len == 0) break;
    i += len;
  }
  return 0;
}
