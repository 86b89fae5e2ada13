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
  string_type::register_text_kind(TYPE_TAG, "tag!", {
      inherit(ACT_EVAL_PATH),
      on<ACT_FORM>(&tag::form),
      on<ACT_MOLD>(&tag::mold),
  });
}

}  // namespace tav::tag_type
