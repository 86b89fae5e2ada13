// The lexer's callback road as C++ callers reach it: event masks, scans started from C++
// with a callback, and what the collector keeps alive while a callback runs.
#include <gtest/gtest.h>

#include <string>

#include "core/collector.h"
#include "datatypes/string.h"
#include "eval_helpers.h"
#include "scanner/lexer.h"
#include "scanner/tokens.h"
#include "core/stack.h"
#include "test_runtime.h"

namespace {

using tav::Cell;
namespace lexer = tav::lexer;
namespace stack = tav::stack;
namespace evaltest = tav::evaltest;

class LexerTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    evaltest::install();
  }

  static Cell load(const char* text) { return evaltest::loaded(text); }
  // The value of a text, evaluated; held only by the caller's C++ local afterwards.
  static Cell value_of(const char* text) {
    evaltest::Outcome o = evaltest::run(load(text));
    EXPECT_FALSE(o.error) << text << ": " << o.text;
    return o.value;
  }
  static Cell global(const char* name) {
    Cell word = evaltest::w(name);
    return *tav::interp::get_word(&word);
  }
  // A string value made from C++ alone, at the given index.
  static Cell string_at(const char* utf8, uint32_t index) {
    Cell block = load((std::string("{") + utf8 + "}").c_str());
    Cell str = tav::node_buffer(block.node())->cells()[0];
    str.data1 = index;
    return str;
  }
};

TEST_F(LexerTrace, EventMaskComesFromTheBlockOpeningTheBody) {
  struct Case {
    const char* function;
    uint32_t mask;
  } cases[] = {
      {"func [e i t l k] [[error] true]", lexer::EVENT_ERROR},
      {"func [e i t l k] [[Load SCAN] true]", lexer::EVENT_LOAD | lexer::EVENT_SCAN},
      {"func [e i t l k] [['open close:] true]", lexer::EVENT_OPEN | lexer::EVENT_CLOSE},
      {"func [e i t l k] [[foo 1 \"prescan\" prescan] true]", lexer::EVENT_PRESCAN},
      {"func [e i t l k] [[] true]", 0},
      {"func [e i t l k] [[nothing] true]", 0},
      {"func [e i t l k] [true]", lexer::ALL_EVENTS},
      {"func [e i t l k] []", lexer::ALL_EVENTS},
      {"func [e i t l k] [\"error\" [error]]", lexer::ALL_EVENTS},
      {"func [e i t l k] [(error) true]", lexer::ALL_EVENTS},
  };
  for (const Case& c : cases) {
    Cell fn = value_of(c.function);
    ASSERT_TRUE(fn.is(tav::TYPE_FUNCTION)) << c.function;
    EXPECT_EQ(lexer::event_mask(&fn), c.mask) << c.function;
  }
}

// A scan started from C++ holds its input and callback only in its own state: the collector
// must keep both while the callback collects and allocates.
TEST_F(LexerTrace, CollectionInsideTheCallbackKeepsInputAndCallback) {
  evaltest::set_global("calls", evaltest::i(0));
  Cell fn = value_of(
      "func [event input type line token] [[load] recycle transcode {\"some\" [garbage] {text}}"
      " calls: calls + 1 saved: input true]");
  Cell str = string_at("zz a \"b\" [c]", 2);
  Cell* result = stack::new_cell();
  uint32_t end = 0;
  EXPECT_EQ(tav::testing::error_id([&] {
              lexer::scan_string(&str, -1, lexer::Mode::load, false, nullptr, result, &end, &fn);
            }),
            "");
  EXPECT_EQ(evaltest::molded(*result), "[a \"b\" [c]]");
  EXPECT_EQ(end, 10u);
  stack::pop(1);
  EXPECT_EQ(global("calls").int_value(), 3);
  Cell saved = global("saved");
  ASSERT_TRUE(saved.is(tav::TYPE_STRING));
  EXPECT_EQ(saved.node(), str.node());
  EXPECT_EQ(saved.index(), 11u);   // just past "c", the last value loaded
  Cell whole = saved;
  whole.data1 = 0;
  EXPECT_EQ(tav::string::to_std_string(&whole), "zz a \"b\" [c]");
}

// Positions count from the string value's own index, in characters.
TEST_F(LexerTrace, StringPositionsCountFromTheValuesIndex) {
  Cell fn = value_of(
      "func [event input type line token] [[scan] last-token: token saved: input true]");
  Cell str = string_at("\xC3\xA9\xC3\xA9 x \xC3\xA9y", 2);
  Cell* result = stack::new_cell();
  lexer::scan_string(&str, -1, lexer::Mode::load, false, nullptr, result, nullptr, &fn);
  stack::pop(1);
  Cell token = global("last-token");
  ASSERT_TRUE(token.is(tav::TYPE_PAIR));
  EXPECT_EQ(token.data2, 6u);
  EXPECT_EQ(token.data3, 8u);
  EXPECT_EQ(global("saved").index(), 7u);
}

// A scan over bytes with no input series to show: positions are byte offsets, `input` is
// none, and setting it cannot steer the scan.
TEST_F(LexerTrace, ScanWithoutAnInputSeries) {
  Cell fn = value_of(
      "func [event input type line token] [[load] seen: input last-token: token input: 1000 "
      "true]");
  const char text[] = "\xC3\xA9 b";
  lexer::Request r;
  r.text = reinterpret_cast<const uint8_t*>(text);
  r.length = sizeof text - 1;
  r.count_chars = false;
  r.callback = &fn;
  Cell* result = stack::new_cell();
  uint32_t end = 0;
  lexer::scan_utf8(r, result, &end);
  EXPECT_EQ(evaltest::molded(*result), "[\xC3\xA9 b]");
  EXPECT_EQ(end, 4u);
  stack::pop(1);
  EXPECT_TRUE(global("seen").is(tav::TYPE_NONE));
  EXPECT_EQ(evaltest::molded(global("last-token")), "b");
}

// An error leaving a callback unlinks every scan it crossed: the next scans start afresh.
TEST_F(LexerTrace, ErrorOutOfNestedCallbacksLeavesNoScanRunning) {
  value_of("inner-cb: func [e i t l k] [[load] no-such-word-here]");
  Cell fn = value_of(
      "func [event input type line token] [[load] transcode/trace {deeper} :inner-cb true]");
  Cell str = string_at("[a [deep]]", 0);
  Cell* result = stack::new_cell();
  EXPECT_EQ(tav::testing::error_id([&] {
              lexer::scan_string(&str, -1, lexer::Mode::load, false, nullptr, result, nullptr,
                                 &fn);
            }),
            "no-value");
  tav::collector::collect();
  lexer::transcode("x [y]", result);
  EXPECT_EQ(evaltest::molded(*result), "[x [y]]");
  stack::pop(1);
}

}  // namespace
