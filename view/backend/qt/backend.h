// The GUI backend's process-wide state and entry points: start-up, the DPI state, the
// message loop with its quit flag and counters, and posted calls. One thread runs the
// interpreter and all of Qt.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class QEventLoop;
class QScreen;

namespace tav::gui {

// ---- Start-up -------------------------------------------------------------------------------

// Chooses the platform, makes the one QApplication (with its own argc, so a script's
// arguments never reach Qt), sets the style and the DPI state. Safe to call again.
void init();
bool initialised();
// Starts reading the font configuration on a thread of its own, so that the first text the
// program measures does not wait for it; init() takes the result. Call it first thing, before
// the runtime starts.
void prepare_fonts();
// The display that was asked for but could not be reached (empty when none was): the
// backend then runs unseen, and making a window raises an error naming it.
const std::string& unreachable_display();
// What start-up learnt for system/view.
struct PlatformInfo {
  int version[3] = {10, 0, 0};
  int build = 0;
  int product = 1;
  int dpi = 96;
  int scroller[2] = {0, 0};
  // The application font, for fonts/system and fonts/size (points).
  std::string font_name;
  double font_size = 9.0;
  // Palette colours as 0xRRGGBB: text, window (the base colour) and panel.
  uint32_t text_color = 0, window_color = 0xFFFFFF, panel_color = 0xF0F0F0;
};
const PlatformInfo& platform_info();

// ---- DPI state ------------------------------------------------------------------------------

struct DpiState {
  int dpi = 96;
  double scale = 1.0;
  int depth = 0;
};
extern DpiState dpi;
void set_dpi(int value);
// 96 x the screen's device pixel ratio (96 without a screen).
int screen_dpi(const QScreen* screen);
// logical x scale + 0.5, truncated toward zero.
int to_device(float logical);
float to_logical(int device);
// The DPI of the screen showing the window (the current DPI when it has none).
int window_dpi(uint32_t window);
// Work on a window runs at its screen's DPI: enter answers the DPI to give back to leave.
// Leaving the outermost context takes the active window's DPI when there is one.
int enter_dpi_context(uint32_t window);
void leave_dpi_context(int previous);

// ---- Message loop ---------------------------------------------------------------------------

struct LoopState {
  int32_t blocking_loops = 0;
  int32_t pending_exits = 0;
  int32_t modifier_override = -1;
  bool quit_pending = false;
  // While closed (the expose wait), queued calls wait and no language code runs.
  bool gate_closed = false;
};
extern LoopState loop;

// Runs the loop: blocking until the quit message ends it, or one pass (no_wait) answering
// whether anything was handled.
bool do_events(bool no_wait);
// The quit message: ends the innermost blocking loop. Posting it twice before it is taken
// ends one loop.
void post_quit();
// How deep blocking loops are nested right now.
int loop_depth();

// Runs fn later, from the loop, when the window still exists then (a dead id: nothing).
void post_to_window(uint32_t window, std::function<void()> fn);
// Runs fn later from the loop (after the gate opens).
void post_call(std::function<void()> fn);

}  // namespace tav::gui
