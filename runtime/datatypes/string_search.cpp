// string! search: find, select and path access.
#include <algorithm>

#include "datatypes/bitset.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "datatypes/string_scan.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/stack.h"

namespace tav::string {

bool plan_scan(Cell* series, Cell* part, bool any, Cell* with, Cell* skip, bool last,
               bool reverse, bool match, ScanPlan* plan) {
  int32_t len = series::buffer_length(series);
  int32_t idx = series::index_of(series);
  if (idx < 0) idx = 0;
  if (idx > len) idx = len;
  if (len == 0 || (idx >= len && !reverse)) return false;
  if (any || with) error::raise(ERR_INTERNAL, "not-done");
  int32_t step = 1;
  if (skip) {
    if (!skip->is(TYPE_INTEGER)) actions::raise_invalid_refine("skip", skip);
    if (skip->int_value() < 1) error::raise(ERR_SCRIPT, "out-of-range", skip);
    step = skip->int_value();
  }
  bool backward = last || reverse;
  if (reverse && !last && match) return false;
  int64_t lo = backward && !last ? 0 : idx;
  int64_t hi = backward && !last ? idx : len;
  if (part) {
    int32_t count = series::part_count(series, part);
    if (count < 1) return false;
    if (backward && !last) lo = std::max<int64_t>(0, int64_t(idx) - count);
    else hi = std::min<int64_t>(len, int64_t(idx) + count);
  }
  *plan = ScanPlan{lo, hi, idx, step, backward, match};
  return true;
}

namespace string_search_detail {

struct Hit {
  int32_t pos = -1;    // where the match starts; -1 when none
  int32_t span = 0;    // characters the match covers
};

// The needle as characters: one code point, any member of a bitset, or a string-like value's
// text.
struct Needle {
  uint32_t single = 0;
  const Cell* set = nullptr;    // a bitset!: one character that is a member
  const Cell* text = nullptr;   // null for a single character
  uint32_t count = 1;
};

// Makes the needle for a value; may push a string on the argument stack (formed values,
// names of words). The caller restores the stack top afterwards.
Needle needle_of(const Cell* series, const Cell* value) {
  Needle nd;
  TypeId t = value->type();
  if (t == TYPE_CHAR) {
    nd.single = value->data2;
    return nd;
  }
  if (t == TYPE_BITSET) {
    nd.set = value;
    return nd;
  }
  if (t == TYPE_BINARY) {
    if (!series->is(TYPE_BINARY)) error::raise(ERR_SCRIPT, "invalid-arg", value);
    nd.text = value;
  } else if (is_any_string(t) && t != TYPE_TAG) {
    nd.text = value;
  } else if (t == TYPE_WORD) {
    nd.text = text_of_value(value);
  } else {
    Cell* buffer = make_at(stack::new_cell(), 16);
    Cell copy = *value;
    actions::form_direct(&copy, buffer, nullptr, 0);
    nd.text = buffer;
  }
  Cell v = *nd.text;
  nd.count = series::length(&v, false);
  return nd;
}

// Answers whether the needle stands at pos in the series (count characters from pos).
bool matches_at(const CharView& hay, int64_t pos, const Needle& nd, const CharView& needle,
                bool fold) {
  if (!nd.text) {
    uint32_t c = hay.at(static_cast<uint32_t>(pos));
    // A bitset names its members exactly: case folding does not apply.
    if (nd.set) return bitset::has(nd.set, c);
    return fold ? fold_char(c) == fold_char(nd.single) : c == nd.single;
  }
  for (uint32_t k = 0; k < nd.count; k++) {
    uint32_t a = hay.at(static_cast<uint32_t>(pos + k));
    uint32_t b = needle.at(k);
    if (fold ? fold_char(a) != fold_char(b) : a != b) return false;
  }
  return true;
}

Hit search(Cell* series, Cell* value, Cell* part, bool case_, bool same, bool any, Cell* with,
           Cell* skip, bool last, bool reverse, bool match) {
  Hit hit;
  ScanPlan plan;
  if (!plan_scan(series, part, any, with, skip, last, reverse, match, &plan)) return hit;
  Cell* saved_top = stack::top;
  Needle nd = needle_of(series, value);
  stack::top = saved_top;   // the needle's text is read below, where nothing allocates
  if (nd.count == 0) return hit;   // an empty text is found nowhere
  hit.span = static_cast<int32_t>(nd.count);
  bool fold = is_any_string(series->type()) && !case_ && !same;
  SeriesBuffer* b = cell_buffer(series);
  CharView hay{b->head_ptr(), b->unit(), b->count()};
  CharView needle = nd.text ? view_of(nd.text) : CharView{};
  auto at = [&](int64_t p) { return matches_at(hay, p, nd, needle, fold); };
  if (hay.unit == 1 && !plan.backward && plan.step == 1 && !plan.match) {
    // Only the bytes that can begin the needle are tried.
    ByteSet first = nd.set ? bytes_of_bitset(nd.set)
                           : bytes_equal_to(nd.text ? needle.at(0) : nd.single,
                                            fold ? Fold::upper : Fold::none);
    hit.pos = static_cast<int32_t>(scan_bytes(hay.p, plan.lo, plan.hi - nd.count + 1, first, at));
    return hit;
  }
  hit.pos = static_cast<int32_t>(run_scan(plan, nd.count, at));
  return hit;
}

}  // namespace string_search_detail

Cell* find(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
  string_search_detail::Hit hit = string_search_detail::search(
      series, value, part, case_, same, any, with, skip, last, reverse, match);
  Cell* result = stack::push(series);
  if (hit.pos < 0) return set_none(result);
  series::set_index(result, tail ? hit.pos + hit.span : hit.pos);
  return result;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
  string_search_detail::Hit hit = string_search_detail::search(
      series, value, part, case_, same, any, with, skip, last, reverse, false);
  Cell* result = stack::new_cell();
  int32_t after = hit.pos + hit.span;
  if (hit.pos < 0 || after >= series::buffer_length(series)) return set_none(result);
  if (series->is(TYPE_BINARY)) return set_integer(result, *series::unit_at(series, after));
  return set_char(result, string::char_at(series->node(), static_cast<uint32_t>(after)));
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool, bool, bool) {
  if (element->is(TYPE_INTEGER)) {
    int n = element->int_value();
    if (!value) return series_action::pick(parent, n, element);
    return series_action::poke(parent, n, value, element);
  }
  if (element->is(TYPE_WORD)) error::raise(ERR_SCRIPT, "invalid-path", path, element);
  // Through the actions, so a kind with its own search (vector!) keys its paths by it.
  if (!value) return actions::select_direct(parent, element, nullptr, false, false, false,
                                            false, nullptr, nullptr, false, false);
  Cell* found = actions::find_direct(parent, element, nullptr, false, false, false, false,
                                     nullptr, nullptr, false, false, true, false);
  if (found->is(TYPE_NONE)) error::raise(ERR_SCRIPT, "bad-path-set", path, element);
  // The unit after the whole key: the one a read of the same path answers.
  int32_t after = series::index_of(found);
  Cell at = *parent;
  series::set_index(&at, 0);
  return series_action::poke(&at, after + 1, value, element);
}

}  // namespace tav::string
