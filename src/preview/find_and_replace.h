// The Find and Replace dialog's behaviour: in every line of the statement list, the first
// occurrence of the search text (letter case ignored) is replaced by the replacement text
// exactly as typed. One replacement per line at most; the list keeps its number of lines.
#pragma once

#include <chrono>
#include <string>

#include "convert/statement_list.h"
#include "platform/ui.h"

namespace tw {

// What the dialog shows of a pass: the busy state (hourglass, controls refusing input) and
// its closing.
class FindAndReplaceView {
 public:
  virtual ~FindAndReplaceView() = default;
  virtual void setBusy(bool busy) = 0;
  virtual void closeDialog() = 0;
};

class FindAndReplace {
 public:
  FindAndReplace(StatementList& lines, Ui& ui, FindAndReplaceView& view) : lines_(lines), ui_(ui), view_(view) {}

  void setYieldInterval(std::chrono::milliseconds interval) { yieldInterval_ = interval; }
  bool busy() const { return busy_; }

  // "Replace": with an empty list, "No SQL to run." and the dialog stays open; otherwise the
  // pass over all lines, "Done." and the dialog closes. Returns the number of changed lines.
  std::size_t PushButton2_Click(const std::string& search, const std::string& replacement);
  // "Cancel": closes; nothing changes.
  void PushButton1_Click();

 private:
  StatementList& lines_;
  Ui& ui_;
  FindAndReplaceView& view_;
  std::chrono::milliseconds yieldInterval_{25};
  bool busy_ = false;
};

}  // namespace tw
