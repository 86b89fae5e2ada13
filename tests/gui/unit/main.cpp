// The view-layer tests run on Qt's offscreen platform, with one QApplication for the binary
// and the runtime started once with system/view in place. Each run gets fresh XDG folders,
// so no setting of the machine's user reaches the tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime.h"
#include "tools/runner/runner.h"
#include "view/backend/qt/backend.h"
#include "view/binding.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  char pattern[] = "/tmp/tav-view-tests-XXXXXX";
  const char* home = mkdtemp(pattern);
  if (!home) return 1;
  std::string base = home;
  for (const char* sub : {"runtime", "config", "cache"}) mkdir((base + "/" + sub).c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", (base + "/runtime").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
  tav::runtime::process_setup(0, nullptr);
  tav::runner::init();
  tav::binding::install();
  tav::runner::boot();
  int status = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(base, ignored);
  return status;
}
