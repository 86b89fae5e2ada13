// The routines behind the codec objects of system/codecs: the Tavbin codec's encode* and
// decode.
#include "core/errors.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/type_dispatch.h"
#include "routines.h"
#include "scanner/tavbin.h"

namespace tav::routines {

Status tavbin_encode_star(const int32_t*) {
  // The encoders finish reading the value before they write the result over it.
  if (is_true(arg(1))) tavbin::encode_cp(arg(0), stack::base);
  else tavbin::encode(arg(0), stack::base);
  return done();
}

Status tavbin_decode(const int32_t*) {
  Cell* payload = arg(0);
  const Cell* data = payload;
  if (payload->is(TYPE_FILE) || payload->is(TYPE_URL))
    data = stack::push(actions::read_direct(payload, nullptr, nullptr, true, false, false, nullptr));
  if (!data->is(TYPE_BINARY)) error::raise(ERR_SCRIPT, "invalid-data", payload);
  // The stream is the whole buffer, whatever the value's index: the header sits at its head.
  // Less than the header and the two counts cannot be a stream.
  int32_t length = series::buffer_length(data);
  if (length <= 10) error::raise(ERR_SCRIPT, "invalid-data", payload);
  Cell* values = block::make_at(stack::new_cell(), 4);
  tavbin::codec_mode = true;
  tavbin::decode(series::unit_at(data, 0), length, values, true, payload);
  if (block::rs_length(values) == 1) *stack::base = *block::cell_at(values, 0);
  else *stack::base = *values;
  return done();
}

}  // namespace tav::routines
