// The lexer's driver: the token loop, the value stack shared by nested scans and the entry
// points that start a scan. Nesting, load errors and the trace call-back live beside it.
#include "scanner/lexer.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "datatypes/string.h"
#include "core/errors.h"
#include "init_steps.h"
#include "core/memory.h"
#include "scanner/lexer_classify.h"
#include "scanner/lexer_internal.h"
#include "scanner/tokens.h"
#include "core/unicode.h"

namespace tav::lexer {

Handler scan_handlers[FINAL_STATE_COUNT];
Handler load_handlers[FINAL_STATE_COUNT];

namespace lexer_driver {

std::vector<Cell> value_stack;

State* chain_head = nullptr;
State* chain_tail = nullptr;

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
