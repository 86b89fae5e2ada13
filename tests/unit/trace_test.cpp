// The tracing mode where the language tables cannot reach: the call-back bits (no system
// object drives them yet), calls made through interp::call_function with a kind, the
// stack-trace setting, and frames left above the top that name contexts which are gone.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/object.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "core/memory.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/words.h"

namespace tav::interp::interp_detail {
// The interpreter's own hooks into the object datatype (a suite run in the same process may
// have installed stand-ins).
void evaluate_for_object(Cell* block);
void call_object_handler(Cell* fn, NodeId ctx, uint32_t name_symbol, uint32_t kind);
}  // namespace tav::interp::interp_detail

namespace tav {
namespace {

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    // Other fixtures in the same process install hooks of their own; the library's objects
    // are built with the interpreter's.
    object::evaluator = &interp::interp_detail::evaluate_for_object;
    object::handler_call = &interp::interp_detail::call_object_handler;
    trace::set_callback_bits(0);
  }
  void TearDown() override {
    trace::set_callback_bits(0);
    eval("system/state/stack-trace: 1");
  }

  // Evaluates the text and answers the mold of its value ("error ID" when it raises).
  static std::string eval(const std::string& text) {
    stack::State saved = stack::save();
    stack::mark_try(nullptr);
    std::string out;
    try {
      Cell* code = stack::new_cell();
      lexer::transcode(text, code);
      Status s = interp::eval_block(code, false);
      if (s != CODE_NONE) {
        out = "(unwound)";
      } else {
        Cell* result = stack::push(stack::top - 1);
        Cell* buffer = string::make_at(stack::new_cell(), 64);
        actions::mold_direct(result, buffer, false, false, false, nullptr, 0x7FFFFFFF, 0);
        out = string::to_std_string(buffer);
      }
    } catch (const Unwind& u) {
      out = u.code == CODE_ERROR ? "error " + error::id_name(stack::top - 1) : "(unwound)";
    }
    stack::restore(saved);
    return out;
  }

  // The value of a global word.
  static Cell global(const char* name) {
    Cell w = word::make(symbol::make(name));
    return *interp::get_word(&w);
  }
};

const char* const kHandler =
    "evs: copy [] h: func [event code offset value ref frame] [append evs event] ";

TEST_F(Trace, SortComparatorIsFollowedOnlyWithItsBit) {
  const std::string run =
      std::string(kHandler) +
      "do/trace [sort/compare [3 1 2] func [a b] [a < b]] :h type? find evs 'prolog";
  EXPECT_EQ(eval(run), "none!");
  trace::set_callback_bits(trace::CALLBACK_SORT);
  EXPECT_EQ(eval(run), "block!");
  trace::set_callback_bits(trace::CALLBACK_ON_CHANGE | trace::CALLBACK_PARSE);
  EXPECT_EQ(eval(run), "none!");
}

TEST_F(Trace, ChangeHandlersAreFollowedByTheirOwnKind) {
  const std::string run =
      std::string(kHandler) +
      "watched: make object! [a: 1 on-change*: func [w old new] [new]] "
      "do/trace [watched/a: 2] :h type? find evs 'prolog";
  EXPECT_EQ(eval(run), "none!");
  trace::set_callback_bits(trace::CALLBACK_ON_DEEP_CHANGE);
  EXPECT_EQ(eval(run), "none!");
  trace::set_callback_bits(trace::CALLBACK_ON_CHANGE);
  EXPECT_EQ(eval(run), "block!");
}

// A call-back made the way the lexer and the parse engine make theirs.
TEST_F(Trace, CallFunctionTakesTheKind) {
  struct Row {
    uint32_t bits;
    const char* events;
  };
  const Row rows[] = {
      {0, "[init end]"},
      {trace::CALLBACK_PARSE, "[init end]"},
      {trace::CALLBACK_LEXER, "[init prolog enter fetch push expr exit epilog end]"},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(eval(std::string(kHandler) + "k: func [x] [x] 0"), "0");
    trace::set_callback_bits(r.bits);
    Cell h = global("h");
    Cell k = global("k");
    Cell* saved_top = stack::top;
    stack::push(&h);
    ASSERT_TRUE(trace::install(&h));
    stack::push(&k);
    Cell name = word::make(symbol::make("k"));
    stack::mark_func(&name, k.data1);
    Cell five;
    set_integer(&five, 5);
    stack::push(&five);
    Status s = interp::call_function(&k, trace::CALLBACK_LEXER);
    EXPECT_EQ(s, CODE_NONE);
    EXPECT_EQ(stack::base->int_value(), 5);
    stack::unwind_func();
    trace::remove();
    stack::top = saved_top;
    EXPECT_FALSE(trace::installed);
    EXPECT_FALSE(trace::active);
    EXPECT_EQ(eval("evs"), r.events) << r.bits;
  }
}

TEST_F(Trace, TheStackLineFollowsTheSetting) {
  // e may hold a function from an earlier test: the set-word below must not name a call.
  eval("e: none f1: func [] [1 / 0] f2: func [x] [f1] 0");
  const std::string with_line = "{*** Math Error: attempt to divide by zero^/*** Where: /"
                                "^/*** Near : 1 / 0^/*** Stack: f2 f1 }";
  EXPECT_EQ(eval("form try [f2 0]"), with_line);
  eval("system/state/stack-trace: 0");
  EXPECT_EQ(eval("form try [f2 0]"),
            "{*** Math Error: attempt to divide by zero^/*** Where: /^/*** Near : 1 / 0}");
  EXPECT_EQ(eval("form try/keep [f2 0]"),
            "{*** Math Error: attempt to divide by zero^/*** Where: /^/*** Near : 1 / 0}");
  eval("system/state/stack-trace: none");
  EXPECT_EQ(eval("e: try/keep [f2 0] e/stack"), "[f2 f1]");   // collected at level 1
  // Above 1 every named call shows: natives and set-words included.
  eval("system/state/stack-trace: 2");
  EXPECT_EQ(eval("e: try/keep [f2 0] e/stack"), "[e try try f2 f1 /]");
}

// An error records how deep its frames went; by the time its report is formed, the frames
// above the top may have been reused by calls whose contexts are gone.
TEST_F(Trace, FramesAboveTheTopNamingNoContextAreSkipped) {
  uint32_t live = static_cast<uint32_t>(stack::frames_top - stack::frames_begin);
  uint32_t sym = symbol::make("gone-call");
  NodeId not_a_context = alloc::new_cells(1);
  NodeId bytes = alloc::new_bytes(16);
  for (NodeId ctx : {not_a_context, bytes}) {
    CallFrame* stale = stack::frames_top;
    *stale = CallFrame{0x01000000, sym, 0, 0, ctx, 0, 0};
    std::string all, functions;
    stack::form_trace(2, live + 1, all);
    stack::form_trace(1, live + 1, functions);
    EXPECT_EQ(all.substr(all.size() - 10), "gone-call ") << ctx;
    EXPECT_EQ(functions.find("gone-call"), std::string::npos) << ctx;
    NodeId names = alloc::new_cells(4);
    stack::collect_call_names(2, names, live + 1);
    SeriesBuffer* b = node_buffer(names);
    ASSERT_GE(b->count(), 1u);
    const Cell& last = b->cells()[b->count() - 1];
    EXPECT_EQ(last.data2, sym);
    EXPECT_EQ(last.data1, 0u);   // left unbound
  }
}

}  // namespace
}  // namespace tav
