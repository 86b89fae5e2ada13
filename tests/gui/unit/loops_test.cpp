// Blocking loops: the quit message ends the innermost one, two quits end one loop, the
// pending-exit count ends enclosing loops after their last windows went, and calls posted
// to a window that died are dropped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {
namespace {

// A loop left running by a fault would hang the test: end every loop after 5 s, failing.
class Loops : public ::testing::Test {
 protected:
  void SetUp() override {
    watchdog = new QTimer;
    watchdog->setSingleShot(true);
    QObject::connect(watchdog, &QTimer::timeout, [this] {
      timed_out = true;
      loop.quit_pending = true;
      post_quit();
      watchdog->start(100);
    });
    watchdog->start(5000);
    saved = loop;
  }
  void TearDown() override {
    delete watchdog;
    EXPECT_FALSE(timed_out);
    while (do_events(true)) {}
    loop = saved;
  }
  QTimer* watchdog = nullptr;
  bool timed_out = false;
  LoopState saved;
  std::vector<std::string> order;
};

TEST_F(Loops, NestedLoopsEndInnermostFirst) {
  post_call([&] {
    order.push_back("outer running");
    post_call([&] {
      order.push_back("inner running");
      post_quit();
    });
    do_events(false);
    order.push_back("inner ended");
    post_quit();
  });
  do_events(false);
  order.push_back("outer ended");
  EXPECT_EQ(order, (std::vector<std::string>{"outer running", "inner running", "inner ended",
                                             "outer ended"}));
  EXPECT_EQ(loop_depth(), 0);
}

TEST_F(Loops, TwoQuitsEndOneLoop) {
  post_quit();
  post_quit();
  do_events(false);
  order.push_back("first ended");
  // The second loop must wait for a quit of its own: had the second post survived, the
  // loop would end on its entry check, before the call queued from the call below runs.
  post_call([&] {
    post_call([&] {
      order.push_back("second running");
      post_quit();
    });
  });
  do_events(false);
  order.push_back("second ended");
  EXPECT_EQ(order, (std::vector<std::string>{"first ended", "second running",
                                             "second ended"}));
}

TEST_F(Loops, QuitBeforeAnyLoopWaitsForTheNext) {
  post_quit();
  while (do_events(true) && loop.quit_pending) {}
  // A pass without waiting takes the quit, as a peek would.
  EXPECT_FALSE(loop.quit_pending);
  post_quit();
  do_events(false);   // ends at once on the pending quit
  EXPECT_EQ(loop_depth(), 0);
}

TEST_F(Loops, LastWindowsGoneEndEveryLoopTheyOwned) {
  // Loops ended by an ordinary quit (prompts) leave the pending-exit count at 0.
  for (int i = 0; i < 3; ++i) {
    post_quit();
    do_events(false);
  }
  EXPECT_EQ(loop.pending_exits, 0);
  post_call([&] {
    post_call([&] {
      // Both windows' views destroyed as the last of their loops.
      for (int i = 0; i < 2; ++i) {
        ++loop.pending_exits;
        --loop.blocking_loops;
      }
      post_quit();
    });
    do_events(false);
    order.push_back("inner ended");
  });
  do_events(false);
  order.push_back("outer ended");
  EXPECT_EQ(order, (std::vector<std::string>{"inner ended", "outer ended"}));
  EXPECT_EQ(loop.pending_exits, 0);
}

TEST_F(Loops, NoWaitPassAnswersWhetherAnythingRan) {
  while (do_events(true)) {}
  int32_t blocking = loop.blocking_loops, pending = loop.pending_exits;
  EXPECT_FALSE(do_events(true));
  EXPECT_EQ(loop.blocking_loops, blocking);
  EXPECT_EQ(loop.pending_exits, pending);
  bool ran = false;
  post_call([&] { ran = true; });
  while (do_events(true)) {}
  EXPECT_TRUE(ran);
}

TEST(PostedCalls, ToADeadWindowAreDropped) {
  QWidget a, b;
  uint32_t dead = windows::add(&a, nullptr);
  uint32_t live = windows::add(&b, nullptr);
  std::vector<std::string> ran;
  post_to_window(dead, [&] { ran.push_back("dead"); });
  post_to_window(live, [&] { ran.push_back("live"); });
  windows::kill(dead);
  // The dead window's index comes back with another generation: still not the old id.
  QWidget c;
  uint32_t reused = windows::add(&c, nullptr);
  EXPECT_EQ(reused & 0xFFFFF, dead & 0xFFFFF);
  EXPECT_NE(reused, dead);
  EXPECT_EQ(windows::find(dead), nullptr);
  while (do_events(true)) {}
  EXPECT_EQ(ran, std::vector<std::string>{"live"});
  windows::kill(live);
  windows::kill(reused);
}

TEST(PostedCalls, WaitWhileTheGateIsClosed) {
  bool ran = false;
  loop.gate_closed = true;
  post_call([&] { ran = true; });
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  loop.gate_closed = false;
  while (do_events(true)) {}
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tav::gui
