#include "preview/qt/window_look.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

namespace tw {

namespace {
QCursor handPointer() {
  const QString path = QCoreApplication::applicationDirPath() + "/HAND-M.CUR";
  if (QFileInfo::exists(path)) {
    QPixmap image(path);
    if (!image.isNull()) return QCursor(image, 0, 0);
  }
  return QCursor(Qt::PointingHandCursor);
}
}  // namespace

void ApplyFormBackColor(QWidget* window) {
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
}

void UseHandOverButtons(QWidget* window) {
  const QCursor hand = handPointer();
  for (QPushButton* button : window->findChildren<QPushButton*>()) button->setCursor(hand);
}

int Twips(const QWidget* widget, int twips) { return twips * widget->logicalDpiX() / 1440; }

BusyPointer::BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyPointer::~BusyPointer() { QApplication::restoreOverrideCursor(); }

}  // namespace tw
