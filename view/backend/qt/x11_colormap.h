// Native windows on X11 share the screen's default colormap when they use its default visual.
#pragma once

class QEvent;
class QObject;

namespace tav::gui {

// Called for every event the application sees: acts only when Qt has just made a window's
// native surface on X11, before the window is mapped.
void adopt_default_colormap(QObject* receiver, const QEvent* e);

}  // namespace tav::gui
