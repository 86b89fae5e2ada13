// What a face's options and a button's image give its widget, when the face is made and each
// time they change later: the pointer's shape over the face, and the button's picture.
#include <gtest/gtest.h>

#include <QCursor>
#include <QImage>
#include <QPushButton>
#include <QWidget>

#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

QWidget* widget_of(const std::string& face) {
  WinData* w = windows::find(viewtest::window_of(face + "/state/1"));
  return w ? w->widget.data() : nullptr;
}

class FaceOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("pic: make image! 10x6 pic/(3x2): 255.0.0.0 "
         "win: make face! [type: 'window text: \"opts\" offset: 40x30 size: 300x200 "
         "pane: reduce ["
         "btn: make face! [type: 'button text: \"B\" offset: 10x10 size: 80x30 image: pic] "
         "tgl: make face! [type: 'toggle text: \"T\" offset: 10x50 size: 80x30] "
         "box: make face! [type: 'base offset: 100x10 size: 50x50 options: [cursor: hand]]]]");
    eval("view/no-wait win");
  }
  void TearDown() override {
    eval("unview/all s: get-current-screen s/state/2: 0");
  }
};

TEST_F(FaceOptions, CursorFollowsTheOptionsAtCreationAndOnEachChange) {
  ASSERT_NE(widget_of("box"), nullptr);
  EXPECT_EQ(widget_of("box")->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_FALSE(widget_of("btn")->testAttribute(Qt::WA_SetCursor));
  const struct {
    const char* options;
    Qt::CursorShape shape;
  } cases[] = {
      {"[cursor: I-beam]", Qt::IBeamCursor},   {"[cursor: cross]", Qt::CrossCursor},
      {"[cursor: resize-ns]", Qt::SizeVerCursor}, {"[cursor: resize-ew]", Qt::SizeHorCursor},
      {"[cursor: resize-we]", Qt::SizeHorCursor}, {"[hint: \"x\" cursor: 'hand]", Qt::PointingHandCursor},
      {"[cursor: spinner]", Qt::ArrowCursor},
  };
  for (const auto& c : cases) {
    eval(std::string("box/options: ") + c.options);
    EXPECT_EQ(widget_of("box")->cursor().shape(), c.shape) << c.options;
  }
  // No cursor any more: the face shows what its parent shows.
  eval("box/options: [hint: \"x\"]");
  EXPECT_FALSE(widget_of("box")->testAttribute(Qt::WA_SetCursor));
  // An image is the pointer itself, its centre the hot spot.
  eval("box/options: reduce [quote cursor: make image! 16x10]");
  QCursor cursor = widget_of("box")->cursor();
  EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cursor.hotSpot(), QPoint(8, 5));
  // With auto-sync off the change waits for the next show.
  eval("system/view/auto-sync?: false box/options: [cursor: cross]");
  EXPECT_EQ(widget_of("box")->cursor().shape(), Qt::BitmapCursor);
  eval("show win system/view/auto-sync?: true");
  EXPECT_EQ(widget_of("box")->cursor().shape(), Qt::CrossCursor);
}

TEST_F(FaceOptions, ButtonImageFollowsEachChange) {
  auto* btn = static_cast<QPushButton*>(widget_of("btn"));
  auto* tgl = static_cast<QPushButton*>(widget_of("tgl"));
  ASSERT_NE(btn, nullptr);
  // Made with an image: shown at the image's own size, its pixels as given.
  ASSERT_FALSE(btn->icon().isNull());
  EXPECT_EQ(btn->iconSize(), QSize(10, 6));
  QImage shown = btn->icon().pixmap(QSize(10, 6)).toImage();
  EXPECT_EQ(QColor(shown.pixel(2, 1)), QColor(255, 0, 0));
  EXPECT_TRUE(tgl->icon().isNull());
  // Changed later: a block sized by its pair, a block sized to the face, none.
  eval("tgl/image: reduce [pic 20x12]");
  ASSERT_FALSE(tgl->icon().isNull());
  EXPECT_EQ(tgl->iconSize(), QSize(20, 12));
  eval("btn/image: reduce [pic pic]");
  EXPECT_EQ(btn->iconSize(), QSize(80, 30));
  eval("btn/image: none");
  EXPECT_TRUE(btn->icon().isNull());
  EXPECT_EQ(eval_mold("btn/state/2"), "0");
}

}  // namespace
}  // namespace tav::gui
