// The runtime's thin layer over the operating system: set-up, memory frames, the current
// directory, the environment, sleeping, the clock, the kernel's random bytes and threads.
// Outside this folder only the services (files, processes) call the system themselves.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::platform {

// Set-up at runtime initialisation: probes the console writer's output.
void init();

// Committed read-write memory for the memory manager's frames; null when the system has
// none left. release takes the size that was reserved.
void* reserve(size_t size);
// The same with every page mapped up front: for memory that is about to be filled from end
// to end, where one call costs far less than a fault per page.
void* reserve_populated(size_t size);
// The same for a large table touched sparsely: pages are committed on first touch and the
// whole range is not counted against the system's commit limit.
void* reserve_sparse(size_t size);
bool release(void* address, size_t size);

// Fills the buffer from the kernel's random source; false when it cannot.
bool random_bytes(uint8_t* buffer, size_t length);

// Runs fn on a new thread with a machine stack of stack_bytes (and its own alternate signal
// stack, so that its faults are reported) and waits for it; runs fn on the calling thread
// when no thread can be made.
int run_on_thread(size_t stack_bytes, int (*fn)(void*), void* arg);

// The current directory in the language's form: UTF-8 and ending in "/"; empty when the
// directory cannot be read (it was removed, say).
std::string get_current_dir();
bool set_current_dir(const char* path);

// A null value removes the variable.
bool set_env(const char* name, const char* value);
std::optional<std::string> get_env(const char* name);
// Every "name=value" entry of the environment, in its order.
std::vector<std::string> list_env();

// Sleeps seconds, truncated to milliseconds, but never less than one millisecond.
void sleep(double seconds);
int64_t sleep_milliseconds(double seconds);

// One reading of the wall clock: whole seconds since 1970-01-01 UTC and the nanoseconds
// past them.
struct WallClock {
  int64_t seconds;
  int32_t nanoseconds;
};
WallClock wall_clock();

// The local zone's offset from UTC at that moment, in minutes (east positive).
int32_t local_offset_minutes(int64_t seconds);

// The calendar fields of a moment (seconds since 1970-01-01), read as UTC.
struct CivilTime {
  int32_t year, month, day;          // month and day from 1
  int32_t hour, minute, second;
  int32_t weekday;                   // 1 Monday ... 7 Sunday
  int32_t yearday;                   // from 1
};
CivilTime civil_time(int64_t seconds);

// The date in the date! packed form: year in bits 17 and up, month in bits 12-16, day in
// bits 7-11, zone in bits 0-6.
uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone);

}  // namespace tav::platform
