// Dark mode of a face's window: the routine switches the widget's palette both ways, its
// children follow, the face's own colours stay; and the console's switch reaches every
// window of its screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include "view/backend/qt/dark_mode.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;
using viewtest::widget_of;

bool looks_dark(const QWidget* w, QPalette::ColorRole role = QPalette::Window) {
  return w && w->palette().color(role).lightness() < 128;
}

class DarkMode : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("dk: layout [lbl: text \"Label\" btn: button \"Go\" fld: field \"x\" "
         "box: base 30x30 200.10.10 chk: check \"C\"] "
         "view/no-wait dk");
  }
  void TearDown() override { eval("unview/only dk"); }
};

TEST_F(DarkMode, TheWindowAndItsControlsGoDarkAndBack) {
  QWidget* win = widget_of("dk");
  ASSERT_NE(win, nullptr);
  const QPalette light = QApplication::palette();
  ASSERT_FALSE(looks_dark(win));
  EXPECT_EQ(eval_mold("type? system/view/platform/set-dark-mode dk true"), "unset!");
  const QPalette dark = dark_mode::dark_palette();
  struct {
    const char* face;
    QPalette::ColorRole back, fore;
  } controls[] = {
      {"dk", QPalette::Window, QPalette::WindowText},
      {"lbl", QPalette::Window, QPalette::WindowText},
      {"btn", QPalette::Button, QPalette::ButtonText},
      {"fld", QPalette::Base, QPalette::Text},
      {"chk", QPalette::Window, QPalette::WindowText},
  };
  for (const auto& c : controls) {
    const QWidget* w = widget_of(c.face);
    ASSERT_NE(w, nullptr) << c.face;
    EXPECT_EQ(w->palette().color(c.back), dark.color(c.back)) << c.face;
    EXPECT_EQ(w->palette().color(c.fore), dark.color(c.fore)) << c.face;
    EXPECT_GT(w->palette().color(c.fore).lightness(), 128) << c.face;
  }
  // The base face keeps the colour it was given.
  EXPECT_EQ(widget_of("box")->palette().color(QPalette::Window), QColor(200, 10, 10));
  // Asked twice, the window stays dark.
  eval("system/view/platform/set-dark-mode dk true");
  EXPECT_EQ(win->palette().color(QPalette::Window), dark.color(QPalette::Window));

  eval("system/view/platform/set-dark-mode dk false");
  for (const auto& c : controls) {
    const QWidget* w = widget_of(c.face);
    EXPECT_EQ(w->palette().color(c.back), light.color(c.back)) << c.face;
    EXPECT_EQ(w->palette().color(c.fore), light.color(c.fore)) << c.face;
  }
  EXPECT_EQ(widget_of("box")->palette().color(QPalette::Window), QColor(200, 10, 10));
  EXPECT_FALSE(win->testAttribute(Qt::WA_SetPalette) &&
               win->palette().color(QPalette::Window) != light.color(QPalette::Window));
}

TEST_F(DarkMode, AFaceKeepsItsOwnColoursThroughBothModes) {
  // A backdrop on the window, a coloured font on a label, on a face of its own.
  eval("dk/color: 10.20.30 lbl/font: make font! [color: 0.200.0] "
       "system/view/platform/set-dark-mode dk true "
       "system/view/platform/set-dark-mode lbl true");
  const QPalette dark = dark_mode::dark_palette();
  EXPECT_EQ(widget_of("dk")->palette().color(QPalette::Window), QColor(10, 20, 30));
  EXPECT_EQ(widget_of("dk")->palette().color(QPalette::WindowText), dark.color(QPalette::WindowText));
  EXPECT_EQ(widget_of("lbl")->palette().color(QPalette::WindowText), QColor(0, 200, 0));
  EXPECT_EQ(widget_of("btn")->palette().color(QPalette::Button), dark.color(QPalette::Button));
  eval("system/view/platform/set-dark-mode lbl false system/view/platform/set-dark-mode dk false");
  const QPalette light = QApplication::palette();
  EXPECT_EQ(widget_of("dk")->palette().color(QPalette::Window), QColor(10, 20, 30));
  EXPECT_EQ(widget_of("dk")->palette().color(QPalette::WindowText),
            light.color(QPalette::WindowText));
  EXPECT_EQ(widget_of("lbl")->palette().color(QPalette::WindowText), QColor(0, 200, 0));
  EXPECT_EQ(widget_of("btn")->palette().color(QPalette::Button), light.color(QPalette::Button));
  // A colour given while dark is kept when light comes back.
  eval("system/view/platform/set-dark-mode dk true dk/color: 40.50.60 "
       "system/view/platform/set-dark-mode dk false");
  EXPECT_EQ(widget_of("dk")->palette().color(QPalette::Window), QColor(40, 50, 60));
  EXPECT_EQ(widget_of("btn")->palette().color(QPalette::Button), light.color(QPalette::Button));
}

TEST(DarkModeRoutine, ChecksItsArgumentsAndSkipsFacesWithoutWindows) {
  struct {
    const char* call;
    const char* result;
  } cases[] = {
      {"e: try [system/view/platform/set-dark-mode 1 true] reduce [e/id e/arg3]",
       "[expect-arg face]"},
      {"e: try [system/view/platform/set-dark-mode make face! [] 'yes] reduce [e/id e/arg3]",
       "[expect-arg dark?]"},
      {"e: try [system/view/platform/set-dark-mode make face! []] e/id", "no-arg"},
      // Nothing to switch: no window yet, or no face at all.
      {"type? system/view/platform/set-dark-mode make face! [type: 'window] true", "unset!"},
      {"type? system/view/platform/set-dark-mode object [a: 1] false", "unset!"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval_mold(c.call), c.result) << c.call;
}


// The console's switch, on stand-in faces: the console window with its face, and a second
// window on the same screen. What the context held is put back afterwards.
TEST(ConsoleDarkMode, TheSettingReachesEveryWindowOfTheScreen) {
  eval("ctx: gui-console-ctx saved: reduce [ctx/win ctx/console ctx/cfg] "
       "ctx/console: make face! [type: 'base offset: 0x0 size: 200x100 color: 0.0.128 "
       "  flags: [scrollable]] "
       "ctx/win: make face! [type: 'window text: \"Tav Console\" size: 200x100 "
       "  pane: reduce [ctx/console]] "
       "other: layout [ob: button \"Other\"] "
       "view/no-wait ctx/win view/no-wait other "
       "ctx/cfg: copy [dark-mode?: true]");
  const char* faces[] = {"ctx/win", "ctx/console", "other", "ob"};
  const QColor dark_window = dark_mode::dark_palette().color(QPalette::Window);
  eval("ctx/set-dark-mode");
  for (const char* f : faces) {
    ASSERT_NE(widget_of(f), nullptr) << f;
    EXPECT_TRUE(looks_dark(widget_of(f), QPalette::Button)) << f;
  }
  EXPECT_EQ(widget_of("other")->palette().color(QPalette::Window), dark_window);
  // The console keeps its own background.
  EXPECT_EQ(widget_of("ctx/console")->palette().color(QPalette::Window), QColor(0, 0, 128));
  // Only the word true means dark.
  for (const char* setting : {"false", "yes"}) {
    eval(std::string("ctx/cfg: copy [dark-mode?: ") + setting + "] ctx/set-dark-mode");
    for (const char* f : faces) EXPECT_FALSE(looks_dark(widget_of(f), QPalette::Button)) << f;
  }
  EXPECT_EQ(widget_of("ctx/console")->palette().color(QPalette::Window), QColor(0, 0, 128));
  eval("unview/only other unview/only ctx/win "
       "ctx/win: saved/1 ctx/console: saved/2 ctx/cfg: saved/3");
}

}  // namespace
}  // namespace tav::gui
