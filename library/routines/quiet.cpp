// Setters that store a value without firing the owner's change events.
#include "core/context.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/symbols.h"
#include "core/words.h"
#include "routines.h"

namespace tav::routines {

namespace quiet_detail {
[[noreturn]] void raise_expect(const char* routine, const char* argument, TypeId got) {
  Cell name = word::make(symbol::make(routine));
  Cell arg_word = word::make(symbol::make(argument));
  Cell type;
  set_datatype(&type, got);
  error::raise(ERR_SCRIPT, "expect-arg", &name, &type, &arg_word);
}
}  // namespace quiet_detail

Status set_quiet(const int32_t*) {
  Cell word = *arg(0);
  TypeId t = word.type();
  if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD)
    quiet_detail::raise_expect("set-quiet", "word", t);
  if (word.data1 == 0) error::raise(ERR_SCRIPT, "not-defined", &word);
  context::set_in(&word, arg(1), word.data1, false);
  *stack::base = *arg(1);
  return done();
}

Status set_slot_quiet(const int32_t*) {
  Cell* series = arg(0);
  TypeId t = series->type();
  if (t != TYPE_BLOCK && t != TYPE_PAREN && t != TYPE_PATH && t != TYPE_LIT_PATH &&
      t != TYPE_SET_PATH && t != TYPE_GET_PATH)
    quiet_detail::raise_expect("set-slot-quiet", "series", t);
  SeriesBuffer* b = node_buffer(series->node());
  if (series->index() < b->count()) b->cells()[series->index()] = *arg(1);
  *stack::base = *arg(1);
  return done();
}

}  // namespace tav::routines
