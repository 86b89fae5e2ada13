// image! to and from encoded bytes and files, through the store's codecs.
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/stack.h"
#include "datatypes/binary.h"
#include "datatypes/image.h"
#include "platform/image_codecs.h"
#include "services/simple_io.h"

namespace tav::image {

Cell* load_from_binary(Cell* out, const uint8_t* bytes, size_t length) {
  if (image_codecs::sniff(bytes, length) < 0) return set_none(out);
  image_store::Record* r = image_codecs::decode(bytes, length);
  if (!r) error::raise(ERR_ACCESS, "bad-media");
  return make_at(out, r);
}

Cell* load_from_file(Cell* out, const Cell* file) {
  std::string path, bytes;
  image_store::Record* r = nullptr;
  if (simple_io::local_path(file, &path) && simple_io::read_whole(path, &bytes))
    r = image_codecs::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!r) error::raise(ERR_ACCESS, "cannot-open", file);
  return make_at(out, r);
}

Cell* decode(const Cell* source) {
  Cell* out = set_none(stack::new_cell());
  if (!source->is(TYPE_BINARY)) return load_from_file(out, source);
  // The bytes are copied first: decoding allocates and could move the binary's buffer.
  std::vector<uint8_t> bytes(binary::rs_head(source), binary::rs_head(source) + binary::rs_length(source));
  return load_from_binary(out, bytes.data(), bytes.size());
}

Cell* encode(const Cell* img, const Cell* where, int format) {
  image_store::Record* r = image_store::record(img);
  if (!r || r->count() == 0) error::raise(ERR_ACCESS, "bad-media");
  std::vector<uint8_t> bytes;
  if (format < 0 || format >= image_codecs::FORMAT_COUNT) {
    Cell n;
    set_integer(&n, format);
    error::raise(ERR_SCRIPT, "invalid-arg", &n);
  }
  if (!image_codecs::encode(r, format, &bytes)) error::raise(ERR_ACCESS, "bad-media");
  if (where && where->is(TYPE_BINARY)) {
    binary::append_bytes(where, bytes.data(), bytes.size());
    return stack::push(where);
  }
  return binary::load(bytes.data(), bytes.size());
}

}  // namespace tav::image
