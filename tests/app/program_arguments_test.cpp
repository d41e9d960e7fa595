// The desktop program's command line, and where it finds its files.
#include "app/program_arguments.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch_folder.h"

namespace tw {
namespace {

using Action = ProgramArguments::Action;

TEST(ProgramArguments, PathsHelpVersionAndMistakes) {
  const std::vector<std::pair<std::vector<std::string>, Action>> cases = {
      {{"a.mdb", "out"}, Action::Open},    {{"--", "-odd.mdb"}, Action::Open},
      {{"a.mdb", "--help"}, Action::Help}, {{"-x", "--version"}, Action::Version},
      {{"-x"}, Action::UsageError},        {{"a", "b", "c"}, Action::UsageError},
  };
  for (const auto& [arguments, action] : cases) {
    ProgramArguments parsed = ParseProgramArguments(arguments);
    EXPECT_EQ(parsed.action, action) << arguments[0];
    EXPECT_EQ(parsed.problem.empty(), action != Action::UsageError);
  }
  EXPECT_EQ(ParseProgramArguments({"--", "-odd.mdb"}).paths, std::vector<std::string>{"-odd.mdb"});
}

TEST(ProgramArguments, KindsOfPathsAndTheInstalledDataFolder) {
  ScratchFolder folder;
  EXPECT_EQ(KindOfPath(folder.path()), PathKind::Folder);
  EXPECT_EQ(KindOfPath("/x/Old.MDB"), PathKind::AccessDatabase);
  EXPECT_EQ(KindOfPath("/x/db.DBC"), PathKind::Container);
  EXPECT_EQ(KindOfPath("/x/db.dbf"), PathKind::Other);
  // Run from the build: the executable's folder. Installed as <prefix>/bin: <prefix>/share.
  EXPECT_EQ(ProgramDataFolder(folder.path()), folder.path());
  std::filesystem::create_directories(folder.path() + "/share/tablewright/Samples");
  EXPECT_EQ(ProgramDataFolder(folder.path() + "/bin"), folder.path() + "/share/tablewright");
}

}  // namespace
}  // namespace tw
