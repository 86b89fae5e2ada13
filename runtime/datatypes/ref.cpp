#include "datatypes/ref.h"

#include "core/string_buffer.h"
#include "core/types.h"
#include "datatypes/string.h"

namespace tav::ref {

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  string::append_char(buffer->node(), '@');
  return string::form(value, buffer, part, limit - 1);
}

}  // namespace tav::ref

namespace tav::ref_type {

void init() {
  string_type::register_text_kind(TYPE_REF, "ref!", {
      no_handler(ACT_APPEND),
      no_handler(ACT_PUT),
      on<ACT_MOLD>(&ref::mold),
  });
}

}  // namespace tav::ref_type
