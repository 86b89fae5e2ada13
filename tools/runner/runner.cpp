#include "tools/runner/runner.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/output.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/interpreter.h"
#include "runtime.h"
#include "scanner/lexer.h"

namespace tav::runner {

namespace {

void print_uncaught(const Cell* err) {
  std::fflush(stdout);
  error::form_for_console(
      err, [](const char* b, size_t n, void*) { std::fwrite(b, 1, n, stdout); }, nullptr);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool (*stdout_wanted)() = nullptr;

// print and prin hand their text here: UTF-8 on standard output.
void print_to_stdout(const Cell* text, bool new_line) {
  if (stdout_wanted && !stdout_wanted()) return;
  std::string bytes = string::to_std_string(text);
  if (new_line) bytes += '\n';
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

int evaluate(const std::string& text) {
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(text, code);
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
  // The name goes into the code molded, so any name reads back as it was given.
  Cell* name = string::push_utf8(path);
  Cell* molded = string::make_at(stack::new_cell(), 64);
  actions::mold_direct(name, molded, false, false, false, nullptr, 0x7FFFFFFF, 0);
  std::string code = "system/options/script: to-tav-file " + string::to_std_string(molded) +
                     " do-file system/options/script none system/script/args";
  return evaluate(code);
}

int launch(int argc, char** argv, int script, int (*fn)(void*), void* arg) {
  std::vector<char*> args(argv, argv + argc + 1);
  if (script) {
    args = {argv[0]};
    for (int i = script + 1; argv[i]; i++) args.push_back(argv[i]);
    args.push_back(nullptr);
  }
  runtime::process_setup(static_cast<int>(args.size()) - 1, args.data());
  return runtime::run_on_large_stack(fn, arg);
}

int run_text(const char* text) { return evaluate(text); }

void set_stdout_filter(bool (*wanted)()) { stdout_wanted = wanted; }

}  // namespace tav::runner
