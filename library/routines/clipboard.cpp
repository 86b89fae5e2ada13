#include "core/errors.h"
#include "routines.h"
#include "services/clipboard.h"

namespace tav::routines {

Status read_clipboard(const int32_t*) {
  Cell content = make_cell(TYPE_NONE);
  // The content reaches the stack before anything else can allocate.
  Cell* out = stack::push(&content);
  if (!clipboard::read(out)) set_logic(out, false);
  *stack::base = *out;
  return done();
}

Status write_clipboard(const int32_t*) {
  if (!clipboard::writable(arg(0))) error::raise(ERR_SCRIPT, "invalid-arg", arg(0));
  return done_logic(clipboard::write(arg(0)));
}

}  // namespace tav::routines
