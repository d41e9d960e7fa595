#include "preview/find_and_replace.h"

#include "common/guard.h"
#include "preview/text_replace.h"
#include "preview/yield_gate.h"

namespace tw {

std::size_t FindAndReplace::PushButton2_Click(const std::string& search, const std::string& replacement) {
  Guard guard(ui_, ProcedureTag("Form3.PushButton2_Click"));
  if (busy_) return 0;
  if (guard.test(
          100, [&] { return lines_.empty(); }, false)) {
    guard(102, [&] { ui_.inform("No SQL to run."); });
    return 0;
  }
  guard(106, [&] {
    busy_ = true;
    view_.setBusy(true);
  });
  std::size_t changed = 0;
  std::size_t n = 0;
  guard(108, [&] { n = lines_.size(); });
  YieldGate gate(yieldInterval_);
  for (std::size_t i = 0; i < n; ++i) {
    guard(112, [&] {
      if (gate.due()) ui_.yield();
    });
    // A line that fails is reported and the pass goes on with the next one.
    guard(114, [&] {
      if (auto text = ReplaceFirstIgnoringCase(lines_.item(i), search, replacement)) {
        lines_.setItem(i, *text);
        ++changed;
      }
    });
  }
  guard(122, [&] {
    busy_ = false;
    view_.setBusy(false);
  });
  guard(124, [&] { ui_.inform("Done."); });
  guard(126, [&] { view_.closeDialog(); });
  return changed;
}

void FindAndReplace::PushButton1_Click() {
  Guard guard(ui_, ProcedureTag("Form3.PushButton1_Click"));
  guard(100, [&] { view_.closeDialog(); });
}

}  // namespace tw
