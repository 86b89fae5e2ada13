// Type predicates: exact ones compare the value's type; typeset ones read the typeset their
// word holds at each call, so a later change of that word is followed.
#pragma once
#include "core/cell.h"
#include "evaluator/calls.h"
#include "routines.h"

namespace tav::routines::predicates {

template <TypeId T>
Status exact(const int32_t*) {
  return done_logic(arg(0)->type() == T);
}

// The typeset words the predicates read, by index.
enum TypesetWord : int {
  ANY_LIST, ANY_BLOCK, ANY_FUNCTION, ANY_OBJECT, ANY_PATH, ANY_STRING, ANY_WORD, SERIES,
  NUMBER, IMMEDIATE, SCALAR, ALL_WORD, ANY_POINT, PLANAR, TYPESET_WORD_COUNT
};

// Whether type t is in the typeset the word holds now (false when it holds no typeset).
bool in_typeset_word(int word, TypeId t);

template <int W>
Status in_typeset(const int32_t*) {
  return done_logic(in_typeset_word(W, arg(0)->type()));
}

}  // namespace tav::routines::predicates
