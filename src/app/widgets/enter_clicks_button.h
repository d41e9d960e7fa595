// Enter and Return click the push button that has the keyboard focus, as Space does, in
// every window of the program while it is installed on the application. Qt's own buttons
// answer Enter only in dialogs and only when they are "auto default"; the program's
// windows turn that off so that Enter in a text field presses nothing.
#pragma once

#include <QObject>

namespace tw {

class EnterClicksButton : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tw
