#include "platform/platform.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/console.h"

namespace tav::platform {

void init() { console::init(); }

void* reserve(size_t size) {
  void* area = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return area == MAP_FAILED ? nullptr : area;
}

bool release(void* address, size_t size) { return munmap(address, size) == 0; }

std::string get_current_dir() {
  std::string dir(256, '\0');
  for (;;) {
    if (getcwd(dir.data(), dir.size())) break;
    if (errno != ERANGE) return std::string();
    dir.resize(dir.size() * 2);
  }
  dir.resize(std::char_traits<char>::length(dir.c_str()));
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

bool set_env(const char* name, const char* value) {
  if (!value) return unsetenv(name) == 0;
  return setenv(name, value, 1) == 0;
}

std::optional<std::string> get_env(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

int64_t sleep_milliseconds(double seconds) {
  double ms = std::trunc(seconds * 1000.0);
  if (!(ms >= 1.0)) return 1;   // also NaN and negative
  // About 292 million years: anything longer is as good as forever.
  constexpr double longest = 9.2e18;
  return ms >= longest ? static_cast<int64_t>(longest) : static_cast<int64_t>(ms);
}

void sleep(double seconds) {
  int64_t ms = sleep_milliseconds(seconds);
  timespec wanted{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
  timespec left{};
  while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

double utc_time_of_day(bool precise) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  double seconds = static_cast<double>(now.tv_sec % 86400);
  if (precise) seconds += static_cast<double>(now.tv_nsec / 100) / 1e7;
  return seconds;
}

uint32_t pack_zone(int32_t offset_minutes) {
  // The sign belongs to the whole offset: -0:30 has no hours to carry it.
  bool west = offset_minutes < 0;
  uint32_t magnitude = west ? 0u - static_cast<uint32_t>(offset_minutes)
                            : static_cast<uint32_t>(offset_minutes);
  uint32_t hours = (magnitude / 60) & 0x0F;
  uint32_t quarters = (magnitude % 60) / 15;
  return ((hours | (west ? 0x10u : 0u)) << 2) | quarters;
}

uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone) {
  return (static_cast<uint32_t>(year) << 17) | (static_cast<uint32_t>(month) << 12) |
         (static_cast<uint32_t>(day) << 7) | (zone & 0x7F);
}

uint32_t current_date(bool utc) {
  time_t now = time(nullptr);
  tm parts{};
  if (utc) {
    gmtime_r(&now, &parts);
    return pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, 0);
  }
  localtime_r(&now, &parts);
  int32_t offset_minutes = static_cast<int32_t>(parts.tm_gmtoff / 60);
  return pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                   pack_zone(offset_minutes));
}

bool random_bytes(uint8_t* buffer, size_t length) {
  while (length > 0) {
    ssize_t got = getrandom(buffer, length, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buffer += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace tav::platform
