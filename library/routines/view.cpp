#include "datatypes/event.h"
#include "routines.h"

namespace tav::routines {

Status find_flag_q(const int32_t*) { return done_logic(event::find_flag(arg(0), arg(1))); }

}  // namespace tav::routines
