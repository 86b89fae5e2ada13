// Writing an object as text: the fields as word: value pairs, for mold and for form.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/cycles.h"
#include "datatypes/object.h"
#include "datatypes/object_internal.h"
#include "datatypes/string.h"
#include "datatypes/type_dispatch.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::object {

namespace object_detail {

// Counts written text against a limit the way mold does: one per character.
uint32_t utf8_chars(const char* s, size_t n) {
  uint32_t k = 0;
  for (size_t i = 0; i < n; i++)
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) k++;
  return k;
}

int put_text(NodeId out, const char* s, int limit) {
  size_t n = std::strlen(s);
  string::append_utf8(out, reinterpret_cast<const uint8_t*>(s), n);
  return limit - static_cast<int>(utf8_chars(s, n));
}

int put_symbol(NodeId out, uint32_t sym, int limit) {
  symbol::Name name = symbol::name(sym);
  std::string copy(name.bytes, name.length);   // the name may move while the buffer grows
  string::append_utf8(out, reinterpret_cast<const uint8_t*>(copy.data()), copy.size());
  return limit - static_cast<int>(utf8_chars(copy.data(), copy.size()));
}

int put_spaces(NodeId out, int n, int limit) {
  for (int i = 0; i < n; i++) string::append_char(out, ' ');
  return limit - n;
}

}  // namespace object_detail

int mold_fields(Cell* obj_in, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                int limit, int indent, bool mold) {
  using namespace object_detail;
  Cell* obj = stack::push(obj_in);
  NodeId ctx = context_of(obj);
  NodeId out = buffer->node();
  uint32_t n = count(ctx);
  if (n == 0) {
    stack::pop(1);
    return limit;
  }
  bool indenting = !flat && !only && indent > 0;
  const char* separator = indenting || (!flat && !mold) ? "\n" : " ";
  if (mold && indenting) limit = put_text(out, "\n", limit);
  uint32_t on_change = symbol::alias(words::on_change_star.data2);
  uint32_t on_deep = symbol::alias(words::on_deep_change_star.data2);
  cycles::push(ctx);
  try {
    bool first = true;
    for (uint32_t i = 0; i < n && (!part || limit > 0); i++) {
      uint32_t sym = word_cell(ctx, i)->data2;
      uint32_t folded = symbol::alias(sym);
      if (!all && (folded == on_change || folded == on_deep)) continue;
      if (!first) limit = put_text(out, separator, limit);
      first = false;
      if (indenting) limit = put_spaces(out, 4 * indent, limit);
      limit = put_symbol(out, sym, limit);
      limit = put_text(out, ": ", limit);
      Cell* v = stack::push(values(ctx) + i);
      if (v->type() == TYPE_NONE_ID) set_unset(v);
      v->header &= ~FLAG_NEW_LINE;
      if (mold) {
        if (v->is(TYPE_WORD)) limit = put_text(out, "'", limit);
        limit = actions::mold_direct(v, buffer, false, all, flat, part, limit, indent);
      } else {
        limit = actions::form_direct(v, buffer, part, limit);
      }
      stack::pop(1);
    }
    if (indenting && !first) limit = put_text(out, "\n", limit);
  } catch (...) {
    cycles::pop();
    throw;
  }
  cycles::pop();
  stack::pop(1);
  return limit;
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  if (cycles::find(context_of(value)))
    return object_detail::put_text(buffer->node(), "...", limit);
  return mold_fields(value, buffer, false, false, false, part, limit, 0, false);
}

int mold_made(const char* head, Cell* value, Cell* buffer, bool only, bool all, bool flat,
              Cell* part, int limit, int indent) {
  string::append_ascii(buffer->node(), head);
  limit -= static_cast<int>(std::strlen(head));
  limit = mold_fields(value, buffer, only, all, flat, part, limit, indent + 1, true);
  if (!flat && indent > 0) {
    for (int i = 0; i < 4 * indent; i++) string::append_char(buffer->node(), ' ');
    limit -= 4 * indent;
  }
  string::append_ascii(buffer->node(), "]");
  return limit - 1;
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  NodeId out = buffer->node();
  if (cycles::find(context_of(value)))
    return object_detail::put_text(out, "make object! [...]", limit);
  if (!only) limit = object_detail::put_text(out, "make object! [", limit);
  limit = mold_fields(value, buffer, only, all, flat, part, limit, indent + 1, true);
  if (!flat && indent > 0 && field_count(value) > 0 && !only)
    limit = object_detail::put_spaces(out, 4 * indent, limit);
  if (!only) limit = object_detail::put_text(out, "]", limit);
  return limit;
}

}  // namespace tav::object
