#include "view/backend/qt/face_options.h"

#include <QAbstractButton>
#include <QCursor>
#include <QIcon>
#include <QPixmap>

#include "core/symbols.h"
#include "datatypes/block.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "view/backend/qt/draw/image_target.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/widgets.h"

namespace tav::gui {

namespace {

bool word_is(const Cell* v, uint32_t alias) {
  return is_any_word(v->type()) && symbol::alias(v->data2) == alias;
}

uint32_t alias_of(const char* name) { return symbol::alias(symbol::make(name)); }

Qt::CursorShape shape_of(const Cell* word) {
  static const struct {
    const char* name;
    Qt::CursorShape shape;
  } shapes[] = {
      {"I-beam", Qt::IBeamCursor},        {"hand", Qt::PointingHandCursor},
      {"cross", Qt::CrossCursor},         {"resize-ns", Qt::SizeVerCursor},
      {"resize-ew", Qt::SizeHorCursor},   {"resize-we", Qt::SizeHorCursor},
  };
  for (const auto& s : shapes)
    if (word_is(word, alias_of(s.name))) return s.shape;
  return Qt::ArrowCursor;
}

// The image's pixels in the store's own format (a QImage the caller may keep).
QImage picture_of(const Cell* image) {
  QImage pixels = draw::pixels_of(image);
  return pixels.isNull() ? QImage() : pixels.copy();
}

}  // namespace

const Cell* face_option(const Cell* face, const char* key) {
  Cell* opts = platform::face_field(face, platform::FACE_OPTIONS);
  if (!opts || !opts->is(TYPE_BLOCK)) return nullptr;
  SeriesBuffer* b = node_buffer(opts->node());
  uint32_t alias = alias_of(key);
  for (uint32_t i = opts->index(); i + 1 < b->count(); i += 2)
    if (word_is(b->cells() + i, alias)) return b->cells() + i + 1;
  return nullptr;
}

void apply_cursor(QWidget* widget, const Cell* face) {
  const Cell* cursor = face_option(face, "cursor");
  if (cursor && cursor->is(TYPE_IMAGE)) {
    QImage picture = picture_of(cursor);
    if (!picture.isNull()) {
      widget->setCursor(
          QCursor(QPixmap::fromImage(picture), picture.width() / 2, picture.height() / 2));
      return;
    }
  }
  if (cursor && is_any_word(cursor->type())) widget->setCursor(shape_of(cursor));
  else widget->unsetCursor();
}

void apply_button_image(QWidget* widget, FaceKind kind, const Cell* face) {
  if (kind != FaceKind::BUTTON && kind != FaceKind::TOGGLE) return;
  auto* button = static_cast<QAbstractButton*>(widget);
  const Cell* image = platform::face_field(face, platform::FACE_IMAGE);
  QImage picture;
  QSize size;
  if (image && image->is(TYPE_IMAGE)) {
    picture = picture_of(image);
    size = picture.size();
  } else if (image && image->is(TYPE_BLOCK)) {
    SeriesBuffer* b = node_buffer(image->node());
    uint32_t at = image->index(), count = b->count() > at ? b->count() - at : 0;
    const Cell* items = b->cells() + at;
    // The first image stands for every state of the button.
    for (uint32_t i = 0; i < count && picture.isNull(); ++i)
      if (items[i].is(TYPE_IMAGE)) picture = picture_of(items + i);
    if (count == 2 && items[1].is(TYPE_PAIR)) {
      size = QSize(pair::x_of(items + 1), pair::y_of(items + 1));
    } else {
      const Cell* s = platform::face_field(face, platform::FACE_SIZE);
      if (s && s->is(TYPE_PAIR)) size = QSize(pair::x_of(s), pair::y_of(s));
      else if (s && s->is(TYPE_POINT2D))
        size = QSize(round_coordinate(point::x_of(s)), round_coordinate(point::y_of(s)));
    }
  }
  if (picture.isNull() || size.isEmpty()) {
    button->setIcon(QIcon());
    return;
  }
  button->setIconSize(size);
  button->setIcon(QIcon(QPixmap::fromImage(
      picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation))));
}

}  // namespace tav::gui
