// Headless runner: evaluates a script file or -e text, with print output on stdout.
// Used by the language tests; an uncaught error prints as the console prints it and the
// runner exits non-zero.
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>

#include "boot.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "core/output.h"
#include "runtime.h"
#include "evaluator/interpreter.h"
#include "scanner/lexer.h"
#include "services/simple_io.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "table.h"

namespace {

struct Options {
  const char* file = nullptr;
  const char* text = nullptr;
  const char* table = nullptr;
  tav::table::Check check = tav::table::Check::answers;
  int tiers = -1;   // 0 off, 1 on, -1 as the environment says
};

void print_uncaught(const tav::Cell* err) {
  std::fflush(stdout);
  tav::error::form_for_console(
      err, [](const char* b, size_t n, void*) { std::fwrite(b, 1, n, stdout); }, nullptr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// print and prin hand their text here: UTF-8 on standard output.
void print_to_stdout(const tav::Cell* text, bool new_line) {
  std::string bytes = tav::string::to_std_string(text);
  if (new_line) bytes += '\n';
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// A script may open with its header: the word Tav followed by a block.
void skip_header(tav::Cell* code) {
  using namespace tav;
  SeriesBuffer* buf = cell_buffer(code);
  if (buf->count() < 2) return;
  const Cell* first = buf->cells();
  if (!first[0].is(TYPE_WORD) || !first[1].is(TYPE_BLOCK)) return;
  symbol::Name n = symbol::name(first[0].data2);
  if (n.length == 3 && strncasecmp(n.bytes, "tav", 3) == 0) code->data1 += 2;
}

int run(void* p) {
  using namespace tav;
  auto* opts = static_cast<Options*>(p);
  runtime::init();
  stack::uncaught_handler = print_uncaught;
  dyn_print::add(print_to_stdout, nullptr);
  if (opts->tiers >= 0) interp::set_tiers_enabled(opts->tiers == 1);
  runtime::run_boot_code();
  if (opts->table) {
    int status = table::run(opts->table, opts->check);
    std::fflush(stdout);
    return status;
  }
  std::string text;
  if (opts->file && !tav::simple_io::read_whole(opts->file, &text)) {
    std::fprintf(stderr, "*** Access Error: cannot open: %s\n", opts->file);
    return 1;
  }
  if (opts->text) text = opts->text;
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(text, code);
  if (opts->file) skip_header(code);
  interp::eval_block(code, false);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "-e") == 0 && i + 1 < argc) {
      opts.text = argv[++i];
    } else if (std::strcmp(argv[i], "--boot-text") == 0 && i + 1 < argc) {
      // Not for users: start from the boot sources a list names, scanned as text, instead
      // of the embedded image (bench/boot-image.sh compares the two).
      tav::boot::text_manifest = argv[++i];
    } else if (std::strcmp(argv[i], "--table") == 0 && i + 1 < argc) {
      opts.table = argv[++i];
    } else if (std::strcmp(argv[i], "--tiers") == 0 && i + 1 < argc) {
      // off: only the general interpreter runs (as TAV_TIERS=off does).
      const char* v = argv[++i];
      if (std::strcmp(v, "off") != 0 && std::strcmp(v, "on") != 0) {
        std::fprintf(stderr, "--tiers takes on or off\n");
        return 2;
      }
      opts.tiers = std::strcmp(v, "on") == 0;
    } else if (std::strcmp(argv[i], "--against-general") == 0) {
      // With --table: each line also runs with only the general interpreter, which must
      // answer the same, its error reports included.
      opts.check = tav::table::Check::general_road;
    } else if (std::strcmp(argv[i], "--wrapped") == 0) {
      // With --table: each case also runs as the body of a function called three times.
      opts.check = tav::table::Check::wrapped;
    } else if (!opts.file && !opts.text) {
      opts.file = argv[i];
    }
  }
  tav::runtime::process_setup(argc, argv);
  return tav::runtime::run_on_large_stack(run, &opts);
}
