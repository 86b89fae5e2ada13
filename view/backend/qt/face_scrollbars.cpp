#include "view/backend/qt/face_scrollbars.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "datatypes/event.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::scrollbars {

namespace {

constexpr uint32_t FLAG_SCROLLABLE = 0x00040000;
constexpr const char* VERTICAL_NAME = "tav-face-vbar";
constexpr const char* HORIZONTAL_NAME = "tav-face-hbar";

// Fields of a scroller object, in scroller! order.
enum ScrollerField : uint32_t {
  POSITION = 0, PAGE_SIZE = 1, MAX_SIZE = 3, VISIBLE = 4, VERTICAL = 5, PARENT = 6,
};

// The scroll requests the `scroll` event's key is read from: line, page, thumb tracking,
// either end, and the end of the user's action.
enum Request : uint8_t {
  LINE_BACK = 0, LINE_ON = 1, PAGE_BACK = 2, PAGE_ON = 3, TRACK = 5, TO_START = 6, TO_END = 7,
  FINISHED = 8,
};

Request request_of(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return LINE_BACK;
    case QAbstractSlider::SliderSingleStepAdd: return LINE_ON;
    case QAbstractSlider::SliderPageStepSub: return PAGE_BACK;
    case QAbstractSlider::SliderPageStepAdd: return PAGE_ON;
    case QAbstractSlider::SliderMove: return TRACK;
    case QAbstractSlider::SliderToMinimum: return TO_START;
    case QAbstractSlider::SliderToMaximum: return TO_END;
    default: return FINISHED;
  }
}

int extent() { return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent); }

class FaceScrollBar : public QScrollBar {
 public:
  FaceScrollBar(Qt::Orientation o, QWidget* face) : QScrollBar(o, face) {
    setObjectName(o == Qt::Vertical ? VERTICAL_NAME : HORIZONTAL_NAME);
    setFocusPolicy(Qt::NoFocus);
    // A new bar covers 0 to 100 with no page, until its scroller says otherwise.
    setRange(0, 100);
    setPageStep(0);
    connect(this, &QAbstractSlider::actionTriggered, [this](int action) { act(action); });
  }

 protected:
  // The wheel belongs to the face: its `wheel` event was raised before the bar saw it.
  void wheelEvent(QWheelEvent* e) override { e->ignore(); }
  void contextMenuEvent(QContextMenuEvent* e) override { e->ignore(); }
  void mouseReleaseEvent(QMouseEvent* e) override {
    QScrollBar::mouseReleaseEvent(e);
    raise_scroll(FINISHED, value());
  }

 private:
  // Qt has already moved the thumb: it goes back, and the program decides where it goes.
  void act(int action) {
    Request r = request_of(action);
    int picked = r == TRACK ? sliderPosition() : value();
    setSliderPosition(value());
    raise_scroll(r, picked);
  }

  void raise_scroll(Request request, int picked) {
    uint32_t id = windows::id_of(parentWidget());
    if (loop.gate_closed || !windows::find(id)) return;
    event::Record r;
    r.window = id;
    r.scroll_request = request;
    r.vertical = orientation() == Qt::Vertical;
    r.picked = event::Picked::integer;
    r.picked_int = picked;
    raise_event(event::SCROLL, 0, r);
  }
};

QScrollBar* find_bar(QWidget* face, bool vertical) {
  if (!face) return nullptr;
  return face->findChild<QScrollBar*>(vertical ? VERTICAL_NAME : HORIZONTAL_NAME,
                                      Qt::FindDirectChildrenOnly);
}

// The bars lie along the right and bottom edges; each stops short of the corner while the
// other one shows.
void place(QWidget* face) {
  QScrollBar* v = find_bar(face, true);
  QScrollBar* h = find_bar(face, false);
  int e = extent(), w = face->width(), ht = face->height();
  bool v_shown = v && !v->isHidden(), h_shown = h && !h->isHidden();
  if (v) v->setGeometry(w - e, 0, e, std::max(0, ht - (h_shown ? e : 0)));
  if (h) h->setGeometry(0, ht - e, std::max(0, w - (v_shown ? e : 0)), e);
}

// Follows the face's size.
class Placer : public QObject {
 public:
  explicit Placer(QWidget* face) : QObject(face) { face->installEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Resize) place(static_cast<QWidget*>(o));
    return false;
  }
};

// A whole number from an integer or a number (truncated); false for anything else.
bool whole_of(const Cell* v, int* out) {
  if (!v) return false;
  if (v->is(TYPE_INTEGER)) {
    *out = v->int_value();
    return true;
  }
  if (v->is(TYPE_FLOAT) || v->is(TYPE_PERCENT)) {
    double d = v->float_value();
    if (!std::isfinite(d)) return false;
    *out = static_cast<int>(std::clamp(d, -2147483648.0, 2147483647.0));
    return true;
  }
  return false;
}

// Range 1 .. max with a page: the last position shows the last page. A bar with nothing to
// scroll stays, disabled.
void set_page_and_range(QScrollBar* bar, const Cell* scroller) {
  int page = bar->pageStep(), max = bar->maximum();
  if (!whole_of(platform::face_field(scroller, PAGE_SIZE), &page)) page = bar->pageStep();
  if (!whole_of(platform::face_field(scroller, MAX_SIZE), &max)) return;
  page = std::max(page, 0);
  int64_t last = static_cast<int64_t>(max) - std::max(page - 1, 0);
  int top = static_cast<int>(std::clamp<int64_t>(last, 1, 2147483647));
  bar->setRange(1, top);
  bar->setPageStep(page);
  bar->setEnabled(last > 1);
}

}  // namespace

void attach(QWidget* face, uint32_t face_flags) {
  if (!(face_flags & FLAG_SCROLLABLE)) return;
  new FaceScrollBar(Qt::Vertical, face);
  new FaceScrollBar(Qt::Horizontal, face);
  new Placer(face);
  place(face);
}

void raise(QWidget* face) {
  if (QScrollBar* v = find_bar(face, true)) v->raise();
  if (QScrollBar* h = find_bar(face, false)) h->raise();
}

QWidget* bar_of(QWidget* face, bool vertical) { return find_bar(face, vertical); }

bool is_face_bar(const QWidget* w) {
  return dynamic_cast<const FaceScrollBar*>(w) != nullptr;
}

void update(const Cell* scroller, int32_t field) {
  if (!scroller->is(TYPE_OBJECT)) return;
  const Cell* parent = platform::face_field(scroller, PARENT);
  if (!parent || !parent->is(TYPE_OBJECT)) return;
  WinData* w = windows::find(platform::face_window(parent));
  if (!w || !w->widget) return;
  const Cell* vertical = platform::face_field(scroller, VERTICAL);
  QScrollBar* bar = find_bar(w->widget, vertical && is_true(vertical));
  if (!bar) return;
  QSignalBlocker quiet(bar);
  switch (field) {
    case POSITION: {
      int pos;
      if (whole_of(platform::face_field(scroller, POSITION), &pos)) bar->setValue(pos);
      break;
    }
    case PAGE_SIZE:
    case MAX_SIZE:
      set_page_and_range(bar, scroller);
      break;
    case VISIBLE: {
      const Cell* v = platform::face_field(scroller, VISIBLE);
      bar->setVisible(v && is_true(v));
      place(w->widget);
      break;
    }
    default:
      break;
  }
}

}  // namespace tav::gui::scrollbars
