// The console's terminal on a shown window: the line ring and its bound, how printed text
// becomes lines, the cut of long texts, repaint batching, geometry, selection runs,
// highlighting and the print hooks.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStyleHints>

#include "platform/console.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// The console engine is not part of these tests: a stand-in holds the two fields the terminal
// reads. The console face is a rich-text face, the kind the backend lets its program paint.
const std::string CONSOLE_SETUP =
    viewtest::console_standin("type: 'rich-text offset: 0x0 size: 400x300 color: 0.0.128") +
    // Counts the forced repaints instead of painting.
    "redraws: 0 real-redraw: :system/view/platform/redraw "
    "system/view/platform/redraw: func [face] [redraws: redraws + 1]";

const char* RESET =
    "t/lines: clear head t/lines t/nlines: clear head t/nlines "
    "t/heights: clear head t/heights t/flags: clear head t/flags clear t/selects "
    "t/max-lines: 1000 t/full?: false t/prin?: false t/newline?: true t/redraw-cnt: 0 "
    "t/top: 1 t/scroll-y: 0 t/line-cnt: 0 t/line-pos: 0 t/color?: false "
    "t/screen-cnt: t/screen-cnt-saved: 0 ctx/scroller/position: 1 "
    "ctx/scroller/max-size: t/page-cnt redraws: 0 t/adjust-console-size ctx/console/size";

class Terminal : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { eval(CONSOLE_SETUP); }
  static void TearDownTestSuite() {
    // The print hooks stay installed: a console without a window drops what they bring.
    eval("system/view/platform/redraw: :real-redraw unview/all "
         "ctx/console: make face! [type: 'base] system/console: none");
  }
  void SetUp() override { eval(RESET); }
};

TEST_F(Terminal, TheRingKeepsTheNewestLinesThroughCompactions) {
  EXPECT_EQ(eval_mold("t/max-lines: 3 foreach c \"abcdefghijk\" [t/add-line form c] "
                      "reduce [t/lines t/full? length? t/nlines length? t/heights "
                      "length? t/flags t/line-cnt]"),
            "[[\"i\" \"j\" \"k\"] true 3 3 3 3]");
  // Storage stays within twice the bound: the dropped entries are compacted away.
  EXPECT_EQ(eval_mold("loop 20 [t/add-line \"z\"] reduce [length? t/lines "
                      "(length? head t/lines) <= 6 (length? head t/nlines) <= 6 t/line-cnt]"),
            "[3 true true 3]");
}

TEST_F(Terminal, TheViewFollowsTheNewestLine) {
  // One row a line: the last row ends at the bottom of the face, the scroller at its end.
  EXPECT_EQ(eval_mold("loop 40 [t/vprint \"row\" true] "
                      "reduce [t/line-cnt t/top = (40 - t/page-cnt + 1) t/scroll-y "
                      "ctx/scroller/max-size = (t/line-cnt - 1 + t/page-cnt) "
                      "ctx/scroller/position = (ctx/scroller/max-size - t/page-cnt + 1)]"),
            "[40 true 0 true true]");
  // Scrolling three rows back shows older lines; the next output brings the view back.
  EXPECT_EQ(eval_mold("end-top: t/top t/scroll-lines 3 older: t/top t/vprint \"new\" true "
                      "reduce [end-top - older t/top - end-top]"),
            "[3 1]");
}

TEST_F(Terminal, ALoweredBoundTrimsTheRingAtTheNextLine) {
  EXPECT_EQ(eval_mold("repeat i 10 [t/add-line form i] t/max-lines: 4 t/add-line \"new\" "
                      "reduce [t/lines t/full? t/line-cnt length? t/nlines]"),
            "[[\"8\" \"9\" \"10\" \"new\"] true 4 4]");
  // A raised bound lets the ring grow again.
  EXPECT_EQ(eval_mold("t/max-lines: 6 t/add-line \"more\" reduce [length? t/lines t/full?]"),
            "[5 false]");
}

TEST_F(Terminal, PrintedTextBecomesLines) {
  struct {
    const char* outputs;
    const char* lines;
  } cases[] = {
      {"t/vprint \"a\" false t/vprint \"b\" false t/vprint \"c\" true t/vprint \"d\" true",
       "[\"abc\" \"d\"]"},
      {"t/vprint \"x^/\" true", "[\"x\" \"\"]"},
      {"t/vprint \"p\" false t/vprint \"a^/b\" true", "[\"pa\" \"b\"]"},
      {"t/vprint \"one\" true t/vprint \"two\" false", "[\"one\" \"two\"]"},
      {"t/vprint \"a^/b^/c\" false t/vprint \"d\" true", "[\"a\" \"b\" \"cd\"]"},
      // An open line that holds the input of the latest ask is not continued.
      {"t/add-line copy \">> 1\" t/line-pos: 1 t/prin?: true t/vprint \"x^/y\" true",
       "[\">> 1\" \"x\" \"y\"]"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string(c.outputs) + " t/lines"), c.lines) << c.outputs;
  }
}

TEST_F(Terminal, TheRingKeepsItsOwnCopyOfAPrintedBuffer) {
  EXPECT_EQ(eval_mold("buf: copy \"first\" t/vprint buf true clear buf append buf \"second\" "
                      "t/vprint buf false t/lines"),
            "[\"first\" \"second\"]");
}

TEST_F(Terminal, OutputBeforeTheConsoleHasAWindowIsDropped) {
  EXPECT_EQ(eval_mold("shown: ctx/console ctx/console: make face! [type: 'base] "
                      "t/vprint \"lost\" true ctx/console: shown t/lines"),
            "[]");
}

TEST_F(Terminal, VeryLongTextKeepsItsHeadAndTail) {
  EXPECT_EQ(eval_mold("system/console/size: 42x10 t/max-lines: 10000 "
                      "s: make string! 150000 repeat i 15000 [append s \"0123456789\"] "
                      "change skip s 89999 \"A\" change skip s 140000 \"B\" t/vprint s true "
                      "reduce [length? t/lines length? pick t/lines 2143 last pick t/lines 2143 "
                      "pick t/lines 2144 "
                      "length? first t/lines length? last t/lines "
                      "(rejoin t/lines) = rejoin [copy/part s 90000 \"...\" "
                      "copy skip tail s -10000]]"),
            // 90000 characters in lines of 42, the "..." line, 10000 in lines of 42.
            "[2383 36 #\"A\" \"...\" 42 4 true]");
}

TEST_F(Terminal, LinesOfThirtyWidthsAreCutToTheWidth) {
  EXPECT_EQ(eval_mold("system/console/size: 10x10 "
                      "t/vprint append/dup make string! 300 #\"a\" 299 true "
                      "t/vprint append/dup make string! 300 #\"b\" 300 true "
                      "reduce [length? t/lines length? first t/lines length? last t/lines]"),
            "[31 299 10]");
}

TEST_F(Terminal, AConsoleNarrowerThanACharacterStillStoresEveryCharacter) {
  EXPECT_EQ(eval_mold("t/adjust-console-size 20x300 "
                      "t/vprint append/dup make string! 40 #\"x\" 40 true "
                      "reduce [system/console/size/x <= 0 length? t/lines rejoin t/lines]"),
            "[true 40 \"" + std::string(40, 'x') + "\"]");
}

TEST_F(Terminal, RepaintsAreBatched) {
  struct {
    const char* outputs;
    const char* counts;  // forced repaints, then outputs still pending
  } cases[] = {
      {"loop 21 [t/vprint \"l\" true]", "[0 21]"},
      {"loop 22 [t/vprint \"l\" true]", "[1 0]"},
      {"loop 45 [t/vprint \"l\" true]", "[2 1]"},
      {"loop 1001 [t/vprint \"p\" false]", "[0 1001]"},
      {"loop 1002 [t/vprint \"p\" false]", "[1 0]"},
      // One text of 250 lines repaints after each hundred of them.
      {"s: make string! 500 loop 250 [append s \"l^/\"] t/vprint s true", "[2 1]"},
      {"t/vprint \"l\" true t/on-time", "[1 0]"},
      {"t/on-time", "[0 0]"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string(c.outputs) + " reduce [redraws t/redraw-cnt]"), c.counts)
        << c.outputs;
  }
}

TEST_F(Terminal, GeometryComesFromTheFontAndTheFaceSize) {
  EXPECT_EQ(eval_mold("t/box/text: \"XXXXXXXXXX\" sz: size-text t/box w: sz/x + 1 * 0.1 "
                      "reduce [t/char-width = w t/line-h > 0 t/page-cnt = "
                      "to integer! 300 / t/line-h ctx/caret/size/y = t/line-h]"),
            "[true true true true]");
  EXPECT_EQ(eval_mold("t/char-width: 8.0 t/line-h: 16 t/adjust-console-size 700x320 "
                      "system/console/size"),
            "84x20");
  eval("t/update-cfg ctx/font none");
}

TEST_F(Terminal, ZoomingToAChosenFontMeasuresItAgain) {
  EXPECT_EQ(eval_mold("h: t/line-h f: make font! [name: ctx/font/name size: 22] t/zoom f "
                      "reduce [same? t/box/font f t/box/line-spacing = t/line-h t/line-h > h]"),
            "[true true true]");
  eval("t/update-cfg ctx/font none t/resize ctx/console/size");
}

TEST_F(Terminal, PaintingRemeasuresTheVisibleLines) {
  // A line that wraps into more rows once the face narrows.
  EXPECT_EQ(eval_mold("t/add-line append/dup make string! 100 #\"w\" 100 "
                      "before: t/line-cnt t/resize 220x300 t/paint/dry "
                      "after: t/line-cnt t/resize ctx/console/size "
                      "reduce [after > before (first t/heights) = (after * t/line-h)]"),
            "[true true]");
}

// The console face painted by its drawing actor, as the console window paints it: the lines'
// text, the selection's backdrop, the caret placed after the input, the scroller following
// lines that wrap.
TEST_F(Terminal, PaintingShowsTheRingOnTheConsoleFace) {
  eval("ctx/console/actors: object [on-drawing: func [face event] [t/paint]] t/update-theme "
       "foreach s [\"first line\" \"second line\"] [t/add-line copy s] "
       "t/line: skip copy \">> ab\" 3 t/add-line head t/line t/line-pos: 3 t/pos: 2 "
       "t/ask?: true append t/selects [2 1 2 7] real-redraw ctx/console "
       "img: to image! ctx/console "
       // Pixels of a row's band, from column c1 up to column c2, that pass the test.
       "count-px: func [row c1 c2 test /local n c x0 x1] [n: 0 "
       "x0: to integer! t/pad-left + (c1 * t/char-width) "
       "x1: to integer! t/pad-left + (c2 * t/char-width) "
       "repeat y t/line-h [repeat x x1 - x0 [c: pick img as-pair x0 + x "
       "row * t/line-h + y if test c [n: n + 1]]] n] "
       "ink?: func [c] [c/1 < 100] "
       // Grey half-transparent over the near-white background.
       "marked?: func [c] [all [c/1 = 190 c/2 = 190 c/3 = 190]]");
  EXPECT_EQ(eval_mold("reduce [(count-px 0 0 10 :ink?) > 20 (count-px 2 0 5 :ink?) > 10 "
                      "count-px 3 0 10 :ink? count-px 0 0 10 :marked? "
                      "(count-px 1 0 6 :marked?) > 100 count-px 1 7 11 :marked?]"),
            "[true true 0 0 true 0]");
  // The caret stands after "ab" on the third row.
  EXPECT_EQ(eval_mold("xy: caret-to-offset t/box 6 reduce [ctx/caret/visible? "
                      "ctx/caret/offset = as-pair t/pad-left + to integer! xy/x 2 * t/line-h "
                      "t/box/text]"),
            "[true true \">> ab\"]");
  // Narrowed, the first line wraps: painting measures it again and the scroller follows.
  EXPECT_EQ(eval_mold("poke t/lines 1 append/dup make string! 100 #\"w\" 100 "
                      "t/resize 220x300 real-redraw ctx/console t/resize ctx/console/size "
                      "reduce [t/line-cnt > 3 ctx/scroller/max-size = "
                      "(t/line-cnt - 1 + t/page-cnt)]"),
            "[true true]");
  eval("ctx/console/actors: none t/ask?: false t/line-pos: 0 t/pos: 0 "
       "t/line: make string! 0");
}

TEST_F(Terminal, HiddenInputIsPaintedAsStars) {
  EXPECT_EQ(eval_mold("t/add-line copy \">> \" t/set-flag true append last t/lines \"12345\" "
                      "t/paint/dry reduce [first t/flags t/box/text]"),
            "[3 \">> *****\"]");
}

TEST_F(Terminal, CleanLeavesOnlyTheInputLine) {
  EXPECT_EQ(eval_mold("t/max-lines: 3 foreach c \"abcde\" [t/add-line form c] "
                      "t/line: skip copy \">> typed\" 3 t/clean "
                      "reduce [t/lines t/full? t/top t/line-cnt length? t/nlines "
                      "length? t/flags t/scroll-y]"),
            "[[\">> typed\"] false 1 1 1 1 0]");
}

TEST_F(Terminal, TheCaretFollowsTheInputUnlessItIsBelowTheFace) {
  EXPECT_EQ(eval_mold("t/add-line copy \"out\" t/line: skip copy \">> abc\" 3 "
                      "t/add-line head t/line t/line-pos: 2 t/pos: 2 t/ask?: true "
                      "t/box/text: head t/line t/update-caret "
                      "xy: caret-to-offset t/box 2 + index? t/line "
                      "reduce [ctx/caret/visible? ctx/caret/offset = as-pair "
                      "t/pad-left + to integer! xy/x t/line-h + to integer! xy/y]"),
            "[true true]");
  EXPECT_EQ(eval_mold("t/scroll-y: 0 - (t/line-h * 40) t/update-caret ctx/caret/visible?"),
            "true");
  EXPECT_EQ(eval_mold("t/scroll-y: t/line-h * 40 t/update-caret ctx/caret/visible?"), "false");
  eval("t/ask?: false t/line-pos: 0 t/pos: 0 t/line: make string! 0");
}

TEST_F(Terminal, SelectionRuns) {
  struct {
    const char* selects;
    int line;
    const char* runs;
  } cases[] = {
      {"[1 3 3 2]", 1, "[3x4 backdrop 128.128.128.128]"},
      {"[3 2 1 3]", 1, "[3x4 backdrop 128.128.128.128]"},
      {"[1 3 3 2]", 2, "[1x5 backdrop 128.128.128.128]"},
      {"[3 2 1 3]", 3, "[1x1 backdrop 128.128.128.128]"},
      {"[2 4 2 2]", 2, "[2x2 backdrop 128.128.128.128]"},
      {"[2 2 2 2]", 2, "[]"},
      {"[1 3]", 1, "[]"},
      {"[1 3 2 2]", 3, "[]"},
  };
  eval("t/update-theme foreach s [\"abcdef\" \"ghijk\" \"lmn\"] [t/add-line copy s]");
  for (const auto& c : cases) {
    EXPECT_EQ(eval_mold("clear t/selects append t/selects " + std::string(c.selects) +
                        " out: copy [] t/mark-selects out " + std::to_string(c.line) + " out"),
              c.runs)
        << c.selects << " line " << c.line;
  }
}

TEST_F(Terminal, HighlightingColoursTokensByTheTheme) {
  struct {
    const char* text;
    const char* runs;
  } cases[] = {
      {"x: 12 \"ab\"", "[1x2 0.0.255 4x2 255.0.0 7x4 120.120.61]"},
      {"'w http://a.b", "[1x2 0.0.255 bold 4x10 0.0.255 underline]"},
      {"x: 1 \"ab", "[1x2 0.0.255 4x1 255.0.0]"},
      {"1 ) 2.5", "[1x1 255.0.0 5x3 255.0.0]"},
      {"plain word [block]", "[]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(eval_mold("out: copy [] highlight/add-styles {" + std::string(c.text) +
                        "} out t/theme out"),
              c.runs)
        << c.text;
  }
}

TEST_F(Terminal, TheThemeGivesTheTextBackgroundAndSelectionColours) {
  EXPECT_EQ(eval_mold("t/update-theme reduce [t/foreground t/background t/select-bg "
                      "ctx/console/color]"),
            "[0.0.0 252.252.252 [backdrop 128.128.128.128] 252.252.252]");
}

TEST_F(Terminal, PrintReachesTheTerminalOnceTheHooksAreInstalled) {
  EXPECT_EQ(eval_mold("print \"before\" t/lines"), "[]");
  EXPECT_EQ(eval_mold("ctx/add-gui-print print \"hooked\" prin \"a\" prin \"b\" print \"\" "
                      "t/lines"),
            "[\"hooked\" \"ab\"]");
  // The console's own printing code is not traced with the user's code.
  EXPECT_EQ(eval_mold("names: copy [] "
                      "tracer: func [event code offset value ref frame] [append names :ref] "
                      "do/trace [print \"traced\"] :tracer "
                      "reduce [last t/lines to logic! find names 'print "
                      "none? find names 'add-line none? find names 'vprint]"),
            "[\"traced\" true true true]");
  eval("t/lines: clear head t/lines t/nlines: clear head t/nlines "
       "t/heights: clear head t/heights t/flags: clear head t/flags "
       "t/line-cnt: 0 t/prin?: false t/newline?: true "
       "t/vprint \"hooked\" true t/vprint \"ab\" true");
  // The runtime's own output comes through one reused buffer, its CR LF as LF.
  console::TypedArg one = console::typed_text("one");
  console::print_typed_list(1, &one);
  console::TypedArg two = console::typed_text("two\r\nthree");
  console::print_typed_list(1, &two);
  EXPECT_EQ(eval_mold("t/lines"), "[\"hooked\" \"ab\" \"onetwo\" \"three\"]");
}

TEST(ConsoleRoutines, CaretBlinkTimeIsHalfTheCursorFlash) {
  int flash = QGuiApplication::styleHints()->cursorFlashTime();
  EXPECT_EQ(eval_mold("get-caret-blink-time"), std::to_string(flash > 0 ? flash / 2 : -1));
}

}  // namespace
}  // namespace tav::gui
