// The low-level console writer: the runtime's own messages to standard output.
//
// Text goes out as UTF-8 through one 1,024-byte buffer; each run written to standard
// output is also handed to the console-output hooks. When standard output is a terminal
// the writer carries out a small set of escape sequences (cursor moves, clears, saved
// cursor, colours) by translating them into the terminal's own; otherwise they are
// written as text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tav::console {

constexpr size_t OUTPUT_BUFFER_SIZE = 1024;
constexpr size_t FLUSH_THRESHOLD = 1020;   // a run is written once it holds more than this
constexpr uint32_t TERMINAL_DEFAULT_ATTRIBUTES = 0x07;   // light grey on black

// One argument of the typed printer.
enum TypedCode : uint32_t {
  TYPED_LOGIC = 1,
  TYPED_INTEGER = 2,
  TYPED_BYTE = 3,
  TYPED_FLOAT32 = 4,
  TYPED_FLOAT64 = 5,
  TYPED_TEXT = 6,
  TYPED_POINTER = 7,   // any code not above prints the value in hexadecimal
};

struct TypedArg {
  uint32_t code;
  uint64_t value;
};

inline TypedArg typed_logic(bool b) { return {TYPED_LOGIC, b ? 1u : 0u}; }
inline TypedArg typed_integer(int32_t i) { return {TYPED_INTEGER, static_cast<uint32_t>(i)}; }
inline TypedArg typed_byte(uint8_t b) { return {TYPED_BYTE, b}; }
inline TypedArg typed_float32(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return {TYPED_FLOAT32, bits};
}
inline TypedArg typed_float64(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return {TYPED_FLOAT64, bits};
}
inline TypedArg typed_text(const char* s) {
  return {TYPED_TEXT, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(s))};
}
inline TypedArg typed_pointer(const void* p) {
  return {TYPED_POINTER, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))};
}

// Probes standard output (terminal or not) and resets the writer's state.
void init();
bool is_console();
// Chooses terminal or plain output regardless of what standard output is (tests, tools).
void set_console_mode(bool console);
// The attribute word that colour sequences build and the one a reset returns to.
uint32_t attributes();
uint32_t default_attributes();

// Where the writer's bytes go: standard output unless replaced. Returns the previous sink;
// null restores standard output.
using Sink = void (*)(const char* bytes, size_t length);
Sink set_sink(Sink sink);

// Typed printer.
void print_typed_list(int count, const TypedArg* args);   // then flushes the C streams
void print_typed(int count, const TypedArg* args);
void print_typed_line(int count, const TypedArg* args);   // then a line feed

// C texts are written as they are, with no escape handling.
void print_byte(uint8_t byte);
void print_c_text(const char* text);
void print_c_text_part(const char* text, size_t count);   // stops early at a zero byte
void print_char_literal(uint8_t byte);                    // #"A", #"^/", #"^(C8)"

// Number writers: "%i", "%02X", "%08X", "%.16g", "%.7g", independent of the locale.
void print_integer(int32_t value);
void print_hex_byte(uint8_t value);
void print_hex(uint32_t value);
void print_float64(double value);
void print_float32(float value);

// Text of 1-byte (Latin-1), 2-byte or 4-byte units; bytes is the length in bytes. A unit
// size other than 1, 2 or 4 is a fatal error (101).
void write_text(const void* text, size_t bytes, int unit, bool new_line);
void print_latin1(const void* text, size_t bytes);
void print_latin1_line(const void* text, size_t bytes);
void print_utf16(const void* text, size_t bytes);
void print_utf16_line(const void* text, size_t bytes);
void write_ucs4(const void* text, size_t bytes);
void print_ucs4_line(const void* text, size_t bytes);

// Reads the escape sequence whose ESC unit is at esc, never past end, and carries it out.
// Returns the bytes consumed; 0 when there is no sequence to carry out (no "[" after the
// ESC, or the text ends before the sequence does), so the caller writes the ESC as text.
size_t parse_escape(const void* esc, const void* end, int unit);

}  // namespace tav::console
