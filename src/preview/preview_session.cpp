#include "preview/preview_session.h"

#include <utility>

#include "common/guard.h"
#include "platform/case_rules.h"
#include "preview/clipboard_text.h"
#include "preview/mail_target.h"
#include "preview/text_replace.h"
#include "preview/yield_gate.h"

namespace tw {

namespace {
constexpr const char* kClipboardBusy =
    "Nothing was copied: the clipboard is in use by another program. Please try again.";

// The statement list as the copy reads it: one column, the line's text.
class StatementRows : public ListRows {
 public:
  explicit StatementRows(const StatementList& lines) : lines_(lines) {}
  std::size_t rowCount() const override { return lines_.size(); }
  std::size_t columnCount() const override { return 1; }
  std::string_view cell(std::size_t row, std::size_t) const override { return lines_.item(row); }

 private:
  const StatementList& lines_;
};

std::string confirmation(const char* what) { return std::string(what) + "\r\r" + kPasteHint; }
}  // namespace

std::string ExecutionProgressText(std::int64_t line, std::int64_t lines) {
  return "Please wait.. Processing row: " + std::to_string(line) + " of " + std::to_string(lines);
}

bool IsBlankLine(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

bool IsSqlFailure(std::string_view description) { return containsIgnoringAsciiCase(description, "SQLException"); }

PreviewSession::PreviewSession(ConversionState& state, Ui& ui, Clipboard& clipboard, Shell& shell, PreviewView& view)
    : state_(state), ui_(ui), clipboard_(clipboard), shell_(shell), view_(view) {}

void PreviewSession::setProgress(double value, std::string text) {
  progressValue_ = value;
  progressText_ = std::move(text);
  view_.showProgress(progressValue_, progressText_);
}

void PreviewSession::PushButton1_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton1_Click"));
  if (busy_) return;  // a pass is already running (the window refuses the click as well)
  if (guard.test(
          100, [&] { return state_.statements.empty(); }, false)) {
    guard(102, [&] { ui_.inform("No SQL to run."); });
    return;
  }
  guard(106, [&] {
    busy_ = true;
    view_.setBusy(true);
  });
  std::int64_t n = 0;
  guard(108, [&] { n = static_cast<std::int64_t>(state_.statements.size()); });
  YieldGate gate(yieldInterval_);
  for (std::int64_t i = 1; i <= n; ++i) {
    // The display follows the pass whenever the event loop gets control; setting it for
    // every one of a million lines would cost more than the lines themselves.
    guard(112, [&] {
      if (gate.due()) {
        setProgress(static_cast<double>(i) / static_cast<double>(n) * 100.0, ExecutionProgressText(i, n));
        ui_.yield();
      }
    });
    std::string_view line;
    guard(118, [&] { line = state_.statements.item(static_cast<std::size_t>(i - 1)); });
    if (IsBlankLine(line)) continue;
    guard.line(120);
    try {
      if (!state_.FoxPro_conn)
        throw data::Failure(data::kErrObjectClosed, "Operation is not allowed when the object is closed.");
      state_.FoxPro_conn->Execute(std::string(line));
    } catch (...) {
      std::string description = DescribeCurrentException();
      if (!IsSqlFailure(description)) {
        ReportProcedureError(ui_, ProcedureTag("Form2.PushButton1_Click"), 120, description);
        continue;
      }
      // A rejected statement: stop at its line and show why.
      errorLine_ = static_cast<std::int32_t>(i);
      view_.selectLine(errorLine_);
      errorText_ = description;
      view_.showErrorText(errorText_);
      busy_ = false;
      view_.setBusy(false);
      setProgress(0, progressText_);
      setProgress(0, kProgressAtRest);
      ui_.inform("Error found.");
      return;
    }
  }
  guard(124, [&] { state_.SQLFormOK = true; });
  guard(126, [&] {
    busy_ = false;
    view_.setBusy(false);
  });
  guard(128, [&] { setProgress(0, progressText_); });
  guard(130, [&] { setProgress(0, kProgressAtRest); });
  guard(132, [&] { view_.closeWindow(); });
}

void PreviewSession::PushButton2_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton2_Click"));
  CopyResult result = CopyResult::Copied;
  guard(100, [&] {
    YieldGate gate(yieldInterval_);
    result = CopyListViewToClipboard(StatementRows(state_.statements), clipboard_, [&] {
      if (gate.due()) ui_.yield();
    });
  });
  guard(102, [&] {
    ui_.inform(result == CopyResult::ClipboardBusy ? std::string(kClipboardBusy)
                                                   : confirmation("Results have been copied to the clipboard."));
  });
}

void PreviewSession::PushButton4_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton4_Click"));
  if (guard.test(100, [&] { return IsBlankLine(errorText_); })) return;
  bool copied = false;
  guard(102, [&] { ClearClipboard(clipboard_); });
  guard(104, [&] { copied = SetClipboardText(clipboard_, errorText_); });
  guard(106, [&] {
    ui_.inform(copied ? confirmation("Error message have been copied to the clipboard.")
                      : std::string(kClipboardBusy));
  });
}

void PreviewSession::PushButton5_Click() {
  if (busy_) return;
  Guard guard(ui_, ProcedureTag("Form2.PushButton5_Click"));
  guard(100, [&] { view_.closeWindow(); });
}

void PreviewSession::PushButton6_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton6_Click"));
  if (guard.test(100, [&] { return state_.statements.empty(); })) return;
  if (guard.test(102, [&] { return errorLine_ < 1; })) return;
  guard(104, [&] {
    if (static_cast<std::size_t>(errorLine_) <= state_.statements.size()) view_.selectLine(errorLine_);
  });
}

void PreviewSession::PushButton8_Click() {
  Guard guard(ui_, ProcedureTag("Form2.PushButton8_Click"));
  if (guard.test(100, [&] { return IsBlankLine(errorText_); })) return;
  std::string target;
  guard(102, [&] { target = ErrorMailTarget(errorText_); });
  guard(104, [&] { shell_.open(target); });
}

void PreviewSession::PushButton9_Click() {
  if (busy_) return;
  Guard guard(ui_, ProcedureTag("Form2.PushButton9_Click"));
  guard(100, [&] { state_.StopAfterPreview = false; });
  guard(102, [&] { view_.closeWindow(); });
}

void PreviewSession::replaceLine(std::int32_t line, std::string_view text) {
  if (busy_ || line < 1 || static_cast<std::size_t>(line) > state_.statements.size()) return;
  state_.statements.setItem(static_cast<std::size_t>(line - 1), text);
  view_.linesChanged(line, line);
}

}  // namespace tw
