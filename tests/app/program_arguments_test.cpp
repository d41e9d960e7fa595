// The desktop program's command line, and where it finds its files.
#include "app/program_arguments.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch_folder.h"

namespace tw {
namespace {

using Action = ProgramArguments::Action;

TEST(ProgramArguments, PathsHelpVersionAndMistakes) {
  struct Case {
    std::vector<std::string> arguments;
    Action action;
    std::vector<std::string> paths;
  };
  const std::vector<Case> cases = {
      {{}, Action::Open, {}},
      {{"a.mdb", "out"}, Action::Open, {"a.mdb", "out"}},
      {{"--", "-odd.mdb"}, Action::Open, {"-odd.mdb"}},
      {{"a.mdb", "--help"}, Action::Help, {}},
      {{"-x", "--version"}, Action::Version, {}},
      {{"-x"}, Action::UsageError, {}},
      {{"a", "b", "c"}, Action::UsageError, {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    ProgramArguments parsed = ParseProgramArguments(c.arguments);
    EXPECT_EQ(parsed.action, c.action) << c.arguments.size();
    if (c.action == Action::Open) {
      EXPECT_EQ(parsed.paths, c.paths);
    }
    EXPECT_EQ(parsed.problem.empty(), c.action != Action::UsageError);
  }
}

TEST(ProgramArguments, KindsOfPathsAndTheInstalledDataFolder) {
  ScratchFolder folder;
  EXPECT_EQ(KindOfPath(folder.path()), PathKind::Folder);
  EXPECT_EQ(KindOfPath("/x/Old.MDB"), PathKind::AccessDatabase);
  EXPECT_EQ(KindOfPath("/x/new.accdb"), PathKind::AccessDatabase);
  EXPECT_EQ(KindOfPath("/x/db.DBC"), PathKind::Container);
  EXPECT_EQ(KindOfPath("/x/db.dbf"), PathKind::Other);
  // Run from the build: the executable's folder. Installed as <prefix>/bin: <prefix>/share.
  EXPECT_EQ(ProgramDataFolder(folder.path()), folder.path());
  std::filesystem::create_directories(folder.path() + "/usr/bin");
  std::filesystem::create_directories(folder.path() + "/usr/share/tablewright/Samples");
  EXPECT_EQ(ProgramDataFolder(folder.path() + "/usr/bin"), folder.path() + "/usr/share/tablewright");
}

}  // namespace
}  // namespace tw
