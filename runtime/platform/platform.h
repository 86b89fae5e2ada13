// The runtime's thin layer over the operating system: set-up, memory frames, the current
// directory, the environment, sleeping, the clock and the kernel's random source.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tav::platform {

// Set-up at runtime initialisation: probes the console writer's output.
void init();

// Committed read-write memory for the memory manager's frames; null when the system has
// none left. release takes the size that was reserved.
void* reserve(size_t size);
bool release(void* address, size_t size);

// The current directory in the language's form: UTF-8 and ending in "/"; empty when the
// directory cannot be read (it was removed, say).
std::string get_current_dir();
bool set_current_dir(const char* path);

// A null value removes the variable.
bool set_env(const char* name, const char* value);
std::optional<std::string> get_env(const char* name);

// Sleeps seconds, truncated to milliseconds, but never less than one millisecond.
void sleep(double seconds);
int64_t sleep_milliseconds(double seconds);

// Seconds since midnight UTC; with precise, the fraction down to 100 nanoseconds.
double utc_time_of_day(bool precise);

// The date in the date! packed form: year in bits 17 and up, month in bits 12-16, day in
// bits 7-11, zone in bits 0-6 (zone 0 when utc).
uint32_t current_date(bool utc);
// The 7-bit zone of an offset from UTC in minutes: (hours << 2) | quarter hours, with bit 6
// set for an offset west of UTC.
uint32_t pack_zone(int32_t offset_minutes);
uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone);

// Fills the buffer from the kernel's cryptographic generator; false when it cannot.
bool random_bytes(uint8_t* buffer, size_t length);

}  // namespace tav::platform
