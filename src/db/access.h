// The Access source: its connection string, the file-existence test and the listing of the
// database's user tables into the main window's hidden Access table list.
//
// A path whose last five characters, lower-cased, are "accdb" opens through the ACE 12.0
// provider, any other through Jet 4.0. Path and password are inserted as typed, in quotes
// when they hold ";", "=", a quote or blanks at either end, so that they arrive whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/main_window_fields.h"
#include "common/text_list.h"
#include "platform/data_access.h"
#include "platform/ui.h"

namespace tw {

// The Access connection string. With an empty `path`, the path is Text5 and the password
// Text6 of the window (the `password` argument is then ignored).
std::string AccessConnectionString(const MainWindowFields& window, const std::string& path = "",
                                   const std::string& password = "");

// True when the file system can report a last-modified time for `path` (a file or a
// folder); false for a missing, empty, invalid or inaccessible path. Never fails.
bool FileExists(const std::string& path);

// The names of the schema rows whose TABLE_TYPE is exactly "TABLE", in delivery order, or
// no list when `path` does not exist (no connection is attempted then). The connection
// opens with the window's fields. Failures of the provider pass to the caller.
std::optional<std::vector<std::string>> GetAccessTables(data::DataAccess& dataAccess, MainWindowFields& window,
                                                        const std::string& path);

// Clears `list` and fills it with the Access tables, yielding once before each name. When
// there is no list, shows "Unable to access the database" (application title, OK) and
// leaves `list` empty. Failures pass to the caller.
void AddTablesToAccessListbox(data::DataAccess& dataAccess, Ui& ui, MainWindowFields& window, TextList& list,
                              const std::string& path);

}  // namespace tw
