// event!: one input or window happening handed to the language. The cell keeps the event
// type code in data1, a message reference in data2 and the flags word in data3.
//
// A backend event refers to a record in a ring of 64 message records, which the GUI backend
// fills; a made event (header bit 0x1000, built by make event!) holds the node of a block of
// four cells (face, window, offset, picked) or 0. The ring keeps plain C++ data, so nothing in
// it is marked; a record refers to its window by id, and the backend answers the window's
// face through the hooks below. The runtime has no GUI dependency: without hooks, a backend
// event's face and window read none.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::event {

constexpr uint32_t FLAG_MADE = 0x1000;

// Flag bits of the flags word. The low 22 bits hold a key character (all 21 bits of a code
// point) or an index.
constexpr uint32_t EVT_CONTROL = 0x10000000;
constexpr uint32_t EVT_SHIFT = 0x20000000;
constexpr uint32_t EVT_ALT = 0x40000000;
constexpr uint32_t EVT_COMMAND = 0x80000000;
constexpr uint32_t EVT_AWAY = 0x04000000;
constexpr uint32_t EVT_DOWN = 0x02000000;
constexpr uint32_t EVT_MID_DOWN = 0x01000000;
constexpr uint32_t EVT_ALT_DOWN = 0x00800000;
constexpr uint32_t EVT_AUX_DOWN = 0x00400000;
constexpr uint32_t KEY_MASK = 0x003FFFFF;

// Event type codes, 1 to 38, in the order of their words.
enum Type : uint32_t {
  DOWN = 1, UP, MID_DOWN, MID_UP, ALT_DOWN, ALT_UP, AUX_DOWN, AUX_UP, CLICK, DBL_CLICK, WHEEL,
  OVER, KEY, KEY_DOWN, KEY_UP, IME, FOCUS, UNFOCUS, ENTER, ZOOM, PAN, ROTATE, TWO_TAP,
  PRESS_TAP, SELECT, CHANGE, MENU, CLOSE, MOVE, RESIZE, MOVING, RESIZING, TIME, DRAWING,
  SCROLL, MINIMIZE, MAXIMIZE, RESTORE,
};
constexpr uint32_t TYPE_COUNT = 38;

// Special keys a key event can name instead of a character: the codes are those of the
// key words' table (page-up 0x21 ... pause 0x13).
enum SpecialKey : int32_t {
  SK_NONE = -1, SK_PAUSE = 0x13, SK_CAPS_LOCK = 0x14, SK_PAGE_UP = 0x21, SK_PAGE_DOWN = 0x22,
  SK_END = 0x23, SK_HOME = 0x24, SK_LEFT = 0x25, SK_UP = 0x26, SK_RIGHT = 0x27, SK_DOWN = 0x28,
  SK_INSERT = 0x2D, SK_DELETE = 0x2E, SK_LEFT_COMMAND = 0x5B, SK_RIGHT_COMMAND = 0x5C,
  SK_F1 = 0x70, SK_F12 = 0x7B, SK_NUM_LOCK = 0x90, SK_SCROLL_LOCK = 0x91, SK_LEFT_SHIFT = 0xA0,
  SK_RIGHT_SHIFT = 0xA1, SK_LEFT_CONTROL = 0xA2, SK_RIGHT_CONTROL = 0xA3, SK_LEFT_ALT = 0xA4,
  SK_RIGHT_ALT = 0xA5,
};

// What `picked` reads for a backend event.
enum class Picked : uint8_t { from_flags, none, integer, number, percent, word };

// One message record: what the backend saw when it raised the event.
struct Record {
  uint32_t window = 0;       // window id of the message (0: none)
  uint32_t generation = 0;   // the ring slot's generation when the record was filled
  bool has_offset = false;
  bool offset_pair = false;  // the window works in pair coordinates
  float x = 0, y = 0;        // logical pixels, in the window's client coordinates
  int32_t special_key = SK_NONE;
  Picked picked = Picked::from_flags;
  int32_t picked_int = 0;    // an index, a gesture argument, a menu word's symbol id (whole)
  double picked_number = 0;
  uint8_t scroll_request = 0;
  bool vertical = false;     // scroll: from the vertical bar
  uint32_t time = 0;
};

// Takes the next ring record for a new backend event; the event's message word refers to it
// until 64 newer events have taken the ring round.
Record* new_record(uint32_t* message_word);
// The record a backend event refers to, or null once its slot was taken again.
const Record* record_of(const Cell* event);

// Fills the cell as a backend event.
Cell* make_backend_at(Cell* c, uint32_t type, uint32_t message_word, uint32_t flags);

// The backend's answers for a backend event's window: the face linked to the window, and the
// face of its top-level window. False when the window has no face.
struct Hooks {
  bool (*face_of)(uint32_t window, Cell* out) = nullptr;
  bool (*window_face_of)(uint32_t window, Cell* out) = nullptr;
};
extern Hooks hooks;

// Type words, flag words and face flag words.
uint32_t type_symbol(uint32_t code);
// The code of a type word (0 when the word names no event type).
uint32_t type_code(uint32_t symbol);
// The flag bit a flags-block word names (0 for another word).
uint32_t flag_bit(uint32_t symbol);
// The word of a special key code (0 when the code has none).
uint32_t special_key_symbol(int32_t code);

// get-flags: a face's flags facet (a word or a block of words) as its bit mask; an unknown
// word raises invalid-arg with the word.
uint32_t face_flags(const Cell* facet);
// find-flag?: the facet is the word, or a block holding it as a word or lit-word.
bool find_flag(const Cell* facet, const Cell* word);

// Reads a field (1 to 15) into out.
void read_field(const Cell* event, int field, Cell* out);

void init();

}  // namespace tav::event
