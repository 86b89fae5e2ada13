// The camera face with a stand-in for the capture devices: the device list, frames handed
// over from another thread, synchronous capture, the errors and the picture's fit.
#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/console.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/camera.h"
#include "view_test_helpers.h"

namespace tav::gui {
namespace {

using viewtest::eval;
using viewtest::eval_mold;

// What the stand-in devices share with the test.
struct Devices {
  QStringList names;
  QSize size;
  std::mutex lock;
  camera::FrameSource::Sink sink;
  int started = -1;
  int stops = 0;

  // Sends a frame as a device thread does (no-op while no device runs).
  void send(const QImage& frame) {
    std::lock_guard<std::mutex> hold(lock);
    if (sink) sink(frame);
  }
};

class FakeSource : public camera::FrameSource {
 public:
  explicit FakeSource(std::shared_ptr<Devices> d) : d_(std::move(d)) {}
  QStringList devices() override { return d_->names; }
  bool start(int index, Sink sink, QSize* size) override {
    std::lock_guard<std::mutex> hold(d_->lock);
    d_->sink = std::move(sink);
    d_->started = index;
    *size = d_->size;
    return true;
  }
  void stop() override {
    std::lock_guard<std::mutex> hold(d_->lock);
    d_->sink = nullptr;
    ++d_->stops;
  }

 private:
  std::shared_ptr<Devices> d_;
};

QImage filled(QSize size, QColor color) {
  QImage img(size, QImage::Format_ARGB32);
  img.fill(color);
  return img;
}

// From a thread of its own, as the devices do.
void send_from_thread(Devices& d, const QImage& frame) {
  std::thread([&] { d.send(frame); }).join();
}

std::string console_text;
void keep_console(const char* bytes, size_t length) { console_text.append(bytes, length); }

class Camera : public ::testing::Test {
 protected:
  void SetUp() override {
    devices = std::make_shared<Devices>();
    devices->names = {"cam A", "cam B"};
    devices->size = QSize(40, 20);
    std::shared_ptr<Devices> d = devices;
    camera::set_source_maker([d] { return std::make_unique<FakeSource>(d); });
    console_text.clear();
    previous_sink = console::set_sink(keep_console);
  }
  void TearDown() override {
    eval("unview/all");
    console::set_sink(previous_sink);
    camera::set_source_maker(nullptr);
  }
  // A window holding a camera face `c` made with the given facets.
  void show_camera(const std::string& facets) {
    eval("c: make face! [type: 'camera offset: 0x0 size: 100x100 ratio: 0.0 " + facets + "] "
         "cw: make face! [type: 'window text: \"cam\" offset: 10x10 size: 100x100 "
         "pane: reduce [c]] view/no-wait cw");
  }
  void settle() {
    while (do_events(true)) {}
  }
  std::shared_ptr<Devices> devices;
  console::Sink previous_sink = nullptr;
};

TEST_F(Camera, TheFirstFrameBecomesTheImageAndLaterOnesOnlyShow) {
  show_camera("data: none selected: 2");
  EXPECT_EQ(devices->started, 1);
  EXPECT_EQ(eval_mold("reduce [c/data c/ratio c/image]"), "[[\"cam A\" \"cam B\"] 2.0 none]");
  send_from_thread(*devices, filled({40, 20}, Qt::red));
  settle();
  EXPECT_EQ(eval_mold("reduce [c/image/size c/image/1]"), "[40x20 255.0.0.0]");
  // Nothing is asked for now: the next frame is shown, never stored.
  send_from_thread(*devices, filled({40, 20}, Qt::blue));
  settle();
  EXPECT_EQ(eval_mold("ti: to image! c reduce [c/image/1 ti/size ti/1]"),
            "[255.0.0.0 40x20 0.0.255.0]");
}

TEST_F(Camera, SettingTheImageToNoneCapturesAFrameAtOnce) {
  show_camera("selected: 1");
  send_from_thread(*devices, filled({40, 20}, Qt::red));
  settle();
  // A device that keeps sending, as a running camera does.
  std::atomic<bool> running{true};
  std::thread device([&] {
    while (running) {
      devices->send(filled({40, 20}, Qt::green));
      std::this_thread::yield();
    }
  });
  eval("c/image: none");
  running = false;
  device.join();
  EXPECT_EQ(eval_mold("reduce [c/image/size c/image/1]"), "[40x20 0.255.0.0]");
}

TEST_F(Camera, AStoppedCameraKeepsItsListAndCapturesNothing) {
  show_camera("selected: 1");
  int stops = devices->stops;
  eval("c/selected: none");
  EXPECT_GT(devices->stops, stops);
  eval("c/image: none");
  EXPECT_EQ(eval_mold("reduce [c/data c/image]"), "[[\"cam A\" \"cam B\"] none]");
  // Choosing again starts the device again.
  eval("c/selected: 1");
  send_from_thread(*devices, filled({40, 20}, Qt::red));
  settle();
  EXPECT_EQ(eval_mold("c/image/size"), "40x20");
}

TEST_F(Camera, ADeviceOutsideTheListCannotBeOpened) {
  show_camera("selected: none");
  for (const char* index : {"0", "3"}) {
    EXPECT_EQ(eval_mold(std::string("e: try [c/selected: ") + index + "] reduce [e/id e/arg1]"),
              std::string("[cannot-open ") + index + "]");
  }
}

TEST_F(Camera, NoDeviceIsToldOnceAndLeavesTheFaceAlone) {
  devices->names.clear();
  show_camera("data: [\"kept\"] selected: 1");
  eval("c/selected: 1 c/image: none");
  EXPECT_EQ(console_text, "No video capture hardware\n");
  EXPECT_EQ(eval_mold("reduce [c/data c/image c/ratio]"), "[[\"kept\"] none 0.0]");
}

// Each camera keeps the ratio of its own picture, whatever the other shows.
TEST_F(Camera, EachCameraFitsItsOwnRatio) {
  show_camera("selected: 1");
  devices->size = QSize(20, 40);
  eval("c2: make face! [type: 'camera offset: 0x0 size: 100x100 ratio: 0.0 selected: 1] "
       "append cw/pane c2");
  EXPECT_EQ(eval_mold("reduce [c/ratio c2/ratio]"), "[2.0 0.5]");
}

TEST(CameraFit, ThePictureKeepsItsShapeCentred) {
  struct Case {
    QSize area;
    double ratio;
    QRect want;
  } cases[] = {
      {{100, 100}, 2.0, {0, 25, 100, 50}},
      {{100, 100}, 0.5, {25, 0, 50, 100}},
      {{200, 100}, 4.0 / 3.0, {34, 0, 133, 100}},
      {{100, 100}, 0.0, {0, 0, 100, 100}},
  };
  for (const Case& c : cases) EXPECT_EQ(camera::fit(c.area, c.ratio), c.want) << c.ratio;
}

TEST(CameraHandover, OnlyARequestedFrameIsKept) {
  camera::Handover h;
  QImage frame = filled({2, 2}, Qt::red), out;
  EXPECT_FALSE(h.offer(frame));
  EXPECT_FALSE(h.take(&out));
  h.state = camera::Handover::REQUESTED;
  EXPECT_TRUE(h.offer(frame));
  EXPECT_FALSE(h.offer(frame));
  EXPECT_TRUE(h.take(&out));
  EXPECT_EQ(out.pixelColor(0, 0), QColor(Qt::red));
  EXPECT_EQ(h.state.load(), camera::Handover::IDLE);
}

}  // namespace
}  // namespace tav::gui
