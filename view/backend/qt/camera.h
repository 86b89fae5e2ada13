// The camera face: a capture device's live picture, aspect-fit in the face, and still frames
// handed to the script as image! values. Frames come from the device's own thread; one state
// word per camera decides who may touch the frame being handed over.
#pragma once
#include <QImage>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/cell.h"

namespace tav::gui::camera {

// Where a camera's frames come from. Frames may arrive on any thread.
class FrameSource {
 public:
  using Sink = std::function<void(const QImage&)>;
  virtual ~FrameSource() = default;
  // The capture devices' names, in the platform's order.
  virtual QStringList devices() = 0;
  // Starts the device (0-based) sending its frames to the sink; `size` gets the frame size
  // when it is known already. False when the device cannot show its picture.
  virtual bool start(int index, Sink sink, QSize* size) = 0;
  virtual void stop() = 0;
};

using SourceMaker = std::function<std::unique_ptr<FrameSource>()>;
// What every new camera face takes its frames from; the platform's capture devices unless
// replaced (tests give their own). An empty maker goes back to the platform's.
void set_source_maker(SourceMaker maker);
// The platform's capture devices, through Qt Multimedia.
std::unique_ptr<FrameSource> platform_source();

// A camera knows this many devices at most.
constexpr int MAX_DEVICES = 8;

// The frame on its way from the device's thread to the interpreter's.
struct Handover {
  enum : int { IDLE = 0, REQUESTED = 1, READY = 2, COPYING = 3 };
  std::atomic<int> state{IDLE};
  // The face's window, once it has one: where a ready frame is delivered.
  std::atomic<uint32_t> window{0};
  // Written only by the device's thread between REQUESTED and READY; read only in READY.
  QImage frame;
  // Device's thread: keeps the frame when one was requested; false when it was dropped.
  bool offer(const QImage& image);
  // Interpreter's thread: the ready frame, if any; the state goes back to idle either way
  // when one was ready.
  bool take(QImage* out);
};

// The part of a w x h area that a picture of the ratio (width / height) fills, centred;
// the whole area when the ratio is not known.
QRect fit(QSize area, double ratio);

// A new camera face's widget: its `data` becomes the devices' names; with no device it says
// so on the console output and shows nothing.
QWidget* create(Cell* face, QWidget* parent);
// Facet changes (`made`: the face was just made, its image is not a request): `selected` starts, switches or stops the
// device (an index outside the list raises cannot-open), `image` set to none captures a
// frame at once, a new size fits the picture again.
void apply(QWidget* widget, uint32_t window, Cell* face, uint32_t bits, bool made);
// The picture the camera shows now; false when it shows none (or is no camera).
bool current_frame(const QWidget* widget, QImage* out);

}  // namespace tav::gui::camera
