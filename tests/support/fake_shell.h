// A `Shell` for tests: records every target it is asked to open, in order, and can be told
// to fail.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace tw {

class FakeShell : public Shell {
 public:
  void open(const std::string& target) override {
    opened.push_back(target);
    if (fail) throw std::runtime_error("The shell could not open " + target);
  }
  std::vector<std::string> opened;
  bool fail = false;
};

}  // namespace tw
