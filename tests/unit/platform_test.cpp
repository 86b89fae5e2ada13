#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>
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

TEST_F(ZoneFromEnvironment, LocalOffsetIsEastPositive) {
  // POSIX writes offsets west of UTC as positive: local time is UTC - 0:30.
  struct Case {
    const char* tz;
    int32_t minutes;
  };
  const Case cases[] = {{"UTC0", 0}, {"XYZ+0:30", -30}, {"ABC-5:45", 345}, {"WXY+10", -600}};
  int64_t now = platform::wall_clock().seconds;
  for (const auto& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(platform::local_offset_minutes(now), c.minutes) << c.tz;
  }
}

TEST(Platform, CivilTimeReadsSecondsAsUtc) {
  struct Case {
    int64_t seconds;
    platform::CivilTime t;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 0, 0, 0, 4, 1}},                     // a Thursday
      {951782400, {2000, 2, 29, 0, 0, 0, 2, 60}},           // leap day of a century year
      {1735689599, {2024, 12, 31, 23, 59, 59, 2, 366}},
      {-1, {1969, 12, 31, 23, 59, 59, 3, 365}},
      {1704585600, {2024, 1, 7, 0, 0, 0, 7, 7}},            // Sunday is 7
  };
  for (const auto& c : cases) {
    platform::CivilTime t = platform::civil_time(c.seconds);
    EXPECT_EQ(std::vector<int32_t>({t.year, t.month, t.day, t.hour, t.minute, t.second,
                                    t.weekday, t.yearday}),
              std::vector<int32_t>({c.t.year, c.t.month, c.t.day, c.t.hour, c.t.minute,
                                    c.t.second, c.t.weekday, c.t.yearday}))
        << c.seconds;
  }
}

TEST(Platform, WallClockFollowsTheSystemClock) {
  // The precise clock on both sides: time() reads a coarse clock that may lag it by a tick.
  timespec before{}, after{};
  clock_gettime(CLOCK_REALTIME, &before);
  platform::WallClock clock = platform::wall_clock();
  clock_gettime(CLOCK_REALTIME, &after);
  EXPECT_GE(clock.seconds, static_cast<int64_t>(before.tv_sec));
  EXPECT_LE(clock.seconds, static_cast<int64_t>(after.tv_sec));
  EXPECT_GE(clock.nanoseconds, 0);
  EXPECT_LT(clock.nanoseconds, 1000000000);
}

TEST(Platform, DateFieldsArePacked) {
  uint32_t packed = platform::pack_date(2024, 2, 29, (5 << 2) | 2);
  EXPECT_EQ(packed >> 17, 2024u);
  EXPECT_EQ((packed >> 12) & 0x1F, 2u);
  EXPECT_EQ((packed >> 7) & 0x1F, 29u);
  EXPECT_EQ(packed & 0x7F, 22u);
}

TEST(Platform, RandomBytesFillFromTheKernel) {
  std::vector<uint8_t> a(4096, 0), b(4096, 0);
  ASSERT_TRUE(platform::random_bytes(a.data(), a.size()));
  ASSERT_TRUE(platform::random_bytes(b.data(), b.size()));
  EXPECT_NE(a, b);
  size_t zeros = 0;
  for (uint8_t x : a) zeros += x == 0;
  EXPECT_LT(zeros, 100u);   // about 16 expected; an unfilled buffer has 4096
  EXPECT_TRUE(platform::random_bytes(nullptr, 0));
}

// Recurses through a frame of about a kilobyte: deep enough to overflow a default 8 MB
// stack long before it returns.
int deep(int n) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(n);
  return n == 0 ? frame[0] : deep(n - 1) + 1;
}

TEST(Platform, ThreadRunsWithTheStackItAskedFor) {
  int depth = 64 * 1024;   // about 64 MB of frames
  int got = platform::run_on_thread(size_t(256) << 20,
                                    [](void* p) { return deep(*static_cast<int*>(p)); }, &depth);
  EXPECT_EQ(got, depth);
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

TEST(Platform, EnvironmentListHoldsEveryEntry) {
  const char* name = "TAV_PLATFORM_TEST_LISTED";
  ASSERT_TRUE(platform::set_env(name, "a=b"));
  std::vector<std::string> entries = platform::list_env();
  ASSERT_TRUE(platform::set_env(name, nullptr));
  EXPECT_NE(std::find(entries.begin(), entries.end(), std::string(name) + "=a=b"), entries.end());
  for (const std::string& e : entries) EXPECT_NE(e.find('='), std::string::npos) << e;
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
