#include "view/backend/qt/menus.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "core/memory.h"
#include "core/symbols.h"
#include "datatypes/event.h"
#include "datatypes/string.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::menus {

namespace {

bool is_word(const Cell* v, const char* name) {
  return v->is(TYPE_WORD) && symbol::alias(v->data2) == symbol::alias(symbol::make(name));
}

template <typename Target>
void fill(const Cell* block, Target* into) {
  SeriesBuffer* b = node_buffer(block->node());
  for (uint32_t i = block->index(); i < b->count(); ++i) {
    const Cell* v = b->cells() + i;
    if (is_word(v, "---")) {
      into->addSeparator()->setData(-1);
      continue;
    }
    if (!v->is(TYPE_STRING)) continue;
    QString text = QString::fromStdString(string::to_std_string(v));
    const Cell* next = i + 1 < b->count() ? b->cells() + i + 1 : nullptr;
    if (next && next->is(TYPE_BLOCK)) {
      QMenu* sub = into->addMenu(text);
      sub->menuAction()->setData(-1);
      fill(next, sub);
      ++i;
      continue;
    }
    QAction* a = into->addAction(text);
    // A separator right after a text stays a separator.
    if (next && next->is(TYPE_WORD) && !is_word(next, "---")) {
      a->setData(static_cast<int>(next->data2));
      ++i;
    } else {
      a->setData(-1);
    }
  }
}

// Raised after the menu's own loop has ended, from the event loop.
void raise_menu(uint32_t window, int picked) {
  post_to_window(window, [window, picked] {
    event::Record r;
    r.window = window;
    if (picked < 0) {
      r.picked = event::Picked::integer;
      r.picked_int = -1;
    } else {
      r.picked = event::Picked::word;
      r.picked_int = picked;
    }
    raise_event(event::MENU, 0, r);
  });
}

// The bar spans its window whatever the window's width becomes.
class BarWidth : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Resize) {
      auto* bar = static_cast<QMenuBar*>(parent());
      bar->resize(static_cast<QWidget*>(o)->width(), bar->height());
    }
    return false;
  }
};

bool window_face(const Cell* face) {
  Cell* t = platform::face_field(face, platform::FACE_TYPE);
  return t && is_word(t, "window");
}

}  // namespace

bool is_bar(const Cell* menu, bool window_face) {
  if (!window_face || !menu || !menu->is(TYPE_BLOCK)) return false;
  SeriesBuffer* b = node_buffer(menu->node());
  if (menu->index() >= b->count()) return false;
  return !is_word(b->cells() + menu->index(), "popup");
}

void build(const Cell* block, QMenu* into) {
  if (block && block->is(TYPE_BLOCK)) fill(block, into);
}

void build(const Cell* block, QMenuBar* into) {
  if (block && block->is(TYPE_BLOCK)) fill(block, into);
}

bool open_context(uint32_t window, QPoint global) {
  Cell face;
  if (!windows::face_of(window, &face)) return false;
  Cell* menu = platform::face_field(&face, platform::FACE_MENU);
  if (!menu || !menu->is(TYPE_BLOCK) || is_bar(menu, window_face(&face))) return false;
  QMenu popup;
  build(menu, &popup);
  if (popup.isEmpty()) return false;
  // The menu's loop serves only the menu: no language code runs meanwhile.
  bool gate = loop.gate_closed;
  loop.gate_closed = true;
  QAction* chosen = popup.exec(global);
  loop.gate_closed = gate;
  if (chosen) raise_menu(window, chosen->data().toInt());
  return true;
}

int bar_height(const QWidget* shell) {
  if (!shell) return 0;
  auto* bar = shell->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
  return bar ? bar->height() : 0;
}

void set_bar(uint32_t window, const Cell* menu) {
  WinData* w = windows::find(window);
  if (!w || !w->widget) return;
  QWidget* shell = w->widget;
  int before = bar_height(shell);
  delete shell->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
  QMenuBar* bar = nullptr;
  if (is_bar(menu, true)) {
    bar = new QMenuBar(shell);
    build(menu, bar);
    QObject::connect(bar, &QMenuBar::triggered, bar,
                     [window](QAction* a) { raise_menu(window, a->data().toInt()); });
    bar->setGeometry(0, 0, shell->width(), bar->sizeHint().height());
    shell->installEventFilter(new BarWidth(bar));
    bar->show();
  }
  int delta = (bar ? bar->height() : 0) - before;
  if (delta == 0) return;
  for (QObject* o : shell->children()) {
    auto* child = qobject_cast<QWidget*>(o);
    if (child && child != bar) child->move(child->x(), child->y() + delta);
  }
  shell->resize(shell->width(), shell->height() + delta);
  // The area below the bar moved with it: the window's offset follows.
  if (shell->isVisible()) follow_window_offset(window);
}

}  // namespace tav::gui::menus
