// The generic actions layer: a generic action takes the type of its first argument and calls
// that type's handler from the action table.
//
// Two doors lead in. The dispatchers (one per action, the entries of `actions::table`) read
// their arguments from the argument stack: cell 0 at the base is the first argument and the
// result slot, the fixed arguments follow, and each refinement is given as the position of its
// first argument counted in cells from the base (-1 when the refinement is not used). The
// direct entries (`actions::form_direct` ...) take plain arguments for callers inside the
// runtime; refinement arguments are cell addresses, null when absent.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/stack.h"
#include "core/types.h"

namespace tav::actions {

using Dispatcher = Status (*)(const int32_t* refinement_positions);

// Entry a - 1 holds the dispatcher of action a; set-path has none (null).
extern Dispatcher table[ACTION_COUNT];
void fill_table(int count, const Dispatcher* entries);
void init();

// ---- Lookup ----------------------------------------------------------------------------

// The handler a type registered for an action. A zero entry raises the unsupported-action
// error (script expect-arg naming the running call, the datatype and the first argument);
// for a port! whose actor is a handle!, actions from append on come from its actor table.
ActionEntry lookup(TypeId type, const Cell* value, ActionId action);
ActionEntry lookup_for_value(const Cell* value, ActionId action);
ActionEntry lookup_arg(ActionId action);
// The eval-path handler of the value's type (no port redirection); a zero entry raises
// bad-path-type2 (no path) or bad-path-type.
ActionEntry lookup_path(const Cell* value, const Cell* path, const Cell* element,
                        int element_index);
// The index carried by the second argument cell: integer! or char! its value, logic! 1 for
// true and 2 for false, anything else 0.
int32_t index_arg();

// ---- Errors handlers share -------------------------------------------------------------

// Script invalid-refine-arg: "invalid" refinement "argument:" value.
[[noreturn]] void raise_invalid_refine(const char* refinement, const Cell* arg);

// ---- Comparison ------------------------------------------------------------------------

// The truth of a comparison under op codes 0-6 and 9-12. Incomparable values answer false
// to equality questions and raise invalid-compare under an ordering.
bool compare(Cell* value1, Cell* value2, int op);
// The signed comparison used by sorting and block searches (-2: incomparable).
int compare_value(Cell* value1, Cell* value2, int op);
// Compares the cells at the base and above it and writes the truth into the base.
Cell* compare_set_logic(int op);

// ---- Direct entries --------------------------------------------------------------------

Cell* make_direct(Cell* proto, Cell* spec, int type);
Cell* to_direct(Cell* proto, Cell* spec, int type);
Cell* random_direct(Cell* value, bool seed, bool secure, bool only);
Cell* reflect_direct(Cell* value, uint32_t field_symbol);
int form_direct(Cell* value, Cell* buffer, Cell* part, int limit);
int mold_direct(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                int limit, int indent);
Cell* eval_path_direct(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                       Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);
Cell* negate_direct(Cell* value);
Cell* round_direct(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                   bool ceiling, bool half_ceiling);
bool even_q_direct(Cell* value);
bool odd_q_direct(Cell* value);
Cell* complement_direct(Cell* value);
// part: the count after normalisation, -1 without /part.
Cell* append_direct(Cell* series, Cell* value, int part, bool only, int dup);
Cell* insert_direct(Cell* series, Cell* value, int part, bool only, int dup);
Cell* change_direct(Cell* series, Cell* value, int part, bool only, int dup);
Cell* clear_direct(Cell* series);
Cell* copy_direct(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* find_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                  bool match);
int length_q_direct(Cell* series);
Cell* move_direct(Cell* origin, Cell* target, Cell* part);
Cell* pick_direct(Cell* series, int index, Cell* boxed);
Cell* poke_direct(Cell* series, int index, Cell* data, Cell* boxed);
Cell* put_direct(Cell* series, Cell* key, Cell* value, bool case_);
Cell* remove_direct(Cell* series, Cell* part, Cell* key);
Cell* reverse_direct(Cell* series, Cell* part, Cell* skip);
Cell* select_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                    bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* sort_direct(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
                  bool reverse, bool stable);
Cell* swap_direct(Cell* series1, Cell* series2);
Cell* take_direct(Cell* series, Cell* part, bool deep, bool last);
Cell* trim_direct(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                  Cell* with);
Cell* create_direct(Cell* port);
Cell* close_direct(Cell* port);
Cell* delete_direct(Cell* file);
Cell* modify_direct(Cell* target, Cell* field, Cell* value, bool case_);
Cell* open_direct(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell* open_q_direct(Cell* port);
Cell* query_direct(Cell* target);
Cell* read_direct(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                  Cell* as);
Cell* rename_direct(Cell* from, Cell* to);
Cell* update_direct(Cell* port);
Cell* write_direct(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                   bool append, Cell* part, Cell* seek, Cell* allow, Cell* as);

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
