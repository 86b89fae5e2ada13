// Feeds arbitrary bytes to the scanner in every transcode mode (whole text, one value at a
// time, checking only, structure only; from a binary and, when the bytes are UTF-8, from a
// string) and molds and forms whatever was loaded. A malformed text may be refused with a
// syntax error; a value the scanner made must always mold and form.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/collector.h"
#include "core/errors.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/types.h"
#include "core/unicode.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "runtime.h"
#include "scanner/lexer.h"

namespace {

using namespace tav;   // NOLINT: a test driver

// The scanner makes tag!, email! and ref! values before their datatypes are registered;
// until they are, mold refuses such a value by its (unregistered) type, and that is no
// scanner fault.
bool unregistered_type(const Cell* err) {
  if (error::id_name(err) != "expect-arg") return false;
  const Cell* type = error::field(err, ERROR_ARG2);
  return type->is(TYPE_DATATYPE) && type->data1 < TYPE_TABLE_SIZE && !type_table[type->data1].name;
}

void refused(const char* what) {
  const Cell* err = stack::top - 1;
  if (!err->is(TYPE_ERROR)) {
    std::fprintf(stderr, "a scanned value failed to %s\n", what);
    std::abort();
  }
  if (unregistered_type(err)) return;
  std::fprintf(stderr, "a scanned value failed to %s: %s\n", what, error::form(err).c_str());
  std::abort();
}

// Molds (plain and /all) and forms the block of scanned values.
void must_write(Cell* values) {
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  const char* step = "mold";
  try {
    Cell* kept = stack::push(values);
    Cell* buffer = string::make_at(stack::new_cell(), 64);
    actions::mold_direct(kept, buffer, false, false, false, nullptr, INT_MAX, 0);
    buffer = string::make_at(stack::new_cell(), 64);
    step = "mold/all";
    actions::mold_direct(kept, buffer, false, true, false, nullptr, INT_MAX, 0);
    buffer = string::make_at(stack::new_cell(), 64);
    step = "form";
    actions::form_direct(kept, buffer, nullptr, INT_MAX);
  } catch (const Unwind&) {
    refused(step);
  }
  stack::restore(saved);
}

// One scan; a refused text ends it with a syntax error, which is fine. Answers whether the
// scan finished, with the position it stopped at.
bool scan(const lexer::Request& r, Cell* values, uint32_t* stop) {
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  bool ok = true;
  try {
    lexer::scan_utf8(r, values, stop);
  } catch (const Unwind&) {
    ok = false;
  }
  stack::restore(saved);
  return ok;
}

void scan_bytes(const uint8_t* data, size_t size, lexer::Mode mode, bool one_value) {
  Cell* values = stack::new_cell();
  size_t at = 0;
  // One value at a time walks the text as transcode/next does, until it stops moving.
  do {
    set_none(values);
    lexer::Request r;
    r.text = data + at;
    r.length = size - at;
    r.mode = mode;
    r.one_value = one_value;
    r.count_chars = false;
    uint32_t stop = 0;
    if (!scan(r, values, &stop)) return;
    if (mode == lexer::Mode::load && values->is(TYPE_BLOCK)) must_write(values);
    if (stop == 0) return;
    at += stop;
  } while (one_value && at < size);
}

void scan_text(const uint8_t* data, size_t size) {
  if (unicode::scan_utf8(data, size, false).status != unicode::Utf8Status::ok) return;
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  Cell* values = stack::new_cell();
  set_none(values);
  bool loaded = true;
  try {
    Cell* text = string::push_utf8(reinterpret_cast<const char*>(data), size);
    lexer::scan_string(text, -1, lexer::Mode::load, false, nullptr, values, nullptr);
  } catch (const Unwind&) {
    loaded = false;
  }
  if (loaded && values->is(TYPE_BLOCK)) must_write(values);
  stack::restore(saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    runtime::process_setup(0, nullptr);
    runtime::init();
    ready = true;
  }
  stack::State saved = stack::save();
  for (lexer::Mode mode : {lexer::Mode::load, lexer::Mode::scan, lexer::Mode::prescan}) {
    scan_bytes(data, size, mode, false);
    scan_bytes(data, size, mode, true);
  }
  scan_text(data, size);
  stack::restore(saved);
  // Nothing holds the scanned values any more.
  static unsigned runs = 0;
  if (++runs % 256 == 0) collector::collect();
  return 0;
}
