#include "state.h"

#include <vector>

#include "core/collector.h"
#include "core/context.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/stack.h"
#include "core/system_object.h"
#include "datatypes/object.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"

namespace tav::state {

namespace {

struct Kept {
  bool kept = false;
  stack::State stacks{};
  bool collecting = false;
  bool tiers = true;
  object::Evaluator evaluator = nullptr;
  object::HandlerCall handler_call = nullptr;
  object::FunctionMaker function_maker = nullptr;
  // The global words' values, position by position. Marked while kept: a word's old value
  // may be held nowhere else once a test has redefined the word.
  std::vector<Cell> globals;
};
Kept kept;

void mark_kept() {
  collector::mark_cells(kept.globals.data(), kept.globals.data() + kept.globals.size());
}

Cell* global_values() { return node_buffer(context::values_of(context::global))->cells(); }

}  // namespace

void keep() {
  kept.stacks = stack::save();
  kept.collecting = collector::enabled;
  kept.tiers = interp::tiers_enabled();
  kept.evaluator = object::evaluator;
  kept.handler_call = object::handler_call;
  kept.function_maker = object::function_maker;
  const Cell* values = global_values();
  kept.globals.assign(values, values + context::word_count(context::global));
  if (!kept.kept) collector::add_marker(&mark_kept);
  kept.kept = true;
}

void put_back() {
  if (!kept.kept) return;
  trace::reset();
  interp::set_tiers_enabled(kept.tiers);
  stack::restore(kept.stacks);
  Cell* values = global_values();
  const uint32_t now = context::word_count(context::global);
  const auto old = static_cast<uint32_t>(kept.globals.size());
  std::copy(kept.globals.begin(), kept.globals.end(), values);
  for (uint32_t k = old; k < now; ++k) set_unset(values + k);
  object::evaluator = kept.evaluator;
  object::handler_call = kept.handler_call;
  object::function_maker = kept.function_maker;
  random::init();
  if (Cell* setting = system_object::field({"state", "stack-trace"})) set_integer(setting, 1);
  collector::enabled = kept.collecting;
}

}  // namespace tav::state
