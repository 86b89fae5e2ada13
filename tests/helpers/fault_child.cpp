// A child process for the fatal-fault tests: installs the fault handlers, then commits
// the fault named by its argument. Exit status 3 means the fault did not end it.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/fatal.h"

namespace {

volatile uintptr_t bad_address = 16;
volatile int zero = 0;
volatile int depth_limit = 1 << 30;

__attribute__((noinline)) void touch_bad_pointer() {
  *reinterpret_cast<volatile int*>(bad_address) = 1;
}

__attribute__((noinline)) int divide_by_zero() {
  int quotient = 7;
  int divisor = zero;
  // In assembly so that no sanitizer check stands in front of the processor's own trap.
  asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(divisor) : "rdx", "cc");
  return quotient;
}

__attribute__((noinline)) int recurse(int depth) {
  volatile char frame[512];
  frame[depth % 512] = static_cast<char>(depth);
  if (depth > depth_limit) return 0;
  return recurse(depth + 1) + frame[depth % 512];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  tav::fatal::install_handlers();

  if (std::strcmp(mode, "segv") == 0) {
    // The test checks that the reported address lies in this function.
    std::printf("%016llX\n", static_cast<unsigned long long>(
                                 reinterpret_cast<uintptr_t>(&touch_bad_pointer)));
    std::fflush(stdout);
    touch_bad_pointer();
  } else if (std::strcmp(mode, "fpe") == 0) {
    std::printf("%d\n", divide_by_zero());
  } else if (std::strcmp(mode, "overflow") == 0) {
    std::printf("%d\n", recurse(0));
  } else if (std::strcmp(mode, "sigint") == 0) {
    raise(SIGINT);
  } else if (std::strcmp(mode, "sigpipe") == 0) {
    int ends[2];
    if (pipe(ends) != 0) return 4;
    close(ends[0]);
    ssize_t written = write(ends[1], "x", 1);
    return written < 0 && errno == EPIPE ? 0 : 5;
  } else if (std::strcmp(mode, "fatal-exit") == 0) {
    tav::fatal_exit(tav::RUNTIME_ERROR_OUT_OF_MEMORY, 0x7F00DEADBEEFull);
  } else {
    return 2;
  }
  return 3;
}
