#include "boot.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <strings.h>

#include "collector.h"
#include "datatypes/native.h"
#include "errors.h"
#include "evaluator/interpreter.h"
#include "memory.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "stack.h"
#include "symbols.h"
#include "words.h"

namespace tav::boot {

namespace boot_detail {

// The boot sources make every value with `make`, including the action `make` itself. Until
// that line runs, the word holds a plain action 1 with a two-argument spec.
void bind_first_make() {
  Cell* spec = set_none(stack::new_cell());
  lexer::transcode("[type spec] 1", spec);
  Cell proto = make_cell(TYPE_ACTION);
  Cell value = *native_type::make(&proto, spec, TYPE_ACTION);
  Cell word = word::make(symbol::make("make"));
  interp::set_word(&word, &value);
  stack::top = spec;
}

// A source opens with its header, the word Tav and a block: both are skipped.
void skip_header(Cell* code) {
  SeriesBuffer* buf = node_buffer(code->node());
  if (buf->count() < code->index() + 2) return;
  const Cell* first = buf->cells() + code->index();
  if (!first[0].is(TYPE_WORD) || !first[1].is(TYPE_BLOCK)) return;
  symbol::Name n = symbol::name(first[0].data2);
  if (n.length == 3 && strncasecmp(n.bytes, "tav", 3) == 0) code->data1 += 2;
}

[[noreturn]] void fail(const char* source, const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "*** Start-up failed in the boot source %s\n%s\n", source, why.c_str());
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace boot_detail

void evaluate(const Source& source) {
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(std::string_view(source.text, source.length), code);
  boot_detail::skip_header(code);
  Cell block = *code;
  Status s = interp::eval_block(&block, false);
  if (s != CODE_NONE) boot_detail::fail(source.name, "break, return or throw at top level");
  stack::top = code;
}

void run_sources() {
  stack::State saved = stack::save();
  const char* current = "the boot set-up";
  stack::mark_try(nullptr);
  try {
    boot_detail::bind_first_make();
    for (size_t i = 0; i < source_count; ++i) {
      current = sources[i].name;
      evaluate(sources[i]);
    }
  } catch (const Unwind& u) {
    std::string why = u.code == CODE_ERROR ? error::form(stack::top - 1) : "unwound";
    boot_detail::fail(current, why);
  }
  stack::restore(saved);
}

}  // namespace tav::boot

namespace tav::runtime {

void run_boot_code() {
  collector::enabled = true;
  collecting_words = false;
  boot::run_sources();
}

}  // namespace tav::runtime
