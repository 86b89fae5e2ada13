// Text: fonts from font! objects, the text-box layout behind size-text and the caret
// functions, the rich-text dialect, geometry helpers, and text drawn by the Draw dialect,
// all with the pinned DejaVu fonts.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/stack.h"
#include "evaluator/interpreter.h"
#include "scanner/lexer.h"
#include "view/backend/qt/draw/draw_dialect.h"
#include "view/backend/qt/fonts.h"
#include "view_test_helpers.h"

#ifndef TAV_GOLDEN_DIR
#error "TAV_GOLDEN_DIR names the folder of the golden images"
#endif

namespace tav::gui {
namespace {

// Fontconfig reads its configuration once, before any test runs: the pinned one is named
// before main.
const bool fonts_pinned = [] {
  setenv("FONTCONFIG_FILE", TAV_GOLDEN_DIR "/../../fixtures/fonts.conf", 0);
  return true;
}();

using viewtest::eval;
using viewtest::eval_mold;

// A rich-text face with the words the backend keeps its layout in.
std::string rich(const std::string& text, const std::string& size, const std::string& extra = "") {
  return "make face! [type: 'rich-text text: " + text + " size: " + size +
         " font: make font! [name: \"Sans\" size: 12] tabs: none line-spacing: none "
         "handles: none " + extra + "]";
}

QFont font_from(const std::string& spec) {
  Cell font = viewtest::eval_value("make font! [" + spec + "]");
  return fonts::font_of(&font);
}

TEST(Fonts, NamesGoThroughFontconfigAndPointsBecomePixelsAt96Dpi) {
  ASSERT_TRUE(fonts_pinned);
  struct Case {
    const char* spec;
    const char* family;
    int pixels;
  } cases[] = {
      {"name: \"Sans\" size: 12", "DejaVu Sans", 16},
      {"name: \"Serif\" size: 9", "DejaVu Serif", 12},
      {"name: \"Monospace\" size: 15", "DejaVu Sans Mono", 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec);
    QFontInfo info(font_from(c.spec));
    EXPECT_EQ(info.family().toStdString(), c.family);
    EXPECT_EQ(info.pixelSize(), c.pixels);
  }
}

TEST(Fonts, StylesAndWeight) {
  QFont all = font_from("name: \"Sans\" size: 10 style: [bold italic underline strike]");
  EXPECT_EQ(all.weight(), QFont::Bold);
  EXPECT_TRUE(all.italic());
  EXPECT_TRUE(all.underline());
  EXPECT_TRUE(all.strikeOut());
  QFont light = font_from("name: \"Sans\" size: 10 style: 'bold weight: 300");
  EXPECT_EQ(light.weight(), 300);
  EXPECT_FALSE(light.italic());
}

TEST(Fonts, TheFontIsKeptInItsStateAndRemadeWhenItsShapeChanges) {
  eval("tf: make font! [name: \"Sans\" size: 12]");
  Cell font = viewtest::eval_value("tf");
  EXPECT_EQ(QFontInfo(fonts::font_of(&font)).pixelSize(), 16);
  EXPECT_EQ(eval_mold("handle? first tf/state"), "true");
  std::string kept = eval_mold("first tf/state");
  // A realised font tells the backend of its changes: the size remakes it under the same id.
  eval("tf/size: 24");
  EXPECT_EQ(eval_mold("first tf/state"), kept);
  font = viewtest::eval_value("tf");
  EXPECT_EQ(QFontInfo(fonts::font_of(&font)).pixelSize(), 32);
  eval("tf/color: 255.0.0");
  EXPECT_EQ(QFontInfo(fonts::font_of(&font)).pixelSize(), 32);
}

TEST(SizeText, KnownStringsInThePinnedFonts) {
  // DejaVu Sans Mono advances 1233 / 2048 em per character: 9.63 px at 16 px.
  eval("mono: make font! [name: \"Monospace\" size: 12]");
  std::string w4 = eval_mold("first size-text make face! [type: 'text text: \"abcd\" font: mono]");
  EXPECT_NEAR(std::stod(w4), 4 * 16 * 1233.0 / 2048, 0.1);
  std::string w8 = eval_mold("first size-text/with make face! [type: 'text text: \"abcd\" font: mono] \"abcdefgh\"");
  EXPECT_NEAR(std::stod(w8), 8 * 16 * 1233.0 / 2048, 0.1);
  // A base face lays its text out: two lines are twice as high as one, trailing blanks
  // take no width.
  std::string one = eval_mold("second size-text make face! [type: 'base text: \"ab\" font: mono]");
  std::string two = eval_mold("second size-text make face! [type: 'base text: \"ab^/cd\" font: mono]");
  EXPECT_NEAR(std::stod(two), 2 * std::stod(one), 0.01);
  EXPECT_EQ(eval_mold("size-text make face! [type: 'base text: \"ab  \" font: mono]"),
            eval_mold("size-text make face! [type: 'base text: \"ab\" font: mono]"));
  EXPECT_EQ(eval_mold("size-text make face! [type: 'base text: none]"), "none");
  EXPECT_EQ(eval_mold("e: try [system/view/platform/size-text make face! [type: 'base] 12] "
                      "reduce [e/id e/arg1]"),
            "[invalid-type integer!]");
  std::cout << w4 << " " << w8 << " " << one << " " << two << "\n";
}

// A wrapped text with a character above U+FFFF and a combining mark: every caret position
// between clusters comes back from its own coordinates.
TEST(Carets, RoundTripsOnWrappedText) {
  // U+1F600 is two UTF-16 units; e U+0301 is one cluster of two characters.
  eval("rt: " + rich("\"ab cd ^(1F600)x e^(0301)f ghij klm nop\"", "60x200"));
  int length = std::stoi(eval_mold("length? rt/text"));
  EXPECT_EQ(length, 25);
  EXPECT_GT(std::stoi(eval_mold("rich-text/line-count? rt")), 2);
  for (int i = 1; i <= length + 1; ++i) {
    SCOPED_TRACE(i);
    std::string at = "caret-to-offset rt " + std::to_string(i);
    int back = std::stoi(eval_mold("offset-to-caret rt " + at));
    // Position 11 lies between e and its accent: its caret is an edge of the cluster.
    if (i == 11) EXPECT_TRUE(back == 10 || back == 12) << back;
    else EXPECT_EQ(back, i);
    std::cout << i << " " << eval_mold(at) << " " << eval_mold("caret-to-offset/lower rt " + std::to_string(i)) << "\n";
  }
  // Past the end of the text, the caret is after the last character.
  EXPECT_EQ(eval_mold("offset-to-caret rt 500x500"), std::to_string(length + 1));
}

}  // namespace
}  // namespace tav::gui
