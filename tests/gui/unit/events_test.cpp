// Backend events: what their fields read from the message records, what the handler's
// answer makes of them, and the window faces they come from.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <string>

#include "core/symbols.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/pre_dispatch.h"
#include "view/backend/qt/window_table.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using namespace event;
using viewtest::eval;
using viewtest::eval_mold;

// A window face made through the platform routines; awake logs what it reads.
class Events : public ::testing::Test {
 protected:
  void SetUp() override {
    eval(std::string("f: ") + viewtest::FACE_SPEC);
    eval("h: system/view/platform/make-view f system/view/platform/make-null-handle "
         "f/state: reduce [h 0 none false]");
    window = viewtest::window_of("h");
    // The View layer's own handler comes back after each test: later suites dispatch with it.
    eval("log: copy [] answer: none view-awake: :system/view/awake "
         "system/view/awake: func [e] [append/only log reduce [e/type e/key e/offset e/picked "
         "e/orientation same? e/face f same? e/window f] answer]");
  }
  void TearDown() override {
    eval("system/view/awake: :view-awake "
         "if f/state [system/view/platform/destroy-view f false]");
    while (do_events(true)) {}
  }
  Record at(float x, float y) {
    Record r;
    r.window = window;
    r.has_offset = true;
    r.x = x;
    r.y = y;
    return r;
  }
  uint32_t window = 0;
};

// The window's state changed by someone else (the window manager, here Qt itself).
TEST_F(Events, StateChangesOfAWindow) {
  QWidget* widget = windows::find(window)->widget;
  widget->show();
  widget->setWindowState(Qt::WindowMaximized);
  QCoreApplication::processEvents();
  widget->setWindowState(Qt::WindowNoState);
  QCoreApplication::processEvents();
  widget->setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  EXPECT_EQ(eval_mold("collect [foreach e log [if find [minimize maximize restore] e/1 [keep e/1]]]"),
            "[maximize restore minimize]");
}

TEST_F(Events, FieldsReadTheirRecord) {
  Record key = at(5, 6);
  raise_event(KEY_DOWN, EVT_CONTROL | 'A', key);
  key.special_key = SK_LEFT;
  raise_event(KEY, 0, key);
  key.special_key = 0x5D;   // a key without a word: none for key, the character otherwise
  raise_event(KEY, 0, key);
  raise_event(KEY_UP, 'B', key);
  Record wheel = at(1.5f, 2);
  wheel.picked = Picked::number;
  wheel.picked_number = -1.0;
  raise_event(WHEEL, 0, wheel);
  Record scroll = at(0, 0);
  scroll.has_offset = false;
  scroll.vertical = true;
  scroll.scroll_request = 2;
  scroll.picked = Picked::integer;
  scroll.picked_int = 40;
  raise_event(SCROLL, 0, scroll);
  scroll.vertical = false;
  scroll.scroll_request = 9;
  raise_event(SCROLL, 0, scroll);
  Record resize = at(200, 100);
  resize.offset_pair = true;
  raise_event(RESIZE, 0, resize);
  EXPECT_EQ(eval_mold("log"),
            "[[key-down #\"A\" (5, 6) 65 none true true] "
            "[key left (5, 6) 0 none true true] "
            "[key none (5, 6) 0 none true true] "
            "[key-up #\"B\" (5, 6) 66 none true true] "
            "[wheel wheel (1.5, 2) -1.0 none true true] "
            "[scroll page-up none 40 vertical true true] "
            "[scroll end none 40 horizontal true true] "
            "[resize none 200x100 0 none true true]]");
}

TEST_F(Events, IdsAndIndexesStayWhole) {
  // Menu words and list indexes do not fit 16 bits once the program is large.
  uint32_t sym = 0;
  for (int i = 0; sym <= 70000; ++i) sym = symbol::make(("menu-item-" + std::to_string(i)).c_str());
  Record menu = at(0, 0);
  menu.picked = Picked::word;
  menu.picked_int = static_cast<int32_t>(sym);
  raise_event(MENU, 0, menu);
  Record select = at(0, 0);
  select.picked = Picked::integer;
  select.picked_int = 70001;
  raise_event(SELECT, 0, select);
  eval("log: head log");
  EXPECT_EQ(eval_mold("log/1/4"), "menu-item-" + std::to_string(sym - symbol::make("menu-item-0")));
  EXPECT_EQ(eval_mold("log/2/4"), "70001");
}

TEST_F(Events, AnEventKeepsItsRecordWhileNewerOnesAreRaised) {
  eval("kept: none system/view/awake: func [e] [unless kept [kept: e] none]");
  raise_event(DOWN, EVT_DOWN, at(7, 8));
  for (int i = 0; i < 63; ++i) raise_event(OVER, 0, at(1, 1));
  EXPECT_EQ(eval_mold("reduce [kept/type kept/offset kept/down?]"), "[down (7, 8) true]");
  raise_event(OVER, 0, at(1, 1));
  // Its ring slot was taken again: what came from the record is gone, the rest stays.
  EXPECT_EQ(eval_mold("reduce [kept/type kept/offset kept/face kept/down?]"),
            "[down none none true]");
}

TEST_F(Events, TheHandlersAnswerDecidesConsumption) {
  struct Case {
    const char* answer;
    int result;
  };
  const Case cases[] = {
      {"'stop", 0}, {"'done", 1}, {"'continue", 1}, {"none", 1}, {"\"stop\"", 1}};
  for (const Case& c : cases) {
    eval(std::string("answer: ") + c.answer);
    EXPECT_EQ(raise_event(CLICK, 0, at(0, 0)), c.result) << c.answer;
  }
  // An error inside the handler stops at the event maker; the event is not consumed.
  eval("system/view/awake: func [e] [1 / 0]");
  EXPECT_EQ(raise_event(CLICK, 0, at(0, 0)), 1);
  EXPECT_EQ(eval_mold("1 + 1"), "2");
  eval("system/view/awake: none");
  EXPECT_EQ(raise_event(CLICK, 0, at(0, 0)), 1);
}

TEST_F(Events, AHandlerThatEndsItsLoopsLastWindowPostsTheQuit) {
  LoopState before = loop;
  eval("system/view/awake: func [e] [system/view/platform/destroy-view f true none]");
  raise_event(CLOSE, 0, at(0, 0));
  EXPECT_TRUE(loop.quit_pending);
  EXPECT_EQ(loop.pending_exits, before.pending_exits + 1);
  EXPECT_EQ(eval_mold("f/state"), "none");
  loop = before;
}

TEST_F(Events, AConsumedKeyDownMakesNoCharacter) {
  WinData* w = windows::find(window);
  ASSERT_NE(w, nullptr);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  EXPECT_FALSE(pre_dispatch(w->widget, &press, false));
  eval("answer: 'stop");
  EXPECT_TRUE(pre_dispatch(w->widget, &press, false));
  EXPECT_EQ(eval_mold("x: copy [] foreach e log [append x reduce [e/1 e/2]] x"),
            "[key-down #\"A\" key #\"a\" key-down #\"A\"]");
}

TEST_F(Events, MouseInputBecomesEvents) {
  QWidget* w = windows::find(window)->widget;
  QPointF p(3, 4);
  auto mouse = [&](QEvent::Type t, Qt::MouseButton b, Qt::MouseButtons held) {
    QMouseEvent e(t, p, p, b, held, Qt::ShiftModifier);
    pre_dispatch(w, &e, false);
  };
  mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
  mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
  mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
  mouse(QEvent::MouseButtonDblClick, Qt::RightButton, Qt::RightButton);   // nothing
  forget_last_move();
  mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
  mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);   // same place: no second over
  for (int notches : {1, -1}) {
    QWheelEvent e(p, p, QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    pre_dispatch(w, &e, false);
  }
  EXPECT_EQ(eval_mold("x: copy [] foreach e log [append x reduce [e/1 e/3 e/4]] x"),
            "[down (3, 4) none up (3, 4) none alt-down (3, 4) none down (3, 4) none "
            "dbl-click (3, 4) none over (3, 4) none wheel (3, 4) 1.0 wheel (3, 4) -1.0]");
}

TEST_F(Events, SentEventsGoThroughThePreDispatch) {
  // Direct: handled before send-event-os returns.
  EXPECT_EQ(eval_mold("send-event-os make event! [type: 'down face: f offset: 10x20 "
                      "flags: [control]] false"),
            "true");
  EXPECT_EQ(eval_mold("log"), "[[down none (10, 20) none none true true]]");
  // A made key-down carries no text: no `key` follows it. A made `key` is the character.
  eval("clear log");
  eval("send-event-os make event! [type: 'key-down face: f key: #\"a\"] false");
  eval("send-event-os make event! [type: 'key face: f key: #\"a\" flags: [shift]] false");
  EXPECT_EQ(eval_mold("x: copy [] foreach e log [append x reduce [e/1 e/2]] x"),
            "[key-down #\"A\" key #\"a\"]");
  // Queued: raised when the loop runs.
  eval("clear log");
  EXPECT_EQ(eval_mold("send-event-os make event! [type: 'up face: f offset: 1x2] true"), "true");
  EXPECT_EQ(eval_mold("length? log"), "0");
  while (do_events(true)) {}
  EXPECT_EQ(eval_mold("log/1/1"), "up");
}

TEST_F(Events, WhatCannotBeSentAnswersFalse) {
  struct Case {
    const char* spec;
    const char* answer;
  };
  const Case cases[] = {
      {"[type: 'down]", "false"},                          // no face
      {"[type: 'down face: make object! [a: 1]]", "false"},  // a face without a window
      {"[type: 'close face: f]", "false"},                 // not a message a window gets
      {"[type: 'maximize face: f]", "false"},              // no resize: no maximize box
      {"[type: 'restore face: f]", "true"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(eval_mold(std::string("send-event-os make event! ") + c.spec + " false"), c.answer)
        << c.spec;
  }
}

TEST(Windows, FreeingAWindowFaceClearsItsTreeAndKillsTheIds) {
  eval(std::string("w: ") + viewtest::FACE_SPEC);
  eval(std::string("p: ") + viewtest::FACE_SPEC + " p/type: 'panel");
  eval("h: system/view/platform/make-view w system/view/platform/make-null-handle "
       "w/state: reduce [h 0 none false] "
       "hp: system/view/platform/make-view p h p/state: reduce [hp 0 none false] "
       "w/pane: reduce [p] w/selected: p");
  uint32_t wid = viewtest::window_of("h");
  uint32_t pid = viewtest::window_of("hp");
  ASSERT_NE(windows::find(wid), nullptr);
  EXPECT_EQ(windows::root_of(pid), wid);
  QPointer<QWidget> shell = windows::find(wid)->widget;
  EXPECT_EQ(shell->geometry(), QRect(10, 10, 120, 80));
  eval("system/view/platform/destroy-view w false");
  EXPECT_EQ(eval_mold("reduce [w/state w/selected p/state]"), "[none none none]");
  EXPECT_EQ(windows::find(wid), nullptr);
  EXPECT_EQ(windows::find(pid), nullptr);
  // The window itself goes when its posted close runs.
  EXPECT_FALSE(shell.isNull());
  while (do_events(true)) {}
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shell.isNull());
}

TEST(Windows, UnknownFaceTypesAreRefused) {
  eval(std::string("b: ") + viewtest::FACE_SPEC + " b/type: 'bogus");
  EXPECT_EQ(eval_mold("e: try [system/view/platform/make-view b "
                      "system/view/platform/make-null-handle] e/id"),
            "face-type");
  // An unknown flag word leaves no window behind.
  uint32_t before = windows::count();
  eval(std::string("b: ") + viewtest::FACE_SPEC + " b/flags: [resize bogus]");
  EXPECT_EQ(eval_mold("e: try [system/view/platform/make-view b "
                      "system/view/platform/make-null-handle] e/id"),
            "invalid-arg");
  EXPECT_EQ(windows::count(), before);
}

TEST(Windows, BackBufferFollowsSizeAndPixelRatio) {
  WinData w;
  QImage& a = back_buffer(w, QSize(30, 20), 1.0);
  EXPECT_EQ(a.size(), QSize(30, 20));
  a.fill(Qt::red);
  EXPECT_EQ(back_buffer(w, QSize(30, 20), 1.0).pixelColor(0, 0), QColor(Qt::red));
  QImage& b = back_buffer(w, QSize(30, 20), 2.0);
  EXPECT_EQ(b.size(), QSize(60, 40));
  EXPECT_EQ(b.devicePixelRatio(), 2.0);
  EXPECT_EQ(b.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(back_buffer(w, QSize(31, 20), 2.0).size(), QSize(62, 40));
}

TEST(Platform, DpiConversions) {
  DpiState saved = dpi;
  set_dpi(144);
  EXPECT_EQ(dpi.scale, 1.5);
  EXPECT_EQ(to_device(10.0f), 15);
  EXPECT_EQ(to_logical(15), 10.0f);
  EXPECT_EQ(to_device(-0.9f), 0);   // +0.5, then truncated toward zero
  // A context on a window takes its screen's DPI and gives the old one back.
  QWidget top;
  uint32_t id = windows::add(&top, nullptr);
  int previous = enter_dpi_context(id);
  EXPECT_EQ(previous, 144);
  EXPECT_EQ(dpi.dpi, 96);
  leave_dpi_context(previous);
  EXPECT_EQ(dpi.dpi, 144);
  EXPECT_EQ(dpi.depth, saved.depth);
  windows::kill(id);
  dpi = saved;
}

TEST(Platform, ScreensAndStartUpValues) {
  eval("system/view/platform/init");
  EXPECT_EQ(eval_mold("system/view/platform/version"), "10.0.0");
  EXPECT_EQ(eval_mold("reduce [system/view/platform/build system/view/platform/product]"),
            "[0 1]");
  EXPECT_EQ(eval_mold("system/view/metrics/dpi"), "96");
  EXPECT_EQ(eval_mold("s: system/view/platform/fetch-all-screens reduce [length? s "
                      "length? s/1 s/1/1 s/1/3]"),
            "[1 4 0x0 1.0]");
  EXPECT_EQ(eval_mold("same? s/1/4 system/view/platform/get-current-screen"), "true");
  EXPECT_EQ(eval_mold("reduce [event? make event! [] event? 1 "
                      "find-flag? [resize no-max] 'no-max find-flag? 'resize 'resize "
                      "find-flag? none 'resize]"),
            "[true false true true false]");
}

}  // namespace
}  // namespace tav::gui
