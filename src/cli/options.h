// The headless converter's command line, parsed the way getopt_long parses it: long
// options as "--name VALUE" or "--name=VALUE" (and any unambiguous abbreviation), short
// options as "-p VALUE" or "-pVALUE", options and operands in any order, and "--" ending
// the options so that a file name may start with "-".
#pragma once

#include <optional>
#include <string>

namespace tw::cli {

inline constexpr const char* kProgramName = "tablewright-convert";

enum class OverwritePolicy { Ask, Yes, No };

struct Options {
  std::string source;
  std::string destination;
  std::optional<std::string> password;      // -p, --password
  std::optional<std::string> passwordFile;  // --password-file ("-": standard input)
  OverwritePolicy overwrite = OverwritePolicy::Ask;
  bool overwriteGiven = false;             // --overwrite was on the command line
  std::optional<std::string> previewPath;  // --preview ("-": standard output)
  std::optional<std::string> typesPath;    // --types ("-": standard output)
  bool quiet = false;
  bool verbose = false;
  int codePage = 0;     // --codepage; 0: from the locale
  bool native = false;  // --native; --classic (the default) clears it
};

// What the command line asks for: a conversion, the help text, the version, or nothing
// because it is wrong (`problem` says why, in one line without the program name).
struct CommandLine {
  enum class Action { Convert, Help, Version, UsageError };
  Action action = Action::Convert;
  Options options;
  std::string problem;
};

CommandLine ParseCommandLine(int argc, char** argv);

// The text of --help.
std::string HelpText();
// The first line of every usage error's hint.
std::string UsageLine();

}  // namespace tw::cli
