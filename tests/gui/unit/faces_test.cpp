// Face templates, screen faces, and faces shown as widgets: creation at exact geometry, facet
// changes reaching the widgets (at once, or at the next show with auto-sync off), panes
// growing and shrinking, and windows closing.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;
using viewtest::widget_of;

TEST(FaceTemplates, WordsInTheirFixedOrder) {
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      {"words-of face!",
       "[type offset size text image color menu data enabled? visible? selected flags options "
       "parent pane state rate edge para font actors extra draw on-change* on-deep-change*]"},
      {"words-of font!",
       "[name size style weight angle color anti-alias? shadow state parent on-change* "
       "on-deep-change*]"},
      {"words-of para!", "[origin padding scroll align v-align wrap? parent on-change*]"},
      {"words-of scroller!",
       "[position page-size min-size max-size visible? vertical? parent on-change*]"},
      {"reduce [face!/type face!/enabled? face!/visible? face!/offset font!/angle "
       "font!/anti-alias? para!/wrap? scroller!/min-size scroller!/vertical?]",
       "[face true true none 0 false false 1 true]"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval_mold(c.expr), c.mold) << c.expr;
}

TEST(FaceTemplates, FaceTestTakesTheNineWords) {
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      {"face? make face! [type: 'button]", "true"},
      {"face? object [type: offset: size: parent: pane: state: para: font: actors: none]", "true"},
      {"face? object [type: offset: size: parent: pane: state: para: font: none]", "false"},
      {"face? [type offset]", "false"},
      {"face? none", "false"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval_mold(c.expr), c.mold) << c.expr;
}

TEST(Screens, OneFacePerMonitorKeptAcrossRefresh) {
  EXPECT_EQ(eval_mold("s: get-current-screen reduce [s/type pair? s/size s/size/x > 0 "
                      "float? s/data handle? s/state/1 s/state/2 s/state/4 block? s/pane "
                      "same? s first system/view/screens]"),
            "[screen true true true true 0 [1] true true]");
  // The same monitors again: the same objects, refreshed in place.
  EXPECT_EQ(eval_mold("n: length? system/view/screens s/size: 1x1 "
                      "system/view/platform/refresh-screens "
                      "reduce [same? s first system/view/screens s/size <> 1x1 "
                      "n = length? system/view/screens]"),
            "[true true true]");
}

const char* WINDOW =
    "win: make face! [type: 'window text: \"faces\" offset: 40x30 size: 300x200 "
    "color: 10.20.30 pane: reduce ["
    "lbl: make face! [type: 'text text: \"hello\" offset: 10x10 size: 80x24] "
    "btn: make face! [type: 'button text: \"OK\" offset: 100x10 size: 60x23] "
    "fld: make face! [type: 'field text: \"x\" offset: 10x50 size: 120x24] "
    "bas: make face! [type: 'base color: 200.0.0 offset: 150x60 size: 50x40 "
    "draw: [fill-pen 0.0.255 box 0x0 10x10]]]]";

class ShownWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    eval(WINDOW);
    eval("first-pane: does [head get in get-current-screen 'pane] view/no-wait win");
  }
  void TearDown() override { eval("unview/all system/view/auto-sync?: true"); }
};

TEST_F(ShownWindow, EachFaceIsItsWidgetAtItsGeometry) {
  struct {
    const char* face;
    bool (*is_kind)(QWidget*);
    QRect geometry;
  } cases[] = {
      {"win", [](QWidget* w) { return dynamic_cast<WindowShell*>(w) != nullptr; },
       QRect(40, 30, 300, 200)},
      {"lbl", [](QWidget* w) { return dynamic_cast<QLabel*>(w) != nullptr; }, QRect(10, 10, 80, 24)},
      {"btn", [](QWidget* w) { return dynamic_cast<QPushButton*>(w) != nullptr; },
       QRect(100, 10, 60, 23)},
      {"fld", [](QWidget* w) { return dynamic_cast<QLineEdit*>(w) != nullptr; },
       QRect(10, 50, 120, 24)},
      {"bas",
       [](QWidget* w) {
         return dynamic_cast<FaceContainer*>(w) != nullptr && !dynamic_cast<WindowShell*>(w);
       },
       QRect(150, 60, 50, 40)},
  };
  QWidget* window = widget_of("win");
  ASSERT_NE(window, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.face);
    QWidget* w = widget_of(c.face);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(c.is_kind(w));
    EXPECT_EQ(w->geometry(), c.geometry);
    if (w != window) {
      EXPECT_EQ(w->parentWidget(), window);
    }
  }
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "faces");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "hello");
  EXPECT_EQ(static_cast<QPushButton*>(widget_of("btn"))->text(), "OK");
  EXPECT_EQ(static_cast<QLineEdit*>(widget_of("fld"))->text(), "x");
  EXPECT_EQ(eval_mold("reduce [same? lbl/parent win same? win/parent get-current-screen "
                      "same? last first-pane win lbl/state/2]"),
            "[true true true 0]");
  // The base face paints its colour, then its Draw block over it.
  WinData* base = windows::find(viewtest::window_of("bas/state/1"));
  ASSERT_FALSE(base->back_buffer.isNull());
  EXPECT_EQ(base->back_buffer.pixelColor(5, 5), QColor(0, 0, 255));
  EXPECT_EQ(base->back_buffer.pixelColor(30, 30), QColor(200, 0, 0));
}

TEST_F(ShownWindow, ChangedFacetsReachTheWidgets) {
  eval("lbl/text: \"changed\" lbl/offset: 20x120 btn/size: 70x30 btn/visible?: false "
       "fld/enabled?: false lbl/color: 0.128.0");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "changed");
  EXPECT_EQ(widget_of("lbl")->geometry(), QRect(20, 120, 80, 24));
  EXPECT_EQ(widget_of("btn")->geometry(), QRect(100, 10, 70, 30));
  EXPECT_FALSE(widget_of("btn")->isVisibleTo(widget_of("win")));
  EXPECT_FALSE(widget_of("fld")->isEnabled());
  EXPECT_EQ(widget_of("lbl")->palette().color(QPalette::Window), QColor(0, 128, 0));
  EXPECT_TRUE(widget_of("lbl")->autoFillBackground());
  eval("win/text: \"renamed\"");
  EXPECT_EQ(widget_of("win")->windowTitle(), "renamed");
  // A change inside the text series itself.
  eval("append lbl/text \"!\"");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "changed!");
  EXPECT_EQ(eval_mold("lbl/state/2"), "0");
}

TEST_F(ShownWindow, WithoutAutoSyncChangesWaitForShow) {
  eval("system/view/auto-sync?: false lbl/text: \"later\" btn/offset: 5x5 "
       "append btn/text \"!\"");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "hello");
  EXPECT_EQ(widget_of("btn")->geometry(), QRect(100, 10, 60, 23));
  EXPECT_EQ(eval_mold("reduce [lbl/state/2 <> 0 length? btn/state/3]"), "[true 8]");
  eval("show win");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "later");
  EXPECT_EQ(widget_of("btn")->geometry(), QRect(5, 5, 60, 23));
  EXPECT_EQ(static_cast<QPushButton*>(widget_of("btn"))->text(), "OK!");
  EXPECT_EQ(eval_mold("reduce [lbl/state/2 btn/state/2 empty? btn/state/3]"), "[0 0 true]");
}

TEST_F(ShownWindow, PaneChangesMakeAndDestroyWidgets) {
  eval("append win/pane extra-face: make face! [type: 'text text: \"more\" offset: 1x2 size: 30x20]");
  QWidget* added = widget_of("extra-face");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->parentWidget(), widget_of("win"));
  EXPECT_EQ(added->geometry(), QRect(1, 2, 30, 20));
  uint32_t id = viewtest::window_of("btn/state/1");
  eval("remove find/same win/pane btn");
  EXPECT_EQ(windows::find(id), nullptr);
  EXPECT_EQ(eval_mold("reduce [btn/state btn/parent]"), "[none none]");
  EXPECT_EQ(eval_mold("e: try [append win/pane 42] e/id"), "face-type");
}

TEST_F(ShownWindow, UnviewClosesTheWindowAndItsFaces) {
  uint32_t win = viewtest::window_of("win/state/1");
  uint32_t lbl = viewtest::window_of("lbl/state/1");
  eval("unview");
  EXPECT_EQ(windows::find(win), nullptr);
  EXPECT_EQ(windows::find(lbl), nullptr);
  EXPECT_EQ(eval_mold("reduce [win/state lbl/state empty? first-pane "
                      "system/view/platform/all-windows-closed? do-events/no-wait]"),
            "[none none true true none]");
  // Nothing open: nothing to close.
  eval("unview");
}

TEST(Show, RefusesWhatCannotBeShown) {
  struct {
    const char* expr;
    const char* id;
  } cases[] = {
      {"show make face! [type: 'text]", "not-linked"},
      {"view make face! [type: 'text]", "not-window"},
      {"show [42]", "face-type"},
      {"view make face! [type: 'window size: 10x10 pane: reduce [make face! [type: 'blob]]]",
       "face-type"},
      {"w: make face! [type: 'window pane: []] w/pane: reduce [make face! [type: 'window]]",
       "bad-window"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    EXPECT_EQ(eval_mold(std::string("e: try [") + c.expr + "] e/id"), c.id);
  }
  eval("unview/all");
}

TEST(FieldData, TextAndDataKeptInStep) {
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      {"f/text: \"12\" f/data", "12"},
      {"f/text: \"abc\" f/data", "none"},
      {"f/options: [default: 0] f/text: \"abc\" f/data", "0"},
      {"f/options: [sync: [word!]] f/text: \"abc\" f/data", "abc"},
      {"f/data: 42 f/text", "\"42\""},
      {"f/data: none f/text", "\"\""},
  };
  for (const auto& c : cases) {
    eval("f: make face! [type: 'field text: copy \"\"]");
    EXPECT_EQ(eval_mold(c.expr), c.mold) << c.expr;
  }
}

TEST(FontsAndParas, UserListsFollowTheFaces) {
  EXPECT_EQ(eval_mold("fnt: make font! [size: 12] "
                      "w: make face! [type: 'window size: 100x100 pane: reduce ["
                      "a: make face! [type: 'text size: 10x10 font: fnt] "
                      "b: make face! [type: 'text size: 10x10 font: fnt]]] "
                      "view/no-wait w "
                      "r: reduce [length? head fnt/parent same? first head fnt/parent a] "
                      "b/font: make font! [size: 9] "
                      "append r length? head fnt/parent unview r"),
            "[2 true 1]");
}

}  // namespace
}  // namespace tav::gui
