// The main window's behaviour without any widget: its state (the fields the conversion run
// reads through `MainWindowFields`), the load sequence that restores the stored settings,
// and every handler of its controls. The widget (widgets/form1.h) shows this state, passes
// the user's edits and clicks in, and carries out the few things only a window can do
// through `Form1View`.
//
// Assigning a field works as assigning a control's value does: `setText2` on a different
// text runs the field's change behaviour (the stored key is written at once), `setCheck1`
// and `setOption1`/`setOption2` run the click behaviour. The widget calls the same
// functions for the user's edits, so the stored settings always match the window.
//
// The push-button handlers and the load sequence are guarded procedures: a failing step is
// reported in the "Application Error" box with the handler's tag and line, and the handler
// goes on with its next step. The field handlers carry no guard; a settings write that
// fails there is told to the user once and the window stays usable.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "app/program_arguments.h"
#include "app/text_list_model.h"
#include "common/main_window_fields.h"
#include "convert/conversion_run.h"
#include "platform/data_access.h"
#include "platform/file_dialogs.h"
#include "platform/locale.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace tw {

inline constexpr const char* kProductTitle = "Tablewright";
inline constexpr const char* kVendorSite = "https://www.quernfield.com/";
inline constexpr const char* kContactPage = "http://www.quernfield.com/contact/";

// Files the program looks for in its own folder.
inline constexpr const char* kHandPointerFile = "/HAND-M.CUR";
inline constexpr const char* kSkinFile = "/x/o.cjs";
inline constexpr const char* kIconFile = "/tablewright.png";
inline constexpr const char* kSampleDatabase = "/Samples/sample.mdb";
inline constexpr const char* kSampleFolder = "/Samples";

// The application title made from a product title: cut before its last blank, again while
// longer than 40 characters; always at least once. A title without any blank has no word to
// lose: it stays whole, cut to 40 characters when longer.
std::string ApplicationTitleFor(std::string_view productTitle);

// The text of the "Help" box.
std::string HelpText();

// Stored values as the load sequence converts them. Both throw std::runtime_error naming
// the key and the value when the text is not of the key's kind.
int SettingAsInteger(std::string_view key, const std::string& text);
// "True"/"False" in any case, or a number (zero false, anything else true).
bool SettingAsTruth(std::string_view key, const std::string& text);

// What only the window can do.
class Form1View {
 public:
  enum class Field { Text5, Text6, Text2, Check1, Check2, Options, OptionsEnabled, Progress };
  virtual ~Form1View() = default;
  // The logic changed a field; the window shows its new value.
  virtual void showField(Field field) = 0;
  // Load steps; each throws when its file cannot be used.
  virtual void applySkin(const std::string& skinFile) = 0;
  virtual void loadPointerImage(const std::string& cursorFile) = 0;
  virtual void setCaption(const std::string& caption) = 0;
  virtual void setApplicationIcon() = 0;
  // Shows the Advanced Options dialog modally, owned by the window; returns when it closes.
  virtual void showAdvancedOptions() = 0;
};

struct Form1Services {
  SettingsStore& settings;
  Ui& ui;
  Shell& shell;
  FileDialogs& dialogs;
  data::DataAccess& dataAccess;
  const Locale& locale;
  std::string programFolder;
  // A random fraction in [0, 1), seeded from the clock unless a test gives its own.
  std::function<double()> random;
  // The user's own folder for the sample's FoxPro tables, used when the program folder's
  // "Samples" cannot take them (an installed program, whose folder belongs to the system).
  // Empty: always the program folder's.
  std::string userSampleFolder = {};
};

// A random source seeded from the clock.
std::function<double()> ClockSeededRandom();

class Form1Logic : public MainWindowFields {
 public:
  Form1Logic(Form1Services services, Form1View& view);

  // MainWindowFields, as the conversion run and the connection code read them.
  std::string Text5() const override { return text5_; }
  std::string Text6() const override { return text6_; }
  std::string Text2() const override { return text2_; }
  bool OptionDBC1() const override { return optionDBC1_; }
  std::string DBCPath1() const override { return dbcPath1_; }
  int Check1() const override { return check1_; }
  bool Option1() const override { return option1_; }
  bool Option2() const override { return option2_; }
  int Check2() const override { return check2_; }
  TextList& List1() override { return list1_; }
  TextList& List2() override { return list2_; }
  void setProgressValue(double percent) override;
  void setProgressCaption(const std::string& text) override;

  TextListModel& list1Model() { return list1_; }
  TextListModel& list2Model() { return list2_; }
  bool optionsEnabled() const { return optionsEnabled_; }
  int progressValue() const { return progressShown_; }
  const std::string& progressCaption() const { return progressCaption_; }
  ConversionState& state() { return state_; }
  const std::string& programFolder() const { return services_.programFolder; }

  // The SQL Preview window the run shows in preview mode (none: statements are listed
  // without a window).
  void setPreviewWindow(PreviewWindow* preview) { preview_ = preview; }
  // How often a run hands control to the event loop (zero: at every yield point).
  void setYieldInterval(std::chrono::milliseconds interval) { yieldInterval_ = interval; }

  // Assignments, as from code or from the user's edit.
  void setText5(const std::string& text);
  void setText6(const std::string& text);
  void setText2(const std::string& text);
  // 0 or 1; a different value runs the click behaviour.
  void setCheck1(int value);
  // Selecting an option (true) runs its click behaviour, also when it is selected already.
  // The two options are one exclusive group: false on the selected option leaves it
  // selected (one of the two is always chosen), false on the other one changes nothing.
  void setOption1(bool value);
  void setOption2(bool value);
  // "Keep Access field types, keys and indexes": 0 or 1, stored at once under "NativeTables".
  void setCheck2(int value);
  // The destination kind and container path, as the Advanced Options dialog sets them.
  void setOptionDBC1(bool value) { optionDBC1_ = value; }
  void setDBCPath1(const std::string& path) { dbcPath1_ = path; }

  // The load sequence. False when the data-access layer is missing: the program must end
  // at once, without showing the window.
  bool Form_Load();

  void PushButton1_Click();   // "..." beside the Access file
  void PushButton2_Click();   // "..." beside the folder
  void PushButton3_Click();   // "Load Sample/Example Database", FoxPro side
  void PushButton4_Click();   // "Load Sample/Example Database", Access side
  void PushButton5_Click();   // "Help"
  void PushButton7_Click();   // "Start Converting"
  void PushButton8_Click();   // "Test Connection"
  void PushButton12_Click();  // "dbc"
  void Check1_Click();
  void Option1_Click() { storeOptions(); }
  void Option2_Click() { storeOptions(); }

  // Closing the window. With no run in progress, returns true: the window closes. During a
  // run, asks whether to stop it; Yes asks the run to stop between two rows (the window
  // closes once its last box has been shown, see stopRequested), No lets it go on. Either
  // way returns false: the window stays open for now.
  bool Form_QueryUnload();
  bool runInProgress() const { return state_.runInProgress; }
  // The user asked the run in progress, or the last run, to stop.
  bool stopRequested() const { return stopRequested_; }

  // A path given on the command line or dropped on the window, applied by its kind and
  // stored as the user's own choice: an Access database (.mdb, .accdb) into Text5, a folder
  // into Text2 (free tables), a .dbc as the database container. A file that is missing or
  // cannot be read, or that is none of these, is refused with one box naming it, and the
  // stored choice stays. A relative path is taken from the current folder and kept whole.
  // Returns whether the path was taken.
  bool OpenPath(const std::string& path);

 private:
  void Text5_Change();
  void Text6_Change();
  void Text2_Change();
  void storeOptions();
  // The run's last box and the report that counts it; the SQL Preview window the run shows.
  void runConversion();
  // A settings write from a handler without a guard: a failure is told once, not thrown.
  void saveQuietly(std::string_view key, const std::string& value);
  std::string programFile(const char* name) const { return services_.programFolder + name; }
  // Where the FoxPro-side "Load Sample/Example Database" points: the program folder's
  // "Samples" when the user can write into it, otherwise the user's own sample folder
  // (made when missing).
  std::string sampleDestination() const;

  Form1Services services_;
  Form1View& view_;
  std::string text5_, text6_, text2_;
  bool optionDBC1_ = false;
  std::string dbcPath1_;
  int check1_ = 0;
  bool option1_ = true;
  bool option2_ = false;
  int check2_ = 0;
  bool stopRequested_ = false;
  bool optionsEnabled_ = true;
  TextListModel list1_, list2_;
  double progressValue_ = 0;
  int progressShown_ = 0;
  std::string progressCaption_ = "Progress Bar";
  ConversionState state_;
  PreviewWindow* preview_ = nullptr;
  std::chrono::milliseconds yieldInterval_{25};
  bool settingsFailureTold_ = false;
};

}  // namespace tw
