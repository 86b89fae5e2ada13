// The scroll bars of a scrollable base or rich-text face: where they sit, how the face's
// scroller objects set them, and what the user's actions on them raise.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <string>

#include "view/backend/qt/face_scrollbars.h"
#include "view/backend/qt/pre_dispatch.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

class FaceScrollBars : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("log: copy [] "
         "acts: object [on-scroll: func [f e] [append log reduce [e/key e/picked e/orientation] "
         "if all [e/key = 'track e/orientation = 'vertical] [vs/position: e/picked]] "
         "on-wheel: func [f e] [append log reduce ['wheel e/picked]] "
         "on-down: func [f e] [append log 'down]] "
         "sw: make face! [type: 'window text: \"bars\" offset: 10x10 size: 300x300 pane: reduce ["
         "make face! [type: 'rich-text offset: 0x0 size: 200x100 flags: [scrollable] "
         "actors: acts] "
         "make face! [type: 'base offset: 0x150 size: 100x100 color: 1.2.3]]] "
         "view/no-wait sw "
         "vs: get-scroller sw/pane/1 'vertical hs: get-scroller sw/pane/1 'horizontal");
    face = windows::find(viewtest::window_of("sw/pane/1/state/1"))->widget;
    v = static_cast<QScrollBar*>(scrollbars::bar_of(face, true));
    h = static_cast<QScrollBar*>(scrollbars::bar_of(face, false));
    ASSERT_TRUE(v && h);
  }
  void TearDown() override { eval("unview/all"); }

  QWidget* face = nullptr;
  QScrollBar* v = nullptr;
  QScrollBar* h = nullptr;
};

TEST_F(FaceScrollBars, TheyLieAlongTheRightAndBottomEdges) {
  int e = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  EXPECT_EQ(eval_mold("system/view/metrics/misc/scroller/x"), std::to_string(e));
  EXPECT_EQ(v->geometry(), QRect(200 - e, 0, e, 100 - e));
  EXPECT_EQ(h->geometry(), QRect(0, 100 - e, 200 - e, e));
  EXPECT_TRUE(v->isVisibleTo(face) && h->isVisibleTo(face));
  EXPECT_EQ(v->orientation(), Qt::Vertical);
  // A face that is not scrollable has none.
  QWidget* plain = windows::find(viewtest::window_of("sw/pane/2/state/1"))->widget;
  EXPECT_EQ(scrollbars::bar_of(plain, true), nullptr);
  // Hiding one gives its corner to the other; a new size moves both.
  eval("hs/visible?: false");
  EXPECT_FALSE(h->isVisibleTo(face));
  EXPECT_EQ(v->geometry(), QRect(200 - e, 0, e, 100));
  eval("sw/pane/1/size: 240x120");
  EXPECT_EQ(v->geometry(), QRect(240 - e, 0, e, 120));
  eval("hs/visible?: true");
  EXPECT_EQ(h->geometry(), QRect(0, 120 - e, 240 - e, e));
}

TEST_F(FaceScrollBars, TheyKeepTheSystemColoursOverAColouredFace) {
  eval("vs/page-size: 10 vs/max-size: 100 vs/position: 1");
  auto groove = [this] {
    QImage img = v->grab().toImage();
    return img.pixelColor(img.width() / 2, img.height() - 30);
  };
  eval("sw/pane/1/color: 255.255.255");
  QColor light = groove();
  eval("sw/pane/1/color: 0.0.0");
  EXPECT_EQ(groove(), light);
  EXPECT_GT(light.lightness(), 128);
}

TEST_F(FaceScrollBars, ScrollersSetRangePageAndPosition) {
  // Positions run 1 .. max-size - page-size + 1; a bar with nothing to scroll is disabled.
  struct Case {
    const char* change;
    int maximum, page, value;
    bool enabled;
  } cases[] = {
      {"vs/page-size: 10 vs/max-size: 50 vs/position: 20", 41, 10, 20, true},
      {"vs/position: 100", 41, 10, 41, true},
      {"vs/position: 0", 41, 10, 1, true},
      {"vs/position: 7.9", 41, 10, 7, true},
      {"vs/max-size: 30", 21, 10, 7, true},
      {"vs/page-size: 30", 1, 30, 1, false},
      {"vs/page-size: 40", 1, 40, 1, false},
      {"vs/page-size: 5 vs/max-size: 6 vs/position: 2", 2, 5, 2, true},
      {"vs/page-size: 0 vs/max-size: 4 vs/position: 4", 4, 0, 4, true},
      {"vs/position: 'none", 4, 0, 4, true},
  };
  for (const Case& c : cases) {
    eval(c.change);
    EXPECT_EQ(v->minimum(), 1) << c.change;
    EXPECT_EQ(v->maximum(), c.maximum) << c.change;
    EXPECT_EQ(v->pageStep(), c.page) << c.change;
    EXPECT_EQ(v->value(), c.value) << c.change;
    EXPECT_EQ(v->isEnabled(), c.enabled) << c.change;
  }
  // The horizontal scroller drives the other bar only.
  eval("hs/page-size: 3 hs/max-size: 12 hs/position: 5");
  EXPECT_EQ(h->maximum(), 10);
  EXPECT_EQ(h->value(), 5);
  EXPECT_EQ(v->value(), 4);
}

TEST_F(FaceScrollBars, UserActionsRaiseScrollAndOnlyTheProgramMovesTheBar) {
  eval("vs/page-size: 10 vs/max-size: 100 vs/position: 20 "
       "hs/page-size: 10 hs/max-size: 100 hs/position: 20");
  struct Case {
    QScrollBar* bar;
    QAbstractSlider::SliderAction action;
    const char* logged;
  } cases[] = {
      {v, QAbstractSlider::SliderSingleStepAdd, "[down 20 vertical]"},
      {v, QAbstractSlider::SliderSingleStepSub, "[up 20 vertical]"},
      {v, QAbstractSlider::SliderPageStepAdd, "[page-down 20 vertical]"},
      {v, QAbstractSlider::SliderPageStepSub, "[page-up 20 vertical]"},
      {v, QAbstractSlider::SliderToMaximum, "[end 20 vertical]"},
      {h, QAbstractSlider::SliderSingleStepAdd, "[right 20 horizontal]"},
      {h, QAbstractSlider::SliderPageStepSub, "[page-left 20 horizontal]"},
  };
  for (const Case& c : cases) {
    eval("clear log");
    c.bar->triggerAction(c.action);
    EXPECT_EQ(eval_mold("log"), c.logged);
    EXPECT_EQ(c.bar->value(), 20) << c.logged;
    EXPECT_EQ(c.bar->sliderPosition(), 20) << c.logged;
  }
  // The thumb dragged: `track` with the thumb's new place; the actor's scroller puts it there.
  eval("clear log");
  v->setSliderPosition(35);
  EXPECT_EQ(eval_mold("log"), "[track 35 vertical]");
  EXPECT_EQ(v->value(), 35);
  EXPECT_EQ(eval_mold("vs/position"), "35");
  // The actor leaves the horizontal thumb alone: it goes back where its scroller has it.
  h->setSliderPosition(60);
  EXPECT_EQ(h->value(), 20);
  EXPECT_EQ(h->sliderPosition(), 20);
  // Letting go of the bar ends the action.
  eval("clear log");
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(v, &release);
  EXPECT_EQ(eval_mold("log"), "[end 35 vertical]");
}

TEST_F(FaceScrollBars, ThePointerOnABarIsNoFaceInputButTheWheelIs) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), v->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  EXPECT_FALSE(pre_dispatch(v, &press, false));
  EXPECT_EQ(eval_mold("log"), "[]");
  QWheelEvent wheel(QPointF(5, 5), v->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  pre_dispatch(v, &wheel, false);
  EXPECT_EQ(eval_mold("log"), "[wheel 1.0]");
  // The bar itself leaves the wheel alone: its value stays.
  eval("vs/page-size: 10 vs/max-size: 100 vs/position: 20");
  QApplication::sendEvent(v, &wheel);
  EXPECT_EQ(v->value(), 20);
}

}  // namespace
}  // namespace tav::gui
