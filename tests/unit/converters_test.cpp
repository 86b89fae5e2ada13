#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/cell.h"
#include "scanner/converters.h"

namespace {

using tav::lexer::CONVERT_MALFORMED;
using tav::lexer::CONVERT_OVERFLOW;

constexpr int UNTOUCHED = 4242;

// The same ASCII text stored with each unit width a string can have.
template <typename Unit>
std::vector<Unit> widen(const std::string& s) {
  return std::vector<Unit>(s.begin(), s.end());
}

template <typename F>
void for_each_width(const std::string& text, F check) {
  auto u1 = widen<uint8_t>(text);
  auto u2 = widen<uint16_t>(text);
  auto u4 = widen<uint32_t>(text);
  check(static_cast<const void*>(u1.data()), 1);
  check(static_cast<const void*>(u2.data()), 2);
  check(static_cast<const void*>(u4.data()), 4);
}

TEST(Converters, FloatSyntax) {
  struct Case { const char* text; bool ok; };
  const Case cases[] = {
      {"1", true},      {"1.", true},       {".5", true},     {"+1'000.5", true},
      {"1e5", true},    {"1.5E-5", true},   {"-.5e+3", true}, {"1.2'5", true},
      {"", false},      {"e5", false},      {"1.5e", false},  {"1e+", false},
      {"1..2", false},  {"1''0", false},    {"1'", true},    {"1.#INF", false},
      {"1,5", false},   {"1e5.0", false},   {"1 ", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tav::lexer::float_syntax(c.text, std::strlen(c.text)), c.ok) << c.text;
  std::string longest(312, '1');
  EXPECT_TRUE(tav::lexer::float_syntax(longest.data(), longest.size()));
  longest += '1';
  EXPECT_FALSE(tav::lexer::float_syntax(longest.data(), longest.size()));
}

TEST(Converters, StringToInteger) {
  struct Case { const char* text; int error; int32_t value; };
  const Case cases[] = {
      {"0", 0, 0},
      {"+5", 0, 5},
      {"-0", 0, 0},
      {"1'000", 0, 1000},
      {"'1'2''3'", 0, 123},
      {"2147483647", 0, 2147483647},
      {"-2147483648", 0, -2147483647 - 1},
      {"-2'147'483'648", 0, -2147483647 - 1},
      {"12x", CONVERT_MALFORMED, 0},
      {"1.5", CONVERT_MALFORMED, 0},
      {" 1", CONVERT_MALFORMED, 0},
      {"+", CONVERT_MALFORMED, 0},
      {"-", CONVERT_MALFORMED, 0},
      {"", CONVERT_MALFORMED, 0},
      {"2147483648", CONVERT_OVERFLOW, 0},
      {"99999999999", CONVERT_OVERFLOW, 0},
      {"-2147483649", CONVERT_OVERFLOW, 0},
      {"-21474836480", CONVERT_OVERFLOW, 0},
  };
  for (const auto& c : cases) {
    for_each_width(c.text, [&](const void* first, int unit) {
      int error = UNTOUCHED;
      int32_t v = tav::lexer::string_to_integer(first, std::strlen(c.text), unit, &error);
      EXPECT_EQ(error, c.error ? c.error : UNTOUCHED) << c.text << " unit " << unit;
      EXPECT_EQ(v, c.value) << c.text << " unit " << unit;
    });
  }
}

// A wide character whose low byte is a digit or a dot must not pass for one.
TEST(Converters, WideCharactersNeverAliasAscii) {
  const uint16_t int16[] = {'1', 0x0131};   // U+0131, low byte '1'
  const uint32_t int32[] = {'1', 0x10031};
  int error = UNTOUCHED;
  tav::lexer::string_to_integer(int16, 2, &error);
  EXPECT_EQ(error, CONVERT_MALFORMED);
  error = UNTOUCHED;
  tav::lexer::string_to_integer(int32, 2, &error);
  EXPECT_EQ(error, CONVERT_MALFORMED);

  const uint16_t float16[] = {'1', 0x012E, '5'};   // low byte '.'
  error = UNTOUCHED;
  EXPECT_TRUE(std::isnan(tav::lexer::string_to_float(float16, 3, &error)));
  EXPECT_EQ(error, CONVERT_MALFORMED);

  const uint16_t tuple16[] = {'1', '.', '2', 0x012E, '3'};
  tav::Cell cell = tav::make_cell(tav::TYPE_NONE);
  error = UNTOUCHED;
  tav::lexer::string_to_tuple(tuple16, 5, &cell, &error);
  EXPECT_EQ(error, CONVERT_MALFORMED);
}

TEST(Converters, StringToFloat) {
  struct Case { std::string text; bool ok; double value; };
  const Case cases[] = {
      {"1,5", true, 1.5},
      {"1'000.25", true, 1000.25},
      {"-1.5e3", true, -1500.0},
      {"12", true, 12.0},
      {".5", true, 0.5},
      {"1e400", true, INFINITY},
      {"", false, 0},
      {"abc", false, 0},
      {"1.5.2", false, 0},
      {"1.#INF", false, 0},
      {"+-1", false, 0},
      {std::string(313, '1'), false, 0},
  };
  for (const auto& c : cases) {
    for_each_width(c.text, [&](const void* first, int unit) {
      int error = UNTOUCHED;
      double v = tav::lexer::string_to_float(first, c.text.size(), unit, &error);
      if (c.ok) {
        EXPECT_EQ(error, UNTOUCHED) << c.text << " unit " << unit;
        EXPECT_EQ(v, c.value) << c.text << " unit " << unit;
      } else {
        EXPECT_EQ(error, CONVERT_MALFORMED) << c.text << " unit " << unit;
        EXPECT_TRUE(std::isnan(v)) << c.text << " unit " << unit;
      }
    });
  }
}

TEST(Converters, StringToTuple) {
  struct Case { const char* text; bool ok; std::vector<uint8_t> bytes; };
  const Case cases[] = {
      {"1.2.3", true, {1, 2, 3}},
      {"255.0.0.128", true, {255, 0, 0, 128}},
      {"1.2.3.4.5.6.7.8.9.10.11.12", true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {"007.0.0", true, {7, 0, 0}},
      {"1.2.300", false, {}},
      {"1.a.3", false, {}},
      {"1.2.3.4.5.6.7.8.9.10.11.12.13", false, {}},
      {"1..2.3", false, {}},
      {".1.2.3", false, {}},
      {"1.2.3.", false, {}},
      {"1.2", false, {}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    for_each_width(c.text, [&](const void* first, int unit) {
      tav::Cell cell = tav::make_cell(tav::TYPE_NONE, 9, 9, 9);
      int error = UNTOUCHED;
      tav::lexer::string_to_tuple(first, std::strlen(c.text), unit, &cell, &error);
      if (!c.ok) {
        EXPECT_EQ(error, CONVERT_MALFORMED) << c.text;
        EXPECT_TRUE(cell.is(tav::TYPE_NONE)) << "cell written on failure: " << c.text;
        return;
      }
      EXPECT_EQ(error, UNTOUCHED) << c.text;
      EXPECT_TRUE(cell.is(tav::TYPE_TUPLE));
      EXPECT_EQ((cell.header >> 19) & 0xF, c.bytes.size()) << c.text;
      uint8_t payload[12];
      std::memcpy(payload, &cell.data1, 4);
      std::memcpy(payload + 4, &cell.data2, 4);
      std::memcpy(payload + 8, &cell.data3, 4);
      for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(payload[i], i < c.bytes.size() ? c.bytes[i] : 0) << c.text << " byte " << i;
    });
  }
}

// Stands in for the money datatype: records what it was given and knows two currencies.
tav::lexer::MoneyText g_made;
bool record_money(tav::Cell* result, const tav::lexer::MoneyText& parts) {
  g_made = parts;
  if (parts.currency[0] != '\0' && std::strcmp(parts.currency, "USD") != 0 &&
      std::strcmp(parts.currency, "EUR") != 0)
    return false;
  *result = tav::make_cell(tav::TYPE_MONEY);
  return true;
}

TEST(Converters, StringToMoney) {
  struct Case {
    const char* text;
    bool negative;
    const char* currency;
    const char* integer;
    const char* fraction;
  };
  const Case cases[] = {
      {"USD$1'000.50", false, "USD", "1000", "50"},
      {"-$3.25", true, "", "3", "25"},
      {"12.5", false, "", "12", "5"},
      {"+EUR$0", false, "EUR", "", ""},
      {"$0001.1234567", false, "", "1", "12345"},
      {"12345678901234567", false, "", "12345678901234567", ""},
      {"000012345678901234567.5", false, "", "12345678901234567", "5"},
  };
  for (const auto& c : cases) {
    for_each_width(c.text, [&](const void* first, int unit) {
      tav::Cell cell = tav::make_cell(tav::TYPE_NONE);
      int error = UNTOUCHED;
      g_made = {};
      tav::lexer::string_to_money(first, std::strlen(c.text), unit, &cell, record_money, &error);
      EXPECT_EQ(error, UNTOUCHED) << c.text;
      EXPECT_TRUE(cell.is(tav::TYPE_MONEY)) << c.text;
      EXPECT_EQ(g_made.negative, c.negative) << c.text;
      EXPECT_STREQ(g_made.currency, c.currency) << c.text;
      EXPECT_EQ(std::string(g_made.integer_digits, g_made.integer_count), c.integer) << c.text;
      EXPECT_EQ(std::string(g_made.fraction_digits, g_made.fraction_count), c.fraction)
          << c.text;
    });
  }
  const char* malformed[] = {
      "US$1", "USD$", "$'1", "$1'", "$1''000", "$1'.5", "$1.5'0", "$1.", "$.5", "$1.2.3",
      "$1x", "$", "-", "", "$-1",
      "GBP$5",                 // unknown currency
      "123456789012345678",    // more integer digits than money holds
  };
  for (const char* text : malformed) {
    for_each_width(text, [&](const void* first, int unit) {
      tav::Cell cell = tav::make_cell(tav::TYPE_NONE);
      int error = UNTOUCHED;
      tav::lexer::string_to_money(first, std::strlen(text), unit, &cell, record_money, &error);
      EXPECT_EQ(error, CONVERT_MALFORMED) << text << " unit " << unit;
      EXPECT_TRUE(cell.is(tav::TYPE_NONE)) << text;
    });
  }
}

}  // namespace
