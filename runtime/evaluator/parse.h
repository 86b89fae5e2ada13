// The parse dialect: matches an input series (any-block!, any-string! or binary!) against a
// block of rules, extracting, collecting and changing parts of the input on the way.
//
// The rules run on an explicit state machine whose frames live on two work stacks (blocks
// rooted in the root block), never on the machine stack, so rule nesting is bounded by the
// stacks' limit and not by C++ recursion. A call of `run` from a paren or a trace callback of
// another running `run` gets a fresh view of both stacks and gives the outer one back.
#pragma once
#include <cstdint>

#include "core/cell.h"
#include "core/stack.h"

namespace tav::parse {

// Each work stack holds at most this many cells above its current view.
constexpr uint32_t STACK_LIMIT = 10000;

// A trace callback: told of each step of the engine with the event word (push, pop, fetch,
// match, iterate, paren, end), the match flag, the rule block positioned at the current rule,
// the input and the rule stack. Answering false stops the parse at once; its result is then
// the match flag of that moment. The series stack is hidden while it runs.
struct TraceHook {
  bool (*fn)(void* ctx, const Cell* event, bool match, const Cell* rule, const Cell* input,
             const Cell* rule_stack);
  void* ctx;
};

// Runs the rules over the input. case_: strict, case-sensitive comparison. part: null or none
// for no limit, else an integer! count or a position in the input where matching stops.
// Pushes the result on the argument stack and answers it: a logic!, true when the rules matched
// and consumed the input (up to the limit); or the block a top-level `collect` produced.
// Break, return and throw passing through a paren leave as an Unwind carrying their code.
Cell* run(const Cell* input, const Cell* rules, bool case_, const Cell* part,
          const TraceHook* hook = nullptr);

// The two work stacks (block! cells in the root block), for the collector and for tests.
const Cell* series_stack();
const Cell* rule_stack();

}  // namespace tav::parse
