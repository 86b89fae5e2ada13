#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fatal.h"

extern char** environ;

namespace {

struct ChildResult {
  int status = -1;   // exit status, or -(signal) when killed by one
  std::string out;
  std::string err;
};

std::string helper_dir() {
  if (const char* dir = std::getenv("TAV_TEST_BIN")) return dir;
  // Run by hand: the helpers are built beside the test binary.
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

std::string read_all(int fd) {
  std::string text;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
  return text;
}

ChildResult run_fault_child(const char* mode) {
  ChildResult result;
  std::string program = helper_dir() + "/fault_child";
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  char* argv[] = {program.data(), const_cast<char*>(mode), nullptr};
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned == 0) {
    // The child writes a few lines at most: well within a pipe's buffer.
    result.out = read_all(out_pipe[0]);
    result.err = read_all(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  return result;
}

// Splits "*** Runtime Error <n>: <name>\n*** at: <16 hex digits>h\n" into its head (up to
// the address) and the address; false when the text has another shape.
bool split_fatal_text(const std::string& text, std::string* head, unsigned long long* address) {
  const std::string marker = "\n*** at: ";
  size_t at = text.find(marker);
  if (at == std::string::npos) return false;
  std::string digits = text.substr(at + marker.size());
  if (digits.size() != 18 || digits.substr(16) != "h\n") return false;
  digits.resize(16);
  if (digits.find_first_not_of("0123456789ABCDEF") != std::string::npos) return false;
  *head = text.substr(0, at);
  *address = std::stoull(digits, nullptr, 16);
  return true;
}

TEST(FatalExit, NamesOfRuntimeErrors) {
  struct Case {
    int number;
    const char* name;
  };
  const Case cases[] = {
      {1, "access violation"},          {6, "float denormal operan"},
      {13, "integer divide by zero"},   {17, "illegal instruction"},
      {19, "stack error or overflow"},  {22, "invalid handle"},
      {23, "illegal operand"},          {29, "hardware memory error consumed AR"},
      {34, "Bus error"},                {94, "out of memory"},
      {95, "no CATCH for THROW"},       {98, "assertion failed"},
      {99, "unknown error"},            {100, "no value matched in CASE"},
      {101, "no value matched in SWITCH"},
      {0, "unknown error code!"},       {35, "unknown error code!"},
      {96, "unknown error code!"},      {-1, "unknown error code!"},
  };
  for (const auto& c : cases) EXPECT_STREQ(tav::fatal::error_name(c.number), c.name) << c.number;
}

TEST(FatalExit, SignalsMapToRuntimeErrorNumbers) {
  struct Case {
    int signo;
    int code;
    bool overflow;
    int number;
  };
  const Case cases[] = {
      {SIGSEGV, SEGV_MAPERR, false, 1}, {SIGSEGV, SEGV_ACCERR, true, 19},
      {SIGBUS, BUS_ADRALN, false, 34},  {SIGILL, ILL_ILLOPC, false, 17},
      {SIGFPE, FPE_INTDIV, false, 13},  {SIGFPE, FPE_INTOVF, false, 14},
      {SIGFPE, FPE_FLTDIV, false, 7},   {SIGFPE, FPE_FLTOVF, false, 10},
      {SIGFPE, FPE_FLTUND, false, 12},  {SIGFPE, FPE_FLTRES, false, 8},
      {SIGFPE, FPE_FLTINV, false, 9},   {SIGFPE, FPE_FLTSUB, false, 5},
      {SIGFPE, SI_USER, false, 13},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tav::fatal::signal_error_number(c.signo, c.code, c.overflow), c.number)
        << c.signo << "/" << c.code;
}

TEST(FatalExit, MessageCarriesTheWholeAddress) {
  char text[160];
  int n = tav::fatal::format_message(text, sizeof text, 1, 0x7FFF12345678ull);
  EXPECT_EQ(std::string(text, static_cast<size_t>(n)),
            "*** Runtime Error 1: access violation\n*** at: 00007FFF12345678h\n");
  n = tav::fatal::format_message(text, 20, 101, 0);   // never past the room given
  EXPECT_EQ(n, 20);
}

TEST(FatalExit, RuntimeCallsEndWithTheirNumber) {
  EXPECT_EXIT(tav::fatal_exit(tav::RUNTIME_ERROR_NO_CATCH, 0xABCDEF), ::testing::ExitedWithCode(95),
              "^\\*\\*\\* Runtime Error 95: no CATCH for THROW\n\\*\\*\\* at: 0000000000ABCDEFh\n$");
  EXPECT_EXIT(tav::fatal_exit(tav::RUNTIME_ERROR_NO_CASE, 0), ::testing::ExitedWithCode(100),
              "no value matched in CASE");
  EXPECT_EXIT(tav::fatal_exit(0, 0x1234), ::testing::ExitedWithCode(0), "^$");
}

TEST(FatalFault, BadPointerIsAnAccessViolation) {
  ChildResult child = run_fault_child("segv");
  EXPECT_EQ(child.status, 1);
  std::string head;
  unsigned long long at = 0;
  ASSERT_TRUE(split_fatal_text(child.err, &head, &at)) << child.err;
  EXPECT_EQ(head, "*** Runtime Error 1: access violation");
  // The address is the faulting instruction's, inside the function that made the access.
  unsigned long long function = std::stoull(child.out, nullptr, 16);
  EXPECT_GE(at, function);
  EXPECT_LT(at, function + 256);
}

TEST(FatalFault, ChildFaultsEndWithTheirNumbers) {
  struct Case {
    const char* mode;
    int status;
    const char* head;
  };
  const Case cases[] = {
      {"fpe", 13, "*** Runtime Error 13: integer divide by zero"},
      {"overflow", 19, "*** Runtime Error 19: stack error or overflow"},
      {"fatal-exit", 94, "*** Runtime Error 94: out of memory"},
  };
  for (const auto& c : cases) {
    ChildResult child = run_fault_child(c.mode);
    EXPECT_EQ(child.status, c.status) << c.mode << ": " << child.err;
    std::string head;
    unsigned long long at = 0;
    EXPECT_TRUE(split_fatal_text(child.err, &head, &at)) << c.mode << ": " << child.err;
    EXPECT_EQ(head, c.head) << c.mode;
    EXPECT_NE(at, 0u) << c.mode;
  }
  // From the runtime, the address is the one the caller gave.
  ChildResult child = run_fault_child("fatal-exit");
  EXPECT_EQ(child.err, "*** Runtime Error 94: out of memory\n*** at: 00007F00DEADBEEFh\n");
}

TEST(FatalFault, InterruptExitsQuietly) {
  ChildResult child = run_fault_child("sigint");
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, "");
  EXPECT_EQ(child.err, "");
}

TEST(FatalFault, BrokenPipeIsAWriteError) {
  ChildResult child = run_fault_child("sigpipe");
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, "");
}

}  // namespace
