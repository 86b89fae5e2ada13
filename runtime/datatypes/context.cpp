// context!: the first cell of every context. Contexts never appear as values in the language;
// the type supports no action and is the parent of function!.
#include "core/context.h"
#include "core/types.h"

namespace tav::context {

void register_datatype() {
  datatype::register_type(TYPE_CONTEXT, TYPE_NONE_ID, "context!", {});
}

}  // namespace tav::context
