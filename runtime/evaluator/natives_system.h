// What the output and system natives need from outside the runtime.
#pragma once

namespace tav::natives {

// Takes and dispatches at most one pending GUI message without waiting. The view layer
// installs it; headless it stays null and `wait` only sleeps.
using EventPump = void (*)();
extern EventPump gui_do_events;

}  // namespace tav::natives
