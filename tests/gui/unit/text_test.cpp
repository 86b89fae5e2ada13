// Text: fonts from font! objects, the text-box layout behind size-text and the caret
// functions, the rich-text dialect, geometry helpers, and text drawn by the Draw dialect,
// all with the pinned DejaVu fonts.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>
#include <cstdlib>
#include <string>

#include "core/stack.h"
#include "core/words.h"
#include "evaluator/interpreter.h"
#include "scanner/lexer.h"
#include "view/backend/qt/draw/draw_dialect.h"
#include "view/backend/qt/fonts.h"
#include "view/backend/qt/draw/pixel_target.h"
#include "golden_images.h"
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

struct MoldCase {
  const char* expression;
  const char* mold;
};

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

TEST(Fonts, AParaChangeMarksTheFaceForItsNextPaintAndLayout) {
  eval("pf: " + rich("\"abc\"", "none") + " pf/state: reduce [none 0 none none false] "
       "rich-text/line-count? pf");
  EXPECT_EQ(eval_mold("last pf/handles"), "false");
  eval("system/view/platform/update-para pf 3");
  EXPECT_EQ(eval_mold("pf/state/2"), "262144");
  EXPECT_EQ(eval_mold("last pf/handles"), "true");
}

TEST(Fonts, AWindowlessRichTextFaceIsLaidOutAgainAfterASizeChange) {
  // Only the size changes: the kept layout must not answer for the old width.
  eval("rs: " + rich("\"one two three four five six\"", "400x100"));
  EXPECT_EQ(eval_mold("rich-text/line-count? rs"), "1");
  EXPECT_EQ(eval_mold("rs/size: 40x100 1 < rich-text/line-count? rs"), "true");
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
  }
  // Past the end of the text, the caret is after the last character.
  EXPECT_EQ(eval_mold("offset-to-caret rt 500x500"), std::to_string(length + 1));
}

TEST(Carets, PositionsCountCharactersNotCodeUnits) {
  eval("rt: " + rich("\"a^(1F600)^(1F600)b\"", "none"));
  // The character after two surrogate pairs starts where their width ends.
  double after = std::stod(eval_mold("first caret-to-offset rt 4"));
  double pair_end = std::stod(eval_mold("first caret-to-offset/lower rt 3"));
  EXPECT_DOUBLE_EQ(after, pair_end);
  EXPECT_GT(after, std::stod(eval_mold("first caret-to-offset rt 3")));
  // A point inside the second emoji names it, as the third character.
  std::string middle = "(((first caret-to-offset rt 3) + (first caret-to-offset rt 4)) / 2)";
  EXPECT_EQ(eval_mold("offset-to-char rt as-point2D " + middle + " 5"), "3");
  EXPECT_EQ(eval_mold("offset-to-caret rt as-point2D " + middle + " - 1 5"), "3");
  EXPECT_EQ(eval_mold("offset-to-caret rt as-point2D " + middle + " + 1 5"), "4");
  // The first line's caret is never above the box.
  EXPECT_EQ(eval_mold("second caret-to-offset rt 1"), "0.0");
}

TEST(Carets, LineQueries) {
  // A larger second line: its height is found from the character, whatever the surrogate
  // pairs before it.
  eval("rt: " + rich("\"^(1F600)^(1F600)^(1F600)^/b\"", "none", "data: [5x1 30]"));
  double first = std::stod(eval_mold("rich-text/line-height? rt 1"));
  double second = std::stod(eval_mold("rich-text/line-height? rt 5"));
  EXPECT_GT(second, 1.5 * first);
  EXPECT_EQ(eval_mold("rich-text/line-count? rt"), "2");
  EXPECT_DOUBLE_EQ(std::stod(eval_mold("second size-text rt")), first + second);
  // Wrapping in a narrow box makes lines; without a box the text stays on one line.
  eval("rt: " + rich("\"one two three four\"", "50x100"));
  EXPECT_EQ(eval_mold("2 < rich-text/line-count? rt"), "true");
  eval("rt: " + rich("\"one two three four\"", "none"));
  EXPECT_EQ(eval_mold("rich-text/line-count? rt"), "1");
}

// The paragraph and the rich-text words place the text in its box: alignment, vertical
// alignment, tab stops, uniform line spacing and line breaks (CR LF one of them).
TEST(Carets, ParagraphsPlaceTheText) {
  eval("line-h: rich-text/line-height? " + rich("\"a\"", "none") + " 1 "
       "em-4: 4 * 16.0");
  const MoldCase cases[] = {
      {"rt: " "make face! [type: 'rich-text text: \"a\" size: 100x100 font: make font! [name: \"Sans\" size: 12] "
       "para: make para! [v-align: 'middle] tabs: none line-spacing: none handles: none] "
       "(second caret-to-offset rt 1) = ((100 - line-h) / 2)", "true"},
      {"rt/para: make para! [v-align: 'bottom] rt/handles/4: true "
       "(second caret-to-offset rt 1) = (100 - line-h)", "true"},
      {"offset-to-char rt as-point2D 1 (100 - (line-h / 2))", "1"},
      {"rt/para: make para! [align: 'right] rt/handles/4: true "
       "(first caret-to-offset rt 2) = 100.0", "true"},
      {"rt/para: make para! [align: 'center] rt/handles/4: true "
       "0.1 > absolute 100 - ((first caret-to-offset rt 1) + (first caret-to-offset rt 2))", "true"},
      {"rt/para: none rt/text: \"a^-b\" first caret-to-offset rt 3", "64.0"},
      {"rt/tabs: 50 rt/handles/4: true first caret-to-offset rt 3", "50.0"},
      {"rt/text: \"a^M^/b^/c\" rt/line-spacing: 40 rich-text/line-count? rt", "3"},
      {"caret-to-offset rt 4", "(0, 40)"},
      {"caret-to-offset rt 6", "(0, 80)"},
      // Past a line's end the caret goes before its break.
      {"offset-to-caret rt 50x45", "5"},
      {"offset-to-caret rt 50x5", "2"},
      {"rich-text/line-height? rt 4", "40.0"},
  };
  for (const MoldCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(eval_mold(c.expression), c.mold);
  }
}

TEST(Carets, MetricsErrorsAndRebuilds) {
  EXPECT_EQ(eval_mold("e: try [caret-to-offset make face! [type: 'base text: \"a\"] 1] "
                      "reduce [e/id e/arg1]"),
            "[face-type base]");
  EXPECT_EQ(eval_mold("caret-to-offset " + rich("none", "none") + " 1"), "none");
  // A refused styles block raises, and leaves the face asking for a new layout.
  eval("rt: " + rich("\"abc\"", "none", "data: [1x1 bold nonsense]"));
  EXPECT_EQ(eval_mold("e: try [rich-text/line-count? rt] e/id"), "draw-invalid");
  EXPECT_EQ(eval_mold("last rt/handles"), "true");
  eval("rt/data: [1x1 bold]");
  EXPECT_EQ(eval_mold("rich-text/line-count? rt"), "1");
  EXPECT_EQ(eval_mold("last rt/handles"), "false");
  // A range past the end is cut at the end, and one starting past it styles nothing.
  eval("rt/data: [10x2 bold 2x10 italic] rt/handles/4: true");
  EXPECT_EQ(eval_mold("rich-text/line-count? rt"), "1");
  // A changed text is laid out again.
  double before = std::stod(eval_mold("first size-text rt"));
  eval("rt/text: \"abcabc\"");
  EXPECT_GT(std::stod(eval_mold("first caret-to-offset rt 7")), 1.5 * before);
}

TEST(RichTextDialect, Layouts) {
  eval("c1: 255.0.0 c2: 0.0.255");
  const MoldCase cases[] = {
      {"rtd-layout/only [\"abcdef\" b \"ghij\" /b \"kl\"]", "[\"abcdefghijkl\" [\n    7x4 bold\n]]"},
      {"rtd-layout/only [c1 \"a\" c2 \"b\"]", "[\"ab\" [\n    1x2 255.0.0\n    2x1 0.0.255\n]]"},
      {"rtd-layout/only [b [\"x\"] i [\"y\"]]", "[\"xy\" [\n    1x1 bold\n    2x1 italic\n]]"},
      {"rtd-layout/only [<b> \"abc\" </b>]", "[\"abc\" [\n    1x3 bold\n]]"},
      {"rtd-layout/only [bg #FF0000 \"abc\" /bg]", "[\"abc\" [\n    1x3 backdrop 255.0.0\n]]"},
      {"rtd-layout/only [b/i/u [\"abc\"] \"d\"]", "[\"abcd\" [\n    1x3 underline italic bold\n]]"},
      {"rtd-layout/only [b \"ab\" /b b/i [\"\"]]", "[\"ab\" [\n    1x2 bold\n]]"},
      {"rtd-layout/only [b [\"\"] \"a\"]", "[\"a\" []]"},
      {"rtd-layout/only [f 12 \"ab\" /f f [\"Serif\" 10] [\"cd\"]]",
       "[\"abcd\" [\n    1x2 12\n    3x2 \"Serif\" 10\n]]"},
      // Ranges that meet are merged, a colour first; longer ranges come before shorter ones.
      {"rtd-layout/only [c1 [\"abc\" b \"d\" /b] i [\"e\"]]",
       "[\"abcde\" [\n    1x4 255.0.0\n    4x1 bold\n    5x1 italic\n]]"},
      {"rtd-layout/only [i [\"ab\"] c2 [\"\"]]", "[\"ab\" [\n    1x2 italic\n    3x0 0.0.255\n]]"},
      {"rtd-layout/only [u [b [\"ab\"]] c1 [\"c\"]]",
       "[\"abc\" [\n    1x2 bold underline\n    3x1 255.0.0\n]]"},
      {"f: make face! [type: 'rich-text] same? f rtd-layout/with [\"x\" s [\"y\"]] f", "true"},
      {"reduce [f/text f/data]", "[\"xy\" [\n    2x1 strike\n]]"},
  };
  for (const MoldCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(eval_mold(c.expression), c.mold);
  }
}

TEST(RichTextDialect, Refusals) {
  const MoldCase cases[] = {
      {"[b \"abc\" /i]", "[rtd-invalid-syntax [b \"abc\" /i]]"},
      {"[#FF0000 \"abc\"]", "[rtd-invalid-syntax [#FF0000 \"abc\"]]"},
      {"[\"x\" b []]", "[rtd-invalid-syntax [b []]]"},
      {"[\"x\" 12]", "[rtd-invalid-syntax [\"x\" 12]]"},
      {"[b/q [\"x\"]]", "[rtd-invalid-syntax [b/q [\"x\"]]]"},
  };
  for (const MoldCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(eval_mold(std::string("e: try [rtd-layout/only ") + c.expression + "] reduce [e/id e/arg1]"),
              c.mold);
  }
}

TEST(Geometry, PredicatesDistancesAndColours) {
  eval("fa: make face! [offset: 0x0 size: 10x10] fb: make face! [offset: 10x0 size: 10x10] "
       "fc: make face! [offset: 9x0 size: 10x10]");
  const MoldCase cases[] = {
      {"within? 10x10 10x10 5x5", "true"},
      {"within? 15x10 10x10 5x5", "false"},
      {"within? (14.5, 14.5) 10x10 5x5", "true"},
      {"overlap? fa fb", "false"},
      {"overlap? fa fc", "true"},
      {"distance? 0x0 3x4", "5.0"},
      {"distance? fa fb", "10.0"},
      {"hex-to-rgb #FFF", "255.255.255"},
      {"hex-to-rgb #f80", "255.136.0"},
      {"hex-to-rgb #FF0000", "255.0.0"},
      {"hex-to-rgb #11223344", "17.34.51.68"},
      {"hex-to-rgb #1234", "none"},
      {"hex-to-rgb #GGG", "none"},
  };
  for (const MoldCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(eval_mold(c.expression), c.mold);
  }
}

// Draws the block (Tav text) on a white image; errors reach the caller.
QImage render(const std::string& block, int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::white);
  stack::State saved = stack::save();
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(block, code);
  interp::eval_block(code, false);
  Cell commands = *(stack::top - 1);
  draw::ImageTarget target(&image);
  draw::do_draw(target, &commands, false);
  stack::restore(saved);
  return image;
}

using viewtest::close_to;

struct GalleryCase {
  const char* name;
  const char* setup;
  const char* block;
  int w, h;
};

// TAV_UPDATE_GOLDEN=1 writes the images afresh.
const GalleryCase GALLERY[] = {
    // Text follows the pen until a font brings its own colour; a font without one gives the
    // text back to the pen.
    {"draw-strings",
     "f1: make font! [name: \"Serif\" size: 14 color: 0.128.0] "
     "f2: make font! [name: \"Monospace\" size: 10 style: [bold underline]]",
     "[pen 200.0.0 text 4x2 \"Pen red\" font f1 pen 0.0.255 text 4x22 \"Font green\" "
     "font f2 text 4x46 \"Pen blue\"]",
     120, 64},
    // Bold, italic, colour, size and background ranges, wrapped in the face's box.
    {"rich-styles",
     "rt: " "make face! [type: 'rich-text size: 150x80 color: 250.250.210 "
     "font: make font! [name: \"Sans\" size: 11] tabs: none line-spacing: none handles: none] "
     "rtd-layout/with [\"plain \" b \"bold\" /b \" \" i \"italic\" /i \" \" "
     "255.0.0 [\"red\"] \" \" f 16 \"big\" /f \" \" bg 255.255.0 \"marked\" /bg "
     "\" \" u \"under\" /u \" \" s \"struck\" /s] rt",
     "[text 5x5 rt]", 160, 90},
    // Three shadows in order under a box, a spread one under a circle; a line has none.
    {"shadows", "",
     "[pen off fill-pen 80.160.255 shadow 6x6 4 0 0.0.0.100 shadow -4x-4 0 0 255.0.0.120 "
     "shadow 0x10 8 0 0.128.0 box 10x10 50x40 shadow off shadow 0x0 6 4 0.0.0 fill-pen 255.200.0 "
     "circle 90x30 16 shadow off pen 0.0.0 line 10x56 110x56]",
     120, 64},
};

TEST(DrawText, MatchesTheGoldenImages) {
  bool update = std::getenv("TAV_UPDATE_GOLDEN") != nullptr;
  for (const GalleryCase& c : GALLERY) {
    SCOPED_TRACE(c.name);
    eval(c.setup);
    QImage got = render(c.block, c.w, c.h);
    std::string path = std::string(TAV_GOLDEN_DIR) + "/text-" + c.name + ".png";
    if (update) {
      ASSERT_TRUE(got.save(QString::fromStdString(path)));
      continue;
    }
    QImage want(QString::fromStdString(path));
    ASSERT_FALSE(want.isNull()) << "no golden image " << path;
    std::string why;
    EXPECT_TRUE(close_to(got, want.convertToFormat(QImage::Format_ARGB32), &why)) << why;
  }
}

TEST(DrawText, ShadowsLieUnderTheShapeInOrder) {
  QImage img = render("[pen off fill-pen 80.160.255 shadow -4x-4 0 0 255.0.0 shadow 4x4 0 0 0.0.255 "
                      "box 10x10 30x30 shadow off box 40x10 50x20]", 64, 40);
  EXPECT_EQ(img.pixel(20, 20), qRgb(80, 160, 255));  // the shape on top
  EXPECT_EQ(img.pixel(7, 7), qRgb(255, 0, 0));       // the first shadow alone
  EXPECT_EQ(img.pixel(32, 32), qRgb(0, 0, 255));     // the second shadow alone
  EXPECT_EQ(img.pixel(24, 7), qRgb(255, 0, 0));      // the first, above the shape
  // After off, shapes have no shadow.
  EXPECT_EQ(img.pixel(52, 22), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(38, 8), qRgb(255, 255, 255));
}

TEST(DrawText, TextShowsInThePenColourWhileThePenIsOff) {
  QImage img = render("[pen 0.0.200 pen off text 2x2 \"MMMM\"]", 48, 24);
  int blue = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (QRgb p = img.pixel(x, y); qBlue(p) > qRed(p) + 80 && qBlue(p) > qGreen(p) + 80) ++blue;
  EXPECT_GT(blue, 10);
}

TEST(DrawText, Refusals) {
  eval("bad-face: make face! [type: 'base text: \"abc\" data: [1x2 bold oops]]");
  const MoldCase cases[] = {
      {"[text 2x2 12]", "[draw-invalid [12]]"},
      {"[text \"a\"]", "[draw-invalid [\"a\"]]"},
      {"[font 12]", "[draw-invalid [12]]"},
      {"[shadow later]", "[draw-invalid [later]]"},
      {"[text 2x2 bad-face]", "[draw-invalid [oops]]"},
  };
  for (const MoldCase& c : cases) {
    SCOPED_TRACE(c.expression);
    stack::State saved = stack::save();
    stack::mark_try(nullptr);
    std::string got = "drawn";
    try {
      render(c.expression, 16, 16);
    } catch (const Unwind&) {
      interp::set_word(word::load("draw-error"), stack::top - 1);
      got = eval_mold("reduce [draw-error/id draw-error/arg1]");
    }
    stack::restore(saved);
    EXPECT_EQ(got, c.mold);
  }
}

}  // namespace
}  // namespace tav::gui
