// The driver shared by the fuzz targets of library code written in Tav (the codecs): starts
// the runtime with its library once, defines a checking function from Tav text, and calls it
// with each input that is UTF-8 as a string!. The checking function catches the errors its
// code may raise and raises any other itself; an error reaching the driver is a finding.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/collector.h"
#include "core/errors.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/unicode.h"
#include "datatypes/block.h"
#include "evaluator/interpreter.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "tools/runner/runner.h"

namespace library_fuzz {

using namespace tav;   // NOLINT: a test driver

inline void fail_with_error(const char* what) {
  const Cell* err = stack::top - 1;
  if (err->is(TYPE_ERROR)) std::fprintf(stderr, "%s: %s\n", what, error::form(err).c_str());
  else std::fprintf(stderr, "%s\n", what);
  std::abort();
}

inline void evaluate(const Cell* code, const char* what) {
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    interp::eval_block(code, false);
  } catch (const Unwind&) {
    fail_with_error(what);
  }
  stack::restore(saved);
}

// definitions: Tav text that defines the function `checker` names.
inline int run_one(const uint8_t* data, size_t size, const char* definitions,
                   const char* checker) {
  static bool ready = false;
  if (!ready) {
    runtime::process_setup(0, nullptr);
    runner::init();
    runner::boot();
    Cell* code = set_none(stack::new_cell());
    lexer::transcode(definitions, code);
    evaluate(code, "the checking function did not load");
    stack::top = code;
    ready = true;
  }
  if (unicode::scan_utf8(data, size, false).status != unicode::Utf8Status::ok) return 0;
  stack::State saved = stack::save();
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(checker, code);
  Cell* text = string::push_utf8(reinterpret_cast<const char*>(data), size);
  block::append_cell(code, text);
  evaluate(code, "finding");
  stack::restore(saved);
  static unsigned runs = 0;
  if (++runs % 256 == 0) collector::collect();
  return 0;
}

}  // namespace library_fuzz
