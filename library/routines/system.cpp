// What the system object's change handlers and start-up values need from the runtime: the
// switches its fields drive (call-back tracing, float forming), the money currency list the
// locale mirrors, the command line, the global context and the error catalogue.
#include <string>

#include "core/context.h"
#include "core/error_catalogue.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "evaluator/natives.h"
#include "evaluator/trace.h"
#include "runtime.h"
#include "routines.h"

namespace tav::routines {

Status set_callback_bits(const int32_t*) {
  trace::set_callback_bits(static_cast<uint32_t>(arg(0)->int_value()));
  return done_unset();
}

Status set_float_modes(const int32_t*) {
  float_::pretty_print = is_true(arg(0));
  float_::full_support = is_true(arg(1));
  return done_unset();
}

Status currency_list(const int32_t*) {
  int n = money::currency_count();
  Cell list;
  block::make_at(&list, n);
  for (int i = 1; i <= n; ++i) {
    Cell w = word::make(symbol::make(money::currency_code(i)));
    block::append_cell(&list, &w);
  }
  *stack::base = list;
  return done();
}

Status add_currency(const int32_t*) {
  symbol::Name name = symbol::name(arg(0)->data2);
  return done_logic(money::add_currency(std::string(name.bytes, name.length).c_str()));
}

Status command_line(const int32_t*) {
  int argc = runtime::argument_count();
  char** argv = runtime::argument_vector();
  Cell list;
  block::make_at(&list, argc > 0 ? argc : 1);
  *stack::base = list;   // reachable while the strings are made
  stack::top = stack::base + 1;
  for (int i = 0; i < argc && argv; ++i) {
    Cell* s = string::make_at(stack::new_cell(), 16);
    natives::system_natives::append_lenient_utf8(s->node(), argv[i]);
    block::append_cell(stack::base, s);
    stack::top = stack::base + 1;
  }
  return done();
}

Status global_context(const int32_t*) {
  // The context itself, not a copy: a word set through it is a global word.
  *stack::base = make_cell(TYPE_OBJECT, context::global, 0, 0);
  return done();
}

namespace system_routines_detail {

Cell* push_text(std::string_view text) { return string::push_utf8(text.data(), text.size()); }

// A catalogue message as the language writes it: a string, a template block of strings and
// argument words, or a word naming an error field.
Cell* push_message(const error_catalogue::Id& id) {
  using error_catalogue::MessageKind;
  using error_catalogue::PieceKind;
  if (id.kind == MessageKind::STRING) return push_text(id.pieces[0].text);
  auto word_of = [](const error_catalogue::Piece& p) {
    Cell w = word::make(symbol::make(std::string(p.text).c_str()));
    if (p.kind == PieceKind::GET_WORD) w.set_type(TYPE_GET_WORD);
    return w;
  };
  if (id.kind == MessageKind::FIELD) {
    Cell w = word_of(id.pieces[0]);
    return stack::push(&w);
  }
  Cell* blk = block::make_at(stack::new_cell(), id.piece_count);
  for (uint8_t i = 0; i < id.piece_count; i++) {
    const error_catalogue::Piece& p = id.pieces[i];
    if (p.kind == PieceKind::TEXT) {
      block::append_cell(blk, push_text(p.text));
      stack::pop(1);
    } else {
      Cell w = word_of(p);
      block::append_cell(blk, &w);
    }
  }
  return blk;
}

void put(Cell* obj, const char* name, const Cell* value) {
  context::put(object::context_of(obj), symbol::make(name), value);
}

}  // namespace system_routines_detail

Status error_catalogue_object(const int32_t*) {
  using namespace system_routines_detail;
  Cell* catalogue = object::make_at(stack::new_cell(), error_catalogue::CATEGORY_COUNT);
  catalogue->data2 = static_cast<uint32_t>(object::next_class_id());
  object::store_self(catalogue);
  for (int c = 0; c < error_catalogue::CATEGORY_COUNT; c++) {
    const error_catalogue::Category& category = error_catalogue::category(c);
    Cell* entry = object::make_at(stack::new_cell(), category.id_count + 2u);
    entry->data2 = static_cast<uint32_t>(object::next_class_id());
    object::store_self(entry);
    Cell code;
    set_integer(&code, error_catalogue::code_of(c, 0));
    put(entry, "code", &code);
    put(entry, "type", push_text(category.title));
    stack::pop(1);
    for (uint8_t i = 0; i < category.id_count; i++) {
      put(entry, std::string(category.ids[i].name).c_str(), push_message(category.ids[i]));
      stack::pop(1);
    }
    put(catalogue, std::string(category.name).c_str(), entry);
    stack::pop(1);
  }
  *stack::base = *catalogue;
  stack::top = stack::base + 1;
  return done();
}

}  // namespace tav::routines
