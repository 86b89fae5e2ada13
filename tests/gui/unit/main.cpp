// The view-layer tests run on Qt's offscreen platform, with one QApplication for the binary
// and the runtime started once with system/view in place. Each run gets fresh XDG folders,
// so no setting of the machine's user reaches the tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime.h"
#include "tools/runner/runner.h"
#include "view/backend/qt/backend.h"
#include "view/binding.h"

namespace {

const std::string fixtures = TAV_GOLDEN_DIR "/../../fixtures";
// Reached from here until the very end: the checker reads it after static destructors ran.
std::string* leak_suppressions = new std::string;

// The environment every GUI test runs in; a variable already set (a run at another scale
// or in another locale) is kept.
void set_test_environment() {
  const std::pair<const char*, std::string> vars[] = {
      {"QT_QPA_PLATFORM", "offscreen"},
      {"QT_QPA_PLATFORMTHEME", "generic"},
      {"QT_IM_MODULE", "none"},
      {"QT_SCALE_FACTOR", "1"},
      {"QT_MEDIA_BACKEND", "gstreamer"},
      {"LANG", "C.UTF-8"},
      {"FONTCONFIG_FILE", fixtures + "/fonts.conf"},
  };
  for (const auto& [name, value] : vars) setenv(name, value.c_str(), 0);
  std::ifstream in(fixtures + "/lsan-qt.supp");
  std::stringstream text;
  text << in.rdbuf();
  *leak_suppressions = text.str();
}

}  // namespace

// The leak checker asks for these when it checks, at exit: the caches Qt and the font
// libraries never free are not the tests' leaks.
extern "C" const char* __lsan_default_suppressions() { return leak_suppressions->c_str(); }

int main(int argc, char** argv) {
  set_test_environment();
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as the build's test discovery does) needs no runtime: booting one
  // under a collection at every safe point would outlast the discovery's time limit.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
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
