// vector!: find, select and sort. A vector shares the scan and sort plans of every series
// searched by unit, but compares its elements as the numbers they are: integers and
// characters as signed whole numbers, floats and percents by value, so 2 finds 2.0 and -1
// sorts before 300 whatever the element width.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/ownership.h"
#include "core/sort.h"
#include "core/stack.h"
#include "datatypes/bitset.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "datatypes/type_dispatch.h"
#include "datatypes/vector.h"

namespace tav::vector {

namespace vector_search_detail {

double key_at(const uint8_t* p, uint32_t size, TypeId type) {
  return is_float_kind(type) ? get_float(p, size) : get_integer(p, size);
}

// Characters compare without regard to case unless asked: a whole number in the code point
// range stands for its character.
double folded(double k) {
  if (k < 0 || k > 0x10FFFF || k != std::floor(k)) return k;
  return string::fold_char(static_cast<uint32_t>(k));
}

// What a find looks for: one number, a member of a bitset, or a run of numbers.
struct Needle {
  const Cell* set = nullptr;
  std::vector<double> keys;
};

Needle needle_of(const Cell* value) {
  Needle nd;
  TypeId t = value->type();
  switch (t) {
    case TYPE_INTEGER: case TYPE_CHAR: nd.keys.push_back(value->int_value()); return nd;
    case TYPE_FLOAT: case TYPE_PERCENT: nd.keys.push_back(value->float_value()); return nd;
    case TYPE_BITSET: nd.set = value; return nd;
    case TYPE_BINARY: error::raise(ERR_SCRIPT, "invalid-arg", value);
    case TYPE_VECTOR: {
      SeriesBuffer* b = cell_buffer(value);
      uint32_t n = length(value);
      uint32_t from = b->count() - n;
      for (uint32_t i = 0; i < n; i++)
        nd.keys.push_back(key_at(b->head_ptr() + size_t(from + i) * b->unit(), b->unit(),
                                 element_type(value)));
      return nd;
    }
    default: break;
  }
  // Anything else is looked for as text: its characters, one element each.
  Cell* saved_top = stack::top;
  const Cell* text;
  if ((is_any_string(t) && t != TYPE_TAG) || is_any_word(t) || t == TYPE_SYMBOL) {
    text = string::text_of_value(value);
  } else {
    Cell* buffer = string::make_at(stack::new_cell(), 16);
    Cell copy = *value;
    actions::form_direct(&copy, buffer, nullptr, 0);
    text = buffer;
  }
  string::CharView v = string::view_of(text);
  for (uint32_t i = 0; i < v.count; i++) nd.keys.push_back(v.at(i));
  stack::top = saved_top;
  return nd;
}

struct Hit {
  int64_t pos = -1;
  int64_t span = 0;
};

Hit search(Cell* series, Cell* value, Cell* part, bool case_, bool same, bool any, Cell* with,
           Cell* skip, bool last, bool reverse, bool match) {
  Hit hit;
  string::ScanPlan plan;
  if (!string::plan_scan(series, part, any, with, skip, last, reverse, match, &plan)) return hit;
  Needle nd = needle_of(value);
  hit.span = nd.set ? 1 : static_cast<int64_t>(nd.keys.size());
  if (hit.span == 0) return hit;   // an empty needle is found nowhere
  TypeId type = element_type(series);
  bool fold = type == TYPE_CHAR && !case_ && !same;
  if (fold)
    for (double& k : nd.keys) k = folded(k);
  SeriesBuffer* b = cell_buffer(series);
  const uint8_t* head = b->head_ptr();
  uint32_t size = b->unit();
  auto element = [&](int64_t i) {
    double k = key_at(head + size_t(i) * size, size, type);
    return fold ? folded(k) : k;
  };
  hit.pos = string::run_scan(plan, hit.span, [&](int64_t p) {
    if (nd.set) {
      double k = key_at(head + size_t(p) * size, size, type);
      return k >= 0 && k <= 0xFFFFFFFF && k == std::floor(k) &&
             bitset::has(nd.set, static_cast<uint32_t>(k));
    }
    for (size_t i = 0; i < nd.keys.size(); i++)
      if (element(p + int64_t(i)) != nd.keys[i]) return false;
    return true;
  });
  return hit;
}

// ---- sort -----------------------------------------------------------------------------------

struct Order {
  TypeId type;
  uint32_t size;                 // bytes per element
  const string::SortPlan* plan;
};

// Orders two records of elements; values that do not order (NaN) count as equal.
int32_t compare_records(const uint8_t* a, const uint8_t* b, int, uint32_t, void* context) {
  const Order& o = *static_cast<const Order*>(context);
  const string::SortPlan& plan = *o.plan;
  uint32_t from = plan.whole ? 0 : plan.offset;
  uint32_t to = plan.whole ? plan.size : plan.offset + 1;
  bool fold = o.type == TYPE_CHAR && plan.fold;
  for (uint32_t i = from; i < to; i++) {
    double x = key_at(a + size_t(i) * o.size, o.size, o.type);
    double y = key_at(b + size_t(i) * o.size, o.size, o.type);
    if (fold) {
      x = folded(x);
      y = folded(y);
    }
    int32_t c = x < y ? -1 : (x > y ? 1 : 0);
    if (c != 0) return plan.reverse ? -c : c;
  }
  return 0;
}

// Records handed to a function! comparator: elements as values, or whole records as vectors.
struct FunctionOrder {
  sort::FunctionCall* call;
  const std::vector<uint8_t>* bytes;   // the records as they were before sorting
  TypeId type;
  uint32_t size;
  const string::SortPlan* plan;
  Cell series;       // the sorted vector, to see that the function left its length alone
  int32_t length;
  Cell* scratch;     // two vectors on the argument stack for whole records
};

void fill_record(Cell* v, const uint8_t* p, uint32_t elements, uint32_t size) {
  SeriesBuffer* b = cell_buffer(v);
  std::memcpy(b->head_ptr(), p, size_t(elements) * size);
  b->tail = b->head + elements * size;
}

int32_t call_comparator(uint32_t a, uint32_t b, void* context) {
  auto* o = static_cast<FunctionOrder*>(context);
  const string::SortPlan& plan = *o->plan;
  size_t record = size_t(plan.size) * o->size;
  const uint8_t* pa = o->bytes->data() + a * record;
  const uint8_t* pb = o->bytes->data() + b * record;
  Cell first, second;
  if (plan.whole) {
    fill_record(&o->scratch[0], pa, plan.size, o->size);
    fill_record(&o->scratch[1], pb, plan.size, o->size);
    first = o->scratch[0];
    second = o->scratch[1];
  } else {
    element_value(&first, pa, o->size, o->type);
    element_value(&second, pb, o->size, o->type);
  }
  Cell answer = o->call->call(&first, &second);
  if (series::buffer_length(&o->series) != o->length)
    error::raise(ERR_SCRIPT, "invalid-arg", plan.function);
  int32_t c = sort::unit_answer(&answer);
  return plan.reverse ? -c : c;
}

void sort_with_function(Cell* series, int32_t idx, int32_t count, const string::SortPlan& plan) {
  TypeId type = element_type(series);
  uint32_t size = element_size(series);
  size_t bytes = size_t(count) * size;
  const uint8_t* from = cell_buffer(series)->head_ptr() + size_t(idx) * size;
  std::vector<uint8_t> copy(from, from + bytes);
  Cell* scratch = nullptr;
  if (plan.whole) {
    scratch = make_at(stack::new_cell(), plan.size, type, size);
    make_at(stack::new_cell(), plan.size, type, size);
  }
  Cell fn = *plan.function;
  sort::FunctionCall call(&fn);
  uint32_t records = static_cast<uint32_t>(count) / plan.size;
  std::vector<uint32_t> order(records);
  FunctionOrder o{&call, &copy, type, size, &plan, *series, series::buffer_length(series),
                  scratch};
  sort::sort_indexes(order.data(), records, call_comparator, &o);
  size_t record = size_t(plan.size) * size;
  uint8_t* to = cell_buffer(series)->head_ptr() + size_t(idx) * size;
  for (uint32_t r = 0; r < records; r++)
    std::memcpy(to + r * record, copy.data() + order[r] * record, record);
}

}  // namespace vector_search_detail

Cell* find(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
  vector_search_detail::Hit hit = vector_search_detail::search(
      series, value, part, case_, same, any, with, skip, last, reverse, match);
  Cell* result = stack::push(series);
  if (hit.pos < 0) return set_none(result);
  series::set_index(result, static_cast<int32_t>(tail ? hit.pos + hit.span : hit.pos));
  return result;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
  vector_search_detail::Hit hit = vector_search_detail::search(
      series, value, part, case_, same, any, with, skip, last, reverse, false);
  int64_t after = hit.pos + hit.span;
  if (hit.pos < 0 || after >= series::buffer_length(series))
    return set_none(stack::new_cell());
  return push_element(series, static_cast<uint32_t>(after));
}

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool) {
  using namespace vector_search_detail;
  int32_t idx = 0, count = 0;
  string::SortPlan plan;
  if (!string::plan_sort(series, case_, skip, comparator, part, all, reverse, &idx, &count,
                         &plan))
    return series;
  ownership::notify_before(series, ownership::Change::sort, nullptr, idx, count);
  // The owner may have changed the vector: sort what is still there.
  idx = series::clamp_index(series);
  int32_t len = series::buffer_length(series);
  if (count > len - idx) count = (len - idx) - (len - idx) % static_cast<int32_t>(plan.size);
  if (count <= 0) return series;
  if (plan.function) {
    sort_with_function(series, idx, count, plan);
  } else {
    Order o{element_type(series), element_size(series), &plan};
    uint8_t* base = cell_buffer(series)->head_ptr() + size_t(idx) * o.size;
    sort::merge_sort(base, static_cast<uint32_t>(count) / plan.size, plan.size * o.size, 0, 0,
                     compare_records, &o);
  }
  ownership::notify_after(series, ownership::Change::sort, nullptr, idx, count);
  return series;
}

}  // namespace tav::vector
