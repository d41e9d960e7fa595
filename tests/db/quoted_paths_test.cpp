// Paths and passwords holding ";", "=", quotes or outer blanks reach the providers whole:
// the Access source, its password and the FoxPro folder are the ones named, never a file
// or folder that a cut-off value would name instead.
#include <gtest/gtest.h>

#include <filesystem>

#include "db/access.h"
#include "db/foxpro.h"
#include "platform/fake_ui.h"
#include "platform/jet/provider.h"
#include "platform/jet/writer.h"
#include "platform/vfp/provider.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class QuotedPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tw-quoted-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    jet::registerAccessProviders(access);
    data::registerFoxProProvider(access);
  }
  void TearDown() override { fs::remove_all(dir); }

  // A database with one table of that name and one row.
  void makeDatabase(const fs::path& path, const std::string& table, const std::string& password) {
    jet::DatabaseSettings settings;
    settings.password = password;
    jet::MdbWriter writer(path.string(), settings);
    jet::TableDefinition def{table, {{"ID", jet::FieldKind::Long}}};
    int t = writer.addTable(def);
    writer.appendRow(t, {Value(std::int64_t{1})});
    writer.finish();
  }

  fs::path dir;
  data::DataAccess access;
  FakeUi ui;
  MainWindowModel window;
};

TEST_F(QuotedPaths, TheSourceAndItsPasswordArriveWhole) {
  // "db;v2.mdb" cut at its ";" would name the file "db", which exists here too.
  makeDatabase(dir / "db", "Decoy", "");
  const std::string password = "p;w='x\"";
  makeDatabase(dir / "db;v2.mdb", "Wanted", password);
  window.text5 = (dir / "db;v2.mdb").string();
  window.text6 = password;
  auto tables = GetAccessTables(access, window, window.text5);
  ASSERT_TRUE(tables.has_value());
  EXPECT_EQ(*tables, std::vector<std::string>{"Wanted"});

  // The wrong password is still refused.
  window.text6 = "p";
  try {
    GetAccessTables(access, window, window.text5);
    ADD_FAILURE() << "a wrong password opened the database";
  } catch (const data::Failure& f) {
    EXPECT_EQ(f.description(), "Not a valid password.");
  }
}

TEST_F(QuotedPaths, TheFoxProFolderArrivesWhole) {
  const fs::path wanted = dir / "out;2024";
  fs::create_directories(wanted);
  fs::create_directories(dir / "out");
  window.text2 = wanted.string();
  EXPECT_TRUE(IsValidFoxProConnection(access, ui, window));
  auto target = access.createConnection();
  target->Open(FoxProRunConnectionString(window));
  target->Execute("CREATE TABLE Orders (ID I)");
  target->Execute("INSERT INTO Orders VALUES (1)");
  target->Close();
  EXPECT_TRUE(fs::exists(wanted / "orders.dbf"));
  EXPECT_TRUE(fs::is_empty(dir / "out"));
  VectorTextList list;
  AddTablesToFoxproListbox(access, ui, window, list);
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.item(0), "orders");
  EXPECT_TRUE(ui.boxes.empty());

  // Only the folder named counts: without "out;2024" the test fails even though "out" exists.
  window.text2 = (dir / "out;2025").string();
  EXPECT_FALSE(IsValidFoxProConnection(access, ui, window));
}

}  // namespace
}  // namespace tw
