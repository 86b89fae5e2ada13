// Feeds arbitrary bytes to the image decoders (the format chosen by the signature, as loading
// does): every input must decode to an image of an accepted size or to nothing, without a
// crash, a leak or an allocation the size checks should have refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/image_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tav::image_store::Record* r = tav::image_codecs::decode(data, size);
  if (r && !tav::image_store::size_ok(r->width, r->height)) std::abort();
  tav::image_store::destroy(r);
  return 0;
}
