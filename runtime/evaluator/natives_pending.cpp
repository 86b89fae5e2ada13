// Groups of natives not built yet: each group replaces its entry here with its own
// register function, in its own file.
#include "evaluator/natives.h"

namespace tav::natives {
void register_control() {}
void register_math() {}
void register_series_text() {}
void register_system() {}
}  // namespace tav::natives
