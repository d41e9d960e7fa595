#include "platform/qt/qt_ui.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMessageBox>
#include <QWidget>

namespace tw {

MessageAnswer QtUi::messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                               MessageButtons buttons) {
  // A modal window open over the main window (a dialog) owns the box.
  QWidget* owner = QApplication::activeModalWidget();
  if (!owner) owner = window_;
  QMessageBox box(owner);
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(WithLineFeedBreaks(text)));
  box.setTextFormat(Qt::PlainText);
  switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
  }
  if (buttons == MessageButtons::YesNoAll) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
      case QMessageBox::Yes: return MessageAnswer::Yes;
      case QMessageBox::YesToAll: return MessageAnswer::YesToAll;
      case QMessageBox::NoToAll: return MessageAnswer::NoToAll;
      default: return MessageAnswer::No;
    }
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
  // Hover handlers set the pointer at every mouse move; only a change needs work.
  if (pointer == pointer_ && applied_) return;
  pointer_ = pointer;
  applied_ = window_ != nullptr;
  if (!window_) return;
  const bool busy = pointer == kPointerHourglass;
  if (busy) window_->setCursor(Qt::WaitCursor);
  else if (pointer == kPointerCustom && hasCustom_) window_->setCursor(custom_);
  else window_->unsetCursor();
  // Text fields carry their own text cursor; the hourglass covers them too.
  for (QLineEdit* edit : window_->findChildren<QLineEdit*>()) {
    if (busy) edit->setCursor(Qt::WaitCursor);
    else edit->setCursor(Qt::IBeamCursor);
  }
}

}  // namespace tw
