// What the headless converter checks before a run starts, so that a run never begins on
// a source it cannot read or a destination it cannot use: each check gives the reason in
// one line (no program name, no path) or nothing when all is well.
#pragma once

#include <optional>
#include <string>

#include "platform/code_page.h"
#include "platform/data_access.h"

namespace tw::cli {

// The description the Access reader gives for a missing or wrong password.
inline constexpr const char* kWrongPassword = "Not a valid password.";

// Why the Access database at `path` cannot be opened with `password`: the file system's
// reason (missing, a folder, unreadable) or the reader's (damaged, foreign, wrong password).
std::optional<std::string> SourceProblem(data::DataAccess& access, const std::string& path,
                                         const std::string& password);

// Why the destination cannot be used. A free-table folder that does not exist is created
// with its parents (`created` is then set); for a database container (`container`), the
// folder that holds it must exist, and a container that does not exist is created empty
// there in `codePage`, the code page of the run's tables (`created` is then set).
// `writes`: the run will write there (not a preview), so the folder must be writable.
// Without `writes` nothing is created: a destination that does not exist is no problem (the
// preview reads it as empty). Last, the FoxPro provider must open it.
std::optional<std::string> DestinationProblem(data::DataAccess& access, const std::string& path, bool container,
                                              bool writes, bool& created, const CodePage& codePage);

// The first line of the file at `path` ("-": standard input) without its line end, or the
// reason it cannot be read in `problem`.
std::optional<std::string> ReadFirstLine(const std::string& path, std::string& problem);

// Asks for the password on the terminal `fd` with echo off, the prompt on standard error.
// Nothing when the terminal cannot be set up, at end of input, or on an interrupt.
std::optional<std::string> PromptPassword(int fd, const std::string& prompt);

}  // namespace tw::cli
