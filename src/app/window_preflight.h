// What the main window checks before "Start Converting" runs, and what Test Connection
// checks besides opening the destination: what the headless converter checks
// (cli/preflight.h), except that nothing is created (the window's destination is a folder the user chose, or a
// container the Advanced Options dialog made). Each check gives one message that names the path and what is wrong
// with it, or nothing when all is well.
#pragma once

#include <optional>
#include <string>

#include "common/main_window_fields.h"
#include "platform/data_access.h"

namespace tw {

// The Access database of the window (Text5, with the password of Text6): it must exist, be
// a readable file, and open as an Access database.
std::optional<std::string> AccessSourceProblem(data::DataAccess& access, const MainWindowFields& window);

// What the file system says about writing to the window's destination: a folder of free
// tables must exist and be writable; a database container must exist, and it and its
// folder must be writable.
std::optional<std::string> DestinationWriteProblem(const MainWindowFields& window);

// DestinationWriteProblem, then the FoxPro provider must open the destination.
std::optional<std::string> DestinationProblem(data::DataAccess& access, const MainWindowFields& window);

}  // namespace tw
