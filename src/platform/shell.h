// The shell's default action on a target: a web address opens in the user's browser, a
// "mailto:" target in the mail program. The program never waits for the opened program and
// ignores a failure to open.
#pragma once

#include <string>

namespace tw {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens `target` (for example "https://..." or "mailto:...") with the shell's default
  // action. Implementations quote the target as their platform needs.
  virtual void open(const std::string& target) = 0;
};

}  // namespace tw
