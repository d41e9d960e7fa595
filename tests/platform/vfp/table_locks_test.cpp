// One writer per table, and a table that always holds a prefix of the rows inserted into
// it: a second writer is refused with "File is in use." and changes nothing, a killed
// writer's lock goes with it, and after a failed write every later row is refused alike.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

constexpr const char* kCreate = "CREATE TABLE \"Orders\" ([ID] INT, [Note] MEMO)";
const std::string kInUse = "SQLException: File is in use. (table \"Orders\")";

std::string row(long i) { return "INSERT INTO [Orders] VALUES (" + std::to_string(i) + ", 'note')"; }

std::vector<long> ids(const std::string& folder) {
  std::vector<long> out;
  TableReader reader(*plainFs(), folder + "/orders.dbf", folder + "/orders.fpt");
  for (std::vector<tw::Value> r; reader.next(r);) out.push_back(static_cast<long>(r[0].as<std::int64_t>()));
  return out;
}

tw::data::Failure failure(Engine& engine, const std::string& statement) {
  try {
    engine.execute(statement);
  } catch (const tw::data::Failure& f) {
    return f;
  }
  return tw::data::Failure(0, "");
}

TEST(TableLocks, ASecondWriterIsRefusedAndChangesNothing) {
  ScratchFolder dir;
  auto first = std::make_unique<Engine>(plainFs(), dir.path());
  first->execute(kCreate);
  first->execute(row(0));
  first->flush();
  const auto dbf = readBytes(dir.file("orders.dbf"));
  Engine second(plainFs(), dir.path());
  for (const std::string& s : {row(9), std::string("DROP TABLE Orders")}) {
    EXPECT_EQ(failure(second, s).description(), kInUse) << s;
    EXPECT_TRUE(failure(second, s).endsTable()) << s;
  }
  EXPECT_EQ(failure(second, kCreate).description(), "SQLException: File already exists. \"" + dir.file("orders.dbf") +
                                                        "\" holds table \"orders\". (table \"Orders\")");
  // Whatever is at another creator's temporary name is neither followed nor removed.
  writeBytes(dir.file("items.dbf.tmp"), {1});
  second.execute("CREATE TABLE Items ([ID] INT)");
  EXPECT_EQ(readBytes(dir.file("items.dbf.tmp")), std::vector<std::uint8_t>{1});
  EXPECT_EQ(readBytes(dir.file("orders.dbf")), dbf);
  first.reset();
  second.execute(row(1));
  second.flush();
  EXPECT_EQ(ids(dir.path()), (std::vector<long>{0, 1}));
}

TEST(TableLocks, ADatabaseContainerIsChangedByOneWriterAtATime) {
  ScratchFolder dir;
  const std::string dbc = dir.file("sales.dbc");
  createContainer(*plainFs(), dbc);
  Engine engine(plainFs(), std::make_unique<ContainerCatalog>(plainFs(), dbc));
  const auto before = readBytes(dbc);
  auto changing = plainFs()->tryLock(dbc, false);
  EXPECT_EQ(
      failure(engine, kCreate).description(),
      "SQLException: File is in use. Another writer is changing the database \"" + dbc + "\". (table \"Orders\")");
  EXPECT_EQ(readBytes(dbc), before);
  changing.reset();
  engine.execute(kCreate);
  Engine other(plainFs(), std::make_unique<ContainerCatalog>(plainFs(), dbc));
  EXPECT_EQ(failure(other, "DROP TABLE Orders").description(), kInUse);
}

TEST(TableLocks, AnotherProcessHoldsTheTableUntilItIsKilled) {
  ScratchFolder dir;
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(pipeFds[0], 0);
    close(pipeFds[1]);
    execl(TW_VFP_WRITER_TOOL, TW_VFP_WRITER_TOOL, dir.path().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[0]);
  const std::string script = std::string(kCreate) + "\n" + row(0) + "\n";
  ASSERT_EQ(write(pipeFds[1], script.data(), script.size()), static_cast<ssize_t>(script.size()));
  // The tool keeps reading its standard input, and holds the table meanwhile.
  Engine engine(plainFs(), dir.path());
  std::string seen;
  for (int wait = 0; wait < 2000; ++wait) {
    seen = failure(engine, row(1)).description();
    if (seen.find("does not exist") == std::string::npos) break;  // the tool has made the table
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(seen, kInUse);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(pipeFds[1]);
  engine.execute(row(1));  // the lock died with the process
  engine.flush();
  EXPECT_EQ(ids(dir.path()), std::vector<long>{1});
}

// Inserts rows until the disk is full, then goes on as a run does: every later row must be
// refused with the first failure, and the table must read back as a prefix.
void fillUntilFull(Engine& engine, const std::string& folder) {
  engine.setBatchBytes(2048);
  engine.execute(kCreate);
  std::string first;
  long refusedFrom = -1;
  for (long i = 0; i < 4000; ++i) {
    std::string f = failure(engine, row(i)).description();
    if (first.empty() && !f.empty()) {
      first = f;
      refusedFrom = i;
    }
    ASSERT_EQ(f, first) << "row " << i;
  }
  EXPECT_EQ(first.rfind("SQLException: Error writing to file. Cannot write ", 0), 0u) << first;
  EXPECT_NE(first.find("No space left on device."), std::string::npos) << first;
  const std::vector<long> kept = ids(folder);
  EXPECT_GT(refusedFrom, 10);
  EXPECT_LE(static_cast<long>(kept.size()), refusedFrom);
  for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], static_cast<long>(i));
}

TEST(FullDisk, LeavesATableHoldingAPrefixOfItsRows) {
  ScratchFolder dir;
  const std::string small = dir.file("small");
  std::filesystem::create_directory(small);
  // A real, small file system when the test may mount one; else an injected failure.
  if (geteuid() == 0 && mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") == 0) {
    {
      Engine engine(plainFs(), small);
      fillUntilFull(engine, small);
    }
    umount(small.c_str());
    std::printf("the disk that filled up was a 64 KB tmpfs\n");
    return;
  }
  std::printf("no tmpfs could be mounted; the full disk is an injected failure\n");
  auto fs = std::make_shared<FaultyFileSystem>();
  fs->writeBudget = 40000;
  Engine engine(fs, small);
  fillUntilFull(engine, small);
}

TEST(FullDisk, AFailedWriteMetByAnotherTablesStatementComesAfterIt) {
  ScratchFolder dir;
  auto fs = std::make_shared<FaultyFileSystem>();
  Engine engine(fs, dir.path());
  engine.execute(kCreate);
  engine.execute(row(0));  // kept in memory until another table's statement comes
  fs->failWritesTo = "orders";
  tw::data::Failure f = failure(engine, "CREATE TABLE Items ([ID] INT)");
  EXPECT_NE(f.description().find("The last 1 rows inserted into"), std::string::npos) << f.description();
  EXPECT_FALSE(f.endsTable()) << "the failure is Orders', not the new table's";
  fs->failWritesTo.clear();
  engine.execute("INSERT INTO Items VALUES (1)");
  EXPECT_EQ(failure(engine, row(1)).description(), f.description());
}

TEST(Messages, NameTheTableAndTheColumn) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  EXPECT_EQ(failure(engine, "CREATE TABLE Orders ([Amount] N(5,2), [amount] INT)").description(),
            "SQLException: Field name is a duplicate or invalid. (table \"Orders\", column \"amount\")");
  engine.execute("CREATE TABLE Orders ([ID] INT, [Amount] N(5,2))");
  tw::data::Failure f = failure(engine, "INSERT INTO [Orders] VALUES (1, 1234.5)");
  EXPECT_EQ(f.description(), "SQLException: Numeric overflow. Data was lost. (table \"Orders\", column \"Amount\")");
  EXPECT_FALSE(f.endsTable());
  EXPECT_EQ(failure(engine, "INSERT INTO [Orders] VALUES (1, 2, 3)").description(),
            "SQLException: Too many arguments. (table \"Orders\")");
  engine.flush();  // opened afresh, a table's columns go by their stored names
  EXPECT_EQ(failure(engine, "INSERT INTO [Orders] VALUES ('x', 1)").description(),
            "SQLException: Data type mismatch. (table \"Orders\", column \"ID\")");
}

}  // namespace
