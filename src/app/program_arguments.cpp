#include "app/program_arguments.h"

#include <filesystem>

#include "platform/case_rules.h"

namespace tw {

PathKind KindOfPath(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return PathKind::Folder;
  const std::string extension = asciiLower(std::filesystem::path(path).extension().string());
  if (extension == ".mdb" || extension == ".accdb") return PathKind::AccessDatabase;
  if (extension == ".dbc") return PathKind::Container;
  return PathKind::Other;
}

ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments) {
  ProgramArguments result;
  for (const std::string& a : arguments) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      result.action = ProgramArguments::Action::Help;
      return result;
    }
    if (a == "--version") result.action = ProgramArguments::Action::Version;
  }
  if (result.action == ProgramArguments::Action::Version) return result;
  bool options = true;
  for (const std::string& a : arguments) {
    if (options && a == "--") {
      options = false;
    } else if (options && a.size() > 1 && a[0] == '-') {
      result.action = ProgramArguments::Action::UsageError;
      result.problem = "unknown option '" + a + "'";
      return result;
    } else {
      result.paths.push_back(a);
    }
  }
  if (result.paths.size() > 2) {
    result.action = ProgramArguments::Action::UsageError;
    result.problem = "too many arguments: an Access database and a destination at most";
  }
  return result;
}

std::string ProgramHelpText() {
  return "Usage: tablewright [OPTION]... [ACCESS_FILE [DESTINATION]]\n"
         "Copy the tables of a Microsoft Access database into Visual FoxPro tables, in a window.\n"
         "\n"
         "ACCESS_FILE (.mdb or .accdb) fills the Access database field; DESTINATION is a folder\n"
         "of free tables or a database container (.dbc). Either may come alone, in any order.\n"
         "They are kept as the window's choices for the next start.\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "Qt's own options (-platform, -style, ...) apply. To convert without a window, use\n"
         "tablewright-convert(1).\n";
}

std::string ProgramDataFolder(const std::string& executableFolder) {
  std::error_code ec;
  const std::filesystem::path installed =
      std::filesystem::path(executableFolder).parent_path() / "share" / "tablewright";
  if (std::filesystem::is_directory(installed / "Samples", ec)) return installed.string();
  return executableFolder;
}

}  // namespace tw
