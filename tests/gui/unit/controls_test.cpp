// Faces of the value and list control types: each becomes its widget at its exact geometry,
// starts from its data, selected and text facets, and follows their changes; a face's look
// as an image.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>

#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;
using viewtest::widget_of;

template <class T>
T* as(const std::string& face) {
  return dynamic_cast<T*>(widget_of(face));
}

const char* CONTROLS =
    "ctl: make face! [type: 'window text: \"controls\" offset: 20x20 size: 600x400 pane: reduce ["
    "tg: make face! [type: 'toggle text: \"T\" offset: 5x5 size: 60x23 data: true] "
    "c3: make face! [type: 'check text: \"C\" offset: 70x5 size: 80x24 flags: 'tri-state] "
    "c2: make face! [type: 'check text: \"D\" offset: 150x5 size: 80x24] "
    "rd: make face! [type: 'radio text: \"R\" offset: 230x5 size: 80x24 data: 1] "
    "sv: make face! [type: 'slider offset: 5x40 size: 20x200 data: 25%] "
    "sh: make face! [type: 'slider offset: 30x40 size: 100x20 data: 50%] "
    "pg: make face! [type: 'progress offset: 30x70 size: 100x20 data: 0.3] "
    "sc: make face! [type: 'scroller offset: 30x100 size: 100x16] "
    "sn: make face! [type: 'scroller offset: 30x120 size: 16x100 selected: -0.5] "
    "tl: make face! [type: 'text-list offset: 140x40 size: 100x80 data: [\"a\" 1 \"b\"]] "
    "dl: make face! [type: 'drop-list offset: 250x40 size: 90x23 data: [\"x\" \"y\" \"z\"] "
    "selected: 2] "
    "dd: make face! [type: 'drop-down offset: 350x40 size: 90x23 data: [\"x\" \"y\"] "
    "text: \"typed\"] "
    "ar: make face! [type: 'area offset: 140x130 size: 120x60 text: \"one^/two\"] "
    "gb: make face! [type: 'group-box text: \"Group\" offset: 270x130 size: 120x60] "
    "cal: make face! [type: 'calendar offset: 400x130 size: 190x160 data: 3-Mar-1500] "
    "tp: make face! [type: 'tab-panel offset: 140x200 size: 200x150 data: [\"A\" \"B\" \"C\"] "
    "selected: 7 pane: reduce ["
    "p1: make face! [type: 'panel] p2: make face! [type: 'panel] "
    "p3: make face! [type: 'panel]]]]]";

class ControlFaces : public ::testing::Test {
 protected:
  void SetUp() override { eval(std::string(CONTROLS) + " view/no-wait ctl"); }
  void TearDown() override { eval("unview/all"); }
};

TEST_F(ControlFaces, EachTypeIsItsWidgetAtItsGeometry) {
  struct {
    const char* face;
    bool (*is_kind)(QWidget*);
    QRect geometry;
  } cases[] = {
      {"tg", [](QWidget* w) { auto* b = dynamic_cast<QPushButton*>(w); return b && b->isCheckable(); },
       QRect(5, 5, 60, 23)},
      {"c3", [](QWidget* w) { return dynamic_cast<QCheckBox*>(w) != nullptr; }, QRect(70, 5, 80, 24)},
      {"rd", [](QWidget* w) { auto* r = dynamic_cast<QRadioButton*>(w); return r && !r->autoExclusive(); },
       QRect(230, 5, 80, 24)},
      {"sv", [](QWidget* w) { return dynamic_cast<QSlider*>(w) != nullptr; }, QRect(5, 40, 20, 200)},
      {"pg", [](QWidget* w) { return dynamic_cast<QProgressBar*>(w) != nullptr; }, QRect(30, 70, 100, 20)},
      {"sc", [](QWidget* w) { return dynamic_cast<QScrollBar*>(w) != nullptr; }, QRect(30, 100, 100, 16)},
      {"tl", [](QWidget* w) { return dynamic_cast<QListWidget*>(w) != nullptr; }, QRect(140, 40, 100, 80)},
      {"dl", [](QWidget* w) { auto* c = dynamic_cast<QComboBox*>(w); return c && !c->isEditable(); },
       QRect(250, 40, 90, 23)},
      {"dd", [](QWidget* w) { auto* c = dynamic_cast<QComboBox*>(w); return c && c->isEditable(); },
       QRect(350, 40, 90, 23)},
      {"ar", [](QWidget* w) { return dynamic_cast<QPlainTextEdit*>(w) != nullptr; }, QRect(140, 130, 120, 60)},
      {"gb", [](QWidget* w) { return dynamic_cast<QGroupBox*>(w) != nullptr; }, QRect(270, 130, 120, 60)},
      {"cal", [](QWidget* w) { return dynamic_cast<QCalendarWidget*>(w) != nullptr; },
       QRect(400, 130, 190, 160)},
      {"tp", [](QWidget* w) { return w->findChild<QTabBar*>() != nullptr; }, QRect(140, 200, 200, 150)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.face);
    QWidget* w = widget_of(c.face);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(c.is_kind(w));
    EXPECT_EQ(w->geometry(), c.geometry);
    EXPECT_EQ(w->parentWidget(), widget_of("ctl"));
  }
}

TEST_F(ControlFaces, WidgetsStartFromTheirFacets) {
  EXPECT_TRUE(as<QPushButton>("tg")->isChecked());
  EXPECT_EQ(as<QCheckBox>("c3")->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(as<QCheckBox>("c2")->checkState(), Qt::Unchecked);
  EXPECT_TRUE(as<QRadioButton>("rd")->isChecked());
  // A vertical slider counts from the bottom: 25% of 200 is 150 from the top.
  QSlider* sv = as<QSlider>("sv");
  EXPECT_EQ(sv->orientation(), Qt::Vertical);
  EXPECT_EQ(sv->maximum(), 200);
  EXPECT_EQ(sv->value(), 150);
  EXPECT_EQ(as<QSlider>("sh")->orientation(), Qt::Horizontal);
  EXPECT_EQ(as<QSlider>("sh")->value(), 50);
  EXPECT_EQ(as<QProgressBar>("pg")->maximum(), 100);
  EXPECT_EQ(as<QProgressBar>("pg")->value(), 30);
  EXPECT_EQ(as<QScrollBar>("sc")->pageStep(), 10);
  EXPECT_EQ(as<QScrollBar>("sc")->orientation(), Qt::Horizontal);
  EXPECT_EQ(as<QScrollBar>("sn")->pageStep(), 0);
  EXPECT_EQ(as<QScrollBar>("sn")->orientation(), Qt::Vertical);
  EXPECT_EQ(as<QListWidget>("tl")->count(), 2);
  EXPECT_EQ(as<QListWidget>("tl")->item(1)->text(), "b");
  EXPECT_EQ(as<QComboBox>("dl")->count(), 3);
  EXPECT_EQ(as<QComboBox>("dl")->currentIndex(), 1);
  EXPECT_EQ(as<QComboBox>("dd")->currentText(), "typed");
  EXPECT_EQ(as<QPlainTextEdit>("ar")->toPlainText(), "one\ntwo");
  EXPECT_EQ(as<QGroupBox>("gb")->title(), "Group");
  EXPECT_EQ(as<QCalendarWidget>("cal")->selectedDate(), QDate(1601, 3, 3));
  QTabBar* bar = widget_of("tp")->findChild<QTabBar*>();
  EXPECT_EQ(bar->count(), 3);
  EXPECT_EQ(bar->currentIndex(), 2);
  // What creation writes back into the faces.
  EXPECT_EQ(eval_mold("reduce [tl/selected sc/selected sc/data sn/selected tp/selected]"),
            "[-1 10% 0.0 -0.5 3]");
}

TEST_F(ControlFaces, TabPagesLieOverTheDisplayArea) {
  QWidget* panel = widget_of("tp");
  QTabBar* bar = panel->findChild<QTabBar*>();
  for (const char* page : {"p1", "p2", "p3"}) {
    SCOPED_TRACE(page);
    QWidget* w = widget_of(page);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), widget_of("ctl"));
    EXPECT_GE(w->y(), panel->y() + bar->height());
    EXPECT_LE(w->geometry().bottom(), panel->geometry().bottom());
    EXPECT_GT(w->width(), 190);
  }
  EXPECT_EQ(eval_mold("reduce [not p1/visible? p3/visible? p3/offset/x = 1.0]"), "[true true true]");
  EXPECT_FALSE(widget_of("p1")->isVisibleTo(widget_of("ctl")));
  EXPECT_TRUE(widget_of("p3")->isVisibleTo(widget_of("ctl")));
  // The pages move with their tab panel.
  QPoint before = widget_of("p3")->pos();
  eval("tp/offset: tp/offset + 10x5");
  EXPECT_EQ(widget_of("p3")->pos(), before + QPoint(10, 5));
}

TEST_F(ControlFaces, FacetChangesReachTheControls) {
  eval("sh/size: 300x20 c2/data: true c3/data: false tl/data: [\"p\" \"q\" \"r\"] tl/selected: 3 "
       "dl/selected: 1 pg/data: 75% ar/text: \"three\" gb/text: \"Other\" sc/selected: 40% "
       "sc/data: 0.5 cal/data: 4-Jul-2020 tp/selected: 1");
  // A longer slider keeps its data: 50% of 300.
  EXPECT_EQ(as<QSlider>("sh")->maximum(), 300);
  EXPECT_EQ(as<QSlider>("sh")->value(), 150);
  EXPECT_TRUE(as<QCheckBox>("c2")->isChecked());
  EXPECT_EQ(as<QCheckBox>("c3")->checkState(), Qt::Unchecked);
  EXPECT_EQ(as<QListWidget>("tl")->count(), 3);
  EXPECT_EQ(as<QListWidget>("tl")->currentRow(), 2);
  EXPECT_EQ(as<QComboBox>("dl")->currentIndex(), 0);
  EXPECT_EQ(as<QProgressBar>("pg")->value(), 75);
  EXPECT_EQ(as<QPlainTextEdit>("ar")->toPlainText(), "three");
  EXPECT_EQ(as<QGroupBox>("gb")->title(), "Other");
  EXPECT_EQ(as<QScrollBar>("sc")->pageStep(), 40);
  EXPECT_EQ(as<QScrollBar>("sc")->value(), 50);
  EXPECT_EQ(as<QCalendarWidget>("cal")->selectedDate(), QDate(2020, 7, 4));
  EXPECT_EQ(widget_of("tp")->findChild<QTabBar*>()->currentIndex(), 0);
}

TEST_F(ControlFaces, ATabPickedByTheUserSwitchesPages) {
  eval("log: copy [] tp/actors: object ["
       "on-select: func [f e] [append log reduce ['select e/picked] if e/picked = 2 ['stop]] "
       "on-change: func [f e] [append log reduce ['change e/picked f/selected]]]");
  QTabBar* bar = widget_of("tp")->findChild<QTabBar*>();
  // What a click on the first tab does to the bar.
  bar->setCurrentIndex(0);
  EXPECT_EQ(eval_mold("reduce [tp/selected p1/visible? p3/visible? log]"),
            "[1 true false [select 1 change 1 1]]");
  EXPECT_TRUE(widget_of("p1")->isVisibleTo(widget_of("ctl")));
  EXPECT_FALSE(widget_of("p3")->isVisibleTo(widget_of("ctl")));
  // A select answered with stop refuses the switch: the bar goes back.
  eval("clear log");
  bar->setCurrentIndex(1);
  EXPECT_EQ(bar->currentIndex(), 0);
  EXPECT_EQ(eval_mold("reduce [tp/selected p1/visible? p2/visible? log]"),
            "[1 true false [select 2]]");
  EXPECT_FALSE(widget_of("p2")->isVisibleTo(widget_of("ctl")));
}

TEST(TextStyles, FontsAndParasReachTheControls) {
  eval("sw: make face! [type: 'window size: 200x100 pane: reduce ["
       "st: make face! [type: 'text text: \"x\" size: 100x30 para: make para! [align: 'right] "
       "font: make font! [name: \"DejaVu Serif\" size: 20 style: 'bold color: 255.0.0]] "
       "sf: make face! [type: 'field offset: 0x40 size: 100x20]]] view/no-wait sw");
  auto* label = as<QLabel>("st");
  auto* field = as<QLineEdit>("sf");
  ASSERT_NE(label, nullptr);
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(label->font().family(), "DejaVu Serif");
  EXPECT_EQ(label->font().pointSize(), 20);
  EXPECT_EQ(label->font().weight(), QFont::Bold);
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_TRUE(label->alignment() & Qt::AlignRight);
  QFont field_font = field->font();
  // Changes to the font or para objects, and a new font, reach the controls.
  eval("st/font/size: 9 st/font/color: 0.0.255 st/para/align: 'center "
       "sf/font: make font! [size: 15 style: 'italic]");
  EXPECT_EQ(label->font().pointSize(), 9);
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(field->font().pointSize(), 15);
  EXPECT_TRUE(field->font().italic());
  // Taking the font away gives the control its own back.
  eval("sf/font: none");
  EXPECT_EQ(field->font(), field_font);
  eval("unview/all");
}

TEST(Windows, WithoutASizeTheyOpenAt200) {
  eval("w: make face! [type: 'window text: \"sizeless\" offset: 10x10 size: -1x-1] view/no-wait w");
  EXPECT_EQ(widget_of("w")->size(), QSize(200, 200));
  eval("unview");
}

TEST(FaceImages, AFaceRendersAsItLooks) {
  eval("w: make face! [type: 'window offset: 10x10 size: 120x80 color: 0.0.100 pane: reduce ["
       "b: make face! [type: 'base offset: 10x10 size: 50x40 color: 200.0.0 "
       "draw: [pen off fill-pen 0.255.0 box 0x0 10x10]]]] view/no-wait w");
  EXPECT_EQ(eval_mold("i: to image! b reduce [i/size i/(1x1) i/(20x20)]"),
            "[50x40 0.255.0.0 200.0.0.0]");
  EXPECT_EQ(eval_mold("i: to-image w reduce [i/size i/(5x5) i/(15x15)]"),
            "[120x80 0.0.100.0 0.255.0.0]");
  eval("unview");
  struct {
    const char* expr;
    const char* mold;
  } cases[] = {
      // A face with no window yet has no look.
      {"to image! make face! [type: 'base size: 10x10]", "none"},
      {"e: try [to image! object [a: 1]] e/id", "bad-to-arg"},
      {"s: first system/view/screens i: to image! s i/size = s/size", "true"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval_mold(c.expr), c.mold) << c.expr;
}

}  // namespace
}  // namespace tav::gui
