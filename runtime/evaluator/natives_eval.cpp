// Natives that evaluate code: do, reduce, compose and transcode. The rest of the group lives
// next door: apply (natives_apply.cpp), words and contexts (natives_words.cpp) and unwinding
// (natives_unwind.cpp); register_evaluation gathers them all.
#include "core/context.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "core/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/natives_eval_internal.h"
#include "evaluator/trace.h"
#include "core/memory.h"
#include "core/ownership.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::natives {

namespace evalnat_detail {

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

// do --------------------------------------------------------------------------------------

enum DoRefinement { DO_EXPAND = 0, DO_ARGS = 1, DO_NEXT = 2, DO_TRACE = 3 };

Status do_block(const int32_t* refs, Cell* blk) {
  clamp_block_index(blk);
  if (given(refs, DO_EXPAND)) {
    // The preprocessor rewrites the block in place; its own result is dropped.
    Cell block = *blk;
    Cell name = interp::anon_name();
    stack::mark_native(&name);
    Cell none = make_cell(TYPE_NONE);
    Cell pre = *word::load("preprocessor");
    Cell holder = *interp::get_word(&pre);
    if (!holder.is(TYPE_OBJECT)) error::raise(ERR_SCRIPT, "no-value", &pre);
    Cell expand_word = *word::load("expand");
    Cell fn = *object::word_value_cell(&holder, &expand_word);
    if (!interp::is_callable(fn.type())) error::raise(ERR_SCRIPT, "no-value", &expand_word);
    // The block and no job; the /clean refinement stays off.
    Cell* first = stack::push(&block);
    stack::push(&none);
    PreparedCall call;
    std::vector<uint32_t> fixed = fixed_entries(interp::arg_cache(&fn));
    if (fixed.size() < 2) error::raise(ERR_SCRIPT, "invalid-arg", &fn);
    call.entry.assign(fixed.begin(), fixed.begin() + 2);
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

  void add(const Cell* v) { block::add_values(cell, v, false, insert); }
  void splice(const Cell* blk) { block::add_values(cell, blk, true, insert); }
};

// The block reduce or compose walks. Filling an /into target that shares its buffer would
// feed the walk its own output: the walk then goes over a copy of the cells, kept on the
// stack.
Cell source_of(const Cell* value, const Cell* out) {
  Cell src = *value;
  if (!out || out->node() != src.node()) return src;
  int32_t from = series::clamp_index(&src);
  Cell* copy = set_unset(stack::new_cell());
  block::copy_cells(&src, from, series::buffer_length(&src) - from, false, copy);
  return *copy;
}

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
  value = source_of(&value, out);
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
  value = source_of(&value, out);
  Target t = make_target(out, static_cast<int32_t>(block_length(&value)));
  Status s = compose_block(&value, given(refs, 0), given(refs, 1), t, 0);
  if (s != CODE_NONE) return s;
  report_appended(t);
  Cell r = out ? target_result(t) : *t.cell;
  return result(&r);
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
  put(NAT_DO, do_native);
  put(NAT_REDUCE, reduce_native);
  put(NAT_COMPOSE, compose_native);
  put(NAT_TRANSCODE, transcode_native);
  register_apply();
  register_words_contexts();
  register_unwinding();
}

}  // namespace tav::natives
