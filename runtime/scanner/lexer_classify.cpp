#include "scanner/lexer_classify.h"

namespace tav::lexer {

namespace lexer_classify_impl {

// The table alone cannot count, so it refuses any "}%" inside a raw string. The rule that
// counts: the string closes at the first "}" followed by exactly `opening` "%"; a shorter run
// is part of the text and a longer one is an error. Called only from the state that follows a
// "%" run after "}", which has seen `run` of them so far.
inline uint8_t raw_close_step(uint8_t table_next, CharClass cls, uint32_t run, uint32_t opening) {
  if (run >= opening) return cls == CharClass::percent ? uint8_t{S_ERROR} : table_next;
  switch (cls) {
    case CharClass::percent: return STATE_RAW_CLOSE;
    case CharClass::rbrace: return STATE_RAW_RBRACE;
    case CharClass::invalid:
    case CharClass::end: return S_ERROR;
    default: return STATE_RAW_BODY;
  }
}

}  // namespace lexer_classify_impl

TokenScan run_automaton(const uint8_t* text, size_t length, uint8_t entry_state) {
  uint8_t state = entry_state;
  uint8_t next = entry_state;
  uint32_t flags = 0;
  uint32_t skipped = 0;
  uint32_t lines = 0;
  uint32_t raw_opening = 0;   // "%" bytes before the "{" of a raw string
  uint32_t raw_run = 0;       // "%" bytes after the last "}" inside it
  size_t pos = 0;
  for (;;) {
    CharClass cls = CharClass::end;
    if (pos < length) {
      uint32_t entry = class_table[text[pos]];
      flags |= entry & TOKEN_FLAGS_MASK;
      cls = static_cast<CharClass>(entry & CLASS_MASK);
    }
    next = transition_table[state * CLASS_COUNT + static_cast<int>(cls)];
    if (state == STATE_RAW_CLOSE) {
      next = lexer_classify_impl::raw_close_step(next, cls, raw_run, raw_opening);
    }
    skipped += skip_table[next];
    // The end class leads to a final state from every running state, so this loop ends
    // when the input does.
    if (is_final(next)) break;
    lines += line_table[static_cast<int>(cls)];
    if (next == STATE_RAW_BODY && state != STATE_RAW_BODY && state != STATE_RAW_RBRACE &&
        state != STATE_RAW_CLOSE) {
      raw_opening = static_cast<uint32_t>(pos) - skipped;
    } else if (next == STATE_RAW_RBRACE) {
      raw_run = 0;
    } else if (next == STATE_RAW_CLOSE) {
      ++raw_run;
    }
    state = next;
    ++pos;
  }
  TokenScan scan;
  scan.state = next;
  scan.previous = state;
  scan.start = skipped;
  scan.end = static_cast<uint32_t>(pos);
  scan.flags = flags;
  scan.lines = lines;
  return scan;
}

}  // namespace tav::lexer
