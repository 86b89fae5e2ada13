// Type dispatch: a generic action takes the type of its first argument and calls that type's
// handler from the action rows.
//
// The lookups find a handler (or raise the error a missing one means); the direct entries
// (`actions::form_direct` ...) call an action on plain arguments, for the datatypes and every
// other caller inside the runtime; refinement arguments are cell addresses, null when absent.
// The evaluator's dispatchers (evaluator/actions.h) read an action's arguments from the
// argument stack and come here.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/stack.h"
#include "core/types.h"

namespace tav::actions {

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
// Script expect-arg for the running call: its name, the datatype refused and the word of its
// argument at `arg_index` (arguments and refinements counted in spec order).
[[noreturn]] void raise_expect_arg(TypeId refused, int arg_index);

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

}  // namespace tav::actions
