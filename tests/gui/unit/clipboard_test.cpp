// The clipboard routines over Qt's clipboard: what other programs put is read in the
// language's forms, and what the routines write is what other programs see.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include "view/backend/qt/backend.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

QClipboard* board() {
  init();
  return QGuiApplication::clipboard();
}

TEST(Clipboard, ReadsWhatOtherProgramsPut) {
  struct Case {
    void (*put)();
    const char* mold;
  };
  const Case cases[] = {
      {[] { board()->setText("a\r\nb\nc"); }, R"("a^/b^/c")"},
      {[] {
         auto* m = new QMimeData;
         m->setUrls({QUrl::fromLocalFile("/tmp/x y.txt"), QUrl::fromLocalFile("/z")});
         m->setText("/tmp/x y.txt\n/z\n");
         board()->setMimeData(m);
       },
       R"([%"/tmp/x y.txt" %/z])"},
      {[] { board()->clear(); }, "none"},
  };
  for (const Case& c : cases) {
    c.put();
    EXPECT_EQ(viewtest::eval_mold("read-clipboard"), c.mold);
  }
}

TEST(Clipboard, WritesWhatOtherProgramsRead) {
  EXPECT_EQ(viewtest::eval_mold(R"(write-clipboard "one^/two")"), "true");
  EXPECT_EQ(board()->text(), "one\ntwo");

  EXPECT_EQ(viewtest::eval_mold("write-clipboard [%/tmp/a %/tmp/b]"), "true");
  const QMimeData* m = board()->mimeData();
  ASSERT_TRUE(m->hasUrls());
  EXPECT_EQ(m->urls(), (QList<QUrl>{QUrl("file:///tmp/a"), QUrl("file:///tmp/b")}));
  // The block's position counts: what stands before it is not written.
  EXPECT_EQ(viewtest::eval_mold("write-clipboard next [%/tmp/a %/tmp/b] read-clipboard"),
            "[%/tmp/b]");

  EXPECT_EQ(viewtest::eval_mold("write-clipboard none"), "true");
  EXPECT_EQ(viewtest::eval_mold("read-clipboard"), "none");
}

TEST(Clipboard, ImagesKeepTheirPixelsAndAlpha) {
  EXPECT_EQ(viewtest::eval_mold("img: make image! 2x2 img/1: 10.20.30.40 img/4: 1.2.3.250 "
                                "write-clipboard img"),
            "true");
  QImage got = board()->image().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(got.size(), QSize(2, 2));
  EXPECT_EQ(viewtest::eval_mold("equal? read-clipboard img"), "true");

  // A picture another program put, non-premultiplied ARGB: the value has the same pixels.
  QImage picture(3, 1, QImage::Format_ARGB32);
  picture.setPixel(0, 0, 0xFF112233);
  picture.setPixel(1, 0, 0x80FF0000);
  picture.setPixel(2, 0, 0x00000000);
  board()->setImage(picture);
  EXPECT_EQ(viewtest::eval_mold("i: read-clipboard reduce [i/size i/1 = (pick make image! "
                                "[1x1 #{112233}] 1)]"),
            "[3x1 true]");

  // An empty image leaves nothing behind, and still succeeds.
  EXPECT_EQ(viewtest::eval_mold("write-clipboard make image! 0x0"), "true");
  EXPECT_EQ(viewtest::eval_mold("read-clipboard"), "none");
}

TEST(Clipboard, RefusesOtherValues) {
  EXPECT_EQ(viewtest::eval_mold("e: try [write-clipboard 12] e/id"), "invalid-arg");
  EXPECT_EQ(viewtest::eval_mold(R"(e: try [write-clipboard [%a "b"]] e/id)"), "invalid-arg");
}

}  // namespace
}  // namespace tav::gui
