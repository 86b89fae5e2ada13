#include "scanner/lexer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "collector.h"
#include "datatypes/map.h"
#include "datatypes/string.h"
#include "errors.h"
#include "evaluator/callbacks.h"
#include "evaluator/trace.h"
#include "evaluator/calls.h"
#include "init_steps.h"
#include "memory.h"
#include "stack.h"
#include "symbols.h"
#include "words.h"
#include "scanner/lexer_classify.h"
#include "scanner/tokens.h"
#include "unicode.h"

namespace tav::lexer {

Handler scan_handlers[FINAL_STATE_COUNT];
Handler load_handlers[FINAL_STATE_COUNT];

namespace lexer_driver {

// One value stack for every running scan: a nested scan starts at its parent's top, so it
// never overwrites cells the parent still holds. Positions are indexes, so growing the
// array moves nothing the states refer to.
std::vector<Cell> value_stack;
constexpr size_t INITIAL_STACK_CELLS = 1000;

State* chain_head = nullptr;
State* chain_tail = nullptr;

LoadError last_error;

// An open nesting on the value stack: a cell of a type that never appears there otherwise,
// holding the distance back to the enclosing frame, the nested type (with the comma count
// of a point in the high half) and the byte offset of the opening character.
constexpr TypeId MARKER = TYPE_TRIPLE;

void link(State& s) {
  s.parent = chain_tail;
  if (chain_tail) {
    chain_tail->child = &s;
    s.base = s.frame = s.top = chain_tail->top;
  } else {
    chain_head = &s;
  }
  chain_tail = &s;
}

void unlink(State& s) {
  if (s.parent) s.parent->child = nullptr;
  else chain_head = nullptr;
  chain_tail = s.parent;
}

// Unlinks on every way out of a scan, errors included.
struct ChainGuard {
  State& s;
  bool linked = true;
  explicit ChainGuard(State& st) : s(st) { link(s); }
  void release() {
    if (linked) unlink(s);
    linked = false;
  }
  ~ChainGuard() { release(); }
};

Cell* marker(State& s) {
  return s.frame > s.base ? &value_stack[s.frame - 1] : nullptr;
}
int marker_type(const Cell* m) { return m ? static_cast<int>(m->data2 & 0xFFFF) : 0; }

uint32_t line_of(const State& s, const uint8_t* at) {
  uint32_t line = 1;
  for (const uint8_t* p = s.input_start; p < at; ++p) line += (*p == '\n');
  return line;
}

bool is_point(int type) { return type == TYPE_POINT2D || type == TYPE_POINT3D; }

// ---- Trace callback ----------------------------------------------------------------------

// Offset of p from the text's start as the callback counts it: characters for string input,
// bytes for binary input. Tokens come in order, so the last conversion is where the next
// one starts counting.
uint32_t offset_of(State& s, const uint8_t* p) {
  if (!is_any_string(s.input.type())) return static_cast<uint32_t>(p - s.input_start);
  if (!s.cache_byte || p < s.cache_byte) {
    s.cache_byte = s.input_start;
    s.cache_chars = 0;
  }
  s.cache_chars += static_cast<uint32_t>(unicode::utf8_length(s.cache_byte, p));
  s.cache_byte = p;
  return s.cache_chars;
}

// The text position at an offset counted as offset_of counts, kept inside the text.
const uint8_t* position_at(State& s, int64_t offset) {
  if (offset <= 0) return s.input_start;
  if (!is_any_string(s.input.type())) {
    return offset >= s.input_end - s.input_start ? s.input_end : s.input_start + offset;
  }
  if (!s.cache_byte || offset < s.cache_chars) {
    s.cache_byte = s.input_start;
    s.cache_chars = 0;
  }
  const uint8_t* p = unicode::utf8_skip(s.cache_byte, s.input_end,
                                        static_cast<size_t>(offset - s.cache_chars));
  s.cache_chars += static_cast<uint32_t>(unicode::utf8_length(s.cache_byte, p));
  s.cache_byte = p;
  return p;
}

// What a token without a datatype is called in the `type` argument: the exit-state name of
// its final state, a datatype or one of the words eof and comment. The comma has no name.
Cell exit_state_value(uint8_t state) {
  switch (state) {
    case S_EOF: return word::make(symbol::make("eof"));
    case S_COMMENT: return words::comment;
    case S_BLOCK_OPEN: case S_BLOCK_CLOSE: return make_cell(TYPE_DATATYPE, TYPE_BLOCK);
    case S_PAREN_OPEN: case S_PAREN_CLOSE: return make_cell(TYPE_DATATYPE, TYPE_PAREN);
    case S_BRACE_OPEN: return make_cell(TYPE_DATATYPE, TYPE_STRING);
    case S_MAP_OPEN: return make_cell(TYPE_DATATYPE, TYPE_MAP);
    case S_PATH_OPEN: return make_cell(TYPE_DATATYPE, TYPE_PATH);
    case S_CONSTRUCT: return make_cell(TYPE_DATATYPE, TYPE_DATATYPE);
    default: return make_cell(TYPE_NONE);
  }
}

// Runs the callback's body under its own function frame with the five arguments, padded as
// an ordinary call pads refinements and locals. Answers its result; *input_after receives
// the value its `input` argument holds at the end.
Cell call_callback(const Cell& callback, const Cell (&args)[5], Cell* input_after) {
  Cell fn = callback;
  Cell* saved_top = stack::top;
  Cell* held = stack::push(&fn);
  stack::mark_func(&words::tag_lexer_callback, fn.data1);
  uint32_t given = callbacks::push_arguments(&fn, args, 5);
  // A lexer call-back: the evaluator's tracing leaves it untraced unless asked.
  Status status = interp::call_function(held, trace::CALLBACK_LEXER);
  // A break, throw or return out of the callback has unwound the frames to its catcher.
  if (status != CODE_NONE) stack::rethrow_status(status);
  Cell answer = *stack::base;
  *input_after = given >= 2 ? stack::base[1] : args[1];
  stack::unwind_func();
  stack::top = saved_top;
  return answer;
}

// The collector's view of the running scans: their values, inputs and callbacks.
void mark_states() {
  for (State* s = chain_head; s; s = s->child) {
    for (uint32_t i = s->base; i < s->top && i < value_stack.size(); ++i) {
      if (value_stack[i].type() != MARKER) collector::mark_value(&value_stack[i]);
    }
    collector::mark_value(&s->input);
    collector::mark_value(&s->callback);
  }
}

// Registered on the first traced scan: only a callback evaluates code, and so collects,
// while a scan holds values. Registering twice is harmless.
void watch_states() { collector::add_marker(mark_states); }


// Opens a nesting of the type for the opener token [opening, token_end). Answers false on a
// load error; *opened tells whether the callback let it open.
bool open_nesting(State& s, int type, const uint8_t* opening, const uint8_t* token_end,
                  bool* opened) {
  *opened = false;
  if (is_point(marker_type(marker(s)))) return fail(s, opening, opening + 1, TYPE_POINT2D);
  if (s.traced && !fire_event(s, EVENT_OPEN, type, nullptr, opening, token_end)) return true;
  Cell* m = push_cell(s);
  uint32_t index = s.top - 1;
  m->header = (m->header & FLAG_NEW_LINE) | MARKER;
  m->data1 = index - s.frame;
  m->data2 = static_cast<uint32_t>(type);
  m->data3 = static_cast<uint32_t>(opening - s.input_start);
  s.frame = index + 1;
  s.entry_state = ENTRY_TOKEN;
  *opened = true;
  return true;
}

bool closes(int marker_type, int closer_type) {
  if (closer_type == TYPE_BLOCK) return marker_type == TYPE_BLOCK || marker_type == TYPE_MAP;
  if (closer_type == TYPE_PAREN) return marker_type == TYPE_PAREN || is_point(marker_type);
  return is_any_path(static_cast<TypeId>(marker_type));
}

// Closes the innermost nesting with the closer of closer_type found at [start, end).
bool close_nesting(State& s, int closer_type, const uint8_t* start, const uint8_t* end) {
  Cell* m = marker(s);
  if (!m) {
    s.missing = closer_type == TYPE_BLOCK ? '[' : '(';
    s.error_type = closer_type;
    return fail(s, start, end, KIND_MISSING);
  }
  int type = marker_type(m);
  if (s.traced) {
    int made = closer_type == TYPE_BLOCK || closer_type == TYPE_PAREN ? type : closer_type;
    if (!fire_event(s, EVENT_CLOSE, made, nullptr, s.input_start + m->data3, end)) {
      // Left open: a path whose end the callback refused goes on as plain values.
      if (is_any_path(static_cast<TypeId>(type))) s.entry_state = ENTRY_TOKEN;
      return true;
    }
    m = marker(s);   // a scan inside the callback may have moved the value stack
  }
  if (!closes(type, closer_type)) {
    if (is_any_path(static_cast<TypeId>(type))) return fail(s, start, end, KIND_BAD_CHAR);
    s.missing = closer_of(type);
    s.error_type = type;
    return fail(s, start, end, KIND_MISSING);
  }
  if (closer_type != TYPE_BLOCK && closer_type != TYPE_PAREN) type = closer_type;
  uint32_t marker_index = s.frame - 1;
  uint32_t count = s.top - s.frame;
  uint32_t back = m->data1;
  uint32_t new_line = m->header & FLAG_NEW_LINE;
  Cell value = make_cell(static_cast<TypeId>(type));
  if (s.load) {
    if (is_point(type)) {
      s.drop_nesting = true;
      if (!load_point(s, &value_stack[s.frame], count, type, s.input_start + m->data3, end,
                      &value))
        return false;
      s.drop_nesting = false;
    } else if (type == TYPE_MAP) {
      if (!map::load_literal(&value_stack[s.frame], count, &value)) {
        s.drop_nesting = true;
        return fail(s, s.input_start + m->data3, end, TYPE_MAP);
      }
    } else {
      value.data2 = make_block(&value_stack[s.frame], count);
    }
  }
  value.header |= new_line;
  value_stack[marker_index] = value;
  s.top = marker_index + 1;
  s.frame = marker_index - back;
  s.type = type;
  s.entry_state = is_any_path(static_cast<TypeId>(marker_type(marker(s)))) ? ENTRY_PATH
                                                                           : ENTRY_TOKEN;
  return true;
}

// ---- Structure handlers --------------------------------------------------------------

bool scan_eof(State& s, const uint8_t*, const uint8_t*, uint32_t, bool) {
  s.position = s.input_end;
  return true;
}

bool scan_error(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
  uint8_t prev = s.previous_state;
  int kind = (is_final(prev) || state_type(prev) == 0) ? KIND_BAD_CHAR : state_type(prev);
  if (s.brace_depth > 0) start = s.brace_start;
  return fail(s, start, end, kind);
}

bool scan_open(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  int type = *end == '[' ? TYPE_BLOCK : TYPE_PAREN;
  bool opened;
  if (!open_nesting(s, type, end, end + 1, &opened)) return false;
  s.position = end + 1;
  return true;
}

bool scan_close_block(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  if (!close_nesting(s, TYPE_BLOCK, end, end + 1)) return false;
  s.position = end + 1;
  return true;
}

bool scan_close_paren(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  if (!close_nesting(s, TYPE_PAREN, end, end + 1)) return false;
  s.position = end + 1;
  return true;
}

bool scan_map_open(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
  if (*start != '#') return fail(s, start, end + 1, TYPE_MAP);
  bool opened;
  if (!open_nesting(s, TYPE_MAP, start, end + 1, &opened)) return false;
  s.position = end + 1;
  return true;
}

// "{" outside a braced string opens one; inside, it deepens it. The text before it (inside)
// belongs to the string.
bool scan_brace_open(State& s, const uint8_t*, const uint8_t* end, uint32_t flags, bool) {
  if (s.brace_depth == 0) {
    s.brace_start = end;
    s.brace_flags = 0;
    s.brace_lines = s.token_lines;
    s.entry_state = ENTRY_BRACED;
  } else {
    s.brace_flags |= flags;
  }
  ++s.brace_depth;
  s.position = end + 1;
  return true;
}

bool scan_brace_close(State& s, const uint8_t*, const uint8_t* end, uint32_t flags, bool build) {
  s.brace_flags |= flags;
  s.position = end + 1;
  if (--s.brace_depth > 0) return true;
  s.entry_state = ENTRY_TOKEN;
  s.token_lines = s.brace_lines;
  s.token_start = s.brace_start;
  s.type = TYPE_STRING;
  if (s.mode == Mode::prescan) return true;
  return load_text(s, s.brace_start + 1, end, s.brace_flags, true, TYPE_STRING, build);
}

bool scan_path_open(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  int kind = TYPE_PATH;
  const uint8_t* head = start;
  if (*start == '\'') kind = TYPE_LIT_PATH, ++head;
  else if (*start == ':') kind = TYPE_GET_PATH, ++head;
  const uint8_t* after = end + 1;   // past the "/"
  bool opened;
  if (!open_nesting(s, kind, start, after, &opened)) return false;
  // Refused by the callback, the path is not made: its head stays a word of the path's kind
  // and what follows the "/" is scanned as the next token.
  TypeId head_kind = opened || kind == TYPE_PATH ? TYPE_WORD
                     : kind == TYPE_LIT_PATH     ? TYPE_LIT_WORD
                                                 : TYPE_GET_WORD;
  if (s.mode != Mode::prescan && !load_word_as(s, head, end, head_kind, build)) return false;
  if (!opened) {
    s.position = after;
    s.type = head_kind;
    return true;
  }
  if (after >= s.input_end ||
      (*after == ':' && (after + 1 >= s.input_end || is_delimiter(char_class(after[1]))))) {
    return fail(s, start, after, kind);
  }
  s.position = after;
  s.entry_state = ENTRY_PATH;
  s.type = 0;
  return true;
}

bool scan_construct(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  std::string_view name(reinterpret_cast<const char*>(start + 2), end - start - 2);
  auto same = [&](std::string_view word) {
    if (word.size() != name.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(name[i])) !=
          std::tolower(static_cast<unsigned char>(word[i]))) {
        return false;
      }
    }
    return true;
  };
  Cell value;
  if (same("true") || same("false")) {
    set_logic(&value, same("true"));
  } else if (same("none")) {
    set_none(&value);
  } else if (same("unset")) {
    set_unset(&value);
  } else {
    int found = 0;
    for (int t = 1; t < TYPE_TABLE_SIZE && !found; ++t) {
      const char* name_of_type = type_name(t);
      if (name_of_type && same(name_of_type)) found = t;
    }
    if (!found) return fail(s, start, end + 1, KIND_BAD_CONSTRUCTION);
    set_datatype(&value, static_cast<TypeId>(found));
  }
  s.position = end + 1;
  s.type = value.type();
  if (build) emit(s, value);
  return true;
}

bool scan_comment(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  s.position = end;
  return true;
}

// "," inside a paren makes it a point: the first gives two coordinates, the second three.
bool scan_comma(State& s, const uint8_t*, const uint8_t* end, uint32_t, bool) {
  Cell* m = marker(s);
  int type = marker_type(m);
  if (type != TYPE_PAREN && type != TYPE_POINT2D) return fail(s, end, end + 1, TYPE_POINT2D);
  // Each comma follows exactly one coordinate: "(, 1 2)" and "(1 2, 3)" are no points.
  // Only loading keeps the values to count.
  uint32_t commas = type == TYPE_PAREN ? 0 : 1;
  if (s.load && s.top - s.frame != commas + 1)
    return fail(s, s.input_start + m->data3, end + 1, TYPE_POINT2D);
  m->data2 = type == TYPE_PAREN ? (TYPE_POINT2D | (1u << 16)) : (TYPE_POINT3D | (2u << 16));
  s.position = end + 1;
  return true;
}

// After a path element: the path goes on at a "/", ends at a delimiter or the end of the
// input, and ends as a set-path at a ":".
bool path_next(State& s) {
  const uint8_t* p = s.position;
  Cell* m = marker(s);
  auto path_start = [&] { return s.input_start + m->data3; };
  if (p >= s.input_end) return close_nesting(s, marker_type(m), p, p);
  if (*p == ':') {
    if ((p + 1 < s.input_end && p[1] == '/') || marker_type(m) != TYPE_PATH) {
      return fail(s, path_start(), p + 1, marker_type(m));
    }
    s.position = p + 1;
    return close_nesting(s, TYPE_SET_PATH, p, p + 1);
  }
  if (is_delimiter(char_class(*p))) return close_nesting(s, marker_type(m), p, p);
  if (*p != '/' || p + 1 >= s.input_end) return fail(s, path_start(), p + 1, marker_type(m));
  s.position = p + 1;
  return true;
}

// ---- Load errors -----------------------------------------------------------------------

// The token text an error shows: at most 30 characters, cut at a line feed.
std::string error_token(const State& s, const uint8_t* start) {
  const uint8_t* p = start;
  for (int n = 0; n < 30 && p < s.input_end && *p != '\n'; ++n) {
    const uint8_t* next = unicode::utf8_skip(p, s.input_end, 1);
    p = next > p ? next : p + 1;
  }
  return std::string(reinterpret_cast<const char*>(start), p - start);
}

Cell* push_text(std::string_view text, Cell* out) {
  std::vector<uint32_t> chars;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* e = p + text.size();
  uint32_t unit = 1;
  while (p < e) {
    size_t len = 1;
    int32_t cp = unicode::decode_utf8_checked(p, e - p, &len);
    if (cp < 0) cp = 0xFFFD;
    chars.push_back(static_cast<uint32_t>(cp));
    unit = std::max<uint32_t>(unit, unicode::unit_for(static_cast<uint32_t>(cp)));
    p += len ? len : 1;
  }
  *out = make_cell(TYPE_STRING, 0, make_string(chars.data(), chars.size(), unit), 0);
  return out;
}

[[noreturn]] void raise_load_error(const LoadError& e) {
  Cell line, arg2, token;
  push_text("(line " + std::to_string(e.line) + ")", &line);
  push_text(e.token, &token);
  if (e.kind <= KIND_NOT_BUILT) {
    set_datatype(&arg2, static_cast<TypeId>(KIND_NOT_BUILT - e.kind));
    error::raise(ERR_INTERNAL, "not-done", &arg2, &token);
  }
  switch (e.kind) {
    case KIND_BAD_CHAR: error::raise(ERR_SYNTAX, "bad-char", &line, &token);
    case KIND_BAD_CONSTRUCTION: error::raise(ERR_SYNTAX, "malconstruct", &line, &token);
    case KIND_MISSING:
    case KIND_MISSING_AT_END:
      push_text(e.message.substr(e.message.find("missing ") + 8, 1), &arg2);
      error::raise(ERR_SYNTAX, "missing", &line, &arg2, &token);
    default:
      set_datatype(&arg2, static_cast<TypeId>(e.kind));
      error::raise(ERR_SYNTAX, "invalid", &line, &arg2, &token);
  }
}

void build_result(State& s, const Request& r, Cell* result) {
  uint32_t count = s.top - s.base;
  const Cell* cells = count ? &value_stack[s.base] : nullptr;
  if (r.into) {
    uint32_t bytes = count * sizeof(Cell);
    NodeId node = r.into->node();
    series::ensure_room(node, bytes);
    SeriesBuffer* buf = node_buffer(node);
    if (bytes) std::memcpy(buf->tail_ptr(), cells, bytes);
    buf->tail += bytes;
    *result = *r.into;
  } else {
    *result = make_cell(TYPE_BLOCK, 0, make_block(cells, count), 0);
  }
}

uint32_t end_position(const State& s, const Request& r) {
  if (!r.count_chars) return static_cast<uint32_t>(s.position - s.input_start);
  return static_cast<uint32_t>(unicode::utf8_length(s.input_start, s.position));
}

bool closer_left_unread(uint8_t final_state, uint8_t previous) {
  switch (final_state) {
    case S_STRING: case S_CHAR: case S_BINARY: case S_PERCENT: case S_TAG: return true;
    case S_FILE: return previous == 8;   // %"..." ends on its quote
    default: return false;
  }
}

// Where a token's text ends for the callback: past the bracket, brace, "/", ")" or closing
// quote that the automaton reached but left unread.
const uint8_t* token_stop(uint8_t final_state, uint8_t previous, const uint8_t* end) {
  if (final_state == S_EOF || final_state == S_ERROR || final_state == S_COMMENT) return end;
  if (final_state < S_STRING) return end + 1;
  return closer_left_unread(final_state, previous) ? end + 1 : end;
}

// One character on from p, for a scan that must not stay where it is.
const uint8_t* next_char(const State& s, const uint8_t* p) {
  if (p >= s.input_end) return s.input_end;
  const uint8_t* next = unicode::utf8_skip(p, s.input_end, 1);
  return next > p ? next : p + 1;
}

void apply_resume(State& s) {
  if (!s.resume) return;
  s.position = s.resume;
  s.resume = nullptr;
}

// Drops the innermost open nesting with everything collected in it.
void drop_innermost(State& s) {
  uint32_t index = s.frame - 1;
  uint32_t back = value_stack[index].data1;
  s.top = index;
  s.frame = index - back;
}

// After the callback declined an error: the broken token goes, with the nesting it broke (an
// open path, a braced string, a map or point that could not be made), and the scan goes on
// past it, or where the callback moved the input to. Without that move the scan always gets
// past where the token started, so a callback that declines every error still ends.
bool recover(State& s, const uint8_t* token_start) {
  if (!s.declined) return false;
  s.declined = s.failed = s.error_pending = false;
  s.brace_depth = 0;
  if (s.drop_nesting && marker(s)) drop_innermost(s);
  s.drop_nesting = false;
  while (is_any_path(static_cast<TypeId>(marker_type(marker(s))))) drop_innermost(s);
  s.entry_state = ENTRY_TOKEN;
  s.type = 0;
  const uint8_t* at = s.error_end ? std::min(s.error_end, s.input_end) : token_start;
  if (s.resume) at = s.resume;
  else if (at <= token_start) at = next_char(s, token_start);
  s.resume = nullptr;
  s.position = at;
  return true;
}

void run(State& s, const Request& r) {
  for (;;) {
    const uint8_t* from = s.position;
    TokenScan t = run_automaton(from, s.input_end - from, s.entry_state);
    const uint8_t* start = from + t.start;
    const uint8_t* end = from + t.end;
    s.token_lines = 0;
    for (const uint8_t* p = from; p < start; ++p) s.token_lines += (*p == '\n');
    s.line += t.lines;
    s.position = s.token_end = end;
    s.previous_state = t.previous;
    uint8_t final_state = t.state;
    int slot = final_state - FIRST_FINAL_STATE;
    s.type = state_type(final_state);

    if (final_state == S_WORD) {
      const uint8_t* word = skip_unicode_blank(start, end);
      if (!word) {
        fail(s, start, end, TYPE_WORD);
        if (recover(s, start)) continue;
        return;
      }
      if (word == end) {
        if (end >= s.input_end) return;
        continue;
      }
      start = word;
    }

    s.token_start = start;
    const uint8_t* stop = token_stop(final_state, t.previous, end);
    uint32_t top_before = s.top;
    bool process = true;
    if (s.traced && s.brace_depth == 0) {
      int type = s.type ? s.type : -(final_state - 65);
      process = fire_event(s, EVENT_PRESCAN, type, nullptr, start, stop);
    }
    bool ok = true;
    if (!process) {
      s.position = final_state == S_EOF ? s.input_end
                   : stop > start       ? stop
                                        : next_char(s, start);
    } else if (final_state < S_STRING) {
      ok = scan_handlers[slot](s, start, end, t.flags, s.load);
    } else if (!s.traced && s.mode == Mode::prescan) {
      // Only structure is followed, but a closing character the automaton left unread
      // still belongs to the token.
      s.position = stop;
    } else {
      Handler h = load_handlers[slot];
      if (!s.load && scan_handlers[slot]) h = scan_handlers[slot];
      if (s.event_mask & EVENT_SCAN) {
        ok = h(s, start, end, t.flags, false) && !s.failed;
        if (ok) {
          fire_event(s, EVENT_SCAN, s.type, nullptr, start, stop);
          if (s.load) ok = h(s, start, end, t.flags, true);
        }
      } else {
        ok = h(s, start, end, t.flags, s.load);
      }
    }
    if (ok && !s.failed && (s.event_mask & EVENT_LOAD) && s.top > top_before &&
        value_stack[s.top - 1].type() != MARKER) {
      Cell value = value_stack[s.top - 1];
      if (!fire_event(s, EVENT_LOAD, value.type(), &value, start, stop)) --s.top;
    }
    if (!ok || s.failed) {
      if (recover(s, start)) continue;
      return;
    }
    apply_resume(s);

    if (s.entry_state == ENTRY_PATH && final_state != S_PATH_OPEN && final_state != S_ERROR &&
        s.brace_depth == 0) {
      if (!path_next(s) || s.failed) {
        if (recover(s, start)) continue;
        return;
      }
      apply_resume(s);
    }
    if (final_state == S_EOF && s.position >= s.input_end) return;
    if (!process) continue;

    bool top_level = s.frame == s.base && s.entry_state == ENTRY_TOKEN && s.brace_depth == 0;
    if ((r.one_value || s.mode == Mode::prescan) && top_level && s.type != 0 &&
        final_state != S_PATH_OPEN && s.top - s.base <= 1) {
      s.last_type = s.type;
      return;
    }
    if (s.type != 0) s.last_type = s.type;
  }
}

}  // namespace lexer_driver

Cell* push_cell(State& s) {
  auto& stack = lexer_driver::value_stack;
  if (s.top >= stack.size()) {
    try {
      stack.resize(stack.empty() ? lexer_driver::INITIAL_STACK_CELLS : stack.size() * 2);
    } catch (const std::bad_alloc&) {
      error::raise(ERR_INTERNAL, "no-memory");
    }
  }
  Cell* c = &stack[s.top++];
  set_unset(c);
  if (s.token_lines > 0) c->header |= FLAG_NEW_LINE;
  return c;
}

char closer_of(int nesting_type) {
  return (nesting_type == TYPE_BLOCK || nesting_type == TYPE_MAP) ? ']' : ')';
}

bool fail(State& s, const uint8_t* start, const uint8_t* end, int kind) {
  s.failed = true;
  if (!s.load) {
    s.type = TYPE_ERROR;
    return false;
  }
  if (s.traced) {
    int type = kind > 0 ? kind : kind <= KIND_NOT_BUILT ? KIND_NOT_BUILT - kind : s.error_type;
    s.error_end = end;
    s.error_type = 0;
    if (!fire_event(s, EVENT_ERROR, type ? type : TYPE_ERROR, nullptr, start, end)) {
      s.declined = true;
      return false;
    }
  }
  s.error_pending = true;
  LoadError& e = lexer_driver::last_error;
  e.kind = kind;
  e.line = lexer_driver::line_of(s, start);
  e.token = lexer_driver::error_token(s, start);
  std::string line = "(line " + std::to_string(e.line) + ") ";
  if (kind <= KIND_NOT_BUILT) {
    e.message = std::string("*** Internal Error: ") + type_name(KIND_NOT_BUILT - kind) +
                " values cannot be loaded yet at " + e.token;
    return false;
  }
  switch (kind) {
    case KIND_BAD_CHAR: e.message = line + "invalid character at " + e.token; break;
    case KIND_BAD_CONSTRUCTION: e.message = line + "invalid construction spec at " + e.token; break;
    case KIND_MISSING:
    case KIND_MISSING_AT_END: e.message = line + "missing " + s.missing + " at " + e.token; break;
    default: e.message = line + "invalid " + type_name(kind) + " at " + e.token; break;
  }
  e.message = "*** Syntax Error: " + e.message;
  return false;
}

bool fire_event(State& s, Event event, int type, const Cell* value, const uint8_t* start,
                const uint8_t* end) {
  using namespace lexer_driver;
  if (!(s.event_mask & event)) return true;
  uint32_t base = s.input.index();
  Cell args[5];
  switch (event) {
    case EVENT_PRESCAN: args[0] = words::prescan; break;
    case EVENT_SCAN: args[0] = words::scan; break;
    case EVENT_LOAD: args[0] = words::load; break;
    case EVENT_OPEN: args[0] = words::open; break;
    case EVENT_CLOSE: args[0] = words::close; break;
    case EVENT_ERROR: args[0] = words::error_; break;
  }
  // The input stands at the token's start for an opener and a token without a type, else
  // just past the token.
  bool at_start = event == EVENT_OPEN || (event == EVENT_PRESCAN && type < 0);
  args[1] = s.input;
  if (value) {
    args[1].data1 = base + offset_of(s, end);
    args[4] = *value;
    args[4].header &= ~FLAG_NEW_LINE;
  } else {
    uint32_t from = base + offset_of(s, start);
    uint32_t to = base + offset_of(s, end);
    args[1].data1 = at_start ? from : to;
    args[4] = make_cell(TYPE_PAIR, 0, from + 1, to + 1);
  }
  if (type > 0) set_datatype(&args[2], static_cast<TypeId>(type));
  else if (type == 0) set_none(&args[2]);
  else args[2] = exit_state_value(static_cast<uint8_t>(65 - type));
  set_integer(&args[3], static_cast<int32_t>(s.line));
  Cell after;
  Cell answer = call_callback(s.callback, args, &after);
  if (after.type() == s.input.type() && after.node() == s.input.node() &&
      after.index() != args[1].index()) {
    s.resume = position_at(s, static_cast<int64_t>(after.index()) - base);
  }
  return is_true(&answer);
}

uint32_t event_mask(const Cell* callback) {
  static const Cell* const names[] = {&words::prescan, &words::scan, &words::load,
                                      &words::open, &words::close, &words::error_};
  uint32_t symbols[6];
  for (int k = 0; k < 6; ++k) symbols[k] = names[k]->data2;
  return callbacks::event_filter(callback, symbols, 6);
}

const LoadError& last_load_error() { return lexer_driver::last_error; }

int scan_utf8(const Request& r, Cell* result, uint32_t* end_pos) {
  State s;
  lexer_driver::ChainGuard guard(s);
  const uint8_t* text = r.text;
  // Code the callback runs may move or change a binary's buffer: the scan reads its own copy.
  std::vector<uint8_t> own_copy;
  if (r.callback) {
    s.traced = true;
    s.callback = *r.callback;
    s.event_mask = event_mask(r.callback);
    if (r.input && (r.input->is(TYPE_BINARY) || is_any_string(r.input->type()))) {
      s.input = *r.input;
    }
    if (!is_any_string(s.input.type()) && r.length) {
      own_copy.assign(r.text, r.text + r.length);
      text = own_copy.data();
    }
    lexer_driver::watch_states();
  }
  s.input_start = s.position = s.token_end = text;
  s.input_end = text + r.length;
  s.mode = r.mode;
  s.load = r.mode == Mode::load;
  lexer_driver::run(s, r);

  if (!s.failed) {
    Cell* m = lexer_driver::marker(s);
    int open = lexer_driver::marker_type(m);
    if (s.mode == Mode::prescan && is_any_path(static_cast<TypeId>(open))) {
      s.last_type = open;
    } else if (m) {
      s.missing = closer_of(open);
      s.error_type = open;
      const uint8_t* opening = s.input_start + m->data3;
      fail(s, opening, opening + 1,
           is_any_path(static_cast<TypeId>(open)) ? KIND_BAD_CHAR : KIND_MISSING_AT_END);
      if (s.declined) {
        // Declined by the callback: no error, and no value either.
        set_none(result);
        if (end_pos) *end_pos = lexer_driver::end_position(s, r);
        return s.last_type;
      }
    }
  }
  if (s.error_pending) {
    s.top = s.base;
    guard.release();
    lexer_driver::raise_load_error(lexer_driver::last_error);
  }
  int answer = s.failed ? TYPE_ERROR : s.last_type;
  if (!s.failed && s.load) lexer_driver::build_result(s, r, result);
  if (end_pos) *end_pos = lexer_driver::end_position(s, r);
  return answer;
}

int transcode(std::string_view text, Cell* result, Mode mode, bool one_value,
              uint32_t* end_position) {
  Request r;
  r.text = reinterpret_cast<const uint8_t*>(text.data());
  r.length = text.size();
  r.mode = mode;
  r.one_value = one_value;
  return scan_utf8(r, result, end_position);
}

namespace lexer_driver {

// Text of strings being scanned, used like a stack so that a scan started from inside
// another keeps the outer text intact.
std::vector<uint8_t> utf8_buffer;
size_t utf8_top = 0;
constexpr size_t UTF8_BUFFER_BYTES = 100000;

// Gives the shared buffer's room back on every way out of a scan.
struct Utf8Claim {
  size_t saved_top;
  std::vector<uint8_t> own;   // used instead when the shared buffer is short
  uint8_t* bytes = nullptr;
  explicit Utf8Claim(size_t need) : saved_top(utf8_top) {
    if (utf8_buffer.size() - utf8_top >= need) {
      bytes = utf8_buffer.data() + utf8_top;
      utf8_top += need;
    } else {
      own.resize(need);
      bytes = own.data();
    }
  }
  ~Utf8Claim() { utf8_top = saved_top; }
};

}  // namespace lexer_driver

int scan_string(const Cell* str, int32_t length, Mode mode, bool one_value, Cell* into,
                Cell* result, uint32_t* end_position, const Cell* callback) {
  Cell value = *str;
  uint32_t available = string::length(&value);
  uint32_t count = length < 0 || static_cast<uint32_t>(length) > available
                       ? available
                       : static_cast<uint32_t>(length);
  uint32_t unit = node_buffer(value.node())->unit();
  lexer_driver::Utf8Claim claim(unicode::utf8_bound(count, unit));
  const uint8_t* units = string::head_address(&value);
  unicode::Utf8Size size = unicode::units_to_utf8(units, count, unit, claim.bytes, false, false);
  if (!size.ok) {
    Cell bad;
    error::raise(ERR_SCRIPT, "invalid-char", set_char(&bad, size.bad_char));
  }
  Request r;
  r.text = claim.bytes;
  r.length = size.bytes;
  r.mode = mode;
  r.one_value = one_value;
  r.into = into;
  r.count_chars = true;
  r.callback = callback;
  r.input = &value;
  return scan_utf8(r, result, end_position);
}

}  // namespace tav::lexer

namespace tav::init_steps {

void scanner_tables() {
  using namespace tav::lexer;   // NOLINT: the table below names every handler
  lexer_driver::value_stack.resize(lexer_driver::INITIAL_STACK_CELLS);
  lexer_driver::utf8_buffer.resize(lexer_driver::UTF8_BUFFER_BYTES);
  auto set = [](uint8_t state, Handler h) { scan_handlers[state - FIRST_FINAL_STATE] = h; };
  set(S_EOF, lexer_driver::scan_eof);
  set(S_ERROR, lexer_driver::scan_error);
  set(S_BLOCK_OPEN, lexer_driver::scan_open);
  set(S_BLOCK_CLOSE, lexer_driver::scan_close_block);
  set(S_PAREN_OPEN, lexer_driver::scan_open);
  set(S_PAREN_CLOSE, lexer_driver::scan_close_paren);
  set(S_BRACE_OPEN, lexer_driver::scan_brace_open);
  set(S_BRACE_CLOSE, lexer_driver::scan_brace_close);
  set(S_MAP_OPEN, lexer_driver::scan_map_open);
  set(S_PATH_OPEN, lexer_driver::scan_path_open);
  set(S_CONSTRUCT, lexer_driver::scan_construct);
  set(S_COMMENT, lexer_driver::scan_comment);
  set(S_COMMA, lexer_driver::scan_comma);
  register_token_handlers();
}

}  // namespace tav::init_steps
