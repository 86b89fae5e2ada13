#include "core/collector.h"
#include "routines.h"

namespace tav::routines {

Status gc_active_q(const int32_t*) { return done_logic(collector::enabled); }

// One cycle collects the series and the nodes together: both counts are the cycles run.
Status gc_series_cycles(const int32_t*) {
  return done_integer(static_cast<int32_t>(collector::cycle_count()));
}
Status gc_nodes_cycles(const int32_t*) {
  return done_integer(static_cast<int32_t>(collector::cycle_count()));
}

}  // namespace tav::routines
