// date! and money!: the calendar arithmetic, the literal loaders, and the conversions that
// the language tables cannot reach directly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "datatypes/date.h"
#include "datatypes/money.h"
#include "scalar_fixture.h"
#include "scanner/converters.h"
#include "scanner/lexer.h"
#include "core/memory.h"

namespace {

using tav::Cell;
namespace date = tav::date;
namespace money = tav::money;

class DateTest : public tav::testing::ScalarTest {
 protected:
  // The date a literal loads as.
  static Cell literal(const char* text) {
    Cell block;
    tav::lexer::transcode(text, &block);
    return tav::node_buffer(block.node())->cells()[0];
  }
  static int32_t epoch(const char* text) {
    Cell d = literal(text);
    return date::to_epoch(&d);
  }
  static bool refused(const char* text) {
    Cell block;
    return tav::testing::raises([&] { tav::lexer::transcode(text, &block); }) &&
           tav::lexer::last_load_error().message.find("invalid date!") != std::string::npos;
  }
};

TEST_F(DateTest, DayNumbersRoundTripAcrossTheCalendar) {
  EXPECT_EQ(date::day_number(1970, 1, 1), date::EPOCH_DAY);
  EXPECT_EQ(date::weekday_of(date::EPOCH_DAY), 4);   // a Thursday
  // Every day from before year 0 to far ahead converts back to itself, a day at a time.
  int32_t prev_year = 0;
  int prev_month = 0, prev_day = 0;
  for (int64_t n = date::day_number(-2, 1, 1); n < date::day_number(2500, 1, 1); ++n) {
    int32_t y;
    int m, d;
    date::from_day_number(n, &y, &m, &d);
    ASSERT_EQ(date::day_number(y, m, d), n) << y << "-" << m << "-" << d;
    if (n > date::day_number(-2, 1, 1)) {
      bool next_day = y == prev_year && m == prev_month && d == prev_day + 1;
      bool next_month = y == prev_year && m == prev_month + 1 && d == 1;
      bool next_year = y == prev_year + 1 && m == 1 && d == 1 && prev_month == 12;
      ASSERT_TRUE(next_day || next_month || next_year) << y << "-" << m << "-" << d;
    }
    prev_year = y;
    prev_month = m;
    prev_day = d;
  }
}

TEST_F(DateTest, LeapYears) {
  struct Case { int32_t year; bool leap; };
  for (Case c : {Case{2000, true}, Case{1900, false}, Case{2024, true}, Case{2023, false},
                 Case{0, true}, Case{-4, true}, Case{2100, false}}) {
    EXPECT_EQ(date::leap_year(c.year), c.leap) << c.year;
  }
}

TEST_F(DateTest, EpochSecondsRefuseWhatDoesNotFitAnInteger) {
  EXPECT_EQ(epoch("1-Jan-1970"), 0);
  EXPECT_EQ(epoch("2-Jan-1970/0:00:01"), 86401);
  EXPECT_EQ(epoch("1-Jan-1970/1:00+01:00"), 0);
  Cell late = literal("1-Jan-2040");
  Cell early = literal("1-Jan-1900");
  EXPECT_TRUE(tav::testing::raises([&] { date::to_epoch(&late); }));
  EXPECT_TRUE(tav::testing::raises([&] { date::to_epoch(&early); }));
}

TEST_F(DateTest, ZoneSecondsUnderQuarterHours) {
  struct Case { double seconds; int32_t offset; };
  for (Case c : {Case{19800, 19800}, Case{-1800, -1800}, Case{-18000, -18000},
                 Case{3600 + 600, 3600}, Case{16 * 3600, 0}}) {
    EXPECT_EQ(date::zone_offset(date::zone_from_seconds(c.seconds)), c.offset) << c.seconds;
  }
  // A zone west of UTC by less than an hour keeps its sign.
  Cell d;
  date::make_at(&d, 2000, 1, 1, 36000, 0, -30, true);
  EXPECT_EQ(mold(d), "1-Jan-2000/10:00:00-00:30");
}

TEST_F(DateTest, LiteralsThatAreNotDates) {
  for (const char* text : {"29-Feb-2023", "31-Apr-2020", "1-Foo-2020", "1-Jan-2000/24:00",
                           "1-Jan-2000/10:60", "1-Jan-2000/10:00+16:00", "0-Jan-2020",
                           "1-13-2020", "1-Jan-12345", "2020-W54-1", "2020-W01-8", "2021-366",
                           "1-Jan/2020"}) {
    EXPECT_TRUE(refused(text)) << text;
  }
  EXPECT_FALSE(refused("2020-366"));
  EXPECT_EQ(mold(literal("2020-366")), "31-Dec-2020");
  EXPECT_EQ(mold(literal("2021-W01-1")), "4-Jan-2021");
  EXPECT_EQ(mold(literal("1/Jan/-200")), "1/Jan/-200");
}

TEST_F(DateTest, FileTimesAndTheNegativeYearForm) {
  Cell d;
  date::make_at_hms(&d, 2021, 3, 4, 5, 6, 7, 500000000);
  EXPECT_EQ(mold(d), "4-Mar-2021/5:06:07.5");
  date::make_at(&d, 12345, 6, 7, 0, 0, 0, false);
  EXPECT_EQ(mold(d), "7-Jun-12345");
  EXPECT_TRUE(tav::testing::raises([&] { date::make_at(&d, 16384, 1, 1, 0, 0, 0, false); }));
}

TEST_F(DateTest, DifferenceIsATime) {
  Cell a = literal("2-Jan-2020/1:00");
  Cell b = literal("1-Jan-2020");
  date::difference(&a, &b);
  EXPECT_TRUE(a.is(tav::TYPE_TIME));
  EXPECT_DOUBLE_EQ(a.float_value(), 90000.0);
}

TEST_F(DateTest, RandomDatesStayBeforeTheValue) {
  Cell d = literal("1-Jan-2000/10:00");
  int64_t limit = date::day_number_of(d.data1);
  for (int i = 0; i < 200; ++i) {
    Cell r = d;
    auto fn = reinterpret_cast<tav::act::Random>(tav::action_entry(tav::TYPE_DATE, tav::ACT_RANDOM));
    fn(&r, false, false, false);
    ASSERT_TRUE(r.is(tav::TYPE_DATE));
    ASSERT_TRUE(date::has_time(&r));
    ASSERT_LE(date::day_number_of(r.data1), limit + 1);
    double local = r.float_value() + date::zone_offset(date::zone_of(r.data1));
    ASSERT_GE(local, 0.0);
    ASSERT_LT(local, 86400.0);
  }
}

class MoneyTest : public tav::testing::ScalarTest {
 protected:
  static Cell amount(const char* text) {
    Cell block;
    tav::lexer::transcode(text, &block);
    return tav::node_buffer(block.node())->cells()[0];
  }
  static int32_t whole(const char* text) {
    Cell m = amount(text);
    return money::to_integer(&m);
  }
  static double real(const char* text) {
    Cell m = amount(text);
    return money::to_float(&m);
  }
};

TEST_F(MoneyTest, IntegerAndFloatConversions) {
  EXPECT_EQ(whole("$12.99"), 12);
  EXPECT_EQ(whole("-$12.99"), -12);
  EXPECT_EQ(whole("-$2147483648"), INT32_MIN);
  Cell big = amount("$2147483648");
  EXPECT_TRUE(tav::testing::raises([&] { money::to_integer(&big); }));
  EXPECT_DOUBLE_EQ(real("$12.5"), 12.5);
  EXPECT_DOUBLE_EQ(real("-$0.00001"), -0.00001);
  EXPECT_EQ(real("$0"), 0.0);
}

TEST_F(MoneyTest, FloatsMoneyCannotHold) {
  struct Case { double value; bool strict; const char* mold; };
  const Case cases[] = {
      {0.1, true, "$0.10000"},          {1.23456789, false, "$1.23456"},
      {-2.5, true, "-$2.50000"},        {99999999999999984.0, false, "$99999999999999984.00000"},
      {1e17, false, nullptr},           {0.000001, false, nullptr},
      {1.234567, true, nullptr},        {0.0, true, "$0.00000"},
  };
  for (const Case& c : cases) {
    Cell m;
    bool raised = tav::testing::raises([&] { money::make_from_float(&m, c.value, c.strict); });
    if (c.mold) {
      ASSERT_FALSE(raised) << c.value;
      EXPECT_EQ(mold(m, true), c.mold) << c.value;
    } else {
      EXPECT_TRUE(raised) << c.value;
    }
  }
}

TEST_F(MoneyTest, PartsSkipSeparatorsAndDropExtraDecimals) {
  const char text[] = "1'234.5678912";
  Cell m;
  ASSERT_NE(money::make_from_parts(&m, true, "eur", text, std::strchr(text, '.'),
                                   text + std::strlen(text)),
            nullptr);
  EXPECT_EQ(mold(m, true), "-EUR$1234.56789");
  EXPECT_EQ(money::make_from_parts(&m, false, "XYZ", text, nullptr, text + 1), nullptr);
}

TEST_F(MoneyTest, TextConverterBuildsThroughTheMoneyMaker) {
  struct Case { const char* text; const char* mold; };
  for (Case c : {Case{"USD$1'000.50", "USD$1000.50"}, Case{"-$3.25", "-$3.25"},
                 Case{"12.5", "$12.50"}, Case{"US$1", nullptr}, Case{"XYZ$1", nullptr},
                 Case{"$'1", nullptr}, Case{"$1.", nullptr}}) {
    Cell m;
    int error = 0;
    tav::lexer::string_to_money(c.text, std::strlen(c.text), 1, &m, money::make_from_text, &error);
    if (c.mold) {
      ASSERT_EQ(error, 0) << c.text;
      EXPECT_EQ(mold(m), c.mold);
    } else {
      EXPECT_NE(error, 0) << c.text;
    }
  }
}

TEST_F(MoneyTest, LiteralsBeyondWhatMoneyHolds) {
  for (const char* text : {"$1.123456", "$123456789012345678", "$1''0", "$1'", "XYZ$1"}) {
    Cell block;
    EXPECT_TRUE(tav::testing::raises([&] { tav::lexer::transcode(text, &block); })) << text;
    EXPECT_NE(tav::lexer::last_load_error().message.find("invalid money!"), std::string::npos)
        << text;
  }
  EXPECT_EQ(mold(amount("$12345678901234567.12345"), true), "$12345678901234567.12345");
}

TEST_F(MoneyTest, CurrenciesCanBeAppendedOnce) {
  int before = money::currency_count();
  EXPECT_STREQ(money::currency_code(170), "ZMW");
  EXPECT_EQ(money::currency_index("usd", 3), money::currency_index("USD", 3));
  EXPECT_FALSE(money::add_currency("USD"));
  EXPECT_FALSE(money::add_currency("ABCD"));
  ASSERT_TRUE(money::add_currency("qqq"));
  EXPECT_STREQ(money::currency_code(before + 1), "QQQ");
  EXPECT_EQ(mold(amount("qqq$2")), "QQQ$2.00");
}

TEST_F(MoneyTest, FormDigitsFollowTheOption) {
  Cell m = amount("$1234.56789");
  int saved = money::form_digits;
  money::form_digits = 4;
  EXPECT_EQ(form(m), "$1'234.567'8");
  money::form_digits = 0;
  EXPECT_EQ(form(m), "$1'234");
  money::form_digits = 9;
  EXPECT_EQ(mold(m), "$1234.56789");
  money::form_digits = saved;
}

TEST_F(MoneyTest, RandomAmountsStayWithinTheValue) {
  Cell m = amount("-EUR$123.45");
  auto fn = reinterpret_cast<tav::act::Random>(tav::action_entry(tav::TYPE_MONEY, tav::ACT_RANDOM));
  bool varied = false;
  Cell first{};
  for (int i = 0; i < 200; ++i) {
    Cell r = m;
    fn(&r, false, false, false);
    ASSERT_GE(money::to_float(&r), -123.45);
    ASSERT_LE(money::to_float(&r), 0.0);
    ASSERT_EQ(money::currency_of(&r), money::currency_of(&m));
    if (i == 0) first = r;
    else if (std::memcmp(&first, &r, sizeof r) != 0) varied = true;
  }
  EXPECT_TRUE(varied);
}

}  // namespace
