// Headless runner: evaluates a script file or -e text, with print output on stdout.
// Used by the language tests; an uncaught error prints as the console prints it and the
// runner exits non-zero.
#include <cstdio>
#include <cstring>

#include "boot.h"
#include "runtime.h"
#include "table.h"
#include "tools/runner/runner.h"

namespace {

struct Options {
  const char* file = nullptr;
  const char* text = nullptr;
  const char* table = nullptr;
};

int run(void* p) {
  auto* opts = static_cast<Options*>(p);
  tav::runner::start();
  if (opts->table) {
    int status = tav::table::run(opts->table);
    std::fflush(stdout);
    return status;
  }
  if (opts->file) return tav::runner::run_file(opts->file);
  return tav::runner::run_text(opts->text ? opts->text : "");
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
    } else if (!opts.file && !opts.text) {
      opts.file = argv[i];
    }
  }
  tav::runtime::process_setup(argc, argv);
  return tav::runtime::run_on_large_stack(run, &opts);
}
