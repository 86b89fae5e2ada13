// Natives that evaluate code, move control, and read or write words and contexts: do,
// reduce, compose, get, set, unset, value?, bind, in, context?, construct, extend, has, try,
// catch, throw, break, continue, apply and transcode.
//
// Every native reads its arguments from stack::base and leaves its result there. Anything it
// must keep while evaluating lives on the argument stack, never only in a C++ local.
#include <vector>

#include "context.h"
#include "cycles.h"
#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/map.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "errors.h"
#include "evaluator/calls.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/trace.h"
#include "memory.h"
#include "ownership.h"
#include "scanner/lexer.h"
#include "stack.h"
#include "symbols.h"
#include "types.h"
#include "words.h"

namespace tav::natives {

namespace evalnat_detail {

inline Cell* arg(int i) { return stack::base + i; }
inline bool given(const int32_t* refs, int k) { return refs[k] >= 0; }

// Leaves v as the native's result.
inline Status result(const Cell* v) {
  Cell copy = *v;
  stack::set_result_keep(&copy);
  return CODE_NONE;
}

inline bool is_word_kind(TypeId t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
}

inline uint32_t block_length(const Cell* blk) {
  int32_t n = block::rs_length(blk);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

inline void clamp_block_index(Cell* blk) {
  uint32_t n = node_buffer(blk->node())->count();
  if (blk->index() > n) blk->data1 = n;
}

// A block of one value, pushed, as the code of a one-value expression.
interp::Code one_value_code(const Cell* v) {
  NodeId one = alloc::new_cells(1);
  SeriesBuffer* b = node_buffer(one);
  b->cells()[0] = *v;
  b->tail = b->head + sizeof(Cell);
  Cell holder = make_cell(TYPE_BLOCK, 0, one);
  stack::push(&holder);
  return interp::Code{one, 0};
}

// Evaluates v as a one-value expression into the result slot: a word gives its value, a
// function is called with nothing following, any other value is itself.
Status eval_one_value(const Cell* v) {
  Cell value = *v;
  interp::Code code = one_value_code(&value);
  return interp::eval_expression(code, true, false, false);
}

// The op! wrapper's function, as the interpreter calls it.
Cell unwrap_op(const Cell* fn) {
  if (!fn->is(TYPE_OP)) return *fn;
  TypeId t = static_cast<TypeId>((fn->header >> 16) & 0xFF);
  if (t == TYPE_FUNCTION || t == TYPE_ROUTINE) return node_buffer(fn->data3)->cells()[3];
  Cell inner = *fn;
  inner.header = t;
  return inner;
}

// Calling with values already evaluated -----------------------------------------------------

// A function called with arguments that were evaluated beforehand (apply, do-file, expand).
// The values sit on the argument stack from `first` to the top; entry[i] is the argument-cache
// entry value i fills. The call goes through the interpreter's own road: its code is a block
// of get-words bound to a context whose values are those stack cells, so every value reaches
// its argument unevaluated and checked as any argument is. Refinements are requested in the
// order given; their values follow the fixed ones in the same order.
struct PreparedCall {
  std::vector<uint32_t> entry;          // cache entry of each value
  std::vector<uint32_t> refinements;    // symbols of the refinements requested
};

Status call_with_values(const Cell* fn_in, const Cell* name, Cell* first,
                        const PreparedCall& call) {
  Cell fn = *fn_in;
  uint32_t n = static_cast<uint32_t>(stack::top - first);
  uint32_t first_index = stack::index_of(first);
  NodeId cache = interp::arg_cache(&fn);
  NodeId code_node = alloc::new_cells(n ? n : 1);
  Cell code_block = make_cell(TYPE_BLOCK, 0, code_node);
  stack::push(&code_block);
  NodeId refs_node = alloc::new_cells(call.refinements.empty() ? 1 : uint32_t(call.refinements.size()));
  Cell refs_block = make_cell(TYPE_BLOCK, 0, refs_node);
  stack::push(&refs_block);
  {
    SeriesBuffer* rb = node_buffer(refs_node);
    uint32_t k = 0;
    for (uint32_t sym : call.refinements) rb->cells()[k++] = make_cell(TYPE_WORD, 0, sym);
    rb->tail = rb->head + k * sizeof(Cell);
  }
  NodeId ctx = context::make(context::KIND_FUNCTION, n, true);
  context::context_cell(ctx)->data2 = first_index + 1;
  {
    // No allocation from here until the code block refers to the context.
    SeriesBuffer* cb = node_buffer(code_node);
    for (uint32_t i = 0; i < n; ++i) {
      const Cell* e = node_buffer(cache)->cells() + call.entry[i];
      if (interp::arg_kind(e) == interp::ARG_GET)
        cb->cells()[i] = *stack::at_index(first_index + i);   // taken as it stands
      else
        cb->cells()[i] = make_cell(TYPE_GET_WORD, ctx, words::tag_applied.data2, i);
    }
    cb->tail = cb->head + n * sizeof(Cell);
  }
  interp::Code code{code_node, 0};
  interp::PathRefs refs{refs_node, 0};
  Status s = interp::eval_function_call(&fn, code, call.refinements.empty() ? nullptr : &refs,
                                        false, name, nullptr);
  // The context named stack cells that are free again.
  context::context_cell(ctx)->data2 = 0;
  return s;
}

// The cache entries of the fixed arguments, in order.
std::vector<uint32_t> fixed_entries(NodeId cache) {
  std::vector<uint32_t> out;
  SeriesBuffer* b = node_buffer(cache);
  for (uint32_t i = 0; i < b->count(); ++i) {
    const Cell* e = b->cells() + i;
    if (!e->is(TYPE_TYPESET)) break;
    if (interp::arg_kind(e) != interp::ARG_RETURN) out.push_back(i);
  }
  return out;
}

// Calls the function a global word holds with the given argument values (pushed here).
Status call_global(const Cell* word, std::initializer_list<Cell> values) {
  Cell name = *word;
  Cell fn = *interp::get_word(&name);
  if (!interp::is_callable(fn.type())) error::raise(ERR_SCRIPT, "no-value", &name);
  Cell* first = stack::top;
  for (const Cell& v : values) stack::push(&v);
  PreparedCall call;
  std::vector<uint32_t> fixed = fixed_entries(interp::arg_cache(&fn));
  uint32_t n = static_cast<uint32_t>(values.size());
  if (fixed.size() < n) n = static_cast<uint32_t>(fixed.size());
  stack::top = first + n;
  call.entry.assign(fixed.begin(), fixed.begin() + n);
  return call_with_values(&fn, &name, first, call);
}

// do --------------------------------------------------------------------------------------

enum DoRefinement { DO_EXPAND = 0, DO_ARGS = 1, DO_NEXT = 2, DO_TRACE = 3 };

Status do_block(const int32_t* refs, Cell* blk) {
  clamp_block_index(blk);
  if (given(refs, DO_EXPAND)) {
    // The preprocessor rewrites the block in place; its own result is dropped.
    Cell block = *blk;
    Cell name = interp::anon_name();
    stack::mark_native(&name);
    Cell none = make_cell(TYPE_NONE), no;
    set_logic(&no, false);
    Cell pre = *word::load("preprocessor");
    Cell holder = *interp::get_word(&pre);
    if (!holder.is(TYPE_OBJECT)) error::raise(ERR_SCRIPT, "no-value", &pre);
    Cell expand_word = *word::load("expand");
    Cell fn = *object::word_value_cell(&holder, &expand_word);
    if (!interp::is_callable(fn.type())) error::raise(ERR_SCRIPT, "no-value", &expand_word);
    Cell* first = stack::push(&block);
    stack::push(&none);
    stack::push(&no);
    PreparedCall call;
    std::vector<uint32_t> fixed = fixed_entries(interp::arg_cache(&fn));
    if (fixed.size() < 3) error::raise(ERR_SCRIPT, "invalid-arg", &fn);
    call.entry.assign(fixed.begin(), fixed.begin() + 3);
    Status s = call_with_values(&fn, &expand_word, first, call);
    if (s != CODE_NONE) return s;
    stack::unwind_discard();
  }
  Cell block = *blk;
  if (!given(refs, DO_NEXT)) return interp::eval_block(&block, true);
  Cell position = *arg(refs[DO_NEXT]);
  stack::top = stack::base + 1;
  stack::push(&block);
  uint32_t next = 0;
  Status s = interp::do_next_index(&block, &next);
  if (s != CODE_NONE) return s;
  Cell rest = block;
  rest.data1 = next;
  interp::set_word(&position, &rest);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

Status do_value(const int32_t* refs) {
  Cell v = *arg(0);
  switch (v.type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      return do_block(refs, arg(0));
    case TYPE_PATH: {
      interp::Code code = one_value_code(&v);
      code.pos = 1;
      return interp::eval_path(&v, code, false, false, false, nullptr);
    }
    case TYPE_STRING: {
      Cell* loaded = stack::new_cell();
      set_unset(loaded);
      lexer::scan_string(&v, -1, lexer::Mode::load, false, nullptr, loaded, nullptr);
      *arg(0) = *loaded;
      stack::top = loaded;
      return do_block(refs, arg(0));
    }
    case TYPE_FILE:
    case TYPE_URL: {
      Cell none = make_cell(TYPE_NONE);
      Cell script_args = given(refs, DO_ARGS) ? *arg(refs[DO_ARGS]) : none;
      Cell name = *word::load("do-file");
      return call_global(&name, {v, none, script_args});
    }
    case TYPE_ERROR:
      stack::throw_error(&v);
    default:
      return eval_one_value(&v);
  }
}

// do/trace: the tracer is in place for the evaluation and gone on every way out. Inside a
// run that already has a tracer, the outer one stays and this one is not installed.
//
// An error stops at a try frame of do's own, so that the end event runs while the frames
// below are still there to catch what the tracer may raise; then the error goes on. The try
// frame shares do's stretch of the stack: the evaluation reads do's arguments from the base.
Status do_traced(const int32_t* refs) {
  if (trace::installed) return do_value(refs);
  stack::State entry = stack::save();
  Cell name = interp::anon_name();
  stack::mark_try(&name);
  stack::base = entry.base;
  Status s;
  try {
    trace::install(arg(refs[DO_TRACE]));
    s = do_value(refs);
  } catch (const Unwind& u) {
    if (u.code != CODE_ERROR) {
      trace::remove();
      throw;
    }
    Cell err = *(stack::top - 1);
    stack::restore(entry);
    stack::push(&err);   // referenced while the tracer sees the end
    trace::remove();
    stack::pass_error_on(stack::top - 1);
  }
  if (s == CODE_NONE) stack::frames_top = entry.frames_top;
  trace::remove();
  return s;
}

Status do_native(const int32_t* refs) {
  if (given(refs, DO_TRACE)) return do_traced(refs);
  return do_value(refs);
}

// reduce and compose ------------------------------------------------------------------------

// Where reduce and compose put their values: a new block, or an /into block in append mode
// (at its tail) or insert mode (before its index). The target cell lives on the stack.
struct Target {
  Cell* cell;
  bool insert;
  uint32_t start;   // the target's index on entry

  void add(const Cell* v) {
    Cell value = *v;
    if (insert) {
      stack::push(&value);
      block::insert(cell, stack::top - 1, -1, true, 1, false);
      --stack::top;
    } else {
      block::append_cell(cell, &value);
    }
  }
  void splice(const Cell* blk) {
    Cell values = *blk;
    if (block::rs_length(&values) <= 0) return;
    if (insert) {
      stack::push(&values);
      block::insert(cell, stack::top - 1, -1, false, 1, false);
      --stack::top;
    } else {
      block::append_from(cell, &values);
    }
  }
};

// Pushes the target cell: a copy of `out` (into) or a new block of the given capacity.
Target make_target(const Cell* out, int32_t capacity) {
  if (out) {
    Cell* c = stack::push(out);
    uint32_t len = node_buffer(c->node())->count();
    if (c->index() > len) c->data1 = len;
    return Target{c, c->index() < len, c->index()};
  }
  Cell fresh;
  block::make_at(&fresh, capacity);
  Cell* c = stack::push(&fresh);
  return Target{c, false, 0};
}

// After an append into a given block, its owner hears of the values added.
void report_appended(const Target& t) {
  if (t.insert || !ownership::is_owned(t.cell)) return;
  uint32_t len = node_buffer(t.cell->node())->count();
  Cell out = *t.cell;
  ownership::check_and_notify(&out, &words::appended, nullptr, int32_t(t.start),
                              int32_t(len - t.start));
}

// The result an /into target leaves: at its start after appending, after the inserted values
// after inserting.
Cell target_result(const Target& t) {
  Cell r = *t.cell;
  if (!t.insert) r.data1 = t.start;
  return r;
}

Status reduce_native(const int32_t* refs) {
  const Cell* out = given(refs, 0) ? arg(refs[0]) : nullptr;
  Cell value = *arg(0);
  if (!value.is(TYPE_BLOCK)) {
    Cell v;
    if (interp::is_callable(value.type()) || value.is(TYPE_OP)) {
      v = value;
    } else {
      Cell* mark = stack::top;
      Status s = eval_one_value(&value);
      if (s != CODE_NONE) return s;
      v = *stack::base;
      stack::top = mark;
    }
    if (!out) return result(&v);
    Target t = make_target(out, 1);
    t.add(&v);
    report_appended(t);
    Cell r = target_result(t);
    return result(&r);
  }
  Cell* kept = stack::push(&value);   // keeps the block referenced while it runs
  (void)kept;
  Target t = make_target(out, static_cast<int32_t>(block_length(&value)));
  interp::Code code{value.node(), value.index()};
  while (!code.at_end()) {
    Cell* mark = stack::top;
    Status s = interp::eval_next(code, true);
    if (s != CODE_NONE) return s;
    // The value stays on the stack until it is added: the target may grow meanwhile.
    (stack::top - 1)->header &= ~FLAG_NEW_LINE;
    t.add(stack::top - 1);
    stack::top = mark;
  }
  report_appended(t);
  Cell r = out ? target_result(t) : *t.cell;
  return result(&r);
}

// compose nests as deep as the blocks do; past this depth it reports a stack overflow.
constexpr uint32_t MAX_COMPOSE_DEPTH = 4000;

Status compose_block(const Cell* src, bool deep, bool only, Target& t, uint32_t depth) {
  if (depth > MAX_COMPOSE_DEPTH) error::raise(ERR_INTERNAL, "stack-overflow");
  Cell source = *src;
  stack::push(&source);   // referenced while parens run
  for (uint32_t i = source.index(); i < node_buffer(source.node())->count(); ++i) {
    Cell c = node_buffer(source.node())->cells()[i];
    if (c.is(TYPE_BLOCK) && deep) {
      Target inner = make_target(nullptr, static_cast<int32_t>(block_length(&c)));
      Status s = compose_block(&c, deep, only, inner, depth + 1);
      if (s != CODE_NONE) return s;
      t.add(inner.cell);
      stack::top = inner.cell;
    } else if (c.is(TYPE_PAREN)) {
      if (block_length(&c) == 0) continue;
      Cell* mark = stack::top;
      Status s = interp::eval_block(&c, false);
      if (s != CODE_NONE) return s;
      // The result stays on the stack until it is added: the target may grow meanwhile.
      Cell* v = stack::top - 1;
      if (v->is(TYPE_BLOCK) && !only) t.splice(v);
      else if (!v->is(TYPE_UNSET)) t.add(v);
      stack::top = mark;
    } else {
      t.add(&c);
    }
  }
  return CODE_NONE;
}

Status compose_native(const int32_t* refs) {
  Cell value = *arg(0);
  if (!value.is(TYPE_BLOCK)) {
    Cell expected, got;
    set_datatype(&expected, TYPE_BLOCK);
    set_datatype(&got, value.type());
    error::raise(ERR_SCRIPT, "expect-val", &expected, &got);
  }
  const Cell* out = given(refs, 2) ? arg(refs[2]) : nullptr;
  Target t = make_target(out, static_cast<int32_t>(block_length(&value)));
  Status s = compose_block(&value, given(refs, 0), given(refs, 1), t, 0);
  if (s != CODE_NONE) return s;
  report_appended(t);
  Cell r = out ? target_result(t) : *t.cell;
  return result(&r);
}

// Words and contexts --------------------------------------------------------------------------

Status get_native(const int32_t* refs) {
  Cell target = *arg(0);
  TypeId t = target.type();
  if (is_any_path(t)) {
    interp::Code code = one_value_code(&target);
    code.pos = 1;
    target.set_type(TYPE_PATH);
    return interp::eval_path(&target, code, false, true, false, nullptr);
  }
  if (t == TYPE_OBJECT) {
    object::reflect(&target, symbols::values);
    stack::top = stack::base + 1;
    return CODE_NONE;
  }
  Cell v = *interp::get_word(&target);
  if (v.is(TYPE_UNSET) && !given(refs, 0)) {
    target.set_type(TYPE_WORD);
    error::raise(ERR_SCRIPT, "no-value", &target);
  }
  return result(&v);
}

// Sets the words of a block from a source: element i of a block-like source (none past its
// tail), or the source itself. All checks come before the first word is set.
void set_words(const Cell* words_blk, const Cell* source, uint32_t n, bool any, bool only,
               bool some) {
  Cell wb = *words_blk, src = *source;
  TypeId st = src.type();
  bool block_like = st == TYPE_BLOCK || st == TYPE_PAREN || st == TYPE_HASH || is_any_path(st);
  auto word_at = [&](uint32_t i) { return *block::cell_at(&wb, wb.index() + i); };
  auto value_at = [&](uint32_t i) {
    if (only || !block_like) return src;
    uint32_t k = src.index() + i;
    return k < node_buffer(src.node())->count() ? *block::cell_at(&src, k) : make_cell(TYPE_NONE);
  };
  if (block_like && !only) {
    for (uint32_t i = 0; i < n; ++i) {
      Cell w = word_at(i);
      if (!is_word_kind(w.type())) error::raise(ERR_SCRIPT, "invalid-arg", &w);
      if (!any && value_at(i).is(TYPE_UNSET)) {
        w.set_type(TYPE_WORD);
        error::raise(ERR_SCRIPT, "need-value", &w);
      }
    }
  }
  for (uint32_t i = 0; i < n; ++i) {
    Cell v = value_at(i);
    if (some && v.is(TYPE_NONE)) continue;
    Cell w = word_at(i);
    if (!is_word_kind(w.type())) error::raise(ERR_SCRIPT, "invalid-arg", &w);
    interp::set_word(&w, &v);
  }
}

enum SetRefinement { SET_ANY = 0, SET_CASE = 1, SET_ONLY = 2, SET_SOME = 3 };

Status set_native(const int32_t* refs) {
  Cell target = *arg(0), value = *arg(1);
  bool any = given(refs, SET_ANY);
  if (!any && value.is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "need-value", &target);
  TypeId t = target.type();
  if (is_any_path(t)) {
    interp::Code code = one_value_code(&target);
    code.pos = 1;
    Status s = interp::eval_path(&target, code, true, false, true, &value);
    if (s != CODE_NONE) return s;
  } else if (t == TYPE_OBJECT) {
    object::set_fields(&target, &value, any, given(refs, SET_ONLY), given(refs, SET_SOME));
  } else if (t == TYPE_BLOCK) {
    Cell name = interp::anon_name();
    stack::mark_native(&name);
    set_words(&target, &value, block_length(&target), any, given(refs, SET_ONLY),
              given(refs, SET_SOME));
    stack::unwind_discard();
  } else {
    interp::set_word(&target, &value);
  }
  return result(&value);
}

Status unset_native(const int32_t*) {
  Cell target = *arg(0);
  Cell none = make_cell(TYPE_UNSET);
  if (target.is(TYPE_BLOCK)) {
    for (uint32_t i = target.index(); i < node_buffer(target.node())->count(); ++i) {
      Cell w = node_buffer(target.node())->cells()[i];
      if (w.is(TYPE_WORD)) interp::set_word(&w, &none);
    }
  } else {
    interp::set_word(&target, &none);
  }
  return result(&none);
}

Status value_q_native(const int32_t*) {
  Cell v = *arg(0);
  bool has;
  if (is_word_kind(v.type())) {
    const Cell* slot = interp::word_value_cell(&v);
    has = slot && !slot->is(TYPE_UNSET);
  } else {
    has = !v.is(TYPE_UNSET);
  }
  Cell r;
  return result(set_logic(&r, has));
}

// The context a value names: a function's own, an object's or error's, or a word's.
NodeId context_named_by(const Cell* v) {
  TypeId t = v->type();
  if (t == TYPE_FUNCTION || t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT ||
      word::is_any_word(t))
    if (v->data1) return v->data1;
  error::raise(ERR_SCRIPT, "invalid-arg", v);
}

Status bind_native(const int32_t* refs) {
  Cell target = *arg(0), ctx_value = *arg(1);
  NodeId ctx = context_named_by(&ctx_value);
  if (target.is(TYPE_BLOCK)) {
    if (given(refs, 0)) {
      Cell* copy = stack::new_cell();
      block::copy_cells(&target, target.index(), static_cast<int32_t>(block_length(&target)),
                        true, copy);
      target = *copy;
    }
    bool self = context::owner_cell(ctx)->is(TYPE_OBJECT);
    context::bind_block(&target, ctx, self);
    return result(&target);
  }
  // One word: looked up without regard to letter case, like every other binding.
  int32_t pos = context::find_symbol(ctx, target.data2, true);
  if (pos >= 0) {
    target.data1 = ctx;
    target.data3 = static_cast<uint32_t>(pos);
  }
  return result(&target);
}

Status in_native(const int32_t*) {
  Cell holder = *arg(0), w = *arg(1);
  if (holder.is(TYPE_NATIVE) || holder.is(TYPE_ACTION))
    error::raise(ERR_INTERNAL, "not-done");   // no arguments context for built-ins here
  NodeId ctx = context_named_by(&holder);
  if (context::bind_word(ctx, &w) < 0) {
    Cell none = make_cell(TYPE_NONE);
    return result(&none);
  }
  if (w.is(TYPE_REFINEMENT)) w.set_type(TYPE_WORD);
  return result(&w);
}

Status context_q_native(const int32_t*) {
  Cell w = *arg(0);
  Cell r = make_cell(TYPE_NONE);
  if (w.data1) {
    Cell owner = *context::owner_cell(w.data1);
    if (owner.is(TYPE_OBJECT) || owner.is(TYPE_FUNCTION)) r = owner;
  }
  return result(&r);
}

Status construct_native(const int32_t* refs) {
  Cell spec = *arg(0);
  Cell proto = given(refs, 0) ? *arg(refs[0]) : make_cell(TYPE_NONE);
  Cell* made = object::construct(&spec, given(refs, 0) ? &proto : nullptr, given(refs, 1));
  return result(made);
}

Status extend_native(const int32_t* refs) {
  // Objects cannot grow this way.
  if (!arg(0)->is(TYPE_MAP)) error::raise(ERR_INTERNAL, "not-done");
  Cell pairs = *arg(1);
  // A map spec gives its live pairs only: its own pairs block also keeps the removed ones.
  if (pairs.is(TYPE_MAP)) pairs = *map::reflect(&pairs, symbols::body);
  Cell* spec = stack::push(&pairs);
  map::extend_from_block(arg(0), spec, given(refs, 0));
  return result(arg(0));
}

Status has_native(const int32_t*) {
  Cell vars = *arg(0), body = *arg(1);
  clamp_block_index(&vars);
  clamp_block_index(&body);
  uint32_t n = block_length(&vars);
  Cell made = make_cell(TYPE_BLOCK, 0, alloc::new_cells(n + 1));
  Cell* spec_slot = stack::push(&made);
  block::append_cell(spec_slot, &refinements::local);
  block::append_from(spec_slot, &vars);
  Cell spec = *spec_slot;
  uint32_t flags = function::check_spec(&spec);
  function::push(&spec, &body, flags);
  *stack::base = *(stack::top - 1);
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// Unwinding -----------------------------------------------------------------------------------

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

// apply ---------------------------------------------------------------------------------------

// Index of the refinement entry named by a word or refinement in the cache, or -1.
int32_t find_refinement(NodeId cache, uint32_t symbol) {
  uint32_t canon = symbol::alias(symbol);
  SeriesBuffer* b = node_buffer(cache);
  for (uint32_t i = 0; i < b->count(); ++i) {
    const Cell* e = b->cells() + i;
    if (e->is(TYPE_REFINEMENT) && symbol::alias(e->data2) == canon) return int32_t(i);
  }
  return -1;
}

// The argument entries that follow a refinement entry.
std::vector<uint32_t> refinement_args(NodeId cache, uint32_t r) {
  std::vector<uint32_t> out;
  SeriesBuffer* b = node_buffer(cache);
  for (uint32_t i = r + 1; i < b->count(); ++i) {
    const Cell* e = b->cells() + i;
    if (!e->is(TYPE_TYPESET)) break;
    if (interp::arg_kind(e) != interp::ARG_RETURN) out.push_back(i);
  }
  return out;
}

// Gathers apply's argument values from its block, one evaluated expression each.
struct ApplyGatherer {
  interp::Code code;
  NodeId cache;
  bool all, safer;
  PreparedCall call;

  // Evaluates the next expression as a value for the entry; at the tail, pushes the filler
  // (with /all) or nothing (the call then reports the missing argument).
  Status take(uint32_t entry, const Cell* filler) {
    if (code.at_end()) {
      if (!filler) return CODE_NONE;
      stack::push(filler);
    } else {
      Status s = interp::eval_next(code, true);
      if (s != CODE_NONE) return s;
    }
    call.entry.push_back(entry);
    return CODE_NONE;
  }
  // The arguments of a refinement: kept when it is used; else evaluated and dropped, or with
  // /safer skipped without evaluation.
  Status refinement_values(uint32_t r, bool used) {
    Cell none = make_cell(TYPE_NONE);
    for (uint32_t e : refinement_args(cache, r)) {
      if (used) {
        Status s = take(e, all ? &none : nullptr);
        if (s != CODE_NONE) return s;
      } else if (!code.at_end()) {
        if (safer) {
          ++code.pos;
          continue;
        }
        Cell* mark = stack::top;
        Status s = interp::eval_next(code, true);
        if (s != CODE_NONE) return s;
        stack::top = mark;
      }
    }
    return CODE_NONE;
  }
  // A refinement's switch: the truth of the next expression (false at the tail).
  Status flag(bool* used) {
    *used = false;
    if (code.at_end()) return CODE_NONE;
    Cell* mark = stack::top;
    Status s = interp::eval_next(code, true);
    if (s != CODE_NONE) return s;
    *used = is_true(stack::top - 1);
    stack::top = mark;
    return CODE_NONE;
  }
};

Status apply_native(const int32_t* refs) {
  Cell f = *arg(0), args = *arg(1);
  Cell name = words::tag_applied;
  Cell fn = f;
  NodeId path_node = 0;
  uint32_t path_first = 0;
  if (is_word_kind(f.type())) {
    name = f;
    name.set_type(TYPE_WORD);
    fn = *interp::get_word(&name);
  } else if (f.is(TYPE_PATH)) {
    path_node = f.node();
    path_first = f.index() + 1;
    Cell head = f.index() < node_buffer(path_node)->count() ? *block::cell_at(&f, f.index())
                                                            : make_cell(TYPE_NONE);
    if (!head.is(TYPE_WORD)) error::raise(ERR_SCRIPT, "invalid-arg", &f);
    name = head;
    fn = *interp::get_word(&name);
  }
  if (!interp::is_callable(fn.type()) && !fn.is(TYPE_OP)) error::raise(ERR_SCRIPT, "invalid-arg", &f);
  fn = unwrap_op(&fn);
  stack::push(&fn);
  stack::push(&args);
  clamp_block_index(&args);
  ApplyGatherer g{interp::Code{args.node(), args.index()}, interp::arg_cache(&fn),
                  given(refs, 0), given(refs, 1), {}};
  Cell* first = stack::top;
  Cell none = make_cell(TYPE_NONE), no;
  set_logic(&no, false);
  for (uint32_t e : fixed_entries(g.cache)) {
    Status s = g.take(e, g.all ? &none : nullptr);
    if (s != CODE_NONE) return s;
  }
  std::vector<uint32_t> from_path;
  // Refinements named in the path are used; their values come next in the block.
  for (uint32_t p = path_first; path_node && p < node_buffer(path_node)->count(); ++p) {
    Cell el = node_buffer(path_node)->cells()[p];
    if (!el.is(TYPE_WORD)) error::raise(ERR_SCRIPT, "bad-refine", &el);
    int32_t r = find_refinement(g.cache, el.data2);
    if (r < 0) error::raise(ERR_SCRIPT, "no-refine", &name, &el);
    g.call.refinements.push_back(el.data2);
    from_path.push_back(symbol::alias(el.data2));
    Status s = g.refinement_values(uint32_t(r), true);
    if (s != CODE_NONE) return s;
  }
  auto in_path = [&](uint32_t sym) {
    for (uint32_t c : from_path)
      if (c == symbol::alias(sym)) return true;
    return false;
  };
  if (g.all) {
    // Every refinement in spec order: its switch, then its arguments.
    SeriesBuffer* b = node_buffer(g.cache);
    for (uint32_t r = 0; r < b->count(); ++r) {
      Cell e = node_buffer(g.cache)->cells()[r];
      if (!e.is(TYPE_REFINEMENT)) continue;
      bool used;
      Status s = g.flag(&used);
      if (s != CODE_NONE) return s;
      if (in_path(e.data2)) used = false;   // already requested with its values
      if (used) g.call.refinements.push_back(e.data2);
      s = g.refinement_values(r, used);
      if (s != CODE_NONE) return s;
    }
  } else {
    // Refinements as /name, its switch, then its values; in any order.
    while (!g.code.at_end()) {
      Cell el = *g.code.at();
      if (!el.is(TYPE_REFINEMENT)) error::raise(ERR_SCRIPT, "bad-refine", &el);
      ++g.code.pos;
      int32_t r = find_refinement(g.cache, el.data2);
      if (r < 0) {
        el.set_type(TYPE_WORD);
        error::raise(ERR_SCRIPT, "no-refine", &name, &el);
      }
      bool used;
      Status s = g.flag(&used);
      if (s != CODE_NONE) return s;
      if (used) g.call.refinements.push_back(el.data2);
      s = g.refinement_values(uint32_t(r), used);
      if (s != CODE_NONE) return s;
    }
  }
  return call_with_values(&fn, &name, first, g.call);
}

// transcode -----------------------------------------------------------------------------------

enum TranscodeRefinement { TC_NEXT, TC_ONE, TC_PRESCAN, TC_SCAN, TC_PART, TC_INTO, TC_TRACE };

Status transcode_native(const int32_t* refs) {
  Cell* src = arg(0);
  const Cell* callback = given(refs, TC_TRACE) ? arg(refs[TC_TRACE]) : nullptr;
  bool next = given(refs, TC_NEXT), one = given(refs, TC_ONE);
  bool prescan = given(refs, TC_PRESCAN), scan = given(refs, TC_SCAN);
  Cell* out = stack::new_cell();
  set_unset(out);
  bool pair = next && !(one && !scan);
  // The length from the index, in units of the source (characters or bytes).
  int32_t available = series::buffer_length(src);
  if (series::index_of(src) > available) series::set_index(src, available);
  int32_t length = available - series::index_of(src);
  if (given(refs, TC_PART)) {
    Cell* part = arg(refs[TC_PART]);
    int32_t n;
    if (part->is(TYPE_INTEGER)) {
      n = part->int_value();
    } else {
      if (part->type() != src->type())
        error::raise(ERR_SCRIPT, "not-same-type");
      n = series::index_of(part) - series::index_of(src);
    }
    if (n < 0) n = 0;
    if (n < length) length = n;
  }
  lexer::Mode mode = prescan ? lexer::Mode::prescan : scan ? lexer::Mode::scan : lexer::Mode::load;
  bool one_value = next || one || scan;
  Cell* into = given(refs, TC_INTO) ? arg(refs[TC_INTO]) : nullptr;
  uint32_t consumed = 0;
  int type;
  if (src->is(TYPE_STRING)) {
    type = lexer::scan_string(src, length, mode, one_value, into, out, &consumed, callback);
  } else {
    const uint8_t* bytes = series::unit_at(src, series::index_of(src));
    if (length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
      series::set_index(src, series::index_of(src) + 3);
      length -= 3;
      bytes += 3;
    }
    lexer::Request r;
    r.text = bytes;
    r.length = static_cast<size_t>(length);
    r.mode = mode;
    r.one_value = one_value;
    r.into = into;
    r.count_chars = false;
    r.callback = callback;
    r.input = src;
    type = lexer::scan_utf8(r, out, &consumed);
  }
  Cell value = *out;
  if (prescan || scan) {
    if (length == 0 || type == 0) set_none(&value);
    else set_datatype(&value, type < 0 || type == TYPE_ERROR ? TYPE_ERROR : static_cast<TypeId>(type));
  } else if ((one || next) && !into && value.is(TYPE_BLOCK)) {
    // One value asked for: the block the scan made holds it.
    value = block_length(&value) ? *block::cell_at(&value, value.index()) : make_cell(TYPE_UNSET);
  }
  if (pair) {
    Cell* kept = stack::push(&value);
    Cell made;
    block::make_at(&made, 2);
    Cell* pair_cell = stack::push(&made);
    Cell rest = *src;
    rest.data1 += consumed;
    block::append_cell(pair_cell, kept);
    block::append_cell(pair_cell, &rest);
    value = *pair_cell;
  }
  if (into) value = *into;
  return result(&value);
}

}  // namespace evalnat_detail

void register_evaluation() {
  using namespace evalnat_detail;
  put("do", do_native);
  put("get", get_native);
  put("set", set_native);
  put("reduce", reduce_native);
  put("compose", compose_native);
  put("bind", bind_native);
  put("in", in_native);
  put("construct", construct_native);
  put("value?", value_q_native);
  put("try", try_native);
  put("break", break_native);
  put("continue", continue_native);
  put("throw", throw_native);
  put("catch", catch_native);
  put("extend", extend_native);
  put("has", has_native);
  put("unset", unset_native);
  put("context?", context_q_native);
  put("transcode", transcode_native);
  put("apply", apply_native);
}

}  // namespace tav::natives
