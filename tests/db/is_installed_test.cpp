#include "db/is_installed.h"

#include <gtest/gtest.h>

#include "common/guard.h"
#include "support/fake_shell.h"
#include "support/fake_ui.h"
#include "support/memory_provider.h"

namespace tw {
namespace {

TEST(IsInstalled, PresentLayerPassesSilently) {
  data::DataAccess dataAccess;
  dataAccess.registerProvider(data::kMemoryProviderName, std::make_shared<data::MemoryProvider>());
  FakeUi ui;
  FakeShell shell;
  EXPECT_TRUE(IsInstalled(dataAccess, ui, shell));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(shell.opened.empty());
}

TEST(IsInstalled, MissingProviderAsksAndNoOpensNothing) {
  data::DataAccess dataAccess;  // no providers: creating a connection fails with 3706
  FakeUi ui;
  ui.setApplicationTitle("Tablewright Test");
  ui.answers = {MessageAnswer::No};
  FakeShell shell;
  EXPECT_FALSE(IsInstalled(dataAccess, ui, shell));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Tablewright Test");
  EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(
      ui.boxes[0].text,
      "Error #3706: Provider cannot be found. It may not be properly installed.\r\n\r\n"
      "You are getting this error because:\r\n\r\n"
      "1. Microsoft Access is not installed on your computer.\r\n\r\n"
      "2. A set of Microsoft components to transfer data is not installed on your computer.\r\n\r\n"
      "You need to download and install Microsoft Access Database Engine 2010 or 2016 to solve this problem.\r\n\r\n"
      "Would you like me to open the Microsoft site now so you can do this?\r\n\r\n"
      "(If you have any further questions please email a screenshot of this error message to " +
          std::string(kContactEmail) + ")");
  EXPECT_TRUE(shell.opened.empty());
}

TEST(IsInstalled, YesOpensBothDownloadPagesInOrderAndStillFails) {
  for (bool shellFails : {false, true}) {
    SCOPED_TRACE(shellFails ? "shell fails" : "shell works");
    data::DataAccess dataAccess;
    FakeUi ui;
    ui.answers = {MessageAnswer::Yes};
    FakeShell shell;
    shell.fail = shellFails;
    EXPECT_FALSE(IsInstalled(dataAccess, ui, shell));
    EXPECT_EQ(shell.opened,
              (std::vector<std::string>{"https://www.microsoft.com/en-us/download/details.aspx?id=13255",
                                        "https://www.microsoft.com/en-us/download/details.aspx?id=54920"}));
    EXPECT_EQ(ui.boxes.size(), 1u);
  }
}

}  // namespace
}  // namespace tw
