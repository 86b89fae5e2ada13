// apply, and the road every native takes to call a function with values it evaluated
// beforehand (apply, do on a file, do/expand).
#include <vector>

#include "core/context.h"
#include "datatypes/block.h"
#include "core/errors.h"
#include "evaluator/calls.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/natives_eval_internal.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::natives::evalnat_detail {

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

void register_apply() { put(NAT_APPLY, apply_native); }

}  // namespace tav::natives::evalnat_detail
