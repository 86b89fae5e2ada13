// The widgets behind faces: WindowShell for a `window` face, FaceContainer for faces that
// hold others. No Qt layout ever places a face; geometry is set exactly.
#pragma once
#include <QWidget>
#include <cstdint>

namespace tav::gui {

class FaceContainer : public QWidget {
 public:
  explicit FaceContainer(QWidget* parent = nullptr) : QWidget(parent) {}
  QSize sizeHint() const override { return size(); }
  QSize minimumSizeHint() const override { return QSize(0, 0); }

 protected:
  // A face that draws shows its back buffer; rendering happens elsewhere, never here.
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
};

class WindowShell : public FaceContainer {
 public:
  WindowShell();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  // A shown window has its native window: from then on it follows that window's screen.
  void showEvent(QShowEvent* e) override;
  // Only the View layer's Tab handling moves the focus.
  bool focusNextPrevChild(bool) override { return false; }
};

// A shown window's face takes the origin of the area below its menu bar as its offset, quietly
// (the program's own change of the bar moved it).
void follow_window_offset(uint32_t window);

// The spec's rounding: +0.5, truncated.
int round_coordinate(double v);

}  // namespace tav::gui
