#include "view/backend/qt/face_controls.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <algorithm>
#include <cmath>

#include "core/symbols.h"
#include "datatypes/date.h"
#include "datatypes/event.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::controls {

namespace {

using platform::face_field;

// A check box whose click steps unchecked → checked → indeterminate when it has three states.
class CheckFace : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {
    if (!isTristate()) return QCheckBox::nextCheckState();
    Qt::CheckState next = checkState() == Qt::Unchecked ? Qt::Checked
                          : checkState() == Qt::Checked ? Qt::PartiallyChecked
                                                        : Qt::Unchecked;
    setCheckState(next);
  }
};

// A radio button is checked by the View layer only: a click leaves it as it is.
class RadioFace : public QRadioButton {
 public:
  explicit RadioFace(QWidget* parent) : QRadioButton(parent) { setAutoExclusive(false); }

 protected:
  void nextCheckState() override {}
};

// The tab strip and its frame; the pages are sibling panels placed over the display area.
class TabPanel : public FaceContainer {
 public:
  explicit TabPanel(QWidget* parent) : FaceContainer(parent), bar(new QTabBar(this)) {
    bar->setDrawBase(false);
    bar->setExpanding(false);
  }
  QTabBar* bar;

  // The area the pages cover, in the panel's own coordinates.
  QRect display_area() const {
    int top = bar->count() > 0 ? bar->sizeHint().height() : 0;
    return QRect(1, top + 1, std::max(0, width() - 2), std::max(0, height() - top - 2));
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    FaceContainer::resizeEvent(e);
    bar->setGeometry(0, 0, width(), bar->sizeHint().height());
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = display_area().adjusted(-1, -1, 1, 1);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);
  }
};

bool is_string_like(const Cell* v) { return is_any_string(v->type()); }

QString qstring_of(const Cell* v) { return QString::fromStdString(string::to_std_string(v)); }

// The string-like values of a block or hash, in order; other values are skipped.
QStringList items_of(const Cell* data) {
  QStringList items;
  if (!data || !(data->is(TYPE_BLOCK) || data->is(TYPE_HASH))) return items;
  SeriesBuffer* b = node_buffer(data->node());
  for (uint32_t i = data->index(); i < b->count(); ++i) {
    const Cell* v = b->cells() + i;
    if (is_string_like(v)) items.push_back(qstring_of(v));
  }
  return items;
}

// Lines wrap only where the face's para asks for it.
bool para_wraps(const Cell* face) {
  constexpr uint32_t PARA_WRAP = 5;
  Cell* para = face_field(face, platform::FACE_PARA);
  Cell* wrap = para && para->is(TYPE_OBJECT) ? face_field(para, PARA_WRAP) : nullptr;
  return wrap && is_true(wrap);
}

constexpr uint32_t FLAG_TRI_STATE = 0x00020000;

bool has_flag(const Cell* face, uint32_t bit) {
  Cell* flags = face_field(face, platform::FACE_FLAGS);
  return flags && (event::face_flags(flags) & bit) != 0;
}

// A number read as a fraction of 0..1 (integers count as whole units); false for others.
bool fraction_of(const Cell* v, double* out) {
  if (!v) return false;
  if (v->is(TYPE_INTEGER)) *out = v->int_value();
  else if (v->is(TYPE_FLOAT) || v->is(TYPE_PERCENT)) *out = v->float_value();
  else return false;
  *out = std::clamp(*out, 0.0, 1.0);
  return true;
}

QSizeF size_of(const Cell* face) {
  Cell* s = face_field(face, platform::FACE_SIZE);
  if (!s) return QSizeF();
  if (s->is(TYPE_PAIR)) return QSizeF(pair::x_of(s), pair::y_of(s));
  if (s->is(TYPE_POINT2D)) return QSizeF(point::x_of(s), point::y_of(s));
  return QSizeF();
}

bool vertical(const Cell* face) {
  QSizeF s = size_of(face);
  return s.height() > s.width();
}

// The range of a slider or progress bar: the longer side, in whole pixels.
int length_of(const Cell* face) {
  QSizeF s = size_of(face);
  return std::max(0, static_cast<int>(std::max(s.width(), s.height())));
}

void set_check(QAbstractButton* button, FaceKind kind, const Cell* face) {
  Cell* data = face_field(face, platform::FACE_DATA);
  QSignalBlocker quiet(button);
  if (kind == FaceKind::CHECK && (!data || data->is(TYPE_NONE)) && has_flag(face, FLAG_TRI_STATE)) {
    static_cast<QCheckBox*>(button)->setCheckState(Qt::PartiallyChecked);
    return;
  }
  bool on = data && !data->is(TYPE_NONE) && (!data->is(TYPE_LOGIC) || is_true(data));
  button->setChecked(on);
}

void set_position(QAbstractSlider* slider, FaceKind kind, const Cell* face) {
  Cell* data = face_field(face, platform::FACE_DATA);
  int length = length_of(face);
  int pos = 0;
  if (data && (data->is(TYPE_FLOAT) || data->is(TYPE_PERCENT)))
    pos = static_cast<int>(data->float_value() * length);
  if (kind == FaceKind::SLIDER && vertical(face)) pos = length - pos;
  QSignalBlocker quiet(slider);
  slider->setValue(pos);
}

void load_combo(QComboBox* combo, FaceKind kind, Cell* face) {
  Cell* data = face_field(face, platform::FACE_DATA);
  QSignalBlocker quiet(combo);
  if (data && (data->is(TYPE_BLOCK) || data->is(TYPE_HASH))) {
    combo->clear();
    combo->addItems(items_of(data));
  }
  Cell* text = face_field(face, platform::FACE_TEXT);
  if (kind == FaceKind::DROP_DOWN && text && text->is(TYPE_STRING)) {
    combo->setEditText(qstring_of(text));
    return;
  }
  Cell* sel = face_field(face, platform::FACE_SELECTED);
  if (sel && sel->is(TYPE_INTEGER)) combo->setCurrentIndex(sel->int_value() - 1);
}

void load_tabs(TabPanel* panel, Cell* face) {
  QSignalBlocker quiet(panel->bar);
  while (panel->bar->count() > 0) panel->bar->removeTab(0);
  for (const QString& title : items_of(face_field(face, platform::FACE_DATA)))
    panel->bar->addTab(title);
  panel->bar->setGeometry(0, 0, panel->width(), panel->bar->sizeHint().height());
}

void select_tab(TabPanel* panel, Cell* face) {
  Cell* sel = face_field(face, platform::FACE_SELECTED);
  int count = panel->bar->count();
  int index = sel && sel->is(TYPE_INTEGER) ? std::clamp(sel->int_value(), 1, std::max(1, count)) : 1;
  if (sel) set_integer(sel, index);
  QSignalBlocker quiet(panel->bar);
  panel->bar->setCurrentIndex(index - 1);
}

void set_date(QCalendarWidget* calendar, Cell* face) {
  Cell* data = face_field(face, platform::FACE_DATA);
  if (data && data->is(TYPE_DATE)) {
    int year = std::clamp(date::year_of(data->data1), 1601, 9999);
    QSignalBlocker quiet(calendar);
    calendar->setSelectedDate(QDate(year, date::month_of(data->data1), date::day_of(data->data1)));
  }
}

void set_scroller_page(QScrollBar* bar, Cell* face) {
  Cell* sel = face_field(face, platform::FACE_SELECTED);
  double fraction;
  if (!fraction_of(sel, &fraction)) return;
  QSignalBlocker quiet(bar);
  bar->setPageStep(static_cast<int>(std::lround(fraction * 100)));
}

}  // namespace

QWidget* create(FaceKind kind, const Cell* face, QWidget* parent) {
  switch (kind) {
    case FaceKind::GROUP_BOX:
      return new QGroupBox(parent);
    case FaceKind::TOGGLE: {
      auto* b = new QPushButton(parent);
      b->setCheckable(true);
      return b;
    }
    case FaceKind::CHECK: {
      auto* b = new CheckFace(parent);
      b->setTristate(has_flag(face, FLAG_TRI_STATE));
      return b;
    }
    case FaceKind::RADIO:
      return new RadioFace(parent);
    case FaceKind::AREA: {
      auto* edit = new QPlainTextEdit(parent);
      if (!para_wraps(face)) edit->setLineWrapMode(QPlainTextEdit::NoWrap);
      edit->setTabStopDistance(4 * edit->fontMetrics().averageCharWidth());
      return edit;
    }
    case FaceKind::TEXT_LIST:
      return new QListWidget(parent);
    case FaceKind::DROP_DOWN:
    case FaceKind::DROP_LIST: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(kind == FaceKind::DROP_DOWN);
      combo->setInsertPolicy(QComboBox::NoInsert);
      return combo;
    }
    case FaceKind::PROGRESS: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case FaceKind::SLIDER:
      return new QSlider(parent);
    case FaceKind::SCROLLER: {
      auto* bar = new QScrollBar(vertical(face) ? Qt::Vertical : Qt::Horizontal, parent);
      bar->setRange(0, 100);
      return bar;
    }
    case FaceKind::TAB_PANEL:
      return new TabPanel(parent);
    case FaceKind::CALENDAR: {
      auto* calendar = new QCalendarWidget(parent);
      calendar->setDateRange(QDate(1601, 1, 1), QDate(9999, 12, 31));
      calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
      return calendar;
    }
    default:
      return nullptr;
  }
}

void init(QWidget* widget, FaceKind kind, Cell* face) {
  if (kind == FaceKind::SCROLLER) {
    auto* bar = static_cast<QScrollBar*>(widget);
    Cell* sel = face_field(face, platform::FACE_SELECTED);
    double fraction;
    if (!fraction_of(sel, &fraction)) {
      fraction = 0.1;
      if (sel) set_float(sel, 0.1, TYPE_PERCENT);
    }
    QSignalBlocker quiet(bar);
    bar->setPageStep(static_cast<int>(std::lround(fraction * 100)));
    bar->setValue(0);
    if (Cell* data = face_field(face, platform::FACE_DATA)) set_float(data, 0.0);
  } else if (kind == FaceKind::CALENDAR) {
    Cell* data = face_field(face, platform::FACE_DATA);
    if (data && !data->is(TYPE_DATE)) {
      QDate d = static_cast<QCalendarWidget*>(widget)->selectedDate();
      date::make_at(data, d.year(), d.month(), d.day(), 0.0, 0, 0, false);
    }
  }
}

void apply_text(QWidget* widget, FaceKind kind, const Cell* face) {
  Cell* t = face_field(face, platform::FACE_TEXT);
  QString text = t && t->is(TYPE_STRING) ? qstring_of(t) : QString();
  switch (kind) {
    case FaceKind::GROUP_BOX:
      static_cast<QGroupBox*>(widget)->setTitle(text);
      break;
    case FaceKind::TOGGLE:
    case FaceKind::CHECK:
    case FaceKind::RADIO:
      static_cast<QAbstractButton*>(widget)->setText(text);
      break;
    case FaceKind::AREA: {
      auto* edit = static_cast<QPlainTextEdit*>(widget);
      if (edit->toPlainText() != text) edit->setPlainText(text);
      break;
    }
    case FaceKind::DROP_DOWN:
      if (t && t->is(TYPE_STRING)) static_cast<QComboBox*>(widget)->setEditText(text);
      break;
    default:
      break;
  }
}

void apply_data(QWidget* widget, FaceKind kind, Cell* face) {
  switch (kind) {
    case FaceKind::TOGGLE:
    case FaceKind::CHECK:
    case FaceKind::RADIO:
      set_check(static_cast<QAbstractButton*>(widget), kind, face);
      break;
    case FaceKind::SLIDER:
      set_position(static_cast<QSlider*>(widget), kind, face);
      break;
    case FaceKind::PROGRESS: {
      auto* bar = static_cast<QProgressBar*>(widget);
      Cell* data = face_field(face, platform::FACE_DATA);
      int length = length_of(face);
      bar->setValue(data && (data->is(TYPE_FLOAT) || data->is(TYPE_PERCENT))
                        ? static_cast<int>(data->float_value() * length)
                        : 0);
      break;
    }
    case FaceKind::SCROLLER: {
      auto* bar = static_cast<QScrollBar*>(widget);
      Cell* data = face_field(face, platform::FACE_DATA);
      double fraction;
      if (data && data->is(TYPE_FLOAT) && fraction_of(data, &fraction)) {
        QSignalBlocker quiet(bar);
        bar->setValue(bar->minimum() + static_cast<int>(fraction * (bar->maximum() - bar->minimum())));
      }
      break;
    }
    case FaceKind::TEXT_LIST: {
      auto* list = static_cast<QListWidget*>(widget);
      Cell* data = face_field(face, platform::FACE_DATA);
      if (data && (data->is(TYPE_BLOCK) || data->is(TYPE_HASH))) {
        QSignalBlocker quiet(list);
        list->clear();
        list->addItems(items_of(data));
      }
      apply_selected(widget, kind, face);
      break;
    }
    case FaceKind::DROP_DOWN:
    case FaceKind::DROP_LIST:
      load_combo(static_cast<QComboBox*>(widget), kind, face);
      break;
    case FaceKind::TAB_PANEL:
      load_tabs(static_cast<TabPanel*>(widget), face);
      select_tab(static_cast<TabPanel*>(widget), face);
      break;
    case FaceKind::CALENDAR:
      set_date(static_cast<QCalendarWidget*>(widget), face);
      break;
    default:
      break;
  }
}

void apply_selected(QWidget* widget, FaceKind kind, Cell* face) {
  Cell* sel = face_field(face, platform::FACE_SELECTED);
  switch (kind) {
    case FaceKind::TEXT_LIST: {
      auto* list = static_cast<QListWidget*>(widget);
      QSignalBlocker quiet(list);
      if (sel && sel->is(TYPE_INTEGER)) {
        list->setCurrentRow(sel->int_value() >= 1 ? sel->int_value() - 1 : -1);
      } else {
        list->setCurrentRow(-1);
        if (sel) set_integer(sel, -1);
      }
      break;
    }
    case FaceKind::DROP_DOWN:
    case FaceKind::DROP_LIST:
      if (sel && sel->is(TYPE_INTEGER)) {
        QSignalBlocker quiet(widget);
        static_cast<QComboBox*>(widget)->setCurrentIndex(sel->int_value() - 1);
      }
      break;
    case FaceKind::TAB_PANEL:
      select_tab(static_cast<TabPanel*>(widget), face);
      break;
    case FaceKind::SCROLLER:
      set_scroller_page(static_cast<QScrollBar*>(widget), face);
      break;
    case FaceKind::AREA: {
      auto* edit = static_cast<QPlainTextEdit*>(widget);
      QTextCursor cursor = edit->textCursor();
      if (sel && sel->is(TYPE_PAIR)) {
        int a = pair::x_of(sel), b = pair::y_of(sel);
        cursor.setPosition(std::max(0, std::min(a, b) - 1));
        cursor.setPosition(std::max(a, b), QTextCursor::KeepAnchor);
      } else {
        cursor.setPosition(0);
      }
      QSignalBlocker quiet(edit);
      edit->setTextCursor(cursor);
      break;
    }
    default:
      break;
  }
}

void apply_size(QWidget* widget, FaceKind kind, const Cell* face) {
  Qt::Orientation o = vertical(face) ? Qt::Vertical : Qt::Horizontal;
  switch (kind) {
    case FaceKind::SLIDER: {
      auto* slider = static_cast<QSlider*>(widget);
      QSignalBlocker quiet(slider);
      slider->setOrientation(o);
      // Its top end is the range's start, as the position read back counts from the bottom.
      slider->setInvertedAppearance(o == Qt::Vertical);
      slider->setRange(0, length_of(face));
      break;
    }
    case FaceKind::PROGRESS: {
      auto* bar = static_cast<QProgressBar*>(widget);
      bar->setOrientation(o);
      bar->setRange(0, length_of(face));
      break;
    }
    case FaceKind::SCROLLER:
      static_cast<QScrollBar*>(widget)->setOrientation(o);
      break;
    default:
      break;
  }
}

void place_tab_page(QWidget* page, uint32_t tab_panel, Cell* face) {
  WinData* t = windows::find(tab_panel);
  if (!t || !t->widget) return;
  auto* panel = static_cast<TabPanel*>(t->widget.data());
  QRect area = panel->display_area();
  if (Cell* offset = face_field(face, platform::FACE_OFFSET))
    point2D::make_at(offset, static_cast<float>(area.x()), static_cast<float>(area.y()));
  if (Cell* size = face_field(face, platform::FACE_SIZE)) {
    if (size->is(TYPE_POINT2D))
      point2D::make_at(size, static_cast<float>(area.width()), static_cast<float>(area.height()));
    else
      pair::make_at(set_none(size), area.width(), area.height());
  }
  page->setGeometry(area.translated(panel->geometry().topLeft()));
}

void place_tab_pages(uint32_t tab_panel, const Cell* face) {
  WinData* t = windows::find(tab_panel);
  if (!t || !t->widget) return;
  Cell* pane = face_field(face, platform::FACE_PANE);
  if (!pane || !pane->is(TYPE_BLOCK)) return;
  SeriesBuffer* b = node_buffer(pane->node());
  for (uint32_t i = pane->index(); i < b->count(); ++i) {
    Cell child = b->cells()[i];
    if (!child.is(TYPE_OBJECT)) continue;
    WinData* w = windows::find(platform::face_window(&child));
    if (!w || !w->widget) continue;
    place_tab_page(w->widget, tab_panel, &child);
    Cell* visible = face_field(&child, platform::FACE_VISIBLE);
    w->widget->setVisible(t->widget->isVisible() && (!visible || is_true(visible)));
  }
}

}  // namespace tav::gui::controls
