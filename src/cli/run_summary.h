// Counts what a conversion run did, for the summary line that ends a headless run, and
// passes stop requests (an interrupt, a "q" answer) to the run.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "convert/conversion_run.h"

namespace tw::cli {

class RunSummary : public RunObserver {
 public:
  // `stop` is asked before each table and each row; `note` writes one line (verbose only).
  RunSummary(std::function<bool()> stop, std::function<void(const std::string&)> note)
      : stop_(std::move(stop)), note_(std::move(note)) {}

  void tableSkipped(const std::string& table) override;
  void tableDone(const std::string& table, std::int64_t rows, int failures) override;
  // Takes the rows off the table's count and the summary's; a converted table counts as
  // failed from then on. Says the table's corrected line (verbose only).
  void rowsLost(const std::string& table, std::int64_t rows) override;
  bool stopRequested() override;

  int converted() const { return converted_; }
  int skipped() const { return skipped_; }
  int failed() const { return failed_; }
  std::int64_t rows() const { return rows_; }
  // The table a stop ended before its last row, if any, and the rows it kept.
  const std::string& interruptedTable() const { return interruptedTable_; }
  std::int64_t interruptedRows() const { return interruptedRows_; }

  // "Done: 3 tables converted, 1 skipped, 0 failed; 1,204 rows written in 0.4 s" (no
  // "Done: " after a failure or a stop; "listed" instead of "written" for a preview).
  std::string text(double seconds, bool preview, bool failedRun) const;

 private:
  std::function<bool()> stop_;
  std::function<void(const std::string&)> note_;
  bool stopped_ = false;
  int converted_ = 0, skipped_ = 0, failed_ = 0;
  std::int64_t rows_ = 0;
  std::string interruptedTable_;
  std::int64_t interruptedRows_ = 0;
  struct Done {
    std::int64_t rows = 0;
    int failures = 0;
  };
  std::map<std::string, Done> done_;  // the tables done so far, by name
  void say(const std::string& table, const Done& d) const;
};

// 1234567 as "1,234,567".
std::string GroupedNumber(std::int64_t n);
// Seconds as "0.42 s", "12.3 s" or "2 min 05 s".
std::string Duration(double seconds);

}  // namespace tw::cli
