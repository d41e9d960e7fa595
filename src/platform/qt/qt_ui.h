// The Qt Widgets implementation of `Ui`: QMessageBox boxes owned by a window, event-loop
// yields through QCoreApplication::processEvents, and the window's pointer.
//
// The pointer follows the window's pointer state: kPointerDefault, kPointerHourglass, or
// kPointerCustom (the custom pointer image, the hand, when one was loaded; otherwise the
// default pointer). The hover rules keep the hourglass: while it shows, moving over a
// button or a surface changes nothing.
#pragma once

#include <QCursor>

#include "platform/ui.h"

class QWidget;

namespace tw {

inline constexpr int kPointerCustom = 99;

class QtUi : public Ui {
 public:
  explicit QtUi(QWidget* window = nullptr) : window_(window) {}
  void setWindow(QWidget* window) {
    window_ = window;
    applied_ = false;
  }
  QWidget* window() const { return window_; }

  MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override;
  void yield() override;
  void setPointer(int pointer) override;
  int pointer() const { return pointer_; }

  // The image that kPointerCustom shows.
  void setCustomPointer(const QCursor& cursor) {
    custom_ = cursor;
    hasCustom_ = true;
    applied_ = false;
  }
  bool hasCustomPointer() const { return hasCustom_; }

  // Hover handlers: over a push button the custom pointer, over other surfaces the
  // default one, unless the hourglass shows.
  void hoverButton() {
    if (pointer_ != kPointerHourglass) setPointer(kPointerCustom);
  }
  void hoverSurface() {
    if (pointer_ != kPointerHourglass) setPointer(kPointerDefault);
  }

 private:
  QWidget* window_;
  int pointer_ = kPointerDefault;
  QCursor custom_;
  bool hasCustom_ = false;
  bool applied_ = false;
};

}  // namespace tw
