// tav: the graphical console. With no argument it opens for typing; with a script (and its
// arguments) it runs it as the console runs one. `-e text` and `--table file` are for tests.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/object.h"
#include "evaluator/interpreter.h"
#include "runtime.h"
#include "tools/runner/runner.h"
#include "tools/tav-eval/table.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/message_box.h"
#include "view/binding.h"

namespace {

using tav::Cell;
using tav::TYPE_OBJECT;
using tav::is_true;
namespace word = tav::word;
namespace symbol = tav::symbol;
namespace object = tav::object;

struct Options {
  const char* text = nullptr;
  const char* table = nullptr;
};

// The word gui-console-ctx; its value is looked up at each use, as the global context's
// cells move when it grows.
Cell console_word;
bool console_known = false;

const Cell* field_of(const Cell* obj, const char* name) {
  if (!obj || !obj->is(TYPE_OBJECT)) return nullptr;
  Cell w = word::make(symbol::make(name));
  if (object::word_index(obj, &w) < 0) return nullptr;
  return object::word_value_cell(obj, &w);
}

// A console window nobody has seen shows nothing: until it is shown, what is printed also
// goes to standard output, where a shell or a test reads it.
bool console_unseen() {
  if (!console_known) return true;
  const Cell* ctx = tav::interp::word_value_cell(&console_word);
  const Cell* visible = field_of(field_of(ctx, "win"), "visible?");
  return !visible || !is_true(visible);
}

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
  if (opts->text) return tav::runner::run_text(opts->text);
  console_word = *tav::word::load("gui-console-ctx");
  console_known = true;
  tav::runner::set_stdout_filter(console_unseen);
  // The console returns when a script it ran leaves nothing to wait for.
  return tav::runner::run_text("gui-console-ctx/launch");
}

}  // namespace

int main(int argc, char** argv) {
  // A pipe reading the output (a test, a pager) sees each line as it is printed, not when
  // a block of them fills up or the program ends.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  tav::gui::prepare_fonts();
  Options opts;
  int script = 0;
  if (argc > 2 && std::strcmp(argv[1], "-e") == 0) {
    opts.text = argv[2];
    script = 2;
  } else if (argc > 2 && std::strcmp(argv[1], "--table") == 0) {
    // View-level tables, in the language tables' format (tests/gui/tables).
    opts.table = argv[2];
    script = 2;
  }
  // The console reads the whole command line itself: its options, the script, its arguments.
  return tav::runner::launch(argc, argv, script, run, &opts);
}
