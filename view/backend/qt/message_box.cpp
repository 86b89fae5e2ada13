#include "view/backend/qt/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

#include "view/backend/qt/backend.h"

namespace tav::gui {

void error_box(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  if (!initialised() || QGuiApplication::platformName() == QLatin1String("offscreen")) return;
  // Nothing of the script runs any more: the box's own loop only serves the box.
  loop.gate_closed = true;
  QMessageBox::critical(nullptr, QString::fromStdString(caption), QString::fromStdString(text));
}

}  // namespace tav::gui
