#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <vector>

#include "view/backend/qt/backend.h"
#include "view/backend/qt/held_input.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

LoopState loop;

namespace {

// Our blocking loops, innermost last.
std::vector<QEventLoop*> loop_stack;

// Takes a pending quit: the innermost of our loops ends. With none running, the quit waits
// for the next loop, which checks on entry.
void check_quit() {
  if (!loop.quit_pending || loop_stack.empty()) return;
  loop.quit_pending = false;
  loop_stack.back()->exit(0);
}

void queue_quit_check() {
  QMetaObject::invokeMethod(qApp, [] { check_quit(); }, Qt::QueuedConnection);
}

}  // namespace

void post_call(std::function<void()> fn) {
  QMetaObject::invokeMethod(
      qApp,
      [fn = std::move(fn)]() mutable {
        if (loop.gate_closed) {
          post_call(std::move(fn));
          return;
        }
        fn();
      },
      Qt::QueuedConnection);
}

void post_to_window(uint32_t window, std::function<void()> fn) {
  post_call([window, fn = std::move(fn)] {
    if (windows::find(window)) fn();
  });
}

void post_quit() {
  loop.quit_pending = true;
  queue_quit_check();
}

int loop_depth() { return static_cast<int>(loop_stack.size()); }

bool do_events(bool no_wait) {
  init();
  int32_t saved_override = loop.modifier_override;
  loop.modifier_override = -1;
  if (no_wait) {
    // A quit waiting here is taken by this pass, as a peek takes it.
    loop.quit_pending = false;
    held_input::release();
    // The thread's dispatcher directly: a pass runs once per shown change, and a QEventLoop
    // made for it would only forward the call.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    bool handled = dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
    loop.modifier_override = saved_override;
    return handled;
  }
  ++loop.blocking_loops;
  QEventLoop nested;
  loop_stack.push_back(&nested);
  if (loop.quit_pending) queue_quit_check();
  else held_input::release();
  nested.exec();
  loop_stack.pop_back();
  // The pending-exit count only ever goes down to 0: a loop left by an ordinary quit must
  // not use up an exit that a destroyed last window asked of an enclosing loop.
  if (loop.pending_exits > 0) --loop.pending_exits;
  if (loop.pending_exits > 0) post_quit();
  loop.modifier_override = saved_override;
  return true;
}

}  // namespace tav::gui
