// The type table and the action rows: every datatype's behaviour is reached through one row
// of 62 handlers, one per generic action, filled once at start-up by the type's registration.
#pragma once
#include <array>
#include <cstdint>
#include <initializer_list>
#include "core/action_list.h"
#include "core/cell.h"

namespace tav {

// Generic actions, 1-based, in the order of core/action_list.h (boot data refers to them by
// position).
enum ActionId : uint8_t {
  ACT_NONE = 0,
#define TAV_ACTION_ID(id, name, signature, word) ACT_##id,
  TAV_ACTIONS(TAV_ACTION_ID)
#undef TAV_ACTION_ID
};
#define TAV_ACTION_ONE(id, name, signature, word) +1
constexpr int ACTION_COUNT = 0 TAV_ACTIONS(TAV_ACTION_ONE);
#undef TAV_ACTION_ONE

using ActionEntry = void*;
using ActionRow = std::array<ActionEntry, ACTION_COUNT>;
// In a registration row: take the parent's entry for this action.
inline ActionEntry const INHERIT = reinterpret_cast<ActionEntry>(intptr_t(-1));

struct TypeEntry {
  const char* name = nullptr;  // with its trailing "!"
  uint32_t length = 0;         // the name without its "!"
  Cell word{};                 // the global word of the name, once the global context exists
};

extern TypeEntry type_table[TYPE_TABLE_SIZE];
extern ActionRow action_table[TYPE_TABLE_SIZE];
extern int highest_type_id;

inline ActionEntry action_entry(TypeId t, ActionId a) { return action_table[t][a - 1]; }

namespace datatype {
// Registers one type; a parent must be registered before its children (rows are copied).
void register_type(TypeId id, TypeId parent, const char* name, const ActionRow& entries);
// Sets each registered type's name word (after the global context exists).
void make_name_words();
Cell* push(TypeId t);
}  // namespace datatype

// Action handler signatures. A refinement argument cell is null when the refinement is absent;
// a refinement without argument is a bool. Handlers that "write" leave the result in the
// result slot (the cell at the argument base); "stack-reading" handlers read their arguments
// from the base themselves.
namespace act {
using Make = Cell* (*)(Cell* proto, Cell* spec, int type);               // make, to
using Random = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using Reflect = Cell* (*)(Cell* value, uint32_t field_symbol);
using Form = int (*)(Cell* value, Cell* buffer, Cell* part, int limit);
using Mold = int (*)(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                     int limit, int indent);
using EvalPath = Cell* (*)(Cell* parent, Cell* element, Cell* value, Cell* path,
                           Cell* grand_parent, Cell* prev_element, int index, bool case_,
                           bool get, bool tail, bool evt);
using Compare = int (*)(Cell* value1, Cell* value2, int op);
using StackReading = Cell* (*)();   // absolute add divide multiply power remainder subtract
                                    // and~ or~ xor~ at back head head? index? next skip tail tail?
using Unary = Cell* (*)(Cell* value);  // negate complement clear create close delete open?
                                       // query update
using Round = Cell* (*)(Cell* value, Cell* scale, bool even, bool down, bool half_down,
                        bool floor, bool ceiling, bool half_ceiling);
using Predicate = bool (*)(Cell* value);                                  // even? odd?
using Append = Cell* (*)(Cell* series, Cell* value, int part, bool only, int dup, bool append);
using Change = Cell* (*)(Cell* series, Cell* value, int part, bool only, int dup);
using Copy = Cell* (*)(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
using Find = Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                       bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                       bool match);
using Select = Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                         bool any, Cell* with, Cell* skip, bool last, bool reverse);
using Length = int (*)(Cell* series);   // -1 answers none
using Move = Cell* (*)(Cell* origin, Cell* target, Cell* part);
using Pick = Cell* (*)(Cell* series, int index, Cell* boxed);
using Poke = Cell* (*)(Cell* series, int index, Cell* data, Cell* boxed);
using Put = Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_);
using Remove = Cell* (*)(Cell* series, Cell* part, Cell* key);
using Reverse = Cell* (*)(Cell* series, Cell* part, Cell* skip);
using Sort = Cell* (*)(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part,
                       bool all, bool reverse, bool stable);
using Swap = Cell* (*)(Cell* series1, Cell* series2);
using Take = Cell* (*)(Cell* series, Cell* part, bool deep, bool last);
using Trim = Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                       Cell* with);
using Modify = Cell* (*)(Cell* target, Cell* field, Cell* value, bool case_);
using Open = Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
using Read = Cell* (*)(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                       Cell* as);
using Rename = Cell* (*)(Cell* from, Cell* to);
using Write = Cell* (*)(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                        bool append, Cell* part, Cell* seek, Cell* allow, Cell* as);
}  // namespace act

template <typename Fn>
inline ActionEntry entry(Fn f) { return reinterpret_cast<ActionEntry>(f); }

// The handler type of each action.
template <ActionId A>
struct ActionSignature;
#define TAV_ACTION_SIGNATURE(id, name, signature, word) \
  template <>                                           \
  struct ActionSignature<ACT_##id> {                    \
    using type = act::signature;                        \
  };
TAV_ACTIONS(TAV_ACTION_SIGNATURE)
#undef TAV_ACTION_SIGNATURE

// One line of a datatype's action table: the action and its handler (INHERIT: the parent's;
// null: none).
struct ActionBinding {
  ActionId action;
  ActionEntry entry;
};
// A handler for the action; it must have the action's handler type.
template <ActionId A>
inline ActionBinding on(typename ActionSignature<A>::type handler) {
  return {A, entry(handler)};
}
inline ActionBinding inherit(ActionId a) { return {a, INHERIT}; }
inline ActionBinding no_handler(ActionId a) { return {a, nullptr}; }

namespace datatype {
// Registers a type from its action table: the actions it lists get their handlers, every
// other action gets `rest` (null: no handler; INHERIT: the parent's).
void register_type(TypeId id, TypeId parent, const char* name,
                   std::initializer_list<ActionBinding> actions, ActionEntry rest = nullptr);
}  // namespace datatype

// Comparison op codes passed to every compare handler.
enum CompareOp : int {
  COMP_EQUAL = 0, COMP_NOT_EQUAL = 1, COMP_STRICT_EQUAL = 2, COMP_LESSER = 3,
  COMP_LESSER_EQUAL = 4, COMP_GREATER = 5, COMP_GREATER_EQUAL = 6, COMP_SORT = 7,
  COMP_CASE_SORT = 8, COMP_SAME = 9, COMP_FIND_CASE = 10, COMP_FIND = 11, COMP_FIND_EQUAL = 12,
};
constexpr int COMPARE_UNRELATED = -2;

}  // namespace tav
