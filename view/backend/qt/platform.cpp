#include "view/backend/qt/platform.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QHash>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <QWindow>

#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "datatypes/block.h"
#include "datatypes/event.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/draw/text_box.h"
#include "view/backend/qt/event_maker.h"
#include "view/backend/qt/face_controls.h"
#include "view/backend/qt/face_notify.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/face_widgets.h"
#include "view/backend/qt/widgets.h"
#include "view/backend/qt/window_table.h"

namespace tav::gui::platform {

namespace {

// Monitor ids stay with their screen for the life of the process.
QHash<const QScreen*, uint32_t> monitor_ids;

uint32_t monitor_id(const QScreen* s) {
  auto it = monitor_ids.find(s);
  if (it != monitor_ids.end()) return *it;
  uint32_t id = static_cast<uint32_t>(monitor_ids.size()) + 1;
  monitor_ids.insert(s, id);
  return id;
}

// Waits until the window can be painted (at most a second), with input held back and no
// language code running meanwhile.
void wait_exposed(QWidget* w) {
  QWindow* handle = w->windowHandle();
  if (!handle || handle->isExposed()) return;
  loop.gate_closed = true;
  QDeadlineTimer deadline(1000);
  while (!handle->isExposed() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  loop.gate_closed = false;
}

void free_face(Cell* face, bool post_close) {
  uint32_t id = face_window(face);
  WinData* w = windows::find(id);
  if (!w) return;
  QPointer<QWidget> widget = w->widget;
  bool is_window = face_kind(face) == FaceKind::WINDOW;
  if (is_window && widget) widget->hide();
  Cell* pane = face_field(face, FACE_PANE);
  if (pane && pane->is(TYPE_BLOCK)) {
    Cell blk = *pane;
    for (uint32_t i = blk.index(); i < node_buffer(blk.node())->count(); ++i) {
      Cell child = node_buffer(blk.node())->cells()[i];
      if (child.is(TYPE_OBJECT)) free_face(&child, false);
    }
  }
  if (is_window) {
    if (Cell* sel = face_field(face, FACE_SELECTED)) set_none(sel);
  }
  w->destroying = true;
  windows::kill(id);
  if (Cell* state = face_field(face, FACE_STATE)) set_none(state);
  if (post_close && widget) {
    // The posted close: the window goes once the loop runs again.
    post_call([widget] {
      if (widget) widget->deleteLater();
    });
  }
}

// A face's rate as a timer interval in milliseconds: 0 for none; an integer frequency or a
// time! period that is not positive raises invalid-facet-type.
int rate_interval(const Cell* face) {
  Cell* rate = face_field(face, FACE_RATE);
  if (!rate || rate->is(TYPE_NONE)) return 0;
  if (rate->is(TYPE_INTEGER)) {
    if (rate->int_value() <= 0) error::raise(ERR_SCRIPT, "invalid-facet-type", rate);
    return 1000 / rate->int_value();
  }
  if (rate->is(TYPE_TIME)) {
    if (rate->float_value() <= 0) error::raise(ERR_SCRIPT, "invalid-facet-type", rate);
    return static_cast<int>(rate->float_value() * 1000.0);
  }
  return 0;
}

// Each tick raises `time` for the window; none while the gate is closed.
void start_timer(uint32_t id, int interval) {
  WinData* w = windows::find(id);
  if (!w || !w->widget || interval <= 0) return;
  if (!w->timer) {
    w->timer = new QTimer(w->widget);
    w->timer->setTimerType(Qt::CoarseTimer);
    QObject::connect(w->timer, &QTimer::timeout, [id] {
      if (loop.gate_closed || !windows::find(id)) return;
      event::Record r;
      r.window = id;
      raise_event(event::TIME, 0, r);
    });
  }
  w->timer->start(std::max(10, interval));
}

}  // namespace

Cell handle(uint32_t value, uint32_t handle_class) {
  return make_cell(TYPE_HANDLE, handle_class, value, 0xFFFFFFFFu);
}

Cell* face_field(const Cell* face, uint32_t field) {
  if (!face->is(TYPE_OBJECT) || field >= object::field_count(face)) return nullptr;
  return object::get_values(face) + field;
}

uint32_t face_window(const Cell* face) {
  Cell* state = face_field(face, FACE_STATE);
  if (!state || !state->is(TYPE_BLOCK)) return 0;
  SeriesBuffer* b = node_buffer(state->node());
  if (state->index() >= b->count()) return 0;
  const Cell* h = b->cells() + state->index();
  // A screen's state holds a monitor id, which names no window.
  return h->is(TYPE_HANDLE) && h->data1 == CLASS_WINDOW ? h->data2 : 0;
}

Cell make_null_handle() { return handle(0, CLASS_NULL); }

void fetch_all_screens(Cell* out) {
  init();
  QList<QScreen*> screens = QGuiApplication::screens();
  QScreen* primary = QGuiApplication::primaryScreen();
  screens.removeAll(primary);
  if (primary) screens.prepend(primary);
  Cell* blk = block::push_only(static_cast<int32_t>(screens.size()));
  for (QScreen* s : screens) {
    qreal dpr = s->devicePixelRatio();
    QRect g = s->geometry();
    Cell* spec = block::push_only(4);
    Cell v;
    pair::make_at(set_none(&v), round_coordinate(g.x() * dpr), round_coordinate(g.y() * dpr));
    block::append_cell(spec, &v);
    pair::make_at(set_none(&v), round_coordinate(g.width() * dpr),
                  round_coordinate(g.height() * dpr));
    block::append_cell(spec, &v);
    set_float(&v, dpr);
    block::append_cell(spec, &v);
    v = handle(monitor_id(s), CLASS_MONITOR);
    block::append_cell(spec, &v);
    block::append_cell(blk, spec);
    stack::pop(1);
  }
  *out = *blk;
  stack::pop(1);
}

Cell get_current_screen() {
  init();
  QScreen* s = QGuiApplication::screenAt(QCursor::pos());
  if (!s) s = QGuiApplication::primaryScreen();
  return handle(s ? monitor_id(s) : 0, CLASS_MONITOR);
}

Cell get_screen_size(int32_t) {
  init();
  Cell c;
  QScreen* s = QGuiApplication::primaryScreen();
  QSize size = s ? s->size() : QSize(0, 0);
  pair::make_at(set_none(&c), size.width(), size.height());
  return c;
}

Cell make_view(const Cell* face, const Cell* parent) {
  init();
  // An unknown flag word raises its error before anything is made.
  Cell* flags = face_field(face, FACE_FLAGS);
  uint32_t flag_mask = flags ? event::face_flags(flags) : 0;
  int interval = rate_interval(face);
  if (face_kind(face) == FaceKind::WINDOW && !unreachable_display().empty()) {
    std::string name = "display " + unreachable_display();
    Cell* arg = string::load_new(reinterpret_cast<const uint8_t*>(name.data()), name.size(),
                                 string::ENCODING_UTF8);
    error::raise(ERR_ACCESS, "cannot-open", arg);
  }
  WinData* p = parent->is(TYPE_HANDLE) ? windows::find(parent->data2) : nullptr;
  QWidget* parent_widget = p ? p->widget.data() : nullptr;
  // The pages of a tab panel lie beside it, in its parent, over its display area.
  uint32_t tab_panel = 0;
  Cell parent_face;
  if (p && windows::face_of(parent->data2, &parent_face) &&
      face_kind(&parent_face) == FaceKind::TAB_PANEL) {
    tab_panel = parent->data2;
    parent_widget = p->widget->parentWidget();
  }
  QWidget* widget = create_face_widget(face, parent_widget);
  if (!widget) {
    Cell* t = face_field(face, FACE_TYPE);
    error::raise(ERR_SCRIPT, "face-type", t ? t : face);
  }
  uint32_t id = windows::add(widget, face);
  WinData* w = windows::find(id);
  w->face_flags = flag_mask;
  w->tab_panel = tab_panel;
  if (Cell* sz = face_field(face, FACE_SIZE); sz && sz->is(TYPE_PAIR)) w->kind_bits |= KIND_PAIR_COORDS;
  if (face_kind(face) == FaceKind::RICH_TEXT) {
    w->kind_bits |= KIND_RICH_TEXT | KIND_IME;
    widget->setAttribute(Qt::WA_InputMethodEnabled, true);
  }
  start_timer(id, interval);
  // A window's offset is its client origin; it shows only through show-window.
  apply_facets(id, face, ~0u, true);
  controls::init(widget, face_kind(face), const_cast<Cell*>(face));
  connect_notifications(widget, face_kind(face), id);
  return handle(id, CLASS_WINDOW);
}

void update_view(const Cell* faces) {
  if (faces->is(TYPE_BLOCK)) {
    // The block may be the only holder of its faces: walk a copy of each as it goes.
    Cell blk = *faces;
    for (uint32_t i = blk.index(); i < node_buffer(blk.node())->count(); ++i) {
      Cell face = node_buffer(blk.node())->cells()[i];
      if (face.is(TYPE_OBJECT)) update_view(&face);
    }
    return;
  }
  // A rich-text face is measured without a window too: whatever changed, its layout is redone.
  if (face_kind(faces) == FaceKind::RICH_TEXT) text::mark_stale(faces);
  Cell* state = face_field(faces, FACE_STATE);
  if (!state || !state->is(TYPE_BLOCK)) return;
  SeriesBuffer* b = node_buffer(state->node());
  if (state->index() + 1 >= b->count()) return;
  Cell* bits_cell = b->cells() + state->index() + 1;
  if (!bits_cell->is(TYPE_INTEGER)) return;
  uint32_t bits = static_cast<uint32_t>(bits_cell->int_value());
  set_integer(bits_cell, 0);
  Cell handle = b->cells()[state->index()];
  uint32_t id = face_window(faces);
  if (bits & (1u << FACE_PANE)) restack_pane(faces);
  if (bits & (1u << FACE_RATE)) {
    int interval = rate_interval(faces);
    WinData* w = windows::find(id);
    if (interval > 0) start_timer(id, interval);
    else if (w && w->timer) w->timer->stop();
  }
  apply_facets(id, faces, bits, false);
  if ((bits & (1u << FACE_VISIBLE)) && face_kind(faces) == FaceKind::WINDOW) {
    // A window made visible after `view` is shown as `view` shows one, expose wait included,
    // so that a repaint right after it shows (the console's first print).
    Cell* v = face_field(faces, FACE_VISIBLE);
    bool on = !v || is_true(v);
    WinData* w = windows::find(id);
    if (w && w->widget && on != w->widget->isVisible()) {
      if (on) show_window(&handle);
      else w->widget->hide();
    }
  }
}

void on_change_facet(const Cell* owner, const Cell* word) {
  if (!word->is(TYPE_WORD)) return;
  static const uint32_t pane = symbol::alias(symbol::make("pane"));
  if (symbol::alias(word->data2) == pane) {
    restack_pane(owner);
    return;
  }
  Cell* state = face_field(owner, FACE_STATE);
  if (!state || !state->is(TYPE_BLOCK)) return;
  update_view(owner);
}

void show_window(const Cell* h) {
  WinData* w = windows::find(h->data2);
  if (!w || !w->widget) return;
  QWidget* widget = w->widget;
  if (widget->isVisible()) {
    render_stale(h->data2);
    widget->repaint();
    return;
  }
  render_face(h->data2);
  render_stale(h->data2);
  widget->show();
  // The window's selected face had no widget yet when the window was made: focus it now.
  Cell face;
  if (windows::face_of(h->data2, &face)) apply_facets(h->data2, &face, 1u << FACE_SELECTED, false);
  // The offscreen platform has no stacking or activation to ask for.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
    widget->raise();
    widget->activateWindow();
  }
  wait_exposed(widget);
  widget->repaint();
  trace_line(("shown " + std::to_string(h->data2)).c_str());
}

void refresh_window(const Cell* h) {
  WinData* w = windows::find(h->data2);
  if (!w || !w->widget) return;
  render_stale(windows::root_of(h->data2));
  // Paints now, and only, what changed since the last paint: the window's pending update
  // request, which runs no language code and takes no input.
  QCoreApplication::sendPostedEvents(w->widget->window(), QEvent::UpdateRequest);
}

void redraw(const Cell* face) {
  uint32_t id = face_window(face);
  render_face(id);
  WinData* w = windows::find(id);
  if (w && w->widget) w->widget->repaint();
}

void destroy_view(Cell* face, bool empty) {
  free_face(face, true);
  if (empty) {
    ++loop.pending_exits;
    --loop.blocking_loops;
  }
}

bool do_event_loop(bool no_wait) {
  if (!no_wait) trace_line(("loop " + std::to_string(loop_depth() + 1)).c_str());
  return do_events(no_wait);
}

void exit_event_loop() { post_quit(); }

bool support_dark_mode() { return true; }

}  // namespace tav::gui::platform
