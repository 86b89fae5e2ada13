// Shared set-up for the block, series and actions tests: the series types registered, a
// minimal integer! (decimal text, numeric order) when the real one is not registered, a
// builder for blocks written as text, and calls through the action dispatchers.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/cycles.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "core/string_buffer.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "core/stack.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav::testing {

namespace fixture_detail {
inline int int_form(Cell* v, Cell* buf, Cell*, int limit) {
  std::string s = std::to_string(v->int_value());
  string::append_ascii(buf->node(), s.c_str());
  return limit - static_cast<int>(s.size());
}
inline int int_mold(Cell* v, Cell* buf, bool, bool, bool, Cell* part, int limit, int) {
  return int_form(v, buf, part, limit);
}
inline int int_compare(Cell* a, Cell* b, int) {
  if (!b->is(TYPE_INTEGER)) return COMPARE_UNRELATED;
  return a->int_value() < b->int_value() ? -1 : (a->int_value() > b->int_value() ? 1 : 0);
}
}  // namespace fixture_detail

class BlockFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    series_type::init();
    block_type::init();
    saved_row_ = action_table[TYPE_INTEGER];
    auto& row = action_table[TYPE_INTEGER];
    if (!row[ACT_FORM - 1]) row[ACT_FORM - 1] = entry(&fixture_detail::int_form);
    if (!row[ACT_MOLD - 1]) row[ACT_MOLD - 1] = entry(&fixture_detail::int_mold);
    if (!row[ACT_COMPARE - 1]) row[ACT_COMPARE - 1] = entry(&fixture_detail::int_compare);
    string_type::init();
    saved_ = stack::save();
    stack::mark_native(nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(cycles::depth(), saved_.cycles_depth) << "the cycle stack was left open";
    stack::restore(saved_);
    action_table[TYPE_INTEGER] = saved_row_;
  }

  // A block from text: integers, nested [...], and a line break marking the next value.
  Cell* blk(const char* text) {
    Cell* out = stack::new_cell();
    const char* p = text;
    build(p, out);
    return out;
  }

  static Cell integer(int32_t v) {
    Cell c;
    set_integer(&c, v);
    return c;
  }

  Cell* string_value(const char* text) {
    Cell* c = stack::new_cell();
    string::make_at(c, 16);
    string::append_ascii(c->node(), text);
    return c;
  }

  static std::string text_of(const Cell* str) { return string::to_std_string(str); }

  // Calls an action through its dispatcher: args[0] is the first argument; refinement
  // positions count cells from the base. Answers the result slot.
  Cell* call(ActionId a, std::vector<Cell> args, std::vector<int32_t> refs = {}) {
    Cell* base = stack::mark_native(nullptr);
    for (const Cell& c : args) stack::push(&c);
    refs.resize(16, -1);
    actions::table[a - 1](refs.data());
    return base;
  }

  std::string mold(const Cell* v, bool only = false, bool flat = false, int part = -1) {
    std::vector<Cell> args{*v};
    std::vector<int32_t> refs{only ? 0 : -1, -1, flat ? 0 : -1, -1};
    if (part != -1 || part_given_) {
      args.push_back(integer(part));
      refs[3] = 1;
    }
    return text_of(call(ACT_MOLD, args, refs));
  }
  std::string mold_part(const Cell* v, int part) {
    part_given_ = true;
    std::string s = mold(v, false, false, part);
    part_given_ = false;
    return s;
  }
  std::string form(const Cell* v) { return text_of(call(ACT_FORM, {*v}, {-1})); }

  template <typename Fn>
  static std::string error_id(Fn fn) { return testing::error_id(fn); }

 private:
  void build(const char*& p, Cell* out) {
    block::make_at(out, 4);
    bool line = false;
    while (*p) {
      char ch = *p;
      if (ch == ']') {
        p++;
        return;
      }
      if (ch == '\n') {
        line = true;
        p++;
      } else if (ch == ' ') {
        p++;
      } else if (ch == '[') {
        p++;
        Cell* child = stack::new_cell();
        build(p, child);
        if (line) child->header |= FLAG_NEW_LINE;
        block::append_cell(out, child);
        stack::pop(1);
        line = false;
      } else {
        char* end;
        long v = std::strtol(p, &end, 10);
        p = end;
        Cell c = integer(static_cast<int32_t>(v));
        if (line) c.header |= FLAG_NEW_LINE;
        block::append_cell(out, &c);
        line = false;
      }
    }
  }

  ActionRow saved_row_{};
  stack::State saved_{};
  bool part_given_ = false;
};

}  // namespace tav::testing
