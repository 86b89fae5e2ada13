// The keyboard focus moving between controls: which faces tell of it, in which order, and the
// window's selected face that follows it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <string>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

class Focus : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("log: copy [] "
         "acts: object [on-focus: func [f e] [append log reduce ['focus f/extra]] "
         "on-unfocus: func [f e] [append log reduce ['unfocus f/extra]]] "
         "ctl: func [kind name at] [make face! [type: kind offset: at size: 80x24 extra: name "
         "actors: acts data: either kind = 'field [none] [copy [\"x\" \"y\"]]]] "
         "fw: make face! [type: 'window text: \"focus\" offset: 10x10 size: 200x200 "
         "pane: reduce [ctl 'field 'a 0x0 ctl 'drop-list 'd 0x30 ctl 'text-list 'l 0x60 "
         "ctl 'button 'b 0x100]] "
         "view/no-wait fw");
    QWidget* top = widget("fw");
    top->activateWindow();
    QApplication::setActiveWindow(top);
    settle();
  }
  void TearDown() override { eval("unview/all"); }
  QWidget* widget(const std::string& face) {
    return windows::find(viewtest::window_of(face + "/state/1"))->widget;
  }
  void focus(const std::string& face) {
    widget(face)->setFocus(Qt::MouseFocusReason);
    settle();
  }
  void settle() {
    while (do_events(true)) {}
  }
};

TEST_F(Focus, ControlsTellWhenTheyGetAndLoseIt) {
  eval("clear log");
  focus("fw/pane/1");   // field
  focus("fw/pane/2");   // drop-list
  focus("fw/pane/3");   // text-list
  focus("fw/pane/4");   // a button tells nothing, but the list lost the focus
  EXPECT_EQ(eval_mold("log"), "[focus a unfocus a focus d unfocus d focus l unfocus l]");
}

TEST_F(Focus, TheWindowsSelectedFaceFollows) {
  focus("fw/pane/2");
  EXPECT_EQ(eval_mold("same? fw/selected fw/pane/2"), "true");
  focus("fw/pane/1");
  EXPECT_EQ(eval_mold("same? fw/selected fw/pane/1"), "true");
}

TEST_F(Focus, AMenuTakingTheKeyboardIsNoLoss) {
  focus("fw/pane/1");
  eval("clear log");
  QMenu menu(widget("fw"));
  menu.addAction("item");
  menu.popup(QPoint(20, 20));
  settle();
  ASSERT_TRUE(QApplication::activePopupWidget() != nullptr);
  menu.close();
  settle();
  EXPECT_EQ(eval_mold("log"), "[]");
}

}  // namespace
}  // namespace tav::gui
