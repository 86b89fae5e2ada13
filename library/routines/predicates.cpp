#include "predicates.h"

#include "core/symbols.h"
#include "core/words.h"
#include "evaluator/interpreter.h"

namespace tav::routines::predicates {

namespace predicates_detail {
constexpr const char* NAMES[TYPESET_WORD_COUNT] = {
    "any-list!", "any-block!", "any-function!", "any-object!", "any-path!",
    "any-string!", "any-word!", "series!", "number!", "immediate!",
    "scalar!", "all-word!", "any-point!", "planar!"};
}  // namespace predicates_detail

bool in_typeset_word(int w, TypeId t) {
  // The word cells are made once; their symbols and global slots never change.
  static Cell words[TYPESET_WORD_COUNT];
  static bool made[TYPESET_WORD_COUNT];
  if (!made[w]) {
    words[w] = word::make(symbol::make(predicates_detail::NAMES[w]));
    made[w] = true;
  }
  const Cell* ts = interp::word_value_cell(&words[w]);
  return ts && ts->is(TYPE_TYPESET) && interp::typeset_has(ts, t);
}

}  // namespace tav::routines::predicates
