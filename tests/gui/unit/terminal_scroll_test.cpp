// The console's terminal on a shown window: moving the view (scroll bar, wheel, row steps), the
// mouse placing the caret and selecting across lines, the drag that scrolls past the face,
// and select-all.
#include <gtest/gtest.h>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// The console engine is not part of these tests: a stand-in holds the fields the terminal
// reads. Repaints are counted instead of painted; the clipboard is a value of the test's own.
const std::string SCROLL_SETUP =
    viewtest::console_standin("type: 'base offset: 0x0 size: 400x300 color: 0.0.128") +
    "redraws: 0 real-redraw: :system/view/platform/redraw "
    "system/view/platform/redraw: func [face] [redraws: redraws + 1] "
    "clip: none real-write-clip: :write-clipboard write-clipboard: func [v] [clip: v true] "
    // A scroll bar or wheel event as the face's actors hand it on: its key and its value.
    "ev: func [k p] [object [key: k picked: p]] "
    "mouse: func [type xy] [make event! compose [type: (to lit-word! type) "
    "  face: ctx/console offset: (xy)]] "
    // The point on line n (counted on screen from the top line) just right of the caret place
    // before index i of that line.
    "at-char: func [n i /local xy] [t/box/text: pick t/lines t/top + n - 1 "
    "  xy: caret-to-offset t/box i "
    "  as-pair t/pad-left + 1 + to integer! xy/x n - 1 * t/line-h + (t/line-h / 2)] "
    "lines: func [n] [repeat i n [t/add-line rejoin [\"line \" i]]] "
    // An input line after the prompt, as `ask` leaves it before its loop runs.
    "start: func [/local s] [t/add-line s: copy \">> \" t/line: tail s t/pos: 0 t/ask?: true "
    "  t/line-pos: length? t/lines t/clear-stack]";

const char* RESET =
    "t/lines: clear head t/lines t/nlines: clear head t/nlines "
    "t/heights: clear head t/heights t/flags: clear head t/flags clear t/selects "
    "t/max-lines: 1000 t/full?: false t/prin?: false t/newline?: true t/redraw-cnt: 0 "
    "t/top: 1 t/scroll-y: 0 t/line-cnt: 0 t/line-pos: 0 t/ask?: false t/pos: 0 "
    "t/mouse-up?: true t/scrolling: 0 t/scroll-pos: 0 "
    "t/screen-cnt: t/screen-cnt-saved: 0 ctx/scroller/position: 1 "
    "ctx/scroller/max-size: t/page-cnt redraws: 0 clip: none t/adjust-console-size "
    "ctx/console/size";

class TerminalScroll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { eval(SCROLL_SETUP); }
  static void TearDownTestSuite() {
    eval("system/view/platform/redraw: :real-redraw write-clipboard: :real-write-clip "
         "unview/all ctx/console: make face! [type: 'base] system/console: none");
  }
  void SetUp() override { eval(RESET); }
};

}  // namespace

TEST_F(TerminalScroll, EventsMoveTheViewByTheirRows) {
  struct {
    const char* key;
    const char* picked;
    int older;  // rows the view moves towards older output
  } cases[] = {
      {"wheel", "-1.0", -3}, {"wheel", "0.5", 1},  {"wheel", "1.5", 4}, {"wheel", "-0.5", -1},
      {"wheel", "2.0", 6},   {"up", "none", 1},    {"down", "none", -1},
      {"track", "ctx/scroller/position - 5", 5},   {"track", "ctx/scroller/position + 2", -2},
      {"end", "none", 0},    {"left", "none", 0},
  };
  for (const auto& c : cases) {
    eval(RESET);
    // A hundred one-row lines, the view moved thirty rows back from the end.
    EXPECT_EQ(eval_mold(std::string("lines 100 t/scroll-lines 30 top: t/top "
                                    "pos: ctx/scroller/position redraws: 0 t/scroll ev '") +
                        c.key + " " + c.picked +
                        " reduce [top - t/top pos - ctx/scroller/position t/scroll-y "
                        "redraws > 0]"),
              "[" + std::to_string(c.older) + " " + std::to_string(c.older) + " 0 " +
                  (c.older ? "true" : "false") + "]")
        << c.key << " " << c.picked;
  }
  EXPECT_EQ(eval_mold("lines 100 t/scroll-lines 30 top: t/top t/scroll ev 'page-up none "
                      "a: top - t/top t/scroll ev 'page-down none t/scroll ev 'page-down none "
                      "reduce [a = t/page-cnt top - t/top = negate t/page-cnt]"),
            "[true true]");
}

TEST_F(TerminalScroll, TheViewStopsAtBothEnds) {
  // At the newest row nothing moves towards newer output; at position 1 nothing older.
  EXPECT_EQ(eval_mold("lines 100 top: t/top pos: ctx/scroller/position t/scroll-lines -1 "
                      "t/scroll ev 'wheel -1.0 reduce [t/top = top ctx/scroller/position = pos "
                      "pos = (ctx/scroller/max-size - t/page-cnt + 1)]"),
            "[true true true]");
  EXPECT_EQ(eval_mold("t/scroll-lines 1000 a: reduce [t/top t/scroll-y ctx/scroller/position] "
                      "t/scroll-lines 1 t/scroll ev 'up none append a reduce [t/top "
                      "ctx/scroller/position]"),
            "[1 0 1 1 1]");
  // Back towards newer output the view stops at the newest row even when its steps would go
  // further, and the scroller's position is back at its end.
  eval(RESET);
  EXPECT_EQ(eval_mold("lines 100 end-top: t/top t/scroll-lines 5 t/scroll-lines -3 "
                      "t/scroll ev 'wheel -1.0 a: reduce [t/top - end-top ctx/scroller/position = "
                      "(ctx/scroller/max-size - t/page-cnt + 1)] "
                      "t/scroll-lines -1 append a t/top - end-top"),
            "[0 true 0]");
  // An empty ring takes no event.
  eval(RESET);
  EXPECT_EQ(eval_mold("t/scroll ev 'wheel 1.0 reduce [t/top ctx/scroller/position redraws]"),
            "[1 1 0]");
}

TEST_F(TerminalScroll, AWrappedTopLineScrollsARowAtATime) {
  // Line 2 wraps into three rows, two of them hidden above the face.
  struct {
    const char* moves;
    const char* view;  // top, then the rows of it hidden
  } cases[] = {
      {"t/scroll-lines 1", "[2 1]"},
      {"t/scroll-lines 2", "[2 0]"},
      {"t/scroll-lines 3", "[1 0]"},
      {"t/scroll-lines 1 t/scroll-lines 1 t/scroll-lines 1", "[1 0]"},
      {"t/scroll-lines -1", "[3 0]"},
      {"t/scroll-lines 3 t/scroll-lines -2", "[2 1]"},
      {"t/scroll-lines 3 t/scroll-lines -4", "[3 0]"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string("lines 30 poke t/nlines 2 3 poke t/heights 2 3 * t/line-h "
                                    "t/line-cnt: t/line-cnt + 2 ctx/scroller/position: 10 "
                                    "t/top: 2 t/scroll-y: -2 * t/line-h ") +
                        c.moves + " reduce [t/top (negate t/scroll-y) / t/line-h]"),
              c.view)
        << c.moves;
  }
}

TEST_F(TerminalScroll, AClickPlacesTheCaretOnTheInputLineAndSelectsNothing) {
  EXPECT_EQ(eval_mold("t/add-line copy \"output\" start append t/line \"abcdef\" t/paint/dry "
                      "xy: at-char 2 6 t/mouse-down mouse 'down xy "
                      "during: reduce [t/mouse-up? ctx/caret/visible? copy t/selects t/pos] "
                      "t/mouse-up mouse 'up xy "
                      "reduce [during t/mouse-up? ctx/caret/visible? t/selects t/pos]"),
            // Index 6 of ">> abcdef" is before the "c": offset 2 in the input.
            "[[false false [2 6] 2] true true [] 2]");
  // A click on output leaves the caret where it was; a click on the prompt puts it at 0.
  EXPECT_EQ(eval_mold("xy: at-char 1 3 t/mouse-down mouse 'down xy t/mouse-up mouse 'up xy "
                      "a: t/pos xy: at-char 2 2 t/mouse-down mouse 'down xy "
                      "t/mouse-up mouse 'up xy reduce [a t/pos]"),
            "[2 0]");
}

TEST_F(TerminalScroll, AClickOnTheLastRowOfAViewScrolledBackLeavesTheCaret) {
  // The row drawn last is older output then, not the input line.
  EXPECT_EQ(eval_mold("lines 100 start append t/line \"abcdef\" t/pos: 3 t/scroll-lines 40 "
                      "t/paint/dry xy: as-pair 20 t/line-y + 2 "
                      "t/mouse-down mouse 'down xy t/mouse-up mouse 'up xy t/pos"),
            "3");
}

TEST_F(TerminalScroll, ADragSelectsAcrossLinesInEitherDirection) {
  struct {
    const char* from;
    const char* to;
    const char* selects;
    const char* copied;
  } cases[] = {
      {"1 3", "2 4", "[1 3 2 4]", "\"ne 1^/lin\""},
      {"3 5", "1 6", "[3 5 1 6]", "\"1^/line 2^/line\""},
      {"2 2", "2 5", "[2 2 2 5]", "\"ine\""},
      // Dragged back onto its anchor: a selection of nothing.
      {"2 2", "2 2", "[2 2 2 2]", "none"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string("lines 3 t/paint/dry t/mouse-down mouse 'down at-char ") +
                        c.from + " t/mouse-move at-char 1 1 t/mouse-move at-char " + c.to +
                        " t/mouse-up mouse 'up at-char " + c.to +
                        " reduce [t/selects t/copy-selection clip]"),
              std::string("[") + c.selects + " true " + c.copied + "]")
        << c.from << " to " << c.to;
  }
  // Once the button is up, moves leave the selection as it was.
  EXPECT_EQ(eval_mold("t/mouse-move at-char 1 1 t/mouse-move at-char 3 3 t/selects"),
            "[2 2 2 2]");
}

TEST_F(TerminalScroll, ADragHeldBelowTheFaceKeepsScrollingUntilTheRelease) {
  EXPECT_EQ(eval_mold("lines 100 t/scroll-lines 40 t/paint/dry top: t/top "
                      "t/mouse-down mouse 'down at-char 1 2 "
                      "t/mouse-move as-pair 50 ctx/console/size/y + 30 "
                      "a: reduce [top - t/top t/scrolling t/scroll-pos/y = t/box/size/y] "
                      "t/on-time t/on-time b: top - t/top "
                      // The selection ends on the line at the face's bottom edge.
                      "c: t/selects/3 - t/top = t/page-cnt "
                      "t/mouse-up mouse 'up as-pair 50 ctx/console/size/y + 30 "
                      "t/on-time reduce [a b c top - t/top t/scrolling t/mouse-up? "
                      "t/selects/1 = top]"),
            "[[-1 -1 true] -3 true -3 0 true true]");
}

TEST_F(TerminalScroll, ADragHeldAboveTheFaceScrollsTowardsOlderOutput) {
  EXPECT_EQ(eval_mold("lines 100 t/scroll-lines 40 t/paint/dry top: t/top "
                      "t/mouse-down mouse 'down at-char 5 2 t/mouse-move 50x-5 "
                      "a: reduce [top - t/top t/scrolling] t/mouse-move 50x-20 "
                      "b: reduce [top - t/top t/scrolling t/scroll-pos t/selects/3 = t/top] "
                      "t/on-time reduce [a b top - t/top]"),
            "[[0 0] [1 1 50x0 true] 2]");
}

TEST_F(TerminalScroll, SelectAllTakesEveryLineWithThePromptAndInput) {
  EXPECT_EQ(eval_mold("lines 2 start append t/line \"1 + 2\" t/select-all "
                      "reduce [t/selects redraws > 0 t/copy-selection clip]"),
            "[[1 1 3 9] true true \"line 1^/line 2^/>> 1 + 2\"]");
  eval(RESET);
  EXPECT_EQ(eval_mold("t/select-all t/mouse-down mouse 'down 5x5 t/mouse-move 9x9 "
                      "t/mouse-up mouse 'up 9x9 reduce [t/selects t/mouse-up? redraws]"),
            "[[] true 0]");
}

}  // namespace tav::gui
