#include "app/form1_logic.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>

#include "app/run_report.h"
#include "app/window_preflight.h"
#include "common/guard.h"
#include "db/access.h"
#include "db/foxpro.h"
#include "db/is_installed.h"
#include "platform/case_rules.h"

namespace tw {

std::string ApplicationTitleFor(std::string_view productTitle) {
  std::string title(productTitle);
  if (title.find(' ') == std::string::npos) return title.substr(0, 40);
  do {
    std::size_t blank = title.rfind(' ');
    if (blank == std::string::npos) break;
    title.erase(blank);
  } while (title.size() > 40);
  return title;
}

std::string HelpText() {
  return std::string(
             "This software transfers text-based and numeric fields but does not handle binary / pictures fields.") +
         "\r\n" + "\r\n" + "Use SQL Preview if your tables contains less than 32767 rows." + "\r\n" + "\r\n" +
         "Questions? Please contact Team Quernfield at " + kContactPage;
}

namespace {
std::string trimmedBlanks(const std::string& text) {
  std::size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

// A decimal number, as the text-to-number rule reads one; nullopt for anything else.
std::optional<double> numberIn(const std::string& text) {
  std::string t = trimmedBlanks(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

[[noreturn]] void typeMismatch(std::string_view key, const std::string& text, const char* kind) {
  throw std::runtime_error("Type mismatch: the setting \"" + std::string(key) + "\" holds \"" + text + "\", not " +
                           kind + ".");
}
}  // namespace

int SettingAsInteger(std::string_view key, const std::string& text) {
  std::optional<double> n = numberIn(text);
  if (!n || *n < -32768.5 || *n > 32767.5) typeMismatch(key, text, "a number");
  return static_cast<int>(std::lround(*n));
}

bool SettingAsTruth(std::string_view key, const std::string& text) {
  std::string t = asciiLower(trimmedBlanks(text));
  if (t == "true") return true;
  if (t == "false") return false;
  std::optional<double> n = numberIn(text);
  if (!n) typeMismatch(key, text, "True or False");
  return *n != 0;
}

std::function<double()> ClockSeededRandom() {
  auto engine = std::make_shared<std::mt19937>(
      static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

Form1Logic::Form1Logic(Form1Services services, Form1View& view) : services_(std::move(services)), view_(view) {
  if (!services_.random) services_.random = ClockSeededRandom();
}

// ---------------------------------------------------------------------------------------
// Fields.

void Form1Logic::setText5(const std::string& text) {
  if (text == text5_) return;
  text5_ = text;
  view_.showField(Form1View::Field::Text5);
  Text5_Change();
}

void Form1Logic::setText6(const std::string& text) {
  if (text == text6_) return;
  text6_ = text;
  view_.showField(Form1View::Field::Text6);
  Text6_Change();
}

void Form1Logic::setText2(const std::string& text) {
  if (text == text2_) return;
  text2_ = text;
  view_.showField(Form1View::Field::Text2);
  Text2_Change();
}

void Form1Logic::setCheck1(int value) {
  if (value != 0 && value != 1)
    throw std::runtime_error("Invalid property value: a check box takes 0 or 1, not " + std::to_string(value) + ".");
  if (value == check1_) return;
  check1_ = value;
  view_.showField(Form1View::Field::Check1);
  Check1_Click();
}

void Form1Logic::setCheck2(int value) {
  if (value != 0 && value != 1)
    throw std::runtime_error("Invalid property value: a check box takes 0 or 1, not " + std::to_string(value) + ".");
  if (value == check2_) return;
  check2_ = value;
  view_.showField(Form1View::Field::Check2);
  saveQuietly("NativeTables", check2_ == 1 ? "1" : "0");
}

void Form1Logic::setOption1(bool value) {
  if (!value) return;  // the exclusive group keeps its one selected option
  option1_ = true;
  option2_ = false;
  view_.showField(Form1View::Field::Options);
  Option1_Click();
}

void Form1Logic::setOption2(bool value) {
  if (!value) return;
  option2_ = true;
  option1_ = false;
  view_.showField(Form1View::Field::Options);
  Option2_Click();
}

void Form1Logic::setProgressValue(double percent) {
  progressValue_ = percent;
  int shown = static_cast<int>(std::clamp(percent, 0.0, 100.0));
  if (shown == progressShown_) return;
  progressShown_ = shown;
  view_.showField(Form1View::Field::Progress);
}

void Form1Logic::setProgressCaption(const std::string& text) {
  if (text == progressCaption_) return;
  progressCaption_ = text;
  view_.showField(Form1View::Field::Progress);
}

void Form1Logic::saveQuietly(std::string_view key, const std::string& value) {
  try {
    services_.settings.write(key, value);
    settingsFailureTold_ = false;
  } catch (const std::exception& e) {
    if (settingsFailureTold_) return;
    settingsFailureTold_ = true;
    services_.ui.inform(std::string("Your choices cannot be kept for the next start.\r\n\r\n") + e.what());
  }
}

void Form1Logic::Text5_Change() { saveQuietly("AccessMDBFile", text5_); }

void Form1Logic::Text6_Change() { saveQuietly("AccessPassword", text6_); }

void Form1Logic::Text2_Change() {
  saveQuietly("FreeTableFolder", text2_);
  if (!text2_.empty()) {
    saveQuietly("FoxproOption", "2");
    optionDBC1_ = false;
  }
}

void Form1Logic::Check1_Click() {
  optionsEnabled_ = check1_ == 1;
  view_.showField(Form1View::Field::OptionsEnabled);
  saveQuietly("Check1", check1_ == 1 ? "1" : "0");
}

void Form1Logic::storeOptions() {
  saveQuietly("Option1", option1_ ? "True" : "False");
  saveQuietly("Option2", option2_ ? "True" : "False");
}

// ---------------------------------------------------------------------------------------
// Load sequence.

bool Form1Logic::Form_Load() {
  Guard guard(services_.ui, ProcedureTag("Form1.Form_Load"));
  SettingsStore& settings = services_.settings;

  guard(100, [&] { view_.applySkin(programFile(kSkinFile)); });
  if (guard.test(102, [&] { return FileExists(programFile(kHandPointerFile)); }))
    guard(104, [&] { view_.loadPointerImage(programFile(kHandPointerFile)); });

  int draw = 0;
  guard(106, [&] { draw = static_cast<int>(services_.random() * 100.0) + 1; });
  if (guard.test(
          108, [&] { return draw == 7; }, false))
    guard(110, [&] { services_.shell.open(kVendorSite); });

  guard(112, [&] { view_.setCaption(kProductTitle); });
  guard(114, [&] { view_.setApplicationIcon(); });
  guard(116, [&] { services_.ui.setApplicationTitle(ApplicationTitleFor(kProductTitle)); });

  guard(118, [&] { setCheck1(SettingAsInteger("Check1", settings.read("Check1", "1"))); });
  guard(120, [&] { setOption1(SettingAsTruth("Option1", settings.read("Option1", "1"))); });
  guard(122, [&] { setOption2(SettingAsTruth("Option2", settings.read("Option2", "0"))); });
  guard(124, [&] { setText2(settings.read("FreeTableFolder", "")); });
  guard(126, [&] { dbcPath1_ = settings.read("DBCFile", ""); });
  if (guard.test(128, [&] { return settings.read("FoxproOption", "") != "2"; }))
    guard(130, [&] { optionDBC1_ = true; });
  else guard(132, [&] { optionDBC1_ = false; });
  guard(134, [&] { setText5(settings.read("AccessMDBFile", "")); });
  guard(136, [&] { setText6(settings.read("AccessPassword", "")); });
  guard(138, [&] { Check1_Click(); });

  // The data-access layer comes last; without it the program ends here.
  bool installed = false;
  guard(140, [&] { installed = IsInstalled(services_.dataAccess, services_.ui, services_.shell); });
  if (installed) guard(142, [&] { setCheck2(SettingAsInteger("NativeTables", settings.read("NativeTables", "0"))); });
  return installed;
}

// ---------------------------------------------------------------------------------------
// Push buttons.

void Form1Logic::PushButton1_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton1_Click"));
  const std::string filter =
      "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
      "Microsoft 2007 Database (*.accdb)|*.accdb|";
  std::string fileName;
  guard(100, [&] { fileName.clear(); });
  guard(108, [&] { fileName = services_.dialogs.openFile("Select Access Database", filter, fileName); });
  if (guard.test(110, [&] { return !fileName.empty(); })) guard(112, [&] { setText5(fileName); });
}

void Form1Logic::PushButton2_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton2_Click"));
  std::string folder;
  guard(100, [&] { folder = services_.dialogs.browseForFolder("Please select folder:", ""); });
  if (guard.test(102, [&] { return folder.empty(); })) return;
  guard(104, [&] { setText2(folder); });
}

void Form1Logic::PushButton3_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton3_Click"));
  guard(100, [&] { services_.settings.write("FoxproOption", "2"); });
  guard(102, [&] { optionDBC1_ = false; });
  guard(104, [&] { setText2(sampleDestination()); });
}

std::string Form1Logic::sampleDestination() const {
  std::string samples = programFile(kSampleFolder);
  if (services_.userSampleFolder.empty() || ::access(samples.c_str(), W_OK | X_OK) == 0) return samples;
  std::error_code ec;
  std::filesystem::create_directories(services_.userSampleFolder, ec);
  // A user folder that cannot be made is no better: the program folder's stays, and the
  // run reports what stops it there.
  if (!std::filesystem::is_directory(services_.userSampleFolder, ec)) return samples;
  return services_.userSampleFolder;
}

void Form1Logic::PushButton4_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton4_Click"));
  guard(100, [&] { setText5(programFile(kSampleDatabase)); });
}

void Form1Logic::PushButton5_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton5_Click"));
  guard(100, [&] { services_.ui.inform(HelpText()); });
}

void Form1Logic::PushButton7_Click() {
  // A second press while a run is going on does nothing.
  if (state_.runInProgress) return;
  stopRequested_ = false;
  // What would stop the run at its first step is said in one box before it starts.
  std::optional<std::string> problem = AccessSourceProblem(services_.dataAccess, *this);
  if (!problem) problem = DestinationProblem(services_.dataAccess, *this);
  if (problem) {
    services_.ui.messageBox(services_.ui.applicationTitle(), *problem, MessageIcon::Exclamation, MessageButtons::Ok);
    return;
  }
  runConversion();
}

void Form1Logic::runConversion() {
  RunReport report([this] { return check1_ == 1; }, [this] { return stopRequested_; });
  std::optional<ReportingPreview> preview;
  if (preview_) preview.emplace(*preview_, report);
  ConversionRun run(services_.dataAccess, services_.ui, *this, state_, services_.locale,
                    preview ? &*preview : nullptr);
  run.setYieldInterval(yieldInterval_);
  run.setObserver(&report);
  const auto started = std::chrono::steady_clock::now();
  run.setDoneText(
      [&] { return report.text(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()); });
  run.StartConverting();
}

void Form1Logic::PushButton8_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton8_Click"));
  guard(100, [&] { services_.ui.setPointer(kPointerHourglass); });
  // A destination the run could not write to does not count as connected.
  if (guard.test(
          102,
          [&] {
            return IsValidFoxProConnection(services_.dataAccess, services_.ui, *this) &&
                   !DestinationWriteProblem(*this);
          },
          false))
    guard(104, [&] { services_.ui.inform("Connection successful."); });
  else guard(106, [&] { services_.ui.inform("Could not connect."); });
  guard(108, [&] { services_.ui.setPointer(kPointerDefault); });
}

void Form1Logic::PushButton12_Click() {
  Guard guard(services_.ui, ProcedureTag("Form1.PushButton12_Click"));
  guard(100, [&] { view_.showAdvancedOptions(); });
}

bool Form1Logic::Form_QueryUnload() {
  if (!state_.runInProgress) return true;
  if (stopRequested_) return false;  // asked already; the run is ending
  const MessageAnswer answer = services_.ui.messageBox(
      services_.ui.applicationTitle(),
      "A conversion is running.\r\n\r\nStop it after the current row and close the window? The table being "
      "written keeps the rows written so far.",
      MessageIcon::Question, MessageButtons::YesNo);
  if (answer == MessageAnswer::Yes) stopRequested_ = true;
  return false;
}

namespace {
std::optional<std::string> UnreadableFile(const std::string& path) {
  if (::access(path.c_str(), R_OK) == 0) return std::nullopt;
  std::string reason = std::strerror(errno);
  if (!reason.empty()) reason[0] = asciiLower(reason[0]);
  return path + " cannot be opened: " + reason + ".";
}
}  // namespace

bool Form1Logic::OpenPath(const std::string& given) {
  // A relative path names the file from the folder the program was started in; it is
  // kept whole, so that it names the same file at the next start.
  std::error_code ec;
  std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
  if (ec || path.empty()) path = given;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  const PathKind kind = KindOfPath(path);
  std::optional<std::string> problem;
  if (kind != PathKind::Folder) problem = UnreadableFile(path);
  if (!problem && kind == PathKind::Other)
    problem = path + " is not an Access database (.mdb, .accdb), a folder or a FoxPro database container (.dbc).";
  if (problem) {
    services_.ui.messageBox(services_.ui.applicationTitle(), *problem, MessageIcon::Exclamation, MessageButtons::Ok);
    return false;
  }
  switch (kind) {
    case PathKind::AccessDatabase: setText5(path); break;
    case PathKind::Folder: setText2(path); break;
    default:
      // As the Advanced Options dialog keeps a container chosen with OK.
      saveQuietly("DBCFile", path);
      saveQuietly("FoxproOption", "1");
      dbcPath1_ = path;
      optionDBC1_ = true;
      break;
  }
  return true;
}

}  // namespace tw
