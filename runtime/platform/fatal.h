// Fatal faults: the runtime error numbers, their names and the fatal exit.
//
// Processor faults arrive as signals; a handler on an alternate stack (so that a stack
// overflow can still be reported) writes the runtime error text to standard error and
// ends the process with the error number as its status.
#pragma once
#include <cstdint>

namespace tav {

enum RuntimeError : int {
  RUNTIME_ERROR_NONE = 0,                 // quiet exit, status 0 (Ctrl+C)
  RUNTIME_ERROR_ACCESS_VIOLATION = 1,
  RUNTIME_ERROR_INVALID_ALIGNMENT = 2,
  RUNTIME_ERROR_BOUNDS_EXCEEDED = 5,
  RUNTIME_ERROR_FLOAT_DENORMAL = 6,
  RUNTIME_ERROR_FLOAT_DIVIDE_BY_ZERO = 7,
  RUNTIME_ERROR_FLOAT_INEXACT = 8,
  RUNTIME_ERROR_FLOAT_INVALID = 9,
  RUNTIME_ERROR_FLOAT_OVERFLOW = 10,
  RUNTIME_ERROR_FLOAT_UNDERFLOW = 12,
  RUNTIME_ERROR_INTEGER_DIVIDE_BY_ZERO = 13,
  RUNTIME_ERROR_INTEGER_OVERFLOW = 14,
  RUNTIME_ERROR_ILLEGAL_INSTRUCTION = 17,
  RUNTIME_ERROR_STACK_OVERFLOW = 19,
  RUNTIME_ERROR_BUS_ERROR = 34,
  RUNTIME_ERROR_OUT_OF_MEMORY = 94,
  RUNTIME_ERROR_NO_CATCH = 95,
  RUNTIME_ERROR_ASSERTION = 98,
  RUNTIME_ERROR_UNKNOWN = 99,
  RUNTIME_ERROR_NO_CASE = 100,
  RUNTIME_ERROR_NO_SWITCH = 101,
};

// Writes "*** Runtime Error <n>: <name>" and "*** at: <address>h" to standard error and
// exits with status number; number 0 exits quietly with status 0. Callers pass the code
// address the fault belongs to (their own return address, say).
[[noreturn]] void fatal_exit(int number, uintptr_t address) noexcept;

namespace fatal {

// The name of a runtime error number ("unknown error code!" for a number without one).
const char* error_name(int number) noexcept;

// The runtime error number of a fatal signal, from its number and si_code; the stack
// flag tells a SIGSEGV caused by stack overflow apart from a plain access violation.
int signal_error_number(int signo, int si_code, bool stack_overflow) noexcept;

// Formats the fatal text into out (async-signal-safe); returns its length.
int format_message(char* out, int size, int number, uintptr_t address) noexcept;

// Installs the fault handlers (SIGSEGV, SIGBUS, SIGFPE, SIGILL on an alternate stack),
// the quiet Ctrl+C exit, ignores SIGPIPE, and prepares the calling thread's alternate stack.
void install_handlers();

// Gives the calling thread its own alternate signal stack; a thread that runs the
// interpreter calls this so that its stack overflow is reported too.
void prepare_thread_stack();

}  // namespace fatal
}  // namespace tav
