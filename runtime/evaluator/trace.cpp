#include "evaluator/trace.h"

#include "core/collector.h"
#include "evaluator/callbacks.h"
#include "datatypes/function.h"
#include "datatypes/pair.h"
#include "evaluator/interpreter.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav::trace {

namespace trace_detail {

constexpr int EVENT_COUNT = 16;
constexpr const char* event_names[EVENT_COUNT] = {
    "init", "end",  "prolog", "epilog", "enter", "exit",  "open",  "return",
    "fetch", "push", "set",   "call",   "error", "throw", "catch", "expr"};
// The events whose ref argument carries something.
constexpr uint32_t REF_EVENTS = EV_SET | EV_EPILOG | EV_PROLOG | EV_RETURN | EV_CALL;

uint32_t event_symbols[EVENT_COUNT] = {};
Cell* tracer_cell = nullptr;
constexpr uint32_t& mask = evaluator::switches.trace_mask;
constexpr uint32_t& callback_bits = evaluator::switches.callback_bits;
// The depth the tracer may go beyond that of the step it is called for.
constexpr uint32_t TRACER_DEPTH = 3000;
// While the tracer runs, a function's trace attribute must not switch tracing back on: the
// tracer would trace itself without end.
constexpr uint32_t& in_tracer = evaluator::switches.in_tracer;
// How many times the language has set the switch: a body that sees it change keeps it.
uint32_t switch_count = 0;

void make_event_symbols() {
  if (event_symbols[0]) return;
  for (int i = 0; i < EVENT_COUNT; ++i) event_symbols[i] = symbol::make(event_names[i]);
}

inline int event_index(uint32_t event) { return __builtin_ctz(event); }

// The code a position lies in, as a block value at its head: the evaluator's own current
// block when that is it (so a paren stays a paren), else a block! of the node.
Cell code_cell(const interp::Code& code) {
  const Cell* cur = interp::current_position();
  Cell c;
  if (cur && is_any_block(cur->type()) && cur->node() == code.node) c = *cur;
  else c = make_cell(TYPE_BLOCK, 0, code.node);
  c.data1 = 0;
  return c;
}

// The body block of a function value, or none.
Cell body_of(const Cell* fn) {
  if (!fn->is(TYPE_FUNCTION) || fn->data3 == 0) return make_cell(TYPE_NONE);
  return node_buffer(fn->data3)->cells()[function::MORE_BODY];
}

// Runs the tracer with the six values. A try/all frame under the tracer's own frame keeps a
// break, continue or throw without a target inside the tracer from unwinding the traced code
// in the middle of a step: such an exit is raised as its Throw error, which, like any error
// of the tracer, goes on to the traced code's catcher.
void call_tracer(const Cell* args) {
  Cell fn = *tracer_cell;
  if (!fn.is(TYPE_FUNCTION)) return;
  // Tracing is off from here on, even for the pushes: a stack overflow raised by them must
  // not call the tracer again.
  struct Switch {
    bool was_active;
    ~Switch() {
      active = was_active;
      --in_tracer;
    }
  } tracing_back{active};
  active = false;
  ++in_tracer;
  // The tracer's own steps come out of the lent room: a recursion meets the limit where it
  // would untraced.
  stack::LentRoom room(TRACER_DEPTH);
  stack::State saved = stack::save();
  stack::push(&fn);   // keeps the tracer referenced while it runs
  Cell name = words::tag_interp_callback;
  name.set_type(TYPE_WORD);
  stack::mark_try_all(&name);
  try {
    stack::mark_func(&name, fn.data1);
    callbacks::push_arguments(&fn, args, 6);
    interp::run_function_body(&fn);
  } catch (const Unwind& u) {
    if (u.code != CODE_ERROR) throw;
    // The error stopped at the barrier: it goes on from where the event fired.
    Cell err = *(stack::top - 1);
    stack::restore(saved);
    stack::pass_error_on(&err);
  }
  stack::restore(saved);
}

void clear() {
  installed = false;
  interp::fast_tiers = interp::tiers_enabled();
  active = false;
  mask = ALL_EVENTS;
  if (tracer_cell) set_none(tracer_cell);
}

}  // namespace trace_detail

void set_tracer_cell(Cell* cell) { trace_detail::tracer_cell = cell; }

void reset() {
  trace_detail::clear();
  trace_detail::in_tracer = 0;
  trace_detail::callback_bits = 0;
}

void set_callback_bits(uint32_t bits) { trace_detail::callback_bits = bits; }
uint32_t callback_bits() { return trace_detail::callback_bits; }

uint32_t mask_of(const Cell* tracer) {
  trace_detail::make_event_symbols();
  return callbacks::event_filter(tracer, trace_detail::event_symbols, trace_detail::EVENT_COUNT);
}

bool install(const Cell* tracer) {
  using namespace trace_detail;
  if (installed || !tracer_cell) return false;
  make_event_symbols();
  *tracer_cell = *tracer;
  mask = mask_of(tracer);
  installed = true;
  interp::fast_tiers = false;   // every step goes the way the tracer can follow
  active = true;
  fire(EV_INIT, nullptr, -1, nullptr, nullptr);
  return true;
}

void remove() {
  if (!installed) return;
  // The end event is delivered whatever switched tracing off inside the run.
  active = true;
  try {
    fire(EV_END, nullptr, -1, nullptr, nullptr);
  } catch (...) {
    trace_detail::clear();
    throw;
  }
  trace_detail::clear();
}

void fire(uint32_t event, const Cell* code, int32_t offset, const Cell* value,
          const Cell* ref) {
  using namespace trace_detail;
  if (!installed || !(mask & event)) return;
  // Everything the tracer gets is copied before anything can allocate.
  Cell args[6];
  args[0] = make_cell(TYPE_WORD, 0, event_symbols[event_index(event)], uint32_t(-1));
  args[1] = code ? *code : make_cell(TYPE_NONE);
  set_integer(&args[2], offset);
  args[3] = (value && value->type() != TYPE_NONE_ID) ? *value : make_cell(TYPE_NONE);
  args[4] = (ref && (event & REF_EVENTS)) ? *ref : make_cell(TYPE_NONE);
  args[5] = make_cell(TYPE_PAIR);
  pair::make_at(&args[5], static_cast<int32_t>(stack::index_of(stack::base)),
                static_cast<int32_t>(stack::index_of(stack::top)));
  call_tracer(args);
}

void fire_at(uint32_t event, const interp::Code& code, const Cell* value, const Cell* ref) {
  if (!(trace_detail::mask & event)) return;
  Cell c = trace_detail::code_cell(code);
  fire(event, &c, static_cast<int32_t>(code.pos), value, ref);
}

void fire_fetch(const interp::Code& code) {
  if (!(trace_detail::mask & EV_FETCH)) return;
  Cell value = *code.at();
  fire_at(EV_FETCH, code, &value, nullptr);
}

void fire_error(const Cell* err) {
  if (!(trace_detail::mask & EV_ERROR)) return;
  // A native may raise in the middle of raw-pointer work on a buffer it then repairs on the
  // way out: no collection may move buffers while the tracer runs here.
  bool collecting = collector::enabled;
  collector::enabled = false;
  CallFrame* pending = stack::saved_throw_frame;
  stack::saved_throw_frame = nullptr;
  Cell error = *err;
  Cell* pos = interp::current_position();
  Cell code = make_cell(TYPE_NONE);
  int32_t offset = -1;
  if (pos && is_any_block(pos->type())) {
    code = *pos;
    offset = static_cast<int32_t>(pos->index());
    code.data1 = 0;
  }
  try {
    fire(EV_ERROR, &code, offset, &error, nullptr);
  } catch (...) {
    collector::enabled = collecting;
    throw;
  }
  collector::enabled = collecting;
  stack::saved_throw_frame = pending;
}

void set_switch(bool on) {
  active = on && installed;
  ++trace_detail::switch_count;
}

uint32_t enter_body(const Cell* fn) {
  // The token: bit 0 the switch to put back, bit 1 always set, the rest the count of the
  // switches set by the language so far.
  uint32_t token = (trace_detail::switch_count << 2) | (active ? 3u : 2u);
  if (trace_detail::in_tracer == 0) {
    if (fn->header & FLAG_NO_TRACE) active = false;
    else if (fn->header & FLAG_TRACE) active = true;
  }
  if (active) {
    Cell body = trace_detail::body_of(fn);
    fire(EV_PROLOG, &body, static_cast<int32_t>(body.is(TYPE_BLOCK) ? body.index() : 0),
         nullptr, fn);
  }
  return token;
}

void leave_body(const Cell* fn, uint32_t token, Status s) {
  // A switch the language set inside the body stays as it was set.
  bool restore = (token & 1) != 0;
  if ((token >> 2) != (trace_detail::switch_count & (UINT32_MAX >> 2))) restore = active;
  if (active && (s == CODE_NONE || s == CODE_RETURN || s == CODE_EXIT)) {
    Cell body = trace_detail::body_of(fn);
    Cell result = *stack::base;
    try {
      fire(EV_EPILOG, &body, -1, &result, fn);
    } catch (...) {
      active = restore;
      throw;
    }
  }
  active = restore;
}

}  // namespace tav::trace

namespace tav::interp {

Status call_function(const Cell* fn, uint32_t kind) {
  trace::CallbackScope scope(kind);
  return run_function_body(fn);
}

}  // namespace tav::interp
