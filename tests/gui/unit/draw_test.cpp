// The Draw dialect on offscreen images: a gallery of command families against golden PNGs,
// exact pixels where the result is unambiguous, and every way a block is refused.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>

#include "core/output.h"
#include "core/stack.h"
#include "core/words.h"
#include "evaluator/interpreter.h"
#include "scanner/lexer.h"
#include "view/backend/qt/draw/draw_dialect.h"
#include "view/backend/qt/window_table.h"
#include "golden_images.h"
#include "view_test_helpers.h"

#ifndef TAV_GOLDEN_DIR
#error "TAV_GOLDEN_DIR names the folder of the golden images"
#endif

namespace tav::gui::draw {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// Draws the block (Tav text) on a white image of that size; errors reach the caller.
QImage render(const std::string& block, int w = 64, int h = 64, bool catch_errors = false) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::white);
  stack::State saved = stack::save();
  Cell* code = set_none(stack::new_cell());
  lexer::transcode("draw-block: " + block, code);
  interp::eval_block(code, false);
  Cell commands = *(stack::top - 1);
  ImageTarget target(&image);
  do_draw(target, &commands, catch_errors);
  stack::restore(saved);
  return image;
}

using viewtest::close_to;

struct GalleryCase {
  const char* name;
  const char* block;
};

// One small block per command family. TAV_UPDATE_GOLDEN=1 writes the images afresh.
const GalleryCase GALLERY[] = {
    {"shapes", "[pen 0.0.0 fill-pen 255.0.0 box 4x4 28x28 fill-pen 0.128.0 circle 46x16 12 "
               "fill-pen 0.0.255 ellipse 4x36 24x16 pen 128.0.128 line-width 3 "
               "triangle 34x60 60x60 47x36]"},
    {"box-corners-and-polygon", "[line-width 2 fill-pen 255.200.0 box 4x4 60x28 8 "
                                "fill-pen off pen 0.0.255 polygon 8x36 56x36 44x60 20x60 8x44]"},
    {"lines-caps-joins", "[line-width 7 pen 0.0.0 line-cap flat line 10x8 54x8 "
                         "line-cap round line 10x22 54x22 line-cap square line 10x36 54x36 "
                         "line-width 5 line-join round pen 200.0.0 line 8x60 24x46 40x60 56x46]"},
    {"dashes", "[line-width 2 line-pattern 4 2 line 4x10 60x10 line-pattern 1 3 line 4x20 60x20 "
               "line-pattern line 4x30 60x30]"},
    {"arcs-curves-splines", "[line-width 2 arc 16x16 12x12 0 270 fill-pen 0.200.0 "
                            "arc 48x16 12x12 0 90 closed fill-pen off pen 0.0.200 "
                            "curve 4x60 20x30 40x60 60x36 pen 200.0.0 spline 4x40 16x34 28x46 40x34]"},
    {"gradients", "[pen off fill-pen linear 255.0.0 0.0.255 box 0x0 64x20 "
                  "fill-pen radial 255.255.0 0.128.0 32x42 20 box 0x22 64x64]"},
    {"shape-dialect", "[line-width 2 fill-pen 180.220.255 shape [move 8x56 line 8x24 "
                      "arc 56x24 24 24 0 sweep line 56x56 close] pen 255.0.0 fill-pen off "
                      "shape [move 4x8 'hline 20 'qcurve 10x10 20x0 curv 60x20 56x4]]"},
    {"transforms", "[fill-pen 0.0.255 translate 32x32 [rotate 45 [box -10x-10 10x10]] "
                   "fill-pen 255.0.0 scale 2 2 [box 2x2 6x6] fill-pen 0.160.0 "
                   "skew 30 [box 4x40 14x60]]"},
    {"clips", "[fill-pen 255.0.0 clip 8x8 40x40 [circle 40x40 30] fill-pen 0.0.255 "
              "clip [move 48x4 line 60x30 36x30] [box 30x0 64x40]]"},
    {"pattern-brush", "[pen off fill-pen pattern 8x8 [pen off fill-pen 0.0.0 box 0x0 4x4] "
                      "box 4x4 60x60]"},
    {"images", "[image tiles 2x2 image tiles 14x2 46x18 image tiles 50x2 crop 4x0 4x8 "
               "image tiles 2x26 30x26 30x42 image tiles 34x30 62x26 58x62 38x50 "
               "image tiles 4x48 crop -4x-4 8x8]"},
    {"bitmap-brush", "[pen off fill-pen bitmap tiles box 0x0 30x30 fill-pen bitmap tiles 2x2 6x6 "
                     "flip-xy box 34x0 64x30 pen 0.0.0 line-width 6 pen bitmap tiles "
                     "line 4x40 60x60]"},
    {"gradient-forms", "[pen off fill-pen diamond 255.0.0 0.0.255 15x15 14x0 box 0x0 30x30 "
                       "fill-pen linear 255.0.0 0.255.0 0.0.255 40x0 50x0 reflect box 34x0 64x30 "
                       "fill-pen radial 16x46 0 14 255.255.0 0.0.0 box 0x32 32x64 "
                       "fill-pen linear 0.200.200 0.4 255.0.255 0.6 box 34x34 64x64]"},
    {"brush-matrices", "[pen off fill-pen linear 255.0.0 0.0.255 0x0 0x16 repeat "
                       "rotate 'fill-pen 45 box 0x0 30x30 matrix [1 0 0.5 1 0 0] "
                       "fill-pen 0.160.0 box 20x34 40x60 reset-matrix "
                       "fill-pen 255.128.0 invert-matrix 'fill-pen box 44x34 60x60]"},
    {"anti-alias-and-joins", "[anti-alias off line-width 1 pen 0.0.0 line 2x2 62x20 "
                             "anti-alias on line-width 6 line-join miter line 6x40 18x28 30x40 "
                             "line-join bevel line 36x40 48x28 60x40 line-join miter-bevel "
                             "line 6x60 18x48 30x60 pen 0.0.200 spline 36x60 48x48 60x60 closed]"},
};

// The image the gallery and the image cases draw: four 4x4 quarters, red top-left, green
// top-right, blue bottom-left, yellow bottom-right.
const char* TILES =
    "tiles: make image! 8x8 repeat y 8 [repeat x 8 [poke tiles as-pair x y "
    "pick [255.0.0 0.255.0 0.0.255 255.255.0] (either x > 4 [2] [1]) + (either y > 4 [2] [0])]]";

TEST(DrawGallery, MatchesTheGoldenImages) {
  bool update = std::getenv("TAV_UPDATE_GOLDEN") != nullptr;
  eval(TILES);
  for (const GalleryCase& c : GALLERY) {
    SCOPED_TRACE(c.name);
    QImage got = render(c.block);
    std::string path = std::string(TAV_GOLDEN_DIR) + "/draw-" + c.name + ".png";
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


struct PixelCase {
  const char* block;
  int x, y;
  QRgb want;
};

// Results with one right answer: insides of fills, a 1-pixel line's row, what a clip or a
// transform leaves where.
const PixelCase PIXELS[] = {
    {"[pen off fill-pen 10.20.30 box 10x10 30x30]", 20, 20, qRgb(10, 20, 30)},
    {"[pen off fill-pen 10.20.30 box 30x30 10x10]", 12, 28, qRgb(10, 20, 30)},
    {"[pen off fill-pen 10.20.30 box 10x10 30x30]", 31, 20, qRgb(255, 255, 255)},
    {"[line (0, 10.5) (63, 10.5)]", 30, 10, qRgb(0, 0, 0)},
    {"[line (0, 10.5) (63, 10.5)]", 30, 9, qRgb(255, 255, 255)},
    {"[line (0, 10.5) (63, 10.5)]", 30, 11, qRgb(255, 255, 255)},
    // A polyline is a figure like any other: the fill-pen fills it.
    {"[fill-pen 255.0.0 line 0x0 63x0 63x63]", 50, 20, qRgb(255, 0, 0)},
    {"[fill-pen 255.0.0 line 0x0 63x0 63x63]", 20, 50, qRgb(255, 255, 255)},
    {"[clip 10x10 20x20 fill-pen 255.0.0 box 0x0 64x64]", 15, 15, qRgb(255, 0, 0)},
    {"[clip 10x10 20x20 fill-pen 255.0.0 box 0x0 64x64]", 25, 25, qRgb(255, 255, 255)},
    {"[clip 10x10 20x20 fill-pen 255.0.0 box 0x0 64x64]", 5, 15, qRgb(255, 255, 255)},
    {"[clip 0x0 10x10 [fill-pen 255.0.0 box 0x0 64x64] pen off fill-pen 0.0.255 box 30x30 40x40]",
     35, 35, qRgb(0, 0, 255)},
    {"[clip 0x0 10x10 [fill-pen 255.0.0 box 0x0 64x64] pen off fill-pen 0.0.255 box 30x30 40x40]",
     20, 20, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 translate 20x30 box 0x0 10x10]", 25, 35, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 translate 20x30 box 0x0 10x10]", 5, 5, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 scale 2 2 10x10 box 8x8 12x12]", 7, 7, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 scale 2 2 10x10 box 8x8 12x12]", 15, 15, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 scale 200% 50% box 0x0 10x20]", 18, 8, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 scale 200% 50% box 0x0 10x20]", 5, 12, qRgb(255, 255, 255)},
    // Prepended, the rotation acts first: about the translated origin.
    {"[pen off fill-pen 0.0.0 translate 30x30 rotate 90 box 0x0 10x5]", 27, 35, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 translate 30x30 rotate 90 box 0x0 10x5]", 35, 32, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 matrix [1 0 0 1 40 0] box 0x0 10x10]", 45, 5, qRgb(0, 0, 0)},
    // transform: the translation acts first, then the scale, then the rotation.
    {"[pen off fill-pen 0.0.0 transform 0 2 2 10x10 box 0x0 5x5]", 25, 25, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 transform 0 2 2 10x10 box 0x0 5x5]", 15, 15, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 transform 20x20 90 1 1 0x0 box 20x10 30x20]", 25, 25, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 transform 20x20 90 1 1 0x0 box 20x10 30x20]", 25, 15,
     qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 translate 40x0 reset-matrix box 0x0 10x10]", 5, 5, qRgb(0, 0, 0)},
    {"[pen off fill-pen 0.0.0 translate 40x0 invert-matrix translate 50x0 box 0x0 10x10]", 15, 5,
     qRgb(0, 0, 0)},
    // A zero line width hides the pen; a new width brings it back.
    {"[line-width 0 line (0, 10.5) (63, 10.5) line-width 1 line (0, 20.5) (63, 20.5)]", 30, 10,
     qRgb(255, 255, 255)},
    {"[line-width 0 line (0, 10.5) (63, 10.5) line-width 1 line (0, 20.5) (63, 20.5)]", 30, 20, qRgb(0, 0, 0)},
    {"[line-width 0 pen 255.0.0 line (0, 10.5) (63, 10.5)]", 30, 10, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.255 push [fill-pen 255.0.0 translate 20x20] box 1x1 9x9]", 5, 5,
     qRgb(0, 0, 255)},
    {"[pen off fill-pen 0.0.255 rotate 90 32x32 [fill-pen 255.0.0] box 1x1 9x9]", 5, 5,
     qRgb(0, 0, 255)},
    {"[pen off fill-pen 0.0.255 translate 20x0 [fill-pen 255.0.0] box 1x1 9x9]", 5, 5,
     qRgb(0, 0, 255)},
    {"[pen off [fill-pen 255.0.0 translate 20x0] box 1x1 9x9]", 25, 5, qRgb(255, 0, 0)},
    // Padded past its ends, a placed gradient keeps its end colours.
    {"[pen off fill-pen linear 255.0.0 0.255.0 0.0.255 8x0 56x0 box 0x0 64x64]", 2, 5,
     qRgb(255, 0, 0)},
    {"[pen off fill-pen linear 255.0.0 0.255.0 0.0.255 8x0 56x0 box 0x0 64x64]", 61, 5,
     qRgb(0, 0, 255)},
    // An explicit position leaves the running one where it was: here green at 0, blue at 0.5.
    {"[pen off fill-pen linear 255.0.0 0.3 0.255.0 0.0.255 0x0 64x0 box 0x0 64x64]", 40, 5,
     qRgb(0, 0, 255)},
    {"[pen off anti-alias off fill-pen 0.0.0 shape [move 10x10 'hline 20 'vline 20 'hline -20 close] ]",
     20, 20, qRgb(0, 0, 0)},
    {"[pen off anti-alias off fill-pen 0.0.0 shape [move 10x10 'hline 20 'vline 20 'hline -20 close] ]",
     35, 20, qRgb(255, 255, 255)},
    // Pattern tiles: mirrored beside themselves, or their edges carried over the shape.
    {"[pen off fill-pen pattern 4x4 flip-x [pen off fill-pen 255.0.0 box 0x0 2x4] box 0x0 64x64]",
     7, 1, qRgb(255, 0, 0)},
    {"[pen off fill-pen pattern 4x4 flip-x [pen off fill-pen 255.0.0 box 0x0 2x4] box 0x0 64x64]",
     5, 1, qRgb(255, 255, 255)},
    {"[pen off fill-pen pattern 4x4 [pen off fill-pen 255.0.0 box 0x0 4x2 fill-pen 0.0.255 "
     "box 0x2 4x4] box 0x0 64x64]", 1, 5, qRgb(255, 0, 0)},
    {"[pen off fill-pen pattern 4x4 clamp [pen off fill-pen 255.0.0 box 0x0 4x2 fill-pen 0.0.255 "
     "box 0x2 4x4] box 0x0 64x64]", 1, 5, qRgb(0, 0, 255)},
    {"[pen off fill-pen pattern 4x4 clamp [pen off fill-pen 255.0.0 box 0x0 4x2 fill-pen 0.0.255 "
     "box 0x2 4x4] box 0x0 64x64]", 30, 1, qRgb(255, 0, 0)},
    // A whole turn is the ellipse alone: no line from the centre, even closed.
    {"[line-width 2 fill-pen 255.0.0 arc 32x32 20x20 0 360 closed]", 45, 32, qRgb(255, 0, 0)},
    {"[line-width 2 fill-pen 255.0.0 arc 32x32 20x20 0 -360 closed]", 45, 32, qRgb(255, 0, 0)},
    {"[line-width 2 fill-pen 255.0.0 arc 32x32 20x20 0 359.9995 closed]", 45, 32, qRgb(255, 0, 0)},
    {"[line-width 2 fill-pen 255.0.0 arc 32x32 20x20 0 90 closed]", 45, 32, qRgb(0, 0, 0)},
    // Two figures over each other: alternate filling leaves the inner one empty.
    {"[pen off fill-pen 0.0.0 shape [move 0x0 line 40x0 40x40 0x40 close move 10x10 line 30x10 30x30 10x30 close]]",
     20, 20, qRgb(255, 255, 255)},
    {"[pen off fill-pen 0.0.0 shape [move 0x0 line 40x0 40x40 0x40 close move 10x10 line 30x10 30x30 10x30 close]]",
     5, 20, qRgb(0, 0, 0)},
};

TEST(DrawPixels, UnambiguousResults) {
  for (const PixelCase& c : PIXELS) {
    SCOPED_TRACE(c.block);
    QImage got = render(c.block);
    QRgb p = got.pixel(c.x, c.y);
    EXPECT_EQ(qRed(p), qRed(c.want)) << c.x << "x" << c.y;
    EXPECT_EQ(qGreen(p), qGreen(c.want)) << c.x << "x" << c.y;
    EXPECT_EQ(qBlue(p), qBlue(c.want)) << c.x << "x" << c.y;
  }
}

TEST(DrawPixels, AWordGivesItsTupleAndASetWordKeepsTheBlockAtItsPlace) {
  eval("fill-colour: 0.0.255");
  QImage got = render("[pen off fill-pen fill-colour box 0x0 64x64 here: line 0x10 63x10]");
  EXPECT_EQ(got.pixel(5, 5), qRgb(0, 0, 255));
  EXPECT_EQ(eval_mold("reduce [first here length? here]"), "[line 3]");
}

TEST(DrawPixels, NothingIsOpenedForAnEmptyOrMissingBlock) {
  for (const char* block : {"[]", "none", "tail [box 0x0 10x10]"}) {
    SCOPED_TRACE(block);
    QImage got = render(block);
    EXPECT_EQ(got.pixel(5, 5), qRgb(255, 255, 255));
  }
}

// An image goes where its points say, whole or cropped, stretched or mapped onto four corners.
const PixelCase IMAGES[] = {
    {"[image tiles]", 0, 0, qRgb(255, 0, 0)},
    {"[image tiles]", 7, 7, qRgb(255, 255, 0)},
    {"[image tiles 10x10]", 10, 10, qRgb(255, 0, 0)},
    {"[image tiles 10x10]", 17, 10, qRgb(0, 255, 0)},
    {"[image tiles 10x10]", 10, 17, qRgb(0, 0, 255)},
    {"[image tiles 10x10]", 17, 17, qRgb(255, 255, 0)},
    {"[image tiles 10x10]", 18, 18, qRgb(255, 255, 255)},
    {"[image tiles 10x10]", 9, 9, qRgb(255, 255, 255)},
    {"compose [image (tiles) 10x10]", 17, 17, qRgb(255, 255, 0)},
    {"[image tiles 0x0 40x40]", 5, 5, qRgb(255, 0, 0)},
    {"[image tiles 0x0 40x40]", 35, 35, qRgb(255, 255, 0)},
    {"[image tiles 0x0 40x40]", 45, 45, qRgb(255, 255, 255)},
    // Cropped: the rectangle at an offset and of a size in the image's pixels.
    {"[image tiles 10x10 crop 4x0 4x4]", 10, 10, qRgb(0, 255, 0)},
    {"[image tiles 10x10 crop 4x0 4x4]", 13, 13, qRgb(0, 255, 0)},
    {"[image tiles 10x10 crop 4x0 4x4]", 14, 10, qRgb(255, 255, 255)},
    {"[image tiles 10x10 crop 4x0 4x4]", 10, 14, qRgb(255, 255, 255)},
    {"[image tiles 10x10 crop 6x6 10x10]", 11, 11, qRgb(255, 255, 0)},
    {"[image tiles 10x10 crop 6x6 10x10]", 12, 12, qRgb(255, 255, 255)},
    // A crop starting left of the image moves the picture right by as much.
    {"[image tiles 10x10 crop -2x0 6x2]", 11, 10, qRgb(255, 255, 255)},
    {"[image tiles 10x10 crop -2x0 6x2]", 12, 10, qRgb(255, 0, 0)},
    {"[image tiles 10x10 crop -2x0 6x2]", 15, 11, qRgb(255, 0, 0)},
    {"[image tiles 10x10 crop -2x0 6x2]", 16, 10, qRgb(255, 255, 255)},
    {"[image tiles 10x10 crop -8x0 8x8]", 10, 10, qRgb(255, 255, 255)},
    {"[image tiles 10x10 crop 0x-8 8x8]", 10, 10, qRgb(255, 255, 255)},
    {"[image tiles 0x0 32x0 32x32 crop 0x4 8x4]", 8, 8, qRgb(0, 0, 255)},
    {"[image tiles 0x0 32x0 32x32 crop 0x4 8x4]", 24, 24, qRgb(255, 255, 0)},
    // Three corners: the fourth lies below the first.
    {"[image tiles 0x0 40x0 40x40]", 5, 5, qRgb(255, 0, 0)},
    {"[image tiles 0x0 40x0 40x40]", 35, 5, qRgb(0, 255, 0)},
    {"[image tiles 0x0 40x0 40x40]", 5, 35, qRgb(0, 0, 255)},
    {"[image tiles 0x0 40x0 40x40]", 35, 35, qRgb(255, 255, 0)},
    // Four corners: mirrored, and a trapezoid that leaves its top corners empty.
    {"[image tiles 40x0 0x0 0x40 40x40]", 5, 5, qRgb(0, 255, 0)},
    {"[image tiles 40x0 0x0 0x40 40x40]", 35, 5, qRgb(255, 0, 0)},
    {"[image tiles 20x0 40x0 60x60 0x60]", 3, 3, qRgb(255, 255, 255)},
    {"[image tiles 20x0 40x0 60x60 0x60]", 58, 3, qRgb(255, 255, 255)},
    {"[image tiles 20x0 40x0 60x60 0x60]", 6, 56, qRgb(0, 0, 255)},
    {"[image tiles 20x0 40x0 60x60 0x60]", 54, 56, qRgb(255, 255, 0)},
    {"[image tiles 20x0 40x0 60x60 0x60]", 25, 4, qRgb(255, 0, 0)},
    // The drawing's transform applies; the key colour and `border` are taken and not used.
    {"[translate 20x20 image tiles]", 20, 20, qRgb(255, 0, 0)},
    {"[translate 20x20 image tiles]", 5, 5, qRgb(255, 255, 255)},
    {"[image tiles 10x10 255.255.255 border pen off fill-pen 0.0.0 box 30x30 40x40]", 10, 10,
     qRgb(255, 0, 0)},
    {"[image tiles 10x10 255.255.255 border pen off fill-pen 0.0.0 box 30x30 40x40]", 35, 35,
     qRgb(0, 0, 0)},
    {"[image tiles 10x10 border crop 4x4 4x4]", 10, 10, qRgb(255, 255, 0)},
    // A bitmap brush of an image without pixels turns the fill off.
    {"[pen off fill-pen 255.0.0 fill-pen bitmap no-pixels box 0x0 20x20]", 10, 10,
     qRgb(255, 255, 255)},
    {"[pen off fill-pen bitmap tiles box 0x0 20x20]", 13, 1, qRgb(0, 255, 0)},
};

TEST(DrawImages, WherePointsAndCropsPutThem) {
  eval(TILES);
  eval("no-pixels: make image! 0x0");
  for (const PixelCase& c : IMAGES) {
    SCOPED_TRACE(c.block);
    QImage got = render(c.block);
    QRgb p = got.pixel(c.x, c.y);
    EXPECT_EQ(qRed(p), qRed(c.want)) << c.x << "x" << c.y;
    EXPECT_EQ(qGreen(p), qGreen(c.want)) << c.x << "x" << c.y;
    EXPECT_EQ(qBlue(p), qBlue(c.want)) << c.x << "x" << c.y;
  }
}

struct ErrorCase {
  const char* block;
  const char* id;
  const char* at;   // the mold of the error's argument: the block from the offending cell
};

const ErrorCase ERRORS[] = {
    {"[bogus]", "draw-invalid", "[bogus]"},
    {"[box 1x1 2x2 0.0.255]", "draw-invalid", "[0.0.255]"},
    {"[box 1x1 bogus]", "draw-invalid", "[bogus]"},
    {"[circle 1x1]", "draw-invalid", "[]"},
    {"[line 1x1]", "draw-invalid", "[1x1]"},
    {"[polygon 1x1 2x2]", "draw-invalid", "[2x2]"},
    {"[polygon]", "draw-invalid", "[polygon]"},
    {"[triangle 1x1 2x2 3]", "draw-invalid", "[3]"},
    {"[spline 1x1 box 0x0 1x1]", "draw-invalid", "[box 0x0 1x1]"},
    {"[arc 1x1 2x2 0]", "draw-invalid", "[]"},
    {"[anti-alias 1]", "draw-invalid", "[anti-alias 1]"},
    {"[matrix [1 2 3 4 5]]", "draw-invalid", "[matrix [1 2 3 4 5]]"},
    {"[matrix [1 2 3 4 5 x]]", "draw-invalid", "[matrix [1 2 3 4 5 x]]"},
    {"[rotate 'bogus 10]", "draw-invalid", "['bogus 10]"},
    {"[scale 2]", "draw-invalid", "[]"},
    {"[translate 2]", "draw-invalid", "[2]"},
    {"[skew none]", "draw-invalid", "[none]"},
    {"[transform 10 2 2]", "draw-invalid", "[]"},
    {"[line-width none]", "draw-invalid", "[none]"},
    {"[line-join 1]", "draw-invalid", "[1]"},
    {"[line-cap]", "draw-invalid", "[]"},
    {"[pen 12]", "draw-invalid", "[12]"},
    {"[pen]", "draw-invalid", "[]"},
    {"[pen linear 255.0.0]", "draw-invalid", "[]"},
    {"[pen linear 255.0.0 0.0.255 0x0]", "draw-invalid", "[]"},
    {"[pen radial 255.0.0 0.0.255 0x0 1x1]", "draw-invalid", "[1x1]"},
    {"[fill-pen linear 0x0 1.5 10 255.0.0 0.0.255]", "draw-invalid", "[1.5 10 255.0.0 0.0.255]"},
    {"[fill-pen linear 0x0 0 10 255.0.0]", "draw-invalid", "[10 255.0.0]"},
    {"[pen pattern 4x4 none]", "draw-invalid", "[none]"},
    {"[pen bitmap 1]", "draw-invalid", "[1]"},
    {"[pen bitmap fill-colour]", "draw-invalid", "[fill-colour]"},
    {"[shape 1]", "draw-invalid", "[1]"},
    {"[shape [bogus]]", "draw-invalid", "[bogus]"},
    {"[shape [curve 1x1 2x2]]", "draw-invalid", "[1x1 2x2]"},
    {"[shape [move]]", "draw-invalid", "[]"},
    {"[shape [arc 1x1 2 2]]", "draw-invalid", "[]"},
    {"[shape [3]]", "draw-invalid", "[3]"},
    {"[clip 1x1]", "draw-invalid", "[]"},
    {"[clip none]", "draw-invalid", "[none]"},
    {"[push 1]", "draw-invalid", "[1]"},
    {"[box 0x0 4x4 \"text\"]", "draw-invalid", "[\"text\"]"},
    {"[[box 0x0 4x4] [pen]]", "draw-invalid", "[]"},
    {"[pen off translate 2x2 [box 0x0 1x1 bogus]]", "draw-invalid", "[bogus]"},
    {"[image]", "draw-invalid", "[]"},
    {"[image 12 0x0]", "draw-invalid", "[12 0x0]"},
    {"[image fill-colour]", "draw-invalid", "[fill-colour]"},
    {"[image tiles 0x0 crop 1x1]", "draw-invalid", "[]"},
    {"[image tiles crop 1x1 none]", "draw-invalid", "[none]"},
    {"[image tiles 0x0 bogus]", "draw-invalid", "[bogus]"},
};

// Draws with errors raised to the caller; answers "id mold-of-argument".
std::string refusal(const std::string& block) {
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  std::string out = "drawn";
  try {
    render(block);
  } catch (const Unwind&) {
    interp::set_word(word::load("draw-error"), stack::top - 1);
    out = eval_mold("reduce [draw-error/id draw-error/arg1]");
  }
  stack::restore(saved);
  return out;
}

TEST(DrawErrors, EachRefusalNamesTheOffendingCell) {
  eval("fill-colour: 0.0.255");
  eval(TILES);
  for (const ErrorCase& c : ERRORS) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(refusal(c.block), std::string("[") + c.id + " " + c.at + "]");
  }
}

TEST(DrawErrors, ABlockHoldingItselfIsInfinite) {
  eval("looped: copy [box 0x0 2x2] append/only looped looped");
  // The argument is a copy: it holds the block that holds itself.
  EXPECT_EQ(refusal("looped"), "[draw-infinite [box 0x0 2x2 [box 0x0 2x2 [...]]]]");
  eval("outer: copy [box 0x0 2x2] inner: reduce [outer] append/only outer inner");
  EXPECT_EQ(refusal("outer"), "[draw-infinite [box 0x0 2x2 [[box 0x0 2x2 [...]]]]]");
  eval("looped-shape: copy [move 0x0] append/only looped-shape looped-shape");
  EXPECT_EQ(refusal("compose/only [shape (looped-shape)]").substr(0, 15), "[draw-infinite ");
}

TEST(DrawErrors, AnImageWrittenInTheBlockIsNoBitmap) {
  eval(TILES);
  EXPECT_EQ(refusal("compose [pen bitmap (tiles)]").substr(0, 27), "[draw-invalid [make image! ");
  EXPECT_EQ(refusal("[pen bitmap tiles]"), "drawn");
}

TEST(DrawErrors, NestingDeeperThanTheCycleStackIsTooDeep) {
  eval("deep: [box 0x0 1x1] loop 1200 [deep: reduce [deep]]");
  EXPECT_EQ(refusal("deep").substr(0, 10), "[too-deep ");
  EXPECT_EQ(refusal("[[[box 0x0 1x1]]]"), "drawn");
}

TEST(DrawErrors, MoreThan256StopsAreRefused) {
  eval("stops: copy [fill-pen linear] loop 257 [append stops 1.2.3] append stops [box 0x0 4x4]");
  EXPECT_EQ(refusal("stops").substr(0, 14), "[draw-invalid ");
  EXPECT_EQ(eval_mold("index? draw-error/arg1"), "259");
  eval("stops: copy [fill-pen linear] loop 256 [append stops 1.2.3] append stops [box 0x0 4x4]");
  EXPECT_EQ(refusal("stops"), "drawn");
}

std::string printed;
void capture(const Cell* text, bool) { printed += string::to_std_string(text) + "\n"; }

// Caught (as a face's paint draws), the error is printed and what came before stays drawn;
// silenced, nothing is printed and nothing is raised.
TEST(DrawErrors, CaughtErrorsPrintAndSilencedOnesDoNot) {
  const char* block = "[pen off fill-pen 255.0.0 box 0x0 10x10 bogus box 20x20 30x30]";
  dyn_print::add(capture, nullptr);
  printed.clear();
  QImage got = render(block, 64, 64, true);
  EXPECT_EQ(got.pixel(5, 5), qRgb(255, 0, 0));
  EXPECT_EQ(got.pixel(25, 25), qRgb(255, 255, 255));
  EXPECT_EQ(printed.substr(0, printed.find('\n')),
            "*** Script Error: DRAW - invalid input at: [bogus box 20x20 30x30]");
  printed.clear();
  eval("system/view/silent?: true");
  got = render(block, 64, 64, true);
  EXPECT_EQ(got.pixel(5, 5), qRgb(255, 0, 0));
  EXPECT_EQ(refusal(block), "drawn");
  eval("system/view/silent?: false");
  dyn_print::remove(capture, nullptr);
  EXPECT_EQ(printed, "");
}

// Scaling about a centre keeps the centre where it is whichever way the matrices combine.
TEST(DrawMatrices, ScaleAboutACentreKeepsTheCentreInBothOrders) {
  for (bool prepend : {true, false}) {
    SCOPED_TRACE(prepend ? "prepend" : "append");
    QImage pixels(8, 8, QImage::Format_ARGB32_Premultiplied);
    DrawContext ctx(&pixels);
    ctx.set_matrix_order(prepend);
    ctx.scale(ON_DRAWING, 2, 2, QPointF(10, 10));
    EXPECT_EQ(ctx.state().transform.map(QPointF(10, 10)), QPointF(10, 10));
    EXPECT_EQ(ctx.state().transform.map(QPointF(20, 10)), QPointF(30, 10));
    // After a translation the order tells which acts first.
    ctx.translate(ON_DRAWING, QPointF(5, 0));
    EXPECT_EQ(ctx.state().transform.map(QPointF(10, 10)),
              prepend ? QPointF(20, 10) : QPointF(15, 10));
  }
}

// `draw` makes or takes an image, draws on it and answers it; a refused block raises.
TEST(DrawFunction, DrawsOnImagesAndRaisesRefusals) {
  EXPECT_EQ(eval_mold("img: draw 100x50 [pen off fill-pen 255.0.0 box 0x0 10x10] "
                      "reduce [img/size pick img 5x5 pick img 50x40]"),
            "[100x50 255.0.0.0 255.255.255.0]");
  // On an image it draws over what is there and answers the same image.
  EXPECT_EQ(eval_mold("same? img draw img [pen off fill-pen 0.0.255 box 40x30 60x50]"), "true");
  EXPECT_EQ(eval_mold("reduce [pick img 5x5 pick img 50x40]"), "[255.0.0.0 0.0.255.0]");
  // Transparent, the new image keeps the transparent colour where nothing is painted.
  EXPECT_EQ(eval_mold("t: draw/transparent 4x4 [pen off fill-pen 0.255.0 box 0x0 2x4] "
                      "reduce [pick t 1x1 pick t 4x4]"),
            "[0.255.0.0 0.0.0.255]");
  EXPECT_EQ(eval_mold("e: try [draw 10x10 [box 0x0 5x5 bogus]] reduce [e/id e/arg1]"),
            "[draw-invalid [bogus]]");
  // An image with no width or no height is answered untouched: its block is not even read.
  EXPECT_EQ(eval_mold("draw make image! 0x10 [bogus]"), "make image! [0x10 #{}]");
}

// Drawn onto itself, an image shows the frame as it stands, not the pixels from before.
TEST(DrawFunction, AnImageDrawnOntoItselfShowsTheFrameSoFar) {
  EXPECT_EQ(eval_mold("img: draw 20x10 [pen off fill-pen 255.0.0 box 0x0 10x10] "
                      "draw img [fill-pen 0.0.255 box 0x0 5x10 image img 10x0 crop 0x0 10x10] "
                      "reduce [pick img 13x5 pick img 18x5 pick img 3x5]"),
            "[0.0.255.0 255.0.0.0 0.0.255.0]");
}

// Caught (as a face's paint draws), a word or set-word of a function's context is refused:
// its value lives on a stack the paint cannot trust.
TEST(DrawErrors, CaughtDrawingsRefuseWordsOfFunctions) {
  eval("make-block: func [colour /local here] "
       "[reduce ['pen 'off 'fill-pen 'colour 'box 0x0 10x10]] "
       "set-block: func [/local here] [reduce ['pen 'off to set-word! 'here 'box 0x0 10x10]]");
  dyn_print::add(capture, nullptr);
  for (const char* block : {"make-block 255.0.0", "set-block"}) {
    SCOPED_TRACE(block);
    printed.clear();
    QImage got = render(block, 64, 64, true);
    EXPECT_EQ(got.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(printed.substr(0, 40), "*** Script Error: DRAW - invalid input a");
  }
  dyn_print::remove(capture, nullptr);
  // Raised to the caller instead, the word is read as any word is, with the language's error
  // for a function no longer running.
  EXPECT_EQ(refusal("make-block 255.0.0"), "[not-in-context colour]");
}

}  // namespace
}  // namespace tav::gui::draw

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

QRgb buffer_pixel(uint32_t id, int x, int y) {
  WinData* w = windows::find(id);
  if (!w || w->back_buffer.isNull()) return 0;
  return w->back_buffer.pixel(x, y);
}

// A face's draw block goes into its window's back buffer over the face's colour; redraw
// renders the block as it is now; draw-face adds to the buffer.
TEST(FacePainting, DrawBlocksRenderIntoTheBackBuffer) {
  eval(std::string("pf: ") + viewtest::FACE_SPEC +
       " pf/color: 0.0.255 pf/draw: [pen off fill-pen 255.0.0 box 0x0 20x20] "
       "pf/state: reduce [system/view/platform/make-view pf system/view/platform/make-null-handle "
       "0 none false]");
  uint32_t id = viewtest::window_of("pf/state/1");
  EXPECT_EQ(buffer_pixel(id, 10, 10), qRgb(255, 0, 0));
  EXPECT_EQ(buffer_pixel(id, 50, 50), qRgb(0, 0, 255));
  eval("pf/draw: [pen off fill-pen 0.255.0 box 40x40 60x60] system/view/platform/redraw pf");
  EXPECT_EQ(buffer_pixel(id, 10, 10), qRgb(0, 0, 255));
  EXPECT_EQ(buffer_pixel(id, 50, 50), qRgb(0, 255, 0));
  eval("system/view/platform/draw-face pf [pen off fill-pen 255.255.0 box 0x0 10x10]");
  EXPECT_EQ(buffer_pixel(id, 5, 5), qRgb(255, 255, 0));
  EXPECT_EQ(buffer_pixel(id, 50, 50), qRgb(0, 255, 0));
  // A faulty block draws what precedes the fault; the error never reaches the caller.
  eval("pf/draw: [pen off fill-pen 255.0.0 box 0x0 20x20 bogus] "
       "system/view/silent?: true system/view/platform/redraw pf system/view/silent?: false");
  EXPECT_EQ(buffer_pixel(id, 10, 10), qRgb(255, 0, 0));
  eval("system/view/platform/destroy-view pf false");
  // Without a colour the face is cleared to full transparency.
  eval(std::string("tf: ") + viewtest::FACE_SPEC +
       " tf/draw: [pen off fill-pen 255.0.0 box 0x0 20x20] tf/state: reduce "
       "[system/view/platform/make-view tf system/view/platform/make-null-handle 0 none false]");
  id = viewtest::window_of("tf/state/1");
  EXPECT_EQ(qAlpha(buffer_pixel(id, 50, 50)), 0);
  EXPECT_EQ(buffer_pixel(id, 10, 10), qRgb(255, 0, 0));
  eval("system/view/platform/destroy-view tf false");
}

// A face's image is stretched over the face, under its Draw block.
TEST(FacePainting, TheFaceImageGoesUnderTheDrawBlock) {
  eval(draw::TILES);
  eval(std::string("imf: ") + viewtest::FACE_SPEC +
       " imf/image: tiles imf/draw: [pen off fill-pen 0.0.0 box 50x30 70x50] imf/state: reduce "
       "[system/view/platform/make-view imf system/view/platform/make-null-handle 0 none false]");
  uint32_t id = viewtest::window_of("imf/state/1");
  EXPECT_EQ(buffer_pixel(id, 10, 10), qRgb(255, 0, 0));
  EXPECT_EQ(buffer_pixel(id, 110, 10), qRgb(0, 255, 0));
  EXPECT_EQ(buffer_pixel(id, 10, 70), qRgb(0, 0, 255));
  EXPECT_EQ(buffer_pixel(id, 110, 70), qRgb(255, 255, 0));
  EXPECT_EQ(buffer_pixel(id, 60, 40), qRgb(0, 0, 0));
  eval("system/view/platform/destroy-view imf false");
}

}  // namespace
}  // namespace tav::gui
