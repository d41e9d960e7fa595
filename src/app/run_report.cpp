#include "app/run_report.h"

namespace tw {

RunReport::RunReport(std::function<bool()> listing, std::function<bool()> stop)
    : listing_(std::move(listing)), summary_(std::move(stop), nullptr) {}

void RunReport::tableSkipped(const std::string& table) { summary_.tableSkipped(table); }

void RunReport::tableDone(const std::string& table, std::int64_t rows, int failures) {
  // A table that failed while it was read counts as failed whatever a preview does later.
  if (failures == 0 && listing_ && listing_()) {
    waiting_.push_back({table, rows});
    return;
  }
  summary_.tableDone(table, rows, failures);
}

void RunReport::rowsLost(const std::string& table, std::int64_t rows) { summary_.rowsLost(table, rows); }

bool RunReport::stopRequested() {
  if (summary_.stopRequested()) stopped_ = true;
  return stopped_;
}

void RunReport::previewClosed(bool executed) {
  for (const Listed& t : waiting_) {
    if (executed) summary_.tableDone(t.table, t.rows, 0);
    else summary_.tableSkipped(t.table);
  }
  waiting_.clear();
}

std::string RunReport::text(double seconds) {
  previewClosed(false);
  std::string summary = summary_.text(seconds, /*preview=*/false, /*failedRun=*/false);
  const std::string donePrefix = "Done: ";
  if (summary.rfind(donePrefix, 0) == 0) summary.erase(0, donePrefix.size());
  std::string text = stopped_ ? "Stopped." : "Done.";
  if (stopped_ && !summary_.interruptedTable().empty()) {
    const std::int64_t rows = summary_.interruptedRows();
    text += "\r\n\r\nThe table " + summary_.interruptedTable() + " keeps the " + cli::GroupedNumber(rows) +
            (rows == 1 ? " row" : " rows") + " written before the stop.";
  }
  text += "\r\n\r\n" + summary;
  if (summary_.converted() == 0 && summary_.failed() == 0 && summary_.interruptedTable().empty())
    text += "\r\n\r\nNothing was written.";
  return text;
}

void ReportingPreview::showModal(ConversionState& state) {
  window_.showModal(state);
  report_.previewClosed(state.SQLFormOK);
}

}  // namespace tw
