// What a control tells when the user works it: its value read back into the face, then the
// event the View layer sees (`click`, `change`, `select`). Setters the program calls stay
// silent: they hold a signal blocker.
#pragma once
#include <QWidget>
#include <cstdint>

#include "view/backend/qt/face_widgets.h"

namespace tav::gui {

void connect_notifications(QWidget* widget, FaceKind kind, uint32_t window);

}  // namespace tav::gui
