// The window table: every backend window has a 32-bit id (a 20-bit index and a 12-bit
// generation; 0 is no window). Values hold ids, never pointers; an id whose window was
// destroyed finds nothing, however long a value keeps it.
#pragma once
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "core/cell.h"

class QTimer;

namespace tav::gui::draw {
class DrawContext;
}

namespace tav::gui {

// Kind bits of a window.
constexpr uint32_t KIND_PAIR_COORDS = 0x10;   // the face's size is a pair!
constexpr uint32_t KIND_IME = 0x08;           // takes input-method text
constexpr uint32_t KIND_RICH_TEXT = 0x04;
constexpr uint32_t KIND_CARET_HOST = 0x02;

struct WinData {
  QPointer<QWidget> widget;
  int32_t face_slot = 0;      // the face object, in the handle slot table (0: not linked)
  uint32_t kind_bits = 0;
  uint32_t face_flags = 0;    // the face's flags facet as its mask
  QTimer* timer = nullptr;
  QImage back_buffer;         // faces that draw keep their pixels here between paints
  bool painted = false;       // the face draws: its widget shows the back buffer
  draw::DrawContext* drawing = nullptr;   // the frame open on the buffer, while rendering
  int32_t capture_count = 0;
  uint32_t tab_panel = 0;      // a tab panel's page: the tab panel it lies over
  bool destroying = false;    // the view is being destroyed: its close message destroys it
};

namespace windows {

// Adds a window and links the face to it; answers its id.
uint32_t add(QWidget* widget, const Cell* face);
// The window's record, or null for 0, a dead id or a widget already gone.
WinData* find(uint32_t id);
// Forgets the id at once: later lookups with it find nothing. Unlinks the face.
void kill(uint32_t id);
// The id of a widget itself (0 when it is no window of ours).
uint32_t id_of(const QObject* widget);
// The window of the face a widget belongs to: the widget or its first ancestor in the
// table, stopping at the top level.
uint32_t face_window_of(const QWidget* widget);
// The id of the top-level window holding the window (itself for a top level).
uint32_t root_of(uint32_t id);
// The face linked to the window; false when there is none.
bool face_of(uint32_t id, Cell* out);
uint32_t count();

}  // namespace windows

// The back buffer of a window, of the widget's size at the device pixel ratio, made again
// when either changed; its old pixels are dropped then.
QImage& back_buffer(WinData& w, QSize logical, qreal dpr);

}  // namespace tav::gui
