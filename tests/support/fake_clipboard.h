// A `Clipboard` for tests: holds the text in memory, counts the attempts, and can be told
// to refuse a number of attempts, as a clipboard held by another program does.
#pragma once

#include <string>

#include "platform/clipboard.h"

namespace tw {

class FakeClipboard : public Clipboard {
 public:
  bool clear() override {
    ++clearAttempts;
    if (refuse()) return false;
    text.clear();
    return true;
  }
  bool setText(const std::string& value) override {
    ++setAttempts;
    if (refuse()) return false;
    text = value;
    ++sets;
    return true;
  }

  std::string text;
  int clearAttempts = 0;
  int setAttempts = 0;
  int sets = 0;                // successful setText calls
  long refusals = 0;           // the next this many attempts fail
  bool refuseForever = false;  // every attempt fails

 private:
  bool refuse() {
    if (refuseForever) return true;
    if (refusals > 0) {
      --refusals;
      return true;
    }
    return false;
  }
};

}  // namespace tw
