// Builds code blocks by hand (until the scanner exists) and installs the natives, operators
// and datatype words the evaluator tests use, a print hook that collects the printed text,
// and minimal word! and paren! handlers where those types are not registered yet.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "core/error_catalogue.h"
#include "evaluator/actions.h"
#include "core/errors.h"
#include "evaluator/calls.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "core/memory.h"
#include "core/output.h"
#include "scanner/lexer.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::evaltest {

// The values of a text, as a block (held only by the caller afterwards).
inline Cell loaded(const std::string& text) {
  Cell* out = stack::new_cell();
  lexer::transcode(text, out);
  Cell b = *out;
  stack::pop(1);
  return b;
}

// Words bound to the global context, as loaded code has them.
inline Cell word_of(const char* name, TypeId kind) {
  Cell c = word::make(symbol::make(name));
  c.set_type(kind);
  return c;
}
inline Cell w(const char* name) { return word_of(name, TYPE_WORD); }
inline Cell sw(const char* name) { return word_of(name, TYPE_SET_WORD); }
inline Cell lw(const char* name) { return word_of(name, TYPE_LIT_WORD); }
inline Cell gw(const char* name) { return word_of(name, TYPE_GET_WORD); }
inline Cell ref(const char* name) { return word_of(name, TYPE_REFINEMENT); }
inline std::string name_of(uint32_t sym) {
  symbol::Name n = symbol::name(sym);
  return std::string(n.bytes, n.length);
}
inline Cell i(int32_t v) { Cell c; set_integer(&c, v); return c; }

inline Cell series_of(TypeId t, std::initializer_list<Cell> cells) {
  NodeId n = alloc::new_cells(static_cast<uint32_t>(cells.size() ? cells.size() : 1));
  SeriesBuffer* b = node_buffer(n);
  uint32_t k = 0;
  for (const Cell& c : cells) b->cells()[k++] = c;
  b->tail = b->head + k * sizeof(Cell);
  return make_cell(t, 0, n);
}
inline Cell blk(std::initializer_list<Cell> cells) { return series_of(TYPE_BLOCK, cells); }
// The path naming a callee with refinements: name/r1/r2...
inline Cell path_of(const char* name, std::initializer_list<const char*> refinements) {
  std::vector<Cell> parts{word_of(name, TYPE_WORD)};
  for (const char* r : refinements) parts.push_back(word_of(r, TYPE_WORD));
  NodeId n = alloc::new_cells(static_cast<uint32_t>(parts.size()));
  SeriesBuffer* b = node_buffer(n);
  for (size_t k = 0; k < parts.size(); ++k) b->cells()[k] = parts[k];
  b->tail = b->head + static_cast<uint32_t>(parts.size() * sizeof(Cell));
  return make_cell(TYPE_PATH, 0, n);
}
inline Cell paren(std::initializer_list<Cell> cells) { return series_of(TYPE_PAREN, cells); }
inline Cell path(std::initializer_list<Cell> cells) { return series_of(TYPE_PATH, cells); }
inline Cell set_path(std::initializer_list<Cell> cells) { return series_of(TYPE_SET_PATH, cells); }

inline void set_global(const char* name, const Cell& v) {
  Cell word = w(name);
  interp::set_word(&word, &v);
}

inline Cell make_builtin(TypeId type, int32_t position, Cell spec) {
  Cell proto = make_cell(type);
  Cell arg = blk({spec, i(position)});
  Cell v = *native_type::make(&proto, &arg, type);
  stack::pop(1);
  return v;
}

inline void define_native(const char* name, Cell spec) {
  set_global(name, make_builtin(TYPE_NATIVE, natives::position_of(name), spec));
}

inline void define_op(const char* name, TypeId type, int32_t position, Cell spec) {
  Cell fn = make_builtin(type, position, spec);
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell proto = make_cell(TYPE_OP);
  Cell op = *native_type::make_op(&proto, &fn, TYPE_OP);   // writes the result slot
  stack::unwind_discard();
  set_global(name, op);
}

// Stand-ins for word! and paren! handlers until those types register their own.
inline int test_word_form(Cell* v, Cell* buf, Cell*, int limit) {
  std::string s = name_of(v->data2);
  if (v->is(TYPE_SET_WORD)) s += ':';
  if (v->is(TYPE_REFINEMENT)) s = "/" + s;
  string::append_ascii(buf->node(), s.c_str());
  return limit - static_cast<int>(s.size());
}
inline int test_word_mold(Cell* v, Cell* buf, bool, bool, bool, Cell* part, int limit, int) {
  return test_word_form(v, buf, part, limit);
}
inline void stand_in(TypeId t, ActionId a, ActionEntry e) {
  if (!action_table[t][a - 1]) action_table[t][a - 1] = e;
}

// What print and prin handed to the print hooks.
inline std::string& print_log() {
  static std::string log;
  return log;
}
inline void collect_print(const Cell* text, bool new_line) {
  print_log() += string::to_std_string(text);
  if (new_line) print_log() += '\n';
}

inline void install() {
  static bool done = false;
  testing::ensure_runtime();
  // Other suites empty the hook lists: register the collector again (once).
  dyn_print::remove(collect_print, nullptr);
  dyn_print::add(collect_print, nullptr);
  if (done) return;
  done = true;
  for (TypeId t : {TYPE_WORD, TYPE_SET_WORD, TYPE_GET_WORD, TYPE_LIT_WORD, TYPE_REFINEMENT}) {
    stand_in(t, ACT_FORM, entry(&test_word_form));
    stand_in(t, ACT_MOLD, entry(&test_word_mold));
  }
  stand_in(TYPE_PAREN, ACT_FORM, entry(&block::form));
  Cell t;
  set_datatype(&t, TYPE_BLOCK); set_global("block!", t);
  set_datatype(&t, TYPE_INTEGER); set_global("integer!", t);
  set_datatype(&t, TYPE_WORD); set_global("word!", t);
  set_datatype(&t, TYPE_FUNCTION); set_global("function!", t);
  set_global("any-type!", interp::typeset_all());
  Cell any = blk({w("any-type!")});
  define_native("if", blk({w("cond"), any, w("then-blk"), blk({w("block!")})}));
  define_native("either", blk({w("cond"), any, w("true-blk"), blk({w("block!")}),
                               w("false-blk"), blk({w("block!")})}));
  define_native("func", blk({w("spec"), blk({w("block!")}), w("body"), blk({w("block!")})}));
  define_native("function", blk({w("spec"), blk({w("block!")}), w("body"), blk({w("block!")}),
                                 ref("extern")}));
  define_native("does", blk({w("body"), blk({w("block!")})}));
  define_native("do", blk({w("value"), any, ref("expand"), ref("args"), w("arg"), ref("next"),
                           w("position"), blk({w("word!")}), ref("trace"), w("callback"),
                           blk({w("function!")})}));
  define_native("print", blk({w("value"), any}));
  define_native("prin", blk({w("value"), any}));
  define_native("return", blk({w("value"), any}));
  define_native("exit", blk({}));
  define_native("lesser?", blk({w("value1"), any, w("value2"), any}));
  Cell ints = blk({w("value1"), blk({w("integer!")}), w("value2"), blk({w("integer!")})});
  define_op("+", TYPE_ACTION, ACT_ADD, ints);
  define_op("-", TYPE_ACTION, ACT_SUBTRACT, ints);
  define_op("*", TYPE_ACTION, ACT_MULTIPLY, ints);
  define_op("<", TYPE_NATIVE, natives::position_of("lesser?"),
            blk({w("value1"), any, w("value2"), any}));
  set_global("negate", make_builtin(TYPE_ACTION, ACT_NEGATE, blk({w("number"), blk({w("integer!")})})));
}

struct Outcome {
  bool error = false;
  std::string text;   // the error as the console shows it
  std::string id;     // category/id of the error, as in "script/no-value"
  Cell error_value{};
  Cell value{};
  Status status = CODE_NONE;
};

// Evaluates a block under a try frame; the stacks are put back as found.
inline Outcome run(const Cell& block) {
  Outcome o;
  stack::State saved = stack::save();
  uint32_t depth_before = interp::depth();
  stack::mark_try(nullptr);
  try {
    o.status = interp::eval_block(&block, false);
    o.value = *(stack::top - 1);
  } catch (const Unwind&) {
    o.error = true;
    Cell err = *(stack::top - 1);
    o.error_value = err;
    error::form_for_console(
        &err, [](const char* b, size_t n, void* ctx) { static_cast<std::string*>(ctx)->append(b, n); },
        &o.text);
    int cat = error::code(&err) / 100;
    o.id = std::string(error_catalogue::category(cat).name) + "/" + error::id_name(&err);
  }
  stack::restore(saved);
  EXPECT_EQ(interp::depth(), depth_before);
  return o;
}

// The text of form (or mold) of a value, made under a frame of its own.
inline std::string text_of(const Cell& value, bool mold) {
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell* v = stack::push(&value);
  Cell* buf = stack::new_cell();
  *buf = make_cell(TYPE_STRING, 0, string::make(16));
  if (mold) actions::mold_direct(v, buf, false, false, false, nullptr, 0x7FFFFFFF, 0);
  else actions::form_direct(v, buf, nullptr, 0x7FFFFFFF);
  std::string text = string::to_std_string(buf);
  stack::unwind_discard();
  return text;
}
inline std::string molded(const Cell& value) { return text_of(value, true); }
inline std::string formed(const Cell& value) { return text_of(value, false); }

inline std::string printed(const Cell& block, Outcome* out = nullptr) {
  print_log().clear();
  Outcome o = run(block);
  std::string text = print_log();
  if (out) *out = o;
  EXPECT_FALSE(o.error) << o.text;
  return text;
}

}  // namespace tav::evaltest
