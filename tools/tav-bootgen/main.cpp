// Build-time tool: scans the boot sources and writes them as the boot image.
//
//   tav-bootgen OUTPUT SOURCE...
//
// The image holds one root value, a block of pairs in source order: the source's file name
// (a file!) and its top-level code (a block!, the script header left out). It is written in
// the compact encoding and compressed when that makes it smaller; start-up decodes it into
// the root block and evaluates the code blocks in order. Any fault (a missing file, a syntax
// error, a value with no record) is reported with the source's name and the tool exits 1,
// so a broken source fails the build rather than the start-up.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "errors.h"
#include "memory.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "scanner/lz_codec.h"
#include "scanner/tavbin.h"
#include "stack.h"
#include "symbols.h"

namespace tav::bootgen {

// The version byte boot images carry (scripts' streams carry tavbin::VERSION).
constexpr uint8_t IMAGE_VERSION = 1;

struct Job {
  const char* output = nullptr;
  std::vector<const char*> sources;
};

[[noreturn]] void fail(const std::string& where, const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "tav-bootgen: %s: %s\n", where.c_str(), why.c_str());
  std::exit(1);
}

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot open");
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

const char* base_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// Cells of the scanned text from which the code starts: a header (the word Tav and a block)
// is left out.
int32_t code_start(const Cell* scanned) {
  SeriesBuffer* buf = node_buffer(scanned->data2);
  if (buf->count() < 2) return 0;
  const Cell* first = buf->cells();
  if (!first[0].is(TYPE_WORD) || !first[1].is(TYPE_BLOCK)) return 0;
  symbol::Name n = symbol::name(first[0].data2);
  return n.length == 3 && strncasecmp(n.bytes, "tav", 3) == 0 ? 2 : 0;
}

// Appends the pair for one source to the image's root block.
void add_source(Cell* root, const char* path) {
  std::string text = read_file(path);
  Cell* scanned = set_none(stack::new_cell());
  lexer::transcode(text, scanned);
  int32_t from = code_start(scanned);
  int32_t count = static_cast<int32_t>(node_buffer(scanned->data2)->count()) - from;
  Cell* code = set_none(stack::new_cell());
  block::copy_cells(scanned, from, count, false, code);

  const char* name = base_name(path);
  Cell* file = string::load_new(reinterpret_cast<const uint8_t*>(name), std::strlen(name),
                                string::ENCODING_UTF8);
  file->set_type(TYPE_FILE);
  block::append_cell(root, file);
  block::append_cell(root, code);
}

// Rewrites an encoder stream as a boot image: the image's version byte, and everything after
// the flags byte compressed when the codec can make it smaller.
std::vector<uint8_t> as_image(std::vector<uint8_t> stream) {
  constexpr size_t HEAD = 8;   // magic, version, flags
  stream[6] = IMAGE_VERSION;
  size_t n = stream.size() - HEAD;
  std::vector<uint8_t> packed(n);
  int64_t size = lz::compress(stream.data() + HEAD, n, packed.data());
  if (size < 0) return stream;
  std::vector<uint8_t> image(stream.begin(), stream.begin() + HEAD);
  image[7] |= tavbin::FLAG_COMPRESSED;
  image.insert(image.end(), packed.begin(), packed.begin() + size);
  return image;
}

void write_image(const char* output, const std::vector<uint8_t>& image) {
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
    Cell* root = block::make_at(stack::new_cell(), static_cast<int32_t>(job->sources.size() * 2));
    for (const char* path : job->sources) {
      current = path;
      add_source(root, path);
    }
    current = job->output;
    write_image(job->output, as_image(tavbin::encode_bytes(root, true)));
  } catch (const Unwind& u) {
    std::string why = u.code == CODE_ERROR ? error::form(stack::top - 1) : "unwound";
    fail(current, why);
  }
  return 0;
}

}  // namespace tav::bootgen

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tav-bootgen OUTPUT SOURCE...\n");
    return 2;
  }
  tav::bootgen::Job job;
  job.output = argv[1];
  for (int i = 2; i < argc; i++) job.sources.push_back(argv[i]);
  tav::runtime::process_setup(argc, argv);
  return tav::runtime::run_on_large_stack(tav::bootgen::run, &job);
}
