// Injecting a made event as if the platform had delivered it (send-event-os).
#pragma once
#include "core/cell.h"

namespace tav::gui {

// The event must be a made event whose face has a live window in its state block. Mouse and
// key events go through the pre-dispatch and on to the widget, at once or (queued) from the
// loop; minimize, maximize and restore change the window's state. False for anything that
// cannot be sent.
bool send_event(const Cell* event, bool queued);

}  // namespace tav::gui
