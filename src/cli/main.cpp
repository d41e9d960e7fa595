// tablewright-convert: the conversion run without a window (see --help, or the manual page
// tablewright-convert(1)).
//
// Before the run starts, everything that can be checked is: the command line, the
// password, the source, the destination (a missing folder is created, except by a preview,
// which creates nothing) and the output files. Then the run converts every table, its messages and questions going
// through `TerminalUi`, and a summary ends it. SIGINT and SIGTERM stop the run between two rows: the table being
// written keeps its rows so far, the connections are closed, and the exit status is 128 plus the signal number.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/preflight.h"
#include "cli/run_summary.h"
#include "cli/terminal_ui.h"
#include "convert/conversion_run.h"
#include "platform/case_rules.h"
#include "platform/code_page.h"
#include "platform/jet/provider.h"
#include "platform/vfp/provider.h"

#ifndef TW_VERSION
#error "TW_VERSION must be defined by the build"
#endif

namespace {

using tw::cli::kProgramName;

volatile std::sig_atomic_t gSignal = 0;

extern "C" void OnStopSignal(int signal) { gSignal = signal; }

// SIGINT and SIGTERM set a flag the run looks at between rows; a second one ends the
// program at once (the handler resets itself). Without SA_RESTART, a question waiting for
// an answer is interrupted too.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void Say(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgramName, tw::cli::ShownSafely(text).c_str());
}

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, problem.c_str(),
               kProgramName);
  return 2;
}

// An output file named on the command line ("-": standard output), opened before the run
// so that an unusable path stops the converter before anything is converted. On a terminal
// what is shown of names and texts from the files is escaped; a file keeps the bytes.
class OutputFile {
 public:
  bool open(const std::string& path) {
    path_ = path;
    if (path == "-") {
      file_ = stdout;
      return true;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) Say(path + ": " + std::strerror(errno));
    return file_ != nullptr;
  }
  // `text` as it may be shown here.
  std::string shown(std::string_view text) const {
    return isatty(fileno(file_)) ? tw::cli::ShownSafely(text) : std::string(text);
  }
  void writeLine(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fputc('\n', file_);
  }
  // Flushes and closes; false (with a message) when anything could not be written.
  bool close() {
    if (!file_) return true;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    int error = errno;
    if (file_ != stdout && std::fclose(file_) != 0 && ok) {
      ok = false;
      error = errno;
    }
    file_ = nullptr;
    if (!ok) Say((path_ == "-" ? std::string("standard output") : path_) + ": " + std::strerror(error));
    return ok;
  }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

// Writes the statement list, one statement a line, where the preview window would show it.
class PreviewToFile : public tw::PreviewWindow {
 public:
  explicit PreviewToFile(OutputFile& out) : out_(out) {}
  void showModal(tw::ConversionState& state) override {
    for (std::size_t i = 0; i < state.statements.size(); ++i) out_.writeLine(out_.shown(state.statements.item(i)));
  }

 private:
  OutputFile& out_;
};

void WriteTypes(OutputFile& out, const std::vector<tw::FieldConversionRow>& rows) {
  out.writeLine(std::string(tw::kConversionCaptions[0]) + '\t' + tw::kConversionCaptions[1] + '\t' +
                tw::kConversionCaptions[2] + '\t' + tw::kConversionCaptions[3]);
  for (const auto& r : rows)
    out.writeLine(out.shown(r.table) + '\t' + out.shown(r.field) + '\t' + r.accessType + '\t' + r.foxproType);
}

// The password from the options, a file, the environment, or (when the source needs one
// and standard input is a terminal) a prompt. Returns false when the source cannot be
// opened, after saying why.
bool SettlePassword(tw::data::DataAccess& access, const tw::cli::Options& o, std::string& password) {
  std::string problem;
  if (o.password) {
    password = *o.password;
  } else if (o.passwordFile) {
    std::optional<std::string> line = tw::cli::ReadFirstLine(*o.passwordFile, problem);
    if (!line) {
      Say(*o.passwordFile + ": " + problem);
      return false;
    }
    password = *line;
  } else if (const char* env = std::getenv("TABLEWRIGHT_PASSWORD")) {
    password = env;
  }
  std::optional<std::string> sourceProblem = tw::cli::SourceProblem(access, o.source, password);
  const bool mayAsk = !o.password && !o.passwordFile && !std::getenv("TABLEWRIGHT_PASSWORD");
  if (sourceProblem && *sourceProblem == tw::cli::kWrongPassword && mayAsk && isatty(STDIN_FILENO)) {
    std::optional<std::string> typed = tw::cli::PromptPassword(STDIN_FILENO, "Password for " + o.source + ": ");
    if (!typed) return false;  // interrupted or end of input: nothing to say beyond the exit status
    password = *typed;
    sourceProblem = tw::cli::SourceProblem(access, o.source, password);
  }
  if (sourceProblem) {
    Say(o.source + ": " + *sourceProblem);
    return false;
  }
  return true;
}

tw::cli::TerminalSettings TerminalSettingsFor(const tw::cli::Options& o) {
  tw::cli::TerminalSettings settings;
  settings.subject = o.source;
  settings.overwrite = o.overwrite;
  settings.answerFd = isatty(STDIN_FILENO) ? STDIN_FILENO : -1;
  settings.verbose = o.verbose;
  settings.quiet = o.quiet;
  return settings;
}

// The main window's fields as the run reads them: the source and its password, the
// destination, preview or direct mode with one preview after all tables, classic or
// native tables.
void FillWindow(tw::cli::TerminalWindow& window, const tw::cli::Options& o, const std::string& password,
                bool container, bool preview) {
  window.text5 = o.source;
  window.text6 = password;
  if (container) {
    window.optionDBC1 = true;
    window.dbcPath1 = o.destination;
  } else {
    window.text2 = o.destination;
  }
  window.check1 = preview ? 1 : 0;
  window.check2 = o.native ? 1 : 0;
  window.option1 = true;
  window.option2 = false;
}

// After the run: closes the output files, says how the run went and returns the exit
// status.
int Conclude(const tw::cli::Options& o, bool preview, std::chrono::steady_clock::time_point started, bool ok,
             const tw::cli::RunSummary& summary, const tw::ConversionRun& run, const tw::ConversionState& state,
             OutputFile& previewOut, OutputFile& typesOut) {
  if (!previewOut.close()) ok = false;
  if (typesOut) {
    WriteTypes(typesOut, state.conversions);
    if (!typesOut.close()) ok = false;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (gSignal && !summary.interruptedTable().empty() && !preview)
    Say(o.destination + ": stopped in table " + summary.interruptedTable() + ", which keeps the " +
        tw::cli::GroupedNumber(summary.interruptedRows()) + (summary.interruptedRows() == 1 ? " row" : " rows") +
        " written so far");
  if (!o.quiet) Say(summary.text(seconds, preview, !ok || gSignal));
  if (gSignal) return 128 + gSignal;
  // Values the run had to change are no failure, but a script must learn of them; a renamed
  // table or a column left out on purpose changes no value.
  return ok && !run.valuesChanged() ? 0 : 1;
}

int Convert(const tw::cli::Options& o) {
  const auto started = std::chrono::steady_clock::now();
  const bool preview = o.previewPath.has_value();
  const bool container = tw::endsWithIgnoringAsciiCase(o.destination, ".dbc");
  CatchStopSignals();

  // The code page of the new tables: the option's, else the locale's.
  tw::data::DataAccess access;
  tw::jet::registerAccessProviders(access);
  const tw::CodePage& codePage = tw::ChosenCodePage(o.codePage ? std::to_string(o.codePage) : "");
  // A preview creates nothing: a destination not there yet reads as an empty one.
  tw::data::registerFoxProProvider(access, codePage, preview);

  std::string password;
  if (!SettlePassword(access, o, password)) return gSignal ? 128 + gSignal : 1;

  OutputFile previewOut, typesOut;
  if (preview && !previewOut.open(*o.previewPath)) return 1;
  if (o.typesPath && !typesOut.open(*o.typesPath)) return 1;

  bool created = false;
  if (auto problem = tw::cli::DestinationProblem(access, o.destination, container, !preview, created, codePage)) {
    Say(o.destination + ": " + *problem);
    return 1;
  }
  if (created && !o.quiet)
    Say((container ? "created the empty database container " : "created the folder ") + o.destination);
  if (gSignal) return 128 + gSignal;

  tw::cli::TerminalUi ui(TerminalSettingsFor(o), stderr);
  tw::cli::TerminalWindow window(stderr, !o.quiet && isatty(STDERR_FILENO) == 1);
  ui.setBeforeOutput([&] { window.clearLine(); });
  FillWindow(window, o, password, container, preview);

  auto note = [&](const std::string& text) {
    window.clearLine();
    Say(o.source + ": " + text);
  };
  tw::cli::RunSummary summary([&] { return gSignal != 0 || ui.quitRequested(); },
                              o.verbose ? std::function<void(const std::string&)>(note) : nullptr);
  tw::ConversionState state;
  PreviewToFile previewFile(previewOut);
  tw::Locale locale = tw::Locale::system();
  tw::ConversionRun run(access, ui, window, state, locale, preview ? &previewFile : nullptr);
  run.setObserver(&summary);
  // What the run changed or left out: one line per table and kind.
  run.setNoticeHandler([&](const std::vector<std::string>& notices) {
    window.clearLine();
    // --quiet keeps only the notices of changed values.
    for (std::size_t i = 0; i < notices.size(); ++i)
      if (!o.quiet || run.changesValues(i)) Say(o.source + ": " + notices[i]);
  });
  run.StartConverting();
  window.clearLine();
  if (run.endedAtTargetCheck()) {
    Say(o.destination + ": cannot be opened as a FoxPro destination");
    return 1;
  }

  const bool ok = ui.failures() == 0 && summary.failed() == 0;
  return Conclude(o, preview, started, ok, summary, run, state, previewOut, typesOut);
}

}  // namespace

int main(int argc, char** argv) {
  tw::cli::CommandLine command = tw::cli::ParseCommandLine(argc, argv);
  switch (command.action) {
    case tw::cli::CommandLine::Action::Help:
      std::fputs(tw::cli::HelpText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case tw::cli::CommandLine::Action::Version:
      std::printf("%s (Tablewright) %s\n", kProgramName, TW_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case tw::cli::CommandLine::Action::UsageError: return UsageError(command.problem);
    case tw::cli::CommandLine::Action::Convert: break;
  }
  return Convert(command.options);
}
