#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/number_text.h"

namespace {

using tav::number::form_float;
using tav::number::text_to_float;

constexpr double INF = std::numeric_limits<double>::infinity();

uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

double parse(const std::string& s, int extra = 0, int* left_out = nullptr) {
  int left = 12345;
  double d = text_to_float(s.data(), s.data() + s.size(), extra, &left);
  if (left_out) *left_out = left;
  return d;
}

struct FormCase {
  double value;
  int digits;
  bool dot_zero;
  const char* text;
};

TEST(NumberText, FormFloatTexts) {
  const FormCase cases[] = {
      {0.1, 0, true, "0.1"},
      {123.456, 0, true, "123.456"},
      {-1.5, 0, true, "-1.5"},
      // The positional range ends at 1e16 and 1e-7.
      {1e16, 0, true, "10000000000000000.0"},
      {1e17, 0, true, "1.0e17"},
      {1e-7, 0, true, "0.0000001"},
      {1e-8, 0, true, "1.0e-8"},
      {-2.5e-10, 0, true, "-2.5e-10"},
      {123456.0, 0, true, "123456.0"},
      {100.0, 0, true, "100.0"},
      {100.0, 0, false, "100"},
      {1e20, 0, true, "1.0e20"},
      {1e20, 0, false, "1e20"},
      {1.25e20, 0, false, "1.25e20"},
      {0.1 + 0.2, 0, true, "0.30000000000000004"},
      {0.1 + 0.2, 15, true, "0.3"},
      // A cap rounds the exact value, ties to even, and carries through nines.
      {2.5, 1, true, "2.0"},
      {3.5, 1, true, "4.0"},
      {0.125, 2, true, "0.12"},
      {9.96, 2, true, "10.0"},
      {1234.5678, 6, true, "1234.57"},
      // A cap never pads: the shortest form wins when it is shorter.
      {0.5, 22, true, "0.5"},
      {1.7976931348623157e308, 0, true, "1.7976931348623157e308"},
      {5e-324, 0, true, "5.0e-324"},
      {INF, 0, true, "1.#INF"},
      {-INF, 0, true, "-1.#INF"},
      {std::numeric_limits<double>::quiet_NaN(), 0, true, "1.#NaN"},
      {-std::numeric_limits<double>::quiet_NaN(), 0, true, "1.#NaN"},
      {0.0, 0, true, "0.0"},
      {0.0, 0, false, "0"},
      {-0.0, 0, true, "-0.0"},
      {-0.0, 0, false, "-0"},
  };
  for (const auto& c : cases) {
    tav::number::FloatText t = form_float(c.value, c.digits, c.dot_zero);
    EXPECT_EQ(t.view(), c.text) << "value " << c.value << " digits " << c.digits;
    EXPECT_EQ(std::strlen(t.c_str()), static_cast<size_t>(t.length));
  }
}

TEST(NumberText, DtoaGivesDigitsAndPointPosition) {
  tav::number::Digits d = tav::number::dtoa(1e16, 0, true);
  EXPECT_EQ(d.view(), "1");
  EXPECT_EQ(d.decpt, 17);
  EXPECT_FALSE(d.negative);

  d = tav::number::dtoa(-0.00123, 0, true);
  EXPECT_EQ(d.view(), "123");
  EXPECT_EQ(d.decpt, -2);
  EXPECT_TRUE(d.negative);

  d = tav::number::dtoa(-INF, 0, true);
  EXPECT_EQ(d.decpt, tav::number::DECPT_SPECIAL);
  EXPECT_EQ(d.view(), "-1.#INF");
  d = tav::number::dtoa(-0.0, 0, false);
  EXPECT_EQ(d.decpt, tav::number::DECPT_ZERO);
  EXPECT_EQ(d.view(), "-0");
}

// Every finite double, written with the shortest digits, must read back bit for bit.
TEST(NumberText, ShortestTextRoundTrips) {
  uint64_t state = 0x9E3779B97F4A7C15u;
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    double d;
    std::memcpy(&d, &state, sizeof d);
    if (!std::isfinite(d)) continue;
    for (double v : {d, static_cast<double>(static_cast<int64_t>(state >> 20)), d * 1e-300}) {
      tav::number::FloatText t = form_float(v, 0, true);
      int left = -7;
      double back = text_to_float(t.text, t.text + t.length, 0, &left);
      ASSERT_EQ(left, 0) << t.c_str();
      ASSERT_EQ(bits_of(back), bits_of(v)) << t.c_str();
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(NumberText, SpecialTextsReadBack) {
  int left = -7;
  EXPECT_EQ(parse("1.#INF", 0, &left), INF);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(parse("-1.#INF", 0, &left), -INF);
  EXPECT_EQ(left, 0);
  double nan = parse("-1.#nan", 0, &left);
  EXPECT_TRUE(std::isnan(nan));
  EXPECT_FALSE(std::signbit(nan));
  EXPECT_EQ(left, 0);
  EXPECT_EQ(parse("7.#inf", 0, &left), INF);
  EXPECT_EQ(left, 0);
  // The shape is checked, and so is the rest of the word: trailing junk is left over.
  EXPECT_EQ(parse("1.#Ixyz", 0, &left), INF);
  EXPECT_EQ(left, 3);
  for (double v : {INF, -INF, std::numeric_limits<double>::quiet_NaN()}) {
    tav::number::FloatText t = form_float(v, 0, true);
    double back = text_to_float(t.text, t.text + t.length, 0, &left);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(std::isnan(back), std::isnan(v));
    if (!std::isnan(v)) {
      EXPECT_EQ(back, v);
    }
  }
}

struct ParseCase {
  const char* text;
  int extra;
  double value;
  int left;
};

TEST(NumberText, TextToFloat) {
  const ParseCase cases[] = {
      {"1.5", 0, 1.5, 0},
      {"+12e3", 0, 12000.0, 0},
      {"000123.4500", 0, 123.45, 0},
      {".5", 0, 0.5, 0},
      {"5.", 0, 5.0, 0},
      {"0.1", 0, 0.1, 0},
      {"1E-2", 0, 0.01, 0},
      {"50", -2, 0.5, 0},               // percents scale by a power of ten
      {"12.5e1", -2, 1.25, 0},
      {"1e309", 0, INF, 0},
      {"-1e309", 0, -INF, 0},
      {"1e-400", 0, 0.0, 0},
      {"1e99999999999999999999", 0, INF, 0},
      {"1e-99999999999999999999", 0, 0.0, 0},
      {"1.7976931348623158e308", 0, 1.7976931348623157e308, 0},
      {"1.7976931348623159e308", 0, INF, 0},
      {"4.9406564584124654e-324", 0, 5e-324, 0},
      {"2.4703282292062328e-324", 0, 5e-324, 0},
      {"2.4703282292062327e-324", 0, 0.0, 0},
      {"9007199254740993", 0, 9007199254740992.0, 0},   // a tie goes to even
      // Malformed: what is left over, or -1 with no digit at all.
      {"1.5x", 0, 1.5, 1},
      {"1e", 0, 1.0, 1},
      {"1e+", 0, 1.0, 2},
      {"1e5x", 0, 1e5, 1},
      {"1'000", 0, 1.0, 4},
      {"", 0, 0.0, -1},
      {"-", 0, 0.0, -1},
      {".", 0, 0.0, -1},
      {"e5", 0, 0.0, -1},
  };
  for (const auto& c : cases) {
    int left = 12345;
    double d = parse(c.text, c.extra, &left);
    EXPECT_EQ(left, c.left) << '"' << c.text << '"';
    EXPECT_EQ(bits_of(d), bits_of(c.value)) << '"' << c.text << "\" gave " << d;
  }
  int left = 0;
  EXPECT_TRUE(std::signbit(parse("-0.0", 0, &left)));
  EXPECT_TRUE(std::signbit(parse("-1e-400", 0, &left)));
}

// A halfway case decided only by a digit far beyond the first 780.
TEST(NumberText, LongMantissaKeepsItsTail) {
  std::string text = "9007199254740993." + std::string(900, '0');
  EXPECT_EQ(parse(text), 9007199254740992.0);
  EXPECT_EQ(parse(text + "1"), 9007199254740994.0);
  std::string big = "9007199254740993" + std::string(900, '0') + "1e-901";
  EXPECT_EQ(parse(big), 9007199254740994.0);
}

// The GUI runs under the user's locale; number text must not follow its decimal mark.
TEST(NumberText, IgnoresTheProcessLocale) {
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                              "ru_RU.UTF-8", "nl_NL.UTF-8"};
  std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
      found = name;
      break;
    }
  }
  if (!found) {
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no locale with a comma decimal mark is installed";
  }
  EXPECT_EQ(form_float(1.5, 0, true).view(), "1.5");
  EXPECT_EQ(form_float(-2.5e-10, 0, true).view(), "-2.5e-10");
  int left = -7;
  EXPECT_EQ(parse("1.5", 0, &left), 1.5);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(parse("1,5", 0, &left), 1.0);
  EXPECT_EQ(left, 2);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumberText, FloatToInt32ChecksTheRange) {
  struct Case { double value; bool ok; int32_t result; };
  const Case cases[] = {
      {2147483647.0, true, 2147483647},
      {-2147483648.0, true, -2147483647 - 1},
      {-2.7, true, -2},
      {2.7, true, 2},
      {-0.0, true, 0},
      {2147483648.0, false, 0},
      {2147483647.5, false, 0},
      {-2147483649.0, false, 0},
      {1e300, false, 0},
      {INF, false, 0},
      {-INF, false, 0},
      {std::numeric_limits<double>::quiet_NaN(), false, 0},
  };
  for (const auto& c : cases) {
    int32_t out = 77;
    EXPECT_EQ(tav::number::float_to_int32(c.value, &out), c.ok) << c.value;
    EXPECT_EQ(out, c.ok ? c.result : 77) << c.value;
  }
}

TEST(NumberText, AngleToRadians) {
  struct Case { double degrees; int mode; double expect_degrees; };
  const Case cases[] = {
      {30, 1, 30},  {390, 1, 30},   {-390, 1, -30}, {270, 1, -90},
      {135, 0, -45}, {-135, 0, 45}, {135, 2, 45},   {-135, 2, -45},
      {135, 1, 135}, {90, 0, 90},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(tav::number::angle_to_radians(c.degrees, c.mode),
                c.expect_degrees * 3.141592653589793 / 180.0, 1e-15)
        << c.degrees << " mode " << c.mode;
}

TEST(NumberText, IntegerToDecimal) {
  struct Case { int32_t value; const char* text; };
  const Case cases[] = {{0, "0"}, {7, "7"}, {-7, "-7"}, {1000, "1000"},
                        {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"}};
  for (const auto& c : cases) {
    tav::integer::DecimalText t = tav::integer::to_decimal(c.value);
    EXPECT_EQ(t.view(), c.text);
    EXPECT_STREQ(t.c_str(), c.text);
  }
}

}  // namespace
