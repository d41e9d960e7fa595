// The conversion run: what "Start Converting" does. For every table of the Access source,
// last list entry first, it asks before overwriting a target table of the same name, builds
// DROP TABLE / CREATE TABLE / one INSERT INTO per row, and either executes each statement
// on the FoxPro target at once (direct mode) or appends it to the statement list for the
// SQL Preview window (preview mode, shown once per table or once after all tables).
//
// The run reads the main window's state through `MainWindowFields`, talks to the databases
// through `DataAccess`, and shows boxes and yields through `Ui`, so it runs without any
// window. Every step is guarded: a failing step is reported in the "Application Error"
// box with the step's number, and the run goes on with its next step.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/main_window_fields.h"
#include "convert/statement_list.h"
#include "convert/table_definition.h"
#include "platform/code_page.h"
#include "platform/data_access.h"
#include "platform/locale.h"
#include "platform/ui.h"

namespace tw {

// What the run shares with the SQL Preview window: the target connection it keeps open
// while the window is shown, the two lists the window shows, and the outcome flags.
struct ConversionState {
  std::unique_ptr<data::Connection> FoxPro_conn;
  StatementList statements;
  std::vector<FieldConversionRow> conversions;
  // Set by the window after it has executed its statements; cleared before a per-file preview.
  bool SQLFormOK = false;
  // Set before each per-table preview; cleared only by "Skip Table / Do Not Execute SQL".
  bool StopAfterPreview = false;
  bool runInProgress = false;
};

// "Show the SQL Preview window modally, owned by the main window": returns when it closes.
class PreviewWindow {
 public:
  virtual ~PreviewWindow() = default;
  virtual void showModal(ConversionState& state) = 0;
};

// Hands control to the event loop only when `interval` has passed since it last did, so
// that yielding per row and per value keeps the window responsive at no cost to speed.
// The clock is read only every few calls. An interval of zero yields at every call.
class ThrottledYield {
 public:
  explicit ThrottledYield(Ui& ui, std::chrono::milliseconds interval = std::chrono::milliseconds(25))
      : ui_(ui), interval_(interval) {}
  void operator()() {
    if (interval_.count() == 0) {
      ui_.yield();
      return;
    }
    if (++calls_ % 16 != 0) return;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ >= interval_) {
      ui_.yield();
      last_ = std::chrono::steady_clock::now();
    }
  }

 private:
  Ui& ui_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::uint32_t calls_ = 0;
};

// The message shown for a table that has no field the target can hold (only OLE objects).
std::string NoTransferableFieldMessage(const std::string& table);

// Follows a run table by table and may end it early; the headless converter counts its
// summary and stops on an interrupt through it. The window passes none.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Nothing of `table` is written: the overwrite question was answered No, or the table
  // has no field the target can hold.
  virtual void tableSkipped(const std::string& table) { (void)table; }
  // The work on `table` is over (completed, or ended by a stop): `rows` row statements went
  // through without a failure (executed, or listed in preview mode), and `failures`
  // failures were reported while the table was processed.
  virtual void tableDone(const std::string& table, std::int64_t rows, int failures) {
    (void)table, (void)rows, (void)failures;
  }
  // After tableDone: `rows` of the rows counted for `table` are not in its target after
  // all (the target wrote them in a batch that failed later, at another table's statement
  // or at closing). The failure that said so was reported, and is one of that table's.
  virtual void rowsLost(const std::string& table, std::int64_t rows) { (void)table, (void)rows; }
  // Asked before each table and each row: true ends the table loop there, and the run
  // closes its connections and finishes as after the last table.
  virtual bool stopRequested() { return false; }
};

class ConversionRun {
 public:
  ConversionRun(data::DataAccess& access, Ui& ui, MainWindowFields& window, ConversionState& state,
                const Locale& locale, PreviewWindow* preview = nullptr)
      : access_(access), ui_(ui), window_(window), state_(state), locale_(locale), preview_(preview) {}
  // The run keeps the locale by reference, so it must outlive the run: a temporary one
  // would be gone before the first value is formatted.
  ConversionRun(data::DataAccess& access, Ui& ui, MainWindowFields& window, ConversionState& state,
                const Locale&& locale, PreviewWindow* preview = nullptr) = delete;

  // How often the run hands control to the event loop (zero: at every yield point).
  void setYieldInterval(std::chrono::milliseconds interval) { yieldInterval_ = interval; }
  // Who follows the run (none by default); not owned, must outlive the run.
  void setObserver(RunObserver* observer) { observer_ = observer; }
  // Shows the target's notices (one text per table, see Session::takeNotices) before
  // "Done."; by default they are joined into one message box.
  void setNoticeHandler(std::function<void(const std::vector<std::string>&)> handler) {
    noticeHandler_ = std::move(handler);
  }

  // The text of the run's last box, asked for when it is shown; "Done." by default.
  void setDoneText(std::function<std::string()> text) { doneText_ = std::move(text); }

  // Runs the whole conversion; returns at once when a run is already in progress.
  void StartConverting();

  // How many failures the last run reported.
  int reportedFailures() const { return reported_; }
  // True when the last run ended at the target check: the destination could not be
  // opened, and (as in the window) nothing was shown.
  bool endedAtTargetCheck() const { return endedAtTargetCheck_; }
  // The notices of the last run: what the run or the target had to change or leave out,
  // one text per table and kind.
  const std::vector<std::string>& notices() const { return notices_; }
  // True when one of them says values were changed (cut, rounded, characters replaced),
  // not only that a table was renamed or a column left out as intended.
  bool valuesChanged() const { return valuesChanged_; }
  // True when notice `index` says values were changed.
  bool changesValues(std::size_t index) const {
    return index < noticeChangesValues_.size() && noticeChangesValues_[index];
  }

 private:
  // The steps of one run, one member function each (conversion_run.cpp).
  class Steps;

  data::DataAccess& access_;
  Ui& ui_;
  MainWindowFields& window_;
  ConversionState& state_;
  const Locale& locale_;
  PreviewWindow* preview_;
  RunObserver* observer_ = nullptr;
  std::chrono::milliseconds yieldInterval_{25};
  // The code page the target writes new tables in (as its open connection names it, else
  // Windows-1252): column names keep only the letters it holds.
  const CodePage* codePage_ = &CodePage::western();
  // The code page a database container target keeps its names in (null for a folder):
  // column names keep only the letters it holds as well.
  const CodePage* containerCodePage_ = nullptr;
  std::function<void(const std::vector<std::string>&)> noticeHandler_;
  std::function<std::string()> doneText_;
  std::vector<std::string> notices_;
  std::vector<bool> noticeChangesValues_;  // per notice
  bool valuesChanged_ = false;
  int reported_ = 0;
  bool endedAtTargetCheck_ = false;
};

}  // namespace tw
