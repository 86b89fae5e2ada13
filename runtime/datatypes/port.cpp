#include "datatypes/port.h"

#include <initializer_list>

#include "core/context.h"
#include "core/errors.h"
#include "core/evaluator_door.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/system_object.h"
#include "core/types.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/type_dispatch.h"

namespace tav::port {

namespace port_detail {

Cell none_cell() { return make_cell(TYPE_NONE); }
Cell logic_cell(bool b) {
  Cell c;
  set_logic(&c, b);
  return c;
}
Cell int_cell(int32_t n) {
  Cell c;
  set_integer(&c, n);
  return c;
}
// A refinement's argument as the actor sees it: the value, or none when the refinement is
// not used.
Cell opt(const Cell* arg) { return arg ? *arg : none_cell(); }

// Calls the function in field `name` of the object with the values as its leading
// arguments (its refinements off), in a call frame named by that field's word, and answers
// its result. A field that holds no function raises access no-port-action, unless `found`
// is given: it then tells whether there was a function to call (none answered otherwise).
Cell call_field(const Cell* object_in, const char* name, const Cell* values, uint32_t count,
                uint32_t kind, bool* found = nullptr) {
  Cell holder = *object_in;
  uint32_t sym = symbol::make(name);
  Cell word = make_cell(TYPE_WORD, 0, sym, 0xFFFFFFFFu);
  int32_t index = object::word_index(&holder, &word);
  Cell fn = index >= 0 ? object::get_values(&holder)[index] : none_cell();
  if (found) *found = fn.is(TYPE_FUNCTION);
  if (!fn.is(TYPE_FUNCTION)) {
    if (found) return none_cell();
    error::raise(ERR_ACCESS, "no-port-action", &word);
  }
  Cell frame_name = make_cell(TYPE_WORD, object::context_of(&holder), sym,
                              static_cast<uint32_t>(index));
  Cell* saved_top = stack::top;
  Cell* held = stack::push(&fn);
  stack::mark_func(&frame_name, fn.data1);
  evaluator_door::push_arguments(&fn, values, count);
  Status status = evaluator_door::call_function(held, kind);
  if (status != CODE_NONE) stack::rethrow_status(status);
  Cell answer = *stack::base;
  stack::unwind_func();
  stack::top = saved_top;
  return answer;
}

// Calls the actor function named `action` with the port and the arguments; answers its result.
Cell forward(const Cell* port_in, const char* action, std::initializer_list<Cell> args) {
  Cell values[24];
  uint32_t count = 0;
  values[count++] = *port_in;
  for (const Cell& a : args) values[count++] = a;
  Cell actor = object::get_values(values)[ACTOR];
  if (!actor.is(TYPE_OBJECT)) error::raise(ERR_ACCESS, "invalid-port");
  return call_field(&actor, action, values, count, trace::CALLBACK_PORT);
}

Cell* push_result(const Cell& c) { return stack::push(&c); }
// For the actions whose handler leaves its result in the first argument.
Cell* into(Cell* first, const Cell& c) {
  *first = c;
  return first;
}

// The value after the first cell of system/schemes that names the scheme, or none.
Cell find_scheme(const Cell* scheme_word) {
  Cell* schemes = system_object::field({"schemes"});
  if (!schemes || !is_any_block(schemes->type())) return none_cell();
  int32_t n = block::rs_length(schemes);
  const Cell* head = block::rs_head(schemes);
  uint32_t want = symbol::alias(scheme_word->data2);
  for (int32_t i = 0; i + 1 < n; i++) {
    if (word::is_any_word(head[i].type()) && symbol::alias(head[i].data2) == want)
      return head[i + 1];
  }
  return none_cell();
}

// The component object of a url, from the library's url-parser/parse-url; none while the
// library has no parser.
Cell parse_url(const Cell* url) {
  Cell* parser = context::global_value_cell(symbol::make("url-parser"));
  if (!parser || !parser->is(TYPE_OBJECT)) return none_cell();
  Cell holder = *parser;
  Cell arg = *url;
  bool found = false;
  return call_field(&holder, "parse-url", &arg, 1, trace::CALLBACK_NONE, &found);
}

// The spec object a make spec stands for: an object as it is, a url through the parser, a
// block as the fields of a copy of system/standard/url-parts.
Cell spec_object(Cell* spec) {
  if (spec->is(TYPE_OBJECT)) return *spec;
  if (spec->is(TYPE_URL)) {
    Cell parsed = parse_url(spec);
    if (!parsed.is(TYPE_OBJECT)) error::raise(ERR_SCRIPT, "invalid-arg", spec);
    return parsed;
  }
  const Cell* parts = system_object::field({"standard", "url-parts"});
  if (!parts || !parts->is(TYPE_OBJECT)) error::raise(ERR_INTERNAL, "feature-na");
  Cell* proto = stack::push(parts);
  Cell made = *object::make(proto, spec, TYPE_OBJECT);
  stack::pop(1);
  return made;
}

}  // namespace port_detail

using namespace port_detail;

Cell* make(Cell* proto, Cell* spec_in, int) {
  uint32_t spec_at = stack::index_of(stack::push(spec_in));
  uint32_t obj_at = stack::index_of(stack::new_cell());
  *stack::at_index(obj_at) = spec_object(stack::at_index(spec_at));
  Cell spec_obj = *stack::at_index(obj_at);
  Cell scheme = object::field_count(&spec_obj) > 0 ? object::get_values(&spec_obj)[0]
                                                    : none_cell();
  if (!scheme.is(TYPE_WORD)) error::raise(ERR_ACCESS, "no-scheme", &spec_obj);
  const Cell* standard = system_object::field({"standard", "port"});
  if (!standard || !standard->is(TYPE_OBJECT)) error::raise(ERR_INTERNAL, "feature-na");
  Cell* src = stack::push(standard);
  uint32_t port_at = stack::index_of(stack::new_cell());
  object::copy_into(src, stack::at_index(port_at), false, nullptr, true);
  Cell* port = stack::at_index(port_at);
  port->set_type(TYPE_PORT);
  port->data2 = static_cast<uint32_t>(object::PORT_CLASS);
  port->data3 = 0;
  object::store_self(port);
  object::get_values(port)[SPEC] = spec_obj;
  object::get_values(port)[SCHEME] = scheme;
  Cell found = find_scheme(&scheme);
  if (!found.is(TYPE_OBJECT)) error::raise(ERR_ACCESS, "unknown-scheme", &spec_obj);
  Cell actor = object::field_count(&found) > 3 ? object::get_values(&found)[3] : none_cell();
  if (!actor.is(TYPE_OBJECT) && !actor.is(TYPE_HANDLE))
    error::raise(ERR_ACCESS, "invalid-actor", &spec_obj);
  port = stack::at_index(port_at);
  object::get_values(port)[ACTOR] = actor;
  *proto = *port;
  stack::top = stack::at_index(spec_at);
  return proto;
}

namespace port_detail {

int mold_port(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
              int indent) {
  return object::mold_made("make port! [", value, buffer, only, all, flat, part, limit, indent);
}

int form_port(Cell* value, Cell* buffer, Cell* part, int limit) {
  return mold_port(value, buffer, false, false, false, part, limit, 0);
}

// ---- Forwarded actions ------------------------------------------------------------------------

// The actions that read their arguments from the stack: the port at the base, an index or
// offset above it for at and skip.
template <const char* Name, bool WithArg>
Cell* stacked() {
  Cell* base = stack::base;
  Cell r = WithArg ? forward(base, Name, {base[1]}) : forward(base, Name, {});
  *stack::base = r;
  return stack::base;
}

constexpr char n_at[] = "at", n_back[] = "back", n_head[] = "head", n_head_q[] = "head?",
               n_index_q[] = "index?", n_next[] = "next", n_skip[] = "skip", n_tail[] = "tail",
               n_tail_q[] = "tail?";

// append and insert: the value, /part (count or none), /only, /dup (count or none).
Cell* add(Cell* port, Cell* value, int part, bool only, int dup, bool append) {
  Cell r = forward(port, append ? "append" : "insert",
                   {*value, logic_cell(part >= 0), part >= 0 ? int_cell(part) : none_cell(),
                    logic_cell(only), logic_cell(dup > 1), dup > 1 ? int_cell(dup) : none_cell()});
  return into(port, r);
}

Cell* change(Cell* port, Cell* value, int part, bool only, int dup) {
  Cell r = forward(port, "change",
                   {*value, logic_cell(part >= 0), part >= 0 ? int_cell(part) : none_cell(),
                    logic_cell(only), logic_cell(dup > 1), dup > 1 ? int_cell(dup) : none_cell()});
  return into(port, r);
}

Cell* copy(Cell* port, Cell* result, Cell* part, bool deep, Cell* types) {
  Cell r = forward(port, "copy", {logic_cell(part), opt(part), logic_cell(deep),
                                  logic_cell(types), opt(types)});
  *result = r;
  return result;
}

Cell* find(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
  return push_result(forward(
      port, "find",
      {*value, logic_cell(part), opt(part), logic_cell(only), logic_cell(case_),
       logic_cell(same), logic_cell(any), logic_cell(with), opt(with), logic_cell(skip),
       opt(skip), logic_cell(last), logic_cell(reverse), logic_cell(tail), logic_cell(match)}));
}

Cell* select(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
  return push_result(forward(
      port, "select",
      {*value, logic_cell(part), opt(part), logic_cell(only), logic_cell(case_),
       logic_cell(same), logic_cell(any), logic_cell(with), opt(with), logic_cell(skip),
       opt(skip), logic_cell(last), logic_cell(reverse)}));
}

int length_q(Cell* port) {
  Cell r = forward(port, "length?", {});
  if (r.is(TYPE_INTEGER)) return r.int_value();
  return -1;
}

Cell* move(Cell* port, Cell* target, Cell* part) {
  return push_result(forward(port, "move", {*target, logic_cell(part), opt(part)}));
}

Cell* pick(Cell* port, int, Cell* boxed) { return push_result(forward(port, "pick", {*boxed})); }

Cell* poke(Cell* port, int, Cell* data, Cell* boxed) {
  return push_result(forward(port, "poke", {*boxed, *data}));
}

Cell* put(Cell* port, Cell* key, Cell* value, bool case_) {
  return push_result(forward(port, "put", {*key, *value, logic_cell(case_)}));
}

Cell* remove(Cell* port, Cell* part, Cell*) {
  return into(port, forward(port, "remove", {logic_cell(part), opt(part)}));
}

Cell* reverse(Cell* port, Cell* part, Cell*) {
  return into(port, forward(port, "reverse", {logic_cell(part), opt(part)}));
}

Cell* sort(Cell* port, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable) {
  return push_result(forward(
      port, "sort",
      {logic_cell(case_), logic_cell(skip), opt(skip), logic_cell(comparator), opt(comparator),
       logic_cell(part), opt(part), logic_cell(all), logic_cell(reverse), logic_cell(stable)}));
}

Cell* swap(Cell* port, Cell* other) { return into(port, forward(port, "swap", {*other})); }

Cell* take(Cell* port, Cell* part, bool deep, bool last) {
  return push_result(
      forward(port, "take", {logic_cell(part), opt(part), logic_cell(deep), logic_cell(last)}));
}

Cell* trim(Cell* port, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
  return into(port, forward(port, "trim",
                            {logic_cell(head), logic_cell(tail), logic_cell(auto_),
                             logic_cell(lines), logic_cell(all), logic_cell(with), opt(with)}));
}

Cell* modify(Cell* port, Cell* field, Cell* value, bool case_) {
  return push_result(forward(port, "modify", {*field, *value, logic_cell(case_)}));
}

Cell* rename(Cell* port, Cell* to) { return push_result(forward(port, "rename", {*to})); }

template <const char* Name>
Cell* unary(Cell* port) {
  return push_result(forward(port, Name, {}));
}

constexpr char n_clear[] = "clear", n_create[] = "create", n_close[] = "close",
               n_delete[] = "delete", n_query[] = "query", n_update[] = "update",
               n_open_q[] = "open?";

template <>
Cell* unary<n_clear>(Cell* port) {
  return into(port, forward(port, n_clear, {}));
}

}  // namespace port_detail

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
  return push_result(forward(port, "open", {logic_cell(new_), logic_cell(read), logic_cell(write),
                                            logic_cell(seek), opt(allow)}));
}

Cell* read(Cell* port_in, Cell* part, Cell* seek, bool, bool, bool, Cell*) {
  Cell* port = stack::push(port_in);
  uint32_t port_at = stack::index_of(port);
  forward(port, "open", {logic_cell(false), logic_cell(false), logic_cell(false),
                         logic_cell(seek), none_cell()});
  Cell part_value = opt(part);
  Cell data = forward(stack::at_index(port_at), "copy",
                      {logic_cell(part), part_value, logic_cell(false), logic_cell(false),
                       none_cell()});
  uint32_t data_at = stack::index_of(stack::push(&data));
  forward(stack::at_index(port_at), "close", {});
  Cell result = *stack::at_index(data_at);
  stack::top = stack::at_index(port_at);
  return stack::push(&result);
}

Cell* write(Cell* port_in, Cell* data, bool, bool, bool, bool, Cell* part, Cell* seek, Cell*,
            Cell*) {
  Cell* port = stack::push(port_in);
  uint32_t port_at = stack::index_of(port);
  uint32_t data_at = stack::index_of(stack::push(data));
  bool counted = part && part->is(TYPE_INTEGER);
  Cell count = counted ? *part : none_cell();
  forward(port, "open", {logic_cell(false), logic_cell(false), logic_cell(true),
                         logic_cell(seek), none_cell()});
  forward(stack::at_index(port_at), "insert",
          {*stack::at_index(data_at), logic_cell(counted), count, logic_cell(false),
           logic_cell(false), int_cell(1)});
  Cell copied = forward(stack::at_index(port_at), "copy",
                        {logic_cell(counted), count, logic_cell(false), logic_cell(false),
                         none_cell()});
  uint32_t copied_at = stack::index_of(stack::push(&copied));
  forward(stack::at_index(port_at), "close", {});
  Cell result = *stack::at_index(copied_at);
  stack::top = stack::at_index(port_at);
  return stack::push(&result);
}

}  // namespace tav::port

namespace tav::port_type {

void init() {
  using namespace port::port_detail;
  datatype::register_type(TYPE_PORT, TYPE_OBJECT, "port!", {
      on<ACT_MAKE>(&port::make),
      on<ACT_FORM>(&form_port),
      on<ACT_MOLD>(&mold_port),
      inherit(ACT_REFLECT), inherit(ACT_EVAL_PATH), inherit(ACT_COMPARE),
      on<ACT_APPEND>(&add),
      on<ACT_AT>(&stacked<n_at, true>),
      on<ACT_BACK>(&stacked<n_back, false>),
      on<ACT_CHANGE>(&change),
      on<ACT_CLEAR>(&unary<n_clear>),
      on<ACT_COPY>(&copy),
      on<ACT_FIND>(&find),
      on<ACT_HEAD>(&stacked<n_head, false>),
      on<ACT_HEAD_Q>(&stacked<n_head_q, false>),
      on<ACT_INDEX_Q>(&stacked<n_index_q, false>),
      on<ACT_INSERT>(&add),
      on<ACT_LENGTH_Q>(&length_q),
      on<ACT_MOVE>(&move),
      on<ACT_NEXT>(&stacked<n_next, false>),
      on<ACT_PICK>(&pick),
      on<ACT_POKE>(&poke),
      on<ACT_PUT>(&put),
      on<ACT_REMOVE>(&remove),
      on<ACT_REVERSE>(&reverse),
      on<ACT_SELECT>(&select),
      on<ACT_SORT>(&sort),
      on<ACT_SKIP>(&stacked<n_skip, true>),
      on<ACT_SWAP>(&swap),
      on<ACT_TAIL>(&stacked<n_tail, false>),
      on<ACT_TAIL_Q>(&stacked<n_tail_q, false>),
      on<ACT_TAKE>(&take),
      on<ACT_TRIM>(&trim),
      on<ACT_CREATE>(&unary<n_create>),
      on<ACT_CLOSE>(&unary<n_close>),
      on<ACT_DELETE>(&unary<n_delete>),
      on<ACT_MODIFY>(&modify),
      on<ACT_OPEN>(&port::open),
      on<ACT_OPEN_Q>(&unary<n_open_q>),
      on<ACT_QUERY>(&unary<n_query>),
      on<ACT_READ>(&port::read),
      on<ACT_RENAME>(&rename),
      on<ACT_UPDATE>(&unary<n_update>),
      on<ACT_WRITE>(&port::write),
  });
}

}  // namespace tav::port_type
