#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <thread>
#include <xcb/xcb.h>

#include "view/backend/qt/backend.h"
#include "datatypes/event.h"
#include "view/backend/qt/pre_dispatch.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

DpiState dpi;

namespace {

QApplication* application = nullptr;
PlatformInfo info;
std::string unreachable;
// False while the font configuration is being read on its own thread.
std::atomic<bool> fonts_ready{true};

// Qt ends the process when its X11 plugin cannot connect; asking first lets the program go
// on without windows and say so when one is wanted.
bool display_reachable(const char* display) {
  xcb_connection_t* c = xcb_connect(display, nullptr);
  bool ok = c && !xcb_connection_has_error(c);
  if (c) xcb_disconnect(c);
  return ok;
}

// Without a user's choice: X11 when there is a display (positions, the pointer and screen
// capture need it), Qt's own choice under Wayland alone, and windows nobody sees when there
// is no display at all.
void choose_platform() {
  if (std::getenv("QT_QPA_PLATFORM")) return;
  const char* display = std::getenv("DISPLAY");
  if (display && *display) setenv("QT_QPA_PLATFORM", "xcb", 1);
  else if (!std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void check_display() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!platform || std::string(platform).rfind("xcb", 0) != 0) return;
  const char* display = std::getenv("DISPLAY");
  if (display_reachable(display)) return;
  unreachable = display && *display ? display : "(none)";
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace

int screen_dpi(const QScreen* screen) {
  return screen ? static_cast<int>(std::lround(96.0 * screen->devicePixelRatio())) : 96;
}

void set_dpi(int value) {
  dpi.dpi = value > 0 ? value : 96;
  dpi.scale = dpi.dpi / 96.0;
}

int to_device(float logical) { return static_cast<int>(logical * dpi.scale + 0.5); }
float to_logical(int device) { return static_cast<float>(device / dpi.scale); }

int window_dpi(uint32_t window) {
  WinData* w = windows::find(window);
  if (!w || !w->widget) return dpi.dpi;
  QScreen* s = w->widget->window()->screen();
  return s ? screen_dpi(s) : dpi.dpi;
}

int enter_dpi_context(uint32_t window) {
  int previous = dpi.dpi;
  ++dpi.depth;
  if (window) set_dpi(window_dpi(window));
  return previous;
}

void leave_dpi_context(int previous) {
  --dpi.depth;
  if (previous == dpi.dpi) return;
  QWidget* active = QApplication::activeWindow();
  uint32_t id = active ? windows::id_of(active) : 0;
  if (dpi.depth == 0 && id && active->isVisible()) set_dpi(window_dpi(id));
  else set_dpi(previous);
}

bool initialised() { return application != nullptr; }

// Fontconfig parses its configuration and builds its font list once per process; Qt asks for
// it when the first text is measured. Reading it while the runtime boots takes it off the
// way to the first window. Fontconfig makes its one configuration thread-safely.
void prepare_fonts() {
  fonts_ready = false;
  std::thread([] {
    FcInit();
    fonts_ready = true;
    fonts_ready.notify_all();
  }).detach();
}

const std::string& unreachable_display() { return unreachable; }

const PlatformInfo& platform_info() { return info; }

void init() {
  if (application) return;
  choose_platform();
  check_display();
  if (!std::getenv("IBUS_ENABLE_SYNC_MODE")) setenv("IBUS_ENABLE_SYNC_MODE", "1", 1);
  // A paint over pixels still shared with the X server waits for it through a round trip:
  // one per change of a face. Sent over the socket, pixels cost a copy and no wait.
  if (!std::getenv("QT_XCB_NO_MITSHM")) setenv("QT_XCB_NO_MITSHM", "1", 1);
  QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
  // Menu bars stay in their windows, below the title, where the faces' layout counts them.
  // A desktop's global menu would take them out; looking for one also costs a session-bus
  // connection and a call on every start.
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  // Qt keeps references to both for the life of the application.
  static int argc = 1;
  static char name[] = "tav";
  static char* argv[] = {name, nullptr};
  application = new QApplication(argc, argv);
  QApplication::setStyle("Fusion");
  QApplication::setQuitOnLastWindowClosed(false);
  QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (!screen) screen = QGuiApplication::primaryScreen();
  set_dpi(screen_dpi(screen));
  info.dpi = dpi.dpi;
  int extent = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  info.scroller[0] = info.scroller[1] = extent;
  QFont font = QApplication::font();
  info.font_name = font.family().toStdString();
  info.font_size = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
  QPalette palette = QApplication::palette();
  auto rgb = [&](QPalette::ColorRole role) { return palette.color(role).rgb() & 0xFFFFFFu; };
  info.text_color = rgb(QPalette::WindowText);
  info.window_color = rgb(QPalette::Base);
  info.panel_color = rgb(QPalette::Window);
  install_pre_dispatch();
  fonts_ready.wait(false);
  event::hooks.face_of = windows::face_of;
  event::hooks.window_face_of = [](uint32_t id, Cell* out) {
    return windows::face_of(windows::root_of(id), out);
  };
}

}  // namespace tav::gui
