#include "core/sort.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/context.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "core/errors.h"
#include "core/evaluator_door.h"
#include "core/memory.h"
#include "core/ownership.h"
#include "platform/fatal.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"

namespace tav::sort {

namespace sort_detail {

// Runs shorter than this are lengthened by insertion before they are merged.
constexpr uint32_t MIN_RUN = 24;

// The order given by a caller's callback.
struct CallbackOrder {
  Compare compare;
  int op;
  uint32_t flags;
  void* context;
  int32_t operator()(const uint8_t* a, const uint8_t* b) const {
    return compare(a, b, op, flags, context);
  }
};

// integer! cells by their numbers, as the compare action orders them.
struct IntegerOrder {
  bool reverse;
  int32_t operator()(const uint8_t* a, const uint8_t* b) const {
    int32_t x, y;
    std::memcpy(&x, a + offsetof(Cell, data2), 4);
    std::memcpy(&y, b + offsetof(Cell, data2), 4);
    if (reverse) std::swap(x, y);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
};

template <typename Order>
struct Records {
  uint8_t* base;
  uint32_t width;
  Order order;
  uint8_t* at(uint32_t i) const { return base + size_t(i) * width; }
};

void copy_records(uint8_t* to, const uint8_t* from, uint32_t count, uint32_t width) {
  if (count) std::memmove(to, from, size_t(count) * width);
}

// One record from one place to another (never overlapping): merges move records one at a
// time, and a library call per record would cost more than the copy. Cells are the common
// width.
inline void copy_record(uint8_t* to, const uint8_t* from, uint32_t width) {
  if (width == sizeof(Cell)) {
    std::memcpy(to, from, sizeof(Cell));
  } else if (width % 8 == 0) {
    for (uint32_t i = 0; i < width; i += 8) std::memcpy(to + i, from + i, 8);
  } else {
    std::memcpy(to, from, width);
  }
}

// Extends the sorted stretch [start, end) to `to` by insertion: each record moves left by
// adjacent swaps while its neighbour sorts strictly after it (every step is a swap, so an
// error in the callback leaves a permutation).
template <typename Order>
void insert_until(const Records<Order>& r, uint32_t start, uint32_t end, uint32_t to) {
  for (uint32_t i = end; i < to; i++)
    for (uint32_t j = i; j > start && r.order(r.at(j - 1), r.at(j)) > 0; j--)
      swap_records(r.at(j - 1), r.at(j), r.width);
}

template <typename Order>
uint32_t find_run(const Records<Order>& r, uint32_t start, uint32_t n) {
  if (start + 1 >= n) return n;
  uint32_t i = start + 2;
  if (r.order(r.at(start), r.at(start + 1)) <= 0) {
    while (i < n && r.order(r.at(i - 1), r.at(i)) <= 0) i++;
    return i;
  }
  while (i < n && r.order(r.at(i - 1), r.at(i)) > 0) i++;
  for (uint32_t lo = start, hi = i - 1; lo < hi; lo++, hi--)
    swap_records(r.at(lo), r.at(hi), r.width);
  return i;
}

template <typename Order>
void merge_runs(const Records<Order>& r, uint32_t first, uint32_t middle, uint32_t last,
                uint8_t* temp) {
  uint32_t width = r.width;
  uint32_t left = middle - first, right = last - middle;
  if (left == 0 || right == 0) return;
  if (right < left) {
    // From the back: the right run waits in the temp area. The gap [l, out) always holds
    // exactly t records, which is where the temp records go back when a compare raises.
    copy_records(temp, r.at(middle), right, width);
    uint32_t l = middle, t = right, out = last;
    try {
      while (l > first && t > 0) {
        if (r.order(r.at(l - 1), temp + size_t(t - 1) * width) > 0) {
          copy_record(r.at(--out), r.at(--l), width);
        } else {
          copy_record(r.at(--out), temp + size_t(--t) * width, width);
        }
      }
    } catch (...) {
      copy_records(r.at(l), temp, t, width);
      throw;
    }
    copy_records(r.at(first), temp, t, width);
  } else {
    // From the front: the left run waits in the temp area; the gap [out, rr) holds exactly
    // left - t records.
    copy_records(temp, r.at(first), left, width);
    uint32_t t = 0, rr = middle, out = first;
    try {
      while (t < left && rr < last) {
        if (r.order(temp + size_t(t) * width, r.at(rr)) <= 0) {
          copy_record(r.at(out++), temp + size_t(t++) * width, width);
        } else {
          copy_record(r.at(out++), r.at(rr++), width);
        }
      }
    } catch (...) {
      copy_records(r.at(out), temp + size_t(t) * width, left - t, width);
      throw;
    }
    copy_records(r.at(out), temp + size_t(t) * width, left - t, width);
  }
}

// The power of the boundary between two adjacent runs: how deep in a balanced merge tree
// over n records the two runs would meet (a and b are twice the runs' midpoints).
uint32_t boundary_power(uint64_t start1, uint64_t end1, uint64_t start2, uint64_t end2,
                        uint64_t n) {
  uint64_t a = start1 + end1, b = start2 + end2;
  uint32_t power = 0;
  for (;;) {
    if ((a < n) != (b < n)) break;
    if (a >= n) {
      a -= n;
      b -= n;
    }
    power++;
    a *= 2;
    b *= 2;
  }
  return power;
}

// The platform heap's temp area, released on every exit.
struct TempArea {
  uint8_t* p;
  explicit TempArea(size_t bytes) : p(static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1))) {
    if (!p) fatal_exit(RUNTIME_ERROR_OUT_OF_MEMORY, 0);
  }
  ~TempArea() { std::free(p); }
  TempArea(const TempArea&) = delete;
  TempArea& operator=(const TempArea&) = delete;
};

template <typename Order>
void merge_sort(const Records<Order>& r, uint32_t n) {
  if (n < 2) return;
  uint64_t temp_bytes = uint64_t(n / 2) * r.width;
  if (temp_bytes > 0xFFFFFFFFull) error::raise(ERR_SCRIPT, "too-long");
  TempArea temp(static_cast<size_t>(temp_bytes));

  // A natural run, lengthened to MIN_RUN records by insertion when shorter.
  auto next_run = [&](uint32_t start) {
    uint32_t end = find_run(r, start, n);
    if (end - start < MIN_RUN && end < n) {
      uint32_t to = n - start < MIN_RUN ? n : start + MIN_RUN;
      insert_until(r, start, end, to);
      end = to;
    }
    return end;
  };

  struct Pending {
    uint32_t start;
    uint32_t power;
  };
  Pending stack[64] = {};   // powers grow by at least one per entry: log2(2^32) + 1 suffices
  uint32_t depth = 0;
  uint32_t start1 = 0, end1 = next_run(0);
  while (end1 < n) {
    uint32_t start2 = end1, end2 = next_run(start2);
    uint32_t power = boundary_power(start1, end1, start2, end2, n);
    while (depth > 0 && stack[depth - 1].power >= power) {
      uint32_t s = stack[--depth].start;
      merge_runs(r, s, start1, end1, temp.p);
      start1 = s;
    }
    stack[depth++] = Pending{start1, power};
    start1 = start2;
    end1 = end2;
  }
  while (depth > 0) {
    uint32_t s = stack[--depth].start;
    merge_runs(r, s, start1, n, temp.p);
    start1 = s;
  }
}

}  // namespace sort_detail

void swap_records(uint8_t* a, uint8_t* b, uint32_t width) {
  if (width % 4 == 0) {
    for (uint32_t i = 0; i < width; i += 4) {
      uint32_t x, y;
      std::memcpy(&x, a + i, 4);
      std::memcpy(&y, b + i, 4);
      std::memcpy(a + i, &y, 4);
      std::memcpy(b + i, &x, 4);
    }
  } else {
    for (uint32_t i = 0; i < width; i++) {
      uint8_t t = a[i];
      a[i] = b[i];
      b[i] = t;
    }
  }
}

uint32_t find_run(uint8_t* base, uint32_t start, uint32_t n, uint32_t width, int op,
                  uint32_t flags, Compare compare, void* context) {
  sort_detail::Records<sort_detail::CallbackOrder> r{base, width, {compare, op, flags, context}};
  return sort_detail::find_run(r, start, n);
}

void merge_runs(uint8_t* base, uint32_t first, uint32_t middle, uint32_t last, uint32_t width,
                uint8_t* temp, int op, uint32_t flags, Compare compare, void* context) {
  sort_detail::Records<sort_detail::CallbackOrder> r{base, width, {compare, op, flags, context}};
  sort_detail::merge_runs(r, first, middle, last, temp);
}

void merge_sort(uint8_t* base, uint32_t n, uint32_t width, int op, uint32_t flags,
                Compare compare, void* context) {
  sort_detail::Records<sort_detail::CallbackOrder> r{base, width, {compare, op, flags, context}};
  sort_detail::merge_sort(r, n);
}

bool sort_integer_cells(Cell* cells, uint32_t n, bool reverse) {
  for (uint32_t i = 0; i < n; i++)
    if (!cells[i].is(TYPE_INTEGER)) return false;
  sort_detail::Records<sort_detail::IntegerOrder> r{reinterpret_cast<uint8_t*>(cells),
                                                    static_cast<uint32_t>(sizeof(Cell)),
                                                    {reverse}};
  sort_detail::merge_sort(r, n);
  return true;
}

// ---- Ordering with a user function -------------------------------------------------------

namespace sort_detail {
constexpr const char* SLOT_NAMES[2] = {"value1", "value2"};
}

FunctionCall::FunctionCall(const Cell* fn) : fn_(*fn) {
  code_ = alloc::new_cells(3);
  // Rooted on the argument stack: the block holds the function and, through its get-words,
  // the slots' context.
  *stack::new_cell() = make_cell(TYPE_BLOCK, 0, code_);
  SeriesBuffer* b = node_buffer(code_);
  b->cells()[0] = fn_;
  set_unset(b->cells() + 1);
  set_unset(b->cells() + 2);
  b->tail = b->head + 3 * sizeof(Cell);
  slots_ = context::make(context::KIND_OBJECT, 2);
  Cell unset = make_cell(TYPE_UNSET);
  for (uint32_t k = 0; k < 2; k++) {
    uint32_t sym = symbol::make(sort_detail::SLOT_NAMES[k]);
    context::add_word(slots_, sym, &unset);
    // The get-word keeps the slots' context alive as long as the code block lives.
    node_buffer(code_)->cells()[1 + k] = make_cell(TYPE_GET_WORD, slots_, sym, k);
  }
  // Arguments written as :arg take what stands in the code, so they get the value itself.
  uint32_t literal = evaluator_door::literal_arguments(&fn_, 2);
  for (uint32_t k = 0; k < 2; k++) literal_[k] = (literal >> k) & 1;
}

Cell FunctionCall::call(const Cell* first, const Cell* second) {
  const Cell* values[2] = {first, second};
  for (uint32_t k = 0; k < 2; k++) {
    *context::slot_value_cell(slots_, k) = *values[k];
    if (literal_[k]) node_buffer(code_)->cells()[1 + k] = *values[k];
  }
  Cell* mark = stack::top;
  Status s = evaluator_door::call_in_code(&fn_, code_, 1, trace::CALLBACK_SORT);
  if (s != CODE_NONE) stack::rethrow_status(s);
  Cell answer = *(stack::top - 1);
  stack::top = mark;
  return answer;
}

namespace sort_detail {

struct IndexOrder {
  IndexCompare compare;
  void* context;
};

int32_t compare_indexes(const uint8_t* a, const uint8_t* b, int, uint32_t, void* context) {
  uint32_t x, y;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  auto* order = static_cast<IndexOrder*>(context);
  return order->compare(x, y, order->context);
}

}  // namespace sort_detail

void sort_indexes(uint32_t* indexes, uint32_t n, IndexCompare compare, void* context) {
  for (uint32_t i = 0; i < n; i++) indexes[i] = i;
  sort_detail::IndexOrder order{compare, context};
  merge_sort(reinterpret_cast<uint8_t*>(indexes), n, 4, 0, 0, sort_detail::compare_indexes,
             &order);
}

// ---- Text with a user function -----------------------------------------------------------

namespace sort_detail {

struct TextOrder {
  FunctionCall* call;
  const std::vector<uint32_t>* chars;
  uint32_t size;
  bool all;
  bool reverse;
  Cell series;          // the sorted string, to see that the function left its length alone
  int32_t length;
  Cell* scratch;        // two strings on the argument stack for whole records
  Cell fn;
};

}  // namespace sort_detail

int32_t unit_answer(const Cell* answer) {
  switch (answer->type()) {
    case TYPE_LOGIC: return answer->data1 ? -1 : 1;
    case TYPE_NONE: return 1;
    case TYPE_INTEGER: return answer->int_value() < 0 ? -1 : (answer->int_value() > 0 ? 1 : 0);
    case TYPE_FLOAT: {
      double d = answer->float_value();
      return d < 0.0 ? -1 : (d > 0.0 ? 1 : 0);
    }
    default: return -1;
  }
}

namespace sort_detail {

void fill_record(NodeId n, const std::vector<uint32_t>& chars, uint32_t from, uint32_t size) {
  string::truncate(n, 0);
  for (uint32_t k = 0; k < size; k++) string::append_char(n, chars[from + k]);
}

int32_t compare_text_records(uint32_t a, uint32_t b, void* context) {
  auto* o = static_cast<TextOrder*>(context);
  const std::vector<uint32_t>& chars = *o->chars;
  Cell first, second;
  if (o->all) {
    fill_record(o->scratch[0].node(), chars, a * o->size, o->size);
    fill_record(o->scratch[1].node(), chars, b * o->size, o->size);
    first = o->scratch[0];
    second = o->scratch[1];
  } else {
    set_char(&first, chars[size_t(a) * o->size]);
    set_char(&second, chars[size_t(b) * o->size]);
  }
  Cell answer = o->call->call(&first, &second);
  if (series::buffer_length(&o->series) != o->length)
    error::raise(ERR_SCRIPT, "invalid-arg", &o->fn);
  int32_t c = unit_answer(&answer);
  return o->reverse ? -c : c;
}

}  // namespace sort_detail

Cell* sort_text_with_function(Cell* series, int32_t count, uint32_t size, bool all,
                              bool reverse, const Cell* fn) {
  using namespace sort_detail;
  int32_t idx = series::clamp_index(series);
  ownership::notify_before(series, ownership::Change::sort, nullptr, idx, count);
  // The owner may have changed the string: sort what is still there.
  idx = series::clamp_index(series);
  int32_t len = series::buffer_length(series);
  if (count > len - idx) count = (len - idx) - (len - idx) % static_cast<int32_t>(size);
  if (count <= 0) return series;

  std::vector<uint32_t> chars(static_cast<size_t>(count));
  {
    string::CharView v = string::view_of(series);
    for (int32_t i = 0; i < count; i++) chars[size_t(i)] = v.at(static_cast<uint32_t>(i));
  }
  Cell* scratch = nullptr;
  if (all) {
    scratch = string::make_at(stack::new_cell(), size);
    string::make_at(stack::new_cell(), size);
  }
  FunctionCall call(fn);
  uint32_t records = static_cast<uint32_t>(count) / size;
  std::vector<uint32_t> order(records);
  TextOrder o{&call, &chars, size, all, reverse, *series, len, scratch, *fn};
  sort_indexes(order.data(), records, compare_text_records, &o);

  NodeId n = series->node();
  uint32_t at = static_cast<uint32_t>(idx);
  for (uint32_t r = 0; r < records; r++)
    for (uint32_t k = 0; k < size; k++) string::poke_char(n, at++, chars[size_t(order[r]) * size + k]);
  ownership::notify_after(series, ownership::Change::sort, nullptr, idx, count);
  return series;
}

}  // namespace tav::sort
