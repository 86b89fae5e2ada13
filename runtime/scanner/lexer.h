// The lexer driver: scans UTF-8 text into values.
//
// One run of `scan_utf8` feeds the text through the token automaton (lexer_classify.h),
// hands each finished token to its handler (tokens.cpp), keeps the line count and builds
// nested blocks, parens, maps and paths on a value stack of its own. Scans nest (a value
// loader may start another scan), so every running scan has a `State` linked into one chain
// and its own stretch of the shared value stack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/cell.h"
#include "scanner/lexer_tables.h"

namespace tav::lexer {

// What a scan produces: values (load), checked token types (scan), or only the structure
// and a guessed type (prescan).
enum class Mode : uint8_t { load, scan, prescan };

struct Request {
  const uint8_t* text = nullptr;
  size_t length = 0;
  Mode mode = Mode::load;
  bool one_value = false;     // stop after the first complete top-level value
  Cell* into = nullptr;       // block to append the values to; null: a new block
  bool count_chars = true;    // end position in characters (string input) or bytes (binary)
  // A function! to report lexer events to (null: none). `input` is then the scanned series
  // (string! or binary!) at the position where `text` starts: the callback sees it moved to
  // each token, and may move it to make the scan resume elsewhere.
  const Cell* callback = nullptr;
  const Cell* input = nullptr;
};

// The lexer events, as bits of a callback's event mask.
enum Event : uint32_t {
  EVENT_PRESCAN = 1, EVENT_SCAN = 2, EVENT_LOAD = 4, EVENT_OPEN = 8, EVENT_CLOSE = 16,
  EVENT_ERROR = 32,
};
constexpr uint32_t ALL_EVENTS = 63;

// The events a callback wants: a block opening its body lists their words (any letter case);
// without one, all of them.
uint32_t event_mask(const Cell* callback);

// Runs one scan. In load mode *result receives the block of values (the `into` block when
// given); in the other modes it is left alone. Answers the datatype id of the last token
// (TYPE_ERROR for a refused token outside load mode). *end_position receives where the scan
// stopped. A malformed text in load mode raises a syntax error.
int scan_utf8(const Request& request, Cell* result, uint32_t* end_position);

// Convenience for loading a whole text into a new block.
int transcode(std::string_view text, Cell* result, Mode mode = Mode::load,
              bool one_value = false, uint32_t* end_position = nullptr);

// Scans length characters of a string value from its index (-1: all up to its tail): the
// characters are encoded as UTF-8 in a buffer shared by nested scans, then scanned as by
// scan_utf8. The end position counts characters from the value's index.
int scan_string(const Cell* str, int32_t length, Mode mode, bool one_value, Cell* into,
                Cell* result, uint32_t* end_position, const Cell* callback = nullptr);

// The last load error raised, with its console text ("*** Syntax Error: (line 1) ...").
struct LoadError {
  int kind = 0;               // a datatype id, or one of the KIND_* codes
  uint32_t line = 0;
  std::string token;          // the token text, cut at 30 characters or a line feed
  std::string message;        // as the console shows it
};
const LoadError& last_load_error();

// Error kinds besides a datatype id.
constexpr int KIND_BAD_CHAR = -1;
constexpr int KIND_BAD_CONSTRUCTION = -2;
constexpr int KIND_MISSING = -3;         // a closer without its opener, or the wrong closer
constexpr int KIND_MISSING_AT_END = -4;  // an opener never closed
// A literal whose datatype this build cannot make yet: KIND_NOT_BUILT - type id.
constexpr int KIND_NOT_BUILT = -100;
inline int not_built(int type) { return KIND_NOT_BUILT - type; }

// ---- Driver internals shared with the token handlers -----------------------------------

struct State {
  State* parent = nullptr;
  State* child = nullptr;
  uint32_t base = 0;             // first value-stack cell of this scan
  uint32_t frame = 0;            // first cell of the innermost open nesting
  uint32_t top = 0;              // next free value-stack cell
  const uint8_t* input_start = nullptr;
  const uint8_t* input_end = nullptr;
  const uint8_t* position = nullptr;
  const uint8_t* token_start = nullptr;  // where the token being handled starts
  const uint8_t* token_end = nullptr;
  uint32_t line = 1;
  uint32_t token_lines = 0;      // line breaks before the current token: the new-line marker
  int load_type = -1;            // type a string-family loader is to give (-1: string!)
  int type = 0;                  // datatype id of the last token
  uint8_t entry_state = ENTRY_TOKEN;
  uint8_t previous_state = 0;
  int last_type = 0;
  const uint8_t* brace_start = nullptr;
  uint32_t brace_depth = 0;
  uint32_t brace_flags = 0;
  uint32_t brace_lines = 0;
  Mode mode = Mode::load;
  bool load = true;              // values are built
  bool failed = false;           // a handler refused the token
  bool error_pending = false;    // ... and a syntax error is to be raised
  char missing = 0;              // the closer (or opener) a missing-closer error names
  // The trace callback's side of the scan.
  bool traced = false;           // a callback is given (even one that wants no event)
  uint32_t event_mask = 0;
  Cell callback = make_cell(TYPE_NONE);
  Cell input = make_cell(TYPE_NONE);     // the scanned series at the text's start
  const uint8_t* cache_byte = nullptr;   // last byte position turned into a character count
  uint32_t cache_chars = 0;              // ... and that count
  const uint8_t* resume = nullptr;       // where the callback moved the input to, if it did
  bool declined = false;                 // the callback declined the error just reported
  bool drop_nesting = false;             // ... which was the innermost nesting's own
  int error_type = 0;                    // the type an error event names (0: from the kind)
  const uint8_t* error_end = nullptr;    // end of the token an error was reported for
};

// Reports an event to the callback; answers its verdict (true when the event is not wanted).
// `value` is the token value for a load event (null otherwise: the token is then the
// positions of [start, end)); type is a datatype id, 0 for none, or -(state - 65) for a
// token without a type.
bool fire_event(State& s, Event event, int type, const Cell* value, const uint8_t* start,
                const uint8_t* end);

// Handler of a final state: checks the token [start, end) and, when build is set, pushes its
// value. Sets s.position past what it consumed. Answers false after reporting a failure.
using HandlerFn = bool(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                       bool build);
using Handler = HandlerFn*;

// The scan-role (structure and checks) and load-role (values) handlers, one slot per final
// state; filled at start-up.
extern Handler scan_handlers[FINAL_STATE_COUNT];
extern Handler load_handlers[FINAL_STATE_COUNT];

// A new cell on the value stack, unset!, carrying the new-line marker when a line break
// came before the token.
Cell* push_cell(State& s);
// Reports a refused token (see LoadError); always answers false.
bool fail(State& s, const uint8_t* start, const uint8_t* end, int kind);
// The type a missing-closer error names for a nesting type.
char closer_of(int nesting_type);

// Fills the load-role slots (tokens.cpp).
void register_token_handlers();

}  // namespace tav::lexer
