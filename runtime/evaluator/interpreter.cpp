#include "interpreter.h"

#include <cstdlib>
#include <cstring>

#include "core/collector.h"
#include "compiled.h"
#include "core/context.h"
#include "datatypes/function.h"
#include "datatypes/object.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "fast_paths.h"
#include "init_steps.h"
#include "core/memory.h"
#include "runtime.h"
#include "core/symbols.h"
#include "trace.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {
namespace evaluator {
constinit Switches switches;
}
namespace interp {

namespace interp_detail {
Cell* tracer_cell = nullptr;


inline Cell* block_cells(NodeId n) { return node_buffer(n)->cells(); }
inline uint32_t block_count(NodeId n) { return node_buffer(n)->count(); }

// Pops a frame keeping its result as the enclosing call's argument, or chaining it into the
// enclosing result slot (a statement's value is the only cell left there).
inline void finish_frame(bool as_argument) {
  if (as_argument) {
    stack::unwind();
  } else {
    stack::unwind_into_result();
    stack::top = stack::base + 1;
  }
}

// The op! wrapping a word's value at the code position, or null.
const Cell* infix_operator_at(const Code& code) {
  if (code.at_end()) return nullptr;
  const Cell* w = code.at();
  if (!w->is(TYPE_WORD) || w->data1 == 0) return nullptr;
  const Cell* v = word_value_cell(w);
  return (v && v->is(TYPE_OP)) ? v : nullptr;
}
}  // namespace interp_detail

void set_tiers_enabled(bool on) {
  evaluator::switches.tiers = on;
  fast_tiers = on && !trace::installed;
}
bool tiers_enabled() { return evaluator::switches.tiers; }

void raise_too_deep() {
  --stack::eval_depth;
  error::raise(ERR_INTERNAL, "stack-overflow");
}

Cell* current_position() { return stack::position_cell; }
uint32_t depth() { return stack::eval_depth; }

Cell body_name() { return make_cell(TYPE_WORD, 0, stack::body_symbol); }
Cell anon_name() { return make_cell(TYPE_WORD, 0, stack::anon_symbol); }

// Words ------------------------------------------------------------------------------------

Cell* word_value_cell_unresolved(const Cell* word) {
  NodeId ctx = word->data1;
  if (ctx == 0) return nullptr;
  // `self` bound with no position reads the context's owner.
  if (word->data2 == symbols::self) return context::owner_cell(ctx);
  int32_t idx = context::find_symbol(ctx, word->data2, true);
  if (idx < 0) return nullptr;
  Cell resolved = *word;
  resolved.data3 = static_cast<uint32_t>(idx);
  return word_value_cell(&resolved);
}

void raise_unreadable(const Cell* word) {
  Cell w = *word;
  w.set_type(TYPE_WORD);
  if (word->data1 == 0) error::raise(ERR_SCRIPT, "not-defined", &w);
  error::raise(ERR_SCRIPT, "not-in-context", &w);
}

void raise_unwritable(const Cell* word) {
  Cell w = *word;
  w.set_type(TYPE_WORD);
  error::raise(ERR_SCRIPT, "not-defined", &w);
}

// Blocks -----------------------------------------------------------------------------------

namespace interp_detail {
// A statement that starts with a word whose value (already looked up, at `v`) is a function:
// eval_expression's road for it, without the second look-up.
Status eval_call_statement(Code& code, const Cell* v) {
  Cell fn = *v;
  Cell name = *code.at();
  enter_expression();
  Cell* start_top = stack::top;
  ++code.pos;
  Status s = eval_function_call(&fn, code, nullptr, false, &name, nullptr);
  if (s == CODE_NONE) s = eval_infix(code, start_top, false);
  leave_expression();
  return s;
}

// The statements from code.pos to the block's tail, the position record naming the block;
// the first starts with the function at `callee` when that is looked up already. `first`: no
// statement of the block ran yet.
[[gnu::always_inline]] inline Status statements_from(Code& code, const Cell* callee, bool first) {
  Cell* cur = stack::position_cell;
  while (true) {
    before_statement(first);
    first = false;
    cur->data1 = code.pos;
    Status s;
    if (callee) {
      s = eval_call_statement(code, callee);
      callee = nullptr;
    } else {
      s = eval_expression(code, false, false, false);
    }
    if (s != CODE_NONE) [[unlikely]] return s;
    if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_EXPR, code, stack::base, nullptr);
    if (code.at_end()) return CODE_NONE;
  }
}
}  // namespace interp_detail

Status eval_block_here(const Cell* block) {
  Code code{block->node(), block->index()};
  // Statements made of plain operands and inline operators (set-words of such included)
  // cannot fail, call nothing and allocate nothing: they are answered here with no step of
  // the interpreter at all. The first other statement goes on through the interpreter.
  const Cell* callee = nullptr;
  if (fast_tiers && fast_paths::walk_statements(code, &callee)) return CODE_NONE;
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_ENTER, block, block->index(), block, nullptr);
  if (code.at_end()) {
    empty_block_value();
    if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_EXIT, block, code.pos, stack::base, nullptr);
    return CODE_NONE;
  }
  // The position goes back as the caller had it on every way out but an error, whose catcher
  // restores it from its saved state.
  Cell* cur = stack::position_cell;
  Cell saved = *cur;
  *cur = *block;
  Status s = interp_detail::statements_from(code, callee, code.pos == block->index());
  *cur = saved;
  if (s != CODE_NONE) [[unlikely]] return s;
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_EXIT, block, code.pos, stack::base, nullptr);
  return CODE_NONE;
}

Status eval_rest_here(Code& code, bool first) {
  return interp_detail::statements_from(code, nullptr, first);
}

Status eval_block_above(const Cell* block, bool as_argument) {
  Cell* outer = lift_base();
  Status s = eval_block_here(block);
  // A break, return or throw has already put the stacks where its catcher wants them.
  if (s != CODE_NONE) [[unlikely]] return s;
  drop_base(outer, as_argument);
  return CODE_NONE;
}

Status eval_block(const Cell* block, bool chain) {
  // Hosts and natives start evaluations here: what they did before may have edited code.
  compiled::note_edit();
  Cell name = body_name();
  stack::mark_eval(&name);
  Status s = eval_block_here(block);
  if (s != CODE_NONE) return s;
  if (chain) stack::unwind_into_result();
  else stack::unwind();
  return CODE_NONE;
}

Status eval_next(Code& code, bool as_argument) {
  Cell name = body_name();
  stack::mark_native(&name);
  Status s = eval_expression(code, false, true, false);
  if (s != CODE_NONE) return s;
  interp_detail::finish_frame(as_argument);
  return CODE_NONE;
}

Status do_next_index(const Cell* block, uint32_t* next_index) {
  Code code{block->node(), block->index()};
  if (code.at_end()) {
    set_unset(stack::base);
    stack::top = stack::base + 1;
    *next_index = code.pos;
    return CODE_NONE;
  }
  Status s = eval_next(code, false);
  *next_index = code.pos;
  return s;
}

// Expressions ------------------------------------------------------------------------------

Status eval_infix(Code& code, Cell* start_top, bool as_argument) {
  while (const Cell* op = interp_detail::infix_operator_at(code)) {
    if (TAV_UNLIKELY(trace::active)) trace::fire_fetch(code);
    Cell op_value = *op;
    Cell op_word = *code.at();
    ++code.pos;
    Cell left = as_argument ? *start_top : *stack::base;
    stack::top = as_argument ? start_top : stack::base + 1;
    if (fast_tiers && fast_paths::try_infix(&op_value, &left, code, as_argument)) continue;
    Status s = eval_function_call(&op_value, code, nullptr, as_argument, &op_word, &left);
    if (s != CODE_NONE) return s;
  }
  return CODE_NONE;
}

namespace interp_detail {

// An issue! followed by a block names systems-dialect code, which only a compiler could run.
bool is_system_issue(const Cell* issue, const Code& code) {
  if (code.at_end() || !code.at()->is(TYPE_BLOCK)) return false;
  uint32_t c = symbol::alias(issue->data2);
  return c == symbol::alias(symbols::system_) || c == symbol::alias(symbols::system_global);
}

}  // namespace interp_detail

namespace interp_detail {
Status eval_expression_general(Code& code, bool no_infix, bool as_argument, bool fn_is_value,
                               Cell* start_top);

[[gnu::always_inline]] inline Status eval_expression_body(Code& code, bool no_infix,
                                                          bool as_argument, bool fn_is_value) {
  Cell* start_top = stack::top;
  if (fast_tiers) {
    // A word is looked up once: a function is called, a plain value starts the fast walk over
    // plain operands and the operators answered inline, which take no frame and no call.
    SeriesBuffer* b = node_buffer(code.node);
    const Cell* c = b->cells() + code.pos;
    const Cell* first = nullptr;
    if (c->is(TYPE_WORD)) {
      if (c->data1 != 0) [[likely]] {
        const Cell* v = word_value_cell(c);
        if (v) {
          TypeId t = v->type();
          if (is_callable(t)) {
            Cell fn = *v;
            Cell name = *c;
            ++code.pos;
            Status s = eval_function_call(&fn, code, nullptr, as_argument, &name, nullptr);
            if (s != CODE_NONE) return s;
            if (!no_infix) return eval_infix(code, start_top, as_argument);
            return CODE_NONE;
          }
          if (t != TYPE_UNSET && t != TYPE_OP) first = v;
        }
      }
    } else if (!c->is(TYPE_SET_WORD)) {
      first = fast_paths::plain_operand(c);
    }
    if (first) {
      Cell got = *first;
      ++code.pos;
      fast_paths::Walk w = no_infix ? fast_paths::Walk::done
                                    : fast_paths::walk_cells(b->cells(),
                                                             b->used() / uint32_t(sizeof(Cell)),
                                                             code.pos, &got);
      emit(&got, as_argument);
      if (w == fast_paths::Walk::at_operator) return eval_infix(code, start_top, as_argument);
      return CODE_NONE;
    }
  }
  return eval_expression_general(code, no_infix, as_argument, fn_is_value, start_top);
}

// Every expression the word look-up and the fast walk above do not answer: kept apart, so
// that those save no more registers than they need.
[[gnu::noinline]] Status eval_expression_general(Code& code, bool no_infix, bool as_argument,
                                                 bool fn_is_value, Cell* start_top) {
  if (TAV_UNLIKELY(trace::active)) trace::fire_fetch(code);
  Cell value = *code.at();
  ++code.pos;
  switch (value.type()) {
    case TYPE_PAREN: {
      Status s = eval_block_above(&value, as_argument);
      if (s != CODE_NONE) return s;
      break;
    }
    case TYPE_WORD: {
      const Cell* v = get_word(&value);
      TypeId t = v->type();
      if (t == TYPE_UNSET) error::raise(ERR_SCRIPT, "no-value", &value);
      if (is_callable(t)) {
        Cell fn = *v;
        Status s = eval_function_call(&fn, code, nullptr, as_argument, &value, nullptr);
        if (s != CODE_NONE) return s;
      } else if (t == TYPE_OP) {
        error::raise(ERR_SCRIPT, "no-op-arg", &value);
      } else {
        emit(v, as_argument);
        if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_PUSH, code, v, nullptr);
      }
      break;
    }
    case TYPE_SET_WORD: {
      if (code.at_end()) error::raise(ERR_SCRIPT, "need-value", &value);
      {
        // A value made of plain operands and inline operators cannot fail: it is set with no
        // frame. Anything else goes back and takes the full road.
        uint32_t back = code.pos;
        Cell got;
        if (fast_tiers &&
            fast_paths::walk_expression(code, false, &got) == fast_paths::Walk::done) {
          set_word(&value, &got);
          emit(&got, as_argument);
          return CODE_NONE;
        }
        code.pos = back;
      }
      stack::mark_native(&value);
      if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_PUSH, code, &value, nullptr);
      Status s = eval_expression(code, false, true, false);
      if (s != CODE_NONE) return s;
      if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_SET, code, &value, stack::base);
      set_word(&value, stack::base);
      interp_detail::finish_frame(as_argument);
      break;
    }
    case TYPE_LIT_WORD: {
      value.set_type(TYPE_WORD);
      emit(&value, as_argument);
      if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_PUSH, code, &value, nullptr);
      break;
    }
    case TYPE_GET_WORD: {
      Cell v = *get_word(&value);
      emit(&v, as_argument);
      if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_PUSH, code, &v, nullptr);
      break;
    }
    case TYPE_ISSUE: {
      if (interp_detail::is_system_issue(&value, code)) error::raise(ERR_INTERNAL, "tav-system");
      emit(&value, as_argument);
      break;
    }
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE: {
      if (fn_is_value) {
        emit(&value, as_argument);
      } else {
        Status s = eval_function_call(&value, code, nullptr, as_argument, nullptr, nullptr);
        if (s != CODE_NONE) return s;
      }
      break;
    }
    case TYPE_OP:
      error::raise(ERR_INTERNAL, "not-done");
    case TYPE_PATH: {
      Status s = eval_path(&value, code, false, false, as_argument, nullptr);
      if (s != CODE_NONE) return s;
      break;
    }
    case TYPE_LIT_PATH: {
      value.set_type(TYPE_PATH);
      value.data3 = 0;
      emit(&value, as_argument);
      break;
    }
    case TYPE_SET_PATH: {
      if (code.at_end()) error::raise(ERR_SCRIPT, "need-value", &value);
      Cell name = words::set_path;
      stack::mark_native(&name);
      Status s = eval_expression(code, false, true, false);
      if (s != CODE_NONE) return s;
      Cell v = *stack::base;
      if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_SET, code, &value, &v);
      s = eval_path(&value, code, true, false, true, &v);
      if (s != CODE_NONE) return s;
      stack::top = stack::base + 1;
      interp_detail::finish_frame(as_argument);
      break;
    }
    case TYPE_GET_PATH: {
      Status s = eval_path(&value, code, false, true, as_argument, nullptr);
      if (s != CODE_NONE) return s;
      break;
    }
    default:
      emit(&value, as_argument);
      if (TAV_UNLIKELY(trace::active)) trace::fire_at(trace::EV_PUSH, code, &value, nullptr);
      break;
  }
  if (!no_infix) return eval_infix(code, start_top, as_argument);
  return CODE_NONE;
}
}  // namespace interp_detail

Status eval_expression(Code& code, bool no_infix, bool as_argument, bool fn_is_value) {
  enter_expression();
  Status s = interp_detail::eval_expression_body(code, no_infix, as_argument, fn_is_value);
  leave_expression();
  return s;
}

// Paths ------------------------------------------------------------------------------------

namespace interp_detail {

// Where the current value of a path walk lives, so that a changed scalar can be stored back.
struct PathPlace {
  // FROM_SCALAR: the value is a component of the scalar one level up (a date's time), which
  // has to be changed and stored back in its turn.
  enum Kind { NOWHERE, WORD_SLOT, BLOCK_ELEMENT, OBJECT_FIELD, FROM_SCALAR } kind = NOWHERE;
  Cell word{};                 // WORD_SLOT: the word whose value it is
  NodeId node = 0;             // BLOCK_ELEMENT: the block's buffer; OBJECT_FIELD: the context
  uint32_t index = 0;          //   and the element's absolute index, or the field's slot
  Cell* cell() const {
    if (kind == WORD_SLOT) return word_value_cell(&word);
    if (kind == BLOCK_ELEMENT) {
      SeriesBuffer* b = node_buffer(node);
      return index < b->count() ? b->cells() + index : nullptr;
    }
    if (kind == OBJECT_FIELD)
      return index < context::word_count(node) ? context::slot_value_cell(node, index) : nullptr;
    return nullptr;
  }
};

inline bool holds_by_reference(TypeId t) {
  return is_series_type(t) || t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT ||
         t == TYPE_MAP || t == TYPE_FUNCTION || t == TYPE_BITSET;
}

// What one step of a path knows besides the current value and the element.
struct PathStep {
  const Cell* path;
  const Cell* grand_parent;    // the value before the current one, or null
  const Cell* prev_element;    // the element that produced the current value, or null
  int index;                   // 0-based position of the current value's element in the path
  bool last;                   // the element is the path's last
};

// One step of a path: current[element] (get), or current[element]: set_value (set).
// Answers into *out; *place follows the current value into a block element where it can.
Status path_step(const Cell* current, const Cell* element, const Cell* set_value,
                 const PathStep& step, Cell* out, PathPlace* place) {
  TypeId t = current->type();
  if (is_any_block(t) && element->is(TYPE_INTEGER) && !set_value && element->int_value() >= 1) {
    // Reading a block by a positive index needs no generic dispatch; setting goes through
    // the type's handler, which keeps owners and hash! indexes informed.
    SeriesBuffer* b = node_buffer(current->node());
    int64_t i = int64_t(current->index()) + element->int_value() - 1;
    if (i < int64_t(b->count())) {
      *out = b->cells()[i];
      place->kind = PathPlace::BLOCK_ELEMENT;
      place->node = current->node();
      place->index = static_cast<uint32_t>(i);
    } else {
      set_none(out);
    }
    return CODE_NONE;
  }
  // The handler gets its arguments in stack cells, where they stay put and the collector
  // sees them, under a frame that cuts away whatever the handler leaves behind.
  Cell name = anon_name();
  stack::mark_native(&name);
  Cell none = make_cell(TYPE_NONE);
  Cell* args = stack::push(current);
  stack::push(element);
  stack::push(set_value ? set_value : &none);
  stack::push(step.path);
  stack::push(step.grand_parent ? step.grand_parent : &none);
  stack::push(step.prev_element ? step.prev_element : &none);
  Cell* got;
  if (set_value) compiled::note_edit();
  uint32_t depth = stack::eval_depth;
  Cell position = *stack::position_cell;
  try {
    got = actions::eval_path_direct(
        args, args + 1, set_value ? args + 2 : nullptr, args + 3,
        step.grand_parent ? args + 4 : nullptr, step.prev_element ? args + 5 : nullptr,
        step.index, false, false, step.last, set_value != nullptr);
  } catch (const Unwind& u) {
    // A break, return or throw from an object's change handler: the stacks are already
    // unwound to its catcher, which gets it back as a status.
    if (u.code == CODE_ERROR) throw;
    stack::eval_depth = depth;
    *stack::position_cell = position;
    return u.code;
  }
  *out = *got;
  stack::unwind_discard();
  place->kind = PathPlace::NOWHERE;
  if (!set_value) {
    if (t == TYPE_OBJECT && element->is(TYPE_WORD)) {
      NodeId ctx = current->data1;
      int32_t slot = context::find_symbol(ctx, element->data2, true);
      if (slot >= 0) {
        place->kind = PathPlace::OBJECT_FIELD;
        place->node = ctx;
        place->index = static_cast<uint32_t>(slot);
      }
    } else if (!holds_by_reference(t)) {
      place->kind = PathPlace::FROM_SCALAR;
    }
  }
  return CODE_NONE;
}

// A scalar the walk went through on its way to a component: changing the component changes
// it, and it goes back where it lives (or into the scalar above it).
struct ScalarLevel {
  Cell value;          // the scalar
  Cell element;        // the element that took the component out of it
  PathPlace place;     // where the scalar lives
  int index;           // its element's 0-based position in the path
  Cell holder;         // the value it was taken from and the element that took it: the
  Cell holder_field;   //   owner to tell when the scalar changes (none at the walk's head)
  bool has_holder;
};
constexpr uint32_t MAX_SCALAR_LEVELS = 4;

// Stores a scalar changed by the last step of a set-path back where it lives, going up
// through the scalars it is a component of.
Status store_back(const Cell* path, Cell changed, PathPlace home, const ScalarLevel* levels,
                  uint32_t count) {
  while (home.kind == PathPlace::FROM_SCALAR && count > 0) {
    const ScalarLevel& up = levels[--count];
    PathStep step{path, up.has_holder ? &up.holder : nullptr,
                  up.has_holder ? &up.holder_field : nullptr, up.index, false};
    Cell updated;
    PathPlace ignored;
    Status s = path_step(&up.value, &up.element, &changed, step, &updated, &ignored);
    if (s != CODE_NONE) return s;
    if (updated.type() != up.value.type()) return CODE_NONE;
    changed = updated;
    home = up.place;
  }
  if (Cell* cell = home.cell()) *cell = changed;
  return CODE_NONE;
}

}  // namespace interp_detail

Status eval_path(const Cell* path, Code& code, bool set, bool get, bool as_argument,
                 const Cell* set_value) {
  using interp_detail::PathPlace;
  NodeId pn = path->node();
  uint32_t first = path->index();
  if (first >= interp_detail::block_count(pn)) error::raise(ERR_SCRIPT, "empty-path", path);
  Cell head = interp_detail::block_cells(pn)[first];
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_ENTER, path, first, path, nullptr);
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_FETCH, path, first, &head, nullptr);
  if (!head.is(TYPE_WORD)) error::raise(ERR_SCRIPT, "word-first", path);
  Cell current = *get_word(&head);
  TypeId t = current.type();
  if (t == TYPE_UNSET) error::raise(ERR_SCRIPT, "unset-path", path, &head);
  if (is_callable(t)) {
    if (set) error::raise(ERR_SCRIPT, "invalid-path-set", path);
    if (get) error::raise(ERR_SCRIPT, "invalid-path-get", path);
    PathRefs refs{pn, first + 1};
    Status s = eval_function_call(&current, code, &refs, as_argument, &head, nullptr);
    if (TAV_UNLIKELY(trace::active) && s == CODE_NONE) trace::fire(trace::EV_EXIT, path, first, stack::top - 1, nullptr);
    return s;
  }
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_PUSH, path, first, &current, nullptr);
  // The walk keeps its intermediate values on the stack, where the collector sees them.
  Cell* saved_top = stack::top;
  Cell* cur = stack::push(&current);
  PathPlace place;
  place.kind = PathPlace::WORD_SLOT;
  place.word = head;
  Cell parent_holder = make_cell(TYPE_NONE);
  Cell* grand = stack::push(&parent_holder);   // the value before the current one
  Cell* prev_element = stack::push(&head);     // the element that gave the current value
  bool has_grand = false;
  PathPlace parent_place;
  interp_detail::ScalarLevel levels[interp_detail::MAX_SCALAR_LEVELS];
  uint32_t level_count = 0;
  uint32_t count = interp_detail::block_count(pn);
  for (uint32_t i = first + 1; i < count; i = i + 1) {
    Cell element = interp_detail::block_cells(pn)[i];
    if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_FETCH, path, i, &element, nullptr);
    if (element.is(TYPE_GET_WORD)) {
      element = *get_word(&element);
    } else if (element.is(TYPE_PAREN)) {
      Cell name = body_name();
      stack::mark_native(&name);
      Status s = eval_block(&element, true);
      if (s != CODE_NONE) return s;
      stack::unwind();
      element = *(stack::top - 1);
      stack::top = prev_element + 1;
      // The paren may have changed anything: fetch the current value again from its place.
      if (Cell* again = place.cell()) *cur = *again;
    }
    if (element.is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "invalid-path", path, &element);
    if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_PUSH, path, i, &element, nullptr);
    count = interp_detail::block_count(pn);
    bool last = i + 1 >= count;
    Cell next;
    parent_holder = *cur;
    parent_place = place;
    interp_detail::PathStep step{path, has_grand ? grand : nullptr, prev_element,
                                 static_cast<int>(i - first - 1), last};
    Status s = interp_detail::path_step(cur, &element, (set && last) ? set_value : nullptr,
                                        step, &next, &place);
    if (s != CODE_NONE) return s;
    if (!set && !get && is_callable(next.type())) {
      // A function reached through the path (an object's method) is called, with the rest of
      // the path as its refinements.
      stack::top = saved_top;
      Cell name = element.is(TYPE_WORD) ? element : anon_name();
      PathRefs refs{pn, i + 1};
      s = eval_function_call(&next, code, &refs, as_argument, &name, nullptr);
      if (TAV_UNLIKELY(trace::active) && s == CODE_NONE) trace::fire(trace::EV_EXIT, path, i, stack::top - 1, nullptr);
      return s;
    }
    if (set && last) {
      // A scalar (pair, tuple, date...) changed by the step is stored back where it lives.
      if (!interp_detail::holds_by_reference(parent_holder.type()) && !next.is(TYPE_NONE) &&
          next.type() == parent_holder.type()) {
        s = interp_detail::store_back(path, next, parent_place, levels, level_count);
        if (s != CODE_NONE) return s;
      }
      next = *set_value;
    } else if (interp_detail::holds_by_reference(parent_holder.type())) {
      level_count = 0;
    } else if (level_count < interp_detail::MAX_SCALAR_LEVELS) {
      levels[level_count++] = {parent_holder, element, parent_place,
                               static_cast<int>(i - first - 1), *grand, *prev_element,
                               has_grand};
    } else {
      place.kind = PathPlace::NOWHERE;   // too deep to store back: left as it was
    }
    *grand = parent_holder;
    has_grand = true;
    *prev_element = element;
    *cur = next;
  }
  Cell result = *cur;
  stack::top = saved_top;
  emit(&result, as_argument);
  if (TAV_UNLIKELY(trace::active)) trace::fire(trace::EV_EXIT, path, count, &result, nullptr);
  return CODE_NONE;
}

}  // namespace interp

namespace interp::interp_detail {

// The evaluator as the object datatype reaches it (make's spec block, make error!'s field
// block, change handlers), where nothing can return a status.
void evaluate_for_object(Cell* block) {
  Cell code = *block;
  Cell* top = stack::top;
  Status s = eval_block(&code, false);
  if (s != CODE_NONE) stack::rethrow_status(s);
  stack::top = top;
}

void call_object_handler(Cell* fn, NodeId, uint32_t, uint32_t kind) {
  Status s = call_function(fn, kind);
  if (s != CODE_NONE) stack::rethrow_status(s);
}

}  // namespace interp::interp_detail

void init_steps::interpreter() {
  object::evaluator = &interp::interp_detail::evaluate_for_object;
  object::handler_call = &interp::interp_detail::call_object_handler;
  object::function_maker = &function::push;
  // Read once: the tiers stay as they start for the whole run.
  const char* tiers = std::getenv("TAV_TIERS");
  interp::set_tiers_enabled(!(tiers && std::strcmp(tiers, "off") == 0));
  Cell unset = make_cell(TYPE_UNSET);
  stack::position_cell = runtime::root_append(&unset);
  interp::interp_detail::tracer_cell = runtime::root_append(&unset);
  trace::set_tracer_cell(interp::interp_detail::tracer_cell);
}

}  // namespace tav
