// The Qt implementation of `Shell`: the desktop's default handler for a web address or a
// "mailto:" target (QDesktopServices), without waiting and ignoring a failure.
#pragma once

#include "platform/shell.h"

namespace tw {

class QtShell : public Shell {
 public:
  void open(const std::string& target) override;
};

}  // namespace tw
