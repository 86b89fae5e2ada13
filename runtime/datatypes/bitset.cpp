#include "datatypes/bitset.h"

#include <cstring>

#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::bitset {

namespace bitset_detail {

// The highest member a bitset can store: length? counts the stored bits, 8 per byte, and
// must stay an integer!. Setting a number above it is refused; testing one answers the
// complement flag, as for any number beyond the stored bytes.
constexpr int64_t HIGHEST = INT32_MAX / 8 * 8 - 1;

[[noreturn]] void raise_bad_value(const Cell* value, SpecMode mode) {
  Cell v = *value;
  if (mode == MODE_OTHER) error::raise(ERR_SCRIPT, "invalid-arg", &v);
  Cell dt;
  set_datatype(&dt, TYPE_BITSET);
  error::raise(ERR_SCRIPT, mode == MODE_MAKE ? "bad-make-arg" : "bad-to-arg", &dt, &v);
}

[[noreturn]] void raise_out_of_range(const Cell* value) {
  Cell v = *value;
  error::raise(ERR_SCRIPT, "out-of-range", &v);
}

bool is_word(const Cell* c, uint32_t symbol) {
  return c->is(TYPE_WORD) && symbol::alias(c->data2) == symbol::alias(symbol);
}

// The number a char!, integer! or float! names, or -1 for a negative one.
int64_t number_of(const Cell* v) {
  if (v->is(TYPE_CHAR)) return v->data2;
  if (v->is(TYPE_INTEGER)) return v->int_value() < 0 ? -1 : v->int_value();
  double d = v->float_value();
  if (d != d || d <= -1.0) return -1;
  if (d >= 2147483648.0) return int64_t(1) << 31;   // beyond any size a bitset can take
  return static_cast<int64_t>(d);
}

// Accumulates a walk's answer.
struct Walk {
  Cell* bits;
  Operation op;
  int64_t highest = -1;
  bool all = true;
};

void apply(Walk& w, int64_t low, int64_t high) {
  if (w.op == TEST && low > HIGHEST) {
    if (!complemented(w.bits)) w.all = false;
    return;
  }
  if (w.op == MEASURE) {
    if (high > w.highest) w.highest = high;
    return;
  }
  if (!process_range(w.bits, static_cast<uint32_t>(low), static_cast<uint32_t>(high), w.op))
    w.all = false;
}

// One char!, integer! or float!; negative numbers are errors except when testing.
void one_number(Walk& w, const Cell* v) {
  int64_t n = number_of(v);
  if (n < 0) {
    if (w.op != TEST) raise_out_of_range(v);
    if (!complemented(w.bits)) w.all = false;
    return;
  }
  if (n > HIGHEST && w.op != TEST) raise_out_of_range(v);
  apply(w, n, n);
}

void walk(Walk& w, const Cell* spec, SpecMode mode);

void walk_block(Walk& w, const Cell* spec, SpecMode mode) {
  NodeId n = spec->node();
  int32_t i = series::index_of(spec) < 0 ? 0 : series::index_of(spec);
  // The block is read afresh each step: nothing here allocates in it, but growing the bit
  // array may move other buffers.
  while (i < static_cast<int32_t>(node_buffer(n)->count())) {
    Cell item = node_buffer(n)->cells()[i];
    int32_t count = static_cast<int32_t>(node_buffer(n)->count());
    TypeId t = item.type();
    if ((t == TYPE_CHAR || t == TYPE_INTEGER) && i + 1 < count &&
        is_word(node_buffer(n)->cells() + i + 1, symbols::dash)) {
      if (i + 2 >= count) error::raise(ERR_SCRIPT, "past-end");
      Cell second = node_buffer(n)->cells()[i + 2];
      TypeId t2 = second.type();
      if (t2 != TYPE_CHAR && t2 != TYPE_INTEGER) error::raise(ERR_SCRIPT, "past-end");
      if (t2 != t) error::raise(ERR_SCRIPT, "invalid-arg", &second);
      int64_t low = number_of(&item), high = number_of(&second);
      if (low < 0) raise_out_of_range(&item);
      if (high < 0) raise_out_of_range(&second);
      if (high < low) error::raise(ERR_SCRIPT, "past-end");
      if (high > HIGHEST && w.op != TEST) raise_out_of_range(&second);
      apply(w, low, high);
      i += 3;
      continue;
    }
    walk(w, &item, mode);
    ++i;
  }
}

void walk(Walk& w, const Cell* spec, SpecMode mode) {
  switch (spec->type()) {
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT:
      one_number(w, spec);
      return;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      Cell s = *spec;
      uint32_t len = string::length(&s);
      for (uint32_t k = 0; k < len; ++k) {
        uint32_t cp = string::char_at(&s, k);
        apply(w, cp, cp);
      }
      return;
    }
    case TYPE_BLOCK:
      walk_block(w, spec, mode);
      return;
    case TYPE_BINARY:
      error::raise(ERR_INTERNAL, "not-done");
    default:
      raise_bad_value(spec, mode);
  }
}

// Fires the owner's deep-change handler before (done false) or after a change.
void notify(const Cell* bits, ownership::Change kind, bool done, const Cell* value,
            int32_t index, int32_t part) {
  if (!ownership::is_owned(bits)) return;
  if (done) ownership::notify_after(bits, kind, value, index, part);
  else ownership::notify_before(bits, kind, value, index, part);
}

[[noreturn]] void raise_missing_arg() { error::raise(ERR_SCRIPT, "missing-arg"); }

// The element types a path may pick a bitset's member by.
bool index_number(const Cell* v) { return v->is(TYPE_INTEGER) || v->is(TYPE_CHAR); }

}  // namespace bitset_detail

bool has(const Cell* bits, uint32_t n) {
  SeriesBuffer* b = cell_buffer(bits);
  uint32_t byte = n >> 3;
  if (byte < b->used()) return (b->head_ptr()[byte] & (0x80u >> (n & 7))) != 0;
  return (b->flags & COMPLEMENT) != 0;
}

Cell* make_at(Cell* cell, uint32_t bytes, uint8_t fill, bool complement) {
  set_none(cell);
  NodeId n = alloc::new_bytes_filled(bytes < 1 ? 1 : bytes, fill);
  SeriesBuffer* b = node_buffer(n);
  b->tail = b->head + bytes;
  if (complement) b->flags |= COMPLEMENT;
  *cell = make_cell(TYPE_BITSET, 0, n);
  return cell;
}

void grow_to(Cell* bits, uint32_t n) {
  uint32_t need = (n >> 3) + 1;
  SeriesBuffer* b = cell_buffer(bits);
  uint32_t have = b->used();
  if (need <= have) return;
  uint8_t fill = (b->flags & COMPLEMENT) ? 0xFF : 0x00;
  b = series::ensure_room(bits->node(), need - have);
  std::memset(b->tail_ptr(), fill, need - have);
  b->tail += need - have;
}

void invert_bytes(uint8_t* address, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) address[i] = static_cast<uint8_t>(~address[i]);
}

bool process_range(Cell* bits, uint32_t low, uint32_t high, Operation op) {
  bool flagged = complemented(bits);
  switch (op) {
    case TEST:
      for (uint64_t n = low; n <= high; ++n)
        if (!has(bits, static_cast<uint32_t>(n))) return false;
      return true;
    case SET: {
      // In a complemented set the numbers beyond the stored bytes are members already.
      uint32_t top = high;
      if (flagged) {
        uint32_t stored = byte_size(bits) * 8;
        if (low >= stored) return true;
        if (top >= stored) top = stored - 1;
      } else {
        grow_to(bits, high);
      }
      uint8_t* d = data_pointer(bits);
      for (uint64_t n = low; n <= top; ++n) d[n >> 3] |= static_cast<uint8_t>(0x80u >> (n & 7));
      return true;
    }
    case CLEAR: {
      uint32_t top = high;
      if (flagged) {
        grow_to(bits, high);
      } else {
        uint32_t stored = byte_size(bits) * 8;
        if (low >= stored) return true;
        if (top >= stored) top = stored - 1;
      }
      uint8_t* d = data_pointer(bits);
      for (uint64_t n = low; n <= top; ++n)
        d[n >> 3] &= static_cast<uint8_t>(~(0x80u >> (n & 7)));
      return true;
    }
    default:
      return true;
  }
}

int64_t process(const Cell* spec, Cell* bits, Operation op, SpecMode mode) {
  bitset_detail::Walk w{bits, op};
  bitset_detail::walk(w, spec, mode);
  if (op == MEASURE) return w.highest;
  if (op == TEST) return w.all ? 1 : 0;
  return 0;
}

Cell* push(const Cell* bits) {
  Cell src = *bits;
  Cell* out = stack::new_cell();
  uint32_t size = byte_size(&src);
  make_at(out, size, 0, complemented(&src));
  if (size) std::memcpy(data_pointer(out), data_pointer(&src), size);
  return out;
}

// ---- Make and to ----------------------------------------------------------------------

namespace bitset_detail {

Cell* from_binary(const Cell* bin, bool complement) {
  Cell src = *bin;
  int32_t from = series::clamp_index(&src);
  uint32_t size = static_cast<uint32_t>(series::buffer_length(&src) - from);
  Cell* out = stack::new_cell();
  make_at(out, size, complement ? 0xFF : 0, complement);
  if (size) std::memcpy(data_pointer(out), series::unit_at(&src, from), size);
  if (complement) invert_bytes(data_pointer(out), size);
  return out;
}

Cell* build(Cell* spec_in, SpecMode mode) {
  Cell spec = *spec_in;
  bool negated = false;
  if (spec.is(TYPE_BLOCK)) {
    int32_t i = series::clamp_index(&spec);
    if (i < series::buffer_length(&spec) &&
        is_word(block::cell_at(&spec, static_cast<uint32_t>(i)), symbols::not_)) {
      negated = true;
      spec.data1 = static_cast<uint32_t>(i + 1);
      if (i + 1 < series::buffer_length(&spec) &&
          block::cell_at(&spec, static_cast<uint32_t>(i + 1))->is(TYPE_BINARY)) {
        Cell bin = *block::cell_at(&spec, static_cast<uint32_t>(i + 1));
        return from_binary(&bin, true);
      }
    }
  }
  TypeId t = spec.type();
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    if (mode == MODE_TO) raise_bad_value(&spec, mode);
    int64_t n = number_of(&spec);
    if (n < 0 || n > HIGHEST + 1) raise_out_of_range(&spec);
    uint32_t bytes = static_cast<uint32_t>((n + 7) >> 3);
    return make_at(stack::new_cell(), bytes, 0, false);
  }
  if (t == TYPE_BITSET) return push(&spec);
  if (t == TYPE_BINARY) return from_binary(&spec, false);
  Cell* held = stack::push(&spec);   // keeps the spec reachable while the array is made
  int64_t highest = process(held, nullptr, MEASURE, mode);
  // An empty spec still stores one byte.
  uint32_t bytes = highest < 0 ? 1 : static_cast<uint32_t>(((highest + 8) & ~int64_t(7)) / 8);
  Cell* out = make_at(stack::new_cell(), bytes, negated ? 0xFF : 0, negated);
  process(held, out, negated ? CLEAR : SET, mode);
  *held = *out;
  stack::pop(1);
  return held;
}

}  // namespace bitset_detail

Cell* make(Cell*, Cell* spec, int) { return bitset_detail::build(spec, MODE_MAKE); }
Cell* to(Cell*, Cell* spec, int) { return bitset_detail::build(spec, MODE_TO); }

// ---- Text -------------------------------------------------------------------------------

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  return mold(value, buffer, false, false, false, part, limit, 0);
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  NodeId out = buffer->node();
  Cell bits = *value;
  bool flagged = complemented(&bits);
  string::append_ascii(out, "make bitset! ");
  limit -= 13;
  if (flagged) {
    string::append_ascii(out, "[not ");
    limit -= 5;
  }
  string::append_ascii(out, "#{");
  limit -= 2;
  uint32_t size = byte_size(&bits);
  for (uint32_t i = 0; i < size; ++i) {
    if (part && limit <= 0) break;
    uint8_t byte = data_pointer(&bits)[i];
    if (flagged) byte = static_cast<uint8_t>(255 - byte);
    string::append_ascii(out, string::byte_to_hex(byte));
    limit -= 2;
  }
  string::append_char(out, '}');
  --limit;
  if (flagged) {
    string::append_char(out, ']');
    --limit;
  }
  return limit;
}

// ---- Comparison -------------------------------------------------------------------------

int compare(Cell* value1, Cell* value2, int op) {
  if (!value2->is(TYPE_BITSET)) return COMPARE_UNRELATED;
  if (op == COMP_SAME) return value1->node() == value2->node() ? 0 : 1;
  uint32_t s1 = byte_size(value1), s2 = byte_size(value2);
  if (s1 != s2) return s1 < s2 ? -1 : 1;
  if (s1 == 0) return 0;
  bool f1 = complemented(value1), f2 = complemented(value2);
  if (f1 != f2) return f1 ? 1 : -1;
  const uint8_t* a = data_pointer(value1);
  const uint8_t* b = data_pointer(value2);
  for (uint32_t i = s1; i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

// ---- Set operations ---------------------------------------------------------------------

namespace bitset_detail {

uint8_t combine(int op, uint8_t a, uint8_t b) {
  switch (op) {
    case 5: case 9: return a | b;
    case 6: case 10: return a & b;
    case 7: case 12: return a ^ b;
    default: return a & static_cast<uint8_t>(~b);   // 11: exclude
  }
}

}  // namespace bitset_detail

Cell* do_set_op(int op) {
  Cell* base = stack::base;
  Cell a = base[0], b = base[1];
  if (!b.is(TYPE_BITSET)) {
    Cell dt;
    set_datatype(&dt, b.type());
    error::raise(ERR_SCRIPT, "invalid-type", &dt);
  }
  if (op == 8) {
    stack::top = base + 1;
    return base;
  }
  // The shorter operand reads as extended by its own flag byte, so members beyond the stored
  // bytes survive; the result's flag is the same operation on the two flags.
  bool fa = complemented(&a), fb = complemented(&b);
  uint32_t sa = byte_size(&a), sb = byte_size(&b);
  uint32_t size = sa > sb ? sa : sb;
  bool shorter_flagged = sa < sb ? fa : (sb < sa ? fb : false);
  if (op == 6 && !shorter_flagged) size = sa < sb ? sa : sb;
  bool flag = bitset_detail::combine(op, fa ? 1 : 0, fb ? 1 : 0) & 1;
  Cell* out = make_at(stack::new_cell(), size, 0, flag);
  uint8_t* d = data_pointer(out);
  const uint8_t* pa = data_pointer(&a);
  const uint8_t* pb = data_pointer(&b);
  for (uint32_t i = 0; i < size; ++i) {
    uint8_t x = i < sa ? pa[i] : (fa ? 0xFF : 0);
    uint8_t y = i < sb ? pb[i] : (fb ? 0xFF : 0);
    d[i] = bitset_detail::combine(op, x, y);
  }
  *base = *out;
  stack::top = base + 1;
  return base;
}

// ---- Other actions ----------------------------------------------------------------------

// The new set replaces the argument in its cell, as the unary actions answer.
Cell* complement(Cell* value) {
  Cell* out = push(value);
  SeriesBuffer* b = cell_buffer(out);
  invert_bytes(b->head_ptr(), b->used());
  b->flags ^= COMPLEMENT;
  *value = *out;
  stack::pop(1);
  return value;
}

namespace bitset_detail {

Cell* and_t() { return do_set_op(6); }
Cell* or_t() { return do_set_op(5); }
Cell* xor_t() { return do_set_op(7); }

Cell* reflect(Cell* value, uint32_t field) {
  if (symbol::alias(field) != symbol::alias(symbols::owned)) error::raise(ERR_INTERNAL, "not-done");
  // The answer replaces the bitset in its cell (the call's result slot).
  Cell* rec = ownership::find_owner(value->node());
  if (!rec) return set_none(value);
  *value = *rec;
  return value;
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
  if (!field->is(TYPE_WORD) || symbol::alias(field->data2) != symbol::alias(symbols::owned))
    return target;
  if (value->is(TYPE_NONE)) {
    ownership::unbind(target);
  } else if (value->is(TYPE_BLOCK) && block::rs_length(value) >= 2) {
    Cell owner = *block::rs_head(value);
    Cell word = block::rs_head(value)[1];
    ownership::set_deep(target, &owner, &word);
  }
  return target;
}

Cell* insert(Cell* series, Cell* value, int, bool, int, bool) {
  notify(series, ownership::Change::insert, false, value, -1, 1);
  process(value, series, SET, MODE_OTHER);
  notify(series, ownership::Change::insert, true, value, -1, 1);
  return series;
}

Cell* clear(Cell* series) {
  notify(series, ownership::Change::clear, false, nullptr, -1, -1);
  SeriesBuffer* b = cell_buffer(series);
  std::memset(b->head_ptr(), 0, b->used());
  b->flags &= ~COMPLEMENT;
  notify(series, ownership::Change::clear, true, nullptr, -1, -1);
  return series;
}

Cell* copy(Cell* value, Cell* result, Cell*, bool, Cell*) {
  *result = *push(value);
  stack::pop(1);
  return result;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool,
           bool, bool) {
  bool found = process(value, series, TEST, MODE_OTHER) != 0;
  Cell* out = stack::new_cell();
  return found ? set_logic(out, true) : set_none(out);
}

int length_q(Cell* series) { return static_cast<int>(byte_size(series) * 8); }

Cell* pick(Cell* series, int index, Cell* boxed) {
  Cell key;
  if (boxed) key = *boxed;
  else set_integer(&key, index);
  bool found = process(&key, series, TEST, MODE_OTHER) != 0;
  return set_logic(stack::new_cell(), found);
}

bool clears(const Cell* v) {
  switch (v->type()) {
    case TYPE_NONE: return true;
    case TYPE_LOGIC: return v->data1 == 0;
    case TYPE_INTEGER: return v->int_value() == 0;
    case TYPE_FLOAT: return v->float_value() == 0.0;
    default: return false;
  }
}

void poke_value(Cell* series, const Cell* key, const Cell* data) {
  notify(series, ownership::Change::poke, false, data, -1, 1);
  process(key, series, clears(data) ? CLEAR : SET, MODE_OTHER);
  notify(series, ownership::Change::poke, true, data, -1, 1);
}

Cell* poke(Cell* series, int index, Cell* data, Cell* boxed) {
  Cell key;
  if (boxed) key = *boxed;
  else set_integer(&key, index);
  poke_value(series, &key, data);
  return data;
}

Cell* remove(Cell* series, Cell* part, Cell*) {
  if (!part) raise_missing_arg();
  notify(series, ownership::Change::remove, false, part, -1, 1);
  process(part, series, CLEAR, MODE_OTHER);
  notify(series, ownership::Change::remove, true, part, -1, 1);
  return series;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int, bool, bool,
                bool, bool) {
  if (!index_number(element)) {
    Cell dt;
    set_datatype(&dt, element->type());
    error::raise(ERR_SCRIPT, "invalid-type", &dt);
  }
  if (!value) {
    bool found = process(element, parent, TEST, MODE_OTHER) != 0;
    return set_logic(stack::new_cell(), found);
  }
  poke_value(parent, element, value);
  return value;
}

}  // namespace bitset_detail

void init() {
  using namespace bitset_detail;
  datatype::register_type(TYPE_BITSET, TYPE_NONE_ID, "bitset!", {
      on<ACT_MAKE>(make),
      on<ACT_TO>(to),
      on<ACT_REFLECT>(bitset_detail::reflect),
      on<ACT_FORM>(form),
      on<ACT_MOLD>(mold),
      on<ACT_EVAL_PATH>(bitset_detail::eval_path),
      on<ACT_COMPARE>(compare),
      on<ACT_NEGATE>(complement),
      on<ACT_COMPLEMENT>(complement),
      on<ACT_AND_T>(and_t),
      on<ACT_OR_T>(or_t),
      on<ACT_XOR_T>(xor_t),
      on<ACT_APPEND>(bitset_detail::insert),
      on<ACT_INSERT>(bitset_detail::insert),
      on<ACT_CLEAR>(bitset_detail::clear),
      on<ACT_COPY>(bitset_detail::copy),
      on<ACT_FIND>(bitset_detail::find),
      on<ACT_LENGTH_Q>(length_q),
      on<ACT_PICK>(bitset_detail::pick),
      on<ACT_POKE>(bitset_detail::poke),
      on<ACT_REMOVE>(bitset_detail::remove),
      on<ACT_MODIFY>(bitset_detail::modify),
  });
}

}  // namespace tav::bitset
