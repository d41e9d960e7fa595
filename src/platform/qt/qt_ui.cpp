#include "platform/qt/qt_ui.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QWidget>

namespace tw {

MessageAnswer QtUi::messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                               MessageButtons buttons) {
  QMessageBox box(window_);
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(WithLineFeedBreaks(text)));
  switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
  }
  if (buttons == MessageButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MessageAnswer::Ok;
}

void QtUi::yield() { QCoreApplication::processEvents(); }

void QtUi::setPointer(int pointer) {
  if (!window_) return;
  if (pointer == kPointerHourglass) window_->setCursor(Qt::WaitCursor);
  else window_->unsetCursor();
}

}  // namespace tw
