#include "natives.h"

#include <climits>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/string.h"
#include "core/call_frame.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "fast_paths.h"
#include "init_steps.h"
#include "interpreter.h"
#include "core/memory.h"
#include "core/output.h"
#include "runtime.h"
#include "core/string_buffer.h"
#include "core/stack.h"
#include "core/types.h"

namespace tav::natives {

namespace natives_detail {

NativeEntry table[TABLE_SIZE] = {};
bool last_line_feed = false;
uint32_t counter = 1;

using call_frame::arg;

// Functions ---------------------------------------------------------------------------------

inline void clamp_index(Cell* block) {
  uint32_t n = node_buffer(block->node())->count();
  if (block->index() > n) block->data1 = n;
}

Status func_native(const int32_t*) {
  clamp_index(arg(0));
  clamp_index(arg(1));
  Cell spec = *arg(0), body = *arg(1);
  uint32_t flags = function::check_spec(&spec);
  function::push(&spec, &body, flags);
  *stack::base = *(stack::top - 1);
  return CODE_NONE;
}

Status function_native(const int32_t*) {
  clamp_index(arg(0));
  clamp_index(arg(1));
  Cell spec = *arg(0);
  uint32_t from = spec.index();
  uint32_t n = node_buffer(spec.node())->count() - from;
  *arg(0) = make_cell(TYPE_BLOCK, 0, series::copy_part(spec.node(), from, n));
  Cell copy = *arg(0), body = *arg(1);
  function::collect_locals(&copy, &body);
  return func_native(nullptr);
}

Status does_native(const int32_t*) {
  Cell body = *arg(0);
  stack::push(&body);   // spec goes to cell 0, body to cell 1
  *arg(0) = make_cell(TYPE_BLOCK, 0, alloc::new_cells(1));
  *arg(1) = body;
  return func_native(nullptr);
}

// Evaluation and unwinding ------------------------------------------------------------------

Status return_native(const int32_t*) { return stack::throw_return_exit(true, false); }
Status exit_native(const int32_t*) { return stack::throw_return_exit(false, false); }

// Text for the print hooks: a string as it is, anything else formed.
void print_formed(const Cell* value, bool new_line) {
  Cell* v = stack::push(value);
  Cell* text = v;
  if (!v->is(TYPE_STRING)) {
    text = stack::new_cell();
    *text = make_cell(TYPE_STRING, 0, string::make(16));
    actions::form_direct(v, text, nullptr, INT_MAX);
  } else {
    v->data1 = string::clamped_index(v);
  }
  hook::run_print_list(text, new_line);
  stack::top = v;
}

// Output --------------------------------------------------------------------------------------

// The scratch block that print fills when it reduces a block. Its index marks where the
// current use starts, so that a print run while another one reduces appends after the
// outer one's values.
NodeId work_node = 0;
uint32_t work_index = 0;

// Cuts the work block back to where this use began, however the use ends.
struct WorkBlockUse {
  uint32_t saved_index;
  uint32_t saved_length;
  WorkBlockUse() : saved_index(work_index), saved_length(node_buffer(work_node)->count()) {
    work_index = saved_length;
  }
  ~WorkBlockUse() {
    SeriesBuffer* b = node_buffer(work_node);
    if (b->count() > saved_length) b->tail = b->head + saved_length * sizeof(Cell);
    work_index = saved_index;
  }
  WorkBlockUse(const WorkBlockUse&) = delete;
  WorkBlockUse& operator=(const WorkBlockUse&) = delete;
};

// Forms the value (or the values a block reduces to, joined by spaces) and hands the text
// to the print hooks.
Status print_value(bool new_line) {
  Cell v = *arg(0);
  if (v.is(TYPE_BLOCK)) {
    WorkBlockUse use;
    interp::Code code{v.node(), v.index()};
    Cell* mark = stack::top;
    while (!code.at_end()) {
      Status s = interp::eval_next(code, true);
      if (s != CODE_NONE) return s;
      Cell work = make_cell(TYPE_BLOCK, 0, work_node);
      block::append_cell(&work, stack::top - 1);
      stack::top = mark;
    }
    Cell reduced = make_cell(TYPE_BLOCK, 0, work_node);
    reduced.data1 = use.saved_length;
    print_formed(&reduced, new_line);
  } else {
    print_formed(&v, new_line);
  }
  last_line_feed = new_line;
  set_unset(stack::base);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

Status print_native(const int32_t*) { return print_value(true); }
Status prin_native(const int32_t*) { return print_value(false); }

// Comparisons -------------------------------------------------------------------------------

template <int Op>
Status compare_native(const int32_t*) {
  Cell l = *arg(0), r = *arg(1);
  bool t = actions::compare_cond(Op, nullptr, &l, &r);
  set_logic(stack::base, t);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

void append_entries(uint32_t count, const NativeEntry* entries) {
  for (uint32_t i = 0; i < count && counter <= TABLE_SIZE; ++i) table[counter++ - 1] = entries[i];
}

}  // namespace natives_detail

NativeEntry entry(uint32_t index) {
  return index < TABLE_SIZE ? natives_detail::table[index] : nullptr;
}

uint32_t position_of(std::string_view name) {
  for (uint32_t i = 0; i < NATIVE_COUNT; ++i)
    if (NATIVE_NAMES[i] == name) return i + 1;
  return 0;
}

std::string_view name_of(uint32_t position) {
  return position >= 1 && position <= NATIVE_COUNT ? NATIVE_NAMES[position - 1]
                                                    : std::string_view();
}

bool last_line_feed() { return natives_detail::last_line_feed; }

uint32_t next_position() { return natives_detail::counter; }

uint32_t append(NativeEntry e) {
  uint32_t position = natives_detail::counter;
  if (position > TABLE_SIZE) return 0;
  natives_detail::append_entries(1, &e);
  return position;
}

int comparison_code(uint32_t index) {
  switch (index + 1) {
    case NAT_EQUAL_Q: return COMP_EQUAL;
    case NAT_NOT_EQUAL_Q: return COMP_NOT_EQUAL;
    case NAT_STRICT_EQUAL_Q: return COMP_STRICT_EQUAL;
    case NAT_LESSER_Q: return COMP_LESSER;
    case NAT_GREATER_Q: return COMP_GREATER;
    case NAT_LESSER_OR_EQUAL_Q: return COMP_LESSER_EQUAL;
    case NAT_GREATER_OR_EQUAL_Q: return COMP_GREATER_EQUAL;
    default: return -1;
  }
}

}  // namespace tav::natives

namespace tav::natives {
namespace natives_detail {
NativeEntry pending_entries[NATIVE_COUNT] = {};
}  // namespace natives_detail

void put(NativeId id, NativeEntry e) {
  if (id >= 1 && id <= NATIVE_COUNT) natives_detail::pending_entries[id - 1] = e;
}
}  // namespace tav::natives

void tav::init_steps::natives_table() {
  using namespace tav::natives;
  using namespace tav::natives::natives_detail;
  // Every native in its fixed position; those still unbuilt keep an empty entry.
  NativeEntry* entries = pending_entries;
  register_control();
  register_evaluation();
  register_math();
  register_series_text();
  register_system();
  put(NAT_FUNC, func_native);
  put(NAT_FUNCTION, function_native);
  put(NAT_DOES, does_native);
  put(NAT_PRINT, print_native);
  put(NAT_PRIN, prin_native);
  put(NAT_EQUAL_Q, compare_native<COMP_EQUAL>);
  put(NAT_NOT_EQUAL_Q, compare_native<COMP_NOT_EQUAL>);
  put(NAT_STRICT_EQUAL_Q, compare_native<COMP_STRICT_EQUAL>);
  put(NAT_LESSER_Q, compare_native<COMP_LESSER>);
  put(NAT_GREATER_Q, compare_native<COMP_GREATER>);
  put(NAT_LESSER_OR_EQUAL_Q, compare_native<COMP_LESSER_EQUAL>);
  put(NAT_GREATER_OR_EQUAL_Q, compare_native<COMP_GREATER_EQUAL>);
  put(NAT_EXIT, exit_native);
  put(NAT_RETURN, return_native);
  counter = 1;
  append_entries(NATIVE_COUNT, entries);
  work_node = alloc::new_cells(32);
  work_index = 0;
  Cell work = make_cell(TYPE_BLOCK, 0, work_node);
  tav::runtime::root_append(&work);
}
