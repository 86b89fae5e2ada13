#include "calls.h"

#include <vector>

#include "calls_internal.h"
#include "compiled.h"
#include "core/context.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "fast_paths.h"
#include "interpreter.h"
#include "core/memory.h"
#include "core/symbols.h"
#include "trace.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {

// Typesets ----------------------------------------------------------------------------------

namespace interp {

namespace calls_detail {
inline uint8_t* mask_bytes(Cell* ts) { return reinterpret_cast<uint8_t*>(&ts->data1); }
inline const uint8_t* mask_bytes(const Cell* ts) {
  return reinterpret_cast<const uint8_t*>(&ts->data1);
}
}  // namespace calls_detail

void typeset_add(Cell* ts, TypeId t) {
  calls_detail::mask_bytes(ts)[t >> 3] |= static_cast<uint8_t>(0x80u >> (t & 7));
}
void typeset_merge(Cell* ts, const Cell* other) {
  ts->data1 |= other->data1;
  ts->data2 |= other->data2;
  ts->data3 |= other->data3;
}
Cell typeset_all() {
  Cell ts = make_cell(TYPE_TYPESET);
  for (int t = 1; t < TYPE_TABLE_SIZE; ++t) typeset_add(&ts, static_cast<TypeId>(t));
  return ts;
}
Cell typeset_default() {
  Cell ts = typeset_all();
  calls_detail::mask_bytes(&ts)[TYPE_UNSET >> 3] &=
      static_cast<uint8_t>(~(0x80u >> (TYPE_UNSET & 7)));
  return ts;
}

// Argument caches ---------------------------------------------------------------------------

namespace calls_detail {

// The type mask of one argument from the type block that follows it in the spec block.
Cell typeset_from_block(const Cell* types) {
  Cell ts = make_cell(TYPE_TYPESET);
  NodeId n = types->node();
  for (uint32_t i = types->index(); i < node_buffer(n)->count(); ++i) {
    Cell c = node_buffer(n)->cells()[i];
    if (c.is(TYPE_WORD)) {
      const Cell* v = get_word(&c);
      if (v->is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "no-value", &c);
      c = *v;
    }
    if (c.is(TYPE_DATATYPE)) typeset_add(&ts, static_cast<TypeId>(c.data1));
    else if (c.is(TYPE_TYPESET)) typeset_merge(&ts, &c);
  }
  return ts;
}

// Walks a spec the way the cache is laid out: calls fn(cell, next cell or null) for each
// argument, return: entry and refinement, stopping at /local.
template <typename Fn>
void walk_spec(NodeId spec, Fn fn) {
  const uint32_t local_canon = symbol::alias(refinements::local.data2);
  SeriesBuffer* b = node_buffer(spec);
  uint32_t n = b->count();
  for (uint32_t i = 0; i < n; ++i) {
    Cell c = node_buffer(spec)->cells()[i];
    TypeId t = c.type();
    if (t == TYPE_REFINEMENT &&
        symbol::alias(c.data2) == local_canon)
      return;
    if (t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD || t == TYPE_SET_WORD ||
        t == TYPE_REFINEMENT) {
      Cell next = make_cell(TYPE_NONE_ID);
      if (i + 1 < n) next = node_buffer(spec)->cells()[i + 1];
      fn(c, next);
    }
  }
}

NodeId build_cache(NodeId spec) {
  // Built on the stack first (type blocks may evaluate words), then copied into a block.
  Cell* start = stack::top;
  uint32_t refinements = 0;
  walk_spec(spec, [&](const Cell& c, const Cell& next) {
    TypeId t = c.type();
    if (t == TYPE_REFINEMENT) {
      ++refinements;
      stack::push(&c)->data3 = refinements;
      return;
    }
    Cell ts = next.is(TYPE_BLOCK) ? typeset_from_block(&next) : typeset_default();
    uint32_t kind = t == TYPE_WORD ? ARG_EVALUATED
                    : t == TYPE_GET_WORD ? ARG_GET
                    : t == TYPE_LIT_WORD ? ARG_QUOTED
                                         : ARG_RETURN;
    ts.header |= kind << 20;
    stack::push(&ts);
  });
  if (refinements) set_integer(stack::new_cell(), static_cast<int32_t>(refinements));
  uint32_t count = static_cast<uint32_t>(stack::top - start);
  uint32_t start_index = stack::index_of(start);
  NodeId cache = alloc::new_cells(count ? count : 1);
  SeriesBuffer* b = node_buffer(cache);
  Cell* from = stack::at_index(start_index);
  for (uint32_t i = 0; i < count; ++i) b->cells()[i] = from[i];
  b->tail = b->head + count * sizeof(Cell);
  stack::top = from;
  return cache;
}

// The spec word of the n-th cache entry, as a word!, for messages.
Cell argument_word(NodeId spec, uint32_t entry) {
  Cell found = make_cell(TYPE_NONE);
  uint32_t i = 0;
  walk_spec(spec, [&](const Cell& c, const Cell&) {
    if (i++ == entry) {
      found = c;
      found.set_type(TYPE_WORD);
    }
  });
  return found;
}

}  // namespace calls_detail

NodeId arg_cache(const Cell* fn) {
  Cell* slot = calls_detail::cache_slot(fn);
  if (slot->is(TYPE_BLOCK)) return slot->node();
  NodeId cache = calls_detail::build_cache(fn->data2);
  slot = calls_detail::cache_slot(fn);   // the build may have moved the buffer
  *slot = make_cell(TYPE_BLOCK, 0, cache);
  return cache;
}

// Calls -------------------------------------------------------------------------------------

namespace calls_detail {

// Caches hold cells: their length needs no division by the unit size.
inline uint32_t cell_count(SeriesBuffer* b) { return b->used() / uint32_t(sizeof(Cell)); }

uint32_t cache_info(NodeId cache) {
  SeriesBuffer* b = node_buffer(cache);
  uint32_t n = cell_count(b);
  uint32_t args = 0, refinements = 0;
  bool plain = true, leading_plain = true;
  for (uint32_t i = 0; i < n; ++i) {
    const Cell* c = b->cells() + i;
    if (c->is(TYPE_TYPESET)) {
      if (arg_kind(c) != ARG_EVALUATED) {
        plain = false;
        if (refinements == 0) leading_plain = false;
      }
      if (refinements == 0) ++args;
    } else if (c->is(TYPE_REFINEMENT)) {
      ++refinements;
      plain = false;
    }
  }
  if (args > 0xFF) plain = leading_plain = false;
  if (refinements > 0xFF) refinements = 0xFF;
  return INFO_KNOWN | (plain ? INFO_PLAIN : 0) | (leading_plain ? INFO_LEADING_PLAIN : 0) | (args > 0xFF ? 0xFF : args) | refinements << 8;
}

struct CallSite {
  Cell fn;         // the callee as called (op! already unwrapped)
  Cell name;       // the word it was called through, or <anon>
  NodeId cache;
};

[[noreturn]] void raise_expect(const CallSite& site, uint32_t entry, const Cell* value) {
  Cell type;
  set_datatype(&type, value->type());
  Cell word = argument_word(site.fn.data2, entry);
  error::raise(ERR_SCRIPT, "expect-arg", &site.name, &type, &word);
}

// Fetches one argument of the given cache entry from the code and pushes it.
Status fetch_argument(const CallSite& site, uint32_t entry, Code& code, bool no_infix) {
  Cell ts = node_buffer(site.cache)->cells()[entry];
  uint32_t kind = arg_kind(&ts);
  if (code.at_end()) {
    if (kind == ARG_QUOTED && typeset_has(&ts, TYPE_UNSET)) {
      set_unset(stack::new_cell());
      return CODE_NONE;
    }
    Cell word = argument_word(site.fn.data2, entry);
    error::raise(ERR_SCRIPT, "no-arg", &site.name, &word);
  }
  if (kind == ARG_EVALUATED) {
    // A plain value with no operator after it is the argument as it stands.
    const Cell* plain = fast_paths::plain_operand(code.at());
    if (!fast_tiers) plain = nullptr;   // the full road (and the tracer) sees each step
    if (plain) {
      ++code.pos;
      if (no_infix || !operator_at(code)) {
        stack::push(plain);
      } else {
        --code.pos;
        plain = nullptr;
      }
    }
    if (!plain) {
      Status s = eval_expression(code, no_infix, true, false);
      if (s != CODE_NONE) return s;
    }
  } else if (kind == ARG_GET) {
    stack::push(code.at());
    ++code.pos;
  } else {
    Cell v = *code.at();
    if (v.is(TYPE_PAREN)) {
      ++code.pos;
      Cell name = body_name();
      stack::mark_native(&name);
      Status s = eval_block(&v, true);
      if (s != CODE_NONE) return s;
      stack::unwind();
    } else if (v.is(TYPE_GET_WORD)) {
      ++code.pos;
      stack::push(get_word(&v));
    } else if (v.is(TYPE_GET_PATH)) {
      ++code.pos;
      Status s = eval_path(&v, code, false, true, true, nullptr);
      if (s != CODE_NONE) return s;
    } else {
      ++code.pos;
      stack::push(&v);
    }
  }
  const Cell* got = stack::top - 1;
  if (!typeset_has(&ts, got->type())) raise_expect(site, entry, got);
  return CODE_NONE;
}

// Number of argument entries that follow the refinement entry at `r` (up to the next one).
uint32_t refinement_arity(NodeId cache, uint32_t r) {
  SeriesBuffer* b = node_buffer(cache);
  uint32_t n = 0;
  uint32_t count = calls_detail::cell_count(b);
  for (uint32_t i = r + 1; i < count; ++i) {
    const Cell* c = b->cells() + i;
    if (!c->is(TYPE_TYPESET)) break;
    if (arg_kind(c) != ARG_RETURN) ++n;
  }
  return n;
}

// Gathers every argument; natives get their refinement positions in `positions`.
Status gather(const CallSite& site, Code& code, const PathRefs* refs, const Cell* left,
              bool native_layout, int32_t* positions, uint32_t max_refinements,
              uint32_t own_refinements) {
  uint32_t entries = cell_count(node_buffer(site.cache));
  uint32_t i = 0;
  bool first = true;
  // Fixed arguments.
  for (; i < entries; ++i) {
    const Cell* e = node_buffer(site.cache)->cells() + i;   // read before anything evaluates
    if (!e->is(TYPE_TYPESET)) break;
    if (arg_kind(e) == ARG_RETURN) continue;
    if (first && left) {
      if (!typeset_has(e, left->type())) raise_expect(site, i, left);
      stack::push(left);
    } else {
      Status s = fetch_argument(site, i, code, left != nullptr);
      if (s != CODE_NONE) return s;
    }
    first = false;
  }
  uint32_t first_refinement = i;
  // Refinement defaults (functions): a false flag and none for each of its arguments.
  std::vector<uint32_t> flag_offset;   // per ordinal: the flag cell's offset from the base
  if (!native_layout) {
    for (uint32_t r = first_refinement; r < entries; ++r) {
      Cell e = node_buffer(site.cache)->cells()[r];
      if (!e.is(TYPE_REFINEMENT)) continue;
      // Only a path's refinements need to find their flags again.
      if (refs) flag_offset.push_back(static_cast<uint32_t>(stack::top - stack::base));
      set_logic(stack::new_cell(), false);
      for (uint32_t k = refinement_arity(site.cache, r); k > 0; --k) set_none(stack::new_cell());
    }
  } else {
    // Ordinals never pass the callee's own count: the rest of the table is never read.
    for (uint32_t k = 0; k < own_refinements && k < max_refinements; ++k) positions[k] = -1;
  }
  if (!refs) return CODE_NONE;
  // Refinements requested by the path, in path order.
  for (uint32_t p = refs->first; p < node_buffer(refs->node)->count(); ++p) {
    Cell el = node_buffer(refs->node)->cells()[p];
    if (!el.is(TYPE_WORD)) error::raise(ERR_SCRIPT, "bad-refine", &el);
    uint32_t canon = symbol::alias(el.data2);
    uint32_t r = first_refinement;
    for (; r < entries; ++r) {
      const Cell* e = node_buffer(site.cache)->cells() + r;
      if (e->is(TYPE_REFINEMENT) && symbol::alias(e->data2) == canon) break;
    }
    if (r >= entries) error::raise(ERR_SCRIPT, "no-refine", &site.name, &el);
    uint32_t ordinal = node_buffer(site.cache)->cells()[r].data3;
    uint32_t arity = refinement_arity(site.cache, r);
    if (native_layout) {
      if (ordinal > max_refinements) error::raise(ERR_INTERNAL, "not-done");
      if (positions[ordinal - 1] != -1) error::raise(ERR_SCRIPT, "dup-refine", &el);
      positions[ordinal - 1] = static_cast<int32_t>(stack::top - stack::base);
      for (uint32_t a = 1; a <= arity; ++a) {
        Status s = fetch_argument(site, r + a, code, false);
        if (s != CODE_NONE) return s;
      }
    } else {
      uint32_t flag = flag_offset[ordinal - 1];
      Cell* flag_cell = stack::base + flag;
      if (is_true(flag_cell)) error::raise(ERR_SCRIPT, "dup-refine", &el);
      set_logic(flag_cell, true);
      // Each argument is evaluated above everything gathered so far and then moved into its
      // cell, so that nested calls never overwrite the cells of other refinements.
      uint32_t a = 1;
      for (uint32_t e = r + 1; a <= arity; ++e) {
        if (arg_kind(node_buffer(site.cache)->cells() + e) == ARG_RETURN) continue;
        Status s = fetch_argument(site, e, code, false);
        if (s != CODE_NONE) return s;
        stack::base[flag + a] = *(stack::top - 1);
        --stack::top;
        ++a;
      }
    }
  }
  return CODE_NONE;
}

// Pushes the remaining slots of a function context (the /local refinement and its words).
void push_locals(NodeId ctx) {
  uint32_t have = static_cast<uint32_t>(stack::top - stack::base);
  for (uint32_t n = context::word_count(ctx); have < n; ++have) set_none(stack::new_cell());
}

}  // namespace calls_detail

Status run_function_body(const Cell* fn) {
  NodeId ctx = fn->data1;
  calls_detail::push_locals(ctx);
  Cell body = node_buffer(fn->data3)->cells()[0];
  if (!body.is(TYPE_BLOCK)) {
    set_unset(stack::base);
    return CODE_NONE;
  }
  node_buffer(ctx)->cells()->data2 = stack::index_of(stack::base) + 1;
  stack::set_return_target(true);
  uint32_t traced = TAV_UNLIKELY(trace::installed) ? trace::enter_body(fn) : 0;
  // The body runs above the locals with no frame of its own, as on the straight road: a call
  // takes the same cells and frames whichever road it goes, and so recursion ends as deep.
  Status s = eval_block_above(&body, false);
  if (TAV_UNLIKELY(traced)) trace::leave_body(fn, traced, s);
  if (s == CODE_RETURN || s == CODE_EXIT) s = CODE_NONE;   // the value is in the result slot
  return s;
}

namespace calls_detail {

Status call_function(const CallSite& site, Code& code, const PathRefs* refs, bool as_argument,
                     const Cell* left) {
  Cell* callee_slot = stack::push(&site.fn);   // keeps an anonymous function referenced
  NodeId ctx = site.fn.data1;
  stack::mark_func(&site.name, ctx);
  stack::set_interpreted();
  Status s = gather(site, code, refs, left, false, nullptr, 0, 0);
  if (s != CODE_NONE) return s;
  if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_CALL, code, &site.fn, &site.name);
  s = run_function_body(&site.fn);
  if (s != CODE_NONE) return s;
  finish_function(callee_slot, as_argument);
  if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_RETURN, code, stack::top - 1, &site.name);
  return CODE_NONE;
}

[[noreturn, gnu::noinline]] void raise_plain(const Cell* fn, const Cell* name, uint32_t entry,
                                             const Cell* value) {
  CallSite site;
  site.fn = *fn;
  site.name = name ? *name : anon_name();
  site.name.set_type(TYPE_WORD);
  site.cache = arg_cache(fn);
  if (!value) {
    Cell word = argument_word(site.fn.data2, entry);
    error::raise(ERR_SCRIPT, "no-arg", &site.name, &word);
  }
  raise_expect(site, entry, value);
}

// Pushes `count` evaluated arguments from the code, each checked against its cache entry.
[[gnu::always_inline]] inline Status gather_plain(const Cell* fn, const Cell* name,
                                                  NodeId cache, uint32_t from, uint32_t count,
                                                  Code& code) {
  for (uint32_t i = from; i < count; ++i) {
    // The code's cells are found once per argument: what evaluates an argument may move them.
    SeriesBuffer* b = node_buffer(code.node);
    uint32_t end = b->used() / uint32_t(sizeof(Cell));
    if (code.pos >= end) [[unlikely]] raise_plain(fn, name, i, nullptr);
    const Cell* cells = b->cells();
    // A plain value starts the fast walk right here, straight into its argument cell; an
    // operator the walk cannot answer takes over from the value it got so far.
    if (const Cell* plain = fast_paths::plain_operand(cells + code.pos)) {
      Cell* slot = stack::new_cell();
      *slot = *plain;
      ++code.pos;
      if (fast_paths::walk_cells(cells, end, code.pos, slot) == fast_paths::Walk::at_operator) {
        Status s = eval_infix(code, slot, true);
        if (s != CODE_NONE) return s;
      }
    } else {
      Status s = eval_expression(code, false, true, false);
      if (s != CODE_NONE) return s;
    }
    const Cell* got = stack::top - 1;
    if (!typeset_has(node_buffer(cache)->cells() + i, got->type())) [[unlikely]]
      raise_plain(fn, name, i, got);
  }
  return CODE_NONE;
}

Status gather_rest(const Cell* fn, const Cell* name, NodeId cache, uint32_t from,
                   uint32_t count, Code& code) {
  return gather_plain(fn, name, cache, from, count, code);
}

// The straight road of a function whose arguments are all evaluated, called with no
// refinements: the arguments go straight into the frame, checked against the cache, the
// locals follow in one stretch, and the body runs.
Status call_function_plain(const Cell* fn_value, NodeId cache, uint32_t count, Code& code,
                           bool as_argument, const Cell* name) {
  Cell* callee_slot = stack::push(fn_value);   // keeps an anonymous function referenced
  const Cell* fn = callee_slot;
  NodeId ctx = fn->data1;
  if (name) {
    stack::mark_func(name, ctx);
  } else {
    Cell anon = anon_name();
    stack::mark_func(&anon, ctx);
  }
  (stack::frames_top - 1)->header |= FRAME_INTERPRETED | FRAME_RETURN_TARGET;
  Status s = gather_plain(fn, name, cache, 0, count, code);
  if (s != CODE_NONE) return s;
  Cell body = enter_body(fn);
  if (body.is(TYPE_BLOCK)) [[likely]] {
    // The body runs above the locals with no frame of its own: its value lands in the
    // frame's result slot, as return and exit leave theirs.
    s = compiled::run_body(fn, &body, stack::base);
    if (s != CODE_NONE && s != CODE_RETURN && s != CODE_EXIT) return s;
  } else {
    set_unset(stack::base);
  }
  finish_function(callee_slot, as_argument);
  return CODE_NONE;
}

Status call_native(const CallSite& site, NativeEntry entry, Code& code, const PathRefs* refs,
                   bool as_argument, const Cell* left, uint32_t own_refinements) {
  stack::mark_interp_native(&site.name);
  int32_t positions[MAX_NATIVE_REFINEMENTS];
  Status s = gather(site, code, refs, left, true, positions, MAX_NATIVE_REFINEMENTS,
                    own_refinements);
  if (s != CODE_NONE) return s;
  if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_CALL, code, &site.fn, &site.name);
  s = run_entry(entry, positions, as_argument);
  if (s != CODE_NONE) return s;
  if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_RETURN, code, stack::top - 1, &site.name);
  return CODE_NONE;
}

// The straight road of a native or action whose leading arguments are all evaluated, called
// with no refinement: every refinement is absent, so the table is a constant one.
Status call_native_plain(const Cell* fn, NativeEntry entry, NodeId cache, uint32_t count,
                         Code& code, bool as_argument, const Cell* name) {
  if (name) {
    stack::mark_interp_native(name);
  } else {
    Cell anon = anon_name();
    stack::mark_interp_native(&anon);
  }
  Status s = gather_plain(fn, name, cache, 0, count, code);
  if (s != CODE_NONE) return s;
  return run_entry(entry, NO_REFINEMENTS, as_argument);
}

}  // namespace calls_detail

}  // namespace interp
}  // namespace tav

#include "natives.h"
#include "datatypes/routine.h"

namespace tav::interp {

namespace calls_detail {
Status call_general(const Cell* fn, Code& code, const PathRefs* refs, bool as_argument,
                    const Cell* name, const Cell* left);
}

namespace calls_detail {
// A call near the limits of the stacks: it and everything under it take the general road.
[[gnu::noinline]] Status call_near_limit(const Cell* fn, Code& code, const PathRefs* refs,
                                         bool as_argument, const Cell* name, const Cell* left) {
  struct Back {
    ~Back() { fast_tiers = tiers_enabled() && !trace::installed; }
  } back;
  fast_tiers = false;
  return call_general(fn, code, refs, as_argument, name, left);
}
}  // namespace calls_detail

Status eval_function_call(const Cell* fn, Code& code, const PathRefs* refs, bool as_argument,
                          const Cell* name, const Cell* left) {
  uint32_t info = 0;
  TypeId t = fn->type();
  // While a tracer is installed every call takes the full road, which reports its steps and
  // honours the trace attributes of function bodies.
  if (fast_tiers) [[likely]] {
    if (!has_headroom()) [[unlikely]]
      return calls_detail::call_near_limit(fn, code, refs, as_argument, name, left);
  }
  if (t != TYPE_OP && !left && fast_tiers) [[likely]] {
    NodeId cache = calls_detail::cache_and_info(fn, &info);
    if (!refs && (info & calls_detail::INFO_LEADING_PLAIN)) {
      uint32_t count = calls_detail::info_arguments(info);
      if (t == TYPE_FUNCTION) {
        // A function's refinements take flag cells in its frame: only one with none at all.
        if (info & calls_detail::INFO_PLAIN)
          return calls_detail::call_function_plain(fn, cache, count, code, as_argument, name);
      } else if (calls_detail::info_refinements(info) <= calls_detail::MAX_NATIVE_REFINEMENTS) {
        // (More refinements than the constant table holds take the general road.)
        if (t == TYPE_NATIVE)
          return calls_detail::call_native_plain(fn, natives::entry(fn->data1), cache, count,
                                                 code, as_argument, name);
        if (t == TYPE_ACTION)
          return calls_detail::call_native_plain(
              fn, fn->data1 < ACTION_COUNT ? actions::table[fn->data1] : nullptr, cache, count,
              code, as_argument, name);
        if (t == TYPE_ROUTINE)
          return calls_detail::call_native_plain(fn, routine::entry_of(fn), cache, count, code,
                                                 as_argument, name);
      }
    }
  }
  return calls_detail::call_general(fn, code, refs, as_argument, name, left);
}

namespace calls_detail {

// Every call the straight roads do not take: kept apart, so that the dispatch in front of
// them saves no more registers than they need.
[[gnu::noinline]] Status call_general(const Cell* fn, Code& code, const PathRefs* refs,
                                      bool as_argument, const Cell* name, const Cell* left) {
  uint32_t info = 0;
  TypeId t = fn->type();
  calls_detail::CallSite site;
  site.fn = *fn;
  site.name = name ? *name : anon_name();
  site.name.set_type(TYPE_WORD);
  if (t == TYPE_OP) {
    t = static_cast<TypeId>((fn->header >> 16) & 0xFF);
    if (t == TYPE_FUNCTION || t == TYPE_ROUTINE) site.fn = node_buffer(fn->data3)->cells()[3];
    else site.fn.header = t;
  }
  site.cache = calls_detail::cache_and_info(&site.fn, &info);
  uint32_t own_refinements = calls_detail::info_refinements(info);
  if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_OPEN, code, &site.name, nullptr);
  switch (t) {
    case TYPE_FUNCTION:
      return calls_detail::call_function(site, code, refs, as_argument, left);
    case TYPE_NATIVE:
      return calls_detail::call_native(site, natives::entry(site.fn.data1), code, refs,
                                       as_argument, left, own_refinements);
    case TYPE_ACTION: {
      NativeEntry e = site.fn.data1 < ACTION_COUNT ? actions::table[site.fn.data1] : nullptr;
      return calls_detail::call_native(site, e, code, refs, as_argument, left,
                                       own_refinements);
    }
    case TYPE_ROUTINE:
      return calls_detail::call_native(site, routine::entry_of(&site.fn), code, refs,
                                       as_argument, left, own_refinements);
    default:
      error::raise(ERR_INTERNAL, "not-done");
  }
}

}  // namespace calls_detail

}  // namespace tav::interp
