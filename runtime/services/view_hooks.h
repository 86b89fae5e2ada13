// The view layer's entry points behind the routines of system/view/platform and the event
// routines. The GUI-capable program installs them at start-up; where none is installed (the
// headless tav-eval) each of those routines raises "feature not available". An entry works as
// a routine's does: its arguments at stack::base, its result left there.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/stack.h"

namespace tav::view_hooks {

enum Entry : int {
  GUI_INIT,
  MAKE_NULL_HANDLE,
  FETCH_ALL_SCREENS,
  GET_CURRENT_SCREEN,
  GET_SCREEN_SIZE,
  DESTROY_VIEW,
  REFRESH_WINDOW,
  REDRAW,
  SHOW_WINDOW,
  MAKE_VIEW,
  DRAW_FACE,
  DO_EVENT_LOOP,
  EXIT_EVENT_LOOP,
  SET_DARK_MODE,
  SUPPORT_DARK_MODE,
  TOGGLE_GPU,
  SEND_EVENT_OS,
  UPDATE_VIEW,
  ON_CHANGE_FACET,
  DRAW_IMAGE,
  SIZE_TEXT,
  TEXT_BOX_METRICS,
  UPDATE_FONT,
  UPDATE_PARA,
  GET_CARET_BLINK_TIME,
  REQUEST_FILE,
  REQUEST_DIR,
  REQUEST_FONT,
  UPDATE_SCROLLER,
  ENTRY_COUNT
};

extern NativeEntry entries[ENTRY_COUNT];

// Renders a face into an image for `to image!`: true with `out` set (an image!, or none for
// a face with no window yet); false when the value is no face. Null where there is no GUI.
using FaceToImage = bool (*)(const Cell* value, Cell* out);
extern FaceToImage face_to_image;

// Runs the installed entry; raises internal feature-na when there is none.
Status call(Entry entry, const int32_t* refs);

}  // namespace tav::view_hooks
