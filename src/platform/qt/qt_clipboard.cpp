#include "platform/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace tw {

bool QtClipboard::clear() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  clipboard->clear();
  return clipboard->text().isEmpty();
}

bool QtClipboard::setText(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  clipboard->setText(value);
  return clipboard->text() == value;
}

}  // namespace tw
