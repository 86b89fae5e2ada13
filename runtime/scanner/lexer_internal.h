// What the lexer's pieces share: the value stack and chain of running scans (lexer.cpp),
// the nesting handlers (lexer_structure.cpp), load errors (lexer_errors.cpp) and the trace
// call-back (lexer_trace.cpp). Internal to the scanner.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scanner/lexer.h"

namespace tav::lexer::lexer_driver {

// One value stack for every running scan: a nested scan starts at its parent's top, so it
// never overwrites cells the parent still holds. Positions are indexes, so growing the
// array moves nothing the states refer to.
extern std::vector<Cell> value_stack;
constexpr size_t INITIAL_STACK_CELLS = 1000;

// The running scans, outermost first (linked through State::child).
extern State* chain_head;

// The last load error a scan reported (lexer_errors.cpp).
extern LoadError last_error;

// An open nesting on the value stack: a cell of a type that never appears there otherwise,
// holding the distance back to the enclosing frame, the nested type (with the comma count
// of a point in the high half) and the byte offset of the opening character.
constexpr TypeId MARKER = TYPE_TRIPLE;

inline Cell* marker(State& s) {
  return s.frame > s.base ? &value_stack[s.frame - 1] : nullptr;
}
inline int marker_type(const Cell* m) { return m ? static_cast<int>(m->data2 & 0xFFFF) : 0; }

inline bool is_point(int type) { return type == TYPE_POINT2D || type == TYPE_POINT3D; }

// Moves the scan to where the callback moved the input, if it did.
inline void apply_resume(State& s) {
  if (!s.resume) return;
  s.position = s.resume;
  s.resume = nullptr;
}

// ---- The driver (lexer.cpp) -------------------------------------------------------------

// One character on from p, for a scan that must not stay where it is.
const uint8_t* next_char(const State& s, const uint8_t* p);

// ---- Nesting and structure handlers (lexer_structure.cpp) -------------------------------

// The scan-role handlers of the structure tokens (see Handler), registered at start-up.
HandlerFn scan_eof, scan_error, scan_open, scan_close_block, scan_close_paren, scan_map_open,
    scan_brace_open, scan_brace_close, scan_path_open, scan_construct, scan_comment,
    scan_comma;
// After a path element: goes on, or closes the path (see lexer_structure.cpp).
bool path_next(State& s);

// ---- Load errors (lexer_errors.cpp) ------------------------------------------------------

[[noreturn]] void raise_load_error(const LoadError& e);

// ---- Trace call-back (lexer_trace.cpp) ---------------------------------------------------

// Lets the collector see the running scans' values, inputs and callbacks.
void watch_states();
// Picks the scan up after the callback declined an error; false when it did not.
bool recover(State& s, const uint8_t* token_start);

}  // namespace tav::lexer::lexer_driver
