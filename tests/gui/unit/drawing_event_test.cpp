// Faces the program draws itself: a base or rich-text face without a Draw block is painted by
// its `drawing` actor, once per render, on the frame the render has open.
#include <gtest/gtest.h>

#include <string>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

TEST(DrawingEvent, OnePerRenderOfAFaceWithoutADrawBlock) {
  for (const char* type : {"base", "rich-text"}) {
    eval(std::string("drawn: 0 blocked: 0 "
                     "w: make face! [type: 'window offset: 10x10 size: 120x80 pane: reduce ["
                     "b: make face! [type: '") +
         type +
         " offset: 0x0 size: 50x40 color: 200.0.0 actors: object ["
         "on-drawing: func [face event] [drawn: drawn + 1 "
         "system/view/platform/draw-face face [pen off fill-pen 0.200.0 box 0x0 10x10]]]] "
         "d: make face! [type: 'base offset: 60x0 size: 50x40 color: 0.0.200 "
         "draw: [pen off fill-pen 200.200.0 box 0x0 10x10] "
         "actors: object [on-drawing: func [face event] [blocked: blocked + 1]]]]] "
         "view/no-wait w drawn: 0");
    EXPECT_EQ(eval_mold("system/view/platform/redraw b system/view/platform/redraw d "
                        "system/view/platform/redraw b i: to image! b j: to image! d "
                        "reduce [drawn blocked i/(5x5) i/(30x30) j/(5x5)]"),
              "[2 0 0.200.0.0 200.0.0.0 200.200.0.0]")
        << type;
    eval("unview");
  }
}

TEST(DrawingEvent, AFailingActorKeepsWhatItDrewAndLaterRendersRun) {
  eval("drawn: 0 "
       "w: make face! [type: 'window offset: 10x10 size: 120x80 pane: reduce ["
       "b: make face! [type: 'base offset: 0x0 size: 50x40 color: 200.0.0 actors: object ["
       "on-drawing: func [face event] [drawn: drawn + 1 "
       "system/view/platform/draw-face face [pen off fill-pen 0.200.0 box 0x0 10x10] "
       "1 / 0]]]]] "
       "view/no-wait w drawn: 0");
  EXPECT_EQ(eval_mold("system/view/platform/redraw b system/view/platform/redraw b "
                      "i: to image! b reduce [drawn i/(5x5) i/(30x30)]"),
            "[2 0.200.0.0 200.0.0.0]");
  eval("unview");
}

// The program may close the window it is drawing: the render ends without touching it.
TEST(DrawingEvent, AnActorMayCloseItsWindow) {
  eval("w: make face! [type: 'window offset: 10x10 size: 120x80 pane: reduce ["
       "b: make face! [type: 'base offset: 0x0 size: 50x40 actors: object ["
       "on-drawing: func [face event] [unview/only w "
       "v: make face! [type: 'window size: 30x30] view/no-wait v]]]]] view/no-wait w");
  EXPECT_EQ(eval_mold("system/view/platform/redraw b reduce [none? w/state block? v/state]"),
            "[true true]");
  eval("unview/all");
}

}  // namespace
}  // namespace tav::gui
