// The generic action natives: one dispatcher per action (the entries of `actions::table`)
// reads its arguments from the argument stack and hands them to the type's handler through
// the type dispatch below the evaluator (datatypes/type_dispatch.h). Cell 0 at the base is
// the first argument and the result slot, the fixed arguments follow, and each refinement is
// given as the position of its first argument counted in cells from the base (-1 when the
// refinement is not used).
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/stack.h"
#include "core/types.h"
#include "datatypes/type_dispatch.h"

namespace tav::actions {

using Dispatcher = Status (*)(const int32_t* refinement_positions);

// Entry a - 1 holds the dispatcher of action a; set-path has none (null).
extern Dispatcher table[ACTION_COUNT];
void fill_table(int count, const Dispatcher* entries);
void init();

// ---- Dispatchers -----------------------------------------------------------------------

// One per action, in table order; each reads its arguments from the argument base.
namespace dispatch {
Status make(const int32_t* refs);
Status random(const int32_t* refs);
Status reflect(const int32_t* refs);
Status to(const int32_t* refs);
Status form(const int32_t* refs);
Status mold(const int32_t* refs);
Status eval_path(const int32_t* refs);
// Internal: compares the base and the next cell under the op code given as refs[0] and
// writes the logic! answer into the base.
Status compare(const int32_t* refs);
Status absolute(const int32_t* refs);
Status add(const int32_t* refs);
Status divide(const int32_t* refs);
Status multiply(const int32_t* refs);
Status negate(const int32_t* refs);
Status power(const int32_t* refs);
Status remainder(const int32_t* refs);
Status round(const int32_t* refs);
Status subtract(const int32_t* refs);
Status even_q(const int32_t* refs);
Status odd_q(const int32_t* refs);
Status and_t(const int32_t* refs);
Status complement(const int32_t* refs);
Status or_t(const int32_t* refs);
Status xor_t(const int32_t* refs);
Status append(const int32_t* refs);
Status at(const int32_t* refs);
Status back(const int32_t* refs);
Status change(const int32_t* refs);
Status clear(const int32_t* refs);
Status copy(const int32_t* refs);
Status find(const int32_t* refs);
Status head(const int32_t* refs);
Status head_q(const int32_t* refs);
Status index_q(const int32_t* refs);
Status insert(const int32_t* refs);
Status length_q(const int32_t* refs);
Status move(const int32_t* refs);
Status next(const int32_t* refs);
Status pick(const int32_t* refs);
Status poke(const int32_t* refs);
Status put(const int32_t* refs);
Status remove(const int32_t* refs);
Status reverse(const int32_t* refs);
Status select(const int32_t* refs);
Status sort(const int32_t* refs);
Status skip(const int32_t* refs);
Status swap(const int32_t* refs);
Status tail(const int32_t* refs);
Status tail_q(const int32_t* refs);
Status take(const int32_t* refs);
Status trim(const int32_t* refs);
Status create(const int32_t* refs);
Status close(const int32_t* refs);
Status delete_(const int32_t* refs);
Status modify(const int32_t* refs);
Status open(const int32_t* refs);
Status open_q(const int32_t* refs);
Status query(const int32_t* refs);
Status read(const int32_t* refs);
Status rename(const int32_t* refs);
Status update(const int32_t* refs);
Status write(const int32_t* refs);
}  // namespace dispatch

}  // namespace tav::actions
