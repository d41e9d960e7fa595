// What the main window says when a run ends, counted as the headless converter counts it
// (cli::RunSummary) and worded as it prints it. In SQL Preview mode a table's statements
// are only listed: the table counts as converted when a preview window executed them, and
// as skipped when it was closed without executing. The report also hands the window's stop
// request to the run, which asks before each table and each row.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/run_summary.h"
#include "convert/conversion_run.h"

namespace tw {

class RunReport : public RunObserver {
 public:
  // `listing`: the run lists statements instead of executing them (SQL Preview mode), read
  // when a table is done. `stop`: true once the user asked the run to stop.
  RunReport(std::function<bool()> listing, std::function<bool()> stop);

  void tableSkipped(const std::string& table) override;
  void tableDone(const std::string& table, std::int64_t rows, int failures) override;
  void rowsLost(const std::string& table, std::int64_t rows) override;
  bool stopRequested() override;

  // A SQL Preview window closed: `executed` when it executed its statements, which then
  // count for the tables it showed.
  void previewClosed(bool executed);

  // The text of the run's last box: "Done." (or "Stopped." with the table a stop cut short
  // and the rows it keeps), a blank line, the summary, and "Nothing was written." after a
  // run that wrote nothing. Tables still waiting for a preview count as skipped.
  std::string text(double seconds);

 private:
  struct Listed {
    std::string table;
    std::int64_t rows;
  };
  std::function<bool()> listing_;
  cli::RunSummary summary_;
  std::vector<Listed> waiting_;  // listed tables no preview has executed yet
  bool stopped_ = false;
};

// Shows the run's SQL Preview window and tells the report what it did.
class ReportingPreview : public PreviewWindow {
 public:
  ReportingPreview(PreviewWindow& window, RunReport& report) : window_(window), report_(report) {}
  void showModal(ConversionState& state) override;

 private:
  PreviewWindow& window_;
  RunReport& report_;
};

}  // namespace tw
