// The event maker: every event the backend raises goes through here. It fills a ring record,
// hands a backend event! to system/view/awake under a frame that catches everything, and
// tells the caller whether the handlers consumed it.
#pragma once
#include <cstdint>

#include "datatypes/event.h"

namespace tav::gui {

// 0 when the handler chain answered `stop` (consumed), 1 otherwise. The record gives the
// window and what the fields read; its generation is set here.
int raise_event(uint32_t type, uint32_t flags, const event::Record& message);

// Appends a line to the file TAV_GUI_TRACE names, when it is set: tests wait on these lines.
void trace_line(const char* text);

}  // namespace tav::gui
