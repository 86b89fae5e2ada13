// date!: a day of the proleptic Gregorian calendar, optionally with a time of day and a
// zone, packed in one cell.
//
// data1 holds the date bits: the year in bits 17-31 (signed), the month in bits 12-15, the
// day in bits 7-11, the time flag in bit 16 and the zone in bits 0-6 (bit 6 the sign, set
// for west of UTC; bits 2-5 whole hours; bits 0-1 quarter hours). data2/data3 hold the
// time of day in seconds as a double, kept in UTC relative to the local day's midnight, so
// it may lie outside 0..86400 by up to the zone offset.
//
// The calendar arithmetic works on day numbers counted so that 1-Jan-1970 is day 719468.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::date {

constexpr uint32_t HAS_TIME = 1u << 16;
constexpr uint32_t ZONE_MASK = 0x7F;
constexpr uint32_t ZONE_WEST = 0x40;
constexpr int32_t EPOCH_DAY = 719468;
constexpr int32_t YEAR_MIN = -16384;
constexpr int32_t YEAR_MAX = 16383;

enum Field : int {
  FIELD_DATE = 1, FIELD_YEAR, FIELD_MONTH, FIELD_DAY, FIELD_ZONE, FIELD_TIME, FIELD_HOUR,
  FIELD_MINUTE, FIELD_SECOND, FIELD_WEEKDAY, FIELD_YEARDAY, FIELD_TIMEZONE, FIELD_WEEK,
  FIELD_ISOWEEK,
};

inline int32_t year_of(uint32_t bits) { return static_cast<int32_t>(bits) >> 17; }
inline int month_of(uint32_t bits) { return static_cast<int>((bits >> 12) & 15); }
inline int day_of(uint32_t bits) { return static_cast<int>((bits >> 7) & 31); }
inline uint32_t zone_of(uint32_t bits) { return bits & ZONE_MASK; }
inline bool has_time(const Cell* d) { return (d->data1 & HAS_TIME) != 0; }

// The zone's offset from UTC in seconds.
int32_t zone_offset(uint32_t zone_bits);
// The zone bits of an offset in seconds: hours taken modulo 16, minutes rounded down to
// quarters.
uint32_t zone_from_seconds(double seconds);

bool leap_year(int32_t year);
// The bits' month is 1 to 12 and their day one of that month (bits read from outside, such
// as a binary stream, may hold anything).
bool names_a_day(uint32_t bits);
int64_t day_number(int64_t year, int64_t month, int64_t day);
void from_day_number(int64_t n, int32_t* year, int* month, int* day);
// Monday 1 ... Sunday 7.
int weekday_of(int64_t n);
int year_day(uint32_t bits);

// The packed bits of a day number; raises out-of-range when the year does not fit.
uint32_t pack(int64_t n, uint32_t zone_bits, bool with_time);
inline int64_t day_number_of(uint32_t bits) {
  return day_number(year_of(bits), month_of(bits), day_of(bits));
}

// Moves whole days of the time into the day number, so that the local time lies within
// the day.
int64_t carry_days(int64_t n, double* time, uint32_t zone_bits);
// Repacks the cell from its day number and the time; convert first takes the time as
// local and turns it into UTC.
void normalize(Cell* d, double time, bool convert);

// A date! from its parts; with has_time the local time is stored as UTC. The zone is west
// of UTC when zone_hours or zone_minutes is negative.
Cell* make_at(Cell* c, int32_t year, int month, int day, double time, int zone_hours,
              int zone_minutes, bool with_time);
// A date! in UTC with a time (file times).
Cell* make_at_hms(Cell* c, int32_t year, int month, int day, int hour, int minute, int second,
                  int32_t nanosecond);
Cell* push(uint32_t bits, double time);
Cell* append_to_block(const Cell* block, uint32_t bits, uint32_t time_high, uint32_t time_low);

// Moves a date within its year or week, keeping its zone and time.
void set_week(Cell* d, int32_t iso_week);   // the Monday of that ISO week
void set_weekday(Cell* d, int32_t weekday);
void set_yearday(Cell* d, int32_t yearday);

Cell* push_field(const Cell* d, int field);
// Seconds since 1-Jan-1970 UTC; raises out-of-range beyond 32 bits.
int32_t to_epoch(const Cell* d);
// a - b in seconds, as a time!, written into a.
Cell* difference(Cell* a, const Cell* b);

void init();

}  // namespace tav::date
