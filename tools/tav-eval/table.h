// Runs a language table file (see table.cpp) and prints "N passed, N failed".
#pragma once

namespace tav::table {
int run(const char* path);
}  // namespace tav::table
