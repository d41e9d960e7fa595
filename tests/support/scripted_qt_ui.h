// The real Qt user interface with its message boxes answered from a script instead of
// shown: every box is recorded (title, text, icon, buttons), Yes/No questions take the next
// scripted answer (No once the script is used up). Yields, the pointer and the hover rules
// stay those of QtUi, and a hook runs at every yield.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qt_ui.h"
#include "support/fake_ui.h"

namespace tw {

class ScriptedQtUi : public QtUi {
 public:
  MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override {
    boxes.push_back({title, text, icon, buttons});
    if (onBox) onBox(boxes.back());
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::No;
    MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void yield() override {
    QtUi::yield();
    if (onYield) onYield();
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes) out.push_back(b.text);
    return out;
  }

  std::vector<FakeUi::Box> boxes;
  std::deque<MessageAnswer> answers;
  std::function<void()> onYield;
  std::function<void(const FakeUi::Box&)> onBox;
};

}  // namespace tw
