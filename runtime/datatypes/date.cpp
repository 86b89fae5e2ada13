#include "datatypes/date.h"

#include <cmath>
#include <cstring>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/time.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::date {

namespace date_detail {

int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

[[noreturn]] void raise_year_range(int64_t year) {
  Cell v;
  set_integer(&v, year > INT32_MAX ? INT32_MAX : year < INT32_MIN ? INT32_MIN
                                                                  : static_cast<int32_t>(year));
  error::raise(ERR_SCRIPT, "out-of-range", &v);
}

// Setter arguments far beyond any representable date are refused before the arithmetic,
// so that the day numbers below cannot overflow.
constexpr int64_t DAY_LIMIT = int64_t(1) << 40;

}  // namespace date_detail

int32_t zone_offset(uint32_t zone_bits) {
  int32_t magnitude = static_cast<int32_t>((zone_bits >> 2) & 15) * 3600 +
                      static_cast<int32_t>(zone_bits & 3) * 900;
  return (zone_bits & ZONE_WEST) ? -magnitude : magnitude;
}

uint32_t zone_from_seconds(double seconds) {
  bool west = seconds < 0;
  double magnitude = std::fabs(seconds);
  if (!(magnitude < 1e12)) magnitude = 0;
  int64_t whole = static_cast<int64_t>(magnitude);
  uint32_t hours = static_cast<uint32_t>((whole / 3600) % 16);
  uint32_t quarters = static_cast<uint32_t>((whole % 3600) / 900);
  uint32_t bits = hours << 2 | quarters;
  if (west && bits != 0) bits |= ZONE_WEST;
  return bits;
}

bool leap_year(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool names_a_day(uint32_t bits) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int m = month_of(bits), d = day_of(bits);
  if (m < 1 || m > 12 || d < 1) return false;
  return d <= days[m - 1] + (m == 2 && leap_year(year_of(bits)) ? 1 : 0);
}

int64_t day_number(int64_t year, int64_t month, int64_t day) {
  using date_detail::floor_div;
  int64_t m = (month + 9) % 12;
  int64_t y = year - m / 10;
  return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400) + (306 * m + 5) / 10 +
         (day - 1);
}

void from_day_number(int64_t n, int32_t* year, int* month, int* day) {
  using date_detail::floor_div;
  auto days_before = [](int64_t y) {
    return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
  };
  int64_t y = floor_div(10000 * n + 14780, 3652425);
  int64_t r = n - days_before(y);
  if (r < 0) {
    --y;
    r = n - days_before(y);
  }
  int64_t mi = (100 * r + 52) / 3060;
  *month = static_cast<int>((mi + 2) % 12 + 1);
  int64_t full_year = y + (mi + 2) / 12;
  if (full_year < YEAR_MIN || full_year > YEAR_MAX) date_detail::raise_year_range(full_year);
  *year = static_cast<int32_t>(full_year);
  *day = static_cast<int>(r - (306 * mi + 5) / 10 + 1);
}

int weekday_of(int64_t n) {
  int64_t w = (n + 2) % 7;
  if (w < 0) w += 7;
  return static_cast<int>(w) + 1;
}

int year_day(uint32_t bits) {
  return static_cast<int>(day_number_of(bits) - day_number(year_of(bits), 1, 1)) + 1;
}

uint32_t pack(int64_t n, uint32_t zone_bits, bool with_time) {
  int32_t y;
  int m, d;
  from_day_number(n, &y, &m, &d);
  uint32_t bits = (static_cast<uint32_t>(y) << 17) | (static_cast<uint32_t>(m) << 12) |
                  (static_cast<uint32_t>(d) << 7) | (zone_bits & ZONE_MASK);
  if (with_time) bits |= HAS_TIME;
  return bits;
}

int64_t carry_days(int64_t n, double* time, uint32_t zone_bits) {
  double z = zone_offset(zone_bits) / 3600.0;
  double hours = std::trunc(*time / 3600.0 + z);
  if (!(std::fabs(hours) < 1e15)) date_detail::raise_year_range(hours > 0 ? INT32_MAX : INT32_MIN);
  int64_t k = static_cast<int64_t>(hours) / 24;
  n += k;
  *time -= static_cast<double>(k) * 86400.0;
  if (z * 3600.0 + *time < 0) {
    *time += 86400.0;
    --n;
  }
  return n;
}

void normalize(Cell* d, double time, bool convert) {
  uint32_t zone = zone_of(d->data1);
  if (convert) time -= zone_offset(zone);
  int64_t n = carry_days(day_number_of(d->data1), &time, zone);
  d->data1 = pack(n, zone, has_time(d));
  d->set_float_value(time);
}

Cell* make_at(Cell* c, int32_t year, int month, int day, double time, int zone_hours,
              int zone_minutes, bool with_time) {
  int hours = zone_hours < 0 ? -zone_hours : zone_hours;
  int minutes = zone_minutes < 0 ? -zone_minutes : zone_minutes;
  uint32_t zone = static_cast<uint32_t>((hours & 15) << 2 | (minutes / 15 & 3));
  if ((zone_hours < 0 || zone_minutes < 0) && zone != 0) zone |= ZONE_WEST;
  if (year < YEAR_MIN || year > YEAR_MAX) date_detail::raise_year_range(year);
  *c = make_cell(TYPE_DATE);
  c->data1 = (static_cast<uint32_t>(year) << 17) | (static_cast<uint32_t>(month & 15) << 12) |
             (static_cast<uint32_t>(day & 31) << 7);
  if (!with_time) return c;
  c->data1 |= HAS_TIME | zone;
  normalize(c, time, true);
  return c;
}

Cell* make_at_hms(Cell* c, int32_t year, int month, int day, int hour, int minute, int second,
                  int32_t nanosecond) {
  double t = hour * 3600.0 + minute * 60.0 + second + nanosecond * 1e-9;
  return make_at(c, year, month, day, t, 0, 0, true);
}

Cell* push(uint32_t bits, double time) {
  Cell* c = stack::new_cell();
  *c = make_cell(TYPE_DATE, bits);
  c->set_float_value(time);
  return c;
}

Cell* append_to_block(const Cell* block, uint32_t bits, uint32_t time_high, uint32_t time_low) {
  Cell* c = series::new_tail_cell(block);
  *c = make_cell(TYPE_DATE, bits, time_low, time_high);
  return c;
}

namespace date_detail {

void move_to_day(Cell* d, int64_t n) {
  d->data1 = pack(n, zone_of(d->data1), has_time(d));
}

int sunday_based(int64_t n) { return weekday_of(n) % 7; }

int64_t iso_week_one_monday(int64_t year) {
  int64_t jan4 = day_number(year, 1, 4);
  return jan4 - (weekday_of(jan4) - 1);
}

int iso_week(uint32_t bits) {
  int64_t n = day_number_of(bits);
  int64_t thursday = n - weekday_of(n) + 4;
  int32_t y;
  int m, dd;
  from_day_number(thursday, &y, &m, &dd);
  return static_cast<int>((thursday - day_number(y, 1, 1)) / 7) + 1;
}

int sunday_week(uint32_t bits) {
  int64_t jan1 = day_number(year_of(bits), 1, 1);
  return static_cast<int>((day_number_of(bits) - jan1 + sunday_based(jan1)) / 7) + 1;
}

double local_time(const Cell* d) { return d->float_value() + zone_offset(zone_of(d->data1)); }

}  // namespace date_detail

void set_week(Cell* d, int32_t iso_week) {
  date_detail::move_to_day(
      d, date_detail::iso_week_one_monday(year_of(d->data1)) + 7 * (int64_t(iso_week) - 1));
}

void set_weekday(Cell* d, int32_t weekday) {
  int64_t n = day_number_of(d->data1);
  date_detail::move_to_day(d, n + weekday - weekday_of(n));
}

void set_yearday(Cell* d, int32_t yearday) {
  date_detail::move_to_day(d, day_number(year_of(d->data1), 1, 1) + int64_t(yearday) - 1);
}

Cell* push_field(const Cell* d, int field) {
  uint32_t bits = d->data1;
  double local = date_detail::local_time(d);
  switch (field) {
    case FIELD_DATE:
      return push(bits & ~(HAS_TIME | ZONE_MASK), 0.0);
    case FIELD_YEAR: return integer::push(year_of(bits));
    case FIELD_MONTH: return integer::push(month_of(bits));
    case FIELD_DAY: return integer::push(day_of(bits));
    case FIELD_ZONE: case FIELD_TIMEZONE:
      if (!has_time(d)) return set_none(stack::new_cell());
      return time_::push(zone_offset(zone_of(bits)));
    case FIELD_TIME:
      if (!has_time(d)) return set_none(stack::new_cell());
      return time_::push(local);
    case FIELD_HOUR: return integer::push(time_::hours(local));
    case FIELD_MINUTE: return integer::push(time_::minutes(local));
    case FIELD_SECOND: return float_::push(time_::seconds_field(local));
    case FIELD_WEEKDAY: return integer::push(weekday_of(day_number_of(bits)));
    case FIELD_YEARDAY: return integer::push(year_day(bits));
    case FIELD_WEEK: return integer::push(date_detail::sunday_week(bits));
    default: return integer::push(date_detail::iso_week(bits));
  }
}

int32_t to_epoch(const Cell* d) {
  double s = static_cast<double>(day_number_of(d->data1) - EPOCH_DAY) * 86400.0 +
             d->float_value() + 0.5;
  // Rounded to the nearest second on both sides of 1970: truncation would move the dates
  // before it one second forward.
  s = std::floor(s);
  if (!(s >= -2147483648.0 && s <= 2147483647.0)) {
    Cell copy = *d;
    error::raise(ERR_SCRIPT, "out-of-range", &copy);
  }
  return static_cast<int32_t>(s);
}

Cell* difference(Cell* a, const Cell* b) {
  double s = static_cast<double>(day_number_of(a->data1) - day_number_of(b->data1)) * 86400.0 +
             (a->float_value() - b->float_value());
  return set_float(a, s, TYPE_TIME);
}

// ---- Action handlers ------------------------------------------------------------------------

namespace date_detail {

[[noreturn]] void bad_spec(const Cell* spec) { numeric::raise_bad_to(TYPE_DATE, spec); }

// Reads a block spec through the state machine of day, month, year, then a time (as a
// time! or as hour, minute, second) and a zone (as a time! or as hours and minutes).
Cell* from_block(Cell* proto, Cell* spec, bool strict) {
  SeriesBuffer* b = node_buffer(spec->node());
  uint32_t count = b->used() / sizeof(Cell);
  uint32_t index = spec->index() < count ? spec->index() : count;
  uint32_t n = count - index;
  const Cell* cells = b->cells() + index;
  enum Slot { DAY, MONTH, YEAR, HOUR, MINUTE, SECOND, ZONE_H, ZONE_M, SLOT_COUNT };
  int64_t slot[SLOT_COUNT] = {};
  double fsecond = 0, time = 0, zone_time = 0;
  bool zone_as_time = false;
  int state = 0;
  if (n < 3) bad_spec(spec);
  for (uint32_t k = 0; k < n; ++k) {
    const Cell* v = cells + k;
    TypeId t = v->type();
    int next = -1;
    if (t == TYPE_INTEGER) {
      static const int to_state[14] = {1, 2, 3, 8, 6, -1, 7, -1, 9, 10, 12, -1, 13, -1};
      static const int to_slot[14] = {DAY, MONTH, YEAR, HOUR, ZONE_H, -1, ZONE_M, -1,
                                      MINUTE, SECOND, ZONE_H, -1, ZONE_M, -1};
      next = to_state[state];
      if (next >= 0) slot[to_slot[state]] = v->int_value();
    } else if (t == TYPE_TIME) {
      if (state == 3) {
        next = 4;
        time = v->float_value();
      } else if (state == 4 || state == 10) {
        next = state == 4 ? 5 : 11;
        zone_time = v->float_value();
        zone_as_time = true;
      }
    } else if (t == TYPE_FLOAT && state == 9) {
      next = 10;
      fsecond = v->float_value();
    }
    if (next < 0) bad_spec(spec);
    state = next;
  }
  if (slot[DAY] > 99 && slot[YEAR] < slot[DAY]) std::swap(slot[DAY], slot[YEAR]);
  bool with_time = n > 3;
  if (state >= 8) {
    double second = fsecond != 0 ? fsecond : static_cast<double>(slot[SECOND]);
    time = static_cast<double>(slot[HOUR]) * 3600.0 + static_cast<double>(slot[MINUTE]) * 60.0 +
           second;
  }
  if (slot[YEAR] < YEAR_MIN || slot[YEAR] > YEAR_MAX) raise_year_range(slot[YEAR]);
  if (std::llabs(slot[MONTH]) > DAY_LIMIT || std::llabs(slot[DAY]) > DAY_LIMIT) bad_spec(spec);
  int64_t year = slot[YEAR] + floor_div(slot[MONTH] - 1, 12);
  int64_t month = slot[MONTH] - 1 - floor_div(slot[MONTH] - 1, 12) * 12 + 1;
  int64_t day = day_number(year, month, 0) + slot[DAY];
  uint32_t zone = 0;
  if (zone_as_time) {
    zone = zone_from_seconds(zone_time);
  } else {
    int64_t h = slot[ZONE_H], m = slot[ZONE_M];
    bool west = h < 0 || m < 0;
    zone = static_cast<uint32_t>((std::llabs(h) % 16) << 2 | (std::llabs(m) % 60) / 15);
    if (west && zone) zone |= ZONE_WEST;
  }
  if (strict) {
    int32_t y;
    int mo, d;
    from_day_number(day, &y, &mo, &d);
    bool date_ok = y == slot[YEAR] && mo == slot[MONTH] && d == slot[DAY];
    bool time_ok = !with_time || (time >= 0 && time < 86400.0);
    if (time_ok && with_time && state >= 8)
      time_ok = slot[HOUR] >= 0 && slot[HOUR] <= 23 && slot[MINUTE] >= 0 && slot[MINUTE] <= 59;
    if (!date_ok || !time_ok) bad_spec(spec);
  }
  if (!std::isfinite(time)) bad_spec(spec);
  *proto = make_cell(TYPE_DATE, pack(day, zone, with_time));
  normalize(proto, with_time ? time : 0.0, with_time);
  return proto;
}

Cell* from_epoch(Cell* proto, int32_t seconds) {
  int64_t s = seconds;
  int64_t n = EPOCH_DAY + floor_div(s, 86400);
  *proto = make_cell(TYPE_DATE, pack(n, 0, true));
  proto->set_float_value(static_cast<double>(s - floor_div(s, 86400) * 86400));
  return proto;
}

Cell* date_make(Cell* proto, Cell* spec, int) {
  if (spec->is(TYPE_BLOCK)) return from_block(proto, spec, true);
  bad_spec(spec);
}

Cell* date_to(Cell* proto, Cell* spec, int) {
  switch (spec->type()) {
    case TYPE_BLOCK: return from_block(proto, spec, false);
    case TYPE_DATE: return spec;
    case TYPE_INTEGER: return from_epoch(proto, spec->int_value());
    default: bad_spec(spec);
  }
}

const char* const MONTH_NAMES[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

int date_form(Cell* value, Cell* buffer, Cell*, int limit) {
  NodeId out = buffer->node();
  uint32_t before = string::length(out);
  uint32_t bits = value->data1;
  int32_t y = year_of(bits);
  int m = month_of(bits);
  int day = day_of(bits);
  double local = has_time(value) ? local_time(value) : 0.0;
  if (has_time(value) && time_::shown_seconds(local) >= 86400.0) {
    // A time of day that shows as 24:00:00 is the next day's midnight.
    from_day_number(day_number_of(bits) + 1, &y, &m, &day);
    local = 0.0;
  }
  char text[32];
  char sep = y < 0 ? '/' : '-';
  std::snprintf(text, sizeof text, "%d%c", day, sep);
  string::append_ascii(out, text);
  if (m < 1 || m > 12) error::raise(ERR_SCRIPT, "invalid-months");
  std::snprintf(text, sizeof text, "%.3s%c", MONTH_NAMES[m - 1], sep);
  string::append_ascii(out, text);
  if (y < 0) std::snprintf(text, sizeof text, "-%d", -y);
  else if (y > 99) std::snprintf(text, sizeof text, "%d", y);
  else std::snprintf(text, sizeof text, "%04d", y);
  string::append_ascii(out, text);
  if (has_time(value)) {
    string::append_char(out, '/');
    time_::form_text(local, out, limit);
    uint32_t zone = zone_of(bits);
    if (zone != 0) {
      int hours = static_cast<int>((zone >> 2) & 15);
      int minutes = static_cast<int>(zone & 3) * 15;
      std::snprintf(text, sizeof text, "%c%02d:%02d", (zone & ZONE_WEST) ? '-' : '+', hours,
                    minutes);
      string::append_ascii(out, text);
    }
  }
  return limit - static_cast<int>(string::length(out) - before);
}

int date_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return date_form(value, buffer, part, limit);
}

int field_of(const Cell* element) {
  if (element->is(TYPE_INTEGER)) {
    int32_t i = element->int_value();
    return i >= 1 && i <= 14 ? i : -1;
  }
  if (!is_any_word(element->type())) return -1;
  uint32_t sym = symbol::alias(element->data2);
  static const struct { const uint32_t* symbol; int field; } names[] = {
      {&symbols::date, FIELD_DATE},       {&symbols::year, FIELD_YEAR},
      {&symbols::month, FIELD_MONTH},     {&symbols::day, FIELD_DAY},
      {&symbols::zone, FIELD_ZONE},       {&symbols::time, FIELD_TIME},
      {&symbols::hour, FIELD_HOUR},       {&symbols::minute, FIELD_MINUTE},
      {&symbols::second, FIELD_SECOND},   {&symbols::weekday, FIELD_WEEKDAY},
      {&symbols::yearday, FIELD_YEARDAY}, {&symbols::julian, FIELD_YEARDAY},
      {&symbols::timezone, FIELD_TIMEZONE}, {&symbols::week, FIELD_WEEK},
      {&symbols::isoweek, FIELD_ISOWEEK}};
  for (const auto& e : names) {
    if (sym == symbol::alias(*e.symbol)) return e.field;
  }
  return -1;
}

int64_t integer_argument(const Cell* value) {
  if (!value->is(TYPE_INTEGER)) error::raise(ERR_SCRIPT, "invalid-arg", value);
  return value->int_value();
}

uint32_t zone_argument(const Cell* value) {
  if (value->is(TYPE_INTEGER)) {
    int32_t h = value->int_value();
    uint32_t zone = static_cast<uint32_t>((h < 0 ? -(int64_t)h : h) % 16) << 2;
    return h < 0 && zone ? zone | ZONE_WEST : zone;
  }
  if (value->is(TYPE_TIME)) return zone_from_seconds(value->float_value());
  error::raise(ERR_SCRIPT, "invalid-arg", value);
}

// Sets one field of the date in place.
void set_field(Cell* d, int field, const Cell* value) {
  uint32_t bits = d->data1;
  int32_t y = year_of(bits);
  int m = month_of(bits), dd = day_of(bits);
  switch (field) {
    case FIELD_DATE:
      if (!value->is(TYPE_DATE)) error::raise(ERR_SCRIPT, "invalid-arg", value);
      d->data1 = (value->data1 & ~ZONE_MASK) | (bits & ZONE_MASK);
      return;
    case FIELD_YEAR: {
      int64_t v = integer_argument(value);
      if (v < YEAR_MIN || v > YEAR_MAX) raise_year_range(v);
      move_to_day(d, day_number(v, m, dd));
      return;
    }
    case FIELD_MONTH: {
      int64_t v = integer_argument(value) - 1;
      int64_t year = y + floor_div(v, 12);
      if (year < YEAR_MIN || year > YEAR_MAX) raise_year_range(year);
      move_to_day(d, day_number(year, v - floor_div(v, 12) * 12 + 1, dd));
      return;
    }
    case FIELD_DAY:
      move_to_day(d, day_number(y, m, 0) + integer_argument(value));
      return;
    case FIELD_ZONE: case FIELD_TIMEZONE: {
      uint32_t zone = zone_argument(value);
      double local = local_time(d);
      double stored = d->float_value();
      d->data1 = (bits & ~ZONE_MASK) | zone | HAS_TIME;
      if (field == FIELD_ZONE) normalize(d, local, true);
      else normalize(d, stored, false);
      return;
    }
    case FIELD_TIME:
      if (value->is(TYPE_NONE)) {
        d->data1 = bits & ~HAS_TIME;
        d->set_float_value(0.0);
        return;
      }
      if (!value->is(TYPE_TIME)) error::raise(ERR_SCRIPT, "invalid-arg", value);
      d->data1 = bits | HAS_TIME;
      normalize(d, value->float_value(), true);
      return;
    case FIELD_HOUR: case FIELD_MINUTE: case FIELD_SECOND: {
      // Set on the local time, then back to UTC, so that every zone (quarter hours too)
      // shows the value that was set.
      double v;
      if (value->is(TYPE_INTEGER)) v = value->int_value();
      else if (field == FIELD_SECOND && value->is(TYPE_FLOAT)) v = value->float_value();
      else error::raise(ERR_SCRIPT, "invalid-arg", value);
      static const int time_field[3] = {time_::FIELD_HOUR, time_::FIELD_MINUTE,
                                        time_::FIELD_SECOND};
      Cell t;
      set_float(&t, local_time(d), TYPE_TIME);
      Cell arg;
      if (value->is(TYPE_INTEGER)) set_integer(&arg, static_cast<int32_t>(v));
      else set_float(&arg, v);
      ActionEntry setter = action_entry(TYPE_TIME, ACT_EVAL_PATH);
      Cell index;
      set_integer(&index, time_field[field - FIELD_HOUR]);
      reinterpret_cast<act::EvalPath>(setter)(&t, &index, &arg, nullptr, nullptr, nullptr, 0,
                                              false, false, false, false);
      d->data1 = bits | HAS_TIME;
      normalize(d, t.float_value(), true);
      return;
    }
    case FIELD_WEEKDAY: set_weekday(d, static_cast<int32_t>(integer_argument(value))); return;
    case FIELD_YEARDAY: set_yearday(d, static_cast<int32_t>(integer_argument(value))); return;
    case FIELD_WEEK: {
      int64_t w = integer_argument(value);
      int64_t target = day_number(y, 1, 1) + 7 * (w - 1);
      if (w != 1) target -= sunday_based(target);
      move_to_day(d, target);
      return;
    }
    default: {
      int64_t w = integer_argument(value);
      move_to_day(d, iso_week_one_monday(y) + 7 * (w - 1));
      return;
    }
  }
}

Cell* date_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder,
                     Cell* holder_field, int, bool, bool, bool, bool evt) {
  int field = field_of(element);
  if (field < 0) error::raise(ERR_SCRIPT, "invalid-path", path ? path : parent, element);
  if (!value) return push_field(parent, field);
  Cell before = *parent;
  set_field(parent, field, value);
  if (evt) {
    Cell after = *parent;
    compound::notify_set(holder, holder_field, &before, &after, value, field);
  }
  // The changed date is the answer: the path walk stores it back where the date lives.
  return parent;
}

Cell* date_pick(Cell* series, int index, Cell* boxed) {
  int field = index;
  if (boxed && is_any_word(boxed->type())) {
    field = field_of(boxed);
    if (field < 0) error::raise(ERR_SCRIPT, "invalid-path", series, boxed);
  } else if (index < 1 || index > 14) {
    Cell i;
    set_integer(&i, index);
    error::raise(ERR_SCRIPT, "out-of-range", boxed ? boxed : &i);
  }
  return push_field(series, field);
}

// The day-and-time arithmetic: op 0 add, 1 subtract, with the date at the argument base.
Cell* date_math(int op) {
  Cell* left = stack::base;
  Cell* right = left + 1;
  uint32_t bits = left->data1;
  uint32_t zone = zone_of(bits);
  int64_t n = day_number_of(bits);
  double time = left->float_value();
  bool with_time = has_time(left);
  switch (right->type()) {
    case TYPE_INTEGER: {
      int64_t days = right->int_value();
      n += op == 0 ? days : -days;
      break;
    }
    case TYPE_TIME: {
      double s = right->float_value();
      time += op == 0 ? s : -s;
      with_time = true;
      break;
    }
    case TYPE_DATE: {
      if (op == 0) numeric::raise_not_related(&words::add, TYPE_DATE);
      int64_t days = n - day_number_of(right->data1);
      double t = time - right->float_value();
      days = carry_days(days, &t, zone);
      if (days > INT32_MAX || days < INT32_MIN) raise_year_range(days);
      return set_integer(left, static_cast<int32_t>(days));
    }
    default:
      numeric::raise_invalid_type(right);
  }
  n = carry_days(n, &time, zone);
  *left = make_cell(TYPE_DATE, pack(n, zone, with_time));
  left->set_float_value(time);
  return left;
}

Cell* date_add() { return date_math(0); }
Cell* date_subtract() { return date_math(1); }

int date_compare(Cell* a, Cell* b, int op) {
  if (!b->is(TYPE_DATE)) return COMPARE_UNRELATED;
  int64_t na = day_number_of(a->data1), nb = day_number_of(b->data1);
  double ta = a->float_value(), tb = b->float_value();
  // Stored times are relative to the local day, so the same instant can sit on two local
  // days (2-Jan/0:30+01:00 and 1-Jan/23:30): compare the instants, not the local dates.
  double diff = static_cast<double>(na - nb) * 86400.0 + (ta - tb);
  bool equal = na == nb ? float_::near_equal(ta, tb) : diff == 0;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_FIND_EQUAL:
      return equal ? 0 : 1;
    case COMP_SAME: {
      auto key = [](uint32_t bits) { return (static_cast<int32_t>(bits) >> 7) & ~(1 << 9); };
      return key(a->data1) == key(b->data1) && a->data2 == b->data2 && a->data3 == b->data3
                 ? 0 : 1;
    }
    default:
      if (equal) return 0;
      return diff < 0 ? -1 : 1;
  }
}

Cell* date_random(Cell* value, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(value->data1 + static_cast<uint32_t>(static_cast<int64_t>(value->float_value())));
    return set_unset(value);
  }
  int64_t n = day_number_of(value->data1);
  int64_t limit = n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : n;
  n = random::int_in_range(secure, static_cast<int32_t>(limit)) - 1;
  uint32_t zone = zone_of(value->data1);
  bool with_time = has_time(value);
  double time = 0;
  if (with_time) {
    zone = static_cast<uint32_t>(random::next()) & ZONE_MASK;
    double r;
    if (secure) {
      double hi = random::next_secure(), lo = random::next_secure();
      r = (hi * 2147483648.0 + lo) / (2147483648.0 * 2147483648.0);
    } else {
      r = random::next() / 2147483647.0;
    }
    time = std::floor(r * 3600.0) / 3600.0 * 24.0 * 3600.0;
  }
  *value = make_cell(TYPE_DATE, pack(n, zone, with_time));
  if (with_time) normalize(value, time, true);
  return value;
}

}  // namespace date_detail

void init() {
  using namespace date_detail;
  ActionRow row;
  row.fill(nullptr);
  row[ACT_MAKE - 1] = entry<act::Make>(date_make);
  row[ACT_TO - 1] = entry<act::Make>(date_to);
  row[ACT_RANDOM - 1] = entry<act::Random>(date_random);
  row[ACT_FORM - 1] = entry<act::Form>(date_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(date_mold);
  row[ACT_ADD - 1] = entry<act::StackReading>(date_add);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(date_subtract);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(date_eval_path);
  row[ACT_COMPARE - 1] = entry<act::Compare>(date_compare);
  row[ACT_PICK - 1] = entry<act::Pick>(date_pick);
  datatype::register_type(TYPE_DATE, TYPE_NONE_ID, "date!", row);
}

}  // namespace tav::date
