// What the SQL Preview window shows of its session (preview_session.h): the widget
// implements this and only displays; tests record the calls.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

class PreviewView {
 public:
  virtual ~PreviewView() = default;
  // The progress display: a value from 0 to 100 and its text.
  virtual void showProgress(double value, const std::string& text) = 0;
  // Selects line `line` (1-based) and scrolls it into view; the keyboard focus stays.
  virtual void selectLine(std::int32_t line) = 0;
  virtual void showErrorText(const std::string& text) = 0;
  // Busy: the hourglass pointer, and every control (the close box included) refuses input,
  // so that nothing can close the window, start a second pass or change the lines while a
  // pass runs. Not busy: the usual pointer and controls.
  virtual void setBusy(bool busy) = 0;
  // The texts of lines `first` to `last` (1-based, inclusive) have changed.
  virtual void linesChanged(std::int32_t first, std::int32_t last) = 0;
  // Closes (unloads) the window.
  virtual void closeWindow() = 0;
};

}  // namespace tw
