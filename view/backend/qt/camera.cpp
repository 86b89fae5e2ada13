#include "view/backend/qt/camera.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPainter>
#include <QThread>
#include <cmath>

#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "platform/console.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/draw/image_target.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::camera {

namespace {

using platform::face_field;

SourceMaker& source_maker() {
  static SourceMaker maker;
  return maker;
}

void say(const char* text) {
  console::TypedArg arg = console::typed_text(text);
  console::print_typed_line(1, &arg);
}

// The widget of a camera face. It owns the device (none: the face has nothing to show and
// every later change does nothing); a running device has a handover.
class CameraFace : public QWidget {
 public:
  explicit CameraFace(QWidget* parent) : QWidget(parent) {}
  ~CameraFace() override { stop(); }

  std::unique_ptr<FrameSource> source;
  int device_count = 0;
  std::shared_ptr<Handover> handover;
  // Width / height of this camera's picture (0 while not known).
  double ratio = 0;
  QImage shown;

  void stop() {
    if (source) source->stop();
    handover.reset();
    shown = QImage();
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (shown.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(fit(size(), ratio), shown);
  }
};

CameraFace* camera_of(uint32_t window, const std::shared_ptr<Handover>& h) {
  WinData* w = windows::find(window);
  auto* cam = w && w->widget ? dynamic_cast<CameraFace*>(w->widget.data()) : nullptr;
  // A frame from a device stopped or switched since is no news.
  return cam && cam->handover == h ? cam : nullptr;
}

void set_ratio_facet(Cell* face, double ratio) {
  Cell word = word::make(symbol::make("ratio"));
  Cell* cell = object::word_value_cell(face, &word);
  if (cell && cell->is(TYPE_FLOAT)) set_float(cell, ratio);
}

// Interpreter's thread: the picture to show, the latest the device sent.
void show_frame(uint32_t window, const std::shared_ptr<Handover>& h, const QImage& image) {
  CameraFace* cam = camera_of(window, h);
  if (!cam) return;
  if (cam->ratio <= 0 && image.height() > 0) {
    cam->ratio = static_cast<double>(image.width()) / image.height();
    Cell face;
    if (windows::face_of(window, &face)) set_ratio_facet(&face, cam->ratio);
  }
  cam->shown = image;
  cam->update();
}

// Interpreter's thread: a requested frame is ready; it goes into the face's `image` when
// that is none.
void deliver(uint32_t window, const std::shared_ptr<Handover>& h) {
  if (!camera_of(window, h)) return;
  QImage frame;
  if (!h->take(&frame)) return;
  Cell face;
  if (!windows::face_of(window, &face)) return;
  Cell* image = face_field(&face, platform::FACE_IMAGE);
  if (!image || !image->is(TYPE_NONE)) return;
  Cell value;
  draw::image_value(frame, &value);
  *face_field(&face, platform::FACE_IMAGE) = value;
}

// Runs on the device's thread: the picture goes to the screen (one at a time: a frame that
// finds the last one not shown yet is skipped), and to the script when it asked for one.
FrameSource::Sink sink_for(std::shared_ptr<Handover> h) {
  auto preview_pending = std::make_shared<std::atomic<bool>>(false);
  return [h, preview_pending](const QImage& image) {
    uint32_t window = h->window.load();
    if (!window || image.isNull()) return;
    if (!preview_pending->exchange(true)) {
      post_to_window(window, [window, h, preview_pending, image] {
        preview_pending->store(false);
        show_frame(window, h, image);
      });
    }
    if (h->offer(image)) post_to_window(window, [window, h] { deliver(window, h); });
  };
}

void select(CameraFace* cam, uint32_t window, Cell* face) {
  if (!cam->source) return;
  cam->stop();
  cam->ratio = 0;
  Cell* sel = face_field(face, platform::FACE_SELECTED);
  if (!sel || !sel->is(TYPE_INTEGER)) return;
  Cell index = *sel;
  if (index.int_value() < 1 || index.int_value() > cam->device_count)
    error::raise(ERR_ACCESS, "cannot-open", &index);
  auto h = std::make_shared<Handover>();
  h->window = window;
  // The first frame the device sends is the face's image.
  h->state = Handover::REQUESTED;
  cam->handover = h;
  QSize size;
  if (!cam->source->start(index.int_value() - 1, sink_for(h), &size)) {
    say("This device cannot preview!");
    cam->stop();
    return;
  }
  if (size.height() > 0) {
    cam->ratio = static_cast<double>(size.width()) / size.height();
    set_ratio_facet(face, cam->ratio);
  }
}

// A frame now: waits up to 3 seconds for the device to answer, with no language code running
// meanwhile. A null picture when the camera is stopped or sends nothing.
QImage capture(CameraFace* cam) {
  std::shared_ptr<Handover> h = cam->handover;
  if (!h) return QImage();
  h->state.store(Handover::REQUESTED);
  bool gate = loop.gate_closed;
  loop.gate_closed = true;
  // Some backends hand frames over through this thread's own loop: it keeps turning.
  QDeadlineTimer deadline(3000);
  while (h->state.load() != Handover::READY && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (h->state.load() != Handover::READY) QThread::msleep(1);
  }
  // A request still open is withdrawn; one the device took is waited for.
  int expected = Handover::REQUESTED;
  if (!h->state.compare_exchange_strong(expected, Handover::IDLE)) {
    while (h->state.load() == Handover::COPYING) QThread::yieldCurrentThread();
  }
  QImage frame;
  h->take(&frame);
  h->state.store(Handover::IDLE);
  loop.gate_closed = gate;
  return frame;
}

constexpr uint32_t bit(uint32_t field) { return 1u << field; }

}  // namespace

bool Handover::offer(const QImage& image) {
  int expected = REQUESTED;
  if (!state.compare_exchange_strong(expected, COPYING)) return false;
  frame = image;
  state.store(READY, std::memory_order_seq_cst);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  return true;
}

bool Handover::take(QImage* out) {
  if (state.load() != READY) return false;
  *out = frame;
  frame = QImage();
  state.store(IDLE);
  return true;
}

void set_source_maker(SourceMaker maker) { source_maker() = std::move(maker); }

QRect fit(QSize area, double ratio) {
  int w = area.width(), h = area.height();
  if (ratio <= 0 || w <= 0 || h <= 0) return QRect(QPoint(0, 0), area);
  if (ratio * h < w) {
    int video = static_cast<int>(std::lround(ratio * h));
    return QRect(static_cast<int>(std::lround((w - video) / 2.0)), 0, video, h);
  }
  int video = static_cast<int>(std::lround(w / ratio));
  return QRect(0, static_cast<int>(std::lround((h - video) / 2.0)), w, video);
}

QWidget* create(Cell* face, QWidget* parent) {
  auto* cam = new CameraFace(parent);
  std::unique_ptr<FrameSource> source = source_maker() ? source_maker()() : platform_source();
  QStringList names = source ? source->devices() : QStringList();
  if (names.isEmpty()) {
    say("No video capture hardware");
    return cam;
  }
  names = names.mid(0, MAX_DEVICES);
  cam->source = std::move(source);
  cam->device_count = static_cast<int>(names.size());
  Cell* blk = block::push_only(cam->device_count);
  for (const QString& name : names) {
    QByteArray bytes = name.toUtf8();
    Cell* s = string::load_new(reinterpret_cast<const uint8_t*>(bytes.constData()),
                               static_cast<size_t>(bytes.size()), string::ENCODING_UTF8);
    block::append_cell(blk, s);
    stack::pop(1);
  }
  if (Cell* data = face_field(face, platform::FACE_DATA)) *data = *blk;
  stack::pop(1);
  return cam;
}

void apply(QWidget* widget, uint32_t window, Cell* face, uint32_t bits, bool made) {
  auto* cam = dynamic_cast<CameraFace*>(widget);
  if (!cam) return;
  if (bits & bit(platform::FACE_SELECTED)) select(cam, window, face);
  if (!made && (bits & bit(platform::FACE_IMAGE))) {
    Cell* image = face_field(face, platform::FACE_IMAGE);
    if (image && image->is(TYPE_NONE)) {
      QImage frame = capture(cam);
      if (!frame.isNull()) {
        Cell value;
        draw::image_value(frame, &value);
        *face_field(face, platform::FACE_IMAGE) = value;
      }
    }
  }
  if (bits & bit(platform::FACE_SIZE)) cam->update();
}

bool current_frame(const QWidget* widget, QImage* out) {
  auto* cam = dynamic_cast<const CameraFace*>(widget);
  if (!cam || cam->shown.isNull()) return false;
  *out = cam->shown;
  return true;
}

}  // namespace tav::gui::camera
