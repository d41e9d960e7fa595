// The engine against hostile and failing destinations, through the file-system seam: links
// planted at every name it creates, members that cannot be moved, a .dcx that cannot be
// renamed into place, a replacement that cannot be made, a full disk during a drop, names
// too long, locks held briefly, and the container read once. Containers are copies of one
// Visual FoxPro made; each case checks that nothing outside the destination changed and that
// the old tables are whole. (Forged paths and damaged containers: tests/cli.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "dcx_check.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

using Files = std::map<std::string, std::vector<std::uint8_t>>;

Files filesIn(const std::string& dir) {
  Files out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    if (e.is_regular_file() && !e.is_symlink()) out[e.path().string()] = readBytes(e.path().string());
  return out;
}

// A writable copy of the VFP-made container in <root>/dest; <root>/victim is outside it.
struct Scene {
  ScratchFolder root;
  std::string dest = root.file("dest"), victim = root.file("victim"), dbc = dest + "/FOXPRO-DB-TEST.DBC";
  bool copied = false;
  Scene() {
    const std::string corpus = std::string(TW_SHARED_DIR) + "/corpus/foxpro/infused/fixtures/fixtures/foxprodb";
    std::filesystem::create_directories(victim);
    std::filesystem::create_directories(dest);
    writeBytes(victim + "/inventory.dbf", {'v'});
    if (!std::filesystem::exists(corpus)) return;
    for (const auto& e : std::filesystem::directory_iterator(corpus))
      writeBytes(dest + "/" + e.path().filename().string(), readBytes(e.path().string()));
    copied = true;
  }
  std::unique_ptr<Engine> engine(std::shared_ptr<FileSystem> fs) {
    return std::make_unique<Engine>(fs, std::make_unique<ContainerCatalog>(fs, dbc));
  }
  // The old tables are listed without a problem, and the index is sound.
  void expectWhole(Engine& e) {
    for (const auto& t : e.listTables()) EXPECT_EQ(t.problem, "") << t.name;
    EXPECT_EQ(checkContainerIndex(readBytes(dest + "/FOXPRO-DB-TEST.DCX"), readBytes(dbc)), "");
  }
};

#define SCENE(s)                 \
  Scene s;                       \
  if (!s.copied) {               \
    GTEST_SKIP() << "no corpus"; \
  }

TEST(PlantedLinks, AtEveryNameTheEngineCreatesAreNeitherFollowedNorRemoved) {
  SCENE(s);
  auto fs = std::make_shared<FaultyFileSystem>();
  std::vector<std::string> planted;
  // Before every other new file: a link at its very name, to a file outside.
  fs->beforeCreate = [&](const std::string& path) {
    if (path.find("/~tw") == std::string::npos) return;  // the fixed names: below
    if (planted.size() % 2 == 0) {
      ASSERT_EQ(symlink((s.victim + "/inventory.dbf").c_str(), path.c_str()), 0) << path;
      planted.push_back(path);
    } else {
      planted.push_back("");
    }
  };
  std::filesystem::create_directories(s.root.file("free"));
  std::unique_ptr<Engine> engines[] = {s.engine(fs), std::make_unique<Engine>(fs, s.root.file("free"))};
  for (auto& engine : engines) {
    engine->execute("CREATE TABLE t ([a] INT, [m] MEMO)");
    engine->execute("INSERT INTO t VALUES (1, 'x')");
    engine->execute("DROP TABLE t");
    engine->execute("CREATE TABLE t ([a] INT)");
    engine->flush();
  }
  // The container's own fixed names: its next index, a new container's memo and index.
  fs->beforeCreate = nullptr;
  symlink((s.victim + "/inventory.dbf").c_str(), (s.dest + "/FOXPRO-DB-TEST.DCX.tmp").c_str());
  EXPECT_EQ(failureOf([&] { s.engine(fs)->execute("CREATE TABLE u ([a] INT)"); }),
            "SQLException: File already exists. \"" + s.dest +
                "/FOXPRO-DB-TEST.DCX.tmp\" belongs to no table. "
                "(table \"u\")");
  symlink((s.victim + "/inventory.dbf").c_str(), (s.dest + "/new.dct").c_str());
  EXPECT_NE(failureOf([&] { createContainer(*fs, s.dest + "/new.dbc"); }).find("new.dct\" exists already"),
            std::string::npos);
  EXPECT_GT(planted.size(), 8u);
  for (const auto& p : planted) EXPECT_TRUE(p.empty() || std::filesystem::is_symlink(p)) << p;
  EXPECT_EQ(readBytes(s.victim + "/inventory.dbf"), std::vector<std::uint8_t>{'v'});
  EXPECT_EQ(filesIn(s.victim).size(), 1u);
}

// A member that cannot be renamed or deleted (an immutable file), or a .dcx that cannot be
// replaced: the drop and the creation fail, and every file is as it was.
TEST(ImmovableFiles, LeaveTheContainerAsItWas) {
  for (const char* immovable : {"contacts.FPT", "FOXPRO-DB-TEST.DCX"}) {
    SCOPED_TRACE(immovable);
    SCENE(s);
    const Files before = filesIn(s.dest);
    auto fs = std::make_shared<FaultyFileSystem>();
    fs->immovable = immovable;
    auto engine = s.engine(fs);
    EXPECT_NE(failureOf([&] { engine->execute("DROP TABLE contacts"); }).find("Operation not permitted"),
              std::string::npos);
    if (std::string(immovable) == "FOXPRO-DB-TEST.DCX") {
      EXPECT_NE(failureOf([&] { engine->execute("CREATE TABLE fresh ([a] INT)"); }), "");
      EXPECT_EQ(filesIn(s.dest), before);
    }
    for (const auto& [path, bytes] : before) {
      const bool kept = path.find("contacts") != std::string::npos || path.find(".DBC") != std::string::npos;
      EXPECT_TRUE(!kept || readBytes(path) == bytes) << path;
    }
    s.expectWhole(*engine);
  }
}

TEST(Replacing, ATableWhoseReplacementCannotBeMadeIsPutBackWhole) {
  SCENE(s);
  std::filesystem::create_directories(s.root.file("free"));
  auto fs = std::make_shared<FaultyFileSystem>();
  Engine free(fs, s.root.file("free"));
  free.execute("CREATE TABLE contacts ([a] INT, [m] MEMO)");
  free.execute("INSERT INTO contacts VALUES (1, 'kept')");
  free.flush();
  Files before = filesIn(s.dest), freeBefore = filesIn(s.root.file("free"));
  auto engine = s.engine(fs);
  for (Engine* e : {engine.get(), &free}) {
    // A statement the engine refuses, then a disk that fills up while the new table is written.
    for (bool fullDisk : {false, true}) {
      e->execute("DROP TABLE contacts");
      fs->failWritesTo = fullDisk ? "/~tw" : "";
      std::string why = failureOf([&] {
        e->execute(fullDisk ? "CREATE TABLE contacts ([b] MEMO)" : "CREATE TABLE contacts ([b] INT, [B] INT)");
      });
      fs->failWritesTo.clear();
      EXPECT_NE(why.find("The table it was to replace is kept."), std::string::npos) << why;
    }
  }
  // Everything as it was, but the index, which is built anew.
  Files after = filesIn(s.dest);
  after.erase(s.dest + "/FOXPRO-DB-TEST.DCX");
  before.erase(s.dest + "/FOXPRO-DB-TEST.DCX");
  EXPECT_EQ(after, before);
  EXPECT_EQ(filesIn(s.root.file("free")), freeBefore);
  s.expectWhole(*engine);
}

TEST(Messages, AFullDiskAndANameTooLongSaySo) {
  SCENE(s);
  const Files before = filesIn(s.dest);
  auto fs = std::make_shared<FaultyFileSystem>();
  fs->writeBudget = 0;
  std::string full = failureOf([&] { s.engine(fs)->execute("DROP TABLE contacts"); });
  EXPECT_EQ(full.rfind("SQLException: Error writing to file. Cannot write ", 0), 0u) << full;
  EXPECT_NE(full.find("No space left on device"), std::string::npos) << full;
  EXPECT_EQ(filesIn(s.dest), before);
  const std::string tooLong(300, 'n');
  EXPECT_NE(failureOf([&] {
              Engine(plainFs(), s.dest + "/" + tooLong).execute("CREATE TABLE t ([a] INT)");
            }).find("File name too long"),
            std::string::npos);
  EXPECT_NE(
      failureOf([&] { ContainerCatalog(plainFs(), s.dest + "/" + tooLong + ".dbc"); }).find("File name too long"),
      std::string::npos);
}

TEST(Locks, ALockHeldBrieflyIsWaitedForAndTheEnginesOwnNeverBlocksIt) {
  SCENE(s);
  auto fs = makeRealFileSystem(false);  // waits the 5 s a run waits
  auto held = fs->tryLock(s.dbc, false);
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
  });
  auto engine = s.engine(fs);
  engine->execute("CREATE TABLE t ([a] INT)");
  other.join();
  engine->execute("INSERT INTO t VALUES (1)");
  engine->execute("INSERT INTO [t.dbf] VALUES (2)");  // another name for a table it holds
  engine->execute("DROP TABLE T");
  engine->flush();
  s.expectWhole(*engine);
}

TEST(ContainerReads, TheContainerIsReadOncePerOpenAndAnotherWritersChangeIsSeen) {
  SCENE(s);
  {
    auto filler = s.engine(plainFs());  // a container of some size: 40 more tables
    for (int t = 0; t < 40; ++t)
      filler->execute("CREATE TABLE f" + std::to_string(t) + " ([a] INT, [b] INT, [c] INT)");
  }
  auto fs = std::make_shared<FaultyFileSystem>();
  fs->countReadsOf = ".DBC";
  auto engine = s.engine(fs);
  const long long once = fs->bytesRead;
  for (const char* t : {"a", "b", "c"}) {
    engine->execute(std::string("CREATE TABLE ") + t + " ([n] INT)");
    for (int i = 0; i < 20; ++i) engine->execute(std::string("INSERT INTO ") + t + " VALUES (1)");
  }
  engine->execute("DROP TABLE b");
  engine->listTables();
  // After the reading when opened, a CREATE reads the header it appends after, nothing else.
  EXPECT_LE(fs->bytesRead - once, 3 * static_cast<long long>(kMaxHeaderBytes + 64)) << "when opened: " << once;
  s.engine(plainFs())->execute("CREATE TABLE other ([n] INT)");
  auto tables = engine->listTables();
  EXPECT_TRUE(std::any_of(tables.begin(), tables.end(), [](const ListedTable& t) { return t.name == "other"; }));
}

}  // namespace
