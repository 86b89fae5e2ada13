#include "tools/runner/runner.h"

#include <strings.h>

#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/output.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "datatypes/string.h"
#include "evaluator/interpreter.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "services/simple_io.h"

namespace tav::runner {

namespace {

void print_uncaught(const Cell* err) {
  std::fflush(stdout);
  error::form_for_console(
      err, [](const char* b, size_t n, void*) { std::fwrite(b, 1, n, stdout); }, nullptr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// print and prin hand their text here: UTF-8 on standard output.
void print_to_stdout(const Cell* text, bool new_line) {
  std::string bytes = string::to_std_string(text);
  if (new_line) bytes += '\n';
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// A script may open with its header: the word Tav followed by a block.
void skip_header(Cell* code) {
  SeriesBuffer* buf = cell_buffer(code);
  if (buf->count() < 2) return;
  const Cell* first = buf->cells();
  if (!first[0].is(TYPE_WORD) || !first[1].is(TYPE_BLOCK)) return;
  symbol::Name n = symbol::name(first[0].data2);
  if (n.length == 3 && strncasecmp(n.bytes, "tav", 3) == 0) code->data1 += 2;
}

int evaluate(const std::string& text, bool script) {
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(text, code);
  if (script) skip_header(code);
  interp::eval_block(code, false);
  std::fflush(stdout);
  return 0;
}

}  // namespace

void init() {
  runtime::init();
  stack::uncaught_handler = print_uncaught;
  dyn_print::add(print_to_stdout, nullptr);
}

void boot() { runtime::run_boot_code(); }

void start() {
  init();
  boot();
}

int run_file(const char* path) {
  std::string text;
  if (!simple_io::read_whole(path, &text)) {
    std::fprintf(stderr, "*** Access Error: cannot open: %s\n", path);
    return 1;
  }
  return evaluate(text, true);
}

int run_text(const char* text) { return evaluate(text, false); }

}  // namespace tav::runner
