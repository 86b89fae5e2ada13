// Build-time tool: scans the boot sources and writes them as the boot image.
//
//   tav-bootgen OUTPUT [--with-view] BOOT-SOURCE... --library LIBRARY-SOURCE...
//
// With --with-view the image is the GUI program's: its library includes the view layer's
// sources, and the routines that go into system/view are written with the others.
// The image holds one root value, a block of pairs in source order: the source's name (a
// file!, its path below library/) and its top-level code (a block!, the script header left
// out); the boot sources come first, then the specs of the routines the library binds by
// name (see boot::add_routine_specs), then the library's sources. It is written in
// the compact encoding, uncompressed (see as_image); start-up decodes it into the root block
// and evaluates the code blocks in order. Next to OUTPUT the tool lists the sources, one path
// a line, in boot-sources.txt. Any fault (a missing file, a syntax error, a value with no
// record, a native or action bound where the runtime's lists do not put it) is reported with
// the source's name and the tool exits 1, so a broken source fails the build rather than the
// start-up.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "boot.h"
#include "builtin_lists.h"
#include "datatypes/block.h"
#include "core/errors.h"
#include "runtime.h"
#include "scanner/tavbin.h"
#include "core/stack.h"

namespace tav::bootgen {

// The version byte boot images carry (scripts' streams carry tavbin::VERSION).
constexpr uint8_t IMAGE_VERSION = 1;

struct Job {
  const char* output = nullptr;
  std::vector<const char*> boot_sources;
  std::vector<const char*> library_sources;
  // The image carries the view layer's library: its routines are written too.
  bool with_view = false;
};

[[noreturn]] void fail(const std::string& where, const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "tav-bootgen: %s: %s\n", where.c_str(), why.c_str());
  std::exit(1);
}

// Rewrites an encoder stream as a boot image: only the version byte changes. The image is
// left uncompressed on purpose: unpacking it with the LZ codec cost as many instructions as
// decoding the records themselves (start-up was then no faster than scanning the sources as
// text), while it saved about 10 KB of a binary of more than a megabyte.
// The decoder still reads compressed images (the flags byte says which).
std::vector<uint8_t> as_image(std::vector<uint8_t> stream) {
  stream[6] = IMAGE_VERSION;
  return stream;
}

void write_file(const char* output, const std::vector<uint8_t>& image) {
  std::string tmp = std::string(output) + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) fail(output, "cannot write");
  bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok || std::rename(tmp.c_str(), output) != 0) {
    std::remove(tmp.c_str());
    fail(output, "cannot write");
  }
}

int run(void* p) {
  auto* job = static_cast<Job*>(p);
  runtime::init();
  const char* current = "the boot image";
  stack::mark_try(nullptr);
  try {
    size_t count = job->boot_sources.size() + job->library_sources.size();
    Cell* root = block::make_at(stack::new_cell(), static_cast<int32_t>(count * 2));
    std::string manifest;
    auto add = [&](const char* path) {
      current = path;
      if (!boot::add_text_source(root, path)) fail(path, "cannot open");
      manifest += std::string(path) + "\n";
    };
    for (const char* path : job->boot_sources) add(path);
    current = "the boot sources";
    std::string faults = check_builtin_lists(root);
    if (!faults.empty()) fail(current, "they disagree with the runtime's lists:\n" + faults);
    boot::add_routine_specs(root, job->with_view);
    manifest += std::string(job->with_view ? boot::VIEW_ROUTINES_MARKER : boot::ROUTINES_MARKER) + "\n";
    for (const char* path : job->library_sources) add(path);
    current = job->output;
    write_file(job->output, as_image(tavbin::encode_bytes(root, true)));
    // The same sources in the same order, for the text road that start-up takes instead of
    // the image when asked to (it measures what the image saves).
    std::string out = job->output;
    size_t slash = out.rfind('/');
    std::string list = (slash == std::string::npos ? "" : out.substr(0, slash + 1)) + "boot-sources.txt";
    write_file(list.c_str(), std::vector<uint8_t>(manifest.begin(), manifest.end()));
  } catch (const Unwind& u) {
    std::string why = u.code == CODE_ERROR ? error::form(stack::top - 1) : "unwound";
    fail(current, why);
  }
  return 0;
}

}  // namespace tav::bootgen

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tav-bootgen OUTPUT [--with-view] BOOT-SOURCE... --library LIBRARY-SOURCE...\n");
    return 2;
  }
  tav::bootgen::Job job;
  job.output = argv[1];
  bool library = false;
  for (int i = 2; i < argc; i++) {
    if (std::strcmp(argv[i], "--library") == 0) library = true;
    else if (std::strcmp(argv[i], "--with-view") == 0) job.with_view = true;
    else (library ? job.library_sources : job.boot_sources).push_back(argv[i]);
  }
  tav::runtime::process_setup(argc, argv);
  return tav::runtime::run_on_large_stack(tav::bootgen::run, &job);
}
