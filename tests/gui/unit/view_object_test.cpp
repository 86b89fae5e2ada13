// system/view as the GUI program's library builds it: its words and the platform's in their
// fixed order, the values start-up fills, and face timers driven by `rate`.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include "view/backend/qt/backend.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

TEST(ViewObject, WordsInTheirFixedOrder) {
  EXPECT_EQ(eval_mold("words-of system/view"),
            "[screens event-port metrics fonts platform VID handlers evt-names capture-events "
            "awake on-change* capturing? auto-sync? debug? silent? GPU?]");
  EXPECT_EQ(eval_mold("words-of system/view/platform"),
            "[mouse-event? make-null-handle fetch-all-screens get-current-screen "
            "all-windows-closed? refresh-screens get-screen-size size-text on-change-facet "
            "update-text update-font update-para destroy-view detach-image update-view "
            "refresh-window redraw show-window make-view draw-image draw-face do-event-loop "
            "exit-event-loop request-font request-file request-dir text-box-metrics "
            "update-scroller set-dark-mode support-dark-mode? toggle-GPU init version build "
            "product]");
  // The backend's entries are routines bound into the object by name.
  EXPECT_EQ(eval_mold("reduce [routine? :system/view/platform/make-view "
                      "routine? :system/view/platform/do-event-loop "
                      "function? :system/view/platform/init]"),
            "[true true true]");
  EXPECT_EQ(eval_mold("length? system/view/evt-names"), "88");
  EXPECT_EQ(eval_mold("select system/view/evt-names 'dbl-click"), "on-dbl-click");
}

TEST(ViewObject, StartUpFillsMetricsAndFonts) {
  EXPECT_EQ(eval_mold("m: system/view/metrics reduce [m/dpi m/misc/scroller/x > 0 "
                      "m/margins/button m/paddings/tab-panel m/colors/tab-panel "
                      "empty? m/def-heights tuple? m/colors/panel]"),
            "[96 true [1x1 1x1] [1x3 25x0] 255.255.255 true true]");
  EXPECT_EQ(eval_mold("f: system/view/fonts reduce [string? f/system float? f/size f/fixed "
                      "f/sans-serif f/serif font-fixed]"),
            "[true true \"Monospace\" \"Sans\" \"Serif\" \"Monospace\"]");
  EXPECT_EQ(eval_mold("system/view/platform/all-windows-closed?"), "true");
  EXPECT_EQ(eval_mold("system/view/GPU?: false system/view/GPU?"), "false");
}

// Waits (at most 2 s) in no-wait loop passes until the condition holds.
template <class F>
bool pump_until(F done) {
  QDeadlineTimer deadline(2000);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(Timers, RateRaisesTimeForItsWindow) {
  eval("ticks: 0 view-awake: :system/view/awake system/view/awake: func [event] [if event/type = 'time [ticks: ticks + 1] none]");
  eval(std::string("tf: ") + viewtest::FACE_SPEC +
       " tf/rate: 50 tf/state: reduce [system/view/platform/make-view tf "
       "system/view/platform/make-null-handle 0 none false]");
  EXPECT_TRUE(pump_until([] { return eval_mold("ticks") != "0" && eval_mold("ticks") != "1"; }));
  eval("system/view/platform/destroy-view tf false ticks: 0");
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  EXPECT_EQ(eval_mold("ticks"), "0");
  eval("system/view/awake: :view-awake");
}

TEST(Timers, RatesThatAreNotPositiveAreRefused) {
  for (const char* rate : {"0", "-2", "0:00:00", "-0:00:01"}) {
    SCOPED_TRACE(rate);
    EXPECT_EQ(eval_mold(std::string("f: ") + viewtest::FACE_SPEC + " f/rate: " + rate +
                        " e: try [system/view/platform/make-view f "
                        "system/view/platform/make-null-handle] reduce [e/id e/arg1]"),
              std::string("[invalid-facet-type ") + rate + "]");
  }
}

}  // namespace
}  // namespace tav::gui
