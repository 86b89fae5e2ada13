#include "builtin_lists.h"

#include <cstring>
#include <vector>

#include "core/action_list.h"
#include "core/memory.h"
#include "core/native_list.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav::bootgen {

namespace {

struct List {
  const char* kind;                 // "native!" or "action!"
  std::vector<const char*> names;   // by position - 1
  std::vector<bool> must_bind;
  std::vector<int> bound;           // how many times the sources bind each
};

List natives_list() {
  List l{"native!", {}, {}, {}};
  for (const char* n : natives::NATIVE_NAMES) {
    l.names.push_back(n);
    l.must_bind.push_back(true);
  }
  l.bound.assign(l.names.size(), 0);
  return l;
}

List actions_list() {
  List l{"action!", {}, {}, {}};
  constexpr bool BOUND = true, UNBOUND = false;
#define TAV_ACTION_ROW(id, name, signature, word) \
  l.names.push_back(name);                        \
  l.must_bind.push_back(word);
  TAV_ACTIONS(TAV_ACTION_ROW)
#undef TAV_ACTION_ROW
  l.bound.assign(l.names.size(), 0);
  return l;
}

std::string text_of(uint32_t symbol) { return symbol::get_c_string(symbol); }

bool is_word_named(const Cell* c, const char* name) {
  return c->is(TYPE_WORD) && text_of(c->data2) == name;
}

// The position written after the spec in `[[spec] position]`, or -1.
int32_t position_in(const Cell* block) {
  SeriesBuffer* b = node_buffer(block->node());
  uint32_t n = b->count();
  if (n != block->index() + 2) return -1;
  const Cell* spec = b->cells() + block->index();
  const Cell* pos = spec + 1;
  if (!spec->is(TYPE_BLOCK) || !pos->is(TYPE_INTEGER)) return -1;
  return pos->int_value();
}

void check_code(const Cell* code, List* lists[2], std::string* faults) {
  SeriesBuffer* b = node_buffer(code->node());
  const Cell* c = b->cells();
  uint32_t n = b->count();
  for (uint32_t i = code->index(); i + 3 < n; i++) {
    if (!c[i].is(TYPE_SET_WORD) || !is_word_named(&c[i + 1], "make")) continue;
    for (int k = 0; k < 2; k++) {
      List& l = *lists[k];
      if (!is_word_named(&c[i + 2], l.kind) || !c[i + 3].is(TYPE_BLOCK)) continue;
      std::string name = text_of(c[i].data2);
      int32_t pos = position_in(&c[i + 3]);
      int32_t want = 0;
      for (size_t p = 0; p < l.names.size(); p++)
        if (name == l.names[p]) want = static_cast<int32_t>(p) + 1;
      if (want == 0) {
        *faults += name + ": no such " + l.kind + " in the runtime's list\n";
      } else if (pos != want) {
        *faults += name + ": bound at " + std::to_string(pos) + ", the runtime's list has it at " +
                   std::to_string(want) + "\n";
      } else {
        l.bound[want - 1]++;
      }
    }
  }
}

}  // namespace

std::string check_builtin_lists(const Cell* root) {
  List natives = natives_list(), actions = actions_list();
  List* lists[2] = {&natives, &actions};
  std::string faults;
  SeriesBuffer* b = node_buffer(root->node());
  for (uint32_t i = root->index() + 1; i < b->count(); i += 2)
    if (b->cells()[i].is(TYPE_BLOCK)) check_code(b->cells() + i, lists, &faults);
  for (List* l : lists) {
    for (size_t p = 0; p < l->names.size(); p++) {
      if (l->must_bind[p] && l->bound[p] == 0)
        faults += std::string(l->names[p]) + ": the boot sources never bind this " + l->kind + "\n";
      if (l->bound[p] > 1)
        faults += std::string(l->names[p]) + ": bound more than once\n";
    }
  }
  return faults;
}

}  // namespace tav::bootgen
