#include "core/words.h"

#include "core/context.h"
#include "core/errors.h"
#include "init_steps.h"
#include "core/memory.h"
#include "runtime.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav {

#define TAV_DEFINE_SYMBOL(c, s) uint32_t c = 0;
#define TAV_DEFINE_CELL(c, s) Cell c{};
namespace symbols {
TAV_PREDEFINED_SYMBOLS(TAV_DEFINE_SYMBOL)
}
namespace words {
TAV_PREDEFINED_GLOBAL_WORDS(TAV_DEFINE_CELL)
TAV_PREDEFINED_WORDS(TAV_DEFINE_CELL)
Cell end{};
TAV_PREDEFINED_WORDS_2(TAV_DEFINE_CELL)
}  // namespace words
namespace refinements {
TAV_PREDEFINED_REFINEMENTS(TAV_DEFINE_CELL)
}
namespace issues {
Cell ooo{};
}
#undef TAV_DEFINE_SYMBOL
#undef TAV_DEFINE_CELL

namespace words_detail {
bool in_root_block(const Cell* c) {
  SeriesBuffer* b = node_buffer(runtime::root_node);
  return c >= b->cells() && c < b->cell_tail();
}
}  // namespace words_detail

namespace word {

Cell* load(const char* utf8_name) {
  uint32_t sym = symbol::make(utf8_name);
  Cell* w = context::global_word(sym, true, true);
  if (runtime::collecting_words && !words_detail::in_root_block(w)) {
    Cell copy = *w;
    return runtime::root_append(&copy);
  }
  return w;
}

Cell* make_at(uint32_t symbol, Cell* cell) {
  // Adding to the global context may move the buffer holding `cell`: look up first.
  int32_t pos = context::find_or_add_word(context::global, symbol);
  cell->header = (cell->header & ~HEADER_TYPE_MASK) | TYPE_WORD;
  cell->data1 = context::global;
  cell->data2 = symbol;
  cell->data3 = static_cast<uint32_t>(pos);
  return cell;
}

Cell make(uint32_t symbol) {
  Cell c = make_cell(TYPE_WORD);
  make_at(symbol, &c);
  return c;
}

Cell* push_new(uint32_t symbol) {
  Cell c = make(symbol);
  return stack::push(&c);
}

Cell* push_in(NodeId ctx, uint32_t symbol) {
  int32_t pos = context::find_or_add_word(ctx, symbol);
  Cell c = make_cell(TYPE_WORD, ctx, symbol, static_cast<uint32_t>(pos));
  return stack::push(&c);
}

Cell* get(const Cell* w) {
  Cell v = *context::get_word_value(w);
  if (v.is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "no-value", w);
  return stack::push(&v);
}

Cell* get_unchecked(const Cell* w) {
  Cell v = *context::get_word_value(w);
  return stack::push(&v);
}

Cell* set(Cell* w, const Cell* value) {
  if (value->is(TYPE_UNSET)) error::raise(ERR_SCRIPT, "need-value", w);
  return context::set_word_value(w, value);
}

}  // namespace word

namespace refinement {
Cell* load(const char* utf8_name) {
  Cell r = make_cell(TYPE_REFINEMENT, 0, symbol::make(utf8_name), uint32_t(-1));
  return runtime::root_append(&r);
}
}  // namespace refinement

namespace words {

void make_predefined() {
#define TAV_MAKE_SYMBOL(c, s) symbols::c = symbol::make(s);
#define TAV_MAKE_GLOBAL(c, s) c = *context::add_global(symbol::make(s));
#define TAV_MAKE_WORD(c, s) c = *word::load(s);
#define TAV_MAKE_REFINEMENT(c, s) refinements::c = *refinement::load(s);
  TAV_PREDEFINED_SYMBOLS(TAV_MAKE_SYMBOL)
  TAV_PREDEFINED_GLOBAL_WORDS(TAV_MAKE_GLOBAL)
  TAV_PREDEFINED_WORDS(TAV_MAKE_WORD)
  TAV_MAKE_GLOBAL(end, "end")
  TAV_PREDEFINED_WORDS_2(TAV_MAKE_WORD)
  TAV_PREDEFINED_REFINEMENTS(TAV_MAKE_REFINEMENT)
#undef TAV_MAKE_SYMBOL
#undef TAV_MAKE_GLOBAL
#undef TAV_MAKE_WORD
#undef TAV_MAKE_REFINEMENT
  Cell issue = make_cell(TYPE_ISSUE, 0, symbol::make("ooo"), uint32_t(-1));
  issues::ooo = *runtime::root_append(&issue);
  stack::set_special_symbols(tag_body.data2, tag_anon.data2);
}

}  // namespace words

namespace datatype {

void make_name_words() {
  for (int t = 1; t <= highest_type_id; t++)
    if (type_table[t].name) type_table[t].word = *word::load(type_table[t].name);
}

}  // namespace datatype

namespace init_steps {

void global_context() {
  symbol::init_store();
  context::init_global();
}

void symbol_table() { symbol::init_index(); }
void datatype_words() { datatype::make_name_words(); }
void predefined_words() { words::make_predefined(); }

}  // namespace init_steps
}  // namespace tav
