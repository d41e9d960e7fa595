// The system clipboard as the program uses it: empty it, or put a plain text on it.
// Either call may fail for a moment while another program holds the clipboard; a failed
// attempt returns false and leaves the retrying to the caller (see preview/clipboard_text.h).
// The Qt implementation lives in platform/qt; `FakeClipboard` (tests/support/) serves tests.
#pragma once

#include <string>

namespace tw {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Empties the clipboard; false when this attempt failed.
  virtual bool clear() = 0;
  // Puts `text` (UTF-8) on the clipboard as plain text, replacing what was there; false when
  // this attempt failed and the clipboard does not hold the text.
  virtual bool setText(const std::string& text) = 0;
};

}  // namespace tw
