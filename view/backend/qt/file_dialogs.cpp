#include "view/backend/qt/file_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <iterator>

#include "core/errors.h"
#include "core/stack.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "view/backend/qt/backend.h"

namespace tav::gui {

namespace {

// What the dialog offers when the script gives no filter: display name, then patterns.
const char* const DEFAULT_FILTER[] = {"All files",  "*.*",   "Tav scripts", "*.tav;*.tavs",
                                      "MIVAK scripts", "*.mvk", "Text files",  "*.txt"};

QString qstring_of(const Cell* v) { return QString::fromStdString(string::to_std_string(v)); }

bool is_text(const Cell* v) { return v && (v->is(TYPE_STRING) || v->is(TYPE_FILE)); }

// "Name (p1 p2)" per pair, as Qt's dialog takes them; "*.*" means every file here.
QString filter_entry(const QString& name, QString patterns) {
  patterns.replace(';', ' ');
  QStringList list = patterns.split(' ', Qt::SkipEmptyParts);
  for (QString& p : list)
    if (p == "*.*") p = "*";
  return name + " (" + list.join(' ') + ")";
}

QStringList filters_of(const Cell* filter) {
  QStringList out;
  if (!filter || !filter->is(TYPE_BLOCK)) {
    for (size_t i = 0; i + 1 < std::size(DEFAULT_FILTER); i += 2)
      out << filter_entry(DEFAULT_FILTER[i], DEFAULT_FILTER[i + 1]);
    return out;
  }
  SeriesBuffer* b = node_buffer(filter->node());
  for (uint32_t i = filter->index(); i < b->count(); ++i)
    if (!is_text(b->cells() + i)) error::raise(ERR_SCRIPT, "invalid-arg", b->cells() + i);
  for (uint32_t i = filter->index(); i + 1 < b->count(); i += 2)
    out << filter_entry(qstring_of(b->cells() + i), qstring_of(b->cells() + i + 1));
  return out;
}

// A file! of the path; the result stays on the stack for the caller to take.
Cell* push_file(const QString& path) {
  QByteArray bytes = path.toUtf8();
  Cell* s = string::load_new(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             static_cast<size_t>(bytes.size()), string::ENCODING_UTF8);
  s->set_type(TYPE_FILE);
  return s;
}

// The dialog's own loop serves only the dialog: no language code runs meanwhile.
bool run(QFileDialog& dialog) {
  bool gate = loop.gate_closed;
  loop.gate_closed = true;
  bool accepted = dialog.exec() == QDialog::Accepted;
  loop.gate_closed = gate;
  return accepted;
}

QString kept_folder;

}  // namespace

Cell request_file(const Cell* title, const Cell* name, const Cell* filter, bool save, bool multi) {
  init();
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (title && title->is(TYPE_STRING)) dialog.setWindowTitle(qstring_of(title));
  dialog.setNameFilters(filters_of(filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile
                          : multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  if (is_text(name)) {
    QString path = qstring_of(name);
    int slash = path.lastIndexOf('/');
    if (slash >= 0) dialog.setDirectory(path.left(slash + 1));
    QString file = path.mid(slash + 1);
    if (!file.isEmpty()) dialog.selectFile(file);
  }
  if (!run(dialog)) return make_cell(TYPE_NONE);
  QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return make_cell(TYPE_NONE);
  stack::State saved = stack::save();
  Cell out;
  if (multi) {
    Cell* blk = block::push_only(static_cast<int32_t>(files.size()));
    for (const QString& f : files) {
      block::append_cell(blk, push_file(f));
      stack::pop(1);
    }
    out = *blk;
  } else {
    out = *push_file(files.first());
  }
  stack::restore(saved);
  return out;
}

Cell request_dir(const Cell* title, const Cell* dir, bool keep) {
  init();
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  if (title && title->is(TYPE_STRING)) dialog.setWindowTitle(qstring_of(title));
  if (keep && !kept_folder.isEmpty()) dialog.setDirectory(kept_folder);
  else if (is_text(dir)) dialog.setDirectory(qstring_of(dir));
  if (!run(dialog)) return make_cell(TYPE_NONE);
  QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return make_cell(TYPE_NONE);
  QString folder = chosen.first();
  if (keep) kept_folder = folder;
  if (!folder.endsWith('/')) folder += '/';
  stack::State saved = stack::save();
  Cell out = *push_file(folder);
  stack::restore(saved);
  return out;
}

}  // namespace tav::gui
