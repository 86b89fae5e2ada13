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
  datatype::register_type(TYPE_REF, TYPE_STRING, "ref!", {
      inherit(ACT_MAKE), inherit(ACT_REFLECT), inherit(ACT_TO), inherit(ACT_FORM),
      inherit(ACT_COMPARE), inherit(ACT_AT), inherit(ACT_BACK), inherit(ACT_CHANGE),
      inherit(ACT_CLEAR), inherit(ACT_COPY), inherit(ACT_FIND), inherit(ACT_HEAD),
      inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q), inherit(ACT_INSERT), inherit(ACT_LENGTH_Q),
      inherit(ACT_MOVE), inherit(ACT_NEXT), inherit(ACT_PICK), inherit(ACT_POKE),
      inherit(ACT_REMOVE), inherit(ACT_REVERSE), inherit(ACT_SELECT), inherit(ACT_SKIP),
      inherit(ACT_SWAP), inherit(ACT_TAIL), inherit(ACT_TAIL_Q), inherit(ACT_TAKE),
      inherit(ACT_MODIFY),
      on<ACT_MOLD>(&ref::mold),
  });
}

}  // namespace tav::ref_type
