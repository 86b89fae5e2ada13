// unset!, none!, logic! and datatype!: the types without a series payload, their shared
// constant cells and the truth tests of the language.
#pragma once
#include "core/cell.h"

namespace tav {

// Shared constant answers: callers copy them, never write them.
extern const Cell unset_value;
extern const Cell none_value;
extern const Cell true_value;
extern const Cell false_value;

namespace logic {
// Truth of a value; with check_unset an unset! raises no-value naming `word`.
bool is_true(const Cell* value, bool check_unset, const Cell* word);
// Truth of the result slot; an unset! result raises no-return.
bool true_result();
// The condition test that never raises: unset! counts as true.
bool false_result();
}  // namespace logic

namespace unset_type { void init(); }
namespace none_type { void init(); }
namespace logic_type { void init(); }
namespace datatype_type { void init(); }

}  // namespace tav
