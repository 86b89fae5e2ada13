#include "platform/fatal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <cstring>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

namespace tav {
namespace fatal_detail {

struct ErrorName {
  int number;
  const char* name;
};

// The texts are part of what users see and search for: keep them as they are,
// "operan" included.
constexpr ErrorName error_names[] = {
    {1, "access violation"},
    {2, "invalid alignment"},
    {3, "breakpoint"},
    {4, "single step"},
    {5, "bounds exceeded"},
    {6, "float denormal operan"},
    {7, "float divide by zero"},
    {8, "float inexact result"},
    {9, "float invalid operation"},
    {10, "float overflow"},
    {11, "float stack check"},
    {12, "float underflow"},
    {13, "integer divide by zero"},
    {14, "integer overflow"},
    {15, "privileged instruction"},
    {16, "invalid virtual address"},
    {17, "illegal instruction"},
    {18, "non-continuable exception"},
    {19, "stack error or overflow"},
    {20, "invalid disposition"},
    {21, "guard page"},
    {22, "invalid handle"},
    {23, "illegal operand"},
    {24, "illegal addressing mode"},
    {25, "illegal trap"},
    {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},
    {32, "segmentation fault"},
    {33, "FPU error"},
    {34, "Bus error"},
    {94, "out of memory"},
    {95, "no CATCH for THROW"},
    {98, "assertion failed"},
    {99, "unknown error"},
    {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
};

// Big enough for the handler's few frames, also under the sanitizers.
constexpr size_t ALT_STACK_SIZE = 64 * 1024;
// A fault this close to the stack pointer is the stack running out.
constexpr uintptr_t STACK_FAULT_REACH = 64 * 1024;

thread_local bool thread_stack_ready = false;

int append_text(char* out, int size, int at, const char* text) {
  while (*text && at < size) out[at++] = *text++;
  return at;
}

int append_decimal(char* out, int size, int at, int value) {
  char digits[12];
  int n = 0;
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0 && at < size) out[at++] = '-';
  while (n && at < size) out[at++] = digits[--n];
  return at;
}

int append_address(char* out, int size, int at, uintptr_t address) {
  static const char hex[] = "0123456789ABCDEF";
  for (int shift = static_cast<int>(sizeof(uintptr_t) * 8) - 4; shift >= 0 && at < size; shift -= 4)
    out[at++] = hex[(address >> shift) & 0xF];
  return at;
}

void write_stderr(const char* text, int length) {
  while (length > 0) {
    ssize_t written = ::write(STDERR_FILENO, text, static_cast<size_t>(length));
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += written;
    length -= static_cast<int>(written);
  }
}

void report(int number, uintptr_t address) noexcept {
  char message[192];
  int length = fatal::format_message(message, sizeof message, number, address);
  write_stderr(message, length);
}

bool near_stack_pointer(uintptr_t fault, uintptr_t sp) {
  uintptr_t low = sp > STACK_FAULT_REACH ? sp - STACK_FAULT_REACH : 0;
  return fault >= low && fault - low < 2 * STACK_FAULT_REACH;
}

void on_fault(int signo, siginfo_t* info, void* context) {
  uintptr_t pc = 0;
  bool overflow = false;
#if defined(__x86_64__)
  const auto* uc = static_cast<const ucontext_t*>(context);
  pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
  if (signo == SIGSEGV)
    overflow = near_stack_pointer(reinterpret_cast<uintptr_t>(info->si_addr),
                                  static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]));
#else
  (void)context;
  pc = reinterpret_cast<uintptr_t>(info->si_addr);
#endif
  int number = fatal::signal_error_number(signo, info->si_code, overflow);
  report(number, pc);
  _exit(number);
}

void on_interrupt(int) { _exit(0); }

}  // namespace fatal_detail

namespace fatal {

const char* error_name(int number) noexcept {
  for (const auto& entry : fatal_detail::error_names)
    if (entry.number == number) return entry.name;
  return "unknown error code!";
}

int signal_error_number(int signo, int si_code, bool stack_overflow) noexcept {
  switch (signo) {
    case SIGSEGV:
      return stack_overflow ? RUNTIME_ERROR_STACK_OVERFLOW : RUNTIME_ERROR_ACCESS_VIOLATION;
    case SIGBUS:
      return RUNTIME_ERROR_BUS_ERROR;
    case SIGILL:
      return RUNTIME_ERROR_ILLEGAL_INSTRUCTION;
    case SIGFPE:
      switch (si_code) {
        case FPE_INTDIV: return RUNTIME_ERROR_INTEGER_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return RUNTIME_ERROR_INTEGER_OVERFLOW;
        case FPE_FLTDIV: return RUNTIME_ERROR_FLOAT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return RUNTIME_ERROR_FLOAT_OVERFLOW;
        case FPE_FLTUND: return RUNTIME_ERROR_FLOAT_UNDERFLOW;
        case FPE_FLTRES: return RUNTIME_ERROR_FLOAT_INEXACT;
        case FPE_FLTINV: return RUNTIME_ERROR_FLOAT_INVALID;
        case FPE_FLTSUB: return RUNTIME_ERROR_BOUNDS_EXCEEDED;
        default: return RUNTIME_ERROR_INTEGER_DIVIDE_BY_ZERO;
      }
    default:
      return RUNTIME_ERROR_UNKNOWN;
  }
}

int format_message(char* out, int size, int number, uintptr_t address) noexcept {
  using namespace fatal_detail;
  int at = append_text(out, size, 0, "*** Runtime Error ");
  at = append_decimal(out, size, at, number);
  at = append_text(out, size, at, ": ");
  at = append_text(out, size, at, error_name(number));
  at = append_text(out, size, at, "\n*** at: ");
  at = append_address(out, size, at, address);
  at = append_text(out, size, at, "h\n");
  return at;
}

void prepare_thread_stack() {
  if (fatal_detail::thread_stack_ready) return;
  // A guard page below the alternate stack turns a runaway handler into a plain crash
  // instead of silent corruption of whatever lies beneath.
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_t total = fatal_detail::ALT_STACK_SIZE + page;
  void* area = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return;
  mprotect(area, page, PROT_NONE);
  stack_t alt{};
  alt.ss_sp = static_cast<char*>(area) + page;
  alt.ss_size = fatal_detail::ALT_STACK_SIZE;
  if (sigaltstack(&alt, nullptr) != 0) {
    munmap(area, total);
    return;
  }
  fatal_detail::thread_stack_ready = true;
}

void install_handlers() {
  prepare_thread_stack();

  struct sigaction fault{};
  fault.sa_sigaction = fatal_detail::on_fault;
  fault.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&fault.sa_mask);
  for (int signo : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(signo, &fault, nullptr);

  struct sigaction interrupt{};
  interrupt.sa_handler = fatal_detail::on_interrupt;
  sigemptyset(&interrupt.sa_mask);
  sigaction(SIGINT, &interrupt, nullptr);

  // A closed pipe or socket must show up as a write error, not end the process.
  struct sigaction ignore{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace fatal

void fatal_exit(int number, uintptr_t address) noexcept {
  if (number == 0) std::exit(0);
  fatal_detail::report(number, address);
  std::exit(number);
}

}  // namespace tav
