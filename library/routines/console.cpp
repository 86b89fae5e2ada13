// The GUI console's print hooks: everything printed while the console runs goes to its
// terminal's vprint. The caret blink time comes from the view layer, which knows the desktop.
#include <cstring>

#include "core/errors.h"
#include "core/output.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "routines.h"
#include "runtime.h"

namespace tav::routines {

namespace {

// Room the terminal's printing needs on both stacks before it starts.
constexpr std::ptrdiff_t MIN_FRAMES = 60;
constexpr std::ptrdiff_t MIN_CELLS = 80;

// The string the runtime's low-level output is loaded into, reused from call to call; it
// lives in the root block so the collector keeps it.
Cell* console_buffer = nullptr;

Cell* field_of(const Cell* obj, const char* name) {
  if (!obj || !obj->is(TYPE_OBJECT)) return nullptr;
  Cell w = word::make(symbol::make(name));
  if (object::word_index(obj, &w) < 0) return nullptr;
  return object::word_value_cell(obj, &w);
}

// gui-console-ctx/terminal/vprint, when the console has one.
bool find_vprint(Cell* out) {
  Cell* ctx = interp::word_value_cell(word::load("gui-console-ctx"));
  Cell* fn = field_of(field_of(ctx, "terminal"), "vprint");
  if (!fn || !fn->is(TYPE_FUNCTION)) return false;
  *out = *fn;
  return true;
}

void print_gui(const Cell* text, bool new_line) {
  if (stack::frames_end - stack::frames_top < MIN_FRAMES || stack::end - stack::top < MIN_CELLS)
    error::raise(ERR_INTERNAL, "stack-overflow");
  Cell fn;
  if (!find_vprint(&fn)) return;
  // The console's own printing code is not what the user traces.
  struct Tracing {
    bool was = trace::active;
    ~Tracing() { trace::active = was; }
  } tracing;
  trace::active = false;
  Cell* saved_top = stack::top;
  Cell* held = stack::push(&fn);
  Cell name = word::make(symbol::make("vprint"));
  stack::mark_func(&name, fn.data1);
  Cell args[2] = {*text, make_cell(TYPE_LOGIC)};
  set_logic(&args[1], new_line);
  evaluator_door::push_arguments(&fn, args, 2);
  Status status = evaluator_door::call_function(held, trace::CALLBACK_NONE);
  if (status != CODE_NONE) stack::rethrow_status(status);
  stack::unwind_func();
  stack::top = saved_top;
}

void output_gui(const char* bytes, int length, bool new_line) {
  size_t size = length < 0 ? std::strlen(bytes) : static_cast<size_t>(length);
  if (!console_buffer) return;
  if (console_buffer->is(TYPE_STRING)) {
    string::reset_to_bytes(console_buffer);
  } else {
    string::make_at(console_buffer, static_cast<uint32_t>(size));
  }
  // CR LF comes in as LF, as text loaded anywhere else does.
  NodeId n = console_buffer->node();
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes);
  const uint8_t* end = p + size;
  const uint8_t* run = p;
  for (; p < end; ++p) {
    if (*p == '\r' && p + 1 < end && p[1] == '\n') {
      string::append_utf8(n, run, static_cast<size_t>(p - run));
      run = p + 1;
    }
  }
  string::append_utf8(n, run, static_cast<size_t>(end - run));
  print_gui(console_buffer, new_line);
}

}  // namespace

Status add_gui_print(const int32_t*) {
  if (!console_buffer) {
    Cell unset = make_cell(TYPE_UNSET);
    console_buffer = runtime::root_append(&unset);
  }
  dyn_print::add(print_gui, output_gui);
  return done_unset();
}

}  // namespace tav::routines
