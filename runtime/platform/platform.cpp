#include "platform/platform.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/fatal.h"

extern char** environ;

namespace tav::platform {

void init() { console::init(); }

void* reserve(size_t size) {
  void* area = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return area == MAP_FAILED ? nullptr : area;
}

void* reserve_populated(size_t size) {
  void* area = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return area == MAP_FAILED ? nullptr : area;
}

void* reserve_sparse(size_t size) {
  void* area = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return area == MAP_FAILED ? nullptr : area;
}

bool release(void* address, size_t size) { return munmap(address, size) == 0; }

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

namespace {
struct ThreadCall {
  int (*fn)(void*);
  void* arg;
  int result;
};
void* thread_entry(void* p) {
  auto* call = static_cast<ThreadCall*>(p);
  fatal::prepare_thread_stack();
  call->result = call->fn(call->arg);
  return nullptr;
}
}  // namespace

int run_on_thread(size_t stack_bytes, int (*fn)(void*), void* arg) {
  ThreadCall call{fn, arg, 0};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack_bytes);
  pthread_t th;
  if (pthread_create(&th, &attr, thread_entry, &call) != 0) {
    pthread_attr_destroy(&attr);
    return fn(arg);
  }
  pthread_attr_destroy(&attr);
  pthread_join(th, nullptr);
  return call.result;
}

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

std::vector<std::string> list_env() {
  std::vector<std::string> entries;
  for (char** e = environ; e && *e; ++e) entries.emplace_back(*e);
  return entries;
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

WallClock wall_clock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int32_t>(now.tv_nsec)};
}

int32_t local_offset_minutes(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  tm local{};
  if (!localtime_r(&t, &local)) return 0;
  return static_cast<int32_t>(local.tm_gmtoff / 60);
}

CivilTime civil_time(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  tm parts{};
  gmtime_r(&t, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec,
          parts.tm_wday == 0 ? 7 : parts.tm_wday,  parts.tm_yday + 1};
}

uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone) {
  return (static_cast<uint32_t>(year) << 17) | (static_cast<uint32_t>(month) << 12) |
         (static_cast<uint32_t>(day) << 7) | (zone & 0x7F);
}

}  // namespace tav::platform
