// The engine on copies of a container Visual FoxPro made, against what the file-system seam
// injects: links planted at every new name, immovable members and .dcx, a replacement that
// cannot be made, a full disk, long names, brief locks, repeated reads. Nothing outside the
// destination may change, and the old tables stay whole. (Forged containers: tests/cli.)
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
    for (const auto& d : {dest, victim, root.file("free")}) std::filesystem::create_directories(d);
    writeBytes(victim + "/inventory.dbf", {'v'});
    if (!(copied = std::filesystem::exists(corpus))) return;
    for (const auto& e : std::filesystem::directory_iterator(corpus))
      writeBytes(dest + "/" + e.path().filename().string(), readBytes(e.path().string()));
  }
  std::unique_ptr<Engine> engine(std::shared_ptr<FileSystem> fs) {
    return std::make_unique<Engine>(fs, std::make_unique<ContainerCatalog>(fs, dbc));
  }
  // The old tables are listed without a problem, the index is sound, the victim untouched.
  void expectWhole(Engine& e) {
    for (const auto& t : e.listTables()) EXPECT_EQ(t.problem, "") << t.name;
    EXPECT_EQ(checkContainerIndex(readBytes(dest + "/FOXPRO-DB-TEST.DCX"), readBytes(dbc)), "");
    EXPECT_EQ(filesIn(victim), (Files{{victim + "/inventory.dbf", {'v'}}}));
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
  int made = 0;
  // Before every other new file of a unique name: a link at that very name, to the victim.
  fs->beforeCreate = [&](const std::string& path) {
    if (path.find("/~tw") == std::string::npos || made++ % 2) return;
    ASSERT_EQ(symlink((s.victim + "/inventory.dbf").c_str(), path.c_str()), 0) << path;
    planted.push_back(path);
  };
  std::unique_ptr<Engine> engines[] = {s.engine(fs), std::make_unique<Engine>(fs, s.root.file("free"))};
  // A file of the user's at the name an index's next version once had.
  for (const std::string& dir : {s.dest, s.root.file("free")}) writeBytes(dir + "/t.cdx.tmp", {'u'});
  for (auto& engine : engines)
    for (const char* sql :
         {"CREATE TABLE t ([a] INT, [m] MEMO)", "INSERT INTO t VALUES (1, 'x')", "USE t", "INDEX ON a TAG a",
          "INSERT INTO t VALUES (2, 'y')", "DROP TABLE t", "CREATE TABLE t ([a] INT)"}) {
      engine->execute(sql);
      engine->flush();
    }
  for (const std::string& dir : {s.dest, s.root.file("free")})
    EXPECT_EQ(readBytes(dir + "/t.cdx.tmp"), std::vector<std::uint8_t>{'u'});
  // Fixed names: the container's next index, a new container's memo file.
  for (const char* name : {"/FOXPRO-DB-TEST.DCX.tmp", "/new.dct"}) symlink("victim", (s.dest + name).c_str());
  EXPECT_EQ(failureOf([&] { s.engine(fs)->execute("CREATE TABLE u ([a] INT)"); }),
            "SQLException: File already exists. \"" + s.dest +
                "/FOXPRO-DB-TEST.DCX.tmp\" belongs to no table. "
                "(table \"u\")");
  EXPECT_NE(failureOf([&] { createContainer(*fs, s.dest + "/new.dbc"); }).find("new.dct\" exists already"),
            std::string::npos);
  // A link where a new table's memo file goes was there first: it is no other writer's.
  for (const std::string& dir : {s.dest, s.root.file("free")}) {
    symlink("victim", (dir + "/v.fpt").c_str());
    auto engine = dir == s.dest ? s.engine(fs) : std::make_unique<Engine>(fs, dir);
    EXPECT_EQ(failureOf([&] { engine->execute("CREATE TABLE v ([m] MEMO)"); }),
              "SQLException: File already exists. \"" + dir + "/v.fpt\" belongs to no table. (table \"v\")");
  }
  EXPECT_GT(planted.size(), 4u);
  for (const auto& p : planted) EXPECT_TRUE(std::filesystem::is_symlink(p)) << p;
  s.expectWhole(*engines[0]);
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
    for (const auto& [path, bytes] : before)
      EXPECT_TRUE(path.find("contacts") == std::string::npos || readBytes(path) == bytes) << path;
    EXPECT_EQ(readBytes(s.dbc), before.at(s.dbc));
    s.expectWhole(*engine);
  }
}

TEST(Replacing, ATableWhoseReplacementCannotBeMadeIsPutBackWhole) {
  SCENE(s);
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
  for (Files* f : {&after, &before}) f->erase(s.dest + "/FOXPRO-DB-TEST.DCX");
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
  const std::string tooLong = s.dest + "/" + std::string(300, 'n');
  EXPECT_NE(failureOf([&] { Engine(plainFs(), tooLong).execute("CREATE TABLE t ([a] INT)"); }).find("too long"),
            std::string::npos);
  EXPECT_NE(failureOf([&] { ContainerCatalog(plainFs(), tooLong + ".dbc"); }).find("too long"), std::string::npos);
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
  // Its own lock, under any name for the table, holds nothing up.
  for (const char* sql : {"INSERT INTO t VALUES (1)", "INSERT INTO [t.dbf] VALUES (2)", "DROP TABLE T"})
    engine->execute(sql);
  s.expectWhole(*engine);
}

TEST(ContainerReads, TheContainerIsReadOncePerOpenAndAnotherWritersChangeIsSeen) {
  SCENE(s);
  auto fs = std::make_shared<FaultyFileSystem>();
  fs->countReadsOf = ".DBC";
  auto engine = s.engine(fs);
  const long long once = fs->bytesRead;
  for (const std::string t : {"a", "b", "c"}) {
    engine->execute("CREATE TABLE " + t + " ([n] INT)");
    for (int i = 0; i < 20; ++i) engine->execute("INSERT INTO " + t + " VALUES (1)");
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
