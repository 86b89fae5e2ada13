#include "datatypes/email.h"

#include "core/errors.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"

namespace tav::email {

namespace email_detail {

// The characters one path word designates: from `start`, `count` of them (buffer offsets).
struct Span {
  uint32_t start;
  uint32_t count;
  bool found;   // false: the host of an email that has no "@"
};

Span span_of(const Cell* email, bool user) {
  NodeId n = email->node();
  uint32_t from = string::clamped_index(email);
  uint32_t end = string::length(n);
  uint32_t at = from;
  while (at < end && string::char_at(n, at) != '@') at++;
  if (user) return {from, at - from, true};
  if (at == end) return {end, 0, false};
  return {at + 1, end - at - 1, true};
}

Cell* get(const Cell* email, Span s) {
  NodeId n = email->node();
  Cell* out = string::make_at(stack::new_cell(), s.count, string::unit_of(n));
  NodeId o = out->node();
  for (uint32_t i = 0; i < s.count; i++) string::append_char(o, string::char_at(n, s.start + i));
  return out;
}

Cell* set(const Cell* email, Span s, Cell* value) {
  Cell* kept = stack::push(value);
  uint32_t kept_at = stack::index_of(kept);
  Cell* target = stack::push(email);
  // A host set on an email with no "@" gets its "@" first, so the text stays an address.
  if (!s.found) string::append_char(target->node(), '@');
  series::set_index(target, static_cast<int32_t>(s.start + (s.found ? 0 : 1)));
  string::change(target, stack::at_index(kept_at), static_cast<int>(s.count), false, 1);
  Cell result = *stack::at_index(kept_at);
  stack::pop(2);
  return stack::push(&result);
}

}  // namespace email_detail

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return string::form(value, buffer, part, limit);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt) {
  if (element->is(TYPE_INTEGER))
    return string::eval_path(parent, element, value, path, grand_parent, prev_element, index,
                             case_, get, tail, evt);
  if (element->is(TYPE_WORD)) {
    uint32_t w = symbol::alias(element->data2);
    bool user = w == symbol::alias(symbols::user);
    if (user || w == symbol::alias(symbols::host)) {
      email_detail::Span s = email_detail::span_of(parent, user);
      return value ? email_detail::set(parent, s, value) : email_detail::get(parent, s);
    }
  }
  error::raise(ERR_SCRIPT, "invalid-path", path, element);
}

}  // namespace tav::email

namespace tav::email_type {

void init() {
  string_type::register_text_kind(TYPE_EMAIL, "email!", {
      on<ACT_MOLD>(&email::mold),
      on<ACT_EVAL_PATH>(&email::eval_path),
  });
}

}  // namespace tav::email_type
