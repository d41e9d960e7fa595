#include "cli/options.h"

#include <getopt.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/code_page.h"

namespace tw::cli {

namespace {

// Values getopt_long returns for the options that have no short form.
enum : int { kPasswordFile = 256, kPreview, kTypes, kCodePage, kNative, kClassic };

const option kLongOptions[] = {
    {"password", required_argument, nullptr, 'p'},
    {"password-file", required_argument, nullptr, kPasswordFile},
    {"overwrite", required_argument, nullptr, 'o'},
    {"preview", required_argument, nullptr, kPreview},
    {"types", required_argument, nullptr, kTypes},
    {"codepage", required_argument, nullptr, kCodePage},
    {"native", no_argument, nullptr, kNative},
    {"classic", no_argument, nullptr, kClassic},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
// Leading ':': a missing value comes back as ':' rather than '?', so the two can be told apart.
constexpr const char* kShortOptions = ":p:o:qvhV";

std::string longName(int value) {
  for (const option* o = kLongOptions; o->name; ++o)
    if (o->val == value) return o->name;
  return {};
}

// The message for an option getopt_long refused, from the argument it stopped at.
std::string refusedOption(const char* argument, int shortOption) {
  std::string arg = argument ? argument : "";
  if (arg.rfind("--", 0) != 0) return "invalid option -- '" + std::string(1, static_cast<char>(shortOption)) + "'";
  std::string name = arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
  if (shortOption != 0) return "option '--" + longName(shortOption) + "' doesn't allow an argument";
  std::vector<std::string> candidates;
  for (const option* o = kLongOptions; o->name; ++o)
    if (std::strncmp(o->name, name.c_str(), name.size()) == 0) candidates.emplace_back(o->name);
  if (candidates.size() < 2) return "unrecognized option '--" + name + "'";
  std::string text = "option '--" + name + "' is ambiguous; possibilities:";
  for (const auto& c : candidates) text += " '--" + c + "'";
  return text;
}

// The supported code pages, for messages: "874, 932, ..., 1257".
std::string codePageList() {
  std::string list;
  for (int n : CodePage::supportedNumbers()) list += (list.empty() ? "" : ", ") + std::to_string(n);
  return list;
}

CommandLine usageError(std::string problem) {
  CommandLine c;
  c.action = CommandLine::Action::UsageError;
  c.problem = std::move(problem);
  return c;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine result;
  Options& o = result.options;
  opterr = 0;
  optind = 0;  // 0 (not 1) makes glibc start afresh, also when parsing a second time
  int c;
  int longIndex = -1;
  while ((c = getopt_long(argc, argv, kShortOptions, kLongOptions, &longIndex)) != -1) {
    switch (c) {
      case 'p': o.password = optarg; break;
      case kPasswordFile:
        o.passwordFile = optarg;
        if (o.passwordFile->empty()) return usageError("--password-file needs a file name (or -)");
        break;
      case 'o': {
        std::string v = optarg;
        if (v == "ask") o.overwrite = OverwritePolicy::Ask;
        else if (v == "yes") o.overwrite = OverwritePolicy::Yes;
        else if (v == "no") o.overwrite = OverwritePolicy::No;
        else return usageError("--overwrite takes ask, yes or no, not '" + v + "'");
        o.overwriteGiven = true;
        break;
      }
      case kPreview:
        o.previewPath = optarg;
        if (o.previewPath->empty()) return usageError("--preview needs a file name (or -)");
        break;
      case kTypes:
        o.typesPath = optarg;
        if (o.typesPath->empty()) return usageError("--types needs a file name (or -)");
        break;
      case kCodePage: {
        char* end = nullptr;
        const long n = std::strtol(optarg, &end, 10);
        if (!*optarg || *end != '\0' || n <= 0 || n > 99999 || !CodePage::byNumber(static_cast<int>(n)))
          return usageError("--codepage takes one of " + codePageList() + ", not '" + optarg + "'");
        o.codePage = static_cast<int>(n);
        break;
      }
      case kNative: o.native = true; break;
      case kClassic: o.native = false; break;
      case 'q': o.quiet = true; break;
      case 'v': o.verbose = true; break;
      case 'h': result.action = CommandLine::Action::Help; return result;
      case 'V': result.action = CommandLine::Action::Version; return result;
      case ':': {
        const char* arg = argv[optind - 1];
        if (std::strncmp(arg, "--", 2) == 0)
          return usageError("option '" + std::string(arg) + "' requires an argument");
        return usageError("option requires an argument -- '" + std::string(1, static_cast<char>(optopt)) + "'");
      }
      default: return usageError(refusedOption(argv[optind - 1], optopt));
    }
  }
  std::vector<std::string> operands(argv + optind, argv + argc);
  if (operands.size() < 2)
    return usageError(operands.empty() ? "missing SOURCE and DESTINATION" : "missing DESTINATION");
  if (operands.size() > 2) return usageError("unexpected argument '" + operands[2] + "'");
  if (o.previewPath == "-" && o.typesPath == "-")
    return usageError("--preview and --types cannot both write to standard output");
  if (o.password && o.passwordFile) return usageError("--password and --password-file cannot be used together");
  if (o.quiet && o.verbose) return usageError("--quiet and --verbose cannot be used together");
  o.source = operands[0];
  o.destination = operands[1];
  return result;
}

std::string UsageLine() { return std::string("Usage: ") + kProgramName + " [OPTION]... SOURCE DESTINATION\n"; }

std::string HelpText() {
  return UsageLine() + R"(Copy every user table of the Access database SOURCE (.mdb or .accdb) into Visual
FoxPro tables: free tables in the folder DESTINATION, or tables of the database container
DESTINATION when its name ends in .dbc. A missing destination folder, or a missing
container in an existing folder, is created (a preview creates nothing).

Options:
  -p, --password=TEXT        the database password. Other users can see it in the
                             process list, and the shell keeps it in its history:
                             prefer --password-file or TABLEWRIGHT_PASSWORD
      --password-file=FILE   read the password from the first line of FILE
                             (- reads it from standard input)
  -o, --overwrite=WHEN       replace tables the destination already has:
                             ask (the default), yes or no
      --preview=FILE         execute nothing; write the statements to FILE
                             (- for standard output), one per line
      --types=FILE           also write the type of every field, before and after,
                             to FILE (- for standard output) as tab-separated text
      --codepage=N           write the FoxPro tables in Windows code page N: 874,
                             932, 936, 949, 950 or 1250 to 1257 (default: the code
                             page of the locale, 1252 in Western Europe and America)
      --native               keep the Access field types: Yes/No as logical, dates
                             as datetime, Short Text(n) as a character column of n
                             characters, nulls where Access allows them, AutoNumber
                             as an autoincrementing integer that goes on counting;
                             and the keys: indexes as tags, relationships as
                             persistent relations in a database container
      --classic              every text 254 characters wide, dates as text, Yes/No
                             and integers as integer, currency as double (the
                             default; of --native and --classic the last one counts)
  -q, --quiet                no progress bar, no notes, no summary: only failures
  -v, --verbose              one line per table, and where each failure happened
  -h, --help                 show this help and exit
  -V, --version              show the version and exit

Password: when the database needs one and none is given by an option or by the
environment variable TABLEWRIGHT_PASSWORD, it is asked for on the terminal, without echo.

Overwriting: for each table the destination already has, the question
"Would you like to overwrite TABLE?" takes y (yes), n (no), a (yes to all) or q (stop
here). When standard input is not a terminal and --overwrite is not given, existing
tables are kept.

Progress goes to standard error when it is a terminal; a summary of tables converted,
skipped and failed, rows written and time taken ends the run. Failures go to standard
error, one line each: "tablewright-convert: SOURCE: what went wrong".

Native tables (--native): column names keep up to 10 characters in free tables and
the whole Access name (up to 128 characters) in a database container; nothing is left
out (OLE objects become W columns), and a text is cut only where a double-byte code page
needs more bytes than its column has. Each Access index becomes a tag of the table's .cdx
(the primary key a candidate tag, or the container's primary key); an index no tag can
hold, cascading rules and relations between free tables are said once. In a database
container the fields keep their Access default values, validation rules and texts,
captions and descriptions where FoxPro has a rule for them.

Changed values: a character the tables' code page cannot hold is stored as "?", a text
longer than the 254 characters of a C column is cut, and a decimal with more digits than
a double holds is rounded. The run says so, one line per table with the number of values
changed, and ends with exit status 1. A table whose name a file cannot carry is written
under a name with "_" in place of the characters, and OLE Object columns are left out;
both are said once per table, with exit status 0.

Exit status:
  0    every table was converted or skipped as asked
  1    something failed: the source, the destination, an output file, a table or a
       row; or values were changed (see above)
  2    the command line is wrong
  130  interrupted (Ctrl-C); 143: terminated. The table being written keeps the rows
       written so far and stays readable.

Examples:
  tablewright-convert Northwind.mdb northwind/
      free tables, one .dbf file per table, in the folder northwind
  TABLEWRIGHT_PASSWORD=secret tablewright-convert -o yes --types=- Sales.accdb sales.dbc
      into the database container sales.dbc, replacing its tables, with the type list
      on standard output
)";
}

}  // namespace tw::cli
