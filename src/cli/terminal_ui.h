// The headless converter's user interface. Every message of the run becomes one line on
// standard error, "tablewright-convert: SOURCE: text", shown safely (ShownSafely: a
// failure's description keeps no line break of its own); a failure report shows its
// description, with the procedure and line in brackets when verbose. The overwrite
// question is asked on the terminal (y, n, a for yes to all, q to stop) or answered by the
// policy; without a terminal it is answered No, after one line that says so. The run's
// closing "Done." is left to the converter's summary. The progress bar is drawn on
// standard error when that is a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "common/main_window_fields.h"
#include "platform/ui.h"

namespace tw::cli {

struct TerminalSettings {
  std::string subject;  // what run messages are about: the source path as given
  OverwritePolicy overwrite = OverwritePolicy::Ask;
  int answerFd = -1;  // where typed answers are read; -1: no terminal to ask on
  bool verbose = false;
  bool quiet = false;  // no notes, only failures
};

class TerminalUi : public Ui {
 public:
  TerminalUi(TerminalSettings settings, std::FILE* err) : settings_(std::move(settings)), err_(err) {}

  MessageAnswer messageBox(const std::string& title, const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override;
  void showProcedureFailure(const std::string& title, const std::string& text,
                            const ProcedureFailure& parts) override;
  void yield() override {}
  void setPointer(int) override {}

  // How many failures were shown: failure reports and "Unable to access the database".
  int failures() const { return failures_; }
  // True once the user answered q (stop) or ended the answers at an overwrite question.
  bool quitRequested() const { return quit_; }
  // True when the run said "Done.".
  bool sawDone() const { return done_; }

  // Called before any line is written, so that a progress line can be cleared first.
  void setBeforeOutput(std::function<void()> hook) { beforeOutput_ = std::move(hook); }

 private:
  MessageAnswer askOverwrite(const std::string& text);
  void line(const std::string& text);

  TerminalSettings settings_;
  std::FILE* err_;
  int failures_ = 0;
  bool quit_ = false;
  bool done_ = false;
  bool toldNoTerminal_ = false;
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

// `text` safe to show on a terminal: control characters (C0, DEL and C1) and bytes that
// are no UTF-8 appear escaped ("\e", "\n", "\x7f", "\u009b"), so that a name read from a
// file can neither split a line nor send the terminal a command. Everything else, UTF-8
// letters included, is kept.
std::string ShownSafely(std::string_view text);

// One line from `fd`, without its line feed; reads byte by byte so that nothing after the
// line is taken from a shared descriptor. False at end of input (nothing read) or when a
// signal interrupted the read.
bool ReadAnswerLine(int fd, std::string& line);

}  // namespace tw::cli
