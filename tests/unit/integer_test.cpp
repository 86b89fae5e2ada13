#include <gtest/gtest.h>

#include <climits>

#include "datatypes/integer.h"
#include "scalar_fixture.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav {
namespace {

using testing::float_cell;
using testing::int_cell;

class IntegerTest : public testing::ScalarTest {};

TEST_F(IntegerTest, FormAndMold) {
  for (int32_t v : {0, 7, -7, 2147483647, INT32_MIN}) {
    std::string expected = std::to_string(v);
    EXPECT_EQ(form(int_cell(v)), expected);
    EXPECT_EQ(mold(int_cell(v)), expected);
  }
  EXPECT_EQ(form_limit(int_cell(-123)), 96);
}

TEST_F(IntegerTest, ArithmeticOverflowsIntoFloat) {
  struct Case { ActionId op; int32_t a, b; bool is_float; double expected; };
  Case cases[] = {
      {ACT_ADD, 2147483647, 1, true, 2147483648.0},
      {ACT_SUBTRACT, INT32_MIN, 1, true, -2147483649.0},
      {ACT_MULTIPLY, 65536, 65536, true, 4294967296.0},
      {ACT_ADD, 2, 3, false, 5},
      {ACT_DIVIDE, 7, 2, true, 3.5},
      {ACT_DIVIDE, -7, 2, true, -3.5},
      {ACT_DIVIDE, 6, 2, false, 3},
      {ACT_REMAINDER, 7, 2, false, 1},
      {ACT_REMAINDER, -7, 2, false, -1},
      {ACT_AND_T, 12, 10, false, 8},
      {ACT_OR_T, 12, 10, false, 14},
      {ACT_XOR_T, 12, 10, false, 6},
  };
  for (const Case& c : cases) {
    Cell r = math(c.op, int_cell(c.a), int_cell(c.b));
    SCOPED_TRACE(std::to_string(c.a) + " op " + std::to_string(c.op) + " " + std::to_string(c.b));
    ASSERT_EQ(r.type(), c.is_float ? TYPE_FLOAT : TYPE_INTEGER);
    if (c.is_float) EXPECT_EQ(r.float_value(), c.expected);
    else EXPECT_EQ(r.int_value(), static_cast<int32_t>(c.expected));
  }
}

TEST_F(IntegerTest, DivisionErrors) {
  EXPECT_EQ(error_id(math(ACT_DIVIDE, int_cell(1), int_cell(0))), "zero-divide");
  EXPECT_EQ(error_id(math(ACT_REMAINDER, int_cell(1), int_cell(0))), "zero-divide");
  EXPECT_EQ(error_id(math(ACT_DIVIDE, int_cell(INT32_MIN), int_cell(-1))), "overflow");
  EXPECT_EQ(error_id(math(ACT_REMAINDER, int_cell(INT32_MIN), int_cell(-1))), "overflow");
  Cell none = make_cell(TYPE_NONE);
  EXPECT_EQ(error_id(math(ACT_ADD, int_cell(1), none)), "invalid-type");
}

TEST_F(IntegerTest, MixedOperandsGoToTheirType) {
  Cell r = math(ACT_ADD, int_cell(1), testing::pct_cell(0.1));
  EXPECT_EQ(r.type(), TYPE_FLOAT);
  EXPECT_DOUBLE_EQ(r.float_value(), 1.1);
  r = math(ACT_MULTIPLY, int_cell(2), testing::time_cell(30));
  EXPECT_EQ(r.type(), TYPE_TIME);
  EXPECT_EQ(r.float_value(), 60.0);
  r = math(ACT_ADD, int_cell(1), testing::char_cell('a'));
  EXPECT_EQ(r.type(), TYPE_INTEGER);
  EXPECT_EQ(r.int_value(), 98);
}

TEST_F(IntegerTest, NegateAbsoluteComplement) {
  auto unary = [&](ActionId a, int32_t v) {
    return on_stack(int_cell(v), int_cell(0), [&] {
      reinterpret_cast<act::Unary>(action_entry(TYPE_INTEGER, a))(stack::base);
    });
  };
  EXPECT_EQ(unary(ACT_NEGATE, 5).int_value(), -5);
  EXPECT_EQ(error_id(unary(ACT_NEGATE, INT32_MIN)), "overflow");
  EXPECT_EQ(unary(ACT_COMPLEMENT, 0).int_value(), -1);
  EXPECT_EQ(math(ACT_ABSOLUTE, int_cell(-9), int_cell(0)).int_value(), 9);
  EXPECT_EQ(error_id(math(ACT_ABSOLUTE, int_cell(INT32_MIN), int_cell(0))), "overflow");
  EXPECT_TRUE(predicate(ACT_EVEN_Q, int_cell(-4)));
  EXPECT_TRUE(predicate(ACT_ODD_Q, int_cell(-3)));
}

TEST_F(IntegerTest, Power) {
  Cell r = math(ACT_POWER, int_cell(2), int_cell(10));
  EXPECT_EQ(r.type(), TYPE_INTEGER);
  EXPECT_EQ(r.int_value(), 1024);
  EXPECT_EQ(math(ACT_POWER, int_cell(0), int_cell(0)).int_value(), 1);
  EXPECT_EQ(math(ACT_POWER, int_cell(-2), int_cell(31)).int_value(), INT32_MIN);
  r = math(ACT_POWER, int_cell(2), int_cell(31));
  EXPECT_EQ(r.type(), TYPE_FLOAT);
  EXPECT_EQ(r.float_value(), 2147483648.0);
  r = math(ACT_POWER, int_cell(2), int_cell(-1));
  EXPECT_EQ(r.type(), TYPE_FLOAT);
  EXPECT_EQ(r.float_value(), 0.5);
  r = math(ACT_POWER, int_cell(4), float_cell(0.5));
  EXPECT_EQ(r.float_value(), 2.0);
  EXPECT_EQ(error_id(math(ACT_POWER, int_cell(2), make_cell(TYPE_NONE))), "expect-arg");
}

TEST_F(IntegerTest, RoundingModes) {
  Cell ten = int_cell(10);
  struct Case { const char* mode; int32_t pos, neg; };
  Case cases[] = {
      {"", 30, -30},         {"even", 20, -20},    {"half-down", 20, -20},
      {"half-ceiling", 30, -20}, {"floor", 20, -30}, {"ceiling", 30, -20},
      {"down", 20, -20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(round(int_cell(25), &ten, c.mode).int_value(), c.pos);
    EXPECT_EQ(round(int_cell(-25), &ten, c.mode).int_value(), c.neg);
  }
  EXPECT_EQ(round(int_cell(35), &ten, "even").int_value(), 40);
  EXPECT_EQ(round(int_cell(24), &ten).int_value(), 20);
  EXPECT_EQ(round(int_cell(26), &ten).int_value(), 30);
  EXPECT_EQ(round(int_cell(7), nullptr).int_value(), 7);
  Cell zero = int_cell(0);
  EXPECT_EQ(round(int_cell(7), &zero).int_value(), 7);
  Cell thousand = int_cell(1000);
  EXPECT_EQ(error_id(round(int_cell(2147483600), &thousand)), "overflow");
  EXPECT_EQ(round(int_cell(2147483400), &thousand).int_value(), 2147483000);
  EXPECT_EQ(round(int_cell(INT32_MIN), &ten).int_value(), INT32_MIN);
  // A float scale hands the value to float rounding.
  Cell half = float_cell(0.5);
  Cell r = round(int_cell(7), &half);
  EXPECT_EQ(r.type(), TYPE_FLOAT);
  EXPECT_EQ(r.float_value(), 7.0);
}

TEST_F(IntegerTest, Conversions) {
  EXPECT_EQ(make(TYPE_INTEGER, float_cell(3.9)).int_value(), 3);
  EXPECT_EQ(make(TYPE_INTEGER, float_cell(-3.9)).int_value(), -3);
  EXPECT_EQ(make(TYPE_INTEGER, testing::char_cell('A')).int_value(), 65);
  EXPECT_EQ(make(TYPE_INTEGER, testing::time_cell(90.6)).int_value(), 91);
  EXPECT_EQ(make(TYPE_INTEGER, testing::time_cell(-90.6)).int_value(), -90);
  EXPECT_EQ(error_id(make(TYPE_INTEGER, float_cell(3e9))), "type-limit");
  EXPECT_EQ(error_id(make(TYPE_INTEGER, float_cell(std::nan("")))), "type-limit");
  EXPECT_EQ(make(TYPE_INTEGER, make_cell(TYPE_LOGIC, 1), ACT_MAKE).int_value(), 1);
  EXPECT_EQ(error_id(make(TYPE_INTEGER, make_cell(TYPE_LOGIC, 1))), "bad-to-arg");
}

TEST_F(IntegerTest, ConversionFromText) {
  auto text = [&](const char* s) {
    string::push_utf8(s);
    Cell c = *(stack::top - 1);
    return make(TYPE_INTEGER, c);
  };
  EXPECT_EQ(text("123").int_value(), 123);
  EXPECT_EQ(text("-2147483648").int_value(), INT32_MIN);
  EXPECT_EQ(text("1'000").int_value(), 1000);
  EXPECT_EQ(error_id(text("12a")), "bad-to-arg");
  EXPECT_EQ(error_id(text("2147483648")), "bad-to-arg");
  EXPECT_EQ(error_id(text("")), "bad-to-arg");
}

TEST_F(IntegerTest, ConversionFromIssue) {
  auto issue = [&](const char* name) {
    Cell c = make_cell(TYPE_ISSUE, 0, symbol::make(name));
    return make(TYPE_INTEGER, c);
  };
  EXPECT_EQ(issue("FF").int_value(), 255);
  EXPECT_EQ(issue("ff").int_value(), 255);
  EXPECT_EQ(issue("FFFFFFFF").int_value(), -1);
  EXPECT_EQ(error_id(issue("123456789")), "invalid-data");
  EXPECT_EQ(error_id(issue("FG")), "invalid-data");
  // A non-ASCII letter is no digit, even when its low bits spell one.
  EXPECT_EQ(error_id(issue("\xC3\x81")), "invalid-data");
}

TEST_F(IntegerTest, Compare) {
  EXPECT_EQ(compare(int_cell(1), int_cell(2), COMP_LESSER), -1);
  EXPECT_EQ(compare(int_cell(2), int_cell(2), COMP_EQUAL), 0);
  EXPECT_EQ(compare(int_cell(INT32_MIN), int_cell(1), COMP_SORT), -1);
  EXPECT_EQ(compare(int_cell(97), testing::char_cell('a'), COMP_EQUAL), 0);
  EXPECT_EQ(compare(int_cell(97), testing::char_cell('a'), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compare(int_cell(1), float_cell(1.0), COMP_EQUAL), 0);
  EXPECT_EQ(compare(int_cell(1), float_cell(1.0), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compare(int_cell(1), float_cell(1.5), COMP_LESSER), -1);
  EXPECT_EQ(compare(int_cell(1), make_cell(TYPE_NONE), COMP_EQUAL), COMPARE_UNRELATED);
}

TEST_F(IntegerTest, Random) {
  for (int i = 0; i < 200; i++) {
    Cell v = int_cell(6);
    reinterpret_cast<act::Random>(action_entry(TYPE_INTEGER, ACT_RANDOM))(&v, false, false, false);
    ASSERT_GE(v.int_value(), 1);
    ASSERT_LE(v.int_value(), 6);
    Cell n = int_cell(-3);
    reinterpret_cast<act::Random>(action_entry(TYPE_INTEGER, ACT_RANDOM))(&n, false, false, false);
    ASSERT_GE(n.int_value(), -3);
    ASSERT_LE(n.int_value(), -1);
  }
  auto draw_after_seed = [] {
    Cell s = int_cell(42);
    auto fn = reinterpret_cast<act::Random>(action_entry(TYPE_INTEGER, ACT_RANDOM));
    fn(&s, true, false, false);
    EXPECT_TRUE(s.is(TYPE_UNSET));
    Cell v = int_cell(1000000);
    fn(&v, false, false, false);
    return v.int_value();
  };
  EXPECT_EQ(draw_after_seed(), draw_after_seed());
}

}  // namespace
}  // namespace tav
