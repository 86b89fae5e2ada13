// The lexer's trace call-back: the events a callback asks for, the call itself, how its
// answers steer the scan, and how the collector sees the scans it interrupts.
#include <algorithm>
#include <cstdint>

#include "core/collector.h"
#include "core/evaluator_door.h"
#include "scanner/lexer_internal.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/system_object.h"
#include "datatypes/series.h"
#include "core/unicode.h"
#include "core/words.h"

namespace tav::lexer {

namespace lexer_driver {

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

// What a token without a datatype is called in the `type` argument: its entry in
// system/lexer/exit-states, which names the final states in order from the end of input; a
// script may rename them there. The list has no entry for the comma (its entries go on with
// the typed states), so the comma, like a state the list does not reach, has no name.
Cell exit_state_value(uint8_t state) {
  Cell none = make_cell(TYPE_NONE);
  if (state < S_EOF || state >= S_COMMA) return none;
  const Cell* list = system_object::field({"lexer", "exit-states"});
  if (!list || !is_any_block(list->type())) return none;
  int64_t at = int64_t(series::index_of(list)) + (state - S_EOF);
  if (at < 0 || at >= series::buffer_length(list)) return none;
  return cell_buffer(list)->cells()[at];
}

// Runs the callback's body under its own function frame with the five arguments, padded as
// an ordinary call pads refinements and locals. Answers its result; *input_after receives
// the value its `input` argument holds at the end.
Cell call_callback(const Cell& callback, const Cell (&args)[5], Cell* input_after) {
  Cell fn = callback;
  Cell* saved_top = stack::top;
  Cell* held = stack::push(&fn);
  stack::mark_func(&words::tag_lexer_callback, fn.data1);
  uint32_t given = evaluator_door::push_arguments(&fn, args, 5);
  // A lexer call-back: the evaluator's tracing leaves it untraced unless asked.
  Status status = evaluator_door::call_function(held, trace::CALLBACK_LEXER);
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

}  // namespace lexer_driver

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
  return evaluator_door::event_filter(callback, symbols, 6);
}

}  // namespace tav::lexer
