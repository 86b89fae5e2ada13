// The console's input line on a terminal of a shown window: keys and their edits, caret moves
// and word jumps, selection, undo and redo, the history, the clipboard, hidden input and
// completion. Keys are made as key events and handed to the terminal as its face would.
#include <gtest/gtest.h>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// The console engine is not part of these tests: a stand-in holds the fields the terminal
// reads. The event loop is replaced by `script`, the keys a user would type while it runs, and
// the loop's end is counted instead of posted.
const std::string INPUT_SETUP =
    viewtest::console_standin("type: 'base offset: 0x0 size: 400x300 color: 0.0.128") +
    "quits: 0 real-exit: :system/view/platform/exit-event-loop "
    "system/view/platform/exit-event-loop: func [] [quits: quits + 1] "
    "script: [] t/do-ask-loop: func [/no-wait] [do script] "
    // A made event carries a character only: a key without one is handed to the method its
    // row of the key table names.
    "press: func [k flags /local e] [e: make event! compose/only [type: 'key "
    "  face: ctx/console key: (either char? k [k] [#\"a\"]) flags: (flags)] "
    "  either char? k [t/press-key e] [switch k [ "
    "    left [t/move-caret/event -1 e] right [t/move-caret/event 1 e] "
    "    home [press ctl 1 flags] end [press ctl 5 flags] "
    "    up [t/fetch-history 'prev] down [t/fetch-history 'next] "
    "    delete [either e/shift? [t/cut] [t/delete-text e/ctrl?]] insert [t/paste]]]] "
    "ctl: func [n] [to char! n] "
    "typed: func [s] [foreach c s [press c []]] "
    // An input line after the prompt, as `ask` leaves it before its loop runs.
    "start: func [/local s] [t/add-line s: copy \">> \" t/line: tail s t/pos: 0 t/ask?: true "
    "  t/line-pos: length? t/lines t/clear-stack t/history: system/console/history] "
    "state: func [] [reduce [copy t/line t/pos]] "
    // The clipboard is a value of the test's own: its system side is not what is tested.
    "clip: none real-read-clip: :read-clipboard real-write-clip: :write-clipboard "
    "read-clipboard: func [] [clip] write-clipboard: func [v] [clip: v true]";

const char* RESET =
    "t/lines: clear head t/lines t/nlines: clear head t/nlines "
    "t/heights: clear head t/heights t/flags: clear head t/flags clear t/selects "
    "t/max-lines: 1000 t/full?: false t/prin?: false t/newline?: true t/redraw-cnt: 0 "
    "t/top: 1 t/scroll-y: 0 t/line-cnt: 0 t/line-pos: 0 t/hist-idx: 0 t/clipboard: none "
    "t/screen-cnt: t/screen-cnt-saved: 0 ctx/scroller/position: 1 quits: 0 "
    "clear system/console/history script: [] "
    "ctx/scroller/max-size: t/page-cnt t/adjust-console-size ctx/console/size";

class ConsoleInput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { eval(INPUT_SETUP); }
  static void TearDownTestSuite() {
    eval("system/view/platform/exit-event-loop: :real-exit t/ask?: false unview/all "
         "read-clipboard: :real-read-clip write-clipboard: :real-write-clip "
         "ctx/console: make face! [type: 'base] system/console: none");
  }
  void SetUp() override { eval(RESET); }
};

}  // namespace

TEST_F(ConsoleInput, KeysEditTheInput) {
  struct {
    const char* keys;
    const char* state;  // the input and the caret's offset in it
  } cases[] = {
      {"typed \"ab\"", "[\"ab\" 2]"},
      {"typed \"ab\" press 'left [] press 'left [] typed \"x\"", "[\"xab\" 1]"},
      {"press 'left [] press 'right [] typed \"a\" press 'right []", "[\"a\" 1]"},
      {"typed \"abc\" press 'left [] press ctl 8 []", "[\"ac\" 1]"},
      {"typed \"abc\" press 'home [] press 'delete []", "[\"bc\" 0]"},
      {"typed \"abc\" press ctl 1 [] press 'end [] press ctl 8 [] press 'delete []",
       "[\"ab\" 2]"},
      {"press ctl 8 [] press 'delete []", "[\"\" 0]"},
      {"typed \"abc\" press ctl 11 [control]", "[\"\" 0]"},
      {"typed \"one two\" press 'left [control]", "[\"one two\" 4]"},
      {"typed \"one two\" press ctl 127 [control]", "[\"one \" 4]"},
      {"typed \"one two\" press ctl 8 [control]", "[\"one \" 4]"},
      {"typed \"one (two)\" press 'home [] press 'right [control] press 'right [control]",
       "[\"one (two)\" 8]"},
      {"typed \"f/a x\" press 'home [] press 'delete [control]", "[\"/a x\" 0]"},
      // A word jump to the left stops at the input's start and never deletes the prompt.
      {"typed \" ab\" press 'left [control] press 'left [control]", "[\" ab\" 0]"},
      {"typed \" ab\" press 'home [] press 'right [] press ctl 127 [control]", "[\"ab\" 0]"},
      {"typed \"ab\" press ctl 26 [] press ctl 26 []", "[\"\" 0]"},
      {"typed \"ab\" press ctl 26 [] press ctl 26 [] press ctl 25 [] press ctl 25 []",
       "[\"ab\" 2]"},
      {"typed \"abc\" press ctl 8 [] press ctl 26 []", "[\"abc\" 3]"},
      {"typed \"abc\" press ctl 8 [] press ctl 26 [] press ctl 25 []", "[\"ab\" 2]"},
      {"typed \"ab\" press ctl 26 [] typed \"c\" press ctl 25 []", "[\"ac\" 2]"},
      {"press ctl 26 [] press ctl 25 [] press 'F5 [] press ctl 2 []", "[\"\" 0]"},
      // Selections made with Shift are replaced by what is typed next.
      {"typed \"abc\" press 'home [shift] typed \"x\"", "[\"x\" 1]"},
      {"typed \"abc\" press 'home [] press 'right [shift] press 'right [shift] "
       "press 'delete []",
       "[\"c\" 0]"},
      {"typed \"abc\" press 'home [] press 'right [shift] press 'right [shift] "
       "typed \"X\" press ctl 26 [] press ctl 26 []",
       "[\"abc\" 2]"},
      {"typed \"one two\" press 'left [control shift] press ctl 8 []", "[\"one \" 4]"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string("start ") + c.keys + " state"), c.state) << c.keys;
  }
}

TEST_F(ConsoleInput, ShiftMovesMarkTheSelectionOnTheInputLine) {
  EXPECT_EQ(eval_mold("t/add-line copy \"out\" start typed \"abcd\" "
                      "press 'left [shift] press 'left [shift] s1: copy t/selects "
                      "press 'home [shift] s2: copy t/selects press 'right [] "
                      "reduce [s1 s2 t/selects t/pos]"),
            "[[2 8 2 6] [2 8 2 4] [] 1]");
}

TEST_F(ConsoleInput, EnterEndsTheInputAndKeepsItInTheHistoryOnce) {
  EXPECT_EQ(eval_mold("script: [typed \"1 + 2\" press ctl 13 []] "
                      "a: t/ask \">> \" none false b: t/ask \">> \" none false "
                      "script: [press ctl 13 []] c: t/ask \">> \" none false "
                      "reduce [a b c system/console/history quits t/ask? t/lines]"),
            "[\"1 + 2\" \"1 + 2\" \"\" [\"1 + 2\"] 3 false [\">> 1 + 2\" \">> 1 + 2\" \">> \"]]");
  EXPECT_EQ(eval_mold("script: [typed \"x\" press ctl 27 []] t/ask \"? \" none false"),
            "\"x^[\"");
  EXPECT_EQ(eval_mold("own: copy [] script: [typed \"y\" press ctl 13 []] "
                      "t/ask \"? \" own false reduce [own system/console/history]"),
            "[[\"y\"] [\"1 + 2\"]]");
}

TEST_F(ConsoleInput, AQuestionAfterAnOpenLineContinuesIt) {
  EXPECT_EQ(eval_mold("t/add-line copy \"out\" t/prin?: true "
                      "script: [typed \"n\" press ctl 13 []] "
                      "reduce [t/ask \"name? \" none false t/lines t/prin? t/newline?]"),
            "[\"n\" [\"outname? n\"] false true]");
}

TEST_F(ConsoleInput, HiddenInputIsMaskedAndNeverKept) {
  for (const char* prompt : {"\"pw: \"", "\"\""}) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string("script: [typed \"secret\" t/paint/dry shown: copy "
                                    "t/box/text press ctl 13 []] a: t/ask ") +
                        prompt + " none true reduce [a shown system/console/history]"),
              std::string("[\"secret\" ") +
                  (prompt[1] == '"' ? "\"******\"" : "\"pw: ******\"") + " []]")
        << prompt;
  }
}

TEST_F(ConsoleInput, OutputWhileWaitingMovesTheInputBelowIt) {
  EXPECT_EQ(eval_mold("start typed \"ab\" t/add-line copy \"late output\" typed \"c\" "
                      "reduce [t/lines t/line-pos same? head t/line last t/lines]"),
            "[[\">> ab\" \"late output\" \">> abc\"] 3 true]");
}

TEST_F(ConsoleInput, UpAndDownWalkTheHistoryAndComeBackToTheLiveInput) {
  EXPECT_EQ(eval_mold("start append system/console/history [\"new\" \"old\"] typed \"li\" "
                      "press 'left [] out: copy [] "
                      "foreach k [up up up down down down down] [press k [] "
                      "append out state] out"),
            "[\"new\" 3 \"old\" 3 \"old\" 3 \"new\" 3 \"li\" 1 \"li\" 1 \"li\" 1]");
  EXPECT_EQ(eval_mold("start typed \"live\" press 'up [] press 'down [] state"),
            "[\"live\" 4]");
}

TEST_F(ConsoleInput, CopyAndCutWriteTheClipboard) {
  struct {
    const char* keys;
    const char* result;  // clipboard text, input, caret
  } cases[] = {
      {"typed \"whole\" press ctl 3 []", "[\"whole\" \"whole\" 5]"},
      {"typed \"whole\" press ctl 24 []", "[\"whole\" \"\" 0]"},
      {"typed \"abcd\" press 'left [] press 'left [shift] press 'left [shift] press ctl 3 []",
       "[\"bc\" \"abcd\" 1]"},
      {"typed \"abcd\" press 'left [] press 'left [shift] press 'left [shift] press ctl 24 []",
       "[\"bc\" \"ad\" 1]"},
      {"typed \"abcd\" press 'home [] press 'right [shift] press 'right [shift] "
       "press 'delete [shift]",
       "[\"ab\" \"cd\" 0]"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string("write-clipboard \"before\" start ") + c.keys +
                        " append reduce [read-clipboard] state"),
              c.result)
        << c.keys;
  }
}

TEST_F(ConsoleInput, ACopyOverSeveralLinesJoinsThemWithLineFeeds) {
  EXPECT_EQ(eval_mold("foreach s [\"first\" \"middle\" \"last\"] [t/add-line copy s] start "
                      "append t/selects [3 3 1 4] t/copy-selection read-clipboard"),
            "\"st^/middle^/la\"");
  EXPECT_EQ(eval_mold("start typed \"ab\" write-clipboard \"kept\" "
                      "append t/selects reduce [2 5 2 5] press ctl 24 [] "
                      "reduce [read-clipboard state]"),
            "[\"kept\" [\"ab\" 2]]");
}

TEST_F(ConsoleInput, APasteOfSeveralLinesEntersThemOneAtATime) {
  EXPECT_EQ(eval_mold("write-clipboard \"a^/b^/\" script: [press ctl 22 []] "
                      "a: t/ask \">> \" none false "
                      "script: [held: state press ctl 13 []] b: t/ask \">> \" none false "
                      "reduce [a held b system/console/history quits t/clipboard]"),
            "[\"a\" [\"b\" 1] \"b\" [\"b\" \"a\"] 2 none]");
  EXPECT_EQ(eval_mold("clear system/console/history quits: 0 "
                      "write-clipboard \"x = 1^M^/y^/z\" script: [typed \"(\" press ctl 22 []] "
                      "a: t/ask \">> \" none false script: [] b: t/ask \">> \" none false "
                      "script: [held: state press ctl 13 []] c: t/ask \">> \" none false "
                      "reduce [a b held c system/console/history quits]"),
            "[\"(x = 1\" \"y\" [\"z\" 1] \"z\" [\"z\" \"y\" \"(x = 1\"] 2]");
  EXPECT_EQ(eval_mold("clear system/console/history "
                      "write-clipboard \"one line\" start typed \"<>\" press 'left [] "
                      "press 'insert [shift] s: state press ctl 26 [] "
                      "reduce [s state t/clipboard system/console/history]"),
            "[[\"<one line>\" 9] [\"<>\" 1] none []]");
}

TEST_F(ConsoleInput, TabCompletesTheTokenBeforeTheCaret) {
  EXPECT_EQ(eval_mold("start typed \"x: unles 1\" loop 2 [press 'left []] press ctl 9 [] "
                      "reduce [t/lines state]"),
            "[[\">> x: unless 1\"] [\"x: unless 1\" 9]]");
  EXPECT_EQ(eval_mold("start typed \"prin\" press ctl 9 [] "
                      "reduce [t/lines t/line-pos state]"),
            "[[\">> x: unless 1\" \">> prin print\" \">> prin\"] 3 [\"prin\" 4]]");
  EXPECT_EQ(eval_mold("start press ctl 9 [] typed \"print\" press ctl 9 [] "
                      "reduce [last t/lines state]"),
            "[\">> print\" [\"print\" 5]]");
}

TEST_F(ConsoleInput, RunningAFileEntersADoOfIt) {
  EXPECT_EQ(eval_mold("start typed \"half\" t/run-file %run-me.tav "
                      "reduce [state system/console/history quits]"),
            "[[\"do %run-me.tav\" 14] [\"do %run-me.tav\"] 1]");
}

TEST_F(ConsoleInput, KeysOutsideAnInputChangeNothing) {
  EXPECT_EQ(eval_mold("start t/ask?: false typed \"ab\" press ctl 13 [] "
                      "reduce [state quits]"),
            "[[\"\" 0] 0]");
}

}  // namespace tav::gui
