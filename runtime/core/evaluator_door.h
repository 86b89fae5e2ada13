// The one door from the layers below the evaluator (core, datatypes, scanner) up into it.
//
// A few things those layers do need the evaluator: an error report shows where the evaluator
// was, a sort or the lexer calls a language function back, a spec reads a word's value. They
// call these functions instead of including an evaluator header, so the include graph only
// runs downward and everything they may ask of the evaluator is listed here. The evaluator
// defines them (evaluator/evaluator_door.cpp) as thin forwards to its own routines; nothing
// here holds state, so there is nothing to fill in or reset.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/memory.h"
#include "core/stack.h"

namespace tav::trace {

// Kinds of the calls the runtime makes into language functions on its own behalf. Ordinary
// calls have kind 0 and are always traced; while tracing, a call-back whose kind is not
// followed runs untraced.
enum CallbackKind : uint32_t {
  CALLBACK_NONE = 0, CALLBACK_LEXER = 1, CALLBACK_PARSE = 2, CALLBACK_SORT = 4,
  CALLBACK_ON_CHANGE = 8, CALLBACK_ON_DEEP_CHANGE = 16, CALLBACK_PORT = 32,
};

}  // namespace tav::trace

namespace tav::evaluator_door {

// ---- Errors ---------------------------------------------------------------------------------

// The block being evaluated, at the expression being evaluated (null before any evaluation).
const Cell* current_position();
// Told of every error about to be raised, before it unwinds (a tracer sees it as an event).
void error_raised(const Cell* err);

// ---- Words ----------------------------------------------------------------------------------

// The value cell a word is bound to; null when the word is unbound or its function is not
// running.
Cell* word_value_cell(const Cell* word);
// The same, raising the matching script error where word_value_cell answers null.
const Cell* get_word(const Cell* word);
void set_word(const Cell* word, const Cell* value);

// The name a frame gets when an evaluation is no call.
Cell anon_name();

// ---- Calling language functions back --------------------------------------------------------

// Bit k set when argument k of the function (its return entry not counted) takes its value
// as written (a get-argument), for the first `count` arguments.
uint32_t literal_arguments(const Cell* fn, uint32_t count);
// Evaluates the call of `fn` whose arguments follow position `pos` of the code block, the
// answer pushed. `kind` is a trace::CallbackKind.
Status call_in_code(const Cell* fn, NodeId code, uint32_t pos, uint32_t kind);

// Calls a function whose call frame is open (stack::mark_func) with its arguments pushed
// from the base. Return and exit end at the function; other non-local exits come back as
// the status. `kind` is a trace::CallbackKind.
Status call_function(const Cell* fn, uint32_t kind);
// Pushes up to `count` argument values for a call of `fn` (as its spec takes them); answers
// how many it pushed.
uint32_t push_arguments(const Cell* fn, const Cell* args, uint32_t count);
// The event bits a handler function asks for, read from its body the way a tracer's are.
uint32_t event_filter(const Cell* fn, const uint32_t* events, uint32_t count);

}  // namespace tav::evaluator_door
