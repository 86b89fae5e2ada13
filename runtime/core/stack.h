// The argument stack and the call-frame stack, and the unwinding of non-local exits.
//
// Every call leaves its result in the first cell of its stretch of the argument stack (the
// base). Break, continue, return, exit and throw travel up the C++ call chain as a returned
// catch code (Status); an error travels as a C++ exception (Unwind), which is rare. Code that
// cannot return a status (an action handler calling back into the interpreter) converts a
// non-zero status into an Unwind exception with `stack::rethrow_status`.
#pragma once
#include <cstdint>
#include <string>
#include "core/cell.h"
#include "core/memory.h"

namespace tav {

// Catch codes: a catcher takes every code up to its level.
enum : uint32_t {
  CODE_NONE = 0,
  CODE_THROW = 0x7FFFFFFA,
  CODE_EXIT = 0x7FFFFFFB,
  CODE_RETURN = 0x7FFFFFFC,
  CODE_CONTINUE = 0x7FFFFFFD,
  CODE_BREAK = 0x7FFFFFFE,
  CODE_ERROR = 0x7FFFFFFF,
};
using Status = uint32_t;   // CODE_NONE: the call completed normally

// Every native, action dispatcher and routine reads its arguments at stack::base and gets one
// position per refinement in spec order (0-based cell index of its first argument, -1 when
// absent).
using NativeEntry = Status (*)(const int32_t* refinement_positions);

struct Unwind {
  uint32_t code;
};

// Frame kinds (bits 24-27 of a frame's header).
enum FrameKind : uint32_t {
  FRAME_FUNCTION = 1, FRAME_NATIVE = 2, FRAME_TRY = 4, FRAME_TRY_ALL = 5, FRAME_CATCH = 6,
  FRAME_EVAL = 7, FRAME_LOOP = 8, FRAME_KIND9 = 9,
};
constexpr uint32_t FRAME_RETURN_TARGET = 1u << 28;
constexpr uint32_t FRAME_INTERPRETED = 1u << 31;

struct CallFrame {
  uint32_t header;        // kind in bits 24-27, return target bit 28, interpreted bit 31
  uint32_t symbol;        // symbol id of the name of the call
  uint32_t saved_base;    // argument base before this frame (cell index)
  uint32_t own_base;      // the frame's own base: its result slot (cell index)
  NodeId word_ctx;        // context of the name word
  NodeId fn_ctx;          // function context for function calls, else 0
  uint32_t saved_values;  // that context's values position at call time
  uint32_t kind() const { return (header >> 24) & 0xF; }
};

constexpr uint32_t ARG_STACK_CELLS = 20000;
constexpr uint32_t FRAME_STACK_FRAMES = 12000;
// Room past those ends that evaluation never reaches on its own: a tracer runs in it, so that
// code meets its limits at the same place traced or not (see LentRoom).
constexpr uint32_t LENT_CELLS = 2000;
constexpr uint32_t LENT_FRAMES = 1200;

namespace stack {

// Argument stack. begin <= base <= top <= end.
extern Cell* begin;
extern Cell* end;
extern Cell* base;
extern Cell* top;
// Frame stack: [frames_begin, frames_top) in use.
extern CallFrame* frames_begin;
extern CallFrame* frames_end;
extern CallFrame* frames_top;
extern CallFrame* saved_throw_frame;
extern NodeId arg_stack_node;
extern NodeId frame_stack_node;
// Symbols of the frames that are not calls.
extern uint32_t body_symbol;
extern uint32_t anon_symbol;

// Called by runtime initialisation once the root block holds both stack series.
void init();
// Name symbols for <body>/<anon> are set once symbols exist.
void set_special_symbols(uint32_t body, uint32_t anon);

inline uint32_t index_of(const Cell* c) { return static_cast<uint32_t>(c - begin); }
inline Cell* at_index(uint32_t i) { return begin + i; }

[[noreturn]] void overflow();

// Frames. Pushing and popping them is on every call's path: kept inline.
[[gnu::always_inline]] inline Cell* mark_symbol(uint32_t symbol, NodeId word_ctx, uint32_t kind_bits) {
  if (frames_top >= frames_end) [[unlikely]] overflow();
  CallFrame* f = frames_top++;
  f->header = kind_bits;
  f->symbol = symbol;
  f->saved_base = index_of(base);
  f->own_base = index_of(top);
  f->word_ctx = word_ctx;
  f->fn_ctx = 0;
  f->saved_values = 0;
  base = top;
  return base;
}
[[gnu::always_inline]] inline Cell* mark(const Cell* name, uint32_t kind_bits) {
  return mark_symbol(name ? name->data2 : 0, name ? name->data1 : 0, kind_bits);
}
// A function context's first cell is its context! cell; data2 holds the argument-stack index
// of the running call's first argument plus one.
inline Cell* mark_func(const Cell* name, NodeId fn_ctx) {
  Cell* b = mark(name, 0x01000000);
  CallFrame* f = frames_top - 1;
  f->fn_ctx = fn_ctx;
  f->saved_values = fn_ctx ? node_buffer(fn_ctx)->cells()->data2 : 0;
  return b;
}
[[gnu::always_inline]] inline Cell* mark_native(const Cell* name) { return mark(name, 0x02000000); }
inline Cell* mark_try(const Cell* name) { return mark(name, 0x04000000); }
inline Cell* mark_try_all(const Cell* name) { return mark(name, 0x05000000); }
inline Cell* mark_catch(const Cell* name) { return mark(name, 0x06000000); }
inline Cell* mark_loop(const Cell* name) { return mark(name, 0x08000000); }
inline Cell* mark_eval(const Cell* name) { return mark(name, 0x87000000); }
inline Cell* mark_interp_native(const Cell* name) { return mark(name, 0x82000000); }
inline Cell* mark_interp_func(const Cell* name) { return mark(name, 0x81000000); }

inline CallFrame* top_frame() { return frames_top > frames_begin ? frames_top - 1 : nullptr; }
inline void set_return_target(bool on) {
  if (CallFrame* f = top_frame()) {
    if (on) f->header |= FRAME_RETURN_TARGET;
    else f->header &= ~FRAME_RETURN_TARGET;
  }
}
CallFrame* claim_return_target();
void clear_return_target(CallFrame* f);
inline void set_interpreted() {
  if (CallFrame* f = top_frame()) f->header |= FRAME_INTERPRETED;
}
void restore_frame_top(CallFrame* f);

// Argument stack.
inline Cell* new_cell() {
  if (top >= end) overflow();
  return top++;
}
inline Cell* push(const Cell* c) {
  Cell* slot = new_cell();
  *slot = *c;
  return slot;
}
inline Cell* reset() { top = base; return base; }
inline Cell* keep_result() { top = base + 1; return base; }
inline Cell* set_last(const Cell* c) { *base = *c; return base; }
inline void set_result_keep(const Cell* c) { top = base + 1; *base = *c; }
inline void pop(uint32_t n) { top = (uint32_t(top - begin) < n) ? begin : top - n; }
inline Cell* last() { return top > begin ? top - 1 : top; }
inline TypeId top_type() { return last()->type(); }
void keep_caught_error();

// Frame pops.
inline void unwind() {
  CallFrame* f = --frames_top;
  top = base + 1;
  base = at_index(f->saved_base);
}
inline void unwind_func() {
  CallFrame* f = frames_top - 1;
  if (f->fn_ctx) node_buffer(f->fn_ctx)->cells()->data2 = f->saved_values;
  unwind();
}
inline void unwind_into_result() {
  Cell* result = base;
  unwind();
  *base = *result;
}
inline void unwind_func_into_result() {
  Cell* result = base;
  unwind_func();
  *base = *result;
}
void unwind_reset();
void unwind_func_reset();
void unwind_discard();

// Non-local exits. The throw_* routines return the status to propagate; errors never return.
void unwind_to_kind(uint32_t kind, bool keep);
Status return_to_kind(uint32_t kind);
[[noreturn]] void throw_error(const Cell* err);
// Raises again an error that was caught on its way to its catcher: the frame level it
// recorded when first raised stays.
[[noreturn]] void pass_error_on(const Cell* err);
Status throw_break_continue(bool with_value, bool is_continue);
Status throw_return_exit(bool with_value, bool keep_current);
Status throw_value(uint32_t catcher_code);
// Converts a status that cannot be returned further into an exception.
[[noreturn]] inline void rethrow_status(Status s) { throw Unwind{s}; }

// Introspection.
uint32_t nearest_call_symbol(NodeId* ctx_out);
void collect_calls(NodeId block);

// The call names of an error report. `end_frame` counts frames from the bottom; the names are
// those of the named frames below it, bottom first. With level 1 or lower only names whose
// value is a function! count. Frames above the current top may be read (an error records how
// deep it was raised, and the frames it left stay readable until reused): their names are
// taken only while their contexts are still contexts.
void collect_call_names(int32_t level, NodeId block, uint32_t end_frame);
// The same names appended to `out`, each followed by one blank.
void form_trace(int32_t level, uint32_t end_frame, std::string& out);
// Stores the frame top in the error's stack field, unless that already holds a block.
void record_frame_in_error(const Cell* err);

// What happens to an error that nothing catches: set by the host (runner or console).
using UncaughtHandler = void (*)(const Cell* err);
extern UncaughtHandler uncaught_handler;

// The interpreter's nesting depth and the cell naming the code it is at. The evaluator keeps
// them with plain stores on its hot road, with no guard objects: an error leaves them as they
// were where it arose, and the catcher that resumes evaluation puts them back from its State.
extern uint32_t eval_depth;
extern Cell* position_cell;   // set once the interpreter has its root cell

// Saved state a catcher restores when it catches.
struct State {
  Cell* base;
  Cell* top;
  CallFrame* frames_top;
  uint32_t cycles_depth;
  uint32_t eval_depth;
  Cell position;
};
State save();
void restore(const State& s);

// For its lifetime, moves the ends of both stacks into the lent room and steps the depth back
// by `depth_room`, so that what runs meanwhile (a tracer, called at every step of the code it
// watches) takes none of the room that code has left. Everything goes back as it was when it
// ends; a tracer that overflows the lent room still meets stack-overflow.
class LentRoom {
 public:
  explicit LentRoom(uint32_t depth_room)
      : end_(end), frames_end_(frames_end), depth_(eval_depth) {
    end = begin + ARG_STACK_CELLS + LENT_CELLS;
    frames_end = frames_begin + FRAME_STACK_FRAMES + LENT_FRAMES;
    eval_depth = eval_depth > depth_room ? eval_depth - depth_room : 0;
  }
  ~LentRoom() {
    end = end_;
    frames_end = frames_end_;
    eval_depth = depth_;
  }
  LentRoom(const LentRoom&) = delete;
  LentRoom& operator=(const LentRoom&) = delete;

 private:
  Cell* end_;
  CallFrame* frames_end_;
  uint32_t depth_;
};

}  // namespace stack
}  // namespace tav
