#include "datatypes/type_dispatch.h"

#include "core/context.h"
#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/series.h"
#include "platform/fatal.h"

namespace tav::actions {

namespace type_dispatch_detail {

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

}  // namespace type_dispatch_detail

void raise_expect_arg(TypeId refused, int arg_index) {
  Cell name, datatype, arg;
  set_datatype(&datatype, refused);
  bool named = type_dispatch_detail::call_word(&name);
  bool has_arg = named && type_dispatch_detail::call_arg_word(&name, arg_index, &arg);
  error::raise(ERR_SCRIPT, "expect-arg", named ? &name : nullptr, &datatype,
               has_arg ? &arg : nullptr);
}

namespace type_dispatch_detail {

template <typename Sig, typename... Args>
auto call(ActionId a, Cell* first, Args... args) {
  return reinterpret_cast<Sig>(lookup_for_value(first, a))(first, args...);
}

}  // namespace type_dispatch_detail

// ---- Lookup ----------------------------------------------------------------------------

ActionEntry lookup(TypeId type, const Cell*, ActionId action) {
  ActionEntry e = action_table[type][action - 1];
  if (e) return e;
  raise_expect_arg(type, 0);
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
  int r = type_dispatch_detail::call<act::Compare>(ACT_COMPARE, value1, value2, op);
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
      return type_dispatch_detail::call<act::Compare>(ACT_COMPARE, value1, value2, op);
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
  return type_dispatch_detail::call<act::Random>(ACT_RANDOM, value, seed, secure, only);
}
Cell* reflect_direct(Cell* value, uint32_t field_symbol) {
  return type_dispatch_detail::call<act::Reflect>(ACT_REFLECT, value, field_symbol);
}
int form_direct(Cell* value, Cell* buffer, Cell* part, int limit) {
  return type_dispatch_detail::call<act::Form>(ACT_FORM, value, buffer, part, limit);
}
int mold_direct(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
                int indent) {
  return type_dispatch_detail::call<act::Mold>(ACT_MOLD, value, buffer, only, all, flat, part, limit,
                                         indent);
}
Cell* eval_path_direct(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                       Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt) {
  return reinterpret_cast<act::EvalPath>(lookup_path(parent, path, element, index))(
      parent, element, value, path, grand_parent, prev_element, index, case_, get, tail, evt);
}
Cell* negate_direct(Cell* value) {
  return type_dispatch_detail::call<act::Unary>(ACT_NEGATE, value);
}
Cell* round_direct(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                   bool ceiling, bool half_ceiling) {
  return type_dispatch_detail::call<act::Round>(ACT_ROUND, value, scale, even, down, half_down, floor,
                                          ceiling, half_ceiling);
}
bool even_q_direct(Cell* value) { return type_dispatch_detail::call<act::Predicate>(ACT_EVEN_Q, value); }
bool odd_q_direct(Cell* value) { return type_dispatch_detail::call<act::Predicate>(ACT_ODD_Q, value); }
Cell* complement_direct(Cell* value) {
  return type_dispatch_detail::call<act::Unary>(ACT_COMPLEMENT, value);
}
Cell* append_direct(Cell* series, Cell* value, int part, bool only, int dup) {
  return type_dispatch_detail::call<act::Append>(ACT_APPEND, series, value, part, only, dup, true);
}
Cell* insert_direct(Cell* series, Cell* value, int part, bool only, int dup) {
  return type_dispatch_detail::call<act::Append>(ACT_INSERT, series, value, part, only, dup, false);
}
Cell* change_direct(Cell* series, Cell* value, int part, bool only, int dup) {
  return type_dispatch_detail::call<act::Change>(ACT_CHANGE, series, value, part, only, dup);
}
Cell* clear_direct(Cell* series) { return type_dispatch_detail::call<act::Unary>(ACT_CLEAR, series); }
Cell* copy_direct(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
  return type_dispatch_detail::call<act::Copy>(ACT_COPY, value, result, part, deep, types);
}
Cell* find_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                  bool match) {
  return type_dispatch_detail::call<act::Find>(ACT_FIND, series, value, part, only, case_, same, any,
                                         with, skip, last, reverse, tail, match);
}
int length_q_direct(Cell* series) {
  return type_dispatch_detail::call<act::Length>(ACT_LENGTH_Q, series);
}
Cell* move_direct(Cell* origin, Cell* target, Cell* part) {
  return type_dispatch_detail::call<act::Move>(ACT_MOVE, origin, target, part);
}
Cell* pick_direct(Cell* series, int index, Cell* boxed) {
  return type_dispatch_detail::call<act::Pick>(ACT_PICK, series, index, boxed);
}
Cell* poke_direct(Cell* series, int index, Cell* data, Cell* boxed) {
  return type_dispatch_detail::call<act::Poke>(ACT_POKE, series, index, data, boxed);
}
Cell* put_direct(Cell* series, Cell* key, Cell* value, bool case_) {
  return type_dispatch_detail::call<act::Put>(ACT_PUT, series, key, value, case_);
}
Cell* remove_direct(Cell* series, Cell* part, Cell* key) {
  return type_dispatch_detail::call<act::Remove>(ACT_REMOVE, series, part, key);
}
Cell* reverse_direct(Cell* series, Cell* part, Cell* skip) {
  return type_dispatch_detail::call<act::Reverse>(ACT_REVERSE, series, part, skip);
}
Cell* select_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                    bool any, Cell* with, Cell* skip, bool last, bool reverse) {
  return type_dispatch_detail::call<act::Select>(ACT_SELECT, series, value, part, only, case_, same,
                                           any, with, skip, last, reverse);
}
Cell* sort_direct(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
                  bool reverse, bool stable) {
  return type_dispatch_detail::call<act::Sort>(ACT_SORT, series, case_, skip, comparator, part, all,
                                         reverse, stable);
}
Cell* swap_direct(Cell* series1, Cell* series2) {
  return type_dispatch_detail::call<act::Swap>(ACT_SWAP, series1, series2);
}
Cell* take_direct(Cell* series, Cell* part, bool deep, bool last) {
  return type_dispatch_detail::call<act::Take>(ACT_TAKE, series, part, deep, last);
}
Cell* trim_direct(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                  Cell* with) {
  return type_dispatch_detail::call<act::Trim>(ACT_TRIM, series, head, tail, auto_, lines, all, with);
}
Cell* create_direct(Cell* port) { return type_dispatch_detail::call<act::Unary>(ACT_CREATE, port); }
Cell* close_direct(Cell* port) { return type_dispatch_detail::call<act::Unary>(ACT_CLOSE, port); }
Cell* delete_direct(Cell* file) { return type_dispatch_detail::call<act::Unary>(ACT_DELETE, file); }
Cell* modify_direct(Cell* target, Cell* field, Cell* value, bool case_) {
  return type_dispatch_detail::call<act::Modify>(ACT_MODIFY, target, field, value, case_);
}
Cell* open_direct(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
  return type_dispatch_detail::call<act::Open>(ACT_OPEN, port, new_, read, write, seek, allow);
}
Cell* open_q_direct(Cell* port) { return type_dispatch_detail::call<act::Unary>(ACT_OPEN_Q, port); }
Cell* query_direct(Cell* target) { return type_dispatch_detail::call<act::Unary>(ACT_QUERY, target); }
Cell* read_direct(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                  Cell* as) {
  return type_dispatch_detail::call<act::Read>(ACT_READ, source, part, seek, binary, lines, info, as);
}
Cell* rename_direct(Cell* from, Cell* to) {
  return type_dispatch_detail::call<act::Rename>(ACT_RENAME, from, to);
}
Cell* update_direct(Cell* port) { return type_dispatch_detail::call<act::Unary>(ACT_UPDATE, port); }
Cell* write_direct(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                   bool append, Cell* part, Cell* seek, Cell* allow, Cell* as) {
  return type_dispatch_detail::call<act::Write>(ACT_WRITE, destination, data, binary, lines, info,
                                          append, part, seek, allow, as);
}

}  // namespace tav::actions
