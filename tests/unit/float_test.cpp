#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "datatypes/float.h"
#include "core/number_text.h"
#include "scalar_fixture.h"

namespace tav {
namespace {

using testing::float_cell;
using testing::int_cell;
using testing::pct_cell;

class FloatTest : public testing::ScalarTest {
 protected:
  void TearDown() override { float_::pretty_print = true; }
  static Cell sum(double a, double b) { return math(ACT_ADD, float_cell(a), float_cell(b)); }
};

TEST_F(FloatTest, FormAndMold) {
  struct Case { double value; const char* form; const char* mold; };
  const double inf = std::numeric_limits<double>::infinity();
  Case cases[] = {
      {1.0, "1.0", "1.0"},
      {-2.5, "-2.5", "-2.5"},
      {0.1, "0.1", "0.1"},
      {1.0 / 3.0, "0.3333333333333333", "0.3333333333333333"},
      {0.1 + 0.7, "0.8", "0.7999999999999999"},
      {0.1 + 0.2, "0.3", "0.30000000000000004"},
      {1e20, "1.0e20", "1.0e20"},
      {1e-5, "1.0e-5", "0.00001"},
      {1e-300, "0.0", "1.0e-300"},
      {-0.0, "0.0", "-0.0"},
      {123456.789, "123456.789", "123456.789"},
      {inf, "1.#INF", "1.#INF"},
      {-inf, "-1.#INF", "-1.#INF"},
      {std::nan(""), "1.#NaN", "1.#NaN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mold);
    EXPECT_EQ(form(float_cell(c.value)), c.form);
    EXPECT_EQ(mold(float_cell(c.value)), c.mold);
  }
  float_::pretty_print = false;
  EXPECT_EQ(form(float_cell(0.1 + 0.7)), "0.7999999999999999");
  EXPECT_EQ(form(float_cell(1e-300)), "1.0e-300");
}

TEST_F(FloatTest, MoldRoundTripsShortest) {
  for (double d : {0.1, 1.0 / 3.0, 2.0 / 3.0, 1e22, 5e-324, 1.7976931348623157e308, 123.456}) {
    std::string text = mold(float_cell(d));
    int left = 0;
    EXPECT_EQ(number::text_to_float(text.data(), text.data() + text.size(), 0, &left), d) << text;
  }
}

TEST_F(FloatTest, TextDoesNotDependOnTheLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(form(float_cell(2.5)), "2.5");
  EXPECT_EQ(form(pct_cell(0.125)), "12.5%");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(FloatTest, PercentForm) {
  EXPECT_EQ(form(pct_cell(0.5)), "50%");
  EXPECT_EQ(mold(pct_cell(0.5)), "50%");
  EXPECT_EQ(mold(pct_cell(0.125)), "12.5%");
  EXPECT_EQ(mold(pct_cell(-1.0)), "-100%");
  EXPECT_EQ(mold(pct_cell(0.0)), "0%");
  // A percent token has no exponent: the mold writes every digit out.
  EXPECT_EQ(mold(pct_cell(1e20)), "10000000000000000000000%");
  EXPECT_EQ(mold(pct_cell(9.1e-8)), "0.0000091%");
}

TEST_F(FloatTest, Arithmetic) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(math(ACT_DIVIDE, float_cell(1.0), float_cell(0.0)).float_value(), inf);
  EXPECT_TRUE(std::isnan(math(ACT_DIVIDE, float_cell(0.0), float_cell(0.0)).float_value()));
  EXPECT_TRUE(std::isnan(math(ACT_REMAINDER, float_cell(5.0), float_cell(0.0)).float_value()));
  EXPECT_EQ(math(ACT_REMAINDER, float_cell(5.0), float_cell(inf)).float_value(), 5.0);
  EXPECT_EQ(math(ACT_REMAINDER, float_cell(-7.5), float_cell(2.0)).float_value(), -1.5);
  EXPECT_EQ(math(ACT_SUBTRACT, float_cell(1.5), int_cell(2)).float_value(), -0.5);
  // The left operand decides between percent! and float!.
  Cell r = math(ACT_ADD, pct_cell(0.1), int_cell(1));
  EXPECT_EQ(r.type(), TYPE_PERCENT);
  EXPECT_DOUBLE_EQ(r.float_value(), 1.1);
  EXPECT_EQ(math(ACT_ADD, float_cell(0.5), pct_cell(0.1)).type(), TYPE_FLOAT);
  EXPECT_EQ(math(ACT_ADD, float_cell(0.5), testing::char_cell(1)).float_value(), 1.5);
  EXPECT_EQ(error_id(math(ACT_ADD, pct_cell(0.5), testing::char_cell(1))), "invalid-type");
  EXPECT_EQ(error_id(math(ACT_ADD, float_cell(0.5), make_cell(TYPE_NONE))), "invalid-type");
  EXPECT_EQ(error_id(math(ACT_SUBTRACT, float_cell(1.5), make_cell(TYPE_PAIR))), "not-related");
}

TEST_F(FloatTest, NegateAbsolutePowerParity) {
  auto negate = [&](double d) {
    return on_stack(float_cell(d), int_cell(0), [] {
      reinterpret_cast<act::Unary>(action_entry(TYPE_FLOAT, ACT_NEGATE))(stack::base);
    }).float_value();
  };
  EXPECT_EQ(negate(2.5), -2.5);
  EXPECT_FALSE(std::signbit(negate(0.0)));
  EXPECT_EQ(math(ACT_ABSOLUTE, float_cell(-2.5), int_cell(0)).float_value(), 2.5);
  EXPECT_EQ(math(ACT_POWER, float_cell(2.0), int_cell(-2)).float_value(), 0.25);
  Cell p = math(ACT_POWER, pct_cell(0.5), float_cell(2.0));
  EXPECT_EQ(p.type(), TYPE_PERCENT);
  EXPECT_EQ(p.float_value(), 0.25);
  EXPECT_EQ(error_id(math(ACT_POWER, float_cell(2.0), pct_cell(0.5))), "expect-arg");
  EXPECT_FALSE(predicate(ACT_EVEN_Q, float_cell(3.7)));
  EXPECT_TRUE(predicate(ACT_ODD_Q, float_cell(-3.2)));
  EXPECT_TRUE(predicate(ACT_EVEN_Q, float_cell(-4.9)));
  // Beyond 32 bits the parity still comes from the whole number.
  EXPECT_TRUE(predicate(ACT_ODD_Q, float_cell(3000000001.0)));
  EXPECT_FALSE(predicate(ACT_ODD_Q, float_cell(std::nan(""))));
  EXPECT_FALSE(predicate(ACT_EVEN_Q, float_cell(std::numeric_limits<double>::infinity())));
}

TEST_F(FloatTest, RoundingModes) {
  struct Case { double value; const char* mode; double expected; };
  Case cases[] = {
      {2.5, "", 3.0},          {-2.5, "", -3.0},         {2.5, "even", 2.0},
      {3.5, "even", 4.0},      {2.5, "half-down", 2.0},  {-2.5, "half-ceiling", -2.0},
      {2.5, "half-ceiling", 3.0}, {2.7, "down", 2.0},    {-2.7, "down", -2.0},
      {-2.2, "floor", -3.0},   {2.2, "ceiling", 3.0},    {2.4, "", 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + " " + c.mode);
    Cell r = round(float_cell(c.value), nullptr, c.mode);
    EXPECT_EQ(r.type(), TYPE_FLOAT);
    EXPECT_EQ(r.float_value(), c.expected);
  }
  Cell hundredth = float_cell(0.01);
  EXPECT_DOUBLE_EQ(round(float_cell(1234.5678), &hundredth).float_value(), 1234.57);
  Cell two = int_cell(2);
  Cell r = round(float_cell(7.3), &two);
  EXPECT_EQ(r.type(), TYPE_INTEGER);
  EXPECT_EQ(r.int_value(), 8);
  Cell one = int_cell(1);
  EXPECT_EQ(error_id(round(float_cell(1e10), &one)), "overflow");
  // A percent rounds to whole percents by default.
  EXPECT_DOUBLE_EQ(round(pct_cell(0.12345), nullptr).float_value(), 0.12);
  Cell tiny = float_cell(5e-324);
  EXPECT_EQ(round(float_cell(1.5e-323), &tiny).float_value(), 1.5e-323);
}

TEST_F(FloatTest, Compare) {
  EXPECT_EQ(compare(float_cell(0.1 + 0.2), float_cell(0.3), COMP_EQUAL), 0);
  EXPECT_EQ(compare(float_cell(0.1 + 0.2), float_cell(0.3), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compare(float_cell(1.0), float_cell(1.0001), COMP_EQUAL), 1);
  EXPECT_EQ(compare(float_cell(1.0), int_cell(1), COMP_EQUAL), 0);
  EXPECT_EQ(compare(float_cell(1.0), int_cell(1), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compare(float_cell(0.0), float_cell(-0.0), COMP_STRICT_EQUAL), 0);
  EXPECT_EQ(compare(float_cell(0.0), float_cell(-0.0), COMP_SAME), 1);
  EXPECT_EQ(compare(float_cell(1.0), float_cell(2.0), COMP_LESSER), -1);
  double nan = std::nan("");
  EXPECT_EQ(compare(float_cell(nan), float_cell(nan), COMP_EQUAL), 1);
  EXPECT_EQ(compare(float_cell(nan), float_cell(1.0), COMP_LESSER), 1);
  EXPECT_EQ(compare(float_cell(nan), float_cell(1.0), COMP_GREATER), -1);
  EXPECT_EQ(compare(float_cell(1.0), make_cell(TYPE_NONE), COMP_EQUAL), COMPARE_UNRELATED);
  EXPECT_TRUE(float_::near_equal32(1.0f, std::nextafter(1.0f, 2.0f)));
  EXPECT_FALSE(float_::near_equal32(1.0f, 1.001f));
}

TEST_F(FloatTest, Conversions) {
  auto text = [&](TypeId t, const char* s) {
    string::push_utf8(s);
    Cell c = *(stack::top - 1);
    return make(t, c);
  };
  EXPECT_EQ(text(TYPE_FLOAT, "1.5").float_value(), 1.5);
  EXPECT_EQ(text(TYPE_FLOAT, "1,5").float_value(), 1.5);
  EXPECT_EQ(error_id(text(TYPE_FLOAT, "abc")), "bad-to-arg");
  EXPECT_EQ(error_id(text(TYPE_FLOAT, "")), "bad-to-arg");
  Cell p = text(TYPE_PERCENT, "50%");
  EXPECT_EQ(p.type(), TYPE_PERCENT);
  EXPECT_EQ(p.float_value(), 0.5);
  EXPECT_EQ(text(TYPE_PERCENT, " 2 ").float_value(), 2.0);
  EXPECT_EQ(text(TYPE_PERCENT, "0.25").float_value(), 0.25);
  EXPECT_EQ(error_id(text(TYPE_PERCENT, "x%")), "bad-to-arg");
  Cell f = make(TYPE_FLOAT, int_cell(3));
  EXPECT_EQ(f.type(), TYPE_FLOAT);
  EXPECT_EQ(f.float_value(), 3.0);
  EXPECT_EQ(make(TYPE_PERCENT, float_cell(0.5)).type(), TYPE_PERCENT);
  EXPECT_EQ(make(TYPE_FLOAT, testing::time_cell(90)).float_value(), 90.0);
  EXPECT_EQ(error_id(make(TYPE_FLOAT, make_cell(TYPE_NONE))), "bad-to-arg");
}

TEST_F(FloatTest, RoundToIntHelper) {
  EXPECT_EQ(float_::round_to_int(2.5), 3);
  EXPECT_EQ(float_::round_to_int(2.4999), 2);
  EXPECT_EQ(float_::round_to_int(1e20), INT32_MAX);
  EXPECT_EQ(float_::round_to_int(std::nan("")), 0);
}

}  // namespace
}  // namespace tav
