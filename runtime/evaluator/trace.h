// The evaluator's tracing mode: `do/trace code handler` calls the handler for every step of
// the evaluation (an event word, the code, the offset in it, the value, a reference and the
// argument stack's base and top).
//
// The hot path pays one predictable test of `trace::active` per hook site while tracing is
// off; everything else lives out of line in trace.cpp. `active` is the switch the hooks read;
// `installed` says that a tracer exists at all (do/trace runs), so that a function with the
// `trace` attribute can switch tracing back on for its body.
//
// Runtime call-backs (a sort comparator, an object's change handler, the lexer's and the
// parse engine's trace callbacks) carry a kind; while tracing, a call-back whose kind bit is
// clear in the callback bits runs untraced. Call a language function back through
// `interp::call_function` with its kind, or wrap the call in a `trace::CallbackScope`.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/evaluator_door.h"   // the call-back kinds
#include "evaluator/calls.h"
#include "core/stack.h"
#include "evaluator/switches.h"

#ifndef TAV_UNLIKELY
#define TAV_UNLIKELY(x) __builtin_expect(!!(x), 0)
#endif

namespace tav::trace {

// Event bits, as a tracer's filter names them.
enum Event : uint32_t {
  EV_INIT = 1, EV_END = 2, EV_PROLOG = 4, EV_EPILOG = 8, EV_ENTER = 16, EV_EXIT = 32,
  EV_OPEN = 64, EV_RETURN = 128, EV_FETCH = 256, EV_PUSH = 512, EV_SET = 1024,
  EV_CALL = 2048, EV_ERROR = 4096, EV_THROW = 8192, EV_CATCH = 16384, EV_EXPR = 32768,
};
// A tracer without a filter receives every event.
constexpr uint32_t ALL_EVENTS = evaluator::ALL_TRACE_EVENTS;

// Events are delivered now; a do/trace tracer is in place.
inline constexpr bool& active = evaluator::switches.trace_active;
inline constexpr bool& installed = evaluator::switches.trace_installed;

// Which call-back kinds are followed while tracing (0 at start: none). The system object's
// `state/callbacks/bits` drives it.
void set_callback_bits(uint32_t bits);
uint32_t callback_bits();

// Installs the tracer function for a do/trace run and fires init. False when a tracer is
// already in place (a nested do/trace keeps the outer one, and installs nothing).
bool install(const Cell* tracer);
// Fires end and removes the tracer. The flags are cleared whatever the tracer does.
void remove();
// Removes the tracer with no event, and puts every tracing switch back as at start-up: for
// code that must start clean whatever ran before (the runtime's state reset).
void reset();

// The events a tracer asks for: the OR of the event words in the block opening its body;
// every event when its body opens with anything else.
uint32_t mask_of(const Cell* tracer);

// Calls the tracer for one event (when its filter takes it), with tracing off while it runs.
// `code` is the block, paren or path being evaluated (null: none), `offset` the position in
// it. An error or non-local exit out of the tracer goes on from here.
[[gnu::cold]] void fire(uint32_t event, const Cell* code, int32_t offset, const Cell* value, const Cell* ref);
// The same for an event at a position of code being evaluated.
[[gnu::cold]] void fire_at(uint32_t event, const interp::Code& code, const Cell* value, const Cell* ref);
// The fetch of the value at the code position.
[[gnu::cold]] void fire_fetch(const interp::Code& code);
// The error event: fired by error::raise before the error unwinds.
[[gnu::cold]] void fire_error(const Cell* err);

// The switch as the language sets it (`trace true`, `trace false`): on only while a tracer is
// installed. It outlasts the bodies it was set in, which otherwise put the switch back as
// they found it.
void set_switch(bool on);

// A function body run while a tracer is installed: its trace / no-trace attribute switches
// tracing for the body, and prolog fires. Answers a token for leave_body (never 0).
[[gnu::cold]] uint32_t enter_body(const Cell* fn);
// Fires epilog (on a normal end or a return) and puts the tracing switch back.
[[gnu::cold]] void leave_body(const Cell* fn, uint32_t token, Status s);

// Switches tracing off, for its lifetime, for a call-back whose kind is not followed.
class CallbackScope {
 public:
  explicit CallbackScope(uint32_t kind) : saved_(active) {
    if (TAV_UNLIKELY(active) && (kind & callback_bits()) == 0) active = false;
  }
  ~CallbackScope() { active = saved_; }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

 private:
  bool saved_;
};

// The interpreter's root cell that holds the tracer while one is installed.
void set_tracer_cell(Cell* cell);

}  // namespace tav::trace

namespace tav::interp {

// Calls a language function back on the runtime's behalf: its call frame is open
// (stack::mark_func) with its arguments and local padding pushed from the base, as for
// run_function_body. `kind` is a trace::CallbackKind: while tracing, the call runs untraced
// unless its kind is followed. Return and exit end at the function; other non-local exits
// come back as the status.
Status call_function(const Cell* fn, uint32_t kind);

}  // namespace tav::interp
