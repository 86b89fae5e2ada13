// Pending face changes reaching the widgets in batches: the changes made before one `show`
// go to the backend in one call and all land; within a batch a face's content comes before
// its geometry; a change that fails stays pending; a batch holding a non-face touches nothing;
// flags, and what a drawn face paints from, reach the widget too.
#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;
using viewtest::widget_of;

class Batches : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("win: make face! [type: 'window text: \"batch\" offset: 40x30 size: 300x200 "
         "pane: reduce ["
         "lbl: make face! [type: 'text text: \"one\" offset: 10x10 size: 80x24] "
         "btn: make face! [type: 'button text: \"OK\" offset: 100x10 size: 60x23] "
         "fld: make face! [type: 'field text: \"x\" offset: 10x50 size: 120x24]]]");
    eval("view/no-wait win");
    // Each call the backend gets: the faces of a batch, or the one face sent alone.
    eval("calls: copy [] real-update: :system/view/platform/update-view "
         "system/view/platform/update-view: func [face] ["
         "  append/only calls either block? face [collect [foreach f face [keep f/type]]] "
         "[face/type] real-update face]");
  }
  void TearDown() override {
    // Opening and closing the window left the screen's pane bit set, which nothing sends
    // anywhere; the tests that run next in this process start from a quiet screen.
    eval("system/view/platform/update-view: :real-update unview/all "
         "system/view/auto-sync?: true s: get-current-screen s/state/2: 0");
  }
};

TEST_F(Batches, ChangesBeforeOneShowGoInOneCallAndAllLand) {
  eval("system/view/auto-sync?: false "
       "lbl/text: \"two\" lbl/color: 0.128.0 lbl/offset: 20x120 "
       "btn/size: 70x30 btn/text: \"Go\" fld/enabled?: false "
       "append fld/text \"yz\"");
  // Nothing reached the widgets yet.
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "one");
  EXPECT_EQ(eval_mold("calls"), "[]");
  eval("show win");
  EXPECT_EQ(eval_mold("calls"), "[[text button field]]");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "two");
  EXPECT_EQ(widget_of("lbl")->palette().color(QPalette::Window), QColor(0, 128, 0));
  EXPECT_EQ(widget_of("lbl")->geometry(), QRect(20, 120, 80, 24));
  EXPECT_EQ(static_cast<QPushButton*>(widget_of("btn"))->text(), "Go");
  EXPECT_EQ(widget_of("btn")->geometry(), QRect(100, 10, 70, 30));
  EXPECT_FALSE(widget_of("fld")->isEnabled());
  EXPECT_EQ(static_cast<QLineEdit*>(widget_of("fld"))->text(), "xyz");
  EXPECT_EQ(eval_mold("reduce [lbl/state/2 btn/state/2 fld/state/2 empty? fld/state/3]"),
            "[0 0 0 true]");
  // Shown again with nothing pending: nothing more is sent.
  eval("show win");
  EXPECT_EQ(eval_mold("length? calls"), "1");
}

// Records the label's text each time the widget is resized.
class ResizeWatch : public QObject {
 public:
  QStringList texts;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Resize) texts << static_cast<QLabel*>(o)->text();
    return false;
  }
};

TEST_F(Batches, AFaceIsResizedWithItsNewContent) {
  ResizeWatch watch;
  widget_of("lbl")->installEventFilter(&watch);
  eval("system/view/auto-sync?: false lbl/size: 90x30 lbl/text: \"wider\" show win");
  widget_of("lbl")->removeEventFilter(&watch);
  EXPECT_EQ(watch.texts, QStringList{"wider"});
  EXPECT_EQ(widget_of("lbl")->geometry(), QRect(10, 10, 90, 30));
}

TEST_F(Batches, AFailedChangeStaysPending) {
  eval("system/view/auto-sync?: false lbl/text: \"later\" lbl/rate: 0");
  EXPECT_EQ(eval_mold("e: try [show win] e/id"), "invalid-facet-type");
  // The text and the rate wait for the next update.
  EXPECT_EQ(eval_mold("reduce [0 <> (lbl/state/2 and 8) 0 <> (lbl/state/2 and 65536)]"),
            "[true true]");
  eval("lbl/rate: none show win");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "later");
  EXPECT_EQ(eval_mold("lbl/state/2"), "0");
}

TEST_F(Batches, ABatchWithANonFaceTouchesNothing) {
  eval("system/view/auto-sync?: false lbl/text: \"never\"");
  EXPECT_EQ(eval_mold("e: try [real-update reduce [lbl 42]] reduce [e/id e/arg1]"),
            "[invalid-type integer!]");
  EXPECT_EQ(static_cast<QLabel*>(widget_of("lbl"))->text(), "one");
  EXPECT_EQ(eval_mold("0 <> lbl/state/2"), "true");
}

TEST_F(Batches, FlagsAndColourChangedTogetherBothApply) {
  eval("system/view/auto-sync?: false fld/flags: [password] fld/color: 0.0.200 show win");
  auto* edit = static_cast<QLineEdit*>(widget_of("fld"));
  EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
  EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(0, 0, 200));
  EXPECT_EQ(windows::find(viewtest::window_of("fld/state/1"))->face_flags & 0x00080000u,
            0x00080000u);
  eval("fld/flags: none show win");
  EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
}

TEST_F(Batches, ABaseFacePaintsItsNewImage) {
  eval("append win/pane bas: make face! [type: 'base offset: 200x100 size: 20x20 "
       "color: 255.255.255] "
       "bas/image: make image! [20x20 0.160.0] do-events/no-wait");
  WinData* base = windows::find(viewtest::window_of("bas/state/1"));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->back_buffer.pixelColor(10, 10), QColor(0, 160, 0));
}

}  // namespace
}  // namespace tav::gui
