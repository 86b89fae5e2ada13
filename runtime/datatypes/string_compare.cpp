// string! comparison, sorting and the set operations on text.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/case_folding.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "core/sort.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/symbols.h"

namespace tav::string {

CharView view_of(const Cell* v) {
  SeriesBuffer* b = cell_buffer(v);
  CharView cv;
  cv.unit = b->unit();
  uint32_t from = clamped_index(v);
  cv.p = b->head_ptr() + size_t(from) * cv.unit;
  cv.count = b->count() - from;
  return cv;
}

uint32_t fold_char(uint32_t cp) { return casefold::map_char(cp, true); }

const Cell* text_of_value(const Cell* v) {
  TypeId t = v->type();
  if (is_any_string(t)) return v;
  uint32_t sym = t == TYPE_SYMBOL ? 0 : v->data2;
  std::string name;
  if (t == TYPE_SYMBOL) {
    SeriesBuffer* b = node_buffer(v->data3);
    name.assign(reinterpret_cast<const char*>(b->head_ptr()), b->used());
  } else {
    symbol::Name n = symbol::name(sym);
    name.assign(n.bytes, n.length);
  }
  return push_utf8(name.data(), name.size());
}

namespace string_compare_detail {

bool equality_op(int op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
         op == COMP_FIND_EQUAL;
}

bool folds(int op) {
  return op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT && op != COMP_FIND_CASE;
}

int sign(int64_t d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

}  // namespace string_compare_detail

int compare_text(const Cell* s1, const Cell* s2, int op, bool match) {
  using namespace string_compare_detail;
  bool same_place = s1->type() != TYPE_SYMBOL && s2->type() != TYPE_SYMBOL &&
                    s1->node() == s2->node() && clamped_index(s1) == clamped_index(s2);
  if (same_place && (op == COMP_SAME || equality_op(op))) return 0;
  if (op == COMP_SAME) return -1;
  Cell* saved_top = stack::top;
  const Cell* a = text_of_value(s1);
  const Cell* b = text_of_value(s2);
  CharView v1 = view_of(a), v2 = view_of(b);
  stack::top = saved_top;   // the name strings are only read below; nothing allocates
  int64_t count1 = v1.count, count2 = v2.count;
  int64_t n;
  if (match) {
    if (count2 == 0) return op == COMP_FIND_EQUAL ? 1 : 0;
    if (count1 < count2) return 1;
    n = count2;
  } else {
    if (count1 != count2) {
      if (equality_op(op) || count2 == 0) return 1;
    }
    n = std::min(count1, count2);
    if (count1 == count2 && count1 == 0) return 0;
  }
  if (count1 == 0) return -1;
  bool fold = folds(op);
  int64_t c1 = 0, c2 = 0;
  for (int64_t i = 0; i < n; i++) {
    c1 = v1.at(static_cast<uint32_t>(i));
    c2 = v2.at(static_cast<uint32_t>(i));
    if (fold) {
      c1 = fold_char(static_cast<uint32_t>(c1));
      c2 = fold_char(static_cast<uint32_t>(c2));
    }
    if (c1 != c2) return sign(c1 - c2);
  }
  if (!match) return sign(count1 - count2);
  return 0;
}

int compare(Cell* value1, Cell* value2, int op) {
  if (value1->type() != value2->type()) {
    bool kin = is_any_string(value2->type());
    if (!kin || (op != COMP_EQUAL && op != COMP_NOT_EQUAL)) return COMPARE_UNRELATED;
  }
  return compare_text(value1, value2, op, false);
}

// ---- Sort --------------------------------------------------------------------------------

namespace string_compare_detail {

// Orders two records (their characters at a and b); negative when a sorts first.
int compare_records(const uint32_t* a, const uint32_t* b, const SortPlan& plan) {
  uint32_t from = plan.whole ? 0 : plan.offset;
  uint32_t to = plan.whole ? plan.size : plan.offset + 1;
  for (uint32_t i = from; i < to; i++) {
    uint32_t x = a[i], y = b[i];
    if (plan.fold) {
      x = fold_char(x);
      y = fold_char(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace string_compare_detail

bool plan_sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
               bool reverse, int32_t* index, int32_t* count_out, SortPlan* plan) {
  int32_t idx = series::clamp_index(series);
  int32_t len = series::buffer_length(series);
  int32_t count = len - idx;
  if (part) {
    int32_t n = series::part_count(series, part);
    if (n < 0) {
      if (idx + int64_t(n) < 0) {
        series::set_index(series, 0);
        return false;
      }
      idx += n;
      series::set_index(series, idx);
      n = -n;
      count = len - idx;
    }
    if (n < count) count = n;
  }
  if (count <= 0) return false;

  plan->fold = !case_;
  plan->reverse = reverse;
  if (skip) {
    if (!skip->is(TYPE_INTEGER)) actions::raise_invalid_refine("skip", skip);
    int32_t size = skip->int_value();
    if (size < 1 || count % size != 0 || count < size) actions::raise_invalid_refine("skip", skip);
    plan->size = static_cast<uint32_t>(size);
  } else if (all) {
    error::raise(ERR_SCRIPT, "bad-refines");
  }
  if (comparator) {
    if (comparator->is(TYPE_INTEGER)) {
      if (!skip || all) error::raise(ERR_SCRIPT, "bad-refines");
      int32_t at = comparator->int_value();
      if (at < 1 || static_cast<uint32_t>(at) > plan->size)
        error::raise(ERR_SCRIPT, "out-of-range", comparator);
      plan->offset = static_cast<uint32_t>(at - 1);
    } else if (comparator->is(TYPE_FUNCTION)) {
      plan->function = comparator;
      plan->whole = all && skip;
    } else {
      actions::raise_invalid_refine("compare", comparator);
    }
  } else if (all) {
    plan->whole = true;
  }
  *index = idx;
  *count_out = count;
  return true;
}

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool) {
  using namespace string_compare_detail;
  int32_t idx = 0, count = 0;
  SortPlan plan;
  if (!plan_sort(series, case_, skip, comparator, part, all, reverse, &idx, &count, &plan))
    return series;
  if (plan.function)
    return sort::sort_text_with_function(series, count, plan.size, plan.whole, reverse,
                                         plan.function);

  ownership::notify_before(series, ownership::Change::sort, nullptr, idx, count);
  // The owner may have changed the string: sort what is still there.
  idx = series::clamp_index(series);
  int32_t len = series::buffer_length(series);
  if (count > len - idx) count = (len - idx) - (len - idx) % static_cast<int32_t>(plan.size);
  if (count <= 0) return series;

  std::vector<uint32_t> chars(static_cast<size_t>(count));
  {
    CharView v = view_of(series);
    for (int32_t i = 0; i < count; i++) chars[size_t(i)] = v.at(static_cast<uint32_t>(i));
  }
  uint32_t records = static_cast<uint32_t>(count) / plan.size;
  std::vector<uint32_t> order(records);
  for (uint32_t r = 0; r < records; r++) order[r] = r;
  std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    int c = compare_records(&chars[size_t(x) * plan.size], &chars[size_t(y) * plan.size], plan);
    return plan.reverse ? c > 0 : c < 0;
  });
  // The same characters go back, so every one fits the buffer's unit.
  SeriesBuffer* b = cell_buffer(series);
  uint32_t unit = b->unit();
  uint8_t* p = b->head_ptr() + size_t(idx) * unit;
  for (uint32_t r = 0; r < records; r++)
    for (uint32_t k = 0; k < plan.size; k++, p += unit)
      put_char(p, unit, chars[size_t(order[r]) * plan.size + k]);
  ownership::notify_after(series, ownership::Change::sort, nullptr, idx, count);
  return series;
}

// ---- Set operations ----------------------------------------------------------------------

namespace string_compare_detail {

// True when a record (size characters stepping from 0) of v starts with c.
bool has_record_start(const CharView& v, uint32_t size, uint32_t c, bool fold) {
  for (uint32_t i = 0; i < v.count; i += size) {
    uint32_t x = v.at(i);
    if (fold ? fold_char(x) == c : x == c) return true;
  }
  return false;
}

// One pass over `from`: adds each record whose first character passes the test against
// `other` (must_occur: present there; else absent; no other: no test) and is not yet the
// first character of a record in the result.
void set_pass(NodeId out, const Cell* from, const Cell* other, bool must_occur, uint32_t size,
              bool fold) {
  uint32_t n = view_of(from).count;
  for (uint32_t i = 0; i < n; i += size) {
    CharView v = view_of(from);
    uint32_t c = v.at(i);
    uint32_t key = fold ? fold_char(c) : c;
    if (other && has_record_start(view_of(other), size, key, fold) != must_occur) continue;
    Cell result = make_cell(TYPE_STRING, 0, out, 0);
    if (has_record_start(view_of(&result), size, key, fold)) continue;
    uint32_t take = std::min(size, n - i);
    append_units(out, from->node(), clamped_index(from) + i, take);
  }
}

}  // namespace string_compare_detail

Cell* do_set_op(Cell* first, Cell* second, bool case_, Cell* skip, int op) {
  using namespace string_compare_detail;
  uint32_t size = 1;
  if (skip) {
    if (!skip->is(TYPE_INTEGER) || skip->int_value() < 1)
      actions::raise_invalid_refine("skip", skip);
    size = static_cast<uint32_t>(skip->int_value());
  }
  series::clamp_index(first);
  bool two = op != SET_UNIQUE;
  if (two) series::clamp_index(second);
  uint64_t room = length(first) + (op == SET_UNION ? length(second) : 0);
  Cell* out = make_at(stack::new_cell(), static_cast<uint32_t>(std::min<uint64_t>(room, 0x7FFFFFFF)));
  NodeId n = out->node();
  bool fold = !case_;
  switch (op) {
    case SET_UNIQUE: set_pass(n, first, nullptr, false, size, fold); break;
    case SET_UNION:
      set_pass(n, first, nullptr, false, size, fold);
      set_pass(n, second, nullptr, false, size, fold);
      break;
    case SET_INTERSECT: set_pass(n, first, second, true, size, fold); break;
    case SET_EXCLUDE: set_pass(n, first, second, false, size, fold); break;
    case SET_DIFFERENCE:
      set_pass(n, first, second, false, size, fold);
      set_pass(n, second, first, false, size, fold);
      break;
    default: error::raise(ERR_INTERNAL, "not-done");
  }
  first->data1 = 0;
  first->data2 = n;
  stack::pop(1);
  return first;
}

}  // namespace tav::string
