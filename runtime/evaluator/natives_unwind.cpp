// Natives that move control out of running code and catch it again: try, catch, throw,
// break and continue.
#include "core/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/natives_eval_internal.h"
#include "evaluator/trace.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::natives::evalnat_detail {

Status try_native(const int32_t* refs) {
  Cell block = *arg(0);
  stack::State entry = stack::save();
  Cell position = *interp::current_position();
  // A function or call-back that switched tracing for its run is left by the error without
  // switching it back.
  bool tracing = trace::active;
  Cell name = words::try_;
  if (given(refs, 0)) stack::mark_try_all(&name);
  else stack::mark_try(&name);
  try {
    Status s = interp::eval_block(&block, true);
    // Under try/all every break, continue, return, exit or throw has become an error.
    if (s != CODE_NONE) return s;
    stack::unwind_into_result();
  } catch (const Unwind& u) {
    if (u.code != CODE_ERROR) throw;
    // The error sits on the last cell pushed; every stack goes back to how try found it.
    Cell err = *(stack::top - 1);
    stack::restore(entry);
    *interp::current_position() = position;
    stack::saved_throw_frame = nullptr;
    trace::active = tracing;
    *stack::base = err;
    if (given(refs, 1)) error::set_stack_trace(stack::base);
  }
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// Does the thrown name match the /name argument of catch?
bool catch_matches(const Cell* thrown, const Cell* wanted) {
  if (!thrown->is(TYPE_WORD)) return false;
  uint32_t canon = symbol::alias(thrown->data2);
  if (wanted->is(TYPE_WORD)) return symbol::alias(wanted->data2) == canon;
  Cell blk = *wanted;
  for (uint32_t i = blk.index(); i < node_buffer(blk.node())->count(); ++i) {
    Cell c = node_buffer(blk.node())->cells()[i];
    if (!c.is(TYPE_WORD)) error::raise(ERR_SCRIPT, "invalid-refine-arg", &words::name, &blk);
    if (symbol::alias(c.data2) == canon) return true;
  }
  return false;
}

Status catch_native(const int32_t* refs) {
  Cell block = *arg(0);
  Cell wanted = given(refs, 0) ? *arg(refs[0]) : make_cell(TYPE_NONE);
  Cell name = interp::body_name();
  stack::mark_catch(&name);
  Status s = interp::eval_block(&block, true);
  if (s == CODE_NONE) {
    stack::unwind_into_result();
    stack::top = stack::base + 1;
    return CODE_NONE;
  }
  if (s != CODE_THROW) return s;
  // The catch frame is on top again, holding the thrown value and its name.
  Cell thrown_name = stack::base[1];
  if (given(refs, 0) && !catch_matches(&thrown_name, &wanted)) {
    stack::unwind_into_result();
    stack::base[1] = thrown_name;
    stack::top = stack::base + 2;
    return stack::throw_value(CODE_THROW);
  }
  stack::saved_throw_frame = nullptr;
  stack::unwind_into_result();
  stack::top = stack::base + 1;
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_CATCH, nullptr, -1, stack::base, nullptr);
  return CODE_NONE;
}

Status throw_native(const int32_t* refs) {
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_THROW, nullptr, -1, arg(0), nullptr);
  if (!given(refs, 0)) {
    stack::top = stack::base + 1;
    set_unset(stack::new_cell());
  } else {
    stack::base[1] = *arg(refs[0]);
    stack::top = stack::base + 2;
  }
  return stack::throw_value(CODE_THROW);
}

Status break_native(const int32_t* refs) {
  return stack::throw_break_continue(given(refs, 0), false);
}
Status continue_native(const int32_t*) { return stack::throw_break_continue(false, true); }

void register_unwinding() {
  put(NAT_TRY, try_native);
  put(NAT_CATCH, catch_native);
  put(NAT_THROW, throw_native);
  put(NAT_BREAK, break_native);
  put(NAT_CONTINUE, continue_native);
}

}  // namespace tav::natives::evalnat_detail
