#include <gtest/gtest.h>

#include <cmath>

#include "datatypes/time.h"
#include "scalar_fixture.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav {
namespace {

using testing::float_cell;
using testing::int_cell;
using testing::time_cell;

class TimeTest : public testing::ScalarTest {
 protected:
  static Cell from_text(const char* s) {
    string::push_utf8(s);
    Cell c = *(stack::top - 1);
    return make(TYPE_TIME, c);
  }
  static Cell from_block(std::initializer_list<Cell> cells) {
    NodeId n = alloc::new_series_of_unit(static_cast<uint32_t>(cells.size()) + 1, sizeof(Cell));
    Cell b = make_cell(TYPE_BLOCK, 0, n);
    stack::push(&b);
    for (const Cell& c : cells) *series::new_tail_cell(&b) = c;
    return make(TYPE_TIME, b);
  }
  static Cell path(Cell t, Cell element, const Cell* value = nullptr) {
    Cell v = value ? *value : make_cell(TYPE_NONE);
    return on_stack(t, v, [&] {
      auto fn = reinterpret_cast<act::EvalPath>(action_entry(TYPE_TIME, ACT_EVAL_PATH));
      Cell* r = fn(stack::base, &element, value ? stack::base + 1 : nullptr, nullptr, nullptr,
                   nullptr, 1, false, !value, false, false);
      if (!value) *stack::base = *r;
    });
  }
  static Cell word(uint32_t sym) { return word::make(sym); }
};

TEST_F(TimeTest, Form) {
  struct Case { double seconds; const char* text; };
  Case cases[] = {
      {3723, "1:02:03"},       {0.5, "0:00:00.5"},       {-90, "-0:01:30"},
      {360000, "100:00:00"},   {3723.25, "1:02:03.25"},  {0, "0:00:00"},
      {65.123456789, "0:01:05.12346"},
      {59.9999999, "0:01:00"},  {3599.9999999, "1:00:00"}, {0.0000001, "0:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(form(time_cell(c.seconds)), c.text);
    EXPECT_EQ(mold(time_cell(c.seconds)), c.text);
  }
  EXPECT_EQ(form_limit(time_cell(-90)), 100 - 8);
}

TEST_F(TimeTest, MakeFromNumbersBlocksAndText) {
  EXPECT_EQ(make(TYPE_TIME, int_cell(90)).float_value(), 90.0);
  EXPECT_EQ(make(TYPE_TIME, float_cell(1.5)).float_value(), 1.5);
  Cell t = from_block({int_cell(1), int_cell(2), int_cell(3)});
  EXPECT_EQ(t.type(), TYPE_TIME);
  EXPECT_EQ(t.float_value(), 3723.0);
  EXPECT_EQ(from_block({int_cell(-1), int_cell(2), int_cell(3)}).float_value(), -3723.0);
  EXPECT_EQ(from_block({int_cell(1), int_cell(2), float_cell(3.5)}).float_value(), 3723.5);
  EXPECT_EQ(from_block({}).float_value(), 0.0);
  EXPECT_EQ(error_id(from_block({int_cell(1), int_cell(-2)})), "bad-to-arg");
  EXPECT_EQ(error_id(from_block({float_cell(1), int_cell(2)})), "bad-to-arg");
  EXPECT_EQ(error_id(from_block({int_cell(1), int_cell(2), int_cell(3), int_cell(4)})), "bad-to-arg");

  EXPECT_EQ(from_text("1:02:03").float_value(), 3723.0);
  EXPECT_EQ(from_text(" -1:30 ").float_value(), -5400.0);
  EXPECT_EQ(from_text("1:02:03.5").float_value(), 3723.5);
  EXPECT_EQ(from_text("2:03,5").float_value(), 123.5);   // m:s.f
  EXPECT_EQ(from_text("0:90").float_value(), 5400.0);
  for (const char* bad : {"", "12", "1:", "1::2", "1:2:3:4", "a:b", "1:-2", "1e2:3", "1:2.5:3"})
    EXPECT_EQ(error_id(from_text(bad)), "bad-to-arg") << bad;
  EXPECT_EQ(error_id(make(TYPE_TIME, make_cell(TYPE_NONE))), "bad-to-arg");
}

TEST_F(TimeTest, Fields) {
  Cell t = time_cell(-5400);
  EXPECT_EQ(path(t, word(symbols::hour)).int_value(), -1);
  EXPECT_EQ(path(t, word(symbols::minute)).int_value(), 30);
  Cell s = path(t, word(symbols::second));
  EXPECT_EQ(s.type(), TYPE_FLOAT);
  EXPECT_EQ(s.float_value(), 0.0);
  EXPECT_EQ(path(time_cell(3723.5), int_cell(3)).float_value(), 3.5);
  EXPECT_EQ(error_id(path(t, int_cell(4))), "invalid-path");
  EXPECT_EQ(error_id(path(t, word(symbol::make("year")))), "invalid-path");
}

TEST_F(TimeTest, SettingFields) {
  auto set = [&](double seconds, uint32_t field, Cell v) {
    Cell t = time_cell(seconds);
    return on_stack(t, v, [&] {
      Cell element = word::make(field);
      auto fn = reinterpret_cast<act::EvalPath>(action_entry(TYPE_TIME, ACT_EVAL_PATH));
      fn(stack::base, &element, stack::base + 1, nullptr, nullptr, nullptr, 1, false, false,
         false, false);
    });
  };
  EXPECT_EQ(set(3723, symbols::minute, int_cell(30)).float_value(), 1 * 3600 + 30 * 60 + 3);
  EXPECT_EQ(set(3723, symbols::second, float_cell(7.5)).float_value(), 3727.5);
  EXPECT_EQ(set(3723, symbols::hour, int_cell(5)).float_value(), 5 * 3600 + 123);
  // Setting a field of a negative time to what it reads leaves the time alone.
  EXPECT_EQ(set(-5400, symbols::hour, int_cell(-1)).float_value(), -5400.0);
  EXPECT_EQ(set(-5400, symbols::minute, int_cell(30)).float_value(), -5400.0);
  EXPECT_EQ(set(-5400, symbols::minute, int_cell(15)).float_value(), -4500.0);
  EXPECT_EQ(error_id(set(3723, symbols::minute, float_cell(1.5))), "invalid-arg");
}

TEST_F(TimeTest, Pick) {
  auto pick = [&](int index, const Cell* boxed) {
    return on_stack(time_cell(3723), int_cell(0), [&] {
      auto fn = reinterpret_cast<act::Pick>(action_entry(TYPE_TIME, ACT_PICK));
      *stack::base = *fn(stack::base, index, const_cast<Cell*>(boxed));
    });
  };
  EXPECT_EQ(pick(1, nullptr).int_value(), 1);
  EXPECT_EQ(pick(2, nullptr).int_value(), 2);
  Cell minute = word(symbols::minute);
  EXPECT_EQ(pick(0, &minute).int_value(), 2);
  EXPECT_EQ(error_id(pick(4, nullptr)), "out-of-range");
  Cell other = word(symbol::make("zone"));
  EXPECT_EQ(error_id(pick(0, &other)), "cannot-use");
}

TEST_F(TimeTest, Arithmetic) {
  Cell r = math(ACT_ADD, time_cell(60), time_cell(30));
  EXPECT_EQ(r.type(), TYPE_TIME);
  EXPECT_EQ(r.float_value(), 90.0);
  r = math(ACT_DIVIDE, time_cell(90), time_cell(30));
  EXPECT_EQ(r.type(), TYPE_FLOAT);
  EXPECT_EQ(r.float_value(), 3.0);
  r = math(ACT_DIVIDE, time_cell(90), int_cell(2));
  EXPECT_EQ(r.type(), TYPE_TIME);
  EXPECT_EQ(r.float_value(), 45.0);
  EXPECT_EQ(math(ACT_REMAINDER, time_cell(90), int_cell(60)).float_value(), 30.0);
  EXPECT_EQ(error_id(math(ACT_MULTIPLY, time_cell(2), time_cell(3))), "not-related");
  EXPECT_EQ(error_id(math(ACT_SUBTRACT, time_cell(2), make_cell(TYPE_DATE))), "not-related");
  EXPECT_EQ(error_id(math(ACT_ADD, time_cell(2), testing::char_cell('a'))), "invalid-type");
  EXPECT_EQ(compare(time_cell(60), time_cell(61), COMP_LESSER), -1);
  EXPECT_EQ(compare(time_cell(60), int_cell(60), COMP_EQUAL), 0);
}

TEST_F(TimeTest, RoundAndParity) {
  Cell r = round(time_cell(90.6), nullptr);
  EXPECT_EQ(r.type(), TYPE_TIME);
  EXPECT_EQ(r.float_value(), 91.0);
  Cell minute = int_cell(60);
  r = round(time_cell(100), &minute);
  EXPECT_EQ(r.type(), TYPE_TIME);
  EXPECT_EQ(r.float_value(), 120.0);
  EXPECT_TRUE(predicate(ACT_ODD_Q, time_cell(3723)));
  EXPECT_TRUE(predicate(ACT_ODD_Q, time_cell(3722.9999999)));
  EXPECT_TRUE(predicate(ACT_EVEN_Q, time_cell(-62)));
}

}  // namespace
}  // namespace tav
