// Initialisers whose modules have not been built yet: each module replaces its entry here
// with its own definition.
#include "init_steps.h"

namespace tav::init_steps {
void call_output() {}
}  // namespace tav::init_steps
