#include "evaluator/actions.h"

#include <climits>

#include "core/context.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "init_steps.h"
#include "platform/fatal.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav {
namespace actions {

Dispatcher table[ACTION_COUNT];

namespace actions_detail {

// The word naming the running call, for error messages; false when no call is running.
bool call_word(Cell* out) {
  NodeId ctx = 0;
  uint32_t sym = stack::nearest_call_symbol(&ctx);
  if (sym == 0) return false;
  *out = make_cell(TYPE_WORD, ctx, sym, 0xFFFFFFFFu);
  return true;
}

// The word of argument `index` (counting arguments and refinements in spec order) of the
// built-in that the call word names, read from its spec; false when the word does not hold
// an action (or an operator over one) any more.
bool call_arg_word(const Cell* name, int index, Cell* out) {
  NodeId ctx = name->data1;
  if (!ctx || context::on_stack(context::context_cell(ctx))) return false;
  int32_t pos = context::find_symbol(ctx, name->data2, true);
  NodeId values = context::values_of(ctx);
  if (pos < 0 || !values) return false;
  const Cell* fn = node_buffer(values)->cells() + pos;
  bool action = fn->is(TYPE_ACTION) ||
                (fn->is(TYPE_OP) && ((fn->header >> 16) & 0xFF) == TYPE_ACTION);
  if (!action) return false;
  SeriesBuffer* spec = node_buffer(fn->data2);
  uint32_t n = spec->count();
  for (uint32_t i = 0; i < n; ++i) {
    const Cell* c = spec->cells() + i;
    TypeId t = c->type();
    if (t != TYPE_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD && t != TYPE_REFINEMENT)
      continue;
    if (index-- > 0) continue;
    *out = word::make(c->data2);
    return true;
  }
  return false;
}

// expect-arg for the running call: its name, the datatype refused and the argument's word.
[[noreturn]] void raise_expect_arg(TypeId refused, int arg_index) {
  Cell name, datatype, arg;
  set_datatype(&datatype, refused);
  bool named = call_word(&name);
  bool has_arg = named && call_arg_word(&name, arg_index, &arg);
  error::raise(ERR_SCRIPT, "expect-arg", named ? &name : nullptr, &datatype,
               has_arg ? &arg : nullptr);
}

template <typename Sig, typename... Args>
auto call(ActionId a, Cell* first, Args... args) {
  return reinterpret_cast<Sig>(lookup_for_value(first, a))(first, args...);
}

inline Cell* ref_cell(const int32_t* refs, int i) {
  return refs[i] == -1 ? nullptr : stack::base + refs[i];
}
inline bool ref_flag(const int32_t* refs, int i) { return refs[i] != -1; }

}  // namespace actions_detail

// ---- Lookup ----------------------------------------------------------------------------

ActionEntry lookup(TypeId type, const Cell*, ActionId action) {
  ActionEntry e = action_table[type][action - 1];
  if (e) return e;
  actions_detail::raise_expect_arg(type, 0);
}

ActionEntry lookup_for_value(const Cell* value, ActionId action) {
  return lookup(value->type(), value, action);
}

ActionEntry lookup_arg(ActionId action) { return lookup_for_value(stack::base, action); }

ActionEntry lookup_path(const Cell* value, const Cell* path, const Cell* element,
                        int element_index) {
  ActionEntry e = action_table[value->type()][ACT_EVAL_PATH - 1];
  if (e) return e;
  Cell datatype;
  set_datatype(&datatype, value->type());
  if (!path) error::raise(ERR_SCRIPT, "bad-path-type2", element, &datatype);
  // The path as far as it was evaluated, for the message.
  Cell* prefix = stack::new_cell();
  int32_t avail = series::buffer_length(path) - series::index_of(path);
  int32_t n = element_index + 1 < avail ? element_index + 1 : avail;
  series::copy_units(path, series::index_of(path), n < 0 ? 0 : n, prefix);
  prefix->set_type(TYPE_BLOCK);
  error::raise(ERR_SCRIPT, "bad-path-type", path, &datatype, prefix);
}

int32_t index_arg() {
  const Cell* a1 = stack::base + 1;
  switch (a1->type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      return a1->int_value();
    case TYPE_LOGIC:
      return a1->data1 == 1 ? 1 : 2;
    default:
      return 0;
  }
}

void raise_invalid_refine(const char* refinement, const Cell* arg) {
  Cell name = word::make(symbol::make(refinement));
  error::raise(ERR_SCRIPT, "invalid-refine-arg", &name, arg);
}

// ---- Comparison ------------------------------------------------------------------------

bool compare(Cell* value1, Cell* value2, int op) {
  if (op < COMP_EQUAL || op > COMP_FIND_EQUAL || op == COMP_SORT || op == COMP_CASE_SORT)
    fatal_exit(RUNTIME_ERROR_NO_SWITCH, reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
  int r = actions_detail::call<act::Compare>(ACT_COMPARE, value1, value2, op);
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                  op >= COMP_SAME;
  if (r == COMPARE_UNRELATED && !equality)
    error::raise(ERR_SCRIPT, "invalid-compare", value1, value2);
  switch (op) {
    case COMP_NOT_EQUAL: return r != 0;
    case COMP_LESSER: return r < 0;
    case COMP_LESSER_EQUAL: return r <= 0;
    case COMP_GREATER: return r > 0;
    case COMP_GREATER_EQUAL: return r >= 0;
    default: return r == 0;
  }
}

int compare_value(Cell* value1, Cell* value2, int op) {
  TypeId t = value1->type();
  auto order = [](int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); };
  // Only a value of the same kind has a flag or an entry to compare with: reading the payload
  // of anything else would make false equal to 1.
  switch (t) {
    case TYPE_LOGIC:
      if (!value2->is(TYPE_LOGIC)) return COMPARE_UNRELATED;
      return static_cast<int>(value1->data1) - static_cast<int>(value2->data1);
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_OP:
      if (!value2->is(t)) return COMPARE_UNRELATED;
      return order(static_cast<int32_t>(value1->data1), static_cast<int32_t>(value2->data1));
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
      if (!value2->is(t)) return COMPARE_UNRELATED;
      return order(static_cast<int32_t>(value1->data3), static_cast<int32_t>(value2->data3));
    default:
      return actions_detail::call<act::Compare>(ACT_COMPARE, value1, value2, op);
  }
}

Cell* compare_set_logic(int op) {
  bool truth = compare(stack::base, stack::base + 1, op);
  return set_logic(stack::base, truth);
}

// ---- Direct entries --------------------------------------------------------------------

Cell* make_direct(Cell* proto, Cell* spec, int type) {
  return reinterpret_cast<act::Make>(lookup(static_cast<TypeId>(type), proto, ACT_MAKE))(
      proto, spec, type);
}
Cell* to_direct(Cell* proto, Cell* spec, int type) {
  return reinterpret_cast<act::Make>(lookup(static_cast<TypeId>(type), proto, ACT_TO))(
      proto, spec, type);
}
Cell* random_direct(Cell* value, bool seed, bool secure, bool only) {
  return actions_detail::call<act::Random>(ACT_RANDOM, value, seed, secure, only);
}
Cell* reflect_direct(Cell* value, uint32_t field_symbol) {
  return actions_detail::call<act::Reflect>(ACT_REFLECT, value, field_symbol);
}
int form_direct(Cell* value, Cell* buffer, Cell* part, int limit) {
  return actions_detail::call<act::Form>(ACT_FORM, value, buffer, part, limit);
}
int mold_direct(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
                int indent) {
  return actions_detail::call<act::Mold>(ACT_MOLD, value, buffer, only, all, flat, part, limit,
                                         indent);
}
Cell* eval_path_direct(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                       Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt) {
  return reinterpret_cast<act::EvalPath>(lookup_path(parent, path, element, index))(
      parent, element, value, path, grand_parent, prev_element, index, case_, get, tail, evt);
}
Cell* negate_direct(Cell* value) {
  return actions_detail::call<act::Unary>(ACT_NEGATE, value);
}
Cell* round_direct(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                   bool ceiling, bool half_ceiling) {
  return actions_detail::call<act::Round>(ACT_ROUND, value, scale, even, down, half_down, floor,
                                          ceiling, half_ceiling);
}
bool even_q_direct(Cell* value) { return actions_detail::call<act::Predicate>(ACT_EVEN_Q, value); }
bool odd_q_direct(Cell* value) { return actions_detail::call<act::Predicate>(ACT_ODD_Q, value); }
Cell* complement_direct(Cell* value) {
  return actions_detail::call<act::Unary>(ACT_COMPLEMENT, value);
}
Cell* append_direct(Cell* series, Cell* value, int part, bool only, int dup) {
  return actions_detail::call<act::Append>(ACT_APPEND, series, value, part, only, dup, true);
}
Cell* insert_direct(Cell* series, Cell* value, int part, bool only, int dup) {
  return actions_detail::call<act::Append>(ACT_INSERT, series, value, part, only, dup, false);
}
Cell* change_direct(Cell* series, Cell* value, int part, bool only, int dup) {
  return actions_detail::call<act::Change>(ACT_CHANGE, series, value, part, only, dup);
}
Cell* clear_direct(Cell* series) { return actions_detail::call<act::Unary>(ACT_CLEAR, series); }
Cell* copy_direct(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
  return actions_detail::call<act::Copy>(ACT_COPY, value, result, part, deep, types);
}
Cell* find_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                  bool match) {
  return actions_detail::call<act::Find>(ACT_FIND, series, value, part, only, case_, same, any,
                                         with, skip, last, reverse, tail, match);
}
int length_q_direct(Cell* series) {
  return actions_detail::call<act::Length>(ACT_LENGTH_Q, series);
}
Cell* move_direct(Cell* origin, Cell* target, Cell* part) {
  return actions_detail::call<act::Move>(ACT_MOVE, origin, target, part);
}
Cell* pick_direct(Cell* series, int index, Cell* boxed) {
  return actions_detail::call<act::Pick>(ACT_PICK, series, index, boxed);
}
Cell* poke_direct(Cell* series, int index, Cell* data, Cell* boxed) {
  return actions_detail::call<act::Poke>(ACT_POKE, series, index, data, boxed);
}
Cell* put_direct(Cell* series, Cell* key, Cell* value, bool case_) {
  return actions_detail::call<act::Put>(ACT_PUT, series, key, value, case_);
}
Cell* remove_direct(Cell* series, Cell* part, Cell* key) {
  return actions_detail::call<act::Remove>(ACT_REMOVE, series, part, key);
}
Cell* reverse_direct(Cell* series, Cell* part, Cell* skip) {
  return actions_detail::call<act::Reverse>(ACT_REVERSE, series, part, skip);
}
Cell* select_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                    bool any, Cell* with, Cell* skip, bool last, bool reverse) {
  return actions_detail::call<act::Select>(ACT_SELECT, series, value, part, only, case_, same,
                                           any, with, skip, last, reverse);
}
Cell* sort_direct(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
                  bool reverse, bool stable) {
  return actions_detail::call<act::Sort>(ACT_SORT, series, case_, skip, comparator, part, all,
                                         reverse, stable);
}
Cell* swap_direct(Cell* series1, Cell* series2) {
  return actions_detail::call<act::Swap>(ACT_SWAP, series1, series2);
}
Cell* take_direct(Cell* series, Cell* part, bool deep, bool last) {
  return actions_detail::call<act::Take>(ACT_TAKE, series, part, deep, last);
}
Cell* trim_direct(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                  Cell* with) {
  return actions_detail::call<act::Trim>(ACT_TRIM, series, head, tail, auto_, lines, all, with);
}
Cell* create_direct(Cell* port) { return actions_detail::call<act::Unary>(ACT_CREATE, port); }
Cell* close_direct(Cell* port) { return actions_detail::call<act::Unary>(ACT_CLOSE, port); }
Cell* delete_direct(Cell* file) { return actions_detail::call<act::Unary>(ACT_DELETE, file); }
Cell* modify_direct(Cell* target, Cell* field, Cell* value, bool case_) {
  return actions_detail::call<act::Modify>(ACT_MODIFY, target, field, value, case_);
}
Cell* open_direct(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
  return actions_detail::call<act::Open>(ACT_OPEN, port, new_, read, write, seek, allow);
}
Cell* open_q_direct(Cell* port) { return actions_detail::call<act::Unary>(ACT_OPEN_Q, port); }
Cell* query_direct(Cell* target) { return actions_detail::call<act::Unary>(ACT_QUERY, target); }
Cell* read_direct(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                  Cell* as) {
  return actions_detail::call<act::Read>(ACT_READ, source, part, seek, binary, lines, info, as);
}
Cell* rename_direct(Cell* from, Cell* to) {
  return actions_detail::call<act::Rename>(ACT_RENAME, from, to);
}
Cell* update_direct(Cell* port) { return actions_detail::call<act::Unary>(ACT_UPDATE, port); }
Cell* write_direct(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                   bool append, Cell* part, Cell* seek, Cell* allow, Cell* as) {
  return actions_detail::call<act::Write>(ACT_WRITE, destination, data, binary, lines, info,
                                          append, part, seek, allow, as);
}

// ---- Dispatchers -----------------------------------------------------------------------

namespace actions_detail {

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
    actions_detail::raise_expect_arg(types->type(), 5);
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
