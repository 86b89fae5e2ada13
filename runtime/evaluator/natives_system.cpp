// Natives that reach outside the evaluator: memory statistics and the collector switch,
// sleeping, the clock, the process environment, child processes, the desktop's opener and
// file sizes.
#include "evaluator/natives_system.h"

#include "datatypes/binary.h"
#include "datatypes/map.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/collector.h"
#include "datatypes/date.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "datatypes/time.h"
#include "core/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "core/memory.h"
#include "platform/platform.h"
#include "services/process.h"
#include "services/simple_io.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav::natives {

EventPump gui_do_events = nullptr;

namespace system_natives {

inline Cell* arg(int i) { return stack::base + i; }
inline bool given(const int32_t* refs, int k) { return refs[k] >= 0; }

inline Status done() {
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// ---- Memory ----------------------------------------------------------------------------

// A byte count as the statistics give it: an integer! while it fits, else a float!.
Cell byte_count(double bytes) {
  Cell c;
  if (bytes > 2147483647.0) set_float(&c, bytes);
  else set_integer(&c, static_cast<int32_t>(bytes));
  return c;
}

// The detailed statistics: a block of [free used total] node counts per node frame, one of
// [free used total] bytes per series frame, one of big-buffer sizes, then the bytes taken
// from the system and the bytes of the tracked heap.
Cell* push_memory_details() {
  // Read everything first: building the answer allocates and may add frames.
  memory_manager::Details d = memory_manager::details();
  Cell* result = block::push_only(5);
  auto triples = [&](const std::vector<double>& values) {
    Cell* outer = block::push_only(static_cast<int32_t>(values.size() / 3));
    for (size_t k = 0; k + 2 < values.size(); k += 3) {
      Cell* triple = block::push_only(3);
      for (size_t j = 0; j < 3; ++j) {
        Cell n = byte_count(values[k + j]);
        block::append_cell(triple, &n);
      }
      triple->header |= FLAG_NEW_LINE;
      block::append_cell(outer, triple);
      stack::pop(1);
    }
    block::append_cell(result, outer);
    stack::pop(1);
  };
  triples(d.node_frames);
  triples(d.series_frames);
  Cell* sizes = block::push_only(static_cast<int32_t>(d.big_buffers.size()));
  for (double b : d.big_buffers) {
    Cell n = byte_count(b);
    n.header |= FLAG_NEW_LINE;
    block::append_cell(sizes, &n);
  }
  block::append_cell(result, sizes);
  stack::pop(1);
  for (double v : {d.system_total, d.heap}) {
    Cell n = byte_count(v);
    n.header |= FLAG_NEW_LINE;
    block::append_cell(result, &n);
  }
  return result;
}

Status stats_native(const int32_t* refs) {
  bool show = given(refs, 0), info = given(refs, 1);
  if (!show && !info) {
    *stack::base = byte_count(memory_manager::bytes_in_use());
    return done();
  }
  Cell* details = push_memory_details();
  if (info && !show) {
    *stack::base = *details;
    return done();
  }
  // The library presents them: show-memory-stats <details>.
  Cell code = *block::push_only(2);
  Cell fn = word::make(symbol::make("show-memory-stats"));
  block::append_cell(&code, &fn);
  block::append_cell(&code, details);
  Status s = interp::eval_block(&code, false);
  if (s != CODE_NONE) return s;
  set_unset(stack::base);
  return done();
}

Status recycle_native(const int32_t* refs) {
  if (given(refs, 0) || given(refs, 1)) {
    collector::enabled = given(refs, 0);
    set_unset(stack::base);
    return done();
  }
  collector::collect();
  *stack::base = byte_count(memory_manager::bytes_in_use());
  return done();
}

// ---- Time ------------------------------------------------------------------------------

Status wait_native(const int32_t*) {
  Cell* v = arg(0);
  double seconds;
  if (v->is(TYPE_INTEGER)) seconds = v->int_value();
  else if (v->is(TYPE_FLOAT) || v->is(TYPE_TIME)) seconds = v->float_value();
  else error::raise(ERR_SCRIPT, "invalid-arg", v);
  set_none(stack::base);
  platform::sleep(seconds);
  if (gui_do_events) gui_do_events();
  set_none(stack::base);
  return done();
}

enum NowRefinement {
  NOW_YEAR, NOW_MONTH, NOW_DAY, NOW_TIME, NOW_ZONE, NOW_DATE, NOW_WEEKDAY, NOW_YEARDAY,
  NOW_PRECISE, NOW_UTC
};

// The zone offset as the date! form keeps it: whole quarter hours, signed as a whole.
int32_t quarter_hour_offset(int32_t minutes) {
  int32_t magnitude = minutes < 0 ? -minutes : minutes;
  magnitude = magnitude / 60 * 60 + magnitude % 60 / 15 * 15;
  return minutes < 0 ? -magnitude : magnitude;
}

// One reading of the clock: the date, the time of day and the zone all come from it.
struct Now {
  platform::CivilTime date;   // of the local (or UTC) day
  double time_of_day;         // seconds since that day's midnight
  int32_t zone_minutes;
};

Now read_clock(bool utc, bool precise) {
  platform::WallClock clock = platform::wall_clock();
  Now now{};
  if (!utc) now.zone_minutes = quarter_hour_offset(platform::local_offset_minutes(clock.seconds));
  now.date = platform::civil_time(clock.seconds + int64_t{now.zone_minutes} * 60);
  now.time_of_day = now.date.hour * 3600.0 + now.date.minute * 60.0 + now.date.second;
  if (precise) now.time_of_day += static_cast<double>(clock.nanoseconds / 100) / 1e7;
  return now;
}

Status now_native(const int32_t* refs) {
  int fields = 0;
  for (int k = NOW_YEAR; k <= NOW_PRECISE; ++k) fields += given(refs, k);
  if (fields >= 2 && !(given(refs, NOW_TIME) && given(refs, NOW_PRECISE)))
    error::raise(ERR_SCRIPT, "bad-refines");
  Now now = read_clock(given(refs, NOW_UTC), given(refs, NOW_PRECISE));
  Cell* out = stack::base;
  if (given(refs, NOW_YEAR)) set_integer(out, now.date.year);
  else if (given(refs, NOW_MONTH)) set_integer(out, now.date.month);
  else if (given(refs, NOW_DAY)) set_integer(out, now.date.day);
  else if (given(refs, NOW_ZONE)) set_float(out, now.zone_minutes * 60.0, TYPE_TIME);
  else if (given(refs, NOW_TIME)) set_float(out, now.time_of_day, TYPE_TIME);
  else if (given(refs, NOW_WEEKDAY)) set_integer(out, now.date.weekday);
  else if (given(refs, NOW_YEARDAY)) set_integer(out, now.date.yearday);
  else {
    int zone_hours = now.zone_minutes / 60, zone_minutes = now.zone_minutes % 60;
    bool whole = !given(refs, NOW_DATE);
    date::make_at(out, now.date.year, now.date.month, now.date.day,
                  now.time_of_day, zone_hours, zone_minutes, whole);
  }
  return done();
}

// ---- Environment -----------------------------------------------------------------------

// The name of a variable: a string's characters or a word's spelling. False when no
// variable can have it (a NUL character).
bool variable_name(const Cell* var, std::string* out) {
  if (is_any_string(var->type())) {
    *out = string::to_std_string(var);
  } else {
    symbol::Name n = symbol::name(var->data2);
    out->assign(n.bytes, n.length);
  }
  return out->find('\0') == std::string::npos;
}

// Appends text that should be UTF-8; each byte of a bad sequence becomes U+FFFD.
void append_lenient_utf8(NodeId out, const std::string& text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  size_t n = text.size(), k = 0;
  while (k < n) {
    uint8_t b = p[k];
    uint32_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len != 0 && k + len <= n;
    for (uint32_t j = 1; ok && j < len; ++j) {
      if ((p[k + j] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (p[k + j] & 0x3F);
    }
    static const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      string::append_char(out, 0xFFFD);
      ++k;
      continue;
    }
    string::append_char(out, cp);
    k += len;
  }
}

Status set_env_native(const int32_t*) {
  std::string name;
  Cell* value = arg(1);
  if (variable_name(arg(0), &name)) {
    if (value->is(TYPE_NONE)) {
      platform::set_env(name.c_str(), nullptr);
    } else {
      std::string text = string::to_std_string(value);
      if (text.find('\0') == std::string::npos) platform::set_env(name.c_str(), text.c_str());
    }
  }
  *stack::base = *value;
  return done();
}

Status get_env_native(const int32_t*) {
  std::string name;
  std::optional<std::string> value;
  if (variable_name(arg(0), &name)) value = platform::get_env(name.c_str());
  if (!value) {
    set_none(stack::base);
    return done();
  }
  Cell* text = string::make_at(stack::new_cell(), static_cast<uint32_t>(value->size()));
  append_lenient_utf8(text->node(), *value);
  *stack::base = *text;
  return done();
}

// Every variable of the environment as a map of name and value strings. An entry splits at
// the first "=" after its first character (names may start with "=").
Status list_env_native(const int32_t*) {
  Cell* result = map::make_at(stack::new_cell(), 64);
  for (const std::string& entry : platform::list_env()) {
    size_t eq = entry.find('=', 1);
    if (eq == std::string::npos) continue;
    Cell* key = string::make_at(stack::new_cell(), static_cast<uint32_t>(eq));
    append_lenient_utf8(key->node(), entry.substr(0, eq));
    Cell* value = string::make_at(stack::new_cell(), static_cast<uint32_t>(entry.size() - eq));
    append_lenient_utf8(value->node(), entry.substr(eq + 1));
    map::put_value(result, key, value, false);
    stack::pop(2);
  }
  *stack::base = *result;
  return done();
}

// ---- Processes -------------------------------------------------------------------------

// A file!'s local form, or any other string's characters.
bool command_text(const Cell* v, std::string* out) {
  if (v->is(TYPE_FILE)) return simple_io::local_path(v, out);
  *out = string::to_std_string(v);
  return true;
}

// The text as one word of a command line, whatever it holds.
std::string quoted_word(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

// Where a stream of the child goes to or comes from: a file! names a file, a string! holds
// the text.
void describe_stream(const Cell* v, process::Redirect* r) {
  if (v->is(TYPE_FILE)) {
    r->kind = process::Redirect::FILE;
    if (!simple_io::local_path(v, &r->text)) r->text.assign(1, '\0');   // opens nothing
  } else if (v->is(TYPE_BINARY)) {
    r->kind = process::Redirect::BYTES;
    r->text.assign(reinterpret_cast<const char*>(binary::rs_head(v)), binary::rs_length(v));
  } else {
    r->kind = process::Redirect::BYTES;
    r->text = string::to_std_string(v);
  }
}

// Inserts captured output at the target's index: a binary! takes the bytes as they came, a
// string! the text with CR LF read as LF.
void insert_capture(Cell* target, const std::string& bytes) {
  if (bytes.empty()) return;
  if (target->is(TYPE_BINARY)) {
    Cell* captured = binary::load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    binary::insert(target, captured, -1, false, 1, false);
    stack::pop(1);
    return;
  }
  std::string text;
  text.reserve(bytes.size());
  for (size_t k = 0; k < bytes.size(); ++k) {
    if (bytes[k] == '\r' && k + 1 < bytes.size() && bytes[k + 1] == '\n') continue;
    text += bytes[k];
  }
  Cell* captured = string::make_at(stack::new_cell(), static_cast<uint32_t>(text.size()));
  // Bytes that are not UTF-8 keep their value (U+DC80 + byte) and write back unchanged.
  simple_io::append_system_name(captured->node(), text.data(), text.size());
  string::concatenate(target, captured, -1, 0, string::Splice::insert);
  stack::pop(1);
}

enum CallRefinement { CALL_WAIT, CALL_SHOW, CALL_CONSOLE, CALL_SHELL, CALL_INPUT, CALL_OUTPUT, CALL_ERROR };

Status call_native(const int32_t* refs) {
  Cell* cmd = arg(0);
  if (string::length(cmd) == 0) {
    set_integer(stack::base, 0);
    return done();
  }
  if (given(refs, CALL_CONSOLE)) error::raise(ERR_INTERNAL, "not-done");
  process::Request request;
  int64_t result = -1;
  if (command_text(cmd, &request.command)) {
    // A file names one program, spaces and quotes in its name included.
    if (cmd->is(TYPE_FILE)) request.command = quoted_word(request.command);
    request.wait = given(refs, CALL_WAIT);
    // No window opens for a child here, so /show has nothing to force.
    request.shell = given(refs, CALL_SHELL);
    if (given(refs, CALL_INPUT)) describe_stream(arg(refs[CALL_INPUT]), &request.input);
    if (given(refs, CALL_OUTPUT)) describe_stream(arg(refs[CALL_OUTPUT]), &request.output);
    if (given(refs, CALL_ERROR)) describe_stream(arg(refs[CALL_ERROR]), &request.error);
    result = process::run(request);
    if (request.output.kind == process::Redirect::BYTES)
      insert_capture(arg(refs[CALL_OUTPUT]), request.output.text);
    if (request.error.kind == process::Redirect::BYTES)
      insert_capture(arg(refs[CALL_ERROR]), request.error.text);
  }
  set_integer(stack::base, static_cast<int32_t>(result));
  return done();
}

Status browse_native(const int32_t*) {
  Cell* target = arg(0);
  std::string text;
  if (command_text(target, &text)) {
    // A file name that starts like an option must still reach the opener as a name.
    if (target->is(TYPE_FILE) && !text.empty() && text[0] == '-') text.insert(0, "./");
    process::open_with_desktop(text);
  }
  set_unset(stack::base);
  return done();
}

// ---- Files -----------------------------------------------------------------------------

Status size_q_native(const int32_t*) {
  Cell* file = arg(0);
  std::string path;
  int64_t size = -1;
  if (!simple_io::dir_path_q(file) && simple_io::local_path(file, &path)) {
    int fd = simple_io::open(path, simple_io::OPEN_READ);
    if (fd >= 0) {
      size = simple_io::size(fd);
      simple_io::close(fd);
    }
  }
  // Sizes an integer! cannot hold are as unknown as a failed open.
  if (size < 0 || size > 2147483647) set_none(stack::base);
  else set_integer(stack::base, static_cast<int32_t>(size));
  return done();
}

}  // namespace system_natives

void register_system() {
  using namespace system_natives;
  put("stats", stats_native);
  put("recycle", recycle_native);
  put("wait", wait_native);
  put("now", now_native);
  put("set-env", set_env_native);
  put("get-env", get_env_native);
  put("list-env", list_env_native);
  put("call", call_native);
  put("browse", browse_native);
  put("size?", size_q_native);
}

}  // namespace tav::natives
