#include "view/backend/qt/event_maker.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/errors.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "view/backend/qt/backend.h"
#include "view/binding.h"

namespace tav::gui {

namespace {

// The handler's answer: `stop` consumes the event.
bool is_stop(const Cell* result) {
  static uint32_t stop = 0;
  if (!stop) stop = symbol::alias(symbol::make("stop"));
  return result->is(TYPE_WORD) && symbol::alias(result->data2) == stop;
}

// Calls awake with the event under a frame that catches every error and every unwinding;
// answers the handler's result (none when it failed).
Cell call_awake(const Cell* awake, const Cell* evt) {
  Cell result = make_cell(TYPE_NONE);
  stack::State entry = stack::save();
  Cell position = *interp::current_position();
  bool tracing = trace::active;
  trace::active = false;
  NodeId n = alloc::new_cells(2);
  SeriesBuffer* b = node_buffer(n);
  b->tail = b->head + 2 * sizeof(Cell);
  b->cells()[0] = *awake;
  b->cells()[1] = *evt;
  Cell block = make_cell(TYPE_BLOCK, 0, n);
  Cell* code = stack::push(&block);
  Cell name = word::make(symbol::make("awake"));
  stack::mark_try_all(&name);
  try {
    Status s = interp::eval_block(code, true);
    if (s == CODE_NONE) {
      stack::unwind_into_result();
      result = *stack::base;
    }
  } catch (const Unwind&) {
    // An error that escaped the View layer stops here and never reaches the loop.
  }
  stack::restore(entry);
  *interp::current_position() = position;
  stack::saved_throw_frame = nullptr;
  trace::active = tracing;
  return result;
}

}  // namespace

void trace_line(const char* text) {
  static const char* path = std::getenv("TAV_GUI_TRACE");
  if (!path || !*path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fputs(text, f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

int raise_event(uint32_t type, uint32_t flags, const event::Record& message) {
  uint32_t word = 0;
  event::Record* r = event::new_record(&word);
  uint32_t generation = r->generation;
  *r = message;
  r->generation = generation;
  Cell evt;
  event::make_backend_at(&evt, type, word, flags);
  std::string line = "event " + std::to_string(type) + " " + std::to_string(message.window);
  trace_line(line.c_str());
  Cell awake;
  if (!binding::awake_function(&awake)) return 1;
  int32_t blocking = loop.blocking_loops;
  Cell result = call_awake(&awake, &evt);
  // A handler that destroyed the last window of a blocking loop ends that loop.
  if (loop.blocking_loops < blocking) post_quit();
  return is_stop(&result) ? 0 : 1;
}

}  // namespace tav::gui
