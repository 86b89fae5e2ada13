#include "view/backend/qt/clipboard.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <cstring>

#include "core/errors.h"
#include "core/memory.h"
#include "core/stack.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "platform/image_store.h"
#include "services/clipboard.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/draw/image_target.h"

namespace tav::gui::clipboard {

namespace {

QClipboard* board() {
  init();
  return QGuiApplication::clipboard();
}

Cell* push_text(const QString& text, TypeId type) {
  QByteArray bytes = text.toUtf8();
  Cell* s = string::load_new(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             static_cast<size_t>(bytes.size()), string::ENCODING_UTF8);
  s->set_type(type);
  return s;
}

bool picture_value(const QImage& picture, Cell* out) {
  if (picture.isNull()) return false;
  draw::image_value(picture, out);
  return true;
}

// Encoded pictures first, in the order other programs are most faithful in: PNG keeps alpha.
bool read_image(const QMimeData* data, Cell* out) {
  for (const char* format : {"image/png", "image/jpeg", "image/gif"}) {
    if (!data->hasFormat(format)) continue;
    QImage img;
    if (img.loadFromData(data->data(format)) && picture_value(img, out)) return true;
  }
  return data->hasImage() && picture_value(qvariant_cast<QImage>(data->imageData()), out);
}

void read_files(const QList<QUrl>& urls, Cell* out) {
  stack::State saved = stack::save();
  Cell* blk = block::push_only(static_cast<int32_t>(urls.size()));
  for (const QUrl& url : urls) {
    block::append_cell(blk, push_text(url.toLocalFile(), TYPE_FILE));
    stack::pop(1);
  }
  *out = *blk;
  stack::restore(saved);
}

QImage qimage_of(const Cell* value) {
  image_store::Record* r = image_store::record(value);
  if (!r || r->count() == 0) return QImage();
  QImage img(static_cast<int>(r->width), static_cast<int>(r->height), QImage::Format_ARGB32);
  for (uint32_t y = 0; y < r->height; ++y)
    std::memcpy(img.scanLine(static_cast<int>(y)), r->pixels + static_cast<size_t>(y) * r->width,
                static_cast<size_t>(r->width) * 4);
  return img;
}

}  // namespace

bool read(Cell* out) {
  const QMimeData* data = board()->mimeData(QClipboard::Clipboard);
  set_none(out);
  if (!data) return true;
  // A file manager's copy carries the names as text too: the list is what was meant.
  bool files = false;
  QList<QUrl> urls;
  if (data->hasUrls()) {
    urls = data->urls();
    files = !urls.isEmpty();
    for (const QUrl& u : urls) files = files && u.isLocalFile();
  }
  if (data->hasText() && !files) {
    QString text = data->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    *out = *push_text(text, TYPE_STRING);
    stack::pop(1);
    return true;
  }
  if (files) {
    read_files(urls, out);
    return true;
  }
  read_image(data, out);
  return true;
}

bool write(const Cell* data) {
  QClipboard* cb = board();
  switch (data->type()) {
    case TYPE_NONE:
      cb->clear(QClipboard::Clipboard);
      return true;
    case TYPE_STRING:
      cb->setText(QString::fromStdString(string::to_std_string(data)), QClipboard::Clipboard);
      return true;
    case TYPE_IMAGE: {
      QImage img = qimage_of(data);
      if (img.isNull()) cb->clear(QClipboard::Clipboard);
      else cb->setImage(img, QClipboard::Clipboard);
      return true;
    }
    case TYPE_BLOCK: {
      QList<QUrl> urls;
      QString names;
      SeriesBuffer* b = node_buffer(data->node());
      for (uint32_t i = data->index(); i < b->count(); ++i) {
        QString path = QFileInfo(QString::fromStdString(string::to_std_string(b->cells() + i)))
                           .absoluteFilePath();
        urls << QUrl::fromLocalFile(path);
        names += path + QLatin1Char('\n');
      }
      auto* mime = new QMimeData;
      mime->setUrls(urls);
      mime->setText(names);
      cb->setMimeData(mime, QClipboard::Clipboard);
      return true;
    }
    default:
      return false;
  }
}

void install() {
  tav::clipboard::hooks.read = read;
  tav::clipboard::hooks.write = write;
}

}  // namespace tav::gui::clipboard
