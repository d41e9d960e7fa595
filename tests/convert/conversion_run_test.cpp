#include "convert/conversion_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "../platform/vfp/vfp_test_support.h"
#include "common/guard.h"
#include "convert/ado_type_name.h"
#include "platform/vfp/provider.h"
#include "platform/vfp/table_reader.h"
#include "support/fake_ui.h"
#include "support/memory_provider.h"

namespace tw {
namespace {

// The locale the runs format their values in; it outlives every run.
const Locale& usLocale() {
  static const Locale locale("en_US");
  return locale;
}

using data::MemoryDatabase;
using data::MemoryProvider;
using data::MemoryTable;

// The window state, with every progress value recorded.
class RecordingWindow : public MainWindowModel {
 public:
  void setProgressValue(double percent) override {
    MainWindowModel::setProgressValue(percent);
    values.push_back(percent);
  }
  std::vector<double> values;
};

class ScriptedPreview : public PreviewWindow {
 public:
  void showModal(ConversionState& state) override {
    shown.push_back(std::vector<std::string>());
    for (std::size_t i = 0; i < state.statements.size(); ++i) shown.back().emplace_back(state.statements.item(i));
    conversionsSeen.push_back(state.conversions.size());
    targetOpen.push_back(state.FoxPro_conn && state.FoxPro_conn->isOpen());
    if (skipTable) state.StopAfterPreview = false;
  }
  bool skipTable = false;
  std::vector<std::vector<std::string>> shown;
  std::vector<std::size_t> conversionsSeen;
  std::vector<bool> targetOpen;
};

MemoryTable table(const std::string& name, int rows) {
  MemoryTable t{name, "TABLE", {{"ID", ado::kInteger}, {"Name", ado::kVarWChar}}, {}};
  for (int r = 1; r <= rows; ++r) t.rows.push_back({Value(r), Value(name + std::to_string(r))});
  return t;
}

// A target table known only by name.
MemoryTable named(const std::string& name) {
  MemoryTable t;
  t.name = name;
  return t;
}

class ConversionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("tw-run-" + std::to_string(::getpid()) + "-" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    sourcePath = (dir / "source.mdb").string();
    std::ofstream(sourcePath) << "x";
    targetPath = (dir / "target").string();
    std::filesystem::create_directories(targetPath);
    access.registerProvider("Microsoft.Jet.OLEDB.4.0", sourceProvider);
    access.registerProvider("vfpoledb.1", targetProvider);
    source = &sourceProvider->addDatabase(sourcePath);
    target = &targetProvider->addDatabase(targetPath);
    window.text5 = sourcePath;
    window.text2 = targetPath;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  void run(PreviewWindow* preview = nullptr) {
    ConversionRun r(access, ui, window, state, usLocale(), preview);
    r.setYieldInterval(std::chrono::milliseconds(0));
    r.StartConverting();
  }
  std::vector<std::string> reports() const {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes)
      if (b.title == kErrorTitle) out.push_back(b.text);
    return out;
  }

  std::filesystem::path dir;
  std::string sourcePath, targetPath;
  data::DataAccess access;
  std::shared_ptr<MemoryProvider> sourceProvider = std::make_shared<MemoryProvider>();
  std::shared_ptr<MemoryProvider> targetProvider = std::make_shared<MemoryProvider>();
  MemoryDatabase* source = nullptr;
  MemoryDatabase* target = nullptr;
  FakeUi ui;
  RecordingWindow window;
  ConversionState state;
};

TEST_F(ConversionRunTest, DirectModeConvertsTablesLastEntryFirst) {
  source->tables = {table("A", 1), table("B", 0), table("C", 2)};
  run();
  EXPECT_EQ(target->executed,
            (std::vector<std::string>{
                "CREATE TABLE \"C\"([ID] INT,[Name] CHAR(254));", "INSERT INTO [C] VALUES (1, 'C1');",
                "INSERT INTO [C] VALUES (2, 'C2');", "CREATE TABLE \"B\"([ID] INT,[Name] CHAR(254));",
                "CREATE TABLE \"A\"([ID] INT,[Name] CHAR(254));", "INSERT INTO [A] VALUES (1, 'A1');"}));
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "Done.");
  EXPECT_EQ(ui.boxes.back().title, ui.applicationTitle());
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(state.conversions.size(), 6u);
  EXPECT_EQ(state.conversions.front().table, "C");
  EXPECT_EQ(window.progressValue, 0);
  EXPECT_EQ(window.progressCaption, "Progress Bar");
  EXPECT_EQ(ui.pointers, (std::vector<int>{kPointerHourglass, kPointerDefault}));
  EXPECT_EQ(window.list2.items, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_FALSE(state.runInProgress);
  EXPECT_EQ(target->openSessions, 0);
  EXPECT_EQ(source->openSessions, 0);
  EXPECT_EQ(source->lastSettings.cursorLocation, 3);
  EXPECT_EQ(source->lastSettings.mode, 3);
  EXPECT_EQ(target->lastSettings.commandTimeout, 5000);
  EXPECT_EQ(target->lastConnectionString,
            "Provider=vfpoledb.1;Data Source=" + targetPath + ";Collating Sequence=machine;");
}

TEST_F(ConversionRunTest, OverwriteQuestionIgnoresCaseAndNoSkipsTheTableCompletely) {
  source->tables = {table("Orders", 1), table("Items", 1)};
  target->tables = {named("orders"), named("ITEMS")};
  ui.answers = {MessageAnswer::No, MessageAnswer::Yes};  // Items first, then Orders
  run();
  ASSERT_GE(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].title, "Overwrite?");
  EXPECT_EQ(ui.boxes[0].text, "Would you like to overwrite Items?");
  EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::YesNoAll);
  EXPECT_EQ(ui.boxes[1].text, "Would you like to overwrite Orders?");
  EXPECT_EQ(target->executed,
            (std::vector<std::string>{"DROP TABLE \"Orders\"", "CREATE TABLE \"Orders\"([ID] INT,[Name] CHAR(254));",
                                      "INSERT INTO [Orders] VALUES (1, 'Orders1');"}));
  EXPECT_EQ(state.conversions.size(), 2u);  // none for Items
  // The listed name is removed only where it matches the lower-cased name exactly.
  EXPECT_EQ(window.list1.items, (std::vector<std::string>{"ITEMS"}));
}

TEST_F(ConversionRunTest, ProgressOfAFourRowTableAndOfAnEmptyOne) {
  source->tables = {table("Empty", 0), table("Four", 4)};
  run();
  EXPECT_EQ(window.values, (std::vector<double>{40, 60, 80, 100, 0}));
}

TEST_F(ConversionRunTest, ARejectedRowCostsOneReportAndTheRunGoesOn) {
  source->tables = {table("T", 3)};
  target->onExecute = [](const std::string& s) {
    if (s == "INSERT INTO [T] VALUES (2, 'T2');")
      throw data::Failure("SQLException: Numeric overflow. Data was lost.");
  };
  run();
  auto r = reports();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], ProcedureErrorText(ProcedureTag("Form1.PushButton7_Click"), 450,
                                     "SQLException: Numeric overflow. Data was lost."));
  EXPECT_EQ(target->executed.back(), "INSERT INTO [T] VALUES (3, 'T3');");
  EXPECT_EQ(ui.boxes.back().text, "Done.");
}

TEST_F(ConversionRunTest, ASecondPressDuringAYieldIsIgnored) {
  source->tables = {table("T", 3)};
  ConversionRun r(access, ui, window, state, usLocale());
  r.setYieldInterval(std::chrono::milliseconds(0));
  int nested = 0;
  ui.onYield = [&] {
    ++nested;
    r.StartConverting();
  };
  r.StartConverting();
  EXPECT_GT(nested, 0);
  EXPECT_EQ(target->executed.size(), 4u);
  int done = 0;
  for (const auto& b : ui.boxes) done += b.text == "Done.";
  EXPECT_EQ(done, 1);
}

TEST_F(ConversionRunTest, TableOfOnlyOleObjectsIsSkippedWithOneMessage) {
  MemoryTable pics{"Pictures", "TABLE", {{"Photo", ado::kLongVarBinary}}, {{Value(Bytes{1, 2})}, {Value(Bytes{3})}}};
  source->tables = {pics, table("T", 1)};
  run();
  EXPECT_EQ(target->executed.size(), 2u);  // T only
  int messages = 0;
  for (const auto& b : ui.boxes) messages += b.text == NoTransferableFieldMessage("Pictures");
  EXPECT_EQ(messages, 1);
  EXPECT_TRUE(reports().empty());
}

TEST_F(ConversionRunTest, PreviewPerFileListsEverythingAndExecutesNothing) {
  source->tables = {table("A", 1), table("B", 1), table("C", 1)};
  window.check1 = 1;
  window.option1 = true;
  ScriptedPreview preview;
  run(&preview);
  EXPECT_TRUE(target->executed.empty());
  ASSERT_EQ(preview.shown.size(), 1u);
  EXPECT_EQ(preview.shown[0].size(), 6u);
  EXPECT_EQ(preview.shown[0][0], "CREATE TABLE \"C\"([ID] INT,[Name] CHAR(254));");
  EXPECT_EQ(preview.conversionsSeen[0], 6u);
  EXPECT_TRUE(preview.targetOpen[0]);
  EXPECT_FALSE(state.FoxPro_conn->isOpen());
  EXPECT_EQ(ui.boxes.back().text, "Done.");
  EXPECT_TRUE(reports().empty());
}

TEST_F(ConversionRunTest, PreviewPerTableBackEndsTheRunAndSkipGoesOn) {
  source->tables = {table("A", 1), table("B", 2)};
  target->tables = {named("B")};
  ui.answers = {MessageAnswer::Yes};
  window.check1 = 1;
  window.option1 = false;
  window.option2 = true;
  ScriptedPreview stop;
  run(&stop);
  ASSERT_EQ(stop.shown.size(), 1u);  // "< Back" on B ended the run
  EXPECT_EQ(stop.shown[0],
            (std::vector<std::string>{"DROP TABLE \"B\"", "CREATE TABLE \"B\"([ID] INT,[Name] CHAR(254));",
                                      "INSERT INTO [B] VALUES (1, 'B1');", "INSERT INTO [B] VALUES (2, 'B2');"}));
  EXPECT_EQ(stop.conversionsSeen[0], 2u);

  ScriptedPreview skip;
  skip.skipTable = true;
  ui.answers = {MessageAnswer::Yes};
  run(&skip);
  ASSERT_EQ(skip.shown.size(), 2u);  // walked through both tables
  EXPECT_EQ(skip.shown[1].size(), 2u);
  EXPECT_TRUE(target->executed.empty());
}

TEST_F(ConversionRunTest, AnUnreachableTargetEndsTheRunSilently) {
  source->tables = {table("A", 1)};
  window.text2 = (dir / "nowhere").string();
  ConversionRun r(access, ui, window, state, usLocale());
  r.StartConverting();
  EXPECT_TRUE(r.endedAtTargetCheck());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.pointers.empty());
  EXPECT_FALSE(state.runInProgress);
}

TEST_F(ConversionRunTest, AMissingSourceFileIsReportedAndEveryStepGoesOn) {
  window.text5 = (dir / "missing.mdb").string();
  run();
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes[0].text, "Unable to access the database");
  // The source connection's open fails at its step, and closing it at the end fails too.
  auto r = reports();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_NE(r[0].find("at line 132"), std::string::npos);
  EXPECT_NE(r[1].find("at line 494"), std::string::npos);
  EXPECT_EQ(ui.boxes.back().text, "Done.");
}

// Records what the run tells its observer, and stops it when told to.
class RecordingObserver : public RunObserver {
 public:
  void tableSkipped(const std::string& table) override { events.push_back("skipped " + table); }
  void tableDone(const std::string& table, std::int64_t rows, int failures) override {
    events.push_back(table + " " + std::to_string(rows) + " rows " + std::to_string(failures) + " failures");
  }
  void rowsLost(const std::string& table, std::int64_t rows) override {
    events.push_back(table + " lost " + std::to_string(rows) + " rows");
  }
  bool stopRequested() override { return stopAfter >= 0 && ++asked > stopAfter; }
  std::vector<std::string> events;
  int stopAfter = -1;  // how many questions are answered "go on"; -1: never stop
  int asked = 0;
};

TEST_F(ConversionRunTest, TheObserverHearsEveryTableWithItsRowsAndFailures) {
  MemoryTable pics{"Pictures", "TABLE", {{"Photo", ado::kLongVarBinary}}, {{Value(Bytes{1})}}};
  source->tables = {pics, table("Kept", 1), table("Bad", 3), table("Good", 2)};
  target->tables = {named("kept")};
  target->onExecute = [](const std::string& s) {
    if (s == "INSERT INTO [Bad] VALUES (2, 'Bad2');") throw data::Failure("SQLException: Field is too long.");
  };
  RecordingObserver observer;
  ConversionRun r(access, ui, window, state, usLocale());
  r.setObserver(&observer);
  r.StartConverting();
  EXPECT_EQ(observer.events, (std::vector<std::string>{"Good 2 rows 0 failures", "Bad 2 rows 1 failures",
                                                       "skipped Kept", "skipped Pictures"}));
  // The window's behaviour is unchanged by the observer.
  EXPECT_EQ(ui.boxes.back().text, "Done.");
}

TEST_F(ConversionRunTest, AStopEndsTheRunBetweenRowsAndClosesEverything) {
  source->tables = {table("First", 2), table("Second", 5)};
  RecordingObserver observer;
  observer.stopAfter = 4;  // Second's table question and three row questions go on
  ConversionRun r(access, ui, window, state, usLocale());
  r.setObserver(&observer);
  r.StartConverting();
  EXPECT_EQ(observer.events, (std::vector<std::string>{"Second 3 rows 0 failures"}));
  EXPECT_EQ(target->executed.size(), 4u);  // CREATE TABLE and three rows of Second; nothing of First
  EXPECT_EQ(target->openSessions, 0);
  EXPECT_EQ(source->openSessions, 0);
  EXPECT_FALSE(state.runInProgress);
  EXPECT_EQ(window.progressCaption, "Progress Bar");
  EXPECT_TRUE(reports().empty());
}

data::Failure ending(const std::string& table) {
  data::Failure f(data::kErrTableUnusable, "SQLException: File is in use.");
  f.concerning(table);
  return f;
}

TEST_F(ConversionRunTest, AFailureThatEndsATableCostsOneReportAndTheNextTableGoesOn) {
  source->tables = {table("A", 2), table("B", 3), table("C", 2)};
  target->tables = {named("c")};
  ui.answers = {MessageAnswer::Yes};
  target->onExecute = [](const std::string& s) {
    if (s == "DROP TABLE \"C\"") throw ending("C");
    if (s == "INSERT INTO [B] VALUES (2, 'B2');") throw ending("B");
  };
  run();
  auto rep = reports();
  ASSERT_EQ(rep.size(), 2u);
  EXPECT_EQ(rep[0], ProcedureErrorText(ProcedureTag("Form1.PushButton7_Click"), 178,
                                       "SQLException: File is in use. (table \"C\")"));
  EXPECT_NE(rep[1].find("(table \"B\")"), std::string::npos);
  // Nothing more of C, no row of B after the failure, all of A.
  EXPECT_EQ(target->executed,
            (std::vector<std::string>{"DROP TABLE \"C\"", "CREATE TABLE \"B\"([ID] INT,[Name] CHAR(254));",
                                      "INSERT INTO [B] VALUES (1, 'B1');", "INSERT INTO [B] VALUES (2, 'B2');",
                                      "CREATE TABLE \"A\"([ID] INT,[Name] CHAR(254));",
                                      "INSERT INTO [A] VALUES (1, 'A1');", "INSERT INTO [A] VALUES (2, 'A2');"}));
}

TEST_F(ConversionRunTest, ARefusedValueNamesItsRowAndAnUnreadableTableCostsOneReport) {
  source->tables = {table("Gone", 2), table("T", 3)};
  target->onExecute = [](const std::string& s) {
    if (s != "INSERT INTO [T] VALUES (2, 'T2');") return;
    data::Failure f(data::kErrGeneric, "SQLException: Numeric overflow. Data was lost.");
    f.concerning("T", "ID");
    throw f;
  };
  // "Gone" vanishes between the listing and its reading.
  ui.onYield = [&] {
    if (window.list2.items.size() == 2 && source->tables.size() == 2) source->tables.erase(source->tables.begin());
  };
  run();
  auto rep = reports();
  ASSERT_EQ(rep.size(), 2u);
  EXPECT_EQ(rep[0],
            ProcedureErrorText(ProcedureTag("Form1.PushButton7_Click"), 450,
                               "SQLException: Numeric overflow. Data was lost. (table \"T\", column \"ID\", row 2)"));
  EXPECT_NE(rep[1].find("at line 184"), std::string::npos) << rep[1];
  EXPECT_EQ(target->executed.back(), "INSERT INTO [T] VALUES (3, 'T3');");
}

// The run on the real FoxPro engine, over a file system that fails on cue: a read-only
// folder and a full disk cost one report per table, and what reached the disk is a prefix.
class RunOnEngineTest : public ConversionRunTest {
 protected:
  void SetUp() override {
    ConversionRunTest::SetUp();
    access.registerProvider("vfpoledb.1", std::make_shared<vfp::FoxProProvider>(fs));
  }
  std::vector<std::int64_t> ids(const std::string& file) {
    std::vector<std::int64_t> out;
    vfp::TableReader reader(*vfp::testing::plainFs(), targetPath + "/" + file, "");
    for (std::vector<Value> row; reader.next(row);) out.push_back(row[0].as<std::int64_t>());
    return out;
  }
  std::shared_ptr<vfp::testing::FaultyFileSystem> fs = std::make_shared<vfp::testing::FaultyFileSystem>();
};

TEST_F(RunOnEngineTest, AReadOnlyFolderCostsOneReportPerTable) {
  source->tables = {table("Orders", 300), table("Items", 200)};
  fs->readOnly = true;
  run();
  auto rep = reports();
  ASSERT_EQ(rep.size(), 2u);
  EXPECT_EQ(rep[0].rfind("SQLException: Cannot create file. Cannot create \"", 0), 0u) << rep[0];
  EXPECT_NE(rep[0].find("Read-only file system. (table \"Items\")"), std::string::npos) << rep[0];
  EXPECT_NE(rep[1].find("(table \"Orders\")"), std::string::npos) << rep[1];
  EXPECT_TRUE(std::filesystem::is_empty(targetPath));
}

TEST_F(RunOnEngineTest, AFullDiskCostsOneReportAndLeavesAPrefix) {
  // The disk fills up at the second 4 MB batch: written at closing (20,000 rows), or at the
  // row that completes it (40,000). Rows of a lost batch whose statements had gone through
  // come off the count either way.
  for (int total : {20000, 40000}) {
    const std::string name = "T" + std::to_string(total);
    SCOPED_TRACE(name);
    source->tables = {table(name, total)};
    fs->writeBudget = 4600000;  // room for the engine's first 4 MB batch, not for the rest
    ui.boxes.clear();
    RecordingObserver observer;
    ConversionRun r(access, ui, window, state, usLocale());
    r.setObserver(&observer);
    r.StartConverting();
    auto rep = reports();
    ASSERT_EQ(rep.size(), 1u) << rep.back();
    EXPECT_EQ(rep[0].rfind("SQLException: Error writing to file. Cannot write \"", 0), 0u) << rep[0];
    EXPECT_NE(rep[0].find("No space left on device."), std::string::npos) << rep[0];
    EXPECT_NE(rep[0].find("were not saved. (table \"" + name + "\")"), std::string::npos) << rep[0];
    std::vector<std::int64_t> kept = ids("t" + std::to_string(total) + ".dbf");
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), 20000u);
    for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], static_cast<std::int64_t>(i + 1));
    std::int64_t counted = 0;
    for (const std::string& e : observer.events) {
      long long n = 0;
      if (std::sscanf(e.c_str(), (name + " %lld rows").c_str(), &n) == 1) counted += n;
      if (std::sscanf(e.c_str(), (name + " lost %lld rows").c_str(), &n) == 1) counted -= n;
    }
    EXPECT_EQ(counted, static_cast<std::int64_t>(kept.size()));
  }
}

// The last batch of a table is written at the next table's statement; when that write
// fails, the rows come off the earlier table's count and the failure is that table's.
TEST_F(RunOnEngineTest, ABatchLostAtTheNextTableComesOffTheEarlierTablesCount) {
  source->tables = {table("Items", 3), table("Orders", 300)};
  RecordingObserver observer;
  ui.onYield = [&] {
    if (!observer.events.empty()) fs->failWritesTo = "orders";
  };
  ConversionRun r(access, ui, window, state, usLocale());
  r.setYieldInterval(std::chrono::milliseconds(0));
  r.setObserver(&observer);
  r.StartConverting();
  EXPECT_EQ(observer.events, (std::vector<std::string>{"Orders 300 rows 0 failures", "Orders lost 300 rows",
                                                       "Items 3 rows 0 failures"}));
  auto rep = reports();
  ASSERT_EQ(rep.size(), 1u);
  EXPECT_NE(rep[0].find("at line 342"), std::string::npos) << rep[0];
  EXPECT_NE(rep[0].find("The last 300 rows inserted into"), std::string::npos) << rep[0];
  EXPECT_TRUE(ids("orders.dbf").empty());
  EXPECT_EQ(ids("items.dbf"), (std::vector<std::int64_t>{1, 2, 3}));
}

// Native mode: AutoNumbers keep their numbers and go on after the largest; a required
// field refuses nulls (that row is reported, with its number), every other field keeps them.
TEST_F(RunOnEngineTest, NativeTablesContinueTheirAutoNumbersAndKeepNullsWhereAccessDoes) {
  data::FieldInfo id{"ID", ado::kInteger, 10, 0, 0, 0, {{"ISAUTOINCREMENT", Value(true)}}};
  data::FieldInfo name{"Name", ado::kVarWChar, 0, 0, 20, 0, {}};
  data::FieldInfo note{"Note", ado::kVarWChar, 0, 0, 20, data::kFldIsNullable, {}};
  source->tables = {MemoryTable{
      "Items",
      "TABLE",
      {id, name, note},
      {{Value(7), Value("a"), Value()}, {Value(41), Value("b"), Value("x")}, {Value(12), Value(), Value("y")}}}};
  window.check2 = 1;
  run();
  const auto rep = reports();
  ASSERT_EQ(rep.size(), 1u);
  EXPECT_NE(rep[0].find("does not accept null values."), std::string::npos) << rep[0];
  EXPECT_NE(rep[0].find("row 3)"), std::string::npos) << rep[0];
  {
    vfp::Engine engine(vfp::testing::plainFs(), targetPath);
    engine.execute("INSERT INTO items (name) VALUES ('c')");
  }
  vfp::TableReader reader(*vfp::testing::plainFs(), targetPath + "/items.dbf", "");
  const auto& layout = reader.header().layout.fields;
  EXPECT_EQ(std::vector<bool>({layout[0].nullable, layout[1].nullable, layout[2].nullable}),
            std::vector<bool>({false, false, true}));
  std::vector<std::vector<Value>> rows;
  for (std::vector<Value> row; reader.next(row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<Value>{Value(std::int64_t{7}), Value("a"), Value()}));
  EXPECT_EQ(rows[1][0], Value(std::int64_t{41}));
  EXPECT_EQ(rows[2][0], Value(std::int64_t{42}));  // the numbering went on after the largest
}

// A Large Number keeps its row at both ends of its range, in N(20,0) (the Decimal(28,10)
// beside it goes through the converter in awkward_tables.py).
TEST_F(RunOnEngineTest, LargeNumbersKeepTheirRowsAtBothEnds) {
  source->tables = {MemoryTable{"Big",
                                "TABLE",
                                {{"ID", ado::kInteger}, {"Big", ado::kBigInt}},
                                {{Value(1), Value(std::int64_t{9223372036854775807})},
                                 {Value(2), Value(std::int64_t{-9223372036854775807 - 1})}}}};
  run();
  EXPECT_TRUE(reports().empty());
  vfp::TableReader reader(*vfp::testing::plainFs(), targetPath + "/big.dbf", "");
  std::vector<std::vector<Value>> rows;
  for (std::vector<Value> row; reader.next(row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], Value(Decimal{false, "9223372036854775807", 0}));
  EXPECT_EQ(rows[1][1], Value(Decimal{true, "9223372036854775808", 0}));
}

// A target that writes in a code page (and keeps names in another, as a database container
// may) and has notices about the values it had to change: the memory provider's session,
// with the code pages and one notice per INSERT of a value holding "?" .
class CodePageTarget : public data::Provider {
 public:
  CodePageTarget(std::shared_ptr<MemoryProvider> inner, int codePage, int nameCodePage = 0)
      : inner_(std::move(inner)), codePage_(codePage), nameCodePage_(nameCodePage) {}
  std::unique_ptr<data::Session> open(const data::ConnectionString& c, const data::ConnectionSettings& s) override {
    return std::make_unique<Session>(inner_->open(c, s), codePage_, nameCodePage_);
  }

 private:
  class Session : public data::Session {
   public:
    Session(std::unique_ptr<data::Session> inner, int codePage, int nameCodePage)
        : inner_(std::move(inner)), codePage_(codePage), nameCodePage_(nameCodePage) {}
    void execute(const std::string& statement) override {
      inner_->execute(statement);
      if (statement.rfind("INSERT INTO [", 0) == 0 && statement.find('?') != std::string::npos)
        notices_.push_back("changed " + statement.substr(13, statement.find(']') - 13));
    }
    std::unique_ptr<data::RowSource> openSchema(int schema) override { return inner_->openSchema(schema); }
    std::unique_ptr<data::RowSource> openRowset(const std::string& s) override { return inner_->openRowset(s); }
    void close() override { inner_->close(); }
    int codePage() const override { return codePage_; }
    int nameCodePage() const override { return nameCodePage_; }
    std::vector<std::string> takeNotices() override {
      std::vector<std::string> out;
      out.swap(notices_);
      return out;
    }

   private:
    std::unique_ptr<data::Session> inner_;
    int codePage_, nameCodePage_;
    std::vector<std::string> notices_;
  };
  std::shared_ptr<MemoryProvider> inner_;
  int codePage_, nameCodePage_;
};

TEST_F(ConversionRunTest, ColumnNamesFollowTheCodePageTheTargetWritesIn) {
  source->tables = {MemoryTable{"Города", "TABLE", {{"Город", ado::kVarWChar}, {"E-mail", ado::kVarWChar}}, {}}};
  access.registerProvider("vfpoledb.1", std::make_shared<CodePageTarget>(targetProvider, 1251));
  run();
  EXPECT_EQ(target->executed,
            (std::vector<std::string>{"CREATE TABLE \"Города\"([Город] CHAR(254),[E_mail] CHAR(254));"}));
  // A target that names no code page: Windows-1252, which holds no Cyrillic letter.
  target->tables.clear();
  target->executed.clear();
  access.registerProvider("vfpoledb.1", targetProvider);
  run();
  EXPECT_EQ(target->executed,
            (std::vector<std::string>{"CREATE TABLE \"Города\"([_____] CHAR(254),[E_mail] CHAR(254));"}));
  // Tables in code page 1250 inside a container that keeps its names in 1252: a letter
  // must be in both ("ó" is, "Ł" and "ź" are not).
  source->tables = {MemoryTable{"Miasta", "TABLE", {{"Miasto Łódź", ado::kVarWChar}}, {}}};
  target->tables.clear();
  target->executed.clear();
  access.registerProvider("vfpoledb.1", std::make_shared<CodePageTarget>(targetProvider, 1250, 1252));
  run();
  EXPECT_EQ(target->executed, (std::vector<std::string>{"CREATE TABLE \"Miasta\"([Miasto_ó] CHAR(254));"}));
  target->tables.clear();
  target->executed.clear();
  access.registerProvider("vfpoledb.1", std::make_shared<CodePageTarget>(targetProvider, 1250));
  run();
  EXPECT_EQ(target->executed, (std::vector<std::string>{"CREATE TABLE \"Miasta\"([MiastoŁó] CHAR(254));"}));
}

// A table whose texts the fake target below says it changed (they hold a "?").
MemoryTable marked(const std::string& name, int rows) {
  MemoryTable t = table(name, rows);
  for (auto& r : t.rows) r[1] = Value(name + "?");
  return t;
}

TEST_F(ConversionRunTest, ChangedValuesAreSaidOnceBeforeDone) {
  source->tables = {marked("A", 2), table("Plain", 1), marked("B", 1)};
  access.registerProvider("vfpoledb.1", std::make_shared<CodePageTarget>(targetProvider, 1252));
  run();
  ASSERT_GE(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[ui.boxes.size() - 2].text, "changed B\r\nchanged A\r\nchanged A");
  EXPECT_EQ(ui.boxes.back().text, "Done.");
  EXPECT_TRUE(reports().empty());
  // A run without changed values says nothing more than "Done.".
  source->tables = {table("Plain", 1)};
  ui.boxes.clear();
  run();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes.back().text, "Done.");
}

TEST_F(ConversionRunTest, ChangedValuesGoToTheNoticeHandlerAlsoAfterAPreviewThatExecuted) {
  source->tables = {marked("A", 1)};
  access.registerProvider("vfpoledb.1", std::make_shared<CodePageTarget>(targetProvider, 1252));
  // The preview window executes the statements itself, on the run's open connection.
  struct ExecutingPreview : PreviewWindow {
    void showModal(ConversionState& state) override {
      for (std::size_t i = 0; i < state.statements.size(); ++i)
        state.FoxPro_conn->Execute(std::string(state.statements.item(i)));
      state.SQLFormOK = true;
    }
  } preview;
  window.check1 = 1;
  window.option1 = true;
  std::vector<std::vector<std::string>> handed;
  ConversionRun r(access, ui, window, state, usLocale(), &preview);
  r.setYieldInterval(std::chrono::milliseconds(0));
  r.setNoticeHandler([&](const std::vector<std::string>& n) { handed.push_back(n); });
  r.StartConverting();
  EXPECT_EQ(handed, (std::vector<std::vector<std::string>>{{"changed A"}}));
  EXPECT_EQ(r.notices(), (std::vector<std::string>{"changed A"}));
  EXPECT_TRUE(r.valuesChanged());
  EXPECT_EQ(ui.boxes.back().text, "Done.");
  EXPECT_EQ(ui.boxes.size(), 1u);  // the handler, not a box, said it
}

// What the run itself changes or leaves out is said once per table: cut texts and rounded
// decimals as changed values, a renamed table and a left-out column as notices only.
TEST_F(ConversionRunTest, CutTextsRoundedDecimalsRenamedTablesAndLeftOutColumnsAreNoticed) {
  const std::string longText(300, 'x'), fullText(254, 'y');
  data::FieldInfo files{"Files", ado::kLongVarBinary};
  files.properties["Jet OLEDB:Complex Type"] = Value(std::string("Attachment"));
  MemoryTable odd{
      "Sales/Returns: Q1?",
      "TABLE",
      {{"Note", ado::kVarWChar}, {"Photo", ado::kLongVarBinary}, {"Big", ado::kDecimal, 28, 17}, files},
      {{Value(longText), Value(Bytes{1}), Value(Decimal{false, "56505085819424791296572280180", 18}), Null{}},
       {Value(fullText), Value(Bytes{2}), Value(Decimal{false, "50325", 3}), Null{}},
       {Value(longText), Null{}, Null{}, Null{}}}};
  source->tables = {odd, table("Sales_Returns_ Q1_", 1), table("con", 1)};
  std::vector<std::string> handed;
  ConversionRun r(access, ui, window, state, usLocale());
  r.setYieldInterval(std::chrono::milliseconds(0));
  r.setNoticeHandler([&](const std::vector<std::string>& n) { handed = n; });
  r.StartConverting();
  EXPECT_TRUE(reports().empty());
  EXPECT_EQ(target->executed.front(), "CREATE TABLE \"_con\"([ID] INT,[Name] CHAR(254));");
  EXPECT_EQ(target->executed[4], "CREATE TABLE \"Sales_Returns_ Q1_1\"([Note] CHAR(254),[Big] DOUBLE);");
  EXPECT_EQ(target->executed[5], "INSERT INTO [Sales_Returns_ Q1_1] VALUES ('" + std::string(254, 'x') +
                                     "', 56505085819.42479129657228018);");
  EXPECT_EQ(handed,
            (std::vector<std::string>{
                "Table con: written as _con, a name FoxPro can store as a file.",
                "Table Sales/Returns: Q1?: written as Sales_Returns_ Q1_1, a name FoxPro can store as a file.",
                "Table Sales/Returns: Q1?: columns Photo (OLE Object), Files (Attachment) were left out.",
                "Table Sales/Returns: Q1?: 2 values were longer than 254 characters and were cut.",
                "Table Sales/Returns: Q1?: 1 decimal value has more digits than a FoxPro double holds and "
                "was rounded."}));
  EXPECT_TRUE(r.valuesChanged());
  // Renamed and left out, nothing changed: notices, but no changed values.
  source->tables = {MemoryTable{"a|b", "TABLE", {{"ID", ado::kInteger}, {"Pic", ado::kLongVarBinary}}, {}}};
  target->tables.clear();
  r.StartConverting();
  EXPECT_EQ(handed.size(), 2u);
  EXPECT_FALSE(r.valuesChanged());
}

// A source table that cannot be read leaves the target's table of that name in place.
TEST_F(ConversionRunTest, AnUnreadableSourceTableDropsNothing) {
  source->tables = {table("Gone", 2)};
  target->tables = {named("gone")};
  ui.answers = {MessageAnswer::Yes};
  ui.onYield = [&] {
    if (window.list2.items.size() == 1) source->tables.clear();
  };
  run();
  EXPECT_TRUE(target->executed.empty());
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_NE(reports()[0].find("at line 184"), std::string::npos) << reports()[0];
}

}  // namespace
}  // namespace tw
