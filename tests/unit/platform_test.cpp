#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <unistd.h>

#include "platform/platform.h"

namespace {

namespace platform = tav::platform;

TEST(Platform, SleepIsAtLeastOneMillisecond) {
  struct Case {
    double seconds;
    int64_t ms;
  };
  const Case cases[] = {{0.0, 1},      {0.0004, 1}, {0.0019, 1}, {2.5, 2500},
                        {-3.0, 1},     {1e300, 9200000000000000000LL},
                        {std::numeric_limits<double>::quiet_NaN(), 1}};
  for (const auto& c : cases)
    EXPECT_EQ(platform::sleep_milliseconds(c.seconds), c.ms) << c.seconds;
}

TEST(Platform, ZonePacksSignHoursAndQuarters) {
  struct Case {
    int32_t minutes;
    uint32_t zone;
  };
  const Case cases[] = {
      {0, 0},
      {330, (5 << 2) | 2},             // +5:30
      {-210, ((0x10 | 3) << 2) | 2},   // -3:30
      {-195, ((0x10 | 3) << 2) | 1},   // -3:15
      {-30, (0x10 << 2) | 2},          // -0:30 keeps its sign
      {45, 3},
      {-600, (0x10 | 10) << 2},
      {840, 14 << 2},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::pack_zone(c.minutes), c.zone) << c.minutes;
}

class ZoneFromEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    had_tz = tz != nullptr;
    if (had_tz) saved_tz = tz;
  }
  void TearDown() override {
    if (had_tz)
      setenv("TZ", saved_tz.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  bool had_tz = false;
  std::string saved_tz;
};

TEST_F(ZoneFromEnvironment, HalfHourWestOfUtcIsNegative) {
  // POSIX writes offsets west of UTC as positive: local time is UTC - 0:30.
  setenv("TZ", "XYZ+0:30", 1);
  tzset();
  EXPECT_EQ(platform::current_date(false) & 0x7F, (0x10u << 2) | 2);

  setenv("TZ", "ABC-5:45", 1);
  tzset();
  EXPECT_EQ(platform::current_date(false) & 0x7F, (5u << 2) | 3);
}

TEST_F(ZoneFromEnvironment, UtcDateMatchesTheSystemClock) {
  setenv("TZ", "XYZ+0:30", 1);
  tzset();
  time_t before = time(nullptr);
  uint32_t packed = platform::current_date(true);
  time_t after = time(nullptr);
  tm b{}, a{};
  gmtime_r(&before, &b);
  gmtime_r(&after, &a);
  uint32_t expected_before = platform::pack_date(b.tm_year + 1900, b.tm_mon + 1, b.tm_mday, 0);
  uint32_t expected_after = platform::pack_date(a.tm_year + 1900, a.tm_mon + 1, a.tm_mday, 0);
  EXPECT_TRUE(packed == expected_before || packed == expected_after);
  EXPECT_EQ(packed & 0x7F, 0u);
  EXPECT_EQ(packed >> 17, static_cast<uint32_t>(b.tm_year + 1900));
}

TEST(Platform, DateFieldsArePacked) {
  uint32_t packed = platform::pack_date(2024, 2, 29, (5 << 2) | 2);
  EXPECT_EQ(packed >> 17, 2024u);
  EXPECT_EQ((packed >> 12) & 0x1F, 2u);
  EXPECT_EQ((packed >> 7) & 0x1F, 29u);
  EXPECT_EQ(packed & 0x7F, 22u);
}

TEST(Platform, UtcTimeOfDay) {
  time_t now = time(nullptr);
  double coarse = platform::utc_time_of_day(false);
  double precise = platform::utc_time_of_day(true);
  EXPECT_EQ(coarse, std::floor(coarse));
  EXPECT_GE(coarse, 0.0);
  EXPECT_LT(precise, 86400.0);
  double expected = static_cast<double>(now % 86400);
  // Allow the day to roll over between the two readings.
  double distance = std::fabs(coarse - expected);
  EXPECT_TRUE(distance <= 2.0 || distance >= 86398.0) << coarse << " vs " << expected;
}

TEST(Platform, EnvironmentSetGetRemove) {
  const char* name = "TAV_PLATFORM_TEST_VARIABLE";
  ASSERT_TRUE(platform::set_env(name, "caf\xC3\xA9"));
  EXPECT_EQ(platform::get_env(name), std::optional<std::string>("caf\xC3\xA9"));
  ASSERT_TRUE(platform::set_env(name, ""));
  EXPECT_EQ(platform::get_env(name), std::optional<std::string>(""));
  ASSERT_TRUE(platform::set_env(name, nullptr));
  EXPECT_EQ(platform::get_env(name), std::nullopt);
  EXPECT_FALSE(platform::set_env("", "x"));
}

TEST(Platform, CurrentDirectoryEndsInSlash) {
  std::string original = platform::get_current_dir();
  ASSERT_FALSE(original.empty());
  EXPECT_EQ(original.back(), '/');

  ASSERT_TRUE(platform::set_current_dir("/"));
  EXPECT_EQ(platform::get_current_dir(), "/");
  EXPECT_FALSE(platform::set_current_dir("/no/such/folder/for/tav"));
  EXPECT_EQ(platform::get_current_dir(), "/");
  ASSERT_TRUE(platform::set_current_dir(original.c_str()));
  EXPECT_EQ(platform::get_current_dir(), original);
}

TEST(Platform, ReservedMemoryIsZeroedAndWritable) {
  const size_t size = 1 << 20;
  auto* area = static_cast<unsigned char*>(platform::reserve(size));
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area[0], 0);
  EXPECT_EQ(area[size - 1], 0);
  area[0] = 1;
  area[size - 1] = 2;
  EXPECT_TRUE(platform::release(area, size));
}

}  // namespace
