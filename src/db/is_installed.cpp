#include "db/is_installed.h"

#include "common/guard.h"
#include "platform/case_rules.h"

namespace tw {

std::string ProviderMissingMessage() {
  const std::string nl = "\r\n";
  return "Error #3706: Provider cannot be found. It may not be properly installed." + nl + nl +
         "You are getting this error because:" + nl + nl + "1. Microsoft Access is not installed on your computer." +
         nl + nl + "2. A set of Microsoft components to transfer data is not installed on your computer." + nl + nl +
         "You need to download and install Microsoft Access Database Engine 2010 or 2016 to solve this problem." +
         nl + nl + "Would you like me to open the Microsoft site now so you can do this?" + nl + nl +
         "(If you have any further questions please email a screenshot of this error message to " + kContactEmail +
         ")";
}

bool IsInstalled(data::DataAccess& dataAccess, Ui& ui, Shell& shell) {
  SilentGuard guard;
  guard.clear();
  bool result = false;
  std::unique_ptr<data::Connection> connection;
  guard([&] { connection = dataAccess.createConnection(); });
  if (!guard.failed()) {
    result = true;
    connection.reset();
    return result;
  }
  const bool providerMissing = guard.lastNumber() == data::kErrProviderNotFound ||
                               containsIgnoringAsciiCase(guard.lastDescription(), "provider cannot be found");
  if (providerMissing) {
    MessageAnswer answer = MessageAnswer::No;
    guard([&] {
      answer =
          ui.messageBox(ui.applicationTitle(), ProviderMissingMessage(), MessageIcon::None, MessageButtons::YesNo);
    });
    if (answer == MessageAnswer::Yes) {
      guard([&] { shell.open(kDownloadPage2010); });
      guard([&] { shell.open(kDownloadPage2016); });
    }
  }
  connection.reset();
  return result;
}

}  // namespace tw
