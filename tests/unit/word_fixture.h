// Shared set-up for the word and path tests: values from source text, form and mold through
// the action layer, conversions and the id of the error an expression raises.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "datatypes/block.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "core/memory.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "datatypes/string.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav::testing {

class WordFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    saved_ = stack::save();
    stack::mark_native(nullptr);
    set_unset(stack::new_cell());
  }
  void TearDown() override { stack::restore(saved_); }

  // The values of a text, as a block on the argument stack.
  static Cell* load(const std::string& text) {
    Cell* out = set_unset(stack::new_cell());
    lexer::transcode(text, out);
    return out;
  }
  // The first value of a text, pushed.
  static Cell* value(const std::string& text) {
    Cell* blk = load(text);
    return stack::push(block::cell_at(blk, 0));
  }

  static std::string text(Cell* v, bool mold, Cell* part = nullptr, int limit = 0x7FFFFFFF,
                          int* remaining = nullptr, bool only = false) {
    Cell* buf = stack::new_cell();
    *buf = make_cell(TYPE_STRING, 0, string::make(16));
    int left = mold ? actions::mold_direct(v, buf, only, false, false, part, limit, 0)
                    : actions::form_direct(v, buf, part, limit);
    if (remaining) *remaining = left;
    return string::to_std_string(buf);
  }
  static std::string mold(Cell* v) { return text(v, true); }
  static std::string form(Cell* v) { return text(v, false); }
  static std::string mold_of(const std::string& src) { return mold(value(src)); }
  static std::string form_of(const std::string& src) { return form(value(src)); }

  // to (or make) of spec into type t; answers the result cell (pushed).
  static Cell* convert(TypeId t, Cell* spec, bool make = false) {
    Cell* proto = set_datatype(stack::new_cell(), t);
    Cell* arg = stack::push(spec);
    Cell* r = make ? actions::make_direct(proto, arg, t) : actions::to_direct(proto, arg, t);
    return stack::push(r);
  }

  template <typename Fn>
  static std::string error_id(Fn fn) { return testing::error_id(fn); }

 private:
  stack::State saved_{};
};

}  // namespace tav::testing
