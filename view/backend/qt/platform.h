// The backend's entry points behind the routines of system/view/platform. Plain C++
// functions on value cells; the binding layer (view/binding.cpp) checks argument types and
// calls them.
#pragma once
#include <cstdint>

#include "core/cell.h"

class QScreen;

namespace tav::gui::platform {

// Handle classes.
constexpr uint32_t CLASS_NULL = 0;
constexpr uint32_t CLASS_MONITOR = 2;
constexpr uint32_t CLASS_WINDOW = 3;

Cell handle(uint32_t value, uint32_t handle_class);

// Face fields, by index in face! order.
enum FaceField : uint32_t {
  FACE_TYPE = 0, FACE_OFFSET = 1, FACE_SIZE = 2, FACE_TEXT = 3, FACE_IMAGE = 4,
  FACE_COLOR = 5, FACE_DATA = 7, FACE_ENABLED = 8, FACE_VISIBLE = 9, FACE_SELECTED = 10,
  FACE_FLAGS = 11, FACE_OPTIONS = 12, FACE_PARENT = 13, FACE_PANE = 14, FACE_STATE = 15, FACE_RATE = 16,
  FACE_PARA = 18, FACE_FONT = 19, FACE_DRAW = 22,
  FACE_MENU = 6,
};
Cell* face_field(const Cell* face, uint32_t field);
// The window id held in the face's state block (0 when there is none).
uint32_t face_window(const Cell* face);

// The id a screen keeps for the life of the process (a screen face's handle).
uint32_t monitor_id(const QScreen* screen);

Cell make_null_handle();
// A block of [origin size scale handle] per screen, the primary first.
void fetch_all_screens(Cell* out);
Cell get_current_screen();
Cell get_screen_size(int32_t id);
// Makes the face's window (a `window` face: a top-level window; a `panel`: a child of the
// parent window). Another face type raises face-type.
Cell make_view(const Cell* face, const Cell* parent);
// Sends the face's changed facets (or those of each face of a block) to its widget and clears
// its change bits.
void update_view(const Cell* face_or_faces);
// A change inside a face's series: a changed pane is stacked again, anything else applied.
void on_change_facet(const Cell* owner, const Cell* word);
void show_window(const Cell* h);
void refresh_window(const Cell* h);
void redraw(const Cell* face);
// Frees the face and its pane and posts the close of its window; with empty? the loop
// that the window owned is to end.
void destroy_view(Cell* face, bool empty);
bool do_event_loop(bool no_wait);
void exit_event_loop();
bool support_dark_mode();

}  // namespace tav::gui::platform
