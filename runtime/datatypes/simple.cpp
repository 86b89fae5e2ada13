#include "datatypes/simple.h"

#include <string>

#include "core/errors.h"
#include "core/random.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {

const Cell unset_value = make_cell(TYPE_UNSET);
const Cell none_value = make_cell(TYPE_NONE);
const Cell true_value = make_cell(TYPE_LOGIC, 1);
const Cell false_value = make_cell(TYPE_LOGIC, 0);

namespace simple_detail {

inline Cell* constant(const Cell& c) { return const_cast<Cell*>(&c); }

// Appends text to the output string and charges it against the /part limit.
int emit(Cell* buffer, const char* text, int len, int limit) {
  string::append_ascii(buffer->node(), text);
  return limit - len;
}

bool equality_op(int op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_SAME ||
         op == COMP_FIND_EQUAL;
}

// unset! ----------------------------------------------------------------------------------

Cell* unset_make(Cell*, Cell*, int) { return constant(unset_value); }
int unset_form(Cell*, Cell*, Cell*, int limit) { return limit; }
int unset_mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int limit, int) {
  return all ? emit(buffer, "#(unset)", 8, limit) : emit(buffer, "unset", 5, limit);
}
int unset_compare(Cell*, Cell* other, int op) {
  if (!other->is(TYPE_UNSET)) return COMPARE_UNRELATED;
  return (equality_op(op) || op == COMP_SORT || op == COMP_CASE_SORT) ? 0 : COMPARE_UNRELATED;
}

// none! -------------------------------------------------------------------------------------

Cell* none_make(Cell*, Cell*, int) { return constant(none_value); }
int none_form(Cell*, Cell* buffer, Cell*, int limit) { return emit(buffer, "none", 4, limit); }
int none_mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int limit, int) {
  return all ? emit(buffer, "#(none)", 7, limit) : emit(buffer, "none", 4, limit);
}
int none_compare(Cell*, Cell* other, int op) {
  if (!other->is(TYPE_NONE)) return COMPARE_UNRELATED;
  return (equality_op(op) || op == COMP_SORT || op == COMP_CASE_SORT) ? 0 : COMPARE_UNRELATED;
}
// clear, remove: result slot := none.
Cell* none_unary(Cell*) { return set_none(stack::base); }
Cell* none_find(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
  return constant(none_value);
}
Cell* none_select(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
  return constant(none_value);
}
Cell* none_remove(Cell*, Cell*, Cell*) { return set_none(stack::base); }
Cell* none_take(Cell*, Cell*, bool, bool) { return constant(none_value); }
int none_length(Cell*) { return -1; }

// logic! ------------------------------------------------------------------------------------

Cell* logic_to(Cell*, Cell* spec, int) {
  if (spec->is(TYPE_LOGIC)) return spec;
  return constant(spec->is(TYPE_NONE) ? false_value : true_value);
}

Cell* logic_make(Cell* proto, Cell* spec, int type) {
  switch (spec->type()) {
    case TYPE_INTEGER: return constant(spec->int_value() != 0 ? true_value : false_value);
    case TYPE_FLOAT:
    case TYPE_PERCENT: return constant(spec->float_value() != 0.0 ? true_value : false_value);
    default: return logic_to(proto, spec, type);
  }
}

Cell* logic_random(Cell* value, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(value->data1);
    return set_unset(value);
  }
  int32_t draw = secure ? random::next_secure() : random::next();
  value->data1 = draw > 0x3FFFFFFF ? 1 : 0;
  return value;
}

int logic_form(Cell* value, Cell* buffer, Cell*, int limit) {
  return value->data1 != 0 ? emit(buffer, "true", 4, limit) : emit(buffer, "false", 5, limit);
}

int logic_mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int limit, int) {
  if (!all) return logic_form(value, buffer, part, limit);
  return value->data1 != 0 ? emit(buffer, "#(true)", 7, limit) : emit(buffer, "#(false)", 8, limit);
}

int logic_compare(Cell* value, Cell* other, int op) {
  if (!other->is(TYPE_LOGIC)) return COMPARE_UNRELATED;
  if (equality_op(op) || op == COMP_SORT || op == COMP_CASE_SORT)
    return static_cast<int>(value->data1) - static_cast<int>(other->data1);
  return COMPARE_UNRELATED;
}

Cell* logic_complement(Cell* value) {
  value->data1 ^= 1;
  return value;
}

// The left operand is the result slot, the right one the next argument.
Cell* logic_bitwise(int op) {
  Cell* left = stack::base;
  Cell* right = stack::base + 1;
  if (!right->is(TYPE_LOGIC)) {
    NodeId ctx = 0;
    uint32_t sym = stack::nearest_call_symbol(&ctx);
    Cell name = make_cell(TYPE_WORD, ctx, sym, 0xFFFFFFFF);
    Cell type = make_cell(TYPE_DATATYPE, right->type());
    Cell arg = word::make(symbol::make("value2"));
    error::raise(ERR_SCRIPT, "expect-arg", &name, &type, &arg);
  }
  switch (op) {
    case 5: left->data1 &= right->data1; break;
    case 6: left->data1 |= right->data1; break;
    case 7: left->data1 ^= right->data1; break;
  }
  return left;
}
Cell* logic_and() { return logic_bitwise(5); }
Cell* logic_or() { return logic_bitwise(6); }
Cell* logic_xor() { return logic_bitwise(7); }

// datatype! ---------------------------------------------------------------------------------

int datatype_form(Cell* value, Cell* buffer, Cell*, int limit) {
  const TypeEntry& t = type_table[value->data1 < TYPE_TABLE_SIZE ? value->data1 : 0];
  std::string name(t.name ? t.name : "!", t.length);
  return emit(buffer, name.c_str(), static_cast<int>(t.length), limit);
}

int datatype_mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int limit, int) {
  const TypeEntry& t = type_table[value->data1 < TYPE_TABLE_SIZE ? value->data1 : 0];
  if (all) limit = emit(buffer, "#(", 0, limit);
  limit = emit(buffer, t.name ? t.name : "", static_cast<int>(t.length + 1), limit);
  if (all) limit = emit(buffer, ")", 3, limit);
  return limit;
}

int datatype_compare(Cell* value, Cell* other, int op) {
  if (equality_op(op)) return (other->is(TYPE_DATATYPE) && other->data1 == value->data1) ? 0 : 1;
  return COMPARE_UNRELATED;
}

}  // namespace simple_detail

namespace logic {

bool is_true(const Cell* value, bool check_unset, const Cell* word) {
  if (check_unset && value->is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "no-value", word);
  return tav::is_true(value);
}

bool true_result() {
  if (stack::base->is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "no-return");
  return tav::is_true(stack::base);
}

bool false_result() { return !tav::is_true(stack::base); }

}  // namespace logic

namespace unset_type {
void init() {
  using namespace simple_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(unset_make);
  row[ACT_TO - 1] = entry<act::Make>(unset_make);
  row[ACT_FORM - 1] = entry<act::Form>(unset_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(unset_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(unset_compare);
  datatype::register_type(TYPE_UNSET, TYPE_NONE_ID, "unset!", row);
}
}  // namespace unset_type

namespace none_type {
void init() {
  using namespace simple_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(none_make);
  row[ACT_TO - 1] = entry<act::Make>(none_make);
  row[ACT_FORM - 1] = entry<act::Form>(none_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(none_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(none_compare);
  row[ACT_CLEAR - 1] = entry<act::Unary>(none_unary);
  row[ACT_FIND - 1] = entry<act::Find>(none_find);
  row[ACT_LENGTH_Q - 1] = entry<act::Length>(none_length);
  row[ACT_REMOVE - 1] = entry<act::Remove>(none_remove);
  row[ACT_SELECT - 1] = entry<act::Select>(none_select);
  row[ACT_TAKE - 1] = entry<act::Take>(none_take);
  datatype::register_type(TYPE_NONE, TYPE_NONE_ID, "none!", row);
}
}  // namespace none_type

namespace logic_type {
void init() {
  using namespace simple_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(logic_make);
  row[ACT_RANDOM - 1] = entry<act::Random>(logic_random);
  row[ACT_TO - 1] = entry<act::Make>(logic_to);
  row[ACT_FORM - 1] = entry<act::Form>(logic_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(logic_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(logic_compare);
  row[ACT_AND_T - 1] = entry<act::StackReading>(logic_and);
  row[ACT_COMPLEMENT - 1] = entry<act::Unary>(logic_complement);
  row[ACT_OR_T - 1] = entry<act::StackReading>(logic_or);
  row[ACT_XOR_T - 1] = entry<act::StackReading>(logic_xor);
  datatype::register_type(TYPE_LOGIC, TYPE_NONE_ID, "logic!", row);
}
}  // namespace logic_type

namespace datatype_type {
void init() {
  using namespace simple_detail;
  ActionRow row{};
  row[ACT_FORM - 1] = entry<act::Form>(datatype_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(datatype_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(datatype_compare);
  datatype::register_type(TYPE_DATATYPE, TYPE_NONE_ID, "datatype!", row);
}
}  // namespace datatype_type

}  // namespace tav
