#include "datatypes/typeset.h"

#include <cstring>

#include "datatypes/block.h"
#include "core/errors.h"
#include "core/evaluator_door.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"

namespace tav::typeset {

namespace typeset_detail {

constexpr uint32_t BITS = 96;

inline uint8_t* bytes_of(Cell* ts) { return reinterpret_cast<uint8_t*>(&ts->data1); }
inline const uint8_t* bytes_of(const Cell* ts) {
  return reinterpret_cast<const uint8_t*>(&ts->data1);
}

inline bool registered(int t) { return t >= 1 && t <= highest_type_id && type_table[t].name; }

[[noreturn]] void raise_invalid_arg(const Cell* value) {
  Cell v = *value;
  error::raise(ERR_SCRIPT, "invalid-arg", &v);
}

}  // namespace typeset_detail

Cell* clear(Cell* ts) {
  *ts = make_cell(TYPE_TYPESET);
  return ts;
}

bool has(const Cell* ts, uint32_t type_id) {
  if (type_id >= typeset_detail::BITS) return false;
  return (typeset_detail::bytes_of(ts)[type_id >> 3] & (0x80u >> (type_id & 7))) != 0;
}

void add_type(Cell* ts, uint32_t type_id) {
  if (type_id >= typeset_detail::BITS) return;
  typeset_detail::bytes_of(ts)[type_id >> 3] |= static_cast<uint8_t>(0x80u >> (type_id & 7));
}

int count(const Cell* ts) {
  int n = 0;
  for (int t = 1; t <= highest_type_id; ++t)
    if (typeset_detail::registered(t) && has(ts, static_cast<uint32_t>(t))) ++n;
  return n;
}

void add(Cell* ts, const Cell* value) {
  Cell v = *value;
  if (v.is(TYPE_WORD)) {
    v = *evaluator_door::get_word(value);
    if (v.is(TYPE_UNSET)) {
      Cell word = *value;
      error::raise(ERR_SCRIPT, "no-value", &word);
    }
  }
  if (v.is(TYPE_DATATYPE)) {
    add_type(ts, v.data1);
  } else if (v.is(TYPE_TYPESET)) {
    ts->data1 |= v.data1;
    ts->data2 |= v.data2;
    ts->data3 |= v.data3;
  } else {
    typeset_detail::raise_invalid_arg(value);
  }
}

Cell* to_block(const Cell* ts, Cell* out) {
  Cell members = *ts;   // `out` may be the typeset's own cell
  block::make_at(out, count(&members));
  for (int t = 1; t <= highest_type_id; ++t) {
    if (typeset_detail::registered(t) && has(&members, static_cast<uint32_t>(t)))
      block::append_cell(out, &type_table[t].word);
  }
  return out;
}

Cell* do_set_op(int op) {
  Cell* a = stack::base;
  Cell* b = stack::base + 1;
  Cell other;
  if (b->is(TYPE_DATATYPE)) {
    clear(&other);
    add_type(&other, b->data1);
  } else if (b->is(TYPE_TYPESET)) {
    other = *b;
  } else {
    typeset_detail::raise_invalid_arg(b);
  }
  Cell r = make_cell(TYPE_TYPESET);
  switch (op) {
    case 5: case 9:
      r.data1 = a->data1 | other.data1; r.data2 = a->data2 | other.data2;
      r.data3 = a->data3 | other.data3;
      break;
    case 6: case 10:
      r.data1 = a->data1 & other.data1; r.data2 = a->data2 & other.data2;
      r.data3 = a->data3 & other.data3;
      break;
    case 7: case 12:
      r.data1 = a->data1 ^ other.data1; r.data2 = a->data2 ^ other.data2;
      r.data3 = a->data3 ^ other.data3;
      break;
    case 11:
      r.data1 = a->data1 & ~other.data1; r.data2 = a->data2 & ~other.data2;
      r.data3 = a->data3 & ~other.data3;
      break;
    default:
      r = *a;
      break;
  }
  *a = r;
  stack::top = stack::base + 1;
  return a;
}

Cell* make(Cell* proto, Cell* spec, int type) {
  (void)proto;
  (void)type;
  if (spec->is(TYPE_TYPESET)) return spec;
  if (!spec->is(TYPE_BLOCK)) {
    Cell dt;
    set_datatype(&dt, TYPE_TYPESET);
    Cell s = *spec;
    error::raise(ERR_SCRIPT, "bad-to-arg", &dt, &s);
  }
  Cell* out = clear(stack::new_cell());
  NodeId n = spec->node();
  // Re-read the buffer each time: a word's value is fetched between two reads.
  for (uint32_t i = spec->index(); i < node_buffer(n)->count(); ++i) {
    Cell item = node_buffer(n)->cells()[i];
    add(out, &item);
  }
  return out;
}

namespace typeset_detail {

// The member names separated by single spaces, after "make typeset! [" unless only; a given
// limit stops the names once it is used up.
int write_members(Cell* value, Cell* buffer, bool only, Cell* part, int limit) {
  NodeId out = buffer->node();
  Cell ts = *value;
  if (!only) {
    string::append_ascii(out, "make typeset! [");
    limit -= 15;
  }
  bool first = true;
  for (int t = 1; t <= highest_type_id; ++t) {
    if (part && limit <= 0) break;
    if (!registered(t) || !has(&ts, static_cast<uint32_t>(t))) continue;
    if (!first) {
      string::append_char(out, ' ');
      --limit;
    }
    first = false;
    string::append_ascii(out, type_table[t].name);
    limit -= static_cast<int>(std::strlen(type_table[t].name));
  }
  if (!only) {
    string::append_char(out, ']');
    --limit;
  }
  return limit;
}

}  // namespace typeset_detail

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  return typeset_detail::write_members(value, buffer, false, part, limit);
}

int mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell* part, int limit, int) {
  return typeset_detail::write_members(value, buffer, only, part, limit);
}

int compare(Cell* value1, Cell* value2, int op) {
  if (!value2->is(TYPE_TYPESET)) return COMPARE_UNRELATED;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME:
    case COMP_FIND_EQUAL:
      return value1->data1 == value2->data1 && value1->data2 == value2->data2 &&
                     value1->data3 == value2->data3
                 ? 0
                 : 1;
    case COMP_SORT: case COMP_CASE_SORT: {
      int a = count(value1), b = count(value2);
      return a < b ? -1 : a > b ? 1 : 0;
    }
    default:
      return COMPARE_UNRELATED;
  }
}

Cell* complement(Cell* value) {
  value->data1 = ~value->data1;
  value->data2 = ~value->data2;
  value->data3 = ~value->data3;
  return value;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool,
           bool, bool) {
  if (!value->is(TYPE_DATATYPE)) typeset_detail::raise_invalid_arg(value);
  bool found = has(series, value->data1);
  return set_logic(stack::new_cell(), found);
}

namespace typeset_detail {
Cell* and_t() { return do_set_op(6); }
Cell* or_t() { return do_set_op(5); }
Cell* xor_t() { return do_set_op(7); }
}  // namespace typeset_detail

void init() {
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(make);
  row[ACT_TO - 1] = entry<act::Make>(make);
  row[ACT_FORM - 1] = entry<act::Form>(form);
  row[ACT_MOLD - 1] = entry<act::Mold>(mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(compare);
  row[ACT_AND_T - 1] = entry<act::StackReading>(typeset_detail::and_t);
  row[ACT_OR_T - 1] = entry<act::StackReading>(typeset_detail::or_t);
  row[ACT_XOR_T - 1] = entry<act::StackReading>(typeset_detail::xor_t);
  row[ACT_COMPLEMENT - 1] = entry<act::Unary>(complement);
  row[ACT_FIND - 1] = entry<act::Find>(find);
  datatype::register_type(TYPE_TYPESET, TYPE_NONE_ID, "typeset!", row);
}

}  // namespace tav::typeset
