// What a combo box and a calendar tell when the user works them: the value read back into
// the face, then `select` and `change` as the dispatch allows.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <string>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

class Notify : public ::testing::Test {
 protected:
  void SetUp() override {
    eval("log: copy [] answer: none "
         "acts: object [on-select: func [f e] [append log 'select answer] "
         "on-change: func [f e] [append log reduce ['change f/selected f/text]]] "
         "nw: make face! [type: 'window text: \"notify\" offset: 10x10 size: 300x300 "
         "pane: reduce [make face! [type: 'drop-down offset: 0x0 size: 100x24 actors: acts "
         "data: [\"one\" \"two\"] text: \"\"] "
         "make face! [type: 'calendar offset: 0x40 size: 250x200 actors: acts "
         "data: 15-Jun-2026]]] view/no-wait nw");
  }
  void TearDown() override { eval("unview/all"); }
  template <class W>
  W* widget(const std::string& face) {
    return static_cast<W*>(windows::find(viewtest::window_of(face + "/state/1"))->widget.data());
  }
};

TEST_F(Notify, APickedItemIsToldOnce) {
  auto* combo = widget<QComboBox>("nw/pane/1");
  combo->setCurrentIndex(1);
  Q_EMIT combo->activated(1);
  Q_EMIT combo->activated(1);   // the same item again: nothing
  EXPECT_EQ(eval_mold("log"), "[select change 2 \"two\"]");
}

TEST_F(Notify, AConsumedSelectKeepsTheChangeBack) {
  eval("answer: 'stop");
  auto* combo = widget<QComboBox>("nw/pane/1");
  Q_EMIT combo->activated(0);
  EXPECT_EQ(eval_mold("log"), "[select]");
}

TEST_F(Notify, TypedTextIsTheDropDownsText) {
  auto* combo = widget<QComboBox>("nw/pane/1");
  Q_EMIT combo->lineEdit()->textEdited("typed");
  EXPECT_EQ(eval_mold("log"), "[change none \"typed\"]");
}

TEST_F(Notify, APickedDayIsTheCalendarsDate) {
  widget<QCalendarWidget>("nw/pane/2")->setSelectedDate(QDate(2030, 1, 2));
  EXPECT_EQ(eval_mold("reduce [log/1 nw/pane/2/data]"), "[change 2-Jan-2030]");
}

}  // namespace
}  // namespace tav::gui
