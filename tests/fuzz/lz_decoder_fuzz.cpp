// Feeds arbitrary bytes to the LZ decoder: it must refuse bad records without crash or hang.
#include <cstddef>
#include <cstdint>

#include "scanner/lz_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto out = tav::lz::decompress(data, size);
  (void)out;
  return 0;
}
