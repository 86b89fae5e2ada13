#include "view/backend/qt/face_notify.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <algorithm>

#include "core/stack.h"
#include "datatypes/date.h"
#include "datatypes/string.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui {

namespace {

using platform::face_field;

// Runs fn on the face's field when the window still has its face.
template <class Fn>
void with_field(uint32_t id, uint32_t field, Fn fn) {
  Cell face;
  if (!windows::face_of(id, &face)) return;
  if (Cell* cell = face_field(&face, field)) fn(cell);
}

int raise(uint32_t id, uint32_t type, uint32_t flags = 0) {
  if (loop.gate_closed || !windows::find(id)) return 1;
  event::Record r;
  r.window = id;
  return raise_event(type, flags, r);
}

void read_text(uint32_t id, const QString& text) {
  QByteArray bytes = text.toUtf8();
  with_field(id, platform::FACE_TEXT, [&](Cell* cell) {
    // The program's own text coming back stays the same string.
    if (cell->is(TYPE_STRING) && string::to_std_string(cell) == bytes.toStdString()) return;
    Cell* s = string::load_new(reinterpret_cast<const uint8_t*>(bytes.constData()),
                               static_cast<size_t>(bytes.size()), string::ENCODING_UTF8);
    *cell = *s;
    stack::pop(1);
  });
}

void read_check(uint32_t id, Qt::CheckState state) {
  with_field(id, platform::FACE_DATA, [&](Cell* cell) {
    if (state == Qt::PartiallyChecked) set_none(cell);
    else set_logic(cell, state == Qt::Checked);
  });
}

void read_index(uint32_t id, int index0) {
  with_field(id, platform::FACE_SELECTED, [&](Cell* cell) { set_integer(cell, index0 + 1); });
}

// The user picked another tab: `select` may refuse it (the bar goes back); otherwise the
// new page shows over the old one, `selected` follows and `change` tells the new index.
void switch_tab(uint32_t id, QTabBar* bar, int index0) {
  if (loop.gate_closed || !windows::find(id)) return;
  int previous = 0;
  with_field(id, platform::FACE_SELECTED, [&](Cell* cell) {
    if (cell->is(TYPE_INTEGER)) previous = cell->int_value();
  });
  uint32_t picked = static_cast<uint32_t>(index0 + 1) & 0xFFFF;
  if (raise(id, event::SELECT, picked) == 0 || !windows::find(id)) {
    QSignalBlocker quiet(bar);
    if (previous >= 1 && previous <= bar->count()) bar->setCurrentIndex(previous - 1);
    return;
  }
  read_index(id, index0);
  with_field(id, platform::FACE_PANE, [&](Cell* pane) {
    if (!pane->is(TYPE_BLOCK)) return;
    SeriesBuffer* b = node_buffer(pane->node());
    for (uint32_t i = pane->index(); i < b->count(); ++i) {
      Cell* page = b->cells() + i;
      if (!page->is(TYPE_OBJECT)) continue;
      bool shown = static_cast<int>(i - pane->index()) == index0;
      if (Cell* visible = face_field(page, platform::FACE_VISIBLE)) set_logic(visible, shown);
      WinData* w = windows::find(platform::face_window(page));
      if (!w || !w->widget) continue;
      w->widget->setVisible(shown);
      if (shown) w->widget->raise();
    }
  });
  raise(id, event::CHANGE, picked);
}

}  // namespace

void connect_notifications(QWidget* widget, FaceKind kind, uint32_t id) {
  switch (kind) {
    case FaceKind::BUTTON:
      QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked,
                       [id] { raise(id, event::CLICK); });
      break;
    case FaceKind::TOGGLE:
      QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, [id](bool on) {
        read_check(id, on ? Qt::Checked : Qt::Unchecked);
        raise(id, event::CHANGE);
      });
      break;
    case FaceKind::CHECK: {
      auto* box = static_cast<QCheckBox*>(widget);
      QObject::connect(box, &QCheckBox::clicked, [id, box] {
        read_check(id, box->checkState());
        raise(id, event::CHANGE);
      });
      break;
    }
    case FaceKind::RADIO: {
      auto* radio = static_cast<QRadioButton*>(widget);
      // The View layer checks it (and unchecks its siblings) on the click.
      QObject::connect(radio, &QRadioButton::clicked, [id, radio] {
        if (!radio->isChecked()) raise(id, event::CLICK);
      });
      break;
    }
    case FaceKind::FIELD:
      QObject::connect(static_cast<QLineEdit*>(widget), &QLineEdit::textChanged,
                       [id](const QString& text) {
                         read_text(id, text);
                         raise(id, event::CHANGE);
                       });
      break;
    case FaceKind::AREA: {
      auto* edit = static_cast<QPlainTextEdit*>(widget);
      QObject::connect(edit, &QPlainTextEdit::textChanged, [id, edit] {
        read_text(id, edit->toPlainText());
        raise(id, event::CHANGE);
      });
      break;
    }
    case FaceKind::SLIDER: {
      auto* slider = static_cast<QSlider*>(widget);
      QObject::connect(slider, &QSlider::valueChanged, [id, slider](int pos) {
        int length = slider->maximum();
        if (slider->orientation() == Qt::Vertical) pos = length - pos;
        with_field(id, platform::FACE_DATA, [&](Cell* cell) {
          double v = length > 0 ? static_cast<double>(pos) / length : 0.0;
          set_float(cell, v, cell->is(TYPE_FLOAT) ? TYPE_FLOAT : TYPE_PERCENT);
        });
        raise(id, event::CHANGE);
      });
      break;
    }
    case FaceKind::TEXT_LIST:
      QObject::connect(static_cast<QListWidget*>(widget), &QListWidget::currentRowChanged,
                       [id](int row) {
                         read_index(id, row);
                         if (raise(id, event::SELECT) != 0) raise(id, event::CHANGE);
                       });
      break;
    case FaceKind::DROP_DOWN:
    case FaceKind::DROP_LIST: {
      auto* combo = static_cast<QComboBox*>(widget);
      // Picking the item already selected tells nothing; a consumed `select` keeps `change`
      // from being raised.
      QObject::connect(combo, &QComboBox::activated, [id, combo, kind](int index) {
        bool same = false;
        with_field(id, platform::FACE_SELECTED, [&](Cell* cell) {
          same = cell->is(TYPE_INTEGER) && cell->int_value() == index + 1;
        });
        if (same) return;
        read_index(id, index);
        // A drop-down's text is what its edit shows: the item just picked.
        if (kind == FaceKind::DROP_DOWN) read_text(id, combo->currentText());
        if (raise(id, event::SELECT) != 0) raise(id, event::CHANGE);
      });
      // Typing into a drop-down's edit changes its text as a field's does.
      // (Only the user's typing: picking an item is told by activated.)
      if (kind == FaceKind::DROP_DOWN && combo->lineEdit())
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, [id](const QString& text) {
          read_text(id, text);
          raise(id, event::CHANGE);
        });
      break;
    }
    case FaceKind::CALENDAR: {
      auto* calendar = static_cast<QCalendarWidget*>(widget);
      QObject::connect(calendar, &QCalendarWidget::selectionChanged, [id, calendar] {
        QDate d = calendar->selectedDate();
        with_field(id, platform::FACE_DATA, [&](Cell* cell) {
          date::make_at(cell, std::clamp(d.year(), 1601, 9999), d.month(), d.day(), 0.0, 0, 0,
                        false);
        });
        raise(id, event::CHANGE);
      });
      break;
    }
    case FaceKind::TAB_PANEL:
      if (auto* bar = widget->findChild<QTabBar*>())
        QObject::connect(bar, &QTabBar::currentChanged,
                         [id, bar](int index0) { switch_tab(id, bar, index0); });
      break;
    default:
      break;
  }
}

}  // namespace tav::gui
