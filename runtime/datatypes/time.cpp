#include "datatypes/time.h"

#include <cmath>
#include <cstring>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/unicode.h"
#include "core/words.h"

namespace tav::time_ {

Cell* push(double seconds) { return set_float(stack::new_cell(), seconds, TYPE_TIME); }

Cell* make_at(double seconds, Cell* c) {
  c->set_type(TYPE_TIME);
  c->set_float_value(seconds);
  return c;
}

Cell* append_to_block(const Cell* block, uint32_t high, uint32_t low) {
  Cell* c = series::new_tail_cell(block);
  *c = make_cell(TYPE_TIME, 0, low, high);
  return c;
}

namespace time_detail {

// The hour and minute fields are integer!s: a time too long for one (or an infinity or
// NaN, which float arithmetic can leave in a time) has no such field.
int32_t checked_field(double d) {
  int32_t i;
  if (!number::float_to_int32(d, &i)) numeric::raise_math("overflow");
  return i;
}

}  // namespace time_detail

int32_t hours(double seconds) { return time_detail::checked_field(std::trunc(seconds / 3600.0)); }
int32_t minutes(double seconds) {
  return time_detail::checked_field(std::floor(std::fmod(std::fabs(seconds), 3600.0) / 60.0));
}
double seconds_field(double seconds) { return std::fmod(seconds, 60.0); }

Cell* push_field(const Cell* time, int field) {
  double s = time->float_value();
  switch (field) {
    case FIELD_HOUR: return integer::push(hours(s));
    case FIELD_MINUTE: return integer::push(minutes(s));
    default: return float_::push(seconds_field(s));
  }
}

int field_index(const Cell* word, const Cell* value) {
  uint32_t sym = symbol::alias(word->data2);
  if (sym == symbol::alias(symbols::hour)) return FIELD_HOUR;
  if (sym == symbol::alias(symbols::minute)) return FIELD_MINUTE;
  if (sym == symbol::alias(symbols::second)) return FIELD_SECOND;
  if (value && value->is(TYPE_TIME)) error::raise(ERR_SCRIPT, "cannot-use", word, value);
  return -1;
}

namespace time_detail {

// The seconds as the text form shows them: the seconds field is cut to 6 significant digits,
// and one that shows as 60 is carried into the minutes. sec_text, when given, receives the
// seconds field's text (at least 48 characters) and *minutes_out the whole minutes shown.
double shown(double seconds, char* sec_text, double* minutes_out) {
  double s = std::fabs(seconds);
  double secs = std::fmod(s, 60.0);
  double whole_minutes = std::floor(s / 60.0);
  double shown_secs = 0;
  if (sec_text) std::strcpy(sec_text, "00");
  if (secs >= 0.000001) {
    number::FloatText ft = number::form_float(secs, 6, false);
    int left = 0;
    shown_secs = number::text_to_float(ft.text, ft.text + ft.length, 0, &left);
    if (shown_secs >= 60.0) {
      // 59.9999999 shows as a whole minute, not as 60 seconds.
      whole_minutes += 1;
      shown_secs = 0;
    } else if (sec_text) {
      bool pad = ft.length == 1 || ft.text[1] == '.';
      int n = 0;
      if (pad) sec_text[n++] = '0';
      std::memcpy(sec_text + n, ft.text, ft.length);
      sec_text[n + ft.length] = 0;
    }
  }
  if (minutes_out) *minutes_out = whole_minutes;
  double magnitude = whole_minutes * 60.0 + shown_secs;
  return seconds < 0 ? -magnitude : magnitude;
}

}  // namespace time_detail

double shown_seconds(double seconds) {
  return std::isfinite(seconds) ? time_detail::shown(seconds, nullptr, nullptr) : seconds;
}

int form_text(double seconds, NodeId buffer, int limit) {
  uint32_t before = string::length(buffer);
  if (!std::isfinite(seconds)) {
    // Float arithmetic can leave an infinity or NaN in a time; it has no h:mm:ss form, so
    // it shows as the float text shows it.
    string::append_ascii(buffer, number::form_float(seconds, 0, false).text);
    return limit - static_cast<int>(string::length(buffer) - before);
  }
  if (seconds < 0) string::append_char(buffer, '-');
  char sec_text[48];
  double whole_minutes = 0;
  time_detail::shown(seconds, sec_text, &whole_minutes);
  double h = std::floor(whole_minutes / 60.0);
  int m = static_cast<int>(whole_minutes - h * 60.0);
  number::FloatText ht = number::form_float(h, 0, false);
  string::append_ascii(buffer, ht.text);
  char mm[5] = {':', static_cast<char>('0' + m / 10), static_cast<char>('0' + m % 10), ':', 0};
  string::append_ascii(buffer, mm);
  string::append_ascii(buffer, sec_text);
  return limit - static_cast<int>(string::length(buffer) - before);
}

void bad_to_arg(const Cell* spec) { numeric::raise_bad_to(TYPE_TIME, spec); }

bool text_to_seconds(const void* units, uint32_t count, int unit, double* out) {
  uint32_t i = 0;
  auto at = [&](uint32_t k) { return unicode::read_unit(units, k, static_cast<unsigned>(unit)); };
  bool negative = false;
  if (i < count && (at(i) == '-' || at(i) == '+')) negative = at(i++) == '-';
  double fields[3] = {0, 0, 0};
  int n = 0;
  bool fraction_seen = false;
  int fraction_field = -1;
  while (true) {
    if (n == 3) return false;
    char digits[64];
    int nd = 0;
    bool any = false, dot = false;
    while (i < count) {
      uint32_t c = at(i);
      if (c >= '0' && c <= '9') {
        if (nd >= 60) return false;
        digits[nd++] = static_cast<char>(c);
        any = true;
      } else if (c == '\'') {
        if (!any) return false;
      } else if ((c == '.' || c == ',') && !dot && n > 0) {
        dot = true;
        if (nd >= 60) return false;
        digits[nd++] = '.';
      } else {
        break;
      }
      i++;
    }
    if (!any || fraction_seen) return false;
    int left = 0;
    fields[n] = number::text_to_float(digits, digits + nd, 0, &left);
    if (left != 0) return false;
    if (dot) {
      fraction_seen = true;
      fraction_field = n;
    }
    n++;
    if (i == count) break;
    if (at(i) != ':') return false;
    i++;
    if (i == count) return false;   // a trailing ":"
  }
  if (n < 2) return false;
  double total;
  if (n == 2 && fraction_field == 1) total = fields[0] * 60 + fields[1];   // m:s.f
  else total = fields[0] * 3600 + fields[1] * 60 + fields[2];
  *out = negative ? -total : total;
  return true;
}

// ---- Action handlers ------------------------------------------------------------------------

namespace time_detail {

Cell* time_make(Cell* proto, Cell* spec, int) {
  double seconds = 0;
  switch (spec->type()) {
    case TYPE_TIME: return spec;
    case TYPE_INTEGER: seconds = spec->int_value(); break;
    case TYPE_FLOAT: case TYPE_PERCENT: seconds = spec->float_value(); break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      SeriesBuffer* b = node_buffer(spec->node());
      uint32_t count = b->used() / sizeof(Cell);
      uint32_t index = spec->index() < count ? spec->index() : count;
      uint32_t n = count - index;
      if (n > 3) bad_to_arg(spec);
      Cell* cells = b->cells() + index;
      bool negative = false;
      for (uint32_t k = 0; k < n; k++) {
        const Cell* c = cells + k;
        double v;
        if (c->is(TYPE_INTEGER)) v = c->int_value();
        else if (k == 2 && c->is(TYPE_FLOAT)) v = c->float_value();
        else bad_to_arg(spec);
        if (v < 0 || std::signbit(v)) {
          if (k != 0) bad_to_arg(spec);
          negative = true;
          v = -v;
        }
        seconds += v * (k == 0 ? 3600.0 : k == 1 ? 60.0 : 1.0);
      }
      if (negative) seconds = -seconds;
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      int unit;
      uint32_t count;
      const void* units = numeric::string_units(spec, &unit, &count);
      // Blanks around the token are what loading the text would skip.
      uint32_t first = 0, last = count;
      auto blank = [&](uint32_t k) {
        uint32_t c = unicode::read_unit(units, k, static_cast<unsigned>(unit));
        return c == ' ' || c == '\t' || c == '\n' || c == '\r';
      };
      while (first < last && blank(first)) first++;
      while (last > first && blank(last - 1)) last--;
      const uint8_t* start = static_cast<const uint8_t*>(units) + first * unit;
      if (!text_to_seconds(start, last - first, unit, &seconds)) bad_to_arg(spec);
      break;
    }
    default: bad_to_arg(spec);
  }
  return set_float(proto, seconds, TYPE_TIME);
}

int time_form(Cell* value, Cell* buffer, Cell*, int limit) {
  return form_text(value->float_value(), buffer->node(), limit);
}

int time_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return time_form(value, buffer, part, limit);
}

// The seconds after one field is set to v. Each setter inverts its reader, so setting a
// field to the value it reads leaves the time as it is.
double with_field(double s, int field, double v) {
  switch (field) {
    case FIELD_HOUR: return s - (std::trunc(s / 3600.0) - v) * 3600.0;
    case FIELD_MINUTE: {
      double sign = s < 0 ? -1.0 : 1.0;
      return s - sign * (std::floor(std::fmod(std::fabs(s), 3600.0) / 60.0) - v) * 60.0;
    }
    default: return s - (std::fmod(s, 60.0) - v);
  }
}

int path_field(const Cell* element, Cell* path, Cell* parent) {
  if (element->is(TYPE_INTEGER)) {
    int32_t i = element->int_value();
    if (i >= 1 && i <= 3) return i;
  } else if (word::is_any_word(element->type())) {
    int f = field_index(element, nullptr);
    if (f > 0) return f;
  }
  error::raise(ERR_SCRIPT, "invalid-path", path ? path : parent, element);
}

Cell* time_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder,
                     Cell* holder_field, int, bool, bool, bool, bool evt) {
  int field = path_field(element, path, parent);
  if (!value) return push_field(parent, field);
  double v;
  if (value->is(TYPE_INTEGER)) v = value->int_value();
  else if (field == FIELD_SECOND && value->is(TYPE_FLOAT)) v = value->float_value();
  else error::raise(ERR_SCRIPT, "invalid-arg", value);
  Cell before = *parent;
  parent->set_float_value(with_field(parent->float_value(), field, v));
  if (evt) {
    Cell after = *parent;
    compound::notify_set(holder, holder_field, &before, &after, value, field);
  }
  // The changed time is the answer: the path walk stores it back where the time lives.
  return parent;
}

Cell* time_pick(Cell* series, int index, Cell* boxed) {
  int field = index;
  if (boxed && word::is_any_word(boxed->type())) {
    field = field_index(boxed, series);
    if (field < 0) error::raise(ERR_SCRIPT, "cannot-use", boxed, series);
  } else if (index < 1 || index > 3) {
    Cell i;
    set_integer(&i, index);
    error::raise(ERR_SCRIPT, "out-of-range", boxed ? boxed : &i);
  }
  return push_field(series, field);
}

Cell* time_add() {
  if (stack::base[1].is(TYPE_DATE)) {
    numeric::swap_arguments();
    return numeric::forward_math(TYPE_DATE, 0);
  }
  return float_::do_math_op(0);
}

Cell* time_subtract() {
  if (stack::base[1].is(TYPE_DATE)) numeric::raise_not_related(&words::subtract, TYPE_TIME);
  return float_::do_math_op(1);
}

Cell* time_multiply() {
  if (stack::base[1].is(TYPE_TIME)) numeric::raise_not_related(&words::multiply, TYPE_TIME);
  return float_::do_math_op(2);
}

Cell* time_divide() {
  bool by_time = stack::base[1].is(TYPE_TIME);
  Cell* r = float_::do_math_op(3);
  if (by_time) r->set_type(TYPE_FLOAT);
  return r;
}

Cell* time_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                 bool ceiling, bool half_ceiling) {
  if (scale && scale->is(TYPE_MONEY)) {
    Cell name = numeric::running_call_word();
    numeric::raise_not_related(&name, TYPE_MONEY);
  }
  float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
  double s = value->is(TYPE_INTEGER) ? static_cast<double>(value->int_value()) : value->float_value();
  return set_float(value, s, TYPE_TIME);
}

// The whole seconds of the second field, nudged past float noise such as 4.9999999.
int32_t whole_seconds(const Cell* value) {
  double s = value->float_value();
  double nudged = std::fmod(s >= 0 ? s + 0.000001 : s - 0.000001, 60.0);
  int32_t whole = 0;
  number::float_to_int32(std::trunc(nudged), &whole);
  return whole;
}
// An infinity or NaN is neither even nor odd.
bool time_even(Cell* value) {
  return std::isfinite(value->float_value()) && (whole_seconds(value) & 1) == 0;
}
bool time_odd(Cell* value) {
  return std::isfinite(value->float_value()) && (whole_seconds(value) & 1) != 0;
}

}  // namespace time_detail

void init() {
  using namespace time_detail;
  ActionRow row;
  row.fill(nullptr);
  row[ACT_MAKE - 1] = entry<act::Make>(time_make);
  row[ACT_TO - 1] = entry<act::Make>(time_make);
  row[ACT_FORM - 1] = entry<act::Form>(time_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(time_mold);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(time_eval_path);
  row[ACT_ADD - 1] = entry<act::StackReading>(time_add);
  row[ACT_SUBTRACT - 1] = entry<act::StackReading>(time_subtract);
  row[ACT_DIVIDE - 1] = entry<act::StackReading>(time_divide);
  row[ACT_MULTIPLY - 1] = entry<act::StackReading>(time_multiply);
  row[ACT_EVEN_Q - 1] = entry<act::Predicate>(time_even);
  row[ACT_ODD_Q - 1] = entry<act::Predicate>(time_odd);
  row[ACT_ROUND - 1] = entry<act::Round>(time_round);
  row[ACT_PICK - 1] = entry<act::Pick>(time_pick);
  for (ActionId a : {ACT_RANDOM, ACT_COMPARE, ACT_ABSOLUTE, ACT_NEGATE, ACT_REMAINDER})
    row[a - 1] = INHERIT;
  datatype::register_type(TYPE_TIME, TYPE_FLOAT, "time!", row);
}

}  // namespace tav::time_
