#include "datatypes/url.h"

#include <array>
#include <climits>

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "datatypes/type_dispatch.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::url {

namespace url_detail {

using Table = std::array<bool, 128>;

constexpr Table make_table(const char* extra) {
  Table t{};
  for (int c = '0'; c <= '9'; c++) t[c] = true;
  for (int c = 'A'; c <= 'Z'; c++) t[c] = true;
  for (int c = 'a'; c <= 'z'; c++) t[c] = true;
  for (const char* p = "-._~"; *p; p++) t[static_cast<unsigned char>(*p)] = true;
  for (const char* p = extra; *p; p++) t[static_cast<unsigned char>(*p)] = true;
  return t;
}

constexpr Table unreserved = make_table("");
constexpr Table url_chars = make_table("!#$&'()*+,/:=?@");
// What url!'s mold leaves as it is: the scanner ends a url token at "(" and ")", so those
// are written escaped or the url would not load back.
constexpr Table url_mold_chars = make_table("!#$&'*+,/:=?@");

inline bool in(const Table& t, uint32_t c) { return c < 128 && t[c]; }

constexpr char hex_digits[] = "0123456789ABCDEF";

inline void append_escape(NodeId out, uint8_t byte) {
  char text[4] = {'%', hex_digits[byte >> 4], hex_digits[byte & 15], '\0'};
  string::append_ascii(out, text);
}

// The UTF-8 bytes of one character into bytes (at most 4); a U+DC80-U+DCFF stand-in gives
// back its raw byte. A character above U+10FFFF raises invalid-char.
int char_bytes(uint32_t cp, uint8_t* bytes) {
  if (cp >= 0xDC80 && cp <= 0xDCFF) {
    bytes[0] = static_cast<uint8_t>(cp - 0xDC00);
    return 1;
  }
  int n = unicode::encode_utf8_char(cp, bytes);
  if (n == 0) {
    Cell bad;
    set_integer(&bad, static_cast<int32_t>(cp));
    error::raise(ERR_SCRIPT, "invalid-char", &bad);
  }
  return n;
}

// Encodes source's characters from its index, keeping the table's bytes; stops once max
// characters are out (max < 0: no limit; the caller cuts an escape that overshoots).
// Answers the characters written.
uint32_t encode_with(const Cell* source, NodeId out, const Table& keep, int64_t max) {
  NodeId n = source->node();
  uint32_t from = string::clamped_index(source);
  uint32_t count = string::length(source);
  int64_t written = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t bytes[4];
    int len = char_bytes(string::char_at(n, from + i), bytes);
    for (int b = 0; b < len; b++) {
      if (max >= 0 && written >= max) return static_cast<uint32_t>(written);
      if (in(keep, bytes[b])) {
        string::append_char(out, bytes[b]);
        written += 1;
      } else {
        append_escape(out, bytes[b]);
        written += 3;
      }
    }
  }
  return static_cast<uint32_t>(written);
}

int hex_value(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

// The escaped byte at position i of the buffer ("%" and two hex digits), or -1.
int escaped_byte(NodeId n, uint32_t i, uint32_t end) {
  if (i + 2 >= end || string::char_at(n, i) != '%') return -1;
  int hi = hex_value(string::char_at(n, i + 1));
  int lo = hex_value(string::char_at(n, i + 2));
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

bool is_list_spec(const Cell* spec) {
  return spec->is(TYPE_BLOCK) || spec->is(TYPE_PAREN) || spec->is(TYPE_HASH);
}

// Forms one value onto the end of the string cell.
void form_onto(Cell* str, Cell* value) { actions::form_direct(value, str, nullptr, INT_MAX); }

// url from a block of parts: scheme "://" host [":" port] ["/" part (("/" | "#") part)...].
Cell* from_parts(Cell* spec) {
  uint32_t blk_at = stack::index_of(stack::push(spec));
  int32_t count = block::rs_length(spec);
  if (count <= 0) {
    Cell type_cell;
    set_datatype(&type_cell, TYPE_URL);
    error::raise(ERR_SCRIPT, "bad-to-arg", &type_cell, spec);
  }
  Cell* result = string::make_at(stack::new_cell(), 32);
  uint32_t result_at = stack::index_of(result);
  // Each part is copied out of the block before forming: forming may move its buffer.
  auto part = [&](int32_t i) {
    Cell* blk = stack::at_index(blk_at);
    return *(block::rs_head(blk) + i);
  };
  auto form_part = [&](int32_t i) {
    Cell copy = part(i);
    Cell* v = stack::push(&copy);
    form_onto(stack::at_index(result_at), v);
    stack::pop(1);
  };
  form_part(0);
  string::append_ascii(stack::at_index(result_at)->node(), "://");
  int32_t i = 1;
  if (i < count) form_part(i++);
  if (i < count && part(i).is(TYPE_INTEGER)) {
    string::append_char(stack::at_index(result_at)->node(), ':');
    form_part(i++);
  }
  if (i < count) {
    string::append_char(stack::at_index(result_at)->node(), '/');
    form_part(i++);
    for (; i < count; i++) {
      string::append_char(stack::at_index(result_at)->node(), part(i).is(TYPE_ISSUE) ? '#' : '/');
      form_part(i);
    }
  }
  Cell made = *stack::at_index(result_at);
  made.set_type(TYPE_URL);
  stack::pop(2);
  return stack::push(&made);
}

// make and to for anything but a block of parts: string!'s handler, retyped.
Cell* as_string(Cell* proto, Cell* spec, int type, ActionId action) {
  auto handler = reinterpret_cast<act::Make>(actions::lookup(TYPE_STRING, spec, action));
  Cell* result = handler(proto, spec, type);
  if (result && is_any_string(result->type())) result->set_type(static_cast<TypeId>(type));
  return result;
}

}  // namespace url_detail

bool in_unreserved_class(uint32_t c) { return url_detail::in(url_detail::unreserved, c); }
bool in_url_class(uint32_t c) { return url_detail::in(url_detail::url_chars, c); }

uint32_t encode(const Cell* source, NodeId out, int mode) {
  return url_detail::encode_with(
      source, out, mode == ENCODE_UNRESERVED ? url_detail::unreserved : url_detail::url_chars, -1);
}

void decode(const Cell* source, NodeId out) {
  using url_detail::escaped_byte;
  NodeId n = source->node();
  uint32_t i = string::clamped_index(source);
  uint32_t end = string::length(n);
  while (i < end) {
    int b = escaped_byte(n, i, end);
    if (b < 0) {
      string::append_char(out, string::char_at(n, i));
      i++;
      continue;
    }
    i += 3;
    int want = unicode::utf8_lead_length(static_cast<uint8_t>(b));
    if (want == 0) {
      string::append_char(out, static_cast<uint32_t>(b));
      continue;
    }
    uint8_t seq[4] = {static_cast<uint8_t>(b)};
    size_t have = 1;
    while (have < static_cast<size_t>(want)) {
      int next = escaped_byte(n, i, end);
      if (next < 0) break;
      seq[have++] = static_cast<uint8_t>(next);
      i += 3;
    }
    size_t used = 0;
    int32_t cp = unicode::decode_utf8_checked(seq, have, &used);
    if (cp < 0 || used != have) string::raise_invalid_utf8(seq, have);
    string::append_char(out, static_cast<uint32_t>(cp));
  }
}

Cell* make(Cell* proto, Cell* spec, int type) {
  if (type == TYPE_URL && url_detail::is_list_spec(spec)) return url_detail::from_parts(spec);
  return url_detail::as_string(proto, spec, type, ACT_MAKE);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  if (type == TYPE_URL && url_detail::is_list_spec(spec)) return url_detail::from_parts(spec);
  return url_detail::as_string(proto, spec, type, ACT_TO);
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  int64_t max = part ? (limit < 0 ? 0 : limit) : -1;
  uint32_t written = url_detail::encode_with(value, buffer->node(), url_detail::url_mold_chars, max);
  return limit - static_cast<int>(written);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int, bool, bool,
                bool, bool) {
  if (value) error::raise(ERR_SCRIPT, "bad-path-set", element, value);
  uint32_t parent_at = stack::index_of(stack::push(parent));
  uint32_t element_at = stack::index_of(stack::push(element));
  uint32_t len = string::length(parent);
  Cell* joined = string::make_at(stack::new_cell(), len + 16, string::unit_of(parent->node()));
  uint32_t joined_at = stack::index_of(joined);
  actions::form_direct(stack::at_index(element_at), joined, nullptr, INT_MAX);
  joined = stack::at_index(joined_at);
  parent = stack::at_index(parent_at);
  NodeId jn = joined->node();
  NodeId pn = parent->node();
  uint32_t plen = string::length(pn);
  bool parent_slash = plen > 0 && string::char_at(pn, plen - 1) == '/';
  bool element_slash = string::length(jn) > 0 && string::char_at(jn, 0) == '/';
  if (parent_slash && element_slash) string::remove_units(jn, 0, 1);
  if (!parent_slash && !element_slash) string::insert_char(jn, 0, '/');
  string::concatenate(joined, parent, -1, 0, string::Splice::insert);
  joined = stack::at_index(joined_at);
  joined->data1 = 0;
  joined->set_type(parent->type());
  Cell result = *joined;
  stack::pop(3);
  return stack::push(&result);
}

}  // namespace tav::url

namespace tav::url_type {

void init() {
  datatype::register_type(TYPE_URL, TYPE_STRING, "url!", {
      inherit(ACT_FORM), inherit(ACT_COMPARE), inherit(ACT_APPEND), inherit(ACT_AT),
      inherit(ACT_BACK), inherit(ACT_CHANGE), inherit(ACT_CLEAR), inherit(ACT_COPY),
      inherit(ACT_FIND), inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q),
      inherit(ACT_INSERT), inherit(ACT_LENGTH_Q), inherit(ACT_MOVE), inherit(ACT_NEXT),
      inherit(ACT_PICK), inherit(ACT_POKE), inherit(ACT_REMOVE), inherit(ACT_REVERSE),
      inherit(ACT_SELECT), inherit(ACT_SKIP), inherit(ACT_SWAP), inherit(ACT_TAIL),
      inherit(ACT_TAIL_Q), inherit(ACT_TAKE), inherit(ACT_MODIFY),
      on<ACT_MAKE>(&url::make),
      on<ACT_TO>(&url::to),
      on<ACT_MOLD>(&url::mold),
      on<ACT_EVAL_PATH>(&url::eval_path),
      on<ACT_OPEN>(&url::open),
      on<ACT_READ>(&url::read),
      on<ACT_WRITE>(&url::write),
  });
}

}  // namespace tav::url_type
