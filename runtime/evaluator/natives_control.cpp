// Control-flow natives: the conditionals, switch and case, the loops, and
// break and continue.
//
// Every loop pushes a loop frame named <body> above what it keeps on the stack; break and
// continue unwind to that frame and come back up the C++ chain as a status, the loop's
// result slot (the frame's base) already holding break's value. The body writes its value
// into that same slot, so the loop's result is whatever the slot holds when the frame pops.
//
// The loops over series keep their own copy of the series two cells below the loop frame's
// base and the word (or words block) one below it; each step reads the series' buffer
// afresh through its node, since the body may have grown, shrunk or moved it.
#include <climits>

#include "datatypes/block.h"
#include "datatypes/map.h"
#include "datatypes/series.h"
#include "core/call_frame.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "interpreter.h"
#include "loop_rounds.h"
#include "core/memory.h"
#include "natives.h"
#include "core/number_text.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav::natives {

int32_t loop_count(const Cell* v) {
  if (!v->is(TYPE_FLOAT)) return v->int_value();
  double d = v->float_value();
  int32_t n = 0;
  if (number::float_to_int32(d, &n)) return n;
  if (d != d) return 0;
  return d < 0 ? INT32_MIN : INT32_MAX;
}

void push_loop_frame() {
  Cell name = interp::body_name();
  stack::mark_loop(&name);
  set_unset(stack::new_cell());
}

namespace control_detail {

using call_frame::arg;

inline Status result_none() {
  set_none(stack::base);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// One round of a loop body on a fresh result slot: the body is copied first, since the
// argument cell may be overwritten by what the round leaves. The round runs in the loop
// frame itself, whose base is the slot the body's value goes to. *s keeps its status.
After run_body(const Cell* body_cell, Status* s) {
  stack::reset();
  Cell body = *body_cell;
  *s = interp::eval_block_here(&body);
  return after_body(*s);
}

// loop, until and while run each round's block as it stands in their arguments (from
// `blocks` on).
inline auto rounds_in_place(Cell* blocks) {
  return on_stack([blocks](uint32_t i) {
    Cell block = blocks[i];
    return interp::eval_block_here(&block);
  });
}

// Block-like values hold value cells; every other series is picked unit by unit.
inline bool block_like(TypeId t) { return is_any_block(t); }

// Whether the series' index lies before its end.
inline bool loop_more(const Cell* series) {
  return series::index_of(series) >= 0 &&
         series::index_of(series) < series::buffer_length(series);
}

// Element i (1-based from the index) of a series, or none past the tail. A picked unit may
// be pushed by the pick action: the copy is taken before the stack is cut back.
Cell pick_element(Cell* series, int32_t i) {
  if (block_like(series->type())) {
    int64_t pos = int64_t(series::index_of(series)) + i - 1;
    if (pos < 0 || pos >= series::buffer_length(series)) return make_cell(TYPE_NONE);
    return block::cell_at(series, static_cast<uint32_t>(pos))[0];
  }
  Cell* keep_top = stack::top;
  Cell boxed;
  set_integer(&boxed, i);
  Cell v = *actions::pick_direct(series, i, &boxed);
  stack::top = keep_top;
  return v;
}

inline bool settable_word(TypeId t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
}

// Sets the n words of a words block from the values at a block's index (none past its tail).
// Every word is checked, and no value may be unset!, before the first one is set.
void set_words(const Cell* words_block, Cell* source, int32_t n) {
  for (int32_t i = 1; i <= n; ++i) {
    Cell word = *block::cell_at(words_block, words_block->index() + i - 1);
    if (!settable_word(word.type())) error::raise(ERR_SCRIPT, "invalid-arg", &word);
    if (pick_element(source, i).is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "need-value", &word);
  }
  for (int32_t i = 1; i <= n; ++i) {
    Cell value = pick_element(source, i);
    Cell word = *block::cell_at(words_block, words_block->index() + i - 1);
    interp::set_word(&word, &value);
  }
}

// A words block over text holds words only as well: setting through anything else would read
// its payload as a binding.
void set_words_picked(const Cell* words_block, Cell* series, int32_t n) {
  for (int32_t i = 1; i <= n; ++i) {
    Cell value = pick_element(series, i);
    Cell word = *block::cell_at(words_block, words_block->index() + i - 1);
    if (!settable_word(word.type())) error::raise(ERR_SCRIPT, "invalid-arg", &word);
    interp::set_word(&word, &value);
  }
}

// The cells a series loop keeps below its loop frame's base.
inline Cell* loop_series() { return stack::base - 2; }
inline Cell* loop_word() { return stack::base - 1; }

// One word: sets it to the value at the index and steps over it.
bool foreach_next() {
  Cell* series = loop_series();
  if (!loop_more(series)) return false;
  Cell value = pick_element(series, 1);
  interp::set_word(loop_word(), &value);
  series->data1 += 1;
  return true;
}

// n words: sets them from the values at the index and steps over n values.
bool foreach_next_multi(int32_t n) {
  Cell* series = loop_series();
  if (n <= 0 || !loop_more(series)) return false;
  // The body may have shortened the words block itself.
  if (block::rs_length(loop_word()) < n) error::raise(ERR_SCRIPT, "invalid-arg", loop_word());
  if (series->is(TYPE_MAP)) {
    // A map gives one key and its value a step; removed pairs are stepped over.
    if (n != 2) error::raise(ERR_SCRIPT, "invalid-arg", loop_word());
    if (!map::foreach_step(loop_word(), series, n)) return false;
  } else if (block_like(series->type())) {
    set_words(loop_word(), series, n);
  } else {
    set_words_picked(loop_word(), series, n);
  }
  series->data1 += static_cast<uint32_t>(n);
  return true;
}

// After a body that answered truthy, removes the n values the last step visited.
void remove_each_step(int32_t n) {
  if (!is_true(stack::base)) return;
  Cell* series = loop_series();
  series->data1 -= static_cast<uint32_t>(n);
  Cell* keep_top = stack::top;
  Cell* part = nullptr;
  if (n > 1) set_integer(part = stack::new_cell(), n);
  Cell* target = stack::push(series);
  *series = *actions::remove_direct(target, part, nullptr);
  stack::top = keep_top;
}

// Conditionals --------------------------------------------------------------------------------

// The conditionals run the chosen block in their own frame: once the block is copied, the
// arguments below are no longer needed, and the block stays referenced as the current code.
template <Choice K>
Status conditional_native(const int32_t*) {
  uint32_t chosen = choose(K, arg(0));
  if (chosen == 0) return answer_none();
  Cell body = *arg(int(chosen));
  return interp::eval_block_here(&body);
}

// any and all evaluate each expression above a copy of their block, which keeps the block
// referenced while the result slot is overwritten.
Status any_native(const int32_t*) {
  stack::top = stack::base + 1;
  Cell* conds = stack::push(arg(0));
  Cell* mark = stack::top;
  interp::Code code{conds->node(), conds->index()};
  while (!code.at_end()) {
    Status s = interp::eval_next(code, true);
    if (s != CODE_NONE) return s;
    if (is_true(stack::top - 1)) {
      *stack::base = *(stack::top - 1);
      stack::top = stack::base + 1;
      return CODE_NONE;
    }
    stack::top = mark;
  }
  return result_none();
}

Status all_native(const int32_t*) {
  stack::top = stack::base + 1;
  Cell* conds = stack::push(arg(0));
  Cell* mark = stack::top;
  interp::Code code{conds->node(), conds->index()};
  if (code.at_end()) return result_none();
  while (!code.at_end()) {
    Status s = interp::eval_next(code, true);
    if (s != CODE_NONE) return s;
    if (!is_true(stack::top - 1)) return result_none();
    *stack::base = *(stack::top - 1);
    stack::top = mark;
  }
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// The block that follows the first case equal to the value (same datatype, equal under
// compare), or none. A block value never matches.
Cell switch_target(const Cell* value, const Cell* cases) {
  Cell none = make_cell(TYPE_NONE);
  if (value->is(TYPE_BLOCK)) return none;
  Cell* keep_top = stack::top;
  Cell* v = stack::push(value);
  Cell* c = stack::new_cell();
  NodeId node = cases->node();
  for (uint32_t i = cases->index(); i < node_buffer(node)->count(); ++i) {
    *c = node_buffer(node)->cells()[i];
    if (c->type() != v->type() || !actions::compare(v, c, COMP_EQUAL)) continue;
    stack::top = keep_top;
    for (uint32_t j = i + 1; j < node_buffer(node)->count(); ++j)
      if (node_buffer(node)->cells()[j].is(TYPE_BLOCK)) return node_buffer(node)->cells()[j];
    return none;
  }
  stack::top = keep_top;
  return none;
}

Status switch_native(const int32_t* refs) {
  Cell cases = *arg(1);
  Cell target = switch_target(arg(0), &cases);
  if (target.is(TYPE_NONE)) {
    if (refs[0] < 0) return result_none();
    target = *arg(refs[0]);
  }
  stack::reset();
  return interp::eval_block(&target, true);
}

Status case_native(const int32_t* refs) {
  bool all = refs[0] >= 0;
  if (block::rs_length(arg(0)) <= 0) return result_none();
  stack::top = stack::base + 1;
  Cell* cases = stack::push(arg(0));
  Cell name = interp::anon_name();
  stack::mark_native(&name);
  set_unset(stack::new_cell());
  interp::Code code{cases->node(), cases->index()};
  bool matched = false;
  while (!code.at_end()) {
    if (all) matched = false;
    Status s = interp::eval_next(code, true);
    if (s != CODE_NONE) return s;
    Cell cond = *(stack::top - 1);
    stack::top = stack::base + 1;
    if (code.at_end()) error::raise(ERR_SCRIPT, "need-value", &words::case_);
    if (!true_result(&cond)) {
      ++code.pos;
      continue;
    }
    Cell action = *code.at();
    if (action.is(TYPE_BLOCK)) {
      ++code.pos;
      stack::reset();
      s = interp::eval_block(&action, true);
    } else {
      s = interp::eval_next(code, false);
    }
    if (s != CODE_NONE) return s;
    matched = true;
    if (!all) break;
  }
  stack::unwind_into_result();
  if (!matched) set_none(stack::base);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// Loops ---------------------------------------------------------------------------------------

Status while_native(const int32_t*) {
  return while_rounds(rounds_in_place(stack::base));
}

Status until_native(const int32_t*) {
  return until_rounds(rounds_in_place(stack::base));
}

Status loop_native(const int32_t*) {
  Cell* args = stack::base;
  return loop_rounds(loop_count(args), rounds_in_place(args + 1));
}

// The count cell becomes the counter the word is set to before each round; the word keeps
// its binding, so the loop sets it wherever it lives.
Status repeat_native(const int32_t*) {
  int32_t n = loop_count(arg(1));
  if (n <= 0) return result_none();
  Cell* args = stack::base;
  set_integer(args + 1, 1);
  push_loop_frame();
  for (; n > 0; --n) {
    stack::reset();
    interp::set_word(args, args + 1);
    Cell body = args[2];
    Status s = interp::eval_block_here(&body);
    After a = after_body(s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
    args[1].data2 += 1;   // unsigned: a full run of 2^31 - 1 rounds steps past the limit
  }
  stack::unwind_into_result();
  return CODE_NONE;
}

Status forever_native(const int32_t*) {
  Cell* args = stack::base;
  push_loop_frame();
  while (true) {
    Status s;
    After a = run_body(args, &s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
  }
  stack::unwind_into_result();
  return CODE_NONE;
}

Status foreach_native(const int32_t*) {
  Cell* args = stack::base;
  bool multi = args[0].is(TYPE_BLOCK);
  int32_t n = multi ? block::rs_length(args) : 1;
  if (multi && n <= 0) error::raise(ERR_SCRIPT, "invalid-arg", args);
  if (!multi && args[1].is(TYPE_MAP)) error::raise(ERR_SCRIPT, "invalid-arg", args);
  stack::top = args + 3;
  stack::push(args + 1);
  stack::push(args);
  push_loop_frame();
  while (multi ? foreach_next_multi(n) : foreach_next()) {
    Status s;
    After a = run_body(args + 2, &s);
    if (a == After::stop) break;
    if (a == After::pass) return s;
  }
  stack::unwind_into_result();
  return CODE_NONE;
}

inline bool forall_series(TypeId t) {
  return is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR;
}

// The word walks its own series one value at a time; the body may move it along that series
// but not point it at another one, nor at a value of another type (whose payload could
// happen to equal the node).
Status forall_native(const int32_t*) {
  Cell* args = stack::base;
  Cell start = *interp::get_word(args);
  if (!forall_series(start.type())) {
    Cell call, type;
    NodeId ctx = 0;
    uint32_t sym = stack::nearest_call_symbol(&ctx);
    call = make_cell(TYPE_WORD, ctx, sym, 0xFFFFFFFFu);
    set_datatype(&type, start.type());
    Cell word = word::make(symbol::make("word"));   // the argument's name in forall's spec
    error::raise(ERR_SCRIPT, "expect-arg", &call, &type, &word);
  }
  stack::top = args + 2;
  stack::push(&start);
  stack::push(args);
  push_loop_frame();
  bool broke = false;
  while (loop_more(interp::get_word(loop_word()))) {
    Status s;
    After a = run_body(args + 1, &s);
    if (a == After::pass) return s;
    if (a == After::stop) {
      broke = true;
      break;
    }
    Cell* now = interp::word_value_cell(loop_word());
    if (!now || now->type() != start.type() || now->node() != start.node()) {
      Cell v = now ? *now : make_cell(TYPE_UNSET);
      error::raise(ERR_SCRIPT, "bad-loop-series", &v);
    }
    now->data1 += 1;
    if (!loop_more(now)) break;
  }
  Cell word = *loop_word();   // the result slot about to be filled is the word argument's cell
  stack::unwind_into_result();
  if (!broke) interp::set_word(&word, &start);
  return CODE_NONE;
}

// The data series as given is the result; the part count sits three cells below the loop
// frame's base.
Status remove_each_native(const int32_t*) {
  Cell* args = stack::base;
  bool multi = args[0].is(TYPE_BLOCK);
  int32_t n = multi ? block::rs_length(args) : 1;
  stack::top = args + 3;
  set_integer(stack::new_cell(), n);
  stack::push(args + 1);
  stack::push(args);
  push_loop_frame();
  while (multi ? foreach_next_multi(n) : foreach_next()) {
    Status s;
    After a = run_body(args + 2, &s);
    if (s == CODE_CONTINUE) continue;
    if (a == After::stop) break;
    if (a == After::pass) return s;
    remove_each_step(n);
  }
  stack::unwind();
  *stack::base = args[1];
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// break and continue ------------------------------------------------------------------------


}  // namespace control_detail

void register_control() {
  using namespace control_detail;
  put(NAT_IF, conditional_native<Choice::if_>);
  put(NAT_EITHER, conditional_native<Choice::either_>);
  put(NAT_UNLESS, conditional_native<Choice::unless_>);
  put(NAT_ANY, any_native);
  put(NAT_ALL, all_native);
  put(NAT_WHILE, while_native);
  put(NAT_UNTIL, until_native);
  put(NAT_LOOP, loop_native);
  put(NAT_REPEAT, repeat_native);
  put(NAT_FOREVER, forever_native);
  put(NAT_FOREACH, foreach_native);
  put(NAT_FORALL, forall_native);
  put(NAT_REMOVE_EACH, remove_each_native);
  put(NAT_SWITCH, switch_native);
  put(NAT_CASE, case_native);
}

}  // namespace tav::natives
