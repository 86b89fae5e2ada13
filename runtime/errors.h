// Raising language errors by category and id. An error unwinds the call-frame stack to the
// nearest try frame; in C++ it travels as a tav::Unwind exception (see stack.h).
#pragma once
#include <cstdint>
#include "cell.h"

namespace tav {

enum ErrorCategory : uint8_t {
  ERR_THROW = 0, ERR_NOTE = 1, ERR_SYNTAX = 2, ERR_SCRIPT = 3, ERR_MATH = 4, ERR_ACCESS = 5,
  ERR_RESERVED1 = 6, ERR_RESERVED2 = 7, ERR_USER = 8, ERR_INTERNAL = 9,
};

namespace error {

// Makes the error value (category word, id word as written in the catalogue, up to three
// arguments; null for absent ones) and throws it. Never returns.
[[noreturn]] void raise(ErrorCategory cat, const char* id, const Cell* arg1 = nullptr,
                        const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// Builds the error value into `out` without throwing it.
void create(ErrorCategory cat, const char* id, const Cell* arg1, const Cell* arg2,
            const Cell* arg3, Cell* out);

// Text of a caught error as the console prints it ("*** Category Error: message" ...).
// Writes UTF-8 into the std::string-like sink given by the caller.
void form_for_console(const Cell* err, void (*sink)(const char* bytes, size_t len, void* ctx),
                      void* ctx);

}  // namespace error
}  // namespace tav
