// The platform's capture devices on Qt Multimedia: a camera, a capture session and a video
// sink whose frames go to the camera face from whatever thread the backend delivers them on.
// Built as a module of its own (camera_module.cpp opens it), so that Qt Multimedia and the
// sound and media libraries under it load only when a camera face is made.
#include <QCamera>
#include <QCameraDevice>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QVideoFrame>
#include <QVideoSink>

#include "view/backend/qt/camera.h"

namespace tav::gui::camera {

namespace {

class QtSource : public FrameSource {
 public:
  ~QtSource() override { stop(); }

  QStringList devices() override {
    QStringList names;
    for (const QCameraDevice& d : QMediaDevices::videoInputs()) names.push_back(d.description());
    return names;
  }

  bool start(int index, Sink sink, QSize* size) override {
    stop();
    const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
    if (index < 0 || index >= inputs.size()) return false;
    camera_ = std::make_unique<QCamera>(inputs[index]);
    video_ = std::make_unique<QVideoSink>();
    session_.setCamera(camera_.get());
    session_.setVideoSink(video_.get());
    // The frame is turned into an image on the delivering thread: the interpreter's thread
    // only ever sees finished pictures.
    QObject::connect(video_.get(), &QVideoSink::videoFrameChanged, video_.get(),
                     [sink = std::move(sink)](const QVideoFrame& frame) { sink(frame.toImage()); },
                     Qt::DirectConnection);
    camera_->start();
    if (camera_->error() != QCamera::NoError) {
      stop();
      return false;
    }
    *size = camera_->cameraFormat().resolution();
    return true;
  }

  void stop() override {
    if (camera_) camera_->stop();
    session_.setCamera(nullptr);
    session_.setVideoSink(nullptr);
    camera_.reset();
    video_.reset();
  }

 private:
  QMediaCaptureSession session_;
  std::unique_ptr<QCamera> camera_;
  std::unique_ptr<QVideoSink> video_;
};

}  // namespace

}  // namespace tav::gui::camera

extern "C" __attribute__((visibility("default"))) tav::gui::camera::FrameSource*
tav_camera_source() {
  return new tav::gui::camera::QtSource;
}
