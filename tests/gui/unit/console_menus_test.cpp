// The console's menus and dialogs on faces of a shown window: the settings dialog's checks and
// what its OK and Cancel keep, the swatches, the shortcut list, the about box, and the
// functions that change the console's look.
#include <gtest/gtest.h>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// The console engine is not part of these tests: stand-ins hold the faces and the settings. A
// dialog is kept instead of shown (showing it modal would wait for a user); its faces are
// found by their text and their actors run as a click runs them.
const std::string MENUS_SETUP =
    viewtest::console_standin(
        "type: 'base offset: 0x0 size: 400x300 color: 0.0.128 menu: none") +
    "quits: 0 real-exit: :system/view/platform/exit-event-loop "
    "system/view/platform/exit-event-loop: func [] [quits: quits + 1] "
    "real-view: :view shown: none shown-flags: none "
    "view: func [spec /flags f] [shown: spec shown-flags: f] "
    "real-unview: :unview closed: none "
    "unview: func [/only f] [closed: f] "
    // The face of a dialog whose text is the one given, at any depth.
    "find-face: func [root text /local found] [found: none "
    "  foreach-face/with root [found: face] [face/text = text] found] "
    "click: func [f /local act] [act: any [select f/actors 'on-click "
    "  select f/actors 'on-down select f/actors 'on-change] act f none] "
    // The colour swatches have no text: the n-th base face of a group box.
    "swatch: func [box n /local all-bases] [all-bases: copy [] "
    "  foreach f box/pane [if f/type = 'base [append all-bases f]] pick all-bases n] "
    "fields: func [] [collect [foreach-face/with shown [keep face] [face/type = 'field]]] "
    "box-field: func [label] [foreach f get in find-face shown label 'pane [ "
    "  if f/type = 'field [return f]]] "
    "defaults: [win-pos: 200x200 win-size: 640x480 font-name: \"mono\" font-size: 11 "
    "  font-color: 0.0.0 background: 252.252.252 mouse-paste?: false menu-bar?: true "
    "  dark-mode?: no buffer-lines: 10000 history: []]";

const char* RESET =
    "ctx/cfg: copy/deep defaults shown: none shown-flags: none closed: none quits: 0 "
    "t/ask?: false t/max-lines: 10000 ctx/console/color: 252.252.252 ctx/console/menu: none "
    "ctx/win/menu: none";

class ConsoleMenus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { eval(MENUS_SETUP); }
  static void TearDownTestSuite() {
    // The look is shared with the other terminal tests: it goes back to the theme's colours.
    eval("ctx/set-background 252.252.252 ctx/set-font-color 0.0.0 ctx/caret-clr: 0.0.0.1 "
         "view: :real-view unview: :real-unview "
         "system/view/platform/exit-event-loop: :real-exit unview/all "
         "ctx/console: make face! [type: 'base] ctx/cfg: none system/console: none");
  }
  void SetUp() override { eval(RESET); }
};

}  // namespace

TEST_F(ConsoleMenus, SettingsOkRefusesABadFieldAndStoresNothing) {
  struct {
    const char* field;  // the group box or label the field follows
    const char* typed;
  } cases[] = {
      {"Background color", "abc"},      {"Background color", "1.2"},
      {"Background color", "1.2.3.4.5"}, {"Background color", ""},
      {"Font color", "#FF0000"},         {"Font color", "red"},
      {"Buffer Lines:", "0"},            {"Buffer Lines:", "-5"},
      {"Buffer Lines:", "many"},         {"Buffer Lines:", "2.5"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    std::string target = std::string(c.field) == "Buffer Lines:"
                             ? "last fields"
                             : "box-field \"" + std::string(c.field) + "\"";
    EXPECT_EQ(eval_mold("before: mold ctx/cfg ctx/show-cfg-dialog "
                        "f: " + target + " f/text: \"" + c.typed + "\" "
                        "click find-face shown \"OK\" "
                        "reduce [before = mold ctx/cfg none? closed t/max-lines ctx/console/color]"),
              "[true true 10000 252.252.252]")
        << c.field << " " << c.typed;
  }
}

TEST_F(ConsoleMenus, SettingsOkStoresAndAppliesEveryField) {
  EXPECT_EQ(eval_mold("ctx/show-cfg-dialog fs: fields "
                      "start: reduce [fs/1/data fs/2/data fs/3/data] "
                      "fs/1/text: \"10.20.30\" fs/2/text: \"200.100.50\" fs/3/text: \"500\" "
                      "m: find-face shown \"Mouse Copy&&Paste\" m/data: true "
                      "click find-face shown \"OK\" "
                      "reduce [start same? closed shown "
                      "select ctx/cfg 'background select ctx/cfg 'font-color "
                      "select ctx/cfg 'buffer-lines select ctx/cfg 'mouse-paste? t/max-lines "
                      "ctx/console/color ctx/font/color t/foreground ctx/caret-clr "
                      "ctx/console/menu shown-flags]"),
            "[[252.252.252 0.0.0 10000] true 10.20.30 200.100.50 500 true 500 10.20.30 "
            "200.100.50 200.100.50 200.100.50.1 none modal]");
  // Mouse mode off again brings the context menu back.
  EXPECT_EQ(eval_mold("ctx/show-cfg-dialog m: find-face shown \"Mouse Copy&&Paste\" m/data: false "
                      "click find-face shown \"OK\" "
                      "reduce [select ctx/cfg 'mouse-paste? same? ctx/console/menu "
                      "ctx/console-menu]"),
            "[false true]");
}

TEST_F(ConsoleMenus, SwatchesApplyAtOnceAndOnlyOkStoresThem) {
  EXPECT_EQ(eval_mold("ctx/show-cfg-dialog bg: find-face shown \"Background color\" "
                      "fg: find-face shown \"Font color\" "
                      "click swatch bg 2 click swatch fg 9 "
                      "a: reduce [ctx/console/color get in box-field \"Background color\" 'data ctx/font/color "
                      "fg/pane/8/data] "
                      "click find-face shown \"Cancel\" "
                      "reduce [a same? closed shown select ctx/cfg 'background "
                      "select ctx/cfg 'font-color]"),
            "[[0.43.54 0.43.54 130.187.130 130.187.130] true 252.252.252 0.0.0]");
  EXPECT_EQ(eval_mold("ctx/show-cfg-dialog click swatch find-face shown \"Background color\" 7 "
                      "click find-face shown \"OK\" select ctx/cfg 'background"),
            "255.255.255");
}

TEST_F(ConsoleMenus, TheDarkModeBoxFollowsThePlatformAndStoresAWord) {
  EXPECT_EQ(eval_mold("ctx/show-cfg-dialog d: find-face shown \"Dark Mode\" "
                      "reduce [d/enabled? = to logic! system/view/platform/support-dark-mode? "
                      "d/data]"),
            "[true false]");
  EXPECT_EQ(eval_mold("d/data: true click d a: select ctx/cfg 'dark-mode? "
                      "click find-face shown \"Cancel\" reduce [a select ctx/cfg 'dark-mode?]"),
            "[true true]");
}

TEST_F(ConsoleMenus, TheShortcutListEndsTheInput) {
  EXPECT_EQ(eval_mold("printed: none real-print: :print print: func [v] [printed: v] "
                      "t/ask?: true t/line: copy \"\" ctx/show-shortcuts print: :real-print "
                      "lines: split printed lf "
                      "reduce [length? lines first lines last lines pick lines 2 "
                      "pick lines 13 pick lines 14 quits]"),
            "[15 \"\" \"^-^-\" \"^-^-Ctrl + C       Copy selected text\" "
            "\"^-^-Alt + O        Open settings dialog\" "
            "\"^-^-F12            Toggle menu bar\" 1]");
  // Outside an input nothing is ended.
  EXPECT_EQ(eval_mold("t/ask?: false quits: 0 print: func [v] [] ctx/show-shortcuts print: :real-print quits"), "0");
}

TEST_F(ConsoleMenus, TheOptionsChooseTheMenus) {
  struct {
    const char* setting;
    const char* menus;  // window menu shown, context menu shown
  } cases[] = {
      {"menu-bar?: true mouse-paste?: false", "[true true]"},
      {"menu-bar?: false mouse-paste?: true", "[false false]"},
      // Only the word true turns an option on.
      {"menu-bar?: yes mouse-paste?: yes", "[false true]"},
  };
  for (const auto& c : cases) {
    eval(RESET);
    EXPECT_EQ(eval_mold(std::string("foreach [k v] [") + c.setting +
                        "] [put ctx/cfg k v] ctx/toggle-menu-bar ctx/toggle-mouse-mode "
                        "reduce [same? ctx/win/menu ctx/win-menu "
                        "same? ctx/console/menu ctx/console-menu]"),
              c.menus)
        << c.setting;
  }
}

TEST_F(ConsoleMenus, TheLookSurvivesAZoom) {
  EXPECT_EQ(eval_mold("ctx/set-background 10.20.30 ctx/set-font-color 1.2.3 "
                      "t/zoom make font! [name: ctx/font/name size: 12 color: 1.2.3] "
                      "reduce [ctx/console/color t/foreground ctx/caret-clr ctx/caret/color]"),
            "[10.20.30 1.2.3 1.2.3.1 1.2.3.1]");
  eval("t/update-cfg ctx/font none t/resize ctx/console/size");
}

TEST_F(ConsoleMenus, TheAboutBoxShowsTheLogoAndTheLinks) {
  EXPECT_EQ(eval_mold("ctx/display-about "
                      "links: collect [foreach-face/with shown [keep face/text] "
                      "[all [face/type = 'text find face/text \"://\"]]] "
                      "logo: collect [foreach-face/with shown [keep face/image] "
                      "[image? face/image]] "
                      "reduce [shown/text shown/size shown/color sort copy shown-flags "
                      "length? links url? load first links "
                      "same? first logo ctx/fstk-logo ctx/fstk-logo/size "
                      "not none? find-face shown \"Tav Programming Language\"]"),
            "[\"About\" 360x330 58.58.60 [modal no-title] 2 true true 62x63 true]");
  EXPECT_EQ(eval_mold("click find-face shown \"Close\" same? closed shown"), "true");
}

}  // namespace tav::gui
