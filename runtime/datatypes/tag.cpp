#include "datatypes/tag.h"

#include "core/string_buffer.h"
#include "core/types.h"
#include "datatypes/string.h"

namespace tav::tag {

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  string::append_char(buffer->node(), '<');
  limit = string::form(value, buffer, part, limit - 1);
  string::append_char(buffer->node(), '>');
  return limit - 1;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return form(value, buffer, part, limit);
}

}  // namespace tav::tag

namespace tav::tag_type {

void init() {
  datatype::register_type(TYPE_TAG, TYPE_STRING, "tag!", {
      inherit(ACT_MAKE), inherit(ACT_REFLECT), inherit(ACT_TO), inherit(ACT_EVAL_PATH),
      inherit(ACT_COMPARE), inherit(ACT_APPEND), inherit(ACT_AT), inherit(ACT_BACK),
      inherit(ACT_CHANGE), inherit(ACT_CLEAR), inherit(ACT_COPY), inherit(ACT_FIND),
      inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q), inherit(ACT_INSERT),
      inherit(ACT_LENGTH_Q), inherit(ACT_MOVE), inherit(ACT_NEXT), inherit(ACT_PICK),
      inherit(ACT_POKE), inherit(ACT_PUT), inherit(ACT_REMOVE), inherit(ACT_REVERSE),
      inherit(ACT_SELECT), inherit(ACT_SKIP), inherit(ACT_SWAP), inherit(ACT_TAIL),
      inherit(ACT_TAIL_Q), inherit(ACT_TAKE), inherit(ACT_MODIFY),
      on<ACT_FORM>(&tag::form),
      on<ACT_MOLD>(&tag::mold),
  });
}

}  // namespace tav::tag_type
