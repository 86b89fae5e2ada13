#include "datatypes/file.h"

#include <algorithm>

#include "datatypes/string.h"
#include "datatypes/url.h"
#include "core/errors.h"
#include "platform/platform.h"
#include "services/simple_io.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::file {

namespace file_detail {

// Characters a file name shows as they are, unquoted: the url characters, less those that end
// a file token in the scanner ("(", ")", ":" and "@").
inline bool plain(uint32_t c) {
  return url::in_url_class(c) && c != '(' && c != ')' && c != ':' && c != '@';
}

// Characters that cannot stand inside %"...": the quote ends it, "^" starts an escape, "%"
// is an escape of its own, line breaks and other controls do not scan, and a stand-in for a
// raw byte is not text. A name holding one is written unquoted, percent-encoded.
inline bool unquotable(uint32_t c) {
  return c < 0x20 || c == '"' || c == '%' || c == '^' || (c >= 0xD800 && c <= 0xDFFF);
}

void append_escaped(NodeId out, uint32_t c) {
  uint8_t bytes[4];
  int len;
  if (c >= 0xDC80 && c <= 0xDCFF) {
    bytes[0] = static_cast<uint8_t>(c - 0xDC00);
    len = 1;
  } else {
    len = unicode::encode_utf8_char(c, bytes);
  }
  for (int i = 0; i < len; i++) {
    string::append_char(out, '%');
    string::append_ascii(out, string::byte_to_hex(bytes[i]));
  }
}

}  // namespace file_detail

Cell* get_current_dir() {
  std::string dir = platform::get_current_dir();
  Cell* out = string::make_at(stack::new_cell(), static_cast<uint32_t>(dir.size()));
  simple_io::append_system_name(out->node(), dir.data(), dir.size());
  out->set_type(TYPE_FILE);
  return out;
}

void to_local_path(const Cell* file, Cell* out, bool absolute) {
  uint32_t file_at = stack::index_of(stack::push(file));
  uint32_t out_at = stack::index_of(stack::push(out));
  bool relative = string::length(file) == 0 || string::char_at(file, 0) != '/';
  if (absolute && relative) {
    std::string dir = platform::get_current_dir();
    simple_io::append_system_name(out->node(), dir.data(), dir.size());
  }
  string::append_string(stack::at_index(out_at)->node(), stack::at_index(file_at));
  stack::pop(2);
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  using namespace file_detail;
  NodeId out = buffer->node();
  string::append_char(out, '%');
  uint32_t len = string::length(value);
  if (len == 0) {
    string::append_ascii(out, "\"\"");
    return limit - 1;
  }
  uint32_t count = part ? std::min<uint32_t>(len, static_cast<uint32_t>(std::max(limit, 0))) : len;
  NodeId n = value->node();
  uint32_t from = string::clamped_index(value);
  bool quotes = false, escapes = false;
  for (uint32_t i = 0; i < count; i++) {
    uint32_t c = string::char_at(n, from + i);
    if (unquotable(c)) escapes = true;
    else if (c <= 126 && !plain(c)) quotes = true;
  }
  if (escapes) {
    for (uint32_t i = 0; i < count; i++) {
      uint32_t c = string::char_at(n, from + i);
      if (plain(c) || (c > 0x7F && !unquotable(c))) string::append_char(out, c);
      else append_escaped(out, c);
    }
  } else {
    if (quotes) string::append_char(out, '"');
    string::append_units(out, n, from, count);
    if (quotes) string::append_char(out, '"');
  }
  return limit - static_cast<int>(count) - 1;
}

Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
  if (as) error::raise(ERR_INTERNAL, "not-done");
  return simple_io::read(source, part, seek, binary, lines, info);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as) {
  if (allow || as) error::raise(ERR_INTERNAL, "not-done");
  simple_io::write(destination, data, part, seek, binary, append, lines);
  return set_unset(stack::new_cell());
}

Cell* query(Cell* target) { return simple_io::query_date(target, stack::new_cell()); }

Cell* delete_(Cell* target) { return set_logic(stack::new_cell(), simple_io::delete_(target)); }

Cell* rename(Cell* from, Cell* to) {
  if (!is_any_string(to->type())) error::raise(ERR_SCRIPT, "invalid-arg", to);
  return set_logic(stack::new_cell(), simple_io::rename(from, to));
}

}  // namespace tav::file

namespace tav::file_type {

void init() {
  datatype::register_type(TYPE_FILE, TYPE_URL, "file!", {
      inherit(ACT_MAKE), inherit(ACT_TO), inherit(ACT_FORM), inherit(ACT_EVAL_PATH),
      inherit(ACT_COMPARE), inherit(ACT_APPEND), inherit(ACT_AT), inherit(ACT_BACK),
      inherit(ACT_CHANGE), inherit(ACT_CLEAR), inherit(ACT_COPY), inherit(ACT_FIND),
      inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q), inherit(ACT_INSERT),
      inherit(ACT_LENGTH_Q), inherit(ACT_MOVE), inherit(ACT_NEXT), inherit(ACT_PICK),
      inherit(ACT_POKE), inherit(ACT_REMOVE), inherit(ACT_REVERSE), inherit(ACT_SELECT),
      inherit(ACT_SKIP), inherit(ACT_SWAP), inherit(ACT_TAIL), inherit(ACT_TAIL_Q),
      inherit(ACT_TAKE), inherit(ACT_MODIFY),
      on<ACT_MOLD>(&file::mold),
      on<ACT_READ>(&file::read),
      on<ACT_WRITE>(&file::write),
      on<ACT_QUERY>(&file::query),
      on<ACT_DELETE>(&file::delete_),
      on<ACT_RENAME>(&file::rename),
  });
}

}  // namespace tav::file_type
