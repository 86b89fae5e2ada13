#include "core/system_object.h"

#include <cstring>
#include <ctime>

#include "core/context.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/date.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/word.h"

namespace tav::system_object {

Cell* field(std::initializer_list<const char*> names) {
  if (context::global == 0) return nullptr;
  int32_t pos = context::find_symbol(context::global, symbols::system_, true);
  if (pos < 0) return nullptr;
  Cell* value = context::slot_value_cell(context::global, static_cast<uint32_t>(pos));
  for (const char* name : names) {
    if (!value->is(TYPE_OBJECT)) return nullptr;
    NodeId ctx = value->data1;
    pos = context::find_symbol(ctx, symbol::make(name), true);
    if (pos < 0) return nullptr;
    value = context::slot_value_cell(ctx, static_cast<uint32_t>(pos));
  }
  return value;
}

namespace {

// A date! in UTC from seconds since 1970.
Cell utc_date(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  Cell c;
  date::make_at_hms(&c, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                    tm.tm_sec, 0);
  return c;
}

// The source-control record as an object, pushed on the stack.
Cell* push_git(const BuildRecord& r) {
  Cell* obj = object::make_at(stack::new_cell(), 5);
  NodeId ctx = object::context_of(obj);
  Cell v = make_cell(TYPE_NONE);
  if (*r.branch) {
    Cell* s = string::load_new(reinterpret_cast<const uint8_t*>(r.branch), std::strlen(r.branch),
                               string::ENCODING_UTF8);
    v = *s;
  }
  context::put(ctx, symbol::make("branch"), &v);
  v = make_cell(TYPE_NONE);
  if (*r.tag) issue::make_at(&v, r.tag);
  context::put(ctx, symbol::make("tag"), &v);
  set_integer(&v, r.ahead);
  context::put(ctx, symbol::make("ahead"), &v);
  v = utc_date(r.committed);
  context::put(ctx, symbol::make("date"), &v);
  issue::make_at(&v, r.commit);
  context::put(ctx, symbol::make("commit"), &v);
  stack::top = obj + 1;
  return obj;
}

}  // namespace

void fill_build_record(const BuildRecord& r) {
  // A runtime without the library (the boot-image writer) has no system object to fill.
  if (!field({"build"})) return;
  stack::State saved = stack::save();
  Cell git = make_cell(TYPE_NONE);
  Cell* held = nullptr;
  if (r.has_git) {
    held = push_git(r);
    git = *held;
  }
  if (Cell* date = field({"build", "date"})) *date = utc_date(r.built);
  if (Cell* slot = field({"build", "git"})) *slot = git;
  stack::restore(saved);
}

}  // namespace tav::system_object
