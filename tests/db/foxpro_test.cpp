// The FoxPro target: connection strings, the connection test and the table listing, over the
// real "vfpoledb.1" engine and over a recording provider.
#include "db/foxpro.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/vfp/container_catalog.h"
#include "platform/vfp/provider.h"
#include "support/fake_ui.h"

namespace tw {
namespace {

class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tw-foxpro-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    path = mkdtemp(buf.data());
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string path;
};

// A provider that records the strings it is opened with and lists the rows it is given.
class RecordingProvider : public data::Provider {
 public:
  std::vector<std::string> opened;
  std::vector<data::SchemaTable> rows;
  bool refuse = false;
  std::unique_ptr<data::Session> open(const data::ConnectionString& c, const data::ConnectionSettings& s) override {
    opened.push_back(c.text());
    cursorLocations.push_back(s.cursorLocation);
    if (refuse) throw data::Failure("File is in use.");
    return std::make_unique<Session>(*this);
  }
  std::vector<int> cursorLocations;

 private:
  struct Session : data::Session {
    explicit Session(RecordingProvider& p) : owner(p) {}
    void execute(const std::string&) override {}
    std::unique_ptr<data::RowSource> openSchema(int) override { return data::makeTablesSchema(owner.rows); }
    std::unique_ptr<data::RowSource> openRowset(const std::string&) override { throw data::Failure("no"); }
    RecordingProvider& owner;
  };
};

// The line numbers the reports of a listing name, in order.
std::vector<int> reportedLines(const FakeUi& ui, const std::string& tag) {
  std::vector<int> lines;
  std::regex line("at line ([0-9]+)");
  for (const auto& box : ui.boxes) {
    EXPECT_EQ(box.title, "Application Error");
    EXPECT_NE(box.text.find(tag), std::string::npos) << box.text;
    std::smatch m;
    if (std::regex_search(box.text, m, line)) lines.push_back(std::stoi(m[1]));
  }
  return lines;
}

TEST(FoxProConnectionStrings, DependOnTheDestinationKindAndKeepPathsVerbatim) {
  MainWindowModel w;
  w.text2 = "C:\\Data\\Fox Tables\\";
  w.dbcPath1 = "D:\\db\\main.dbc";
  w.optionDBC1 = false;
  EXPECT_EQ(FoxProTestConnectionString(w),
            "Provider=vfpoledb.1;Data Source=C:\\Data\\Fox Tables\\;Collating Sequence=general;");
  EXPECT_EQ(FoxProRunConnectionString(w),
            "Provider=vfpoledb.1;Data Source=C:\\Data\\Fox Tables\\;Collating Sequence=machine;");
  w.optionDBC1 = true;
  EXPECT_EQ(FoxProTestConnectionString(w),
            "Provider=vfpoledb.1;Data Source=D:\\db\\main.dbc;Collating Sequence=machine;");
  EXPECT_EQ(FoxProRunConnectionString(w),
            "Provider=vfpoledb.1;Data Source=D:\\db\\main.dbc;Collating Sequence=machine;");
  w.dbcPath1.clear();
  EXPECT_EQ(FoxProTestConnectionString(w), "Provider=vfpoledb.1;Data Source=;Collating Sequence=machine;");
}

TEST(IsValidFoxProConnection, OpensTheFolderThroughTheEngineAndNeverShowsOpenFailures) {
  data::DataAccess da;
  data::registerFoxProProvider(da);
  FakeUi ui;
  MainWindowModel w;
  Folder folder;
  w.text2 = folder.path;
  EXPECT_TRUE(IsValidFoxProConnection(da, ui, w));
  w.text2 = folder.path + "/missing";
  EXPECT_FALSE(IsValidFoxProConnection(da, ui, w));
  w.optionDBC1 = true;  // an empty container path
  EXPECT_FALSE(IsValidFoxProConnection(da, ui, w));
  w.dbcPath1 = folder.path + "/x.dbc";
  EXPECT_FALSE(IsValidFoxProConnection(da, ui, w));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(IsValidFoxProConnection, ReadsTheKindAtEveryCallAndUsesAServerSideCursor) {
  data::DataAccess da;
  auto provider = std::make_shared<RecordingProvider>();
  da.registerProvider("vfpoledb.1", provider);
  FakeUi ui;
  MainWindowModel w;
  w.text2 = "C:\\f";
  w.dbcPath1 = "C:\\d.dbc";
  EXPECT_TRUE(IsValidFoxProConnection(da, ui, w));
  w.optionDBC1 = true;
  EXPECT_TRUE(IsValidFoxProConnection(da, ui, w));
  provider->refuse = true;
  EXPECT_FALSE(IsValidFoxProConnection(da, ui, w));
  EXPECT_EQ(provider->opened,
            (std::vector<std::string>{"Provider=vfpoledb.1;Data Source=C:\\f;Collating Sequence=general;",
                                      "Provider=vfpoledb.1;Data Source=C:\\d.dbc;Collating Sequence=machine;",
                                      "Provider=vfpoledb.1;Data Source=C:\\d.dbc;Collating Sequence=machine;"}));
  EXPECT_EQ(provider->cursorLocations, (std::vector<int>{2, 2, 2}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(IsValidFoxProConnection, ReportsOnlyAFailureToCreateTheConnection) {
  data::DataAccess none;  // no data-access layer at all
  FakeUi ui;
  MainWindowModel w;
  EXPECT_FALSE(IsValidFoxProConnection(none, ui, w));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(reportedLines(ui, "Tavrel2021/08/31.Foxpro.IsValidFoxProConnection"), (std::vector<int>{102}));
  EXPECT_NE(ui.boxes[0].text.find("Provider cannot be found"), std::string::npos);
}

TEST(AddTablesToFoxproListbox, ListsTheEnginesTablesSortedYieldingOncePerName) {
  data::DataAccess da;
  data::registerFoxProProvider(da);
  Folder folder;
  {
    auto c = da.createConnection();
    c->Open("Provider=vfpoledb.1;Data Source=" + folder.path + ";");
    c->Execute("CREATE TABLE \"Orders\"([a] INT);");
    c->Execute("CREATE TABLE \"customers\"([a] INT);");
  }
  FakeUi ui;
  MainWindowModel w;
  w.text2 = folder.path;
  VectorTextList list{"stale"};
  AddTablesToFoxproListbox(da, ui, w, list);
  EXPECT_EQ(list.items, (std::vector<std::string>{"customers", "orders"}));
  EXPECT_EQ(ui.yields, 2);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(AddTablesToFoxproListbox, AContainerIsTestedAndListedWhenTheKindSaysSo) {
  data::DataAccess da;
  data::registerFoxProProvider(da);
  Folder folder;
  const std::string dbc = folder.path + "/Sales.dbc";
  vfp::createContainer(*vfp::makeRealFileSystem(false), dbc);
  {
    auto c = da.createConnection();
    c->Open("Provider=vfpoledb.1;Data Source=" + dbc + ";Collating Sequence=machine;");
    c->Execute("CREATE TABLE \"Orders\"([a] INT);");
    c->Execute("CREATE TABLE \"customers\"([a] INT);");
  }
  // A free table beside the container is not one of its tables.
  {
    auto c = da.createConnection();
    c->Open("Provider=vfpoledb.1;Data Source=" + folder.path + ";");
    c->Execute("CREATE TABLE \"loose\"([a] INT);");
  }
  FakeUi ui;
  MainWindowModel w;
  w.text2 = folder.path;
  w.dbcPath1 = dbc;
  w.optionDBC1 = true;
  EXPECT_TRUE(IsValidFoxProConnection(da, ui, w));
  VectorTextList list;
  AddTablesToFoxproListbox(da, ui, w, list);
  EXPECT_EQ(list.items, (std::vector<std::string>{"customers", "orders"}));
  w.optionDBC1 = false;
  AddTablesToFoxproListbox(da, ui, w, list);
  EXPECT_EQ(list.items, (std::vector<std::string>{"customers", "loose", "orders"}));
  w.optionDBC1 = true;
  w.dbcPath1 = folder.path + "/other.dbc";
  EXPECT_FALSE(IsValidFoxProConnection(da, ui, w));
  EXPECT_TRUE(ui.boxes.empty());
  // Through the folder, the container's tables are seen but neither filled nor dropped.
  auto c = da.createConnection();
  c->Open("Provider=vfpoledb.1;Data Source=" + folder.path + ";");
  EXPECT_THROW(c->Execute("INSERT INTO orders VALUES (1)"), data::Failure);
  try {
    c->Execute("DROP TABLE orders");
    ADD_FAILURE() << "a container's table was dropped as a free table";
  } catch (const data::Failure& f) {
    EXPECT_EQ(f.description(),
              "SQLException: Table \"orders.dbf\" belongs to the database container \"sales.dbc\"; "
              "drop it through the container. (table \"orders\")");
  }
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/orders.dbf"));
}

TEST(AddTablesToFoxproListbox, KeepsOnlyRowsOfTypeTableExactly) {
  data::DataAccess da;
  auto provider = std::make_shared<RecordingProvider>();
  provider->rows = {{"a", "TABLE"}, {"v", "VIEW"}, {"s", "SYSTEM TABLE"}, {"t", "table"}, {"b", "TABLE"}};
  da.registerProvider("vfpoledb.1", provider);
  FakeUi ui;
  MainWindowModel w;
  w.optionDBC1 = true;
  w.dbcPath1 = "C:\\d.dbc";
  VectorTextList list;
  AddTablesToFoxproListbox(da, ui, w, list);
  EXPECT_EQ(list.items, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(provider->opened,
            (std::vector<std::string>{"Provider=vfpoledb.1;Data Source=C:\\d.dbc;Collating Sequence=machine;"}));
}

TEST(AddTablesToFoxproListbox, AMissingFolderReportsEachFailedStepAndEndsTheLoop) {
  data::DataAccess da;
  data::registerFoxProProvider(da);
  FakeUi ui;
  MainWindowModel w;
  w.text2 = "/nonexistent/tw-foxpro";
  VectorTextList list{"kept?"};
  AddTablesToFoxproListbox(da, ui, w, list);
  EXPECT_EQ(reportedLines(ui, "Tavrel2021/08/31.Foxpro.AddTablesToFoxproListbox"),
            (std::vector<int>{110, 112, 116, 126, 130}));
  EXPECT_NE(ui.boxes[0].text.find("/nonexistent/tw-foxpro"), std::string::npos)
      << "the open failure names the folder";
  EXPECT_TRUE(list.items.empty()) << "the list is cleared before the loop";
}

TEST(AddTablesToFoxproListbox, ADamagedTableIsListedAndReportedOnceAndTheListingGoesOn) {
  data::DataAccess da;
  data::registerFoxProProvider(da);
  Folder folder;
  {
    auto c = da.createConnection();
    c->Open("Provider=vfpoledb.1;Data Source=" + folder.path + ";");
    for (const char* t : {"a", "b", "c"}) c->Execute(std::string("CREATE TABLE \"") + t + "\"([x] INT);");
  }
  std::ofstream(folder.path + "/b.dbf", std::ios::trunc) << "not a table";
  FakeUi ui;
  MainWindowModel w;
  w.text2 = folder.path;
  VectorTextList list;
  AddTablesToFoxproListbox(da, ui, w, list);
  EXPECT_EQ(list.items, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(reportedLines(ui, "Foxpro.AddTablesToFoxproListbox"), (std::vector<int>{124}));
  EXPECT_NE(ui.boxes[0].text.find("Table \"b.dbf\" has become corrupted"), std::string::npos) << ui.boxes[0].text;
}

}  // namespace
}  // namespace tw
