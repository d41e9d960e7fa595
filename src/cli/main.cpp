// tablewright-convert: the conversion run without a window.
//
//   tablewright-convert [--password=TEXT] [--overwrite=ask|yes|no] [--preview=FILE]
//                       [--types=FILE] SOURCE DESTINATION
//
// Converts every user table of the Access database SOURCE into the FoxPro destination
// (a folder of free tables; a path ending in ".dbc" names a database container). With
// --preview the statements are written to FILE ("-": standard output), one per line, and
// nothing is executed. --types writes the field conversion list as tab-separated text.
// Every message of the run goes to standard error with its title. Exit status: 0 when no
// step failed, 1 when a failure was reported, 2 for a usage error.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/terminal_ui.h"
#include "convert/conversion_run.h"
#include "platform/jet/provider.h"
#include "platform/vfp/provider.h"

namespace {

constexpr const char* kUsage =
    "usage: tablewright-convert [--password=TEXT] [--overwrite=ask|yes|no] [--preview=FILE]\n"
    "                           [--types=FILE] SOURCE DESTINATION\n";

int usage(const std::string& problem) {
  std::fprintf(stderr, "tablewright-convert: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

bool endsWithIgnoringCase(const std::string& text, const std::string& tail) {
  if (text.size() < tail.size()) return false;
  return tw::data::equalsIgnoreCase(std::string_view(text).substr(text.size() - tail.size()), tail);
}

// Writes the statement list to a file (or standard output) instead of showing a window.
class PreviewToFile : public tw::PreviewWindow {
 public:
  explicit PreviewToFile(std::string path) : path_(std::move(path)) {}
  void showModal(tw::ConversionState& state) override {
    std::ofstream file;
    std::ostream* out = &std::cout;
    if (path_ != "-") {
      file.open(path_, std::ios::binary | std::ios::trunc);
      if (!file) {
        std::fprintf(stderr, "tablewright-convert: cannot write %s: %s\n", path_.c_str(), std::strerror(errno));
        failed_ = true;
        return;
      }
      out = &file;
    }
    for (std::size_t i = 0; i < state.statements.size(); ++i) {
      std::string_view line = state.statements.item(i);
      out->write(line.data(), static_cast<std::streamsize>(line.size()));
      out->put('\n');
    }
    out->flush();
    if (!*out) {
      std::fprintf(stderr, "tablewright-convert: writing %s failed\n", path_.c_str());
      failed_ = true;
    }
  }
  bool failed() const { return failed_; }

 private:
  std::string path_;
  bool failed_ = false;
};

bool writeTypes(const std::string& path, const std::vector<tw::FieldConversionRow>& rows) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    std::fprintf(stderr, "tablewright-convert: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  out << tw::kConversionCaptions[0] << '\t' << tw::kConversionCaptions[1] << '\t'
      << tw::kConversionCaptions[2] << '\t' << tw::kConversionCaptions[3] << '\n';
  for (const auto& r : rows) out << r.table << '\t' << r.field << '\t' << r.accessType << '\t' << r.foxproType << '\n';
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::string password, previewPath, typesPath;
  bool preview = false, types = false;
  tw::cli::OverwritePolicy overwrite = tw::cli::OverwritePolicy::Ask;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* option) -> const char* {
      std::size_t n = std::strlen(option);
      return arg.compare(0, n, option) == 0 ? argv[i] + n : nullptr;
    };
    if (const char* v = value("--password=")) {
      password = v;
    } else if (const char* v = value("--overwrite=")) {
      std::string o = v;
      if (o == "ask") overwrite = tw::cli::OverwritePolicy::Ask;
      else if (o == "yes") overwrite = tw::cli::OverwritePolicy::Yes;
      else if (o == "no") overwrite = tw::cli::OverwritePolicy::No;
      else return usage("--overwrite takes ask, yes or no");
    } else if (const char* v = value("--preview=")) {
      previewPath = v;
      preview = true;
      if (previewPath.empty()) return usage("--preview needs a file name (or -)");
    } else if (const char* v = value("--types=")) {
      typesPath = v;
      types = true;
      if (typesPath.empty()) return usage("--types needs a file name");
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return usage("expected SOURCE and DESTINATION");

  tw::data::DataAccess access;
  tw::jet::registerAccessProviders(access);
  tw::data::registerFoxProProvider(access);

  tw::cli::TerminalUi ui(overwrite, stdin, stderr);
  tw::cli::TerminalWindow window(stderr, isatty(STDERR_FILENO) == 1);
  ui.setBeforeOutput([&] { window.clearLine(); });
  window.text5 = positional[0];
  window.text6 = password;
  const std::string& destination = positional[1];
  if (endsWithIgnoringCase(destination, ".dbc")) {
    window.optionDBC1 = true;
    window.dbcPath1 = destination;
  } else {
    window.text2 = destination;
  }
  window.check1 = preview ? 1 : 0;
  window.option1 = true;
  window.option2 = false;

  tw::ConversionState state;
  PreviewToFile previewFile(previewPath);
  tw::Locale locale = tw::Locale::system();
  tw::ConversionRun run(access, ui, window, state, locale, preview ? &previewFile : nullptr);
  run.StartConverting();
  window.clearLine();
  if (run.endedAtTargetCheck()) {
    // The window shows nothing here (its "Test Connection" button tells the user); a
    // script must still learn that nothing was converted.
    std::fprintf(stderr, "tablewright-convert: cannot open the FoxPro destination %s\n", destination.c_str());
    return 1;
  }

  bool ok = ui.failures() == 0 && !previewFile.failed();
  if (types && !writeTypes(typesPath, state.conversions)) ok = false;
  return ok ? 0 : 1;
}
