#include "evaluator/actions.h"

#include <climits>

#include "core/errors.h"
#include "core/stack.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "init_steps.h"

namespace tav {
namespace actions {

Dispatcher table[ACTION_COUNT];

// ---- Dispatchers -----------------------------------------------------------------------

namespace actions_detail {

inline Cell* ref_cell(const int32_t* refs, int i) {
  return refs[i] == -1 ? nullptr : stack::base + refs[i];
}
inline bool ref_flag(const int32_t* refs, int i) { return refs[i] != -1; }

using stack::base;

Status stack_reading(ActionId a) {
  reinterpret_cast<act::StackReading>(lookup_arg(a))();
  return CODE_NONE;
}

Status set_last(const Cell* c) {
  stack::set_last(c);
  return CODE_NONE;
}

bool has_buffer(TypeId t) { return is_series_type(t) || t == TYPE_MAP; }

// Clamps a series value's index to its tail.
void clamp_to_tail(Cell* v) {
  int32_t len = series::buffer_length(v);
  if (series::index_of(v) > len) series::set_index(v, len);
}

// The count a /part argument gives for `target` (the value added, or the series changed).
// Answers false when nothing is to be done.
bool part_count(Cell* target, const Cell* part, bool for_change, int* count) {
  TypeId t = target->type();
  bool fixed = for_change && (t == TYPE_PORT || t == TYPE_IMAGE);
  if (!for_change && !has_buffer(t)) error::raise(ERR_SCRIPT, "invalid-part", part);
  if (has_buffer(t) && !fixed) clamp_to_tail(target);
  int n;
  if (part->is(TYPE_INTEGER)) {
    n = part->int_value();
  } else {
    if (part->type() != t || t == TYPE_PORT || part->node() != target->node())
      raise_invalid_refine("part", part);
    Cell pos = *part;
    clamp_to_tail(&pos);
    n = series::index_of(&pos) - series::index_of(target);
  }
  if (n == 0) {
    *count = 0;
    return for_change;
  }
  if (n < 0) {
    if (fixed) {
      *count = 0;
      return true;
    }
    int32_t idx = series::index_of(target);
    if (idx == 0) return false;
    int32_t back = idx + n < 0 ? idx : -n;
    series::set_index(target, idx - back);
    n = back;
  }
  *count = n;
  return true;
}

enum class AddKind { append, insert, change };

Status add_values(const int32_t* refs, AddKind kind) {
  Cell* a0 = base;
  Cell* a1 = base + 1;
  if (kind == AddKind::insert && is_series_type(a0->type())) clamp_to_tail(a0);
  int dup = 1;
  if (Cell* d = ref_cell(refs, 2)) {
    dup = d->int_value();
    if (dup <= 0) return CODE_NONE;
  }
  int part = -1;
  if (Cell* p = ref_cell(refs, 0)) {
    Cell* target = kind == AddKind::change ? a0 : a1;
    if (!part_count(target, p, kind == AddKind::change, &part)) return CODE_NONE;
  }
  bool only = ref_flag(refs, 1);
  switch (kind) {
    case AddKind::append: append_direct(a0, a1, part, only, dup); break;
    case AddKind::insert: insert_direct(a0, a1, part, only, dup); break;
    case AddKind::change: change_direct(a0, a1, part, only, dup); break;
  }
  return CODE_NONE;
}

// Form and mold: a /part limit of 0 or less answers an empty string without the handler.
Status text_of(const int32_t* refs, bool molding) {
  const int part_ref = molding ? 3 : 0;
  Cell* part = ref_cell(refs, part_ref);
  Cell part_copy{};
  int limit = INT_MAX;
  if (part) {
    part_copy = *part;
    limit = part_copy.int_value();
    if (limit <= 0) {
      Cell empty = make_cell(TYPE_STRING, 0, string::make(1));
      return set_last(&empty);
    }
  }
  bool only = molding && ref_flag(refs, 0);
  bool all = molding && ref_flag(refs, 1);
  bool flat = molding && ref_flag(refs, 2);
  stack::keep_result();
  Cell* buffer = stack::new_cell();
  *buffer = make_cell(TYPE_STRING, 0, string::make(16));
  Cell* part_arg = part ? &part_copy : nullptr;
  if (molding) mold_direct(base, buffer, only, all, flat, part_arg, limit, 0);
  else form_direct(base, buffer, part_arg, limit);
  if (part) string::truncate(buffer->node(), static_cast<uint32_t>(limit));
  stack::set_last(buffer);
  stack::keep_result();
  return CODE_NONE;
}

}  // namespace actions_detail

namespace dispatch {

using actions_detail::ref_cell;
using actions_detail::ref_flag;
using actions_detail::set_last;
using actions_detail::stack_reading;
using stack::base;

namespace dispatch_detail {
// make and to: the handler of the type named by the first argument.
Status make_or_to(ActionId a) {
  int type = base->is(TYPE_DATATYPE) ? static_cast<int>(base->data1) : base->type();
  auto h = reinterpret_cast<act::Make>(lookup(static_cast<TypeId>(type), base, a));
  return set_last(h(base, base + 1, type));
}
}  // namespace dispatch_detail

Status make(const int32_t*) { return dispatch_detail::make_or_to(ACT_MAKE); }
Status random(const int32_t* r) {
  random_direct(base, ref_flag(r, 0), ref_flag(r, 1), ref_flag(r, 2));
  return CODE_NONE;
}
Status reflect(const int32_t*) {
  reflect_direct(base, base[1].data2);
  return CODE_NONE;
}
Status to(const int32_t*) { return dispatch_detail::make_or_to(ACT_TO); }
Status form(const int32_t* r) { return actions_detail::text_of(r, false); }
Status mold(const int32_t* r) { return actions_detail::text_of(r, true); }
Status eval_path(const int32_t* r) {
  Cell* value = ref_flag(r, 0) ? base + 2 : nullptr;
  return set_last(eval_path_direct(base, base + 1, value, nullptr, nullptr, nullptr, -1, false,
                                   false, true, false));
}
Status compare(const int32_t* r) {
  compare_set_logic(r[0]);
  return CODE_NONE;
}
Status absolute(const int32_t*) { return stack_reading(ACT_ABSOLUTE); }
Status add(const int32_t*) { return stack_reading(ACT_ADD); }
Status divide(const int32_t*) { return stack_reading(ACT_DIVIDE); }
Status multiply(const int32_t*) { return stack_reading(ACT_MULTIPLY); }
Status negate(const int32_t*) {
  negate_direct(base);
  return CODE_NONE;
}
Status power(const int32_t*) { return stack_reading(ACT_POWER); }
Status remainder(const int32_t*) { return stack_reading(ACT_REMAINDER); }
Status round(const int32_t* r) {
  round_direct(base, ref_cell(r, 0), ref_flag(r, 1), ref_flag(r, 2), ref_flag(r, 3),
               ref_flag(r, 4), ref_flag(r, 5), ref_flag(r, 6));
  return CODE_NONE;
}
Status subtract(const int32_t*) { return stack_reading(ACT_SUBTRACT); }
Status even_q(const int32_t*) {
  set_logic(base, even_q_direct(base));
  return CODE_NONE;
}
Status odd_q(const int32_t*) {
  set_logic(base, odd_q_direct(base));
  return CODE_NONE;
}
Status and_t(const int32_t*) { return stack_reading(ACT_AND_T); }
Status complement(const int32_t*) { return set_last(complement_direct(base)); }
Status or_t(const int32_t*) { return stack_reading(ACT_OR_T); }
Status xor_t(const int32_t*) { return stack_reading(ACT_XOR_T); }
[[gnu::noinline]] Status append_values(const int32_t* r) {
  return actions_detail::add_values(r, actions_detail::AddKind::append);
}
Status append(const int32_t* r) {
  // Text onto text with no refinement, the commonest append, goes straight to its copy.
  if (base->is(TYPE_STRING) && r[0] == -1 && r[1] == -1 && r[2] == -1 &&
      string::append_same_width(base, base + 1, -1))
    return CODE_NONE;
  return append_values(r);
}
Status at(const int32_t*) { return stack_reading(ACT_AT); }
Status back(const int32_t*) { return stack_reading(ACT_BACK); }
Status change(const int32_t* r) {
  return actions_detail::add_values(r, actions_detail::AddKind::change);
}
Status clear(const int32_t*) {
  clear_direct(base);
  return CODE_NONE;
}
Status copy(const int32_t* r) {
  Cell* types = ref_cell(r, 2);
  // The /types argument is the sixth word of the spec: value /part length /deep /types kind.
  if (types && !types->is(TYPE_DATATYPE) && !types->is(TYPE_TYPESET))
    raise_expect_arg(types->type(), 5);
  Cell* result = set_unset(stack::new_cell());
  return set_last(copy_direct(base, result, ref_cell(r, 0), ref_flag(r, 1), types));
}
Status find(const int32_t* r) {
  return set_last(find_direct(base, base + 1, ref_cell(r, 0), ref_flag(r, 1), ref_flag(r, 2),
                              ref_flag(r, 3), ref_flag(r, 4), ref_cell(r, 5), ref_cell(r, 6),
                              ref_flag(r, 7), ref_flag(r, 8), ref_flag(r, 9), ref_flag(r, 10)));
}
Status head(const int32_t*) { return stack_reading(ACT_HEAD); }
Status head_q(const int32_t*) { return stack_reading(ACT_HEAD_Q); }
Status index_q(const int32_t*) { return stack_reading(ACT_INDEX_Q); }
Status insert(const int32_t* r) {
  return actions_detail::add_values(r, actions_detail::AddKind::insert);
}
Status length_q(const int32_t*) {
  int n = length_q_direct(base);
  if (n == -1) set_none(base);
  else set_integer(base, n);
  return CODE_NONE;
}
Status move(const int32_t* r) { return set_last(move_direct(base, base + 1, ref_cell(r, 0))); }
Status next(const int32_t*) { return stack_reading(ACT_NEXT); }
Status pick(const int32_t*) { return set_last(pick_direct(base, index_arg(), base + 1)); }
Status poke(const int32_t*) {
  return set_last(poke_direct(base, index_arg(), base + 2, base + 1));
}
Status put(const int32_t* r) {
  return set_last(put_direct(base, base + 1, base + 2, ref_flag(r, 0)));
}
Status remove(const int32_t* r) {
  remove_direct(base, ref_cell(r, 0), ref_cell(r, 1));
  return CODE_NONE;
}
Status reverse(const int32_t* r) {
  reverse_direct(base, ref_cell(r, 0), ref_cell(r, 1));
  return CODE_NONE;
}
Status select(const int32_t* r) {
  return set_last(select_direct(base, base + 1, ref_cell(r, 0), ref_flag(r, 1), ref_flag(r, 2),
                                ref_flag(r, 3), ref_flag(r, 4), ref_cell(r, 5), ref_cell(r, 6),
                                ref_flag(r, 7), ref_flag(r, 8)));
}
Status sort(const int32_t* r) {
  // A comparator function that breaks, throws or returns out of the sort reaches us as an
  // exception (the handler cannot return a status); it goes on as the status it was, so a
  // catch or loop around the sort receives it.
  try {
    return set_last(sort_direct(base, ref_flag(r, 0), ref_cell(r, 1), ref_cell(r, 2),
                                ref_cell(r, 3), ref_flag(r, 4), ref_flag(r, 5), ref_flag(r, 6)));
  } catch (const Unwind& u) {
    if (u.code == CODE_ERROR) throw;
    return u.code;
  }
}
Status skip(const int32_t*) { return stack_reading(ACT_SKIP); }
Status swap(const int32_t*) {
  swap_direct(base, base + 1);
  return CODE_NONE;
}
Status tail(const int32_t*) { return stack_reading(ACT_TAIL); }
Status tail_q(const int32_t*) { return stack_reading(ACT_TAIL_Q); }
Status take(const int32_t* r) {
  return set_last(take_direct(base, ref_cell(r, 0), ref_flag(r, 1), ref_flag(r, 2)));
}
Status trim(const int32_t* r) {
  trim_direct(base, ref_flag(r, 0), ref_flag(r, 1), ref_flag(r, 2), ref_flag(r, 3),
              ref_flag(r, 4), ref_cell(r, 5));
  return CODE_NONE;
}
Status create(const int32_t*) { return set_last(create_direct(base)); }
Status close(const int32_t*) { return set_last(close_direct(base)); }
Status delete_(const int32_t*) { return set_last(delete_direct(base)); }
Status modify(const int32_t* r) {
  modify_direct(base, base + 1, base + 2, ref_flag(r, 0));
  return CODE_NONE;
}
Status open(const int32_t* r) {
  return set_last(open_direct(base, ref_flag(r, 0), ref_flag(r, 1), ref_flag(r, 2),
                              ref_flag(r, 3), ref_cell(r, 4)));
}
Status open_q(const int32_t*) { return set_last(open_q_direct(base)); }
Status query(const int32_t*) { return set_last(query_direct(base)); }
Status read(const int32_t* r) {
  return set_last(read_direct(base, ref_cell(r, 0), ref_cell(r, 1), ref_flag(r, 2),
                              ref_flag(r, 3), ref_flag(r, 4), ref_cell(r, 5)));
}
Status rename(const int32_t*) { return set_last(rename_direct(base, base + 1)); }
Status update(const int32_t*) { return set_last(update_direct(base)); }
Status write(const int32_t* r) {
  return set_last(write_direct(base, base + 1, ref_flag(r, 0), ref_flag(r, 1), ref_flag(r, 2),
                               ref_flag(r, 3), ref_cell(r, 4), ref_cell(r, 5), ref_cell(r, 6),
                               ref_cell(r, 7)));
}

}  // namespace dispatch

void fill_table(int count, const Dispatcher* entries) {
  for (int i = 0; i < count && i < ACTION_COUNT; i++) table[i] = entries[i];
}

void init() {
  using namespace dispatch;
  static const Dispatcher entries[ACTION_COUNT] = {
      make, random, reflect, to, form, mold, eval_path, nullptr /* set-path */, compare,
      absolute, add, divide, multiply, negate, power, remainder, round, subtract, even_q,
      odd_q, and_t, complement, or_t, xor_t, append, at, back, change, clear, copy, find, head,
      head_q, index_q, insert, length_q, move, next, pick, poke, put, remove, reverse, select,
      sort, skip, swap, tail, tail_q, take, trim, create, close, delete_, modify, open, open_q,
      query, read, rename, update, write,
  };
  fill_table(ACTION_COUNT, entries);
}

}  // namespace actions

namespace init_steps {
void actions_table() { actions::init(); }
}  // namespace init_steps

}  // namespace tav
