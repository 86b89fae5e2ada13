// Headless runner: evaluates a script file or -e text, with print output on stdout.
// Used by the language tests; an uncaught error prints as the console prints it and the
// runner exits non-zero.
#include <cstdio>
#include <cstring>
#include <vector>

#include "boot.h"
#include "evaluator/interpreter.h"
#include "runtime.h"
#include "table.h"
#include "tools/runner/runner.h"

namespace {

struct Options {
  const char* file = nullptr;
  const char* text = nullptr;
  const char* table = nullptr;
  tav::table::Check check = tav::table::Check::answers;
  int tiers = -1;   // 0 off, 1 on, -1 as the environment says
};

int run(void* p) {
  auto* opts = static_cast<Options*>(p);
  tav::runner::init();
  if (opts->tiers >= 0) tav::interp::set_tiers_enabled(opts->tiers == 1);
  tav::runner::boot();
  if (opts->table) {
    int status = tav::table::run(opts->table, opts->check);
    std::fflush(stdout);
    return status;
  }
  if (opts->file) return tav::runner::run_file(opts->file);
  return tav::runner::run_text(opts->text ? opts->text : "");
}

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  int script = 0;
  for (int i = 1; i < argc && !script; i++) {
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
      // What follows the script is its own.
      opts.file = argv[i];
      script = i;
    }
  }
  return tav::runner::launch(argc, argv, script, run, &opts);
}
