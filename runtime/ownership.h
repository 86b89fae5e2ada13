// Change notices for owned series. An object can own a series (its field holds it); every
// action that modifies a series tells the owner before and after the change, so that the
// owner's `on-deep-change*` handler sees it. A series without an owner is never reported.
//
// The "before" notice may run language code that changes the same series: callers re-read
// the buffer, index and tail after it and clamp again before they touch any unit.
#pragma once
#include <cstdint>
#include "cell.h"
#include "memory.h"

namespace tav::ownership {

// What changed. Each kind has a word sent before the change and one sent after it:
// clear/cleared, poke/poked, random/randomized, move/moved, remove/removed,
// reverse/reversed, take/taken, append/appended, insert/inserted, change/changed,
// put/put-ed, sort/sorted, swap/swaped, trim/trimmed.
enum class Change : uint8_t {
  clear, poke, random, move, remove, reverse, take, append, insert, change, put, sort, swap,
  trim,
};

inline bool is_owned(const Cell* series) {
  return (node_buffer(series->node())->flags & BUF_OWNED) != 0;
}

// The ownership table is not built yet: nothing is owned, so the notices have nobody to tell.
inline void notify_before(const Cell* series, Change, const Cell* /*value*/, int32_t /*index*/,
                          int32_t /*count*/) {
  if (!is_owned(series)) return;
}
inline void notify_after(const Cell* series, Change, const Cell* /*value*/, int32_t /*index*/,
                         int32_t /*count*/) {
  if (!is_owned(series)) return;
}

}  // namespace tav::ownership
