// Date and time tokens: the day-first, ISO, ordinal, week and compact date forms with their
// optional time and zone, and plain times.
#include <cctype>
#include <cstring>

#include "datatypes/date.h"
#include "datatypes/time.h"
#include "core/number_text.h"
#include "scanner/tokens.h"
#include "scanner/tokens_internal.h"
#include "core/types.h"

namespace tav::lexer::lexer_tokens {

bool load_time(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  double seconds;
  if (!time_::text_to_seconds(start, static_cast<uint32_t>(end - start), 1, &seconds))
    return fail(s, start, end, TYPE_TIME);
  if (build) {
    Cell c;
    emit(s, *set_float(&c, seconds, TYPE_TIME));
  }
  return true;
}

// Reads up to max digits at p (at least min); -1 when there are fewer than min.
int64_t date_digits(const uint8_t*& p, const uint8_t* end, int min, int max, int* count) {
  int64_t v = 0;
  int n = 0;
  while (p < end && n < max && *p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    ++n;
  }
  if (count) *count = n;
  return n < min ? -1 : v;
}

// The month of a name given by 3 to 9 of its letters, or 0.
int month_of_name(const uint8_t* p, size_t n) {
  static const char* const names[12] = {"january", "february", "march", "april", "may",
                                        "june", "july", "august", "september", "october",
                                        "november", "december"};
  if (n < 3 || n > 9) return 0;
  for (int m = 0; m < 12; ++m) {
    if (std::strlen(names[m]) < n) continue;
    bool same = true;
    for (size_t i = 0; i < n && same; ++i) same = std::tolower(p[i]) == names[m][i];
    if (same) return m + 1;
  }
  return 0;
}

struct DateTimePart {
  double time = 0;
  int zone_hours = 0;
  int zone_minutes = 0;
  bool zone_west = false;
};

// A time after "/" or "T": hh:mm[:ss[.f]] (or hhmm[ss] in the compact form), then "Z" or a
// zone +hh, -hh, +hh:mm or +hhmm. False when malformed or out of range.
bool date_time_part(const uint8_t* p, const uint8_t* end, DateTimePart* out) {
  int n = 0;
  int64_t hour = date_digits(p, end, 1, 2, &n);
  int64_t minute = 0;
  double second = 0;
  if (hour < 0) return false;
  auto read_seconds = [&](const uint8_t*& q) {
    const uint8_t* from = q;
    int digits = 0;
    while (q < end && *q >= '0' && *q <= '9') { ++q; ++digits; }
    if (digits == 0 || digits > 2) return false;
    if (q < end && (*q == '.' || *q == ',')) {
      ++q;
      while (q < end && *q >= '0' && *q <= '9') ++q;
    }
    char text[64];
    size_t k = 0;
    for (const uint8_t* r = from; r < q && k < sizeof text - 1; ++r) text[k++] = *r == ',' ? '.' : static_cast<char>(*r);
    int left = 0;
    second = number::text_to_float(text, text + k, 0, &left);
    return left == 0;
  };
  if (p < end && *p == ':') {
    ++p;
    minute = date_digits(p, end, 2, 2, nullptr);
    if (minute < 0) return false;
    if (p < end && *p == ':') {
      ++p;
      if (!read_seconds(p)) return false;
    }
  } else {
    // Compact: hhmm or hhmmss.
    if (n != 2) return false;
    minute = date_digits(p, end, 2, 2, nullptr);
    if (minute < 0) return false;
    if (p < end && *p >= '0' && *p <= '9' && !read_seconds(p)) return false;
  }
  if (hour > 23 || minute > 59 || second >= 60) return false;
  out->time = hour * 3600.0 + minute * 60.0 + second;
  if (p == end) return true;
  if (*p == 'Z' || *p == 'z') return p + 1 == end;
  if (*p != '+' && *p != '-') return false;
  out->zone_west = *p++ == '-';
  int zn = 0;
  int64_t zh = date_digits(p, end, 1, 2, &zn);
  if (zh < 0 || zh > 15) return false;
  int64_t zm = 0;
  if (p < end && *p == ':') {
    ++p;
    zm = date_digits(p, end, 2, 2, nullptr);
  } else if (p < end) {
    if (zn != 2) return false;
    zm = date_digits(p, end, 2, 2, nullptr);
  }
  if (zm < 0 || zm > 59 || p != end) return false;
  out->zone_hours = static_cast<int>(zh);
  out->zone_minutes = static_cast<int>(zm);
  return true;
}

// Day-first (d-m-y, d/m/y, month as number or name), year-first ISO (yyyy-mm-dd),
// ordinal (yyyy-ddd), week (yyyy-Www-d) and compact (yyyymmddThhmmss) dates, each with an
// optional time and zone.
bool load_date(State& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
  auto bad = [&]() { return fail(s, start, end, TYPE_DATE); };
  const uint8_t* p = start;
  int n1 = 0;
  int64_t f1 = date_digits(p, end, 1, 8, &n1);
  if (f1 < 0) return bad();
  int64_t year = 0, month = 0, day = 0;
  enum { PLAIN, ORDINAL, WEEK } form = PLAIN;
  if (n1 == 8) {
    if (p == end || (*p != 'T' && *p != 't')) return bad();
    year = f1 / 10000;
    month = f1 / 100 % 100;
    day = f1 % 100;
  } else {
    if (p == end || (*p != '-' && *p != '/')) return bad();
    uint8_t sep = *p++;
    if (n1 == 4 && sep == '-' && p < end && (*p == 'W' || *p == 'w')) {
      ++p;
      int64_t week = date_digits(p, end, 2, 2, nullptr);
      if (week < 1 || week > 53 || p == end || *p != '-') return bad();
      ++p;
      int64_t weekday = date_digits(p, end, 1, 1, nullptr);
      if (weekday < 1 || weekday > 7) return bad();
      year = f1;
      month = week;
      day = weekday;
      form = WEEK;
    } else {
      int n2 = 0;
      const uint8_t* name = p;
      while (p < end && std::isalpha(*p)) ++p;
      if (p > name) {
        month = month_of_name(name, p - name);
        if (month == 0) return bad();
      } else {
        month = date_digits(p, end, 1, 3, &n2);
        if (month < 0) return bad();
      }
      if (n2 == 3 && n1 == 4 && sep == '-' && (p == end || *p == '/' || *p == 'T')) {
        year = f1;
        day = month;
        month = 1;
        form = ORDINAL;
        if (day < 1 || day > (date::leap_year(static_cast<int32_t>(year)) ? 366 : 365)) return bad();
      } else {
        if (n2 > 2 || p == end || *p != sep) return bad();
        ++p;
        bool negative = p < end && *p == '-';
        if (negative) ++p;
        int n3 = 0;
        int64_t f3 = date_digits(p, end, 1, 5, &n3);
        if (f3 < 0) return bad();
        if (negative) f3 = -f3;
        if (f1 <= 99 || f3 < 0 || f3 > 31) {
          day = f1;
          year = f3;
          if (!negative && n3 <= 2) year += year < 50 ? 2000 : 1900;
        } else {
          year = f1;
          day = f3;
        }
      }
    }
  }
  if (year < -9999 || year > 9999) return bad();
  if (form == PLAIN) {
    static const int lengths[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > lengths[month - 1]) return bad();
    if (month == 2 && day == 29 && !date::leap_year(static_cast<int32_t>(year))) return bad();
  }
  DateTimePart t;
  bool with_time = false;
  if (p < end) {
    if (*p != '/' && *p != 'T' && *p != 't') return bad();
    ++p;
    if (!date_time_part(p, end, &t)) return bad();
    with_time = true;
  }
  if (!build) return true;
  Cell c;
  int zh = t.zone_west ? -t.zone_hours : t.zone_hours;
  int zm = t.zone_west ? -t.zone_minutes : t.zone_minutes;
  if (form == PLAIN) {
    date::make_at(&c, static_cast<int32_t>(year), static_cast<int>(month), static_cast<int>(day),
                  t.time, zh, zm, with_time);
  } else {
    date::make_at(&c, static_cast<int32_t>(year), 1, 1, t.time, zh, zm, with_time);
    if (form == ORDINAL) {
      date::set_yearday(&c, static_cast<int32_t>(day));
    } else {
      date::set_week(&c, static_cast<int32_t>(month));
      date::set_weekday(&c, static_cast<int32_t>(day));
    }
  }
  emit(s, c);
  return true;
}

}  // namespace tav::lexer::lexer_tokens
