// Headless runner: evaluates a script file or -e text, with print output on stdout.
// Used by the language tests; an uncaught error prints as the console prints it and the
// runner exits non-zero.
#include <cstdio>
#include <cstring>
#include <string>

#include "datatypes/string.h"
#include "errors.h"
#include "output.h"
#include "runtime.h"
#include "stack.h"

namespace {

struct Options {
  const char* file = nullptr;
  const char* text = nullptr;
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

int run(void* p) {
  auto* opts = static_cast<Options*>(p);
  tav::runtime::init();
  tav::stack::uncaught_handler = print_uncaught;
  tav::dyn_print::add(print_to_stdout, nullptr);
  tav::runtime::run_boot_code();
  (void)opts;
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "-e") == 0 && i + 1 < argc) {
      opts.text = argv[++i];
    } else if (!opts.file && !opts.text) {
      opts.file = argv[i];
    }
  }
  tav::runtime::process_setup(argc, argv);
  return tav::runtime::run_on_large_stack(run, &opts);
}
