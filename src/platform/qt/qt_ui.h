// The Qt Widgets implementation of `Ui`: QMessageBox boxes owned by a window, event-loop
// yields through QCoreApplication::processEvents, and the window's cursor.
#pragma once

#include "platform/ui.h"

class QWidget;

namespace tw {

class QtUi : public Ui {
 public:
  explicit QtUi(QWidget* window = nullptr) : window_(window) {}
  void setWindow(QWidget* window) { window_ = window; }

  MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override;
  void yield() override;
  void setPointer(int pointer) override;

 private:
  QWidget* window_;
};

}  // namespace tw
