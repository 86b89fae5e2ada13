// Builds code blocks by hand (until the scanner exists) and installs the natives, operators
// and datatype words the evaluator tests use.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "datatypes/native.h"
#include "errors.h"
#include "evaluator/calls.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "memory.h"
#include "test_runtime.h"
#include "types.h"

namespace tav::evaltest {

inline Cell w(const char* name) { return bridge::global_word(name); }
inline Cell sw(const char* name) { return bridge::global_word(name, TYPE_SET_WORD); }
inline Cell lw(const char* name) { return bridge::global_word(name, TYPE_LIT_WORD); }
inline Cell gw(const char* name) { return bridge::global_word(name, TYPE_GET_WORD); }
inline Cell ref(const char* name) { return bridge::global_word(name, TYPE_REFINEMENT); }
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
  stack::unwind_reset();
  set_global(name, op);
}

// negate for integers, standing in for the actions layer in these tests.
inline Status test_negate(const int32_t*) {
  if (!stack::base->is(TYPE_INTEGER)) error::raise(ERR_SCRIPT, "cannot-use");
  set_integer(stack::base, -stack::base->int_value());
  return CODE_NONE;
}

inline void install() {
  static bool done = false;
  testing::ensure_runtime();
  if (done) return;
  done = true;
  static NativeEntry dispatchers[ACTION_COUNT] = {};
  dispatchers[ACT_NEGATE - 1] = test_negate;
  interp::action_dispatchers = dispatchers;
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
    error::form_for_console(
        &err, [](const char* b, size_t n, void* ctx) { static_cast<std::string*>(ctx)->append(b, n); },
        &o.text);
  }
  stack::restore(saved);
  EXPECT_EQ(interp::depth(), depth_before);
  return o;
}

inline std::string printed(const Cell& block, Outcome* out = nullptr) {
  ::testing::internal::CaptureStdout();
  Outcome o = run(block);
  std::string text = ::testing::internal::GetCapturedStdout();
  if (out) *out = o;
  EXPECT_FALSE(o.error) << o.text;
  return text;
}

}  // namespace tav::evaltest
