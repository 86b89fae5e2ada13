// tav: runs a script with the GUI available (`tav script.tav`, or `tav -e "text"`).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/stack.h"
#include "runtime.h"
#include "tools/runner/runner.h"
#include "tools/tav-eval/table.h"
#include "view/backend/qt/message_box.h"
#include "view/binding.h"

namespace {

struct Options {
  const char* file = nullptr;
  const char* text = nullptr;
  const char* table = nullptr;
};

tav::stack::UncaughtHandler print_uncaught = nullptr;

// An error nothing caught ends the program: printed as always, then shown in the error box.
void report_uncaught(const tav::Cell* err) {
  if (print_uncaught) print_uncaught(err);
  std::string text;
  tav::error::form_for_console(
      err, [](const char* b, size_t n, void* out) { static_cast<std::string*>(out)->append(b, n); },
      &text);
  tav::gui::error_box("Tav Error", text);
}

int run(void* p) {
  auto* opts = static_cast<Options*>(p);
  // The hooks go in before the boot code runs: building system/view starts the GUI.
  tav::runner::init();
  print_uncaught = tav::stack::uncaught_handler;
  tav::stack::uncaught_handler = report_uncaught;
  tav::binding::install();
  tav::runner::boot();
  if (opts->table) {
    int status = tav::table::run(opts->table);
    std::fflush(stdout);
    return status;
  }
  if (opts->file) return tav::runner::run_file(opts->file);
  if (opts->text) return tav::runner::run_text(opts->text);
  std::fputs("usage: tav script.tav | tav -e text | tav --table file\n", stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A pipe reading the output (a test, a pager) sees each line as it is printed, not when
  // a block of them fills up or the program ends.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options opts;
  int script = 0;
  for (int i = 1; i < argc && !script; i++) {
    if (std::strcmp(argv[i], "-e") == 0 && i + 1 < argc) {
      opts.text = argv[++i];
    } else if (std::strcmp(argv[i], "--table") == 0 && i + 1 < argc) {
      // View-level tables, in the language tables' format (tests/gui/tables).
      opts.table = argv[++i];
    } else if (!opts.file && !opts.text) {
      // What follows the script is its own.
      opts.file = argv[i];
      script = i;
    }
  }
  return tav::runner::launch(argc, argv, script, run, &opts);
}
