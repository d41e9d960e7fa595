// The error guard of guarded procedures and the "Application Error" report.
//
// A guarded procedure numbers its statements 100, 102, 104, ... in source order and runs
// each through its `Guard`:
//
//   Guard guard(ui, ProcedureTag("Form1.PushButton7_Click"));
//   guard(104, [&] { FoxPro_conn = dataAccess.createConnection(); });
//   if (guard.test(158, [&] { return ListContainsText(List1, name); })) { ... }
//   while (!guard.test(454, [&] { return rs.Eof(); }, /*onFailure=*/true)) { ... }
//
// A statement that throws is reported with the procedure's tag, the number of the most
// recent numbered statement and the failure's description; then the procedure simply goes
// on with its next statement. A condition that throws counts as `onFailure` (true unless
// told otherwise), so a failed `if` runs its branch and a failed loop test keeps looping,
// unless the call site says how the loop must end.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ui.h"

namespace tw {

// The address every report and the provider message ask the user to write to.
inline constexpr const char* kContactEmail = "support@quernfield.com";
inline constexpr const char* kErrorTitle = "Application Error";

// "in Tavrel2021/08/31." + procedure + " ", the literal a report names, e.g. for
// "Form1.PushButton7_Click".
std::string ProcedureTag(std::string_view procedure);

// The report body: description, "\r\n", tag, "at line ", line, "\r\r", request to email.
std::string ProcedureErrorText(std::string_view tag, std::int32_t line, std::string_view description);

// Shows the report in a modal box titled "Application Error" (exclamation icon, OK) and
// returns when the user has dismissed it.
void ReportProcedureError(Ui& ui, std::string_view tag, std::int32_t line, std::string_view description);

// The description of the exception in flight (data-access failures carry the provider's).
std::string DescribeCurrentException();

class Guard {
 public:
  Guard(Ui& ui, std::string tag) : ui_(ui), tag_(std::move(tag)) {}

  // Marks a numbered line that does nothing at run time (a declaration).
  void line(std::int32_t number) { line_ = number; }
  std::int32_t currentLine() const { return line_; }
  // How many failures this guard has reported.
  int reports() const { return reports_; }

  // Runs a numbered statement.
  template <class F>
  void operator()(std::int32_t number, F&& statement) {
    line_ = number;
    run(std::forward<F>(statement));
  }

  // Runs a statement without a number of its own; a failure names the line before it.
  template <class F>
  void run(F&& statement) {
    try {
      statement();
    } catch (...) {
      report();
    }
  }

  // Evaluates a numbered condition; after a reported failure it counts as `onFailure`.
  template <class F>
  bool test(std::int32_t number, F&& condition, bool onFailure = true) {
    line_ = number;
    try {
      return static_cast<bool>(condition());
    } catch (...) {
      report();
      return onFailure;
    }
  }

 private:
  void report();

  Ui& ui_;
  std::string tag_;
  std::int32_t line_ = 0;
  int reports_ = 0;
};

// A guard that ignores failures: the failing statement is skipped and the next one runs,
// with no report. It remembers the last failure for procedures that look at it.
class SilentGuard {
 public:
  template <class F>
  void operator()(F&& statement) {
    try {
      statement();
    } catch (...) {
      remember();
    }
  }
  bool failed() const { return failed_; }
  std::int32_t lastNumber() const { return number_; }
  const std::string& lastDescription() const { return description_; }
  void clear() {
    failed_ = false;
    number_ = 0;
    description_.clear();
  }

 private:
  void remember();
  bool failed_ = false;
  std::int32_t number_ = 0;
  std::string description_;
};

}  // namespace tw
