#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/stack.h"
#include "datatypes/block.h"
#include "datatypes/routine.h"
#include "scanner/lexer.h"
#include "scanner/tavbin.h"
#include "services/os_info.h"
#include "test_runtime.h"

extern char** environ;

namespace tav::library_test {

struct Described {
  const char* machine;
  const char* release;
  const char* os_release;
  const char* name;
  const char* arch;
  int version[3];
  int build;
};

TEST(OsInfo, DescribesKernelAndDistribution) {
  const Described cases[] = {
      {"x86_64", "6.1.0-18-amd64", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
       "Linux Debian GNU/Linux 12 (bookworm)", "x86-64", {6, 1, 0}, 18},
      {"aarch64", "5.15.0", "PRETTY_NAME='Alpine Linux v3.19'\n", "Linux Alpine Linux v3.19",
       "ARM64", {5, 15, 0}, 0},
      {"i686", "4.19.300-1015-aws", "", "Linux", "x86-32", {4, 19, 255}, 1015},
      {"riscv64", "6.8", "ID=x\n", "Linux", "Unknown", {6, 8, 0}, 0},
  };
  for (const Described& c : cases) {
    os::Info info = os::describe(c.machine, c.release, c.os_release);
    EXPECT_EQ(info.name, c.name) << c.release;
    EXPECT_EQ(info.arch, c.arch) << c.machine;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(info.version[k], c.version[k]) << c.release;
    EXPECT_EQ(info.build, c.build) << c.release;
  }
}

// Every row of the registry names a routine once, with an entry.
TEST(RoutineRegistry, RowsAreNamedOnceWithEntries) {
  ASSERT_GT(routine::count(), 0u);
  for (uint32_t i = 0; i < routine::count(); ++i) {
    const routine::Row& row = routine::row(i);
    EXPECT_NE(row.entry, nullptr) << row.name;
    EXPECT_EQ(routine::find(row.name), static_cast<int32_t>(i)) << row.name;
  }
  EXPECT_EQ(routine::find("no-such-routine"), -1);
}

// Routines are bound by name at each start, never written as data: neither the encoder nor
// the decoder takes one.
TEST(RoutineRegistry, RoutinesAreNeverSerialised) {
  testing::ensure_runtime();
  stack::State saved = stack::save();
  Cell* spec = set_none(stack::new_cell());
  lexer::transcode("[value [any-type!]]", spec);
  Cell inner = *block::cell_at(spec, 0);
  Cell* r = routine::push(&inner, 0);
  ASSERT_TRUE(r->is(TYPE_ROUTINE));
  EXPECT_EQ(routine::index_of(r), 0u);
  EXPECT_EQ(testing::error_id([&] { tavbin::encode_bytes(r, true); }), "no-codec");
  EXPECT_EQ(testing::error_id([&] { tavbin::encode_bytes(r, false); }), "no-codec");
  const uint8_t stream[] = {'T', 'A', 'V', 'B', 'I', 'N', 2, 1, 1, 1, 0x1D};
  Cell target = *block::make_at(stack::new_cell(), 4);
  EXPECT_EQ(testing::error_id([&] {
              tavbin::decode(stream, sizeof stream, &target, true);
            }),
            "no-codec");
  stack::restore(saved);
}

// Runs tav-eval on the code; answers the exit status and collects standard output.
int run_eval(const std::string& code, std::string* out) {
  const char* dir = std::getenv("TAV_TEST_BIN");
  std::string program = std::string(dir) + "/tav-eval";
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string e = "-e", text = code;
  char* argv[] = {program.data(), e.data(), text.data(), nullptr};
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return -1;
  }
  char chunk[4096];
  ssize_t n;
  while ((n = read(fds[0], chunk, sizeof chunk)) > 0) out->append(chunk, size_t(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// quit and its other names end the process with the status asked for, output kept and in
// order; the shell sees the status modulo 256.
TEST(LibraryProcess, QuitEndsWithItsStatus) {
  if (!std::getenv("TAV_TEST_BIN")) GTEST_SKIP() << "TAV_TEST_BIN not set";
  struct Case {
    const char* code;
    int status;
    const char* out;
  } cases[] = {
      {"print 1 quit/return 3 print 2", 3, "1\n"},
      {"prin 1 write-stdout \"b\" write-stdout [c] q", 0, "1b[c]"},
      {"halt/return 300", 44, ""},
      {"f: does [quit-return 7] f print 8", 7, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(run_eval(c.code, &out), c.status) << c.code;
    EXPECT_EQ(out, c.out) << c.code;
  }
}

}  // namespace tav::library_test
