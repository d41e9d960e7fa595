// The SQL Preview window's behaviour, without any window: the statement list the run
// filled, the error panel's text, `ErrorLine`, the progress display, and one action per
// button: the execution pass, copy, jump, e-mail, skip and back.
//
// A session lives as long as one showing of the window (the run opens a fresh window for
// every preview). It works on the run's `ConversionState`: it executes over `FoxPro_conn`,
// sets `SQLFormOK` after a completed pass and clears `StopAfterPreview` for "Skip Table".
// Every action runs under the "Application Error" guard with its button's tag.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/conversion_run.h"
#include "platform/clipboard.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "preview/preview_view.h"

namespace tw {

inline constexpr const char* kProgressAtRest = "Progress Bar";
inline constexpr const char* kPasteHint =
    "Click a text area where you normally type and press Ctrl+V to paste the clipboard.";

// "Please wait.. Processing row: 3 of 120"
std::string ExecutionProgressText(std::int64_t line, std::int64_t lines);

// True when the text holds nothing but blanks (space characters); a tab is not blank.
bool IsBlankLine(std::string_view text);

// True when a failure description marks a statement the target rejected: it contains
// "SQLException" in any letter case.
bool IsSqlFailure(std::string_view description);

class PreviewSession {
 public:
  PreviewSession(ConversionState& state, Ui& ui, Clipboard& clipboard, Shell& shell, PreviewView& view);

  // How often long passes hand control to the event loop (zero: before every line).
  void setYieldInterval(std::chrono::milliseconds interval) { yieldInterval_ = interval; }

  StatementList& lines() { return state_.statements; }
  const std::vector<FieldConversionRow>& conversions() const { return state_.conversions; }
  const std::string& errorText() const { return errorText_; }
  std::int32_t ErrorLine() const { return errorLine_; }
  double progressValue() const { return progressValue_; }
  const std::string& progressText() const { return progressText_; }
  // True while an execution pass runs: the window must not close then, and the actions
  // that would close it or change a line do nothing.
  bool busy() const { return busy_; }

  // "Execute SQL": runs every non-blank line, in order, on FoxPro_conn. A rejected
  // statement (an "SQLException") stops the pass at its line and fills the error panel;
  // any other failure is reported and the pass goes on. A completed pass sets SQLFormOK
  // and closes the window.
  void PushButton1_Click();
  // "Copy SQL To Clipboard": every line, trailing blanks removed, each followed by CR LF.
  void PushButton2_Click();
  // "Copy Error Message To Clipboard".
  void PushButton4_Click();
  // "< Back" (and the close box): closes; no flag changes.
  void PushButton5_Click();
  // "Jump To Error Line".
  void PushButton6_Click();
  // " Email Error Message To Quernfield": opens a new mail holding the error text.
  void PushButton8_Click();
  // "Skip Table / Do Not Execute SQL": clears StopAfterPreview and closes.
  void PushButton9_Click();

  // The Edit Line dialog's OK: line `line` (1-based) takes `text` unchanged. A line number
  // outside the list, or a call during a pass, changes nothing.
  void replaceLine(std::int32_t line, std::string_view text);

 private:
  void setProgress(double value, std::string text);

  ConversionState& state_;
  Ui& ui_;
  Clipboard& clipboard_;
  Shell& shell_;
  PreviewView& view_;
  std::chrono::milliseconds yieldInterval_{25};
  std::string errorText_;
  std::int32_t errorLine_ = 0;
  double progressValue_ = 0;
  std::string progressText_ = kProgressAtRest;
  bool busy_ = false;
};

}  // namespace tw
