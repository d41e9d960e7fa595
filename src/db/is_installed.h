// The start-up check that the data-access layer is present: creating a connection object
// must work. When it fails because the provider is missing, the user is told why and may
// have Microsoft's download pages for the Access Database Engine opened.
#pragma once

#include <string>

#include "platform/data_access.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace tw {

// The message shown when the provider is missing (Yes/No, application title).
std::string ProviderMissingMessage();

// The two download pages, in the order they are opened.
inline constexpr const char* kDownloadPage2010 = "https://www.microsoft.com/en-us/download/details.aspx?id=13255";
inline constexpr const char* kDownloadPage2016 = "https://www.microsoft.com/en-us/download/details.aspx?id=54920";

// True when a connection object can be created. Otherwise false; when the failure is
// number 3706 or its description contains "provider cannot be found" (any case), the
// message above is shown first and Yes opens both download pages. No failure is reported
// and none leaves the check.
bool IsInstalled(data::DataAccess& dataAccess, Ui& ui, Shell& shell);

}  // namespace tw
