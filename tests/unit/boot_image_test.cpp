#include <gtest/gtest.h>

#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "boot.h"
#include "datatypes/string.h"
#include "core/memory.h"
#include "scanner/lexer.h"
#include "scanner/tavbin.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "test_runtime.h"

extern "C" {
extern const uint8_t tav_boot_image[];
extern const size_t tav_boot_image_size;
}
extern char** environ;

namespace tav::boot_image_test {

// Names in the image are paths below library/.
std::string read_source(const std::string& name) {
  std::ifstream in(std::string(TAV_LIBRARY_DIR) + "/" + name, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The boot sources and the library's Tav sources.
std::set<std::string> sources_on_disk() {
  std::set<std::string> names;
  for (std::string sub : {"", "boot/"}) {
    DIR* dir = opendir((std::string(TAV_LIBRARY_DIR) + "/" + sub).c_str());
    if (!dir) continue;
    while (dirent* e = readdir(dir)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".tav") == 0) names.insert(sub + n);
    }
    closedir(dir);
  }
  return names;
}

// Compares two values cell by cell, down through every series: type and header bits (the
// new-line marker among them), heads, the words' bindings and the raw series contents.
void expect_same(const Cell& decoded, const Cell& scanned, const std::string& where) {
  ASSERT_EQ(decoded.header, scanned.header) << where;
  TypeId t = decoded.type();
  if (is_any_block(t) || is_any_string(t) || t == TYPE_BINARY) {
    EXPECT_EQ(decoded.data1, scanned.data1) << where << ": head";
    SeriesBuffer* a = node_buffer(decoded.data2);
    SeriesBuffer* b = node_buffer(scanned.data2);
    ASSERT_EQ(a->count(), b->count()) << where << ": length";
    if (!is_any_block(t)) {
      ASSERT_EQ(a->unit(), b->unit()) << where;
      EXPECT_EQ(std::memcmp(a->head_ptr(), b->head_ptr(), size_t(a->count()) * a->unit()), 0)
          << where;
      return;
    }
    for (uint32_t i = 0; i < a->count(); i++) {
      Cell x = node_buffer(decoded.data2)->cells()[i];
      Cell y = node_buffer(scanned.data2)->cells()[i];
      expect_same(x, y, where + "/" + std::to_string(i + 1));
      if (::testing::Test::HasFatalFailure()) return;
    }
    return;
  }
  EXPECT_EQ(decoded.data1, scanned.data1) << where;
  EXPECT_EQ(decoded.data2, scanned.data2) << where;
  EXPECT_EQ(decoded.data3, scanned.data3) << where;
}

// Uncompressed: unpacking cost start-up more than the bytes it saved.
TEST(BootImage, IsCompactUncompressedTavbin) {
  ASSERT_GE(tav_boot_image_size, 8u);
  EXPECT_EQ(std::memcmp(tav_boot_image, tavbin::MAGIC, 6), 0);
  EXPECT_EQ(tav_boot_image[6], 1);
  uint8_t flags = tav_boot_image[7];
  EXPECT_TRUE(flags & tavbin::FLAG_COMPACT);
  EXPECT_FALSE(flags & tavbin::FLAG_COMPRESSED);
}

// The image start-up decoded holds every boot source, and each code block is exactly what
// the scanner makes of that source without its header.
TEST(BootImage, DecodesToTheScannedSources) {
  testing::ensure_runtime();
  ASSERT_NE(boot::image(), nullptr);
  // Start-up has already run the image's code, which rebinds the words of the blocks that
  // `context` and `make` take: compare a fresh decode of the embedded bytes instead.
  stack::State before = stack::save();
  Cell* holder = set_none(stack::new_cell());
  *holder = make_cell(TYPE_BLOCK, 0, alloc::new_cells(16));
  uint32_t first =
      tavbin::decode(tav_boot_image, static_cast<int64_t>(tav_boot_image_size), holder, false);
  ASSERT_EQ(node_buffer(holder->data2)->count(), first + 1);
  Cell* image = stack::push(&node_buffer(holder->data2)->cells()[first]);
  ASSERT_TRUE(image->is(TYPE_BLOCK));
  SeriesBuffer* buf = node_buffer(image->data2);
  ASSERT_EQ(buf->count() % 2, 0u);

  std::set<std::string> in_image;
  for (uint32_t i = 0; i < node_buffer(image->data2)->count(); i += 2) {
    Cell name_cell = node_buffer(image->data2)->cells()[i];
    Cell code = node_buffer(image->data2)->cells()[i + 1];
    // The routines' specs sit between the boot sources and the library's.
    if (name_cell.is(TYPE_WORD)) {
      EXPECT_STREQ(symbol::name(name_cell.data2).bytes, boot::ROUTINES_MARKER);
      EXPECT_TRUE(code.is(TYPE_BLOCK));
      continue;
    }
    ASSERT_TRUE(name_cell.is(TYPE_FILE));
    ASSERT_TRUE(code.is(TYPE_BLOCK));
    std::string name = string::to_std_string(&name_cell);
    in_image.insert(name);

    std::string text = read_source(name);
    ASSERT_FALSE(text.empty()) << name;
    Cell* scanned = set_none(stack::new_cell());
    lexer::transcode(text, scanned);
    // The sources open with a header that the image leaves out.
    SeriesBuffer* s = node_buffer(scanned->data2);
    ASSERT_GE(s->count(), 2u);
    ASSERT_TRUE(s->cells()[0].is(TYPE_WORD));
    EXPECT_STREQ(symbol::name(s->cells()[0].data2).bytes, "Tav");
    ASSERT_TRUE(s->cells()[1].is(TYPE_BLOCK));
    NodeId rest = alloc::new_cells(s->count() - 2);
    for (uint32_t k = 2; k < node_buffer(scanned->data2)->count(); k++)
      *series::buffer_new_tail_cell(rest) = node_buffer(scanned->data2)->cells()[k];
    expect_same(code, make_cell(TYPE_BLOCK, 0, rest), name);
  }
  stack::restore(before);
  // A source added to the directory but not to the build's list would never run.
  EXPECT_EQ(in_image, sources_on_disk());
}

// A damaged image ends start-up with a message and status 1 (the child links one).
TEST(BootImage, CorruptImageEndsStartUp) {
  std::string dir;
  if (const char* d = std::getenv("TAV_TEST_BIN")) {
    dir = d;
  } else {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    dir = std::string(self, static_cast<size_t>(n));
    dir.resize(dir.rfind('/'));
  }
  std::string program = dir + "/corrupt_boot_child";
  int err_pipe[2];
  ASSERT_EQ(pipe(err_pipe), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  char* argv[] = {program.data(), nullptr};
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(err_pipe[1]);
  ASSERT_EQ(spawned, 0);
  std::string err;
  char chunk[4096];
  ssize_t n;
  while ((n = read(err_pipe[0], chunk, sizeof chunk)) > 0) err.append(chunk, size_t(n));
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(err, "Error: Tavbin compressed data corrupted!\n");
}

}  // namespace tav::boot_image_test
