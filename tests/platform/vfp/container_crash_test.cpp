// Kills a process that keeps dropping, creating and filling tables inside a database
// container, many times at random moments, and checks what it leaves: the .dcx agrees with
// the .dbc unless the kill fell between the two (then the new index waits under its
// temporary name), opening the container brings them together again, every listed table
// opens and holds a prefix of its rows, and ruby-dbf reads the whole container.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "crash_rows.h"
#include "dcx_check.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

constexpr long kRounds = 400;

int runRuby(const std::string& dbc, std::string& out) {
  std::string cmd = "ruby '" + std::string(TW_VFP_TEST_DIR) + "/read_container.rb' '" + dbc + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  return pclose(p);
}

TEST(ContainerCrash, KilledWritersLeaveContainersThatOpenWithEveryTableWhole) {
  unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::mt19937 rng(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  ScratchFolder root;
  int killedWithTables = 0, staleWindows = 0;
  for (int round = 0; round < 24; ++round) {
    std::string dir = root.file("round" + std::to_string(round));
    std::filesystem::create_directory(dir);
    const std::string dbc = dir + "/c.dbc";
    int delayUs = static_cast<int>(rng() % (round < 4 ? 20000 : 600000));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int devnull = ::open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      execl(TW_VFP_WRITER_TOOL, TW_VFP_WRITER_TOOL, dbc.c_str(), "--churn", std::to_string(kRounds).c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int wait = 0; wait < 4000 && !std::filesystem::exists(dbc); ++wait)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFSIGNALED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "the writer failed on its own";
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", killed " + std::to_string(delayUs) + " us after the start");
    if (!std::filesystem::exists(dbc)) {
      // Killed while making the container: nothing looks like one yet.
      EXPECT_FALSE(std::filesystem::exists(dir + "/g0.dbf"));
      continue;
    }

    // As the kill left it: the index is current, or its successor waits beside it.
    std::string faults = checkContainerIndex(readBytes(dir + "/c.dcx"), readBytes(dbc));
    if (std::filesystem::exists(dir + "/c.dcx.tmp")) {
      ++staleWindows;
    } else {
      EXPECT_EQ(faults, "");
    }

    auto fs = plainFs();
    Engine engine(fs, std::make_unique<ContainerCatalog>(fs, dbc));
    EXPECT_EQ(checkContainerIndex(readBytes(dir + "/c.dcx"), readBytes(dbc)), "") << "after opening again";
    auto tables = engine.listTables();
    for (const auto& t : tables) {
      EXPECT_EQ(t.problem, "") << t.name;
      if (!t.problem.empty()) continue;
      TableLocation at = engine.locate(t.name);
      EXPECT_EQ(at.columnNames.size(), 4u) << t.name;
      TableReader reader(*fs, at.dbfPath, at.fptPath);
      std::vector<tw::Value> row;
      std::int64_t round0 = -1;
      int rows = 0;
      while (reader.next(row)) {
        if (round0 < 0) round0 = row[0].as<std::int64_t>();
        EXPECT_EQ(row[0], tw::Value(round0)) << t.name;
        EXPECT_EQ(row[1], tw::Value(std::int64_t{rows})) << t.name;
        EXPECT_EQ(row[3], tw::Value(crashMemo(round0 + rows))) << t.name;
        ++rows;
      }
      EXPECT_LE(rows, 5);
    }
    if (WIFSIGNALED(status) && !tables.empty()) ++killedWithTables;
    // The container takes changes again, and ruby-dbf reads it.
    engine.execute("CREATE TABLE after_the_kill ([x] INT)");
    engine.flush();
    EXPECT_EQ(checkContainerIndex(readBytes(dir + "/c.dcx"), readBytes(dbc)), "");
    if (round % 6 == 5) {
      std::string out;
      EXPECT_EQ(runRuby(dbc, out), 0) << out;
      EXPECT_NE(out.find("\"after_the_kill\""), std::string::npos) << out;
    }
  }
  EXPECT_GT(killedWithTables, 8) << "too few runs were cut off in the middle of their work";
  std::printf("kills between the records and the index: %d\n", staleWindows);
}

}  // namespace
