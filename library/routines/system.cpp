// What the system object's change handlers and start-up values need from the runtime: the
// switches its fields drive (call-back tracing, float forming), the money currency list the
// locale mirrors, and the command line.
#include <string>

#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
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

}  // namespace tav::routines
