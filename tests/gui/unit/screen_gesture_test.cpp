// Window-level news that only hardware brings: touchpad gestures reaching the face under
// them, and a window arriving on a screen of another density.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScreen>
#include <QWidget>
#include <string>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/gestures.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/screen_events.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// A window at 10x10 with a panel at 50x20 in it; both log the gesture events they see and
// keep them from their parents.
class Gestures : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("log: copy [] "
         "acts: object [note: func [face event] [append log reduce [face/text event/type "
         "event/picked event/offset] 'done] on-zoom: :note on-rotate: :note on-pan: :note] "
         "gw: make face! [type: 'window text: \"win\" offset: 10x10 size: 200x100 actors: acts "
         "pane: reduce [make face! [type: 'panel text: \"panel\" offset: 50x20 size: 40x40 "
         "actors: acts]]] "
         "view/no-wait gw");
    top = windows::find(viewtest::window_of("gw/state/1"))->widget;
  }
  void TearDown() override { eval("unview/all"); }

  // A gesture at a point of the window's client area.
  void gesture(Qt::NativeGestureType type, QPointF at, qreal value, QPointF delta = {}) {
    QPointF global = top->mapToGlobal(at);
    QNativeGestureEvent e(type, QPointingDevice::primaryPointingDevice(), 2, at, at, global,
                          value, delta);
    gesture_event(top, &e);
  }
  QWidget* top = nullptr;
};

TEST_F(Gestures, EachStepRaisesItsEventForTheFaceUnderIt) {
  gesture(Qt::BeginNativeGesture, {5, 5}, 0);
  gesture(Qt::ZoomNativeGesture, {5, 5}, 0.25);
  gesture(Qt::ZoomNativeGesture, {60, 30}, -0.5);
  gesture(Qt::RotateNativeGesture, {5, 5}, 10.4);
  gesture(Qt::RotateNativeGesture, {5, 5}, 5);
  gesture(Qt::SwipeNativeGesture, {5, 5}, 0, {3, 4});
  gesture(Qt::EndNativeGesture, {5, 5}, 0);
  // A new gesture turns from nothing again.
  gesture(Qt::BeginNativeGesture, {5, 5}, 0);
  gesture(Qt::RotateNativeGesture, {5, 5}, -2);
  // The offset is where the gesture is on the screen.
  EXPECT_EQ(eval_mold("log"),
            "[\"win\" zoom 125% (15, 15) \"panel\" zoom 50% (70, 40) \"win\" rotate 10 (15, 15) "
            "\"win\" rotate 15 (15, 15) \"win\" pan 5 (15, 15) \"win\" rotate -2 (15, 15)]");
}

TEST_F(Gestures, OneEventOfferedToParentsCountsOnce) {
  QNativeGestureEvent e(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2,
                        QPointF(5, 5), QPointF(5, 5), top->mapToGlobal(QPointF(55, 25)), 0.1,
                        QPointF());
  QWidget* panel = windows::find(viewtest::window_of("gw/pane/1/state/1"))->widget;
  gesture_event(panel, &e);
  gesture_event(top, &e);
  EXPECT_EQ(eval_mold("length? log"), "4");
}

// The window's face sits in the pane of a screen face whose monitor is not the window's
// screen; reaching its screen moves it to the right one.
TEST(Screens, AWindowReachingAScreenFollowsIt) {
  eval("sw: make face! [type: 'window text: \"moved\" offset: 10x10 size: 100x60 "
       "pane: reduce [make face! [type: 'base offset: 5x5 size: 20x20]]] "
       "view/no-wait sw "
       "other: make face! [type: 'screen pane: reduce [sw] state: reduce [none]] "
       "sw/parent: other");
  // Another monitor's handle, which no screen of this process has.
  Cell state = viewtest::eval_value("other/state");
  node_buffer(state.node())->cells()[state.index()] = platform::handle(999, platform::CLASS_MONITOR);
  uint32_t id = viewtest::window_of("sw/state/1");
  QScreen* screen = QGuiApplication::primaryScreen();
  set_dpi(144);
  dpi_changed(id, screen);
  EXPECT_EQ(dpi.dpi, screen_dpi(screen));
  EXPECT_EQ(eval_mold("reduce [system/view/metrics/dpi same? sw/parent system/view/screens/1 "
                      "empty? other/pane length? find/same system/view/screens/1/pane sw "
                      "sw/pane/1/offset]"),
            "[" + std::to_string(screen_dpi(screen)) + " true true 1 (5, 5)]");
  eval("unview/all");
}

TEST(Screens, AWindowWithoutStateIsLeftAlone) {
  eval("nw: make face! [type: 'window text: \"gone\" offset: 10x10 size: 50x50] view/no-wait nw");
  uint32_t id = viewtest::window_of("nw/state/1");
  eval("keep: nw/state nw/state: none");
  set_dpi(144);
  dpi_changed(id, QGuiApplication::primaryScreen());
  EXPECT_EQ(dpi.dpi, 144);
  set_dpi(96);
  eval("nw/state: keep unview/all");
}

}  // namespace
}  // namespace tav::gui
