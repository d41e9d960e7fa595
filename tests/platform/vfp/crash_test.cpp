// Kills a process in the middle of a long run of inserts, many times at random moments,
// and checks that every table left on disk opens in every reader (our own, dbfread,
// python-dbf, pgdbf) and holds a prefix of the rows that were inserted.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "crash_rows.h"
#include "platform/vfp/dbf_format.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

constexpr long kRows = 8000;

std::vector<tw::Value> expectedRow(const std::string& table, long i) {
  if (table == "alpha")
    return {std::int64_t{i}, crashName(i), i % 5 == 4 ? tw::Value() : tw::Value(crashMemo(i)),
            tw::Decimal{false, std::to_string(i * 100 + 10 + i % 90), 2}, static_cast<double>(i) + 0.5};
  return {std::int64_t{i}, "c" + std::to_string(i % 1000), i % 3 == 0 ? tw::Value() : tw::Value(std::int64_t{i % 2})};
}

std::string expectedJson(const std::string& table, long rows) {
  std::string json = table == "alpha" ? "{\"types\": [\"I\", \"C\", \"M\", \"N\", \"B\"], \"rows\": ["
                                      : "{\"types\": [\"I\", \"C\", \"I\"], \"rows\": [";
  for (long i = 0; i < rows; ++i) {
    if (i) json += ", ";
    if (table == "alpha")
      json += "[\"" + std::to_string(i) + "\", \"" + crashName(i) + "\", " +
              (i % 5 == 4 ? std::string("null") : "\"" + crashMemo(i) + "\"") + ", \"" + std::to_string(i) + "." +
              std::to_string(10 + i % 90) + "\", \"" + std::to_string(i) + ".5\"]";
    else
      json += "[\"" + std::to_string(i) + "\", \"c" + std::to_string(i % 1000) + "\", " +
              (i % 3 == 0 ? std::string("null") : "\"" + std::to_string(i % 2) + "\"") + "]";
  }
  return json + "]}";
}

// Runs check_readers.py --prefix over all (table, expected) pairs at once.
std::string runReaders(const std::vector<std::pair<std::string, std::string>>& pairs, int& status) {
  std::string cmd = "/usr/bin/python3 " + std::string(TW_VFP_TEST_DIR) + "/check_readers.py --prefix";
  for (const auto& [dbf, json] : pairs) cmd += " '" + dbf + "' '" + json + "'";
  cmd += " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  status = pclose(p);
  return out;
}

// Checks a table with our own reader (rows must be the prefix) and queues it for the other
// readers; returns the number of rows our reader found.
long checkPrefix(const std::string& folder, const std::string& table,
                 std::vector<std::pair<std::string, std::string>>& queue) {
  std::string dbf = folder + "/" + table + ".dbf";
  std::string fpt = table == "alpha" ? folder + "/alpha.fpt" : "";
  long rows = 0;
  try {
    TableReader reader(*plainFs(), dbf, fpt);
    std::vector<tw::Value> row;
    while (reader.next(row)) {
      EXPECT_EQ(row, expectedRow(table, rows)) << table << " row " << rows;
      if (row != expectedRow(table, rows)) break;
      ++rows;
    }
  } catch (const CorruptTable& e) {
    ADD_FAILURE() << dbf << ": " << e.what();
  }
  // The other readers may also see complete records the header does not count yet.
  auto bytes = readBytes(dbf);
  TableHeader h = parseHeader(bytes, bytes.size());
  long physical = static_cast<long>((bytes.size() - h.layout.headerLength) / h.layout.recordLength) + 1;
  std::string json = folder + "/" + table + ".json";
  std::ofstream(json) << expectedJson(table, std::min(physical, kRows));
  queue.emplace_back(dbf, json);
  return rows;
}

TEST(Crash, KilledWritersLeaveTablesHoldingAPrefixOfTheirRows) {
  unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::mt19937 rng(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  ScratchFolder root;
  std::vector<std::pair<std::string, std::string>> queue;
  int killedWithRows = 0;
  for (int round = 0; round < 30; ++round) {
    std::string dir = root.file("round" + std::to_string(round));
    std::filesystem::create_directory(dir);
    // Early rounds aim at the creation of the tables, later ones at the batches.
    int delayUs = round < 3 ? static_cast<int>(rng() % 3000) : static_cast<int>(rng() % 12000);
    // Batches from tiny to large: large writes are the ones a kill can tear.
    static const char* batches[] = {"700", "4096", "262144", "1048576"};
    const char* batch = batches[round % 4];
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int devnull = ::open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      execl(TW_VFP_WRITER_TOOL, TW_VFP_WRITER_TOOL, dir.c_str(), "--crash-run", std::to_string(kRows).c_str(), batch,
            static_cast<char*>(nullptr));
      _exit(127);
    }
    if (round >= 3) {
      // Count from the moment the tables exist, so that a slow start on a busy machine
      // does not turn every round into a kill during start-up.
      for (int wait = 0; wait < 2000 && !std::filesystem::exists(dir + "/beta.dbf"); ++wait)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    bool killed = WIFSIGNALED(status);
    if (!killed) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "the writer failed on its own";
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", killed after " + std::to_string(delayUs) + " us, batch " +
                 batch);
    if (!std::filesystem::exists(dir + "/alpha.dbf")) {
      EXPECT_FALSE(std::filesystem::exists(dir + "/beta.dbf"));
    }
    for (const std::string table : {"alpha", "beta"}) {
      if (!std::filesystem::exists(dir + "/" + table + ".dbf")) continue;
      long rows = checkPrefix(dir, table, queue);
      if (!killed) {
        EXPECT_EQ(rows, kRows);
      }
      if (killed && rows > 0) ++killedWithRows;
    }
  }
  EXPECT_GT(killedWithRows, 3) << "too few runs were cut off in the middle of inserting";
  int status = 0;
  std::string report = runReaders(queue, status);
  EXPECT_EQ(status, 0) << report;
}

// A write torn at every point of the first batches (as a kill or a full disk leaves it):
// the table still opens everywhere with a prefix of its rows, the failure names the file
// and the cause, and the engine adds rows to the table afterwards as if nothing happened.
TEST(Crash, TornWritesAnywhereInABatchLeaveAValidTable) {
  ScratchFolder root;
  std::vector<std::pair<std::string, std::string>> queue;
  int failures = 0;
  for (long budget = 0; budget < 3 * 4096 + 3000; budget += 61) {
    std::string dir = root.file("b" + std::to_string(budget));
    std::filesystem::create_directory(dir);
    auto fs = std::make_shared<FaultyFileSystem>();
    long inserted = 0;
    {
      Engine engine(fs, dir);
      engine.setBatchBytes(4096);
      engine.execute(kCrashCreateAlpha);
      fs->writeBudget = budget;
      std::string error;
      for (; inserted < 400 && error.empty(); ++inserted)
        error = failureOf([&] { engine.execute(crashRowStatement("alpha", inserted)); });
      if (!error.empty()) {
        ++failures;
        EXPECT_EQ(error.rfind("SQLException: Error writing to file. Cannot write ", 0), 0u) << error;
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
        EXPECT_NE(error.find("were not saved"), std::string::npos) << error;
      }
    }
    // The files as the failure left them, kept apart for the readers.
    std::string torn = dir + "_torn";
    std::filesystem::copy(dir, torn);
    long rows = checkPrefix(torn, "alpha", queue);
    // The disk has room again: the table takes the following rows after its prefix.
    {
      Engine engine(plainFs(), dir);
      for (long i = rows; i < rows + 3; ++i) engine.execute(crashRowStatement("alpha", i));
    }
    EXPECT_EQ(checkPrefix(dir, "alpha", queue), rows + 3) << "budget " << budget;
  }
  EXPECT_GT(failures, 150);
  int status = 0;
  std::string report = runReaders(queue, status);
  EXPECT_EQ(status, 0) << report.substr(0, 4000);
}

}  // namespace
