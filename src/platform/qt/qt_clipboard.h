// The Qt implementation of `Clipboard`, over QGuiApplication::clipboard(). Needs a running
// QGuiApplication. A text is put on the clipboard and read back, so that a clipboard the
// system did not take is reported as a failed attempt instead of passing for copied.
#pragma once

#include "platform/clipboard.h"

namespace tw {

class QtClipboard : public Clipboard {
 public:
  bool clear() override;
  bool setText(const std::string& text) override;
};

}  // namespace tw
