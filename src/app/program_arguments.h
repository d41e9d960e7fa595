// The desktop program's command line, `tablewright [ACCESS_FILE [DESTINATION]]`, and what
// a path handed to the main window means (on the command line, or dropped on the window):
// an .mdb or .accdb file is the Access database, a folder the folder of free tables, a
// .dbc file the database container.
#pragma once

#include <string>
#include <vector>

namespace tw {

enum class PathKind { AccessDatabase, Folder, Container, Other };

// What `path` names, by the file system (a folder) or else by its extension, in any case.
// A path that does not exist is still named by its extension.
PathKind KindOfPath(const std::string& path);

struct ProgramArguments {
  enum class Action { Open, Help, Version, UsageError };
  Action action = Action::Open;
  std::vector<std::string> paths;  // Open: at most two
  std::string problem;             // UsageError: what is wrong
};

// The arguments after the program name, Qt's own options already taken out. --help and
// --version win over anything else on the line; "--" ends the options.
ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments);

// What --help prints.
std::string ProgramHelpText();

// The folder the program finds its files in (the sample database, the pictures): the
// executable's own folder when run from the build, or `<prefix>/share/tablewright` when
// installed as `<prefix>/bin/tablewright`.
std::string ProgramDataFolder(const std::string& executableFolder);

}  // namespace tw
