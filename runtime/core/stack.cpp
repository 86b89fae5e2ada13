#include "core/stack.h"

#include <cstdlib>

#include "core/context.h"
#include "core/cycles.h"
#include "core/errors.h"
#include "core/evaluator_door.h"
#include "core/memory.h"
#include "core/symbols.h"

namespace tav::stack {

Cell* begin = nullptr;
Cell* end = nullptr;
Cell* base = nullptr;
Cell* top = nullptr;
CallFrame* frames_begin = nullptr;
CallFrame* frames_end = nullptr;
CallFrame* frames_top = nullptr;
CallFrame* saved_throw_frame = nullptr;
NodeId arg_stack_node = 0;
NodeId frame_stack_node = 0;
uint32_t body_symbol = 0;
uint32_t anon_symbol = 0;
UncaughtHandler uncaught_handler = nullptr;
uint32_t eval_depth = 0;
Cell* position_cell = nullptr;

namespace stack_detail {

// A context's first cell is its context! cell; data2 holds, for a function context, the
// argument-stack index of the running call's first argument plus one.
inline Cell* context_cell(NodeId ctx) { return node_buffer(ctx)->cells(); }

inline void restore_function_context(const CallFrame* f) {
  if (f->kind() == FRAME_FUNCTION && f->fn_ctx) context_cell(f->fn_ctx)->data2 = f->saved_values;
}

inline bool is_call_name(uint32_t sym) { return sym != body_symbol && sym != anon_symbol; }

}  // namespace stack_detail

void init() {
  SeriesBuffer* a = node_buffer(arg_stack_node);
  begin = base = top = reinterpret_cast<Cell*>(a->data());
  end = begin + ARG_STACK_CELLS;
  SeriesBuffer* f = node_buffer(frame_stack_node);
  frames_begin = frames_top = reinterpret_cast<CallFrame*>(f->data());
  frames_end = frames_begin + FRAME_STACK_FRAMES;
  saved_throw_frame = nullptr;
}

void set_special_symbols(uint32_t body, uint32_t anon) {
  body_symbol = body;
  anon_symbol = anon;
}

[[noreturn]] void overflow() {
  top = (top - begin > 5) ? top - 5 : begin;
  cycles::reset();
  error::raise(ERR_INTERNAL, "stack-overflow");
}

CallFrame* claim_return_target() {
  if (frames_top - frames_begin < 2) return nullptr;
  CallFrame* f = frames_top - 2;
  if (f->header & FRAME_RETURN_TARGET) return nullptr;
  f->header |= FRAME_RETURN_TARGET;
  return f;
}

void clear_return_target(CallFrame* f) {
  if (f) f->header &= ~FRAME_RETURN_TARGET;
}

void restore_frame_top(CallFrame* f) { frames_top = f; }

void keep_caught_error() {
  if (top > begin && (top - 1)->type() == TYPE_ERROR) *base = *(top - 1);
  top = base + 1;
}

State save() {
  Cell position = position_cell ? *position_cell : make_cell(TYPE_UNSET);
  return State{base, top, frames_top, cycles::depth(), eval_depth, position};
}

void restore(const State& s) {
  cycles::restore_depth(s.cycles_depth);
  eval_depth = s.eval_depth;
  if (position_cell) *position_cell = s.position;
  // Function contexts of the frames dropped get their values position back.
  while (frames_top > s.frames_top) {
    --frames_top;
    stack_detail::restore_function_context(frames_top);
  }
  frames_top = s.frames_top;
  base = s.base;
  top = s.top;
}

// Frame pops ---------------------------------------------------------------------------------

void unwind_reset() {
  CallFrame* f = --frames_top;
  base = at_index(f->saved_base);
  top = base;
}

void unwind_func_reset() {
  CallFrame* f = frames_top - 1;
  if (f->fn_ctx) stack_detail::context_cell(f->fn_ctx)->data2 = f->saved_values;
  unwind_reset();
}

void unwind_discard() {
  CallFrame* f = --frames_top;
  stack_detail::restore_function_context(f);
  if (frames_top == frames_begin) {
    base = top = begin;
  } else {
    top = base;
    base = at_index(f->saved_base);
  }
}

// Non-local exits ---------------------------------------------------------------------------

namespace stack_detail {
// Pops every frame above `keep` (restoring function contexts); `keep` stays on the stack.
inline void pop_above(CallFrame* keep) {
  while (frames_top > keep + 1) stack_detail::restore_function_context(--frames_top);
}
}  // namespace stack_detail

void unwind_to_kind(uint32_t kind, bool keep) {
  CallFrame* f = frames_top;
  while (f > frames_begin && (f - 1)->kind() != kind && (f - 1)->kind() != FRAME_TRY_ALL) --f;
  if (f == frames_top) {
    top = base + 1;
    return;
  }
  if (f == frames_begin) {
    while (frames_top > frames_begin) stack_detail::restore_function_context(--frames_top);
    base = top = begin;
    return;
  }
  CallFrame* stop = f - 1;
  stack_detail::pop_above(stop);
  base = at_index(keep ? stop->own_base : stop->saved_base);
  top = base + 1;
}

Status return_to_kind(uint32_t kind) {
  Cell value = *base;
  CallFrame* f = frames_top;
  while (f > frames_begin && (f - 1)->kind() != kind && (f - 1)->kind() != FRAME_TRY_ALL) --f;
  if (f == frames_begin) error::raise(ERR_THROW, "return");
  CallFrame* stop = f - 1;
  stack_detail::pop_above(stop);
  base = at_index(stop->own_base);
  *base = value;
  top = base + 1;
  return CODE_RETURN;
}

namespace stack_detail {
[[noreturn]] void raise_error(const Cell* err, bool record);
}

[[noreturn]] void throw_error(const Cell* err) { stack_detail::raise_error(err, true); }
[[noreturn]] void pass_error_on(const Cell* err) { stack_detail::raise_error(err, false); }

[[noreturn]] void stack_detail::raise_error(const Cell* err, bool record) {
  Cell error = *err;
  if (error.is(TYPE_ERROR) && frames_top > frames_begin) {
    // The report names the call the error happened in.
    NodeId ctx = 0;
    uint32_t sym = nearest_call_symbol(&ctx);
    if (sym != 0) {
      Cell where = make_cell(TYPE_WORD, ctx, sym, 0xFFFFFFFF);
      error::set_where(&error, &where);
    }
    if (record) record_frame_in_error(&error);
  }
  CallFrame* f = frames_top;
  while (f > frames_begin && (f - 1)->kind() != FRAME_TRY && (f - 1)->kind() != FRAME_TRY_ALL) --f;
  if (f == frames_begin) {
    // Nothing catches it: the host shows it and the process ends with -2.
    if (uncaught_handler) uncaught_handler(&error);
    std::exit(-2);
  }
  CallFrame* catcher = f - 1;
  stack_detail::pop_above(catcher);
  frames_top = catcher;   // the try frame goes too
  base = at_index(catcher->saved_base);
  // The try native finds the error as the last pushed cell above its own stretch.
  top = at_index(catcher->own_base);
  *top++ = error;
  throw Unwind{CODE_ERROR};
}

Status throw_break_continue(bool with_value, bool is_continue) {
  Cell value = *base;
  CallFrame* f = frames_top;
  while (f > frames_begin && (f - 1)->kind() != FRAME_LOOP && (f - 1)->kind() != FRAME_TRY_ALL) --f;
  if (f == frames_begin || (f - 1)->kind() == FRAME_TRY_ALL)
    error::raise(ERR_THROW, is_continue ? "continue" : "break");
  CallFrame* loop = f - 1;
  stack_detail::pop_above(loop);
  base = at_index(loop->own_base);
  if (with_value && !is_continue) *base = value;
  else set_unset(base);
  top = base + 1;
  return is_continue ? CODE_CONTINUE : CODE_BREAK;
}

Status throw_return_exit(bool with_value, bool keep_current) {
  (void)keep_current;
  Cell value = *base;
  CallFrame* f = frames_top;
  while (f > frames_begin && !((f - 1)->header & FRAME_RETURN_TARGET) &&
         (f - 1)->kind() != FRAME_TRY_ALL)
    --f;
  if (f == frames_begin || (f - 1)->kind() == FRAME_TRY_ALL) error::raise(ERR_THROW, "return");
  CallFrame* target = f - 1;
  stack_detail::pop_above(target);
  base = at_index(target->own_base);
  if (with_value) *base = value;
  else set_unset(base);
  top = base + 1;
  return with_value ? CODE_RETURN : CODE_EXIT;
}

Status throw_value(uint32_t catcher_code) {
  (void)catcher_code;
  Cell value = *base;
  Cell name = top > base + 1 ? base[1] : make_cell(TYPE_NONE);
  if (!saved_throw_frame) saved_throw_frame = frames_top;
  CallFrame* f = frames_top;
  while (f > frames_begin && (f - 1)->kind() != FRAME_CATCH && (f - 1)->kind() != FRAME_TRY_ALL) --f;
  if (f == frames_begin || (f - 1)->kind() == FRAME_TRY_ALL) {
    saved_throw_frame = nullptr;
    error::raise(ERR_THROW, "throw", &value);
  }
  CallFrame* catcher = f - 1;
  stack_detail::pop_above(catcher);
  base = at_index(catcher->own_base);
  top = base;
  *top++ = value;
  *top++ = name;
  return CODE_THROW;
}

uint32_t nearest_call_symbol(NodeId* ctx_out) {
  CallFrame* f = saved_throw_frame ? saved_throw_frame : frames_top;
  saved_throw_frame = nullptr;
  while (f > frames_begin) {
    CallFrame* g = f - 1;
    if (stack_detail::is_call_name(g->symbol)) {
      if (ctx_out) *ctx_out = g->word_ctx;
      return g->symbol;
    }
    f = g;
  }
  if (ctx_out) *ctx_out = 0;
  return 0;
}

// Call names of error reports -----------------------------------------------------------------

namespace stack_detail {

// Whether a node still holds a context: a frame above the top may name one that is gone.
bool is_context_node(NodeId n) {
  if (!is_live_node(n)) return false;
  SeriesBuffer* b = node_buffer(n);
  return b->unit() == sizeof(Cell) && b->count() >= 1 && b->cells()->is(TYPE_CONTEXT);
}

// Calls visit(word) for each named frame below end_frame, bottom first.
template <typename Visit>
void each_call_name(int32_t level, uint32_t end_frame, Visit visit) {
  uint32_t live = static_cast<uint32_t>(frames_top - frames_begin);
  uint32_t limit = static_cast<uint32_t>(frames_end - frames_begin);
  if (end_frame > limit) end_frame = limit;
  for (uint32_t i = 0; i < end_frame; ++i) {
    const CallFrame* f = frames_begin + i;
    uint32_t sym = f->symbol;
    if (sym == 0 || sym > symbol::count() || !is_call_name(sym)) continue;
    NodeId ctx = f->word_ctx ? f->word_ctx : context::global;
    bool ctx_ok = i < live || is_context_node(ctx);
    Cell word = make_cell(TYPE_WORD, ctx_ok ? ctx : 0, sym, uint32_t(-1));
    if (level <= 1) {
      if (!ctx_ok) continue;
      const Cell* v = evaluator_door::word_value_cell(&word);
      if (!v || !v->is(TYPE_FUNCTION)) continue;
    }
    visit(word);
  }
}

}  // namespace stack_detail

void collect_call_names(int32_t level, NodeId block, uint32_t end_frame) {
  stack_detail::each_call_name(level, end_frame, [&](const Cell& word) {
    *series::buffer_new_tail_cell(block) = word;
  });
}

void form_trace(int32_t level, uint32_t end_frame, std::string& out) {
  stack_detail::each_call_name(level, end_frame, [&](const Cell& word) {
    symbol::Name name = symbol::name(word.data2);
    out.append(name.bytes, name.length);
    out += ' ';
  });
}

void collect_calls(NodeId block) {
  // Innermost first, down to the frame just above the bottom one.
  for (CallFrame* f = frames_top - 1; f > frames_begin; --f) {
    uint32_t sym = f->symbol;
    if (sym == 0 || sym > symbol::count() || !stack_detail::is_call_name(sym)) continue;
    NodeId ctx = f->word_ctx ? f->word_ctx : context::global;
    *series::buffer_new_tail_cell(block) = make_cell(TYPE_WORD, ctx, sym, uint32_t(-1));
    Cell base;
    set_integer(&base, static_cast<int32_t>(f->saved_base));
    *series::buffer_new_tail_cell(block) = base;
  }
}

void record_frame_in_error(const Cell* err) {
  Cell* f = error::field(err, ERROR_STACK);
  if (!f->is(TYPE_BLOCK)) set_integer(f, static_cast<int32_t>(frames_top - frames_begin));
}

}  // namespace tav::stack
