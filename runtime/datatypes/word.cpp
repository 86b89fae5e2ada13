#include "datatypes/word.h"

#include <cstring>
#include <string>

#include "core/context.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "core/errors.h"
#include "core/memory.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav {

namespace word_detail {

// Appends the symbol's name as written; answers the characters appended.
int append_name(uint32_t symbol, NodeId out) {
  symbol::Name n = symbol::name(symbol);
  // The name lives in a series buffer and appending may allocate: copy it out first.
  char small[128];
  std::string large;
  const char* bytes = small;
  if (n.length <= sizeof small) {
    std::memcpy(small, n.bytes, n.length);
  } else {
    large.assign(n.bytes, n.length);
    bytes = large.data();
  }
  uint32_t before = string::length(out);
  string::append_utf8(out, reinterpret_cast<const uint8_t*>(bytes), n.length);
  return static_cast<int>(string::length(out) - before);
}

[[noreturn]] void raise_bad_to(int type, const Cell* spec) {
  Cell target;
  set_datatype(&target, static_cast<TypeId>(type));
  error::raise(ERR_SCRIPT, "bad-to-arg", &target, spec);
}

inline int32_t block_count_of(const Cell* blk) {
  return static_cast<int32_t>(node_buffer(blk->node())->used() / sizeof(Cell));
}

// Loads text that must hold exactly one value into out; answers the value's type, or 0 when
// the text is malformed, empty or holds more than one value. A malformed text is found by a
// scan first, so it never raises a syntax error here.
template <typename Scan>
int load_one(Scan scan, Cell* out) {
  Cell ignored{};
  if (scan(lexer::Mode::scan, &ignored) == TYPE_ERROR) return 0;
  Cell* loaded = set_unset(stack::new_cell());
  scan(lexer::Mode::load, loaded);
  int type = 0;
  if (block_count_of(loaded) == 1) {
    *out = *node_buffer(loaded->node())->cells();
    type = out->type();
  }
  stack::pop(1);
  return type;
}

// The first character of a one-character string made from a char!, pushed.
Cell* push_char_string(const Cell* c) {
  Cell* s = string::make_at(stack::new_cell(), 1);
  string::append_char(s->node(), c->data2);
  return s;
}

// The word a string (from its index) loads as, into out; invalid-chars unless the text is
// exactly one word of any kind.
void load_word_from_string(const Cell* str, Cell* out) {
  Cell text = *str;
  int type = load_one(
      [&text](lexer::Mode mode, Cell* result) {
        uint32_t end = 0;
        return lexer::scan_string(&text, -1, mode, false, nullptr, result, &end);
      },
      out);
  if (!is_any_word(static_cast<TypeId>(type))) error::raise(ERR_SCRIPT, "invalid-chars");
}

}  // namespace word_detail

namespace word {

// ---- Handlers ----------------------------------------------------------------------------

Cell* convert(Cell* proto, Cell* spec, int type) {
  Cell result;
  switch (spec->type()) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
      result = *spec;
      break;
    case TYPE_REFINEMENT: case TYPE_ISSUE: {
      int scanned = scan_name(spec);
      if (scanned != TYPE_WORD && scanned != TYPE_SET_WORD && scanned != TYPE_GET_WORD &&
          scanned != TYPE_LIT_WORD)
        word_detail::raise_bad_to(type, spec);
      // A refinement made at start-up is bound to nothing: the global context takes every
      // name, so the word is added there when absent rather than left without a context.
      result = *spec;
      word::make_at(spec->data2, &result);
      break;
    }
    case TYPE_STRING:
      word_detail::load_word_from_string(spec, &result);
      break;
    case TYPE_CHAR: {
      Cell* s = word_detail::push_char_string(spec);
      word_detail::load_word_from_string(s, &result);
      stack::pop(1);
      break;
    }
    case TYPE_DATATYPE: {
      const TypeEntry& e = type_table[spec->data1 < TYPE_TABLE_SIZE ? spec->data1 : 0];
      if (!e.name) word_detail::raise_bad_to(type, spec);
      result = e.word.is(TYPE_WORD) ? e.word : word::make(symbol::make(e.name));
      break;
    }
    case TYPE_LOGIC:
      result = word::make(spec->data1 ? symbols::true_ : symbols::false_);
      break;
    default:
      word_detail::raise_bad_to(type, spec);
  }
  result.header = static_cast<uint32_t>(type);
  *proto = result;
  return proto;
}

int form(Cell* value, Cell* buffer, Cell*, int limit) {
  return limit - word_detail::append_name(value->data2, buffer->node());
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int limit, int) {
  NodeId out = buffer->node();
  const char* prefix = nullptr;
  switch (value->type()) {
    case TYPE_LIT_WORD: prefix = "'"; break;
    case TYPE_GET_WORD: prefix = ":"; break;
    case TYPE_REFINEMENT: prefix = "/"; break;
    case TYPE_ISSUE: prefix = "#"; break;
    default: break;
  }
  if (prefix) {
    string::append_ascii(out, prefix);
    limit -= 1;
  }
  limit -= word_detail::append_name(value->data2, out);
  if (value->is(TYPE_SET_WORD)) {
    string::append_ascii(out, ":");
    limit -= 1;
  }
  return limit;
}

int compare(Cell* value1, Cell* value2, int op) {
  TypeId t1 = value1->type(), t2 = value2->type();
  if ((t2 == TYPE_ISSUE && t1 != TYPE_ISSUE) || !tav::is_any_word(t2)) return COMPARE_UNRELATED;
  uint32_t s1 = value1->data2, s2 = value2->data2;
  auto answer = [](bool equal) { return equal ? 0 : 1; };
  bool canonical = symbol::alias(s1) == symbol::alias(s2);
  // Codes 10 and 11 are parse's questions for a lit-word rule, which matches a word of any
  // kind with that spelling; words of two other kinds still differ.
  bool word_and_lit = t1 == TYPE_LIT_WORD || t2 == TYPE_LIT_WORD;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND_EQUAL:
      return answer(canonical);
    case COMP_STRICT_EQUAL:
      return answer(t1 == t2 && s1 == s2);
    case COMP_SAME:
      return answer(s1 == s2 && value1->data1 == value2->data1 && t1 == t2);
    case COMP_FIND_CASE:
      return answer(word_and_lit ? s1 == s2 : (t1 == t2 && s1 == s2));
    case COMP_FIND:
      return answer(word_and_lit ? canonical : (t1 == t2 && canonical));
    default:
      return string::compare_text(value1, value2, op, false);
  }
}

Cell* index_q() {
  Cell* w = stack::base;
  int32_t pos = static_cast<int32_t>(w->data3);
  if (pos < 0) return set_none(w);
  return set_integer(w, pos + 1);
}

// ---- Making words ------------------------------------------------------------------------

Cell* append_to_block(uint32_t symbol, const Cell* block) {
  Cell w = make(symbol);
  Cell* slot = series::new_tail_cell(block);
  *slot = w;
  return slot;
}

Cell* load_into_block(const char* utf8_name, const Cell* block) {
  return append_to_block(symbol::make(utf8_name), block);
}

Cell* make_result(uint32_t symbol) { return make_at(symbol, stack::base); }

Cell* collect(const Cell* cell) {
  Cell copy = *cell;
  return runtime::root_append(&copy);
}

Cell* load_as(const char* utf8_name, TypeId t) {
  Cell* w = load(utf8_name);
  // Outside start-up `load` answers the global context's own word-list cell: retype a copy.
  if (!runtime::collecting_words) w = stack::push(w);
  w->header = t;
  return w;
}

Cell* load_into_block_as(const char* utf8_name, const Cell* block, TypeId t) {
  Cell* w = load_into_block(utf8_name, block);
  w->header = t;
  return w;
}

Cell* push_as(const Cell* word, TypeId t) {
  Cell* w = stack::push(word);
  w->set_type(t);
  return w;
}

Cell* push_from_context(NodeId ctx, uint32_t i, TypeId t) {
  return push_as(context::word_cell(ctx, i), t);
}

// ---- Names -------------------------------------------------------------------------------

Cell* symbol_cell(const Cell* word) { return symbol::get_cell(word->data2); }

Cell* push_as_string(const Cell* word) {
  symbol::Name n = symbol::name(word->data2);
  std::string name(n.bytes, n.length);
  return string::push_utf8(name.data(), name.size());
}

int scan_name(const Cell* word) {
  symbol::Name n = symbol::name(word->data2);
  std::string name(n.bytes, n.length);
  Cell loaded;
  return word_detail::load_one(
      [&name](lexer::Mode mode, Cell* result) {
        return lexer::transcode(name, result, mode);
      },
      &loaded);
}

// ---- Values ------------------------------------------------------------------------------

Cell* set_from_args(bool checked) {
  Cell value = stack::base[1];
  if (checked) set(stack::base, &value);
  else context::set_word_value(stack::base, &value);
  return stack::set_last(&value);
}

Cell* set_from_base(Cell* target) {
  if (stack::base->is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "need-value", target);
  *target = *stack::base;
  return target;
}

Cell* get_into_result() {
  Cell value = *context::get_word_value(stack::base);
  return stack::set_last(&value);
}

}  // namespace word

namespace refinement {
Cell* push_from_context(NodeId ctx, uint32_t i) {
  Cell* w = word::push_as(context::word_cell(ctx, i), TYPE_REFINEMENT);
  w->header = TYPE_REFINEMENT;
  return w;
}
}  // namespace refinement

// ---- issue! ------------------------------------------------------------------------------

namespace issue {

Cell* make_at(Cell* cell, const char* utf8_name) {
  uint32_t sym = symbol::make(utf8_name);
  *cell = make_cell(TYPE_ISSUE, context::global, sym, 0xFFFFFFFFu);
  return cell;
}

Cell* append_to_block(const char* utf8_name, const Cell* block) {
  Cell i;
  make_at(&i, utf8_name);
  Cell* slot = series::new_tail_cell(block);
  *slot = i;
  return slot;
}

Cell* load(const char* utf8_name) {
  if (runtime::collecting_words) {
    Cell i;
    make_at(&i, utf8_name);
    return runtime::root_append(&i);
  }
  return make_at(stack::new_cell(), utf8_name);
}

Cell* push(const Cell* word) { return word::push_as(word, TYPE_ISSUE); }

Cell* make(Cell* proto, Cell* spec, int type) {
  switch (spec->type()) {
    case TYPE_STRING: {
      std::string name = string::to_std_string(spec);
      *proto = make_cell(TYPE_ISSUE, context::global, symbol::make(name.data(), name.size()),
                         0xFFFFFFFFu);
      return proto;
    }
    case TYPE_CHAR: {
      Cell* s = word_detail::push_char_string(spec);
      std::string name = string::to_std_string(s);
      stack::pop(1);
      *proto = make_cell(TYPE_ISSUE, context::global, symbol::make(name.data(), name.size()),
                         0xFFFFFFFFu);
      return proto;
    }
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT: case TYPE_ISSUE: {
      Cell result = *spec;
      result.header = TYPE_ISSUE;
      *proto = result;
      return proto;
    }
    default:
      return word::convert(proto, spec, type);
  }
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int limit, int) {
  string::append_ascii(buffer->node(), "#");
  return limit - 1 - word_detail::append_name(value->data2, buffer->node());
}

int compare(Cell* value1, Cell* value2, int op) {
  if (!value2->is(TYPE_ISSUE)) return COMPARE_UNRELATED;
  return word::compare(value1, value2, op);
}

}  // namespace issue

// ---- Registration ------------------------------------------------------------------------

namespace word_type {

void init() {
  datatype::register_type(TYPE_WORD, TYPE_SYMBOL, "word!", {
      on<ACT_MAKE>(&word::convert),
      on<ACT_TO>(&word::convert),
      on<ACT_FORM>(&word::form),
      on<ACT_MOLD>(&word::mold),
      on<ACT_COMPARE>(&word::compare),
      on<ACT_INDEX_Q>(&word::index_q),
  });

  // The other kinds differ only in their mold, which word!'s handler writes by type.
  datatype::register_type(TYPE_LIT_WORD, TYPE_WORD, "lit-word!", {}, INHERIT);
  datatype::register_type(TYPE_SET_WORD, TYPE_WORD, "set-word!", {}, INHERIT);
  datatype::register_type(TYPE_GET_WORD, TYPE_WORD, "get-word!", {}, INHERIT);
  datatype::register_type(TYPE_REFINEMENT, TYPE_WORD, "refinement!", {
      no_handler(ACT_INDEX_Q),
  }, INHERIT);
}

}  // namespace word_type

namespace issue_type {

void init() {
  datatype::register_type(TYPE_ISSUE, TYPE_WORD, "issue!", {
      on<ACT_MAKE>(&issue::make),
      on<ACT_TO>(&issue::make),
      inherit(ACT_FORM),
      on<ACT_MOLD>(&issue::mold),
      on<ACT_COMPARE>(&issue::compare),
  });
}

}  // namespace issue_type

}  // namespace tav
