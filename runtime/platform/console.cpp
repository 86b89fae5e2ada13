#include "platform/console.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

#include "core/output.h"
#include "core/unicode.h"
#include "platform/fatal.h"

namespace tav {
namespace console {

// Probed on first use when the set-up has not run yet, so early output to a file or pipe
// never receives terminal sequences.
int console_mode = -1;
uint32_t current_attributes = TERMINAL_DEFAULT_ATTRIBUTES;
uint32_t reset_attributes = TERMINAL_DEFAULT_ATTRIBUTES;
Sink sink = nullptr;

// Always empty between calls of the public writers.
char out_buffer[OUTPUT_BUFFER_SIZE];
size_t pending = 0;

// Write failures are ignored: a process without standard output loses the text, while the
// console-output hooks still receive it.
void write_stdout(const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t written = ::write(STDOUT_FILENO, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
}

void emit(const char* bytes, size_t length) {
  if (length == 0) return;
  if (sink)
    sink(bytes, length);
  else
    write_stdout(bytes, length);
}

void emit(const char* text) { emit(text, std::strlen(text)); }

void flush() {
  if (pending == 0) return;
  size_t n = pending;
  pending = 0;
  emit(out_buffer, n);
  hook::run_output_list(out_buffer, static_cast<int>(n), false);
}

// Text in and out of the runtime is whole bytes: hand the hooks exactly what was written.
void emit_text(const char* bytes, size_t length) {
  emit(bytes, length);
  hook::run_output_list(bytes, static_cast<int>(length), false);
}

size_t encode_utf8(uint32_t cp, char* out) {
  // Standard output must stay decodable: nothing beyond the Unicode range gets through.
  if (cp > 0x10FFFF) cp = 0xFFFD;
  return static_cast<size_t>(unicode::encode_utf8_char(cp, reinterpret_cast<uint8_t*>(out)));
}

uint32_t read_unit(const uint8_t* p, int unit) {
  if (unit == 1) return *p;
  if (unit == 2) {
    uint16_t u;
    std::memcpy(&u, p, sizeof u);
    return u;
  }
  uint32_t u;
  std::memcpy(&u, p, sizeof u);
  return u;
}

[[noreturn]] void bad_unit_size(const void* caller) {
  fatal_exit(RUNTIME_ERROR_NO_SWITCH, reinterpret_cast<uintptr_t>(caller));
}

// ---- Escape sequences -----------------------------------------------------------------

enum class EscapeAction {
  none, save_cursor, restore_cursor, clear_line_end, clear_below_line_start, home,
  report, up, down, right, left, clear_above_line, clear_screen, clear_line_start,
  clear_line, move_to,
};

// The colour table works on a console attribute word: foreground in bits 0-3 (blue,
// green, red, intensity), background in bits 4-7, underscore in bit 15.
uint32_t apply_sgr(uint32_t a, uint32_t code) {
  static const uint32_t foreground[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  if (code == 0) return reset_attributes;
  if (code == 1) return a | 0x88;
  if (code == 4) return a | 0x8000;
  if (code == 7) return (a & ~0xFFu) | ((a & 0x0F) << 4) | ((a & 0xF0) >> 4);
  if (code >= 30 && code <= 37) return (a & 0xF8) + foreground[code - 30];
  if (code == 39) return a | 0x08;
  if (code >= 40 && code <= 47) return (a & 0x8F) + (foreground[code - 40] << 4);
  if (code == 49) return a | 0x80;
  return code;
}

// Console colour bits (blue 1, red 4) in the terminal's order (red 1, blue 4).
uint32_t terminal_colour(uint32_t bits) {
  return ((bits & 1) << 2) | (bits & 2) | ((bits & 4) >> 2);
}

void append_number(char*& at, uint32_t n) {
  at = std::to_chars(at, at + 10, n).ptr;
}

void emit_attributes(uint32_t a) {
  if (a == reset_attributes) {
    emit("\x1b[0m");
    return;
  }
  char text[32];
  char* at = text;
  *at++ = '\x1b';
  *at++ = '[';
  *at++ = '0';
  *at++ = ';';
  append_number(at, ((a & 0x08) ? 90 : 30) + terminal_colour(a & 7));
  *at++ = ';';
  append_number(at, ((a & 0x80) ? 100 : 40) + terminal_colour((a >> 4) & 7));
  if (a & 0x8000) {
    *at++ = ';';
    *at++ = '4';
  }
  *at++ = 'm';
  emit(text, static_cast<size_t>(at - text));
}

void emit_csi(uint32_t n, char final) {
  char text[16];
  char* at = text;
  *at++ = '\x1b';
  *at++ = '[';
  append_number(at, n);
  *at++ = final;
  emit(text, static_cast<size_t>(at - text));
}

// Clears fill with the default attributes, as the console does, whatever colour is on.
void emit_clear(const char* sequence) {
  bool coloured = current_attributes != reset_attributes;
  if (coloured) emit("\x1b[0m");
  emit(sequence);
  if (coloured) emit_attributes(current_attributes);
}

void print_report() {
  winsize size{};
  bool known = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0;
  int32_t columns = known ? size.ws_col : 0;
  int32_t rows = known ? size.ws_row : 0;
  TypedArg title[] = {typed_text("Screen buffer info:")};
  print_typed_line(1, title);
  TypedArg size_line[] = {typed_text("   size______ "), typed_integer(columns), typed_text("x"),
                          typed_integer(rows)};
  print_typed_line(4, size_line);
  // A terminal reports its cursor only in answer to a query on its input, which would
  // take keystrokes away from the user.
  TypedArg cursor_line[] = {typed_text("   cursor____ unknown")};
  print_typed_line(1, cursor_line);
  TypedArg attribute_line[] = {typed_text("   attribute_ "), {TYPED_POINTER, current_attributes},
                               typed_text(" "), {TYPED_POINTER, reset_attributes}};
  print_typed_line(4, attribute_line);
  TypedArg left_line[] = {typed_text("   left______ "), typed_integer(0), typed_text(" top: "),
                          typed_integer(0)};
  print_typed_line(4, left_line);
  TypedArg right_line[] = {typed_text("   right_____ "), typed_integer(columns ? columns - 1 : 0),
                           typed_text(" bottom: "), typed_integer(rows ? rows - 1 : 0)};
  print_typed_line(4, right_line);
  TypedArg max_line[] = {typed_text("   max_______ "), typed_integer(columns), typed_text("x"),
                         typed_integer(rows)};
  print_typed_line(4, max_line);
}

void carry_out(EscapeAction action, uint32_t n, uint32_t m) {
  switch (action) {
    case EscapeAction::none: break;
    case EscapeAction::save_cursor: emit("\x1b" "7"); break;
    case EscapeAction::restore_cursor: emit("\x1b" "8"); break;
    case EscapeAction::clear_line_end: emit_clear("\x1b[K"); break;
    case EscapeAction::clear_below_line_start: emit_clear("\x1b" "7\r\x1b[J\x1b" "8"); break;
    case EscapeAction::home: emit("\x1b[H"); break;
    case EscapeAction::report: print_report(); break;
    // A count of 0 moves nothing, where the terminal would take it as 1.
    case EscapeAction::up: if (n) emit_csi(n, 'A'); break;
    case EscapeAction::down: if (n) emit_csi(n, 'B'); break;
    case EscapeAction::right: if (n) emit_csi(n, 'C'); break;
    case EscapeAction::left: if (n) emit_csi(n, 'D'); break;
    case EscapeAction::clear_above_line: emit_clear("\x1b" "7\r\x1b[1J\x1b" "8"); break;
    case EscapeAction::clear_screen: emit_clear("\x1b[2J\x1b[H"); break;
    case EscapeAction::clear_line_start: emit_clear("\x1b[1K\r"); break;
    case EscapeAction::clear_line: emit_clear("\x1b[2K\r"); break;
    case EscapeAction::move_to: {
      // Column first, then row, both zero-based: the terminal counts rows first, from 1.
      char text[32];
      char* at = text;
      *at++ = '\x1b';
      *at++ = '[';
      append_number(at, m + 1);
      *at++ = ';';
      append_number(at, n + 1);
      *at++ = 'H';
      emit(text, static_cast<size_t>(at - text));
      break;
    }
  }
}

void init() {
  set_console_mode(isatty(STDOUT_FILENO) == 1);
  pending = 0;
}

bool is_console() {
  if (console_mode < 0) set_console_mode(isatty(STDOUT_FILENO) == 1);
  return console_mode == 1;
}

void set_console_mode(bool console) {
  console_mode = console ? 1 : 0;
  reset_attributes = console ? TERMINAL_DEFAULT_ATTRIBUTES : 0;
  current_attributes = reset_attributes;
}

uint32_t attributes() { return current_attributes; }
uint32_t default_attributes() { return reset_attributes; }

Sink set_sink(Sink s) {
  Sink previous = sink;
  sink = s;
  return previous;
}

size_t parse_escape(const void* esc, const void* end, int unit) {
  if (unit != 1 && unit != 2 && unit != 4) bad_unit_size(__builtin_return_address(0));
  const auto* p = static_cast<const uint8_t*>(esc);
  const auto* stop = static_cast<const uint8_t*>(end);
  const size_t step = static_cast<size_t>(unit);
  if (p >= stop || static_cast<size_t>(stop - p) < 2 * step) return 0;
  if (read_unit(p, unit) != 27 || read_unit(p + step, unit) != '[') return 0;
  p += 2 * step;

  int state = 1;
  uint32_t n = 0, m = 0;
  uint32_t attr = current_attributes;
  bool attr_set = false;
  EscapeAction action = EscapeAction::none;
  auto sgr = [&](uint32_t code) {
    attr = apply_sgr(attr, code);
    attr_set = true;
  };

  bool finished = false;
  while (!finished) {
    if (static_cast<size_t>(stop - p) < step) return 0;   // the text ends inside the sequence
    uint32_t c = read_unit(p, unit);
    p += step;
    bool digit = c >= '0' && c <= '9';
    uint32_t d = c - '0';
    finished = true;   // every character ends the sequence unless its state continues
    switch (state) {
      case 1:
        if (digit) { n = d; state = 2; finished = false; }
        else if (c == ';') finished = false;
        else if (c == 's') action = EscapeAction::save_cursor;
        else if (c == 'u') action = EscapeAction::restore_cursor;
        else if (c == 'K') action = EscapeAction::clear_line_end;
        else if (c == 'J') action = EscapeAction::clear_below_line_start;
        else if (c == 'H' || c == 'f') action = EscapeAction::home;
        else if (c == '?') action = EscapeAction::report;
        break;
      case 2:
        if (digit) { n = (n * 10 + d) % 65535; finished = false; }
        else if (c == ';') { state = 3; finished = false; }
        else if (c == 'm') sgr(n);
        else if (c == 'A') action = EscapeAction::up;
        else if (c == 'B') action = EscapeAction::down;
        else if (c == 'C') action = EscapeAction::right;
        else if (c == 'D') action = EscapeAction::left;
        else if (c == 'J') {
          if (n == 1) action = EscapeAction::clear_above_line;
          else if (n == 2) action = EscapeAction::clear_screen;
        } else if (c == 'K') {
          if (n == 1) action = EscapeAction::clear_line_start;
          else if (n == 2) action = EscapeAction::clear_line;
        }
        break;
      case 3:
        if (digit) { m = d; state = 4; finished = false; }
        else if (c == ';') finished = false;
        break;
      case 4:
        if (digit) { m = (m * 10 + d) % 65535; finished = false; }
        else if (c == 'm') { sgr(n); sgr(m); }
        else if (c == ';') {
          sgr(n);
          sgr(m);
          n = m = 0;
          state = 1;
          finished = false;
        } else if (c == 'H' || c == 'f') action = EscapeAction::move_to;
        break;
    }
  }

  if (attr_set) {
    current_attributes = attr;
    emit_attributes(attr);
  }
  carry_out(action, n, m);
  return static_cast<size_t>(p - static_cast<const uint8_t*>(esc));
}

void write_text(const void* text, size_t bytes, int unit, bool new_line) {
  if (unit != 1 && unit != 2 && unit != 4) bad_unit_size(__builtin_return_address(0));
  const auto* p = static_cast<const uint8_t*>(text);
  const size_t step = static_cast<size_t>(unit);
  const uint8_t* end = p + (bytes - bytes % step);
  while (p < end) {
    uint32_t cp = read_unit(p, unit);
    if (cp == 27 && is_console()) {
      flush();
      size_t used = parse_escape(p, end, unit);
      if (used) {
        p += used;
        continue;
      }
    }
    pending += encode_utf8(cp, out_buffer + pending);
    // A character takes at most 4 bytes, so the buffer never overflows.
    if (pending > FLUSH_THRESHOLD) flush();
    p += step;
  }
  if (new_line) out_buffer[pending++] = '\n';
  flush();
}

void print_latin1(const void* text, size_t bytes) { write_text(text, bytes, 1, false); }
void print_latin1_line(const void* text, size_t bytes) { write_text(text, bytes, 1, true); }
void print_utf16(const void* text, size_t bytes) { write_text(text, bytes, 2, false); }
void print_utf16_line(const void* text, size_t bytes) { write_text(text, bytes, 2, true); }
void write_ucs4(const void* text, size_t bytes) { write_text(text, bytes, 4, false); }
void print_ucs4_line(const void* text, size_t bytes) { write_text(text, bytes, 4, true); }

void print_c_text(const char* text) { emit_text(text, std::strlen(text)); }

void print_byte(uint8_t byte) {
  char c = static_cast<char>(byte);
  emit_text(&c, 1);
}

void print_c_text_part(const char* text, size_t count) {
  size_t n = 0;
  while (n < count && text[n]) ++n;
  emit_text(text, n);
}

void print_char_literal(uint8_t byte) {
  char text[8] = {'#', '"'};
  size_t n = 2;
  if (byte == 0) { text[n++] = '^'; text[n++] = '@'; }
  else if (byte == 9) { text[n++] = '^'; text[n++] = '-'; }
  else if (byte == 10) { text[n++] = '^'; text[n++] = '/'; }
  else if (byte == 27) { text[n++] = '^'; text[n++] = ']'; }
  else if (byte < 32) { text[n++] = '^'; text[n++] = static_cast<char>(64 + byte); }
  else if (byte < 128) text[n++] = static_cast<char>(byte);
  else {
    static const char hex[] = "0123456789ABCDEF";
    text[n++] = '^';
    text[n++] = '(';
    text[n++] = hex[byte >> 4];
    text[n++] = hex[byte & 0xF];
    text[n++] = ')';
  }
  text[n++] = '"';
  emit_text(text, n);
}

void print_number_text(const char* text, const char* end) {
  write_text(text, static_cast<size_t>(end - text), 1, false);
}

// Hexadecimal with at least the given number of digits; wider values keep all of theirs.
void print_hex_digits(uint64_t value, int min_digits) {
  static const char hex[] = "0123456789ABCDEF";
  char text[16];
  int n = 0;
  do {
    text[15 - n++] = hex[value & 0xF];
    value >>= 4;
  } while (value);
  while (n < min_digits) text[15 - n++] = '0';
  print_number_text(text + 16 - n, text + 16);
}

// printf's %g, without the locale's decimal point.
void print_general(double value, int precision) {
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
  print_number_text(text, result.ptr);
}

void print_integer(int32_t value) {
  char text[16];
  auto result = std::to_chars(text, text + sizeof text, value);
  print_number_text(text, result.ptr);
}

void print_hex_byte(uint8_t value) { print_hex_digits(value, 2); }
void print_hex(uint32_t value) { print_hex_digits(value, 8); }
void print_float64(double value) { print_general(value, 16); }
void print_float32(float value) { print_general(value, 7); }

void print_typed_list(int count, const TypedArg* args) {
  for (int i = 0; i < count; ++i) {
    const TypedArg& arg = args[i];
    switch (arg.code) {
      case TYPED_LOGIC: print_c_text(static_cast<uint32_t>(arg.value) ? "true" : "false"); break;
      case TYPED_INTEGER: print_integer(static_cast<int32_t>(static_cast<uint32_t>(arg.value))); break;
      case TYPED_BYTE: print_byte(static_cast<uint8_t>(arg.value)); break;
      case TYPED_FLOAT32: {
        uint32_t bits = static_cast<uint32_t>(arg.value);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        print_float32(f);
        break;
      }
      case TYPED_FLOAT64: {
        double d;
        std::memcpy(&d, &arg.value, sizeof d);
        print_float64(d);
        break;
      }
      case TYPED_TEXT: print_c_text(reinterpret_cast<const char*>(static_cast<uintptr_t>(arg.value))); break;
      default: print_hex_digits(arg.value, 8); break;
    }
  }
  std::fflush(nullptr);
}

void print_typed(int count, const TypedArg* args) { print_typed_list(count, args); }

void print_typed_line(int count, const TypedArg* args) {
  print_typed_list(count, args);
  print_byte('\n');
}

}  // namespace console
}  // namespace tav
