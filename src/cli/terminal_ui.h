// The headless converter's user interface: message boxes become lines on standard error
// (title first), the overwrite question is asked on the terminal or answered by an option,
// and the progress bar is drawn on standard error when that is a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "common/main_window_fields.h"
#include "platform/ui.h"

namespace tw::cli {

enum class OverwritePolicy { Ask, Yes, No };

class TerminalUi : public Ui {
 public:
  TerminalUi(OverwritePolicy policy, std::FILE* in, std::FILE* err) : policy_(policy), in_(in), err_(err) {}

  MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override;
  void yield() override {}
  void setPointer(int) override {}

  // Boxes that report a failure: "Application Error" reports and "Unable to access the database".
  int failures() const { return failures_; }

  // Called before any box is written, so a progress line can be cleared first.
  void setBeforeOutput(std::function<void()> hook) { beforeOutput_ = std::move(hook); }

 private:
  OverwritePolicy policy_;
  std::FILE* in_;
  std::FILE* err_;
  int failures_ = 0;
  std::function<void()> beforeOutput_;
};

// The main window's state for a headless run, with a progress bar drawn on a terminal.
class TerminalWindow : public MainWindowModel {
 public:
  TerminalWindow(std::FILE* err, bool drawProgress) : err_(err), draw_(drawProgress) {}
  void setProgressValue(double percent) override;
  void setProgressCaption(const std::string& text) override;
  // Erases the progress line, if one is drawn.
  void clearLine();

 private:
  void draw();
  std::FILE* err_;
  bool draw_;
  int lastPercent_ = -1;
  bool lineShown_ = false;
};

}  // namespace tw::cli
