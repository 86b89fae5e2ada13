// The boot code: the library's top-level sources, embedded in the binary as text in a fixed
// order (datatype words, typesets, actions, natives, operators, constants) and evaluated once
// at start-up. They bind every built-in value to its word.
#pragma once
#include <cstddef>

namespace tav::boot {

struct Source {
  const char* name;   // the file name, for messages
  const char* text;   // UTF-8 source, a script header first
  size_t length;
};

// Generated at build time from library/boot.
extern const Source sources[];
extern const size_t source_count;

// Evaluates one source text at top level. An error is raised as any evaluation error is.
void evaluate(const Source& source);

// Evaluates every embedded source in order. Any failure is fatal: the error is written to
// standard error and the process ends with status 1.
void run_sources();

}  // namespace tav::boot
