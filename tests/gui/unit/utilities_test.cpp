// Face utilities: walking a face tree, the focus order, flags, metrics and scrollers.
#include <gtest/gtest.h>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

const char* TREE =
    "uw: make face! [type: 'window size: 200x200 pane: reduce ["
    "ua: make face! [type: 'field text: \"a\" size: 10x10 flags: 'focusable] "
    "up: make face! [type: 'panel size: 50x50 pane: reduce ["
    "ub: make face! [type: 'field text: \"b\" size: 10x10 flags: [focusable]] "
    "ut: make face! [type: 'text text: \"t\" size: 10x10]]] "
    "uc: make face! [type: 'button text: \"c\" size: 10x10 flags: [focusable]]]] "
    "view/no-wait uw "
    "text-of: func [f] [all [f f/text]]";

class FaceTree : public ::testing::Test {
 protected:
  void SetUp() override { eval(TREE); }
  void TearDown() override { eval("unview/all"); }
};

TEST_F(FaceTree, FocusableFacesInTabOrder) {
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      {"get-focusable uw/pane", "\"a\""},
      // Into a panel's pane, and out of it again at its end.
      {"get-focusable next uw/pane", "\"b\""},
      {"get-focusable next find up/pane ut", "\"c\""},
      {"get-focusable/back find uw/pane uc", "\"b\""},
      // Past the window's last face: round to its first.
      {"get-focusable tail uw/pane", "\"a\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(eval_mold("text-of " + std::string(c.expr)), c.mold) << c.expr;
  // A disabled face is passed over.
  eval("ub/enabled?: false");
  EXPECT_EQ(eval_mold("text-of get-focusable next uw/pane"), "\"c\"");
  EXPECT_EQ(eval_mold("ub/enabled?: true set-focus/after ua same? uw/selected ub"), "true");
}

TEST_F(FaceTree, WalkingVisitsDescendantsOnly) {
  EXPECT_EQ(eval_mold("n: 0 foreach-face uw [n: n + 1] n"), "5");
  EXPECT_EQ(eval_mold("l: copy [] foreach-face/with uw [append l face/text] "
                      "[face/type = 'field] l"),
            "[\"a\" \"b\"]");
  EXPECT_EQ(eval_mold("l: copy [] foreach-face/post uw [append l face/type] l"),
            "[field field text panel button]");
  // A failing body skips that face only.
  EXPECT_EQ(eval_mold("l: copy [] foreach-face uw [if face/type = 'panel [1 / 0] "
                      "append l face/type] l"),
            "[field field text button]");
  EXPECT_EQ(eval_mold("foreach-face ut [1 / 0]"), "none");
}

TEST(FaceUtilities, FlagsMetricsAndScrollers) {
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      {"f: make face! [flags: 'focusable] reduce [set-flag f 'modal f/flags]",
       "[[focusable modal] [focusable modal]]"},
      {"f: make face! [flags: 'modal] set-flag/toggle f 'modal f/flags", "none"},
      {"f: make face! [flags: [a modal]] set-flag/clear f 'modal f/flags", "[a]"},
      {"f: make face! [flags: 'a] set-flag/toggle f 'b f/flags", "[a b]"},
      {"metrics?/total make face! [type: 'check] 'paddings 'x", "16"},
      {"metrics?/total make face! [type: 'field] 'paddings 'y", "0"},
      {"metrics? make face! [type: 'base] 'paddings", "none"},
      {"s: get-scroller f: make face! [] 'vertical reduce [s/vertical? same? s/parent f "
       "s/position s/max-size]",
       "[true true 1 1]"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval_mold(c.expr), c.mold) << c.expr;
}

TEST(FaceUtilities, MakeFaceFromAStyle) {
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      // Placed where asked, sized as a layout sizes it, and not shown.
      {"f: make-face/offset 'button 10x10 l: layout [button] "
       "reduce [f/type f/offset f/size = l/pane/1/size none? f/state]",
       "[button 10x10 true true]"},
      {"f: make-face/size 'field 40x10 reduce [f/offset f/size]", "[0x0 40x10]"},
      // The VID options are read as a layout reads them.
      {"f: make-face/spec 'text [\"hi\" 255.0.0] reduce [f/text f/color]",
       "[\"hi\" 255.0.0]"},
      {"f: make-face/spec 'button [\"b\" [n: 1]] function? get in f/actors 'on-click",
       "true"},
      // The style's init block runs: an image style gets an image of its size.
      {"f: make-face/size 'image 7x5 image? f/image", "true"},
      {"e: try [make-face 'no-such-style] reduce [e/id e/arg1]", "[face-type no-such-style]"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval_mold(c.expr), c.mold) << c.expr;
}

}  // namespace
}  // namespace tav::gui
