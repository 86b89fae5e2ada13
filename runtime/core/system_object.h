// The runtime's reads of the system object: the settings there that steer how the runtime
// behaves (how much of the call stack an error report shows, what the lexer calls its
// tokens) are read where they are used, so a script that changes them changes the behaviour.
// And the build record the build wrote, which start-up puts into system/build.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "core/cell.h"

namespace tav::system_object {

// The value of system/<names...>, or null while the system object is not made yet, or when a
// step is missing or is no object. Valid until the next allocation. The runtime only reads
// through it, but for the state reset that puts a setting back as start-up made it.
Cell* field(std::initializer_list<const char*> names);

// What the build knew of itself (written at build time into the generated build_record.cpp).
struct BuildRecord {
  int64_t built;          // seconds since 1970, UTC
  bool has_git;           // the sources were a git checkout: the fields below hold
  const char* branch;     // empty on a detached head
  const char* tag;        // the latest tag; empty when there is none
  int32_t ahead;          // commits since that tag (since the first commit without one)
  int64_t committed;      // the commit's date, seconds since 1970
  const char* commit;     // its hash, in hexadecimal
};
extern const BuildRecord build_record;

// Puts the record into the system object: system/build/date, and system/build/git as an
// object (branch, tag, ahead, date, commit) or none.
void fill_build_record(const BuildRecord& record = build_record);

}  // namespace tav::system_object
