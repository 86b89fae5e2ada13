// Running the lexer's automaton over one token, with no values built.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scanner/lexer_tables.h"

namespace tav::lexer {

// Where one run of the automaton stopped. Offsets count bytes from the start of the input
// handed in.
struct TokenScan {
  uint8_t state = 0;       // final state reached (66-101)
  uint8_t previous = 0;    // running state the final transition was taken from
  uint32_t start = 0;      // first byte of the token: blank space before it is skipped
  uint32_t end = 0;        // first unconsumed byte; the byte that ended the token stays unread
  uint32_t flags = 0;      // token flags ORed over every byte looked at
  uint32_t lines = 0;      // line breaks consumed

  TypeId type() const { return state_type(state); }
};

// Runs the automaton from entry_state (0, 4, 35 or 59) over [text, text + length) until a
// final state. Reaching the end of the input takes one more transition with the end class.
//
// Raw strings end at the first "}" followed by as many "%" as opened them: a shorter "}%"
// run inside the body is text, and a longer one is an error.
TokenScan run_automaton(const uint8_t* text, size_t length, uint8_t entry_state = ENTRY_TOKEN);

inline TokenScan run_automaton(std::string_view text, uint8_t entry_state = ENTRY_TOKEN) {
  return run_automaton(reinterpret_cast<const uint8_t*>(text.data()), text.size(), entry_state);
}

}  // namespace tav::lexer
