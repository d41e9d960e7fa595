#include "platform/qt/qt_file_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tw {

QStringList QtNameFilters(std::string_view filter) {
  QStringList filters;
  for (const FileFilterEntry& entry : ParseFileFilter(filter)) {
    QStringList patterns;
    for (const std::string& p : entry.patterns) patterns << QString::fromStdString(p);
    filters << QString::fromStdString(entry.description) + " (" + patterns.join(' ') + ")";
  }
  return filters;
}

QWidget* QtFileDialogs::parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return owner_;
}

std::string QtFileDialogs::openFile(const std::string& title, const std::string& filter,
                                    const std::string& fileName) {
  QFileDialog dialog(parent(), QString::fromStdString(title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The name typed need not exist: the caller decides what a missing file means.
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters = QtNameFilters(filter);
  // Show each entry by its own description ("Microsoft Database (*.dbc)"); Qt would repeat
  // the patterns after it.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
  }
  if (!fileName.empty()) dialog.selectFile(QString::fromStdString(fileName));
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : chosen.first().toStdString();
}

std::string QtFileDialogs::browseForFolder(const std::string& prompt, const std::string& startFolder) {
  QFileDialog dialog(parent(), QString::fromStdString(prompt));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setLabelText(QFileDialog::LookIn, QString::fromStdString(prompt));
  QFileInfo start(QString::fromStdString(startFolder));
  if (!startFolder.empty() && start.isDir()) {
    // Open the folder's parent with the folder itself selected.
    QString absolute = start.absoluteFilePath();
    dialog.setDirectory(QFileInfo(absolute).absolutePath());
    dialog.selectFile(absolute);
  }
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  QFileInfo folder(chosen.first());
  if (!folder.isDir()) return {};
  return QDir::cleanPath(folder.absoluteFilePath()).toStdString();
}

}  // namespace tw
