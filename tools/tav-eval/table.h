// Runs a language table file (see table.cpp) and prints "N passed, N failed".
#pragma once

namespace tav::table {

// What the run checks besides each case's expected answer.
enum class Check {
  answers,         // the expected answers only
  general_road,    // each line's outcome against the general interpreter's (fast tiers off)
  wrapped,         // each case against itself wrapped in a function called three times
};

int run(const char* path, Check check = Check::answers);

}  // namespace tav::table
