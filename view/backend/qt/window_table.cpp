#include "view/backend/qt/window_table.h"

#include <QTimer>
#include <vector>

#include "core/handles.h"

namespace tav::gui {

namespace {

constexpr uint32_t INDEX_BITS = 20;
constexpr uint32_t INDEX_MASK = (1u << INDEX_BITS) - 1;
constexpr uint32_t GENERATION_MASK = 0xFFF;

struct Slot {
  WinData data;
  uint32_t generation = 1;
  bool used = false;
};

// Index 0 is never used, so that id 0 means no window.
std::vector<Slot> entries(1);
std::vector<uint32_t> free_indexes;
QHash<const QObject*, uint32_t> by_widget;
uint32_t live = 0;

uint32_t index_of(uint32_t id) { return id & INDEX_MASK; }
uint32_t generation_of(uint32_t id) { return id >> INDEX_BITS; }

}  // namespace

namespace windows {

uint32_t add(QWidget* widget, const Cell* face) {
  uint32_t index;
  if (!free_indexes.empty()) {
    index = free_indexes.back();
    free_indexes.pop_back();
  } else {
    index = static_cast<uint32_t>(entries.size());
    if (index > INDEX_MASK) return 0;
    entries.emplace_back();
  }
  Slot& s = entries[index];
  s.used = true;
  s.data = WinData{};
  s.data.widget = widget;
  if (face && face->is(TYPE_OBJECT)) s.data.face_slot = handles::slot_new(face);
  uint32_t id = (s.generation << INDEX_BITS) | index;
  by_widget.insert(widget, id);
  ++live;
  return id;
}

WinData* find(uint32_t id) {
  uint32_t index = index_of(id);
  if (id == 0 || index >= entries.size()) return nullptr;
  Slot& s = entries[index];
  if (!s.used || s.generation != generation_of(id)) return nullptr;
  return &s.data;
}

void kill(uint32_t id) {
  WinData* w = find(id);
  if (!w) return;
  Slot& s = entries[index_of(id)];
  if (w->face_slot) handles::slot_free(w->face_slot);
  if (w->timer) {
    w->timer->stop();
    w->timer->deleteLater();
  }
  if (by_widget.value(w->widget.data()) == id) by_widget.remove(w->widget.data());
  s.data = WinData{};
  s.used = false;
  s.generation = (s.generation + 1) & GENERATION_MASK;
  if (s.generation == 0) s.generation = 1;
  free_indexes.push_back(index_of(id));
  --live;
}

uint32_t id_of(const QObject* widget) { return by_widget.value(widget, 0); }

uint32_t face_window_of(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    if (uint32_t id = id_of(w)) return id;
    if (w->isWindow()) break;
  }
  return 0;
}

uint32_t root_of(uint32_t id) {
  WinData* w = find(id);
  if (!w || !w->widget) return 0;
  return face_window_of(w->widget->window());
}

bool face_of(uint32_t id, Cell* out) {
  WinData* w = find(id);
  if (!w || !w->face_slot) return false;
  *out = *handles::slot_cell(w->face_slot);
  return true;
}

uint32_t count() { return live; }

}  // namespace windows

QImage& back_buffer(WinData& w, QSize logical, qreal dpr) {
  QSize device = (QSizeF(logical) * dpr).toSize();
  if (w.back_buffer.size() != device || w.back_buffer.devicePixelRatio() != dpr) {
    w.back_buffer = QImage(device, QImage::Format_ARGB32_Premultiplied);
    w.back_buffer.setDevicePixelRatio(dpr);
    w.back_buffer.fill(Qt::transparent);
  }
  return w.back_buffer;
}

}  // namespace tav::gui
