// string! search: find, select and path access.
#include <algorithm>

#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/stack.h"

namespace tav::string {

namespace string_search_detail {

struct Hit {
  int32_t pos = -1;    // where the match starts; -1 when none
  int32_t span = 0;    // characters the match covers
};

// The needle as characters: one code point, or a string-like value's text.
struct Needle {
  uint32_t single = 0;
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
  int32_t len = series::buffer_length(series);
  int32_t idx = series::index_of(series);
  if (idx < 0) idx = 0;
  if (idx > len) idx = len;
  if (len == 0 || (idx >= len && !reverse)) return hit;
  if (any || with) error::raise(ERR_INTERNAL, "not-done");
  int32_t step = 1;
  if (skip) {
    if (!skip->is(TYPE_INTEGER)) actions::raise_invalid_refine("skip", skip);
    if (skip->int_value() < 1) error::raise(ERR_SCRIPT, "out-of-range", skip);
    step = skip->int_value();
  }
  bool backward = last || reverse;
  if (reverse && !last && match) return hit;
  // The range searched: [lo, hi) in characters from the buffer head.
  int64_t lo = backward && !last ? 0 : idx;
  int64_t hi = backward && !last ? idx : len;
  if (part) {
    int32_t count = series::part_count(series, part);
    if (count < 1) return hit;
    if (backward && !last) lo = std::max<int64_t>(0, int64_t(idx) - count);
    else hi = std::min<int64_t>(len, int64_t(idx) + count);
  }
  Cell* saved_top = stack::top;
  Needle nd = needle_of(series, value);
  stack::top = saved_top;   // the needle's text is read below, where nothing allocates
  if (nd.count == 0) return hit;   // an empty text is found nowhere
  hit.span = static_cast<int32_t>(nd.count);
  bool fold = is_any_string(series->type()) && !case_ && !same;
  SeriesBuffer* b = cell_buffer(series);
  CharView hay{b->head_ptr(), b->unit(), static_cast<uint32_t>(len)};
  CharView needle = nd.text ? view_of(nd.text) : CharView{};
  int64_t n = nd.count;
  if (!backward) {
    for (int64_t p = lo; p + n <= hi; p += step) {
      if (matches_at(hay, p, nd, needle, fold)) {
        hit.pos = static_cast<int32_t>(p);
        break;
      }
      if (match) break;
    }
    return hit;
  }
  // Backward: the candidate is the needle's length ending at each position.
  for (int64_t end = hi - 1; end - n + 1 >= lo; end -= step) {
    if (matches_at(hay, end - n + 1, nd, needle, fold)) {
      hit.pos = static_cast<int32_t>(end - n + 1);
      break;
    }
    if (match) break;
  }
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
  if (!value) return select(parent, element, nullptr, false, false, false, false, nullptr,
                            nullptr, false, false);
  string_search_detail::Hit hit = string_search_detail::search(
      parent, element, nullptr, false, false, false, nullptr, nullptr, false, false, false);
  if (hit.pos < 0) error::raise(ERR_SCRIPT, "bad-path-set", path, element);
  // The character after the whole key: the one a read of the same path answers.
  Cell at = *parent;
  series::set_index(&at, 0);
  return series_action::poke(&at, hit.pos + hit.span + 1, value, element);
}

}  // namespace tav::string
