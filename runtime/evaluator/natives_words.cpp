// Natives that read or write words and contexts: get, set, unset, value?, bind, in,
// context?, construct, extend and has.
#include "core/context.h"
#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/map.h"
#include "datatypes/object.h"
#include "datatypes/word.h"
#include "core/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/natives_eval_internal.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::natives::evalnat_detail {

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

// The context a value names: a function's or routine's own, an object's or error's, or a
// word's.
NodeId context_named_by(const Cell* v) {
  TypeId t = v->type();
  if (t == TYPE_FUNCTION || t == TYPE_ROUTINE || t == TYPE_OBJECT || t == TYPE_ERROR ||
      t == TYPE_PORT || word::is_any_word(t))
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
  NodeId ctx;
  if (holder.is(TYPE_NATIVE) || holder.is(TYPE_ACTION)) {
    // A built-in's arguments context, made from its spec as its call would see it.
    Cell spec = make_cell(TYPE_BLOCK, 0, holder.data2);
    ctx = context::make_from_spec(&spec, context::KIND_FUNCTION, true);
  } else {
    ctx = context_named_by(&holder);
  }
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

void register_words_contexts() {
  put("get", get_native);
  put("set", set_native);
  put("unset", unset_native);
  put("value?", value_q_native);
  put("bind", bind_native);
  put("in", in_native);
  put("context?", context_q_native);
  put("construct", construct_native);
  put("extend", extend_native);
  put("has", has_native);
}

}  // namespace tav::natives::evalnat_detail
