// A `Ui` for tests: records every message box, answers Yes/No questions from a script
// (No once the script is used up) and counts yields and pointer changes.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace tw {

class FakeUi : public Ui {
 public:
  struct Box {
    std::string title;
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
  };

  MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override {
    boxes.push_back({title, text, icon, buttons});
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::No;
    MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void yield() override {
    ++yields;
    if (onYield) onYield();
  }
  void setPointer(int pointer) override { pointers.push_back(pointer); }

  std::vector<Box> boxes;
  std::deque<MessageAnswer> answers;
  std::vector<int> pointers;
  int yields = 0;
  std::function<void()> onYield;
};

}  // namespace tw
