// A window's `visible?` after `view`: made true it shows the window (painted as `view` shows
// one), made false it hides it again.
#include <gtest/gtest.h>

#include <QWidget>

#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;
using viewtest::widget_of;

TEST(WindowVisibility, FollowsTheFacetAfterView) {
  eval("w: make face! [type: 'window offset: 10x10 size: 120x80 visible?: false pane: reduce ["
       "b: make face! [type: 'base offset: 0x0 size: 50x40 color: 0.150.0]]] view/no-wait w");
  QWidget* widget = widget_of("w");
  ASSERT_NE(widget, nullptr);
  EXPECT_FALSE(widget->isVisible());
  eval("w/visible?: true");
  EXPECT_TRUE(widget->isVisible());
  // Shown painted: the window's image holds its face at once.
  EXPECT_EQ(eval_mold("i: to image! w i/(5x5)"), "0.150.0.0");
  eval("w/visible?: false");
  EXPECT_FALSE(widget->isVisible());
  eval("unview/all");
}

}  // namespace
}  // namespace tav::gui
