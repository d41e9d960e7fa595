#include "cli/run_summary.h"

#include <cmath>
#include <cstdio>

namespace tw::cli {

namespace {
std::string Counted(std::int64_t n, const char* one, const char* many) {
  return GroupedNumber(n) + " " + (n == 1 ? one : many);
}
}  // namespace

void RunSummary::tableSkipped(const std::string& table) {
  // A question answered by a stop (q, Ctrl-C) skipped nothing by choice.
  if (stopRequested()) return;
  ++skipped_;
  if (note_) note_(table + ": skipped");
}

void RunSummary::tableDone(const std::string& table, std::int64_t rows, int failures) {
  rows_ += rows;
  if (stopped_) {
    interruptedTable_ = table;
    interruptedRows_ = rows;
  } else if (failures > 0) {
    ++failed_;
  } else {
    ++converted_;
  }
  Done& d = done_[table];
  d = {rows, failures};
  say(table, d);
}

void RunSummary::rowsLost(const std::string& table, std::int64_t rows) {
  auto it = done_.find(table);
  if (it == done_.end()) return;  // no rows of it were counted
  Done& d = it->second;
  rows_ -= rows;
  d.rows -= rows;
  if (table == interruptedTable_) {
    interruptedRows_ -= rows;
  } else if (d.failures == 0) {
    --converted_;
    ++failed_;
  }
  ++d.failures;
  say(table, d);
}

void RunSummary::say(const std::string& table, const Done& d) const {
  if (note_)
    note_(table + ": " + Counted(d.rows, "row", "rows") +
          (d.failures > 0 ? ", " + Counted(d.failures, "failure", "failures") : std::string()) +
          (table == interruptedTable_ ? " (stopped)" : ""));
}

bool RunSummary::stopRequested() {
  if (!stopped_ && stop_ && stop_()) stopped_ = true;
  return stopped_;
}

std::string RunSummary::text(double seconds, bool preview, bool failedRun) const {
  std::string s = failedRun || stopped_ ? "" : "Done: ";
  s += Counted(converted_, "table", "tables") + " converted, " + std::to_string(skipped_) + " skipped, " +
       std::to_string(failed_) + " failed";
  if (!interruptedTable_.empty()) s += ", 1 stopped";
  s += "; " + Counted(rows_, "row", "rows") + (preview ? " listed" : " written") + " in " + Duration(seconds);
  return s;
}

std::string GroupedNumber(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::string Duration(double seconds) {
  char buf[48];
  if (seconds < 10) {
    std::snprintf(buf, sizeof buf, "%.2f s", seconds);
  } else if (seconds < 60) {
    std::snprintf(buf, sizeof buf, "%.1f s", seconds);
  } else {
    long long whole = std::llround(seconds);
    std::snprintf(buf, sizeof buf, "%lld min %02lld s", whole / 60, whole % 60);
  }
  return buf;
}

}  // namespace tw::cli
