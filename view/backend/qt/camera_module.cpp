// Opens the camera module (camera_source.cpp, built beside the program) when the first camera
// face asks for the platform's devices.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "view/backend/qt/camera.h"

namespace tav::gui::camera {

namespace {

constexpr const char* MODULE_NAME = "tavcamera.so";

using Maker = FrameSource* (*)();

// The module lies in the program's own folder.
std::string module_path() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return MODULE_NAME;
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + MODULE_NAME;
}

Maker load_maker() {
  void* module = dlopen(module_path().c_str(), RTLD_NOW | RTLD_LOCAL);
  return module ? reinterpret_cast<Maker>(dlsym(module, "tav_camera_source")) : nullptr;
}

}  // namespace

// Without the module the platform has no source: the face says it found no device.
std::unique_ptr<FrameSource> platform_source() {
  static Maker maker = load_maker();
  return std::unique_ptr<FrameSource>(maker ? maker() : nullptr);
}

}  // namespace tav::gui::camera
