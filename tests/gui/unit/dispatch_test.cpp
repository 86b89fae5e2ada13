// Event dispatch in the View layer: global handlers, actors, bubbling to the parents, the
// answers that end it (stop, done, continue), errors in actors, and the close of a window.
#include <gtest/gtest.h>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

const char* TREE =
    "log: copy [] "
    "dw: make face! [type: 'window size: 200x200 pane: reduce ["
    "dp: make face! [type: 'panel size: 100x100 "
    "actors: object [on-click: func [f e] [append log 'panel none]] pane: reduce ["
    "db: make face! [type: 'button size: 50x20 "
    "actors: object [on-click: func [f e] [append log 'button none]]]]]]] "
    "view/no-wait dw "
    "click: does [system/view/awake make event! [type: 'click face: db]]";

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { eval(TREE); }
  void TearDown() override {
    eval("remove-event-func 'test-handler unview/all");
  }
};

TEST_F(Dispatch, AnswersDecideWhoSeesTheEvent) {
  struct {
    const char* setup;
    const char* mold;
  } cases[] = {
      // Bubbling: the button, then its panel.
      {"", "[none [button panel]]"},
      // done from an actor keeps the parents from seeing it; continue likewise.
      {"db/actors/on-click: func [f e] [append log 'button 'done]", "[done [button]]"},
      {"db/actors/on-click: func [f e] [append log 'button 'continue]", "[continue [button]]"},
      // stop from an actor still lets the parent see it, and stays the answer.
      {"db/actors/on-click: func [f e] [append log 'button 'stop]", "[stop [button panel]]"},
      // A global handler's stop ends it before any actor.
      {"insert-event-func 'test-handler [if event/type = 'click ['stop]]", "[stop []]"},
      // A handler may hand on another event in place of the one it got: no actor takes it.
      {"insert-event-func 'test-handler [if event/type = 'click [make event! [type: 'select "
       "face: db]]]",
       "[none []]"},
  };
  for (const auto& c : cases) {
    eval("clear log remove-event-func 'test-handler db/actors/on-click: func [f e] "
         "[append log 'button none] " +
         std::string(c.setup));
    EXPECT_EQ(eval_mold("r: click reduce [:r log]"), c.mold) << c.setup;
  }
}

TEST_F(Dispatch, AFailingActorIsPrintedAndTheParentsGoOn) {
  eval("clear log db/actors/on-click: func [f e] [append log 'failing 1 / 0]");
  EXPECT_EQ(eval_mold("set/any 'r click reduce [unset? get/any 'r log]"), "[true [failing panel]]");
}

TEST_F(Dispatch, HandlersAreNamedOnce) {
  EXPECT_EQ(eval_mold("reduce [extract system/view/handlers 2 insert-event-func 'radio [none]]"),
            "[[tab field-sync reactors radio debug enter dragging] none]");
  EXPECT_EQ(eval_mold("f: insert-event-func 'test-handler [none] "
                      "reduce [function? :f first system/view/handlers "
                      "insert-event-func 'other :f]"),
            "[true test-handler none]");
  EXPECT_EQ(eval_mold("e: try [remove-event-func func [a b] []] e/id"), "invalid-arg");
}

TEST_F(Dispatch, DefaultHandlersRewriteEvents) {
  EXPECT_EQ(eval_mold("seen: none "
                      "append dp/pane reduce ["
                      "r1: make face! [type: 'radio size: 10x10 data: true] "
                      "r2: make face! [type: 'radio size: 10x10 "
                      "actors: object [on-change: func [f e] [seen: e/type]]]] "
                      "system/view/awake make event! [type: 'click face: r2] "
                      "reduce [r1/data r2/data seen]"),
            "[false true change]");
  EXPECT_EQ(eval_mold("got: none append dp/pane "
                      "ef: make face! [type: 'field size: 10x10 "
                      "actors: object [on-enter: func [f e] [got: e/type]]] "
                      "system/view/awake make event! [type: 'key key: #\"^M\" face: ef] got"),
            "enter");
}

TEST_F(Dispatch, ClosingAWindow) {
  EXPECT_EQ(eval_mold("cw: make face! [type: 'window size: 50x50 "
                      "actors: object [on-close: func [f e] ['continue]]] view/no-wait cw "
                      "r: system/view/awake make event! [type: 'close face: cw] "
                      "reduce [r same? last head cw/parent/pane cw]"),
            "[continue true]");
  EXPECT_EQ(eval_mold("cw/actors: none r: system/view/awake make event! [type: 'close face: cw] "
                      "reduce [r cw/state]"),
            "[done none]");
}

TEST_F(Dispatch, SentEventsStopAtADisabledParent) {
  EXPECT_EQ(eval_mold("dp/enabled?: false send-event make event! [type: 'click face: db]"),
            "false");
}

}  // namespace
}  // namespace tav::gui
