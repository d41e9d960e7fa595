#include "db/access.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/jet/provider.h"
#include "support/fake_ui.h"

namespace tw {
namespace {

const std::string kCorpus = std::string(TW_SHARED_DIR) + "/corpus/access/";

struct StringCase {
  const char* path;
  const char* password;
  const char* expected;
};

TEST(AccessConnectionString, ChoosesTheProviderByTheLastFiveCharacters) {
  const StringCase cases[] = {
      {"C:\\db\\a.accdb", "pw",
       "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\db\\a.accdb;JET OLEDB:Database Password=pw"},
      {"C:\\DB\\A.ACCDB", "",
       "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\DB\\A.ACCDB;JET OLEDB:Database Password="},
      {"accdb", "", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=accdb;JET OLEDB:Database Password="},
      {"x.mdb", "", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb;JET OLEDB:Database Password="},
      {"a.accde", "p", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=a.accde;JET OLEDB:Database Password=p"},
      {"a.accdb ", "", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=\"a.accdb \";JET OLEDB:Database Password="},
      // Values that hold ";", "=", quotes or outer blanks go in quotes and arrive whole.
      {"a;b.mdb", "p;w",
       "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=\"a;b.mdb\";JET OLEDB:Database Password=\"p;w\""},
      {"/x/it's.accdb", "a=\"b\"",
       "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=\"/x/it's.accdb\";JET OLEDB:Database Password='a=\"b\"'"},
  };
  MainWindowModel window;
  window.text5 = "ignored.accdb";
  window.text6 = "ignored";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(AccessConnectionString(window, c.path, c.password), c.expected);
  }
}

TEST(AccessConnectionString, EmptyPathTakesPathAndPasswordFromTheWindow) {
  MainWindowModel window;
  window.text5 = "/data/Shop.AccDb";
  window.text6 = "secret";
  EXPECT_EQ(AccessConnectionString(window, "", "other"),
            "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/data/Shop.AccDb;JET OLEDB:Database Password=secret");
  window.text5 = "";
  window.text6 = "";
  EXPECT_EQ(AccessConnectionString(window),
            "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=;JET OLEDB:Database Password=");
}

TEST(FileExists, FilesAndFoldersButNotMissingOrEmptyPaths) {
  auto dir = std::filesystem::temp_directory_path() / "tw_access_exists";
  std::filesystem::create_directories(dir);
  auto file = dir / "a.mdb";
  std::ofstream(file) << "x";
  EXPECT_TRUE(FileExists(file.string()));
  EXPECT_TRUE(FileExists(dir.string()));
  EXPECT_FALSE(FileExists((dir / "missing.mdb").string()));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(std::string("bad\0path", 8)));
  std::filesystem::remove_all(dir);
}

// A provider that counts how often it is asked to open.
class CountingProvider : public data::Provider {
 public:
  std::unique_ptr<data::Session> open(const data::ConnectionString&, const data::ConnectionSettings&) override {
    ++opens;
    throw data::Failure("not expected to open");
  }
  int opens = 0;
};

TEST(GetAccessTables, MissingFileGivesNoListAndNoConnectionAttempt) {
  data::DataAccess dataAccess;
  auto counting = std::make_shared<CountingProvider>();
  dataAccess.registerProvider(jet::kJetProviderName, counting);
  MainWindowModel window;
  window.text5 = "/no/such/file.mdb";
  EXPECT_FALSE(GetAccessTables(dataAccess, window, window.text5).has_value());
  EXPECT_EQ(counting->opens, 0);

  FakeUi ui;
  window.list2.items = {"stale"};
  AddTablesToAccessListbox(dataAccess, ui, window, window.List2(), window.text5);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Unable to access the database");
  EXPECT_EQ(ui.boxes[0].title, ui.applicationTitle());
  EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::Ok);
  EXPECT_TRUE(window.list2.items.empty());
  EXPECT_EQ(counting->opens, 0);
}

class AccessListing : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kCorpus)) GTEST_SKIP() << "Access corpus not present at " << kCorpus;
    jet::registerAccessProviders(dataAccess);
  }
  data::DataAccess dataAccess;
  MainWindowModel window;
  FakeUi ui;
};

TEST_F(AccessListing, ListsOnlyUserTablesInSchemaOrderYieldingPerName) {
  window.text5 = kCorpus + "jackcess/V2003/testV2003.mdb";
  window.list2.items = {"old"};
  AddTablesToAccessListbox(dataAccess, ui, window, window.List2(), window.text5);
  EXPECT_EQ(window.list2.items, (std::vector<std::string>{"Table1", "Table2", "Table3", "Table4"}));
  EXPECT_EQ(ui.yields, 4);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccessListing, CompactionLeftoversAndSystemTablesAreNotListed) {
  // This file also holds MSysCompactError, a table with no system flag.
  window.text5 = kCorpus + "jackcess/V2007/compIndexTestV2007.accdb";
  auto names = GetAccessTables(dataAccess, window, window.text5);
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names, std::vector<std::string>{"Table1"});
}

TEST_F(AccessListing, DatabaseWithOnlySystemTablesGivesAnEmptyListAndNoMessage) {
  window.text5 = kCorpus + "jackcess/templates/empty2019.accdb";
  window.list2.items = {"old"};
  AddTablesToAccessListbox(dataAccess, ui, window, window.List2(), window.text5);
  EXPECT_TRUE(window.list2.items.empty());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.yields, 0);
}

TEST_F(AccessListing, ProviderFailuresPassToTheCaller) {
  window.text5 = kCorpus + "mdb-reader/password/data/V2003_with-password.mdb";
  window.text6 = "wrong";
  try {
    GetAccessTables(dataAccess, window, window.text5);
    FAIL() << "expected a failure";
  } catch (const data::Failure& f) {
    EXPECT_EQ(f.description(), "Not a valid password.");
  }
  window.text6 = "password";
  auto names = GetAccessTables(dataAccess, window, window.text5);
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names, std::vector<std::string>{"Table1"});

  auto text = std::filesystem::temp_directory_path() / "tw_not_access.mdb";
  std::ofstream(text) << std::string(5000, 'x');
  window.text5 = text.string();
  window.text6 = "";
  try {
    AddTablesToAccessListbox(dataAccess, ui, window, window.List2(), window.text5);
    FAIL() << "expected a failure";
  } catch (const data::Failure& f) {
    EXPECT_EQ(f.description(), "Unrecognized database format '" + text.string() + "'.");
  }
  EXPECT_TRUE(ui.boxes.empty());
  std::filesystem::remove(text);
}

TEST_F(AccessListing, ThePathArgumentIsTestedButTheWindowPathIsOpened) {
  // The existence test looks at the argument; the connection string comes from the window.
  window.text5 = kCorpus + "jackcess/V2000/delTestV2000.mdb";
  auto names = GetAccessTables(dataAccess, window, kCorpus + "jackcess/V2003/testV2003.mdb");
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names, std::vector<std::string>{"Table"});
}

}  // namespace
}  // namespace tw
