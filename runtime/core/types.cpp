#include "core/types.h"

#include <cstring>

#include "core/stack.h"

namespace tav {

TypeEntry type_table[TYPE_TABLE_SIZE];
ActionRow action_table[TYPE_TABLE_SIZE];
int highest_type_id = 0;

namespace datatype {

void register_type(TypeId id, TypeId parent, const char* name, const ActionRow& entries) {
  if (id > highest_type_id) highest_type_id = id;
  type_table[id].name = name;
  type_table[id].length = static_cast<uint32_t>(std::strlen(name)) - 1;
  for (int a = 0; a < ACTION_COUNT; a++) {
    ActionEntry e = entries[a];
    action_table[id][a] = (parent != 0 && e == INHERIT) ? action_table[parent][a]
                                                       : (e == INHERIT ? nullptr : e);
  }
}

void register_type(TypeId id, TypeId parent, const char* name,
                   std::initializer_list<ActionBinding> actions, ActionEntry rest) {
  ActionRow row;
  row.fill(rest);
  for (const ActionBinding& b : actions) row[b.action - 1] = b.entry;
  register_type(id, parent, name, row);
}

Cell* push(TypeId t) { return set_datatype(stack::new_cell(), t); }

}  // namespace datatype
}  // namespace tav
