// File and folder choosers for tests: each call is recorded and answered from a script
// (empty text, a cancel, once the script is used up), or made to fail.
#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file_dialogs.h"

namespace tw {

class FakeFileDialogs : public FileDialogs {
 public:
  struct Call {
    std::string kind;  // "open" or "folder"
    std::string title;
    std::string filter;
    std::string start;
  };

  std::string openFile(const std::string& title, const std::string& filter, const std::string& fileName) override {
    calls.push_back({"open", title, filter, fileName});
    return answer();
  }
  std::string browseForFolder(const std::string& prompt, const std::string& startFolder) override {
    calls.push_back({"folder", prompt, "", startFolder});
    return answer();
  }

  std::vector<Call> calls;
  std::deque<std::string> answers;
  bool fail = false;

 private:
  std::string answer() {
    if (fail) throw std::runtime_error("The dialog could not be shown.");
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
};

}  // namespace tw
