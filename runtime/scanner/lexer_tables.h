// The lexer's constant tables: byte classes, token flags and the token automaton.
//
// The lexer reads UTF-8 one byte at a time. Each byte maps to one of 40 classes; the pair
// (state, class) gives the next state; a state above 65 ends the token and names its kind.
// Everything here is built at compile time and read-only at run time.
#pragma once
#include <array>
#include <cstdint>

#include "core/cell.h"

namespace tav::lexer {

enum class CharClass : uint8_t {
  blank,          // TAB, CR, space
  newline,        // LF
  digit,          // 1-9
  zero,           // 0
  lbracket,
  rbracket,
  lparen,
  rparen,
  lbrace,
  rbrace,
  dquote,
  hash,
  apostrophe,
  colon,
  x,              // x and X
  T,              // upper case only: the time part of a date
  h,              // lower case only: the suffix of a hexadecimal integer
  e,
  E,
  hex_lower,      // a-d, f
  hex_upper,      // A-D, F
  slash,
  backslash,
  less,
  greater,
  equal,
  percent,
  comma,
  semicolon,
  at_sign,
  dot,
  dollar,
  plus,
  minus,
  caret,
  control,        // 1-8, 11, 12, 14-31
  continuation,   // DEL and UTF-8 continuation bytes 128-191
  letter,         // other ASCII, UTF-8 lead bytes 194-247
  invalid,        // 192, 193, 248-255: never part of valid UTF-8
  end,            // NUL, and the end of the input
};

constexpr int CLASS_COUNT = 40;
constexpr int RUNNING_STATES = 65;   // states 0-64 have a transition row
constexpr int STATE_COUNT = 102;     // 0-64 running, 65 unused, 66-101 final
constexpr int FIRST_FINAL_STATE = 66;
constexpr int FINAL_STATE_COUNT = STATE_COUNT - FIRST_FINAL_STATE;   // one handler slot each

// States a token may start in.
constexpr uint8_t ENTRY_TOKEN = 0;    // between tokens
constexpr uint8_t ENTRY_BRACED = 4;   // inside an open braced string
constexpr uint8_t ENTRY_POINT = 35;   // after "(" that opens a point literal
constexpr uint8_t ENTRY_PATH = 59;    // at the start of a path element

// Running states the scanner's own code needs to name.
constexpr uint8_t STATE_RAW_BODY = 10;    // inside %{...}%
constexpr uint8_t STATE_RAW_RBRACE = 11;  // "}" seen inside a raw string
constexpr uint8_t STATE_RAW_CLOSE = 12;   // "%" run after that "}"

// Final states: the token kinds.
enum FinalState : uint8_t {
  S_EOF = 66,
  S_ERROR,
  S_BLOCK_OPEN,
  S_BLOCK_CLOSE,
  S_PAREN_OPEN,
  S_PAREN_CLOSE,
  S_BRACE_OPEN,
  S_BRACE_CLOSE,
  S_MAP_OPEN,
  S_PATH_OPEN,
  S_CONSTRUCT,
  S_COMMENT,
  S_COMMA,
  S_STRING,
  S_WORD,
  S_ISSUE,
  S_INTEGER,
  S_REFINEMENT,
  S_CHAR,
  S_FILE,
  S_BINARY,
  S_PERCENT,
  S_FLOAT,
  S_SPECIAL_FLOAT,
  S_TUPLE,
  S_DATE,
  S_PAIR,
  S_POINT,
  S_TIME,
  S_MONEY,
  S_TAG,
  S_URL,
  S_EMAIL,
  S_HEX,
  S_RAW_STRING,
  S_REF,
};
static_assert(S_REF == STATE_COUNT - 1);

// Token flags: bits 18-31 of a class-table entry. The driver ORs them over a token.
constexpr uint32_t TOKEN_PERCENT = 1u << 18;     // "%": file and url text to percent-decode
constexpr uint32_t TOKEN_GREATER = 1u << 19;     // ">"
constexpr uint32_t TOKEN_LESS = 1u << 20;        // "<"
constexpr uint32_t TOKEN_SIGN = 1u << 21;        // "+" or "-": signed money
constexpr uint32_t TOKEN_NUL = 1u << 22;         // NUL
constexpr uint32_t TOKEN_HASH = 1u << 23;        // "#"
constexpr uint32_t TOKEN_EXPONENT = 1u << 24;    // "e" or "E": refused in times
constexpr uint32_t TOKEN_APOSTROPHE = 1u << 25;  // "'": digit separators
constexpr uint32_t TOKEN_COLON = 1u << 26;       // ":": set-word, get-word, path forms
constexpr uint32_t TOKEN_COMMA = 1u << 27;       // ","
constexpr uint32_t TOKEN_DOT = 1u << 28;         // ".": refused in pairs
constexpr uint32_t TOKEN_CARET = 1u << 29;       // "^": text holding escapes
constexpr uint32_t TOKEN_WIDE2 = 1u << 30;       // UTF-8 lead 194-239: needs 2-byte units
constexpr uint32_t TOKEN_WIDE4 = 1u << 31;       // UTF-8 lead 240-247: needs 4-byte units
constexpr uint32_t TOKEN_FLAGS_MASK = 0xFFFC0000u;
constexpr uint32_t CLASS_MASK = 0xFFu;

using ClassTable = std::array<uint32_t, 256>;
using TransitionTable = std::array<uint8_t, RUNNING_STATES * CLASS_COUNT>;
using StateTable = std::array<uint8_t, STATE_COUNT>;
using ClassFlagTable = std::array<uint8_t, CLASS_COUNT>;

// Input byte -> class in the low 8 bits, token flags in bits 18-31.
extern const ClassTable class_table;
// state x 40 + class -> next state (0-64 running, 66-101 final).
extern const TransitionTable transition_table;
// 1 for state 0 only: a byte that leaves the machine there is blank space before the token.
extern const StateTable skip_table;
// Datatype id each state stands for (0: none).
extern const StateTable state_type_table;
// 1 for the newline class: added to the line counter per consumed byte.
extern const ClassFlagTable line_table;
// 1 for the classes that close a path element or a word ending in ":".
extern const ClassFlagTable delimiter_table;

// The words of the exit-state list, in order. The "," and point states have no entry.
constexpr int EXIT_STATE_COUNT = 34;
extern const std::array<const char*, EXIT_STATE_COUNT> exit_state_names;

inline CharClass char_class(uint8_t byte) {
  return static_cast<CharClass>(class_table[byte] & CLASS_MASK);
}

inline uint32_t token_flags(uint8_t byte) { return class_table[byte] & TOKEN_FLAGS_MASK; }

// One step of the automaton; state must be running (0-64).
inline uint8_t next_state(uint8_t state, CharClass cls) {
  return transition_table[state * CLASS_COUNT + static_cast<int>(cls)];
}

inline bool is_final(uint8_t state) { return state >= FIRST_FINAL_STATE; }

inline TypeId state_type(uint8_t state) { return static_cast<TypeId>(state_type_table[state]); }

inline bool is_delimiter(CharClass cls) { return delimiter_table[static_cast<int>(cls)] != 0; }

// Code unit (1, 2 or 4 bytes) of a string built from a token with these flags.
inline uint32_t string_unit(uint32_t flags) {
  uint32_t unit = 1u << (flags >> 30);
  return unit > 4 ? 4 : unit;
}

// Position of a final state's word in the exit-state list, or -1 for the "," and point states.
int exit_state_index(uint8_t final_state);
// The word itself, or nullptr.
const char* exit_state_name(uint8_t final_state);

}  // namespace tav::lexer
