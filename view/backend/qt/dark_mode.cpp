#include "view/backend/qt/dark_mode.h"

#include <QVariant>
#include <QWidget>

#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::dark_mode {

namespace {

// What the face had set on its widget before it went dark, kept on the widget while it is.
constexpr const char* OWN_PALETTE = "tav-own-palette";

}  // namespace

QPalette dark_palette() {
  const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230), muted(128, 128, 128);
  const QColor accent(42, 130, 218);
  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
  p.setColor(QPalette::ToolTipBase, QColor(25, 25, 25));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, muted);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, QColor(255, 80, 80));
  // The bevels Fusion draws its frames, grooves and handles with.
  p.setColor(QPalette::Light, QColor(80, 80, 80));
  p.setColor(QPalette::Midlight, QColor(66, 66, 66));
  p.setColor(QPalette::Mid, QColor(45, 45, 45));
  p.setColor(QPalette::Dark, QColor(30, 30, 30));
  p.setColor(QPalette::Shadow, QColor(15, 15, 15));
  p.setColor(QPalette::Highlight, accent);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, accent);
  p.setColor(QPalette::LinkVisited, QColor(160, 110, 220));
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                   QPalette::HighlightedText})
    p.setColor(QPalette::Disabled, role, muted);
  p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
  p.setColor(QPalette::Disabled, QPalette::Light, window);
  return p;
}

void set(QWidget* widget, bool dark) {
  if (!widget) return;
  static const QPalette dark_colors = dark_palette();
  QPalette current = widget->palette();
  QVariant saved = widget->property(OWN_PALETTE);
  // A colour the face set while dark replaced the whole palette: what is on the widget now is
  // the face's own again.
  bool still_dark = saved.isValid() && current.resolveMask() == dark_colors.resolveMask();
  QPalette own = still_dark ? saved.value<QPalette>() : current;
  if (!dark) {
    widget->setProperty(OWN_PALETTE, QVariant());
    // The roles the face did not set come from the parent again, or from the application.
    widget->setPalette(own);
    return;
  }
  QPalette next = dark_colors;
  for (int group = 0; group < QPalette::NColorGroups; ++group) {
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
      auto g = static_cast<QPalette::ColorGroup>(group);
      auto r = static_cast<QPalette::ColorRole>(role);
      if (own.isBrushSet(g, r)) next.setBrush(g, r, own.brush(g, r));
    }
  }
  widget->setProperty(OWN_PALETTE, QVariant::fromValue(own));
  widget->setPalette(next);
}

void set(const Cell* face, bool dark) {
  WinData* w = windows::find(platform::face_window(face));
  if (w) set(w->widget.data(), dark);
}

}  // namespace tav::gui::dark_mode
