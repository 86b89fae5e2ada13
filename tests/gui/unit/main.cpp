// The view-layer tests run on Qt's offscreen platform, with one QApplication for the binary
// and the runtime started once with system/view in place.
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime.h"
#include "tools/runner/runner.h"
#include "view/backend/qt/backend.h"
#include "view/binding.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  tav::runtime::process_setup(0, nullptr);
  tav::runner::start();
  tav::binding::install();
  tav::gui::init();
  return RUN_ALL_TESTS();
}
