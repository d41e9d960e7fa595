// The FoxPro target: its connection strings, the connection test and the listing of the
// tables already in the destination.
//
// The destination is a folder of free tables (`Text2`) or a database container
// (`DBCPath1`, when `OptionDBC1` is true), read afresh at every call. The test and the
// listing open "Provider=vfpoledb.1;Data Source=" + path + ";Collating Sequence=..." with
// "machine" for a container and "general" for a folder; the conversion run's own
// connection always uses "machine". Paths are inserted as held, in quotes when they hold
// ";", "=", a quote or blanks at either end.
#pragma once

#include <string>

#include "common/main_window_fields.h"
#include "common/text_list.h"
#include "platform/data_access.h"
#include "platform/ui.h"

namespace tw {

// The string the connection test and the table listing open.
std::string FoxProTestConnectionString(const MainWindowFields& fields);
// The string of the conversion run's connection.
std::string FoxProRunConnectionString(const MainWindowFields& fields);

// True when a connection to the current destination opens. Only a failure to create the
// connection object is reported (tag "Foxpro.IsValidFoxProConnection", line 102); any
// later failure gives false without a message.
bool IsValidFoxProConnection(data::DataAccess& dataAccess, Ui& ui, MainWindowFields& fields);

// Fills `list` with the names of the destination's tables (schema rows whose TABLE_TYPE is
// exactly "TABLE", in delivery order), yielding once per name. Every failing step is
// reported under the tag "Foxpro.AddTablesToFoxproListbox" and the procedure goes on; the
// loop ends when the schema cannot be read.
void AddTablesToFoxproListbox(data::DataAccess& dataAccess, Ui& ui, MainWindowFields& fields, TextList& list);

}  // namespace tw
