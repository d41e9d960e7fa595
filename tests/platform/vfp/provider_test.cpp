// The "vfpoledb.1" provider: opening folders, the tables listing with damaged tables in it,
// INSERTs into damaged tables, file-system failures, and reading tables back.
#include <gtest/gtest.h>

#include "platform/data_access.h"
#include "platform/vfp/dbf_format.h"
#include "platform/vfp/provider.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;
using tw::data::Failure;

namespace {

std::string connectionTo(const std::string& folder, const char* sequence = "machine") {
  return "Provider=vfpoledb.1;Data Source=" + folder + ";Collating Sequence=" + sequence + ";";
}

struct Listing {
  std::vector<std::string> names;
  std::vector<std::string> failures;  // in order, each after the row it concerns
  std::vector<std::size_t> failedAfter;
};

Listing listTables(tw::data::Connection& connection) {
  Listing out;
  auto rs = connection.OpenSchema(tw::data::kSchemaTables);
  while (!rs->Eof()) {
    EXPECT_EQ(rs->value("TABLE_TYPE"), tw::Value("TABLE"));
    out.names.push_back(rs->value("TABLE_NAME").as<std::string>());
    try {
      rs->MoveNext();
    } catch (const Failure& f) {
      out.failures.push_back(f.description());
      out.failedAfter.push_back(out.names.size());
    }
  }
  return out;
}

class ProviderTest : public ::testing::Test {
 protected:
  void SetUp() override { tw::data::registerFoxProProvider(dataAccess); }
  std::unique_ptr<tw::data::Connection> open(const std::string& folder, const char* sequence = "machine") {
    auto c = dataAccess.createConnection();
    c->Open(connectionTo(folder, sequence));
    return c;
  }
  tw::data::DataAccess dataAccess;
  ScratchFolder dir;
};

TEST_F(ProviderTest, OpeningRefusesMissingFoldersFilesAndContainersWithTheirPath) {
  std::string missing = dir.file("nowhere");
  auto c = dataAccess.createConnection();
  EXPECT_EQ(failureOf([&] { c->Open(connectionTo(missing)); }),
            "Cannot open the FoxPro folder \"" + missing + "\": it does not exist.");
  writeBytes(dir.file("plain.txt"), {1, 2, 3});
  EXPECT_EQ(failureOf([&] { c->Open(connectionTo(dir.file("plain.txt"))); }),
            "Cannot open the FoxPro folder \"" + dir.file("plain.txt") + "\": it is not a folder.");
  EXPECT_EQ(failureOf([&] { c->Open(connectionTo(dir.file("db.DBC"))); }),
            "Cannot open the database container \"" + dir.file("db.DBC") + "\": it does not exist.");
  EXPECT_NE(failureOf([&] {
              c->Open("Provider=vfpoledb.1;Data Source=;Collating Sequence=machine;");
            }).find("no Data Source"),
            std::string::npos);
  EXPECT_FALSE(c->isOpen());
  // Keys in any case, and the collating sequence is kept.
  auto provider = std::make_shared<FoxProProvider>();
  tw::data::DataAccess own;
  own.registerProvider("VFPOLEDB.1", provider);
  auto d = own.createConnection();
  d->Open("provider=VfpOleDb.1;DATA SOURCE=" + dir.path() + ";collating sequence=general");
  EXPECT_EQ(provider->lastCollatingSequence(), "general");
}

TEST_F(ProviderTest, ListsOneRowPerTableSortedByNameAndFlushesPendingRowsFirst) {
  auto c = open(dir.path(), "general");
  for (const char* name : {"Zeta", "alpha", "Mid Table"})
    c->Execute(std::string("CREATE TABLE \"") + name + "\"([a] INT);");
  c->Execute("INSERT INTO [alpha] VALUES (1)");
  writeBytes(dir.file("notes.txt"), {'x'});
  Listing l = listTables(*c);
  EXPECT_EQ(l.names, (std::vector<std::string>{"alpha", "mid table", "zeta"}));
  EXPECT_TRUE(l.failures.empty());
  // The listing wrote the pending row out.
  auto bytes = readBytes(dir.file("alpha.dbf"));
  EXPECT_EQ(getLe32(&bytes[4]), 1u);
}

// Damage done to a good table with five rows.
struct Damage {
  const char* name;
  void (*apply)(const std::string& dbf, const std::string& fpt);
  const char* reason;  // a part of the failure's text
};

std::vector<std::uint8_t> withByte(std::vector<std::uint8_t> b, std::size_t at, std::uint8_t v) {
  b[at] = v;
  return b;
}

class DamagedTables : public ProviderTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedTables, AreReportedByTheListingAndByAnInsertWithoutStoppingEither) {
  const Damage& d = GetParam();
  {
    auto c = open(dir.path());
    c->Execute("CREATE TABLE \"bad\"([a] INT,[m] MEMO);");
    for (int i = 0; i < 5; ++i) c->Execute("INSERT INTO [bad] VALUES (" + std::to_string(i) + ", 'memo')");
    c->Execute("CREATE TABLE \"good\"([a] INT);");
    c->Execute("CREATE TABLE \"after\"([a] INT);");
  }
  d.apply(dir.file("bad.dbf"), dir.file("bad.fpt"));

  auto c = open(dir.path());
  Listing l = listTables(*c);
  EXPECT_EQ(l.names, (std::vector<std::string>{"after", "bad", "good"})) << "the damaged table is still offered";
  ASSERT_EQ(l.failures.size(), 1u);
  EXPECT_EQ(l.failedAfter[0], 2u) << "the failure follows the damaged table's row";
  EXPECT_EQ(l.failures[0].rfind("Table \"bad.dbf\" has become corrupted: ", 0), 0u) << l.failures[0];
  EXPECT_NE(l.failures[0].find(d.reason), std::string::npos) << l.failures[0];

  std::string insert = failureOf([&] { c->Execute("INSERT INTO [bad] VALUES (9, 'x')"); });
  EXPECT_EQ(insert.rfind("SQLException: Table \"bad.dbf\" has become corrupted: ", 0), 0u) << insert;
  EXPECT_NE(insert.find(d.reason), std::string::npos) << insert;
  // Other tables go on working, and the damaged one can be dropped and made anew.
  c->Execute("INSERT INTO [good] VALUES (1)");
  c->Execute("DROP TABLE \"bad\"");
  c->Execute("CREATE TABLE \"bad\"([a] INT);");
  c->Execute("INSERT INTO [bad] VALUES (1)");
  EXPECT_TRUE(listTables(*c).failures.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Provider, DamagedTables,
    ::testing::Values(
        Damage{"truncated",
               [](const std::string& dbf, const std::string&) {
                 auto b = readBytes(dbf);
                 b.resize(b.size() - 8);
                 writeBytes(dbf, b);
               },
               "counts 5 records but the file holds only 4"},
        Damage{"countLargerThanTheFile",
               [](const std::string& dbf, const std::string&) { writeBytes(dbf, withByte(readBytes(dbf), 4, 200)); },
               "counts 200 records"},
        Damage{"headerLengthWrong",
               [](const std::string& dbf, const std::string&) {
                 auto b = readBytes(dbf);
                 putLe16(&b[8], getLe16(&b[8]) + 32);
                 writeBytes(dbf, b);
               },
               "does not match its 3 field descriptors"},
        Damage{"backlinkMissing",
               [](const std::string& dbf, const std::string&) {
                 auto b = readBytes(dbf);
                 std::size_t hl = getLe16(&b[8]);
                 b.erase(b.begin() + static_cast<long>(hl - 263), b.begin() + static_cast<long>(hl));
                 putLe16(&b[8], static_cast<std::uint32_t>(hl - 263));
                 writeBytes(dbf, b);
               },
               "header length"},
        Damage{"recordLengthWrong",
               [](const std::string& dbf, const std::string&) { writeBytes(dbf, withByte(readBytes(dbf), 10, 99)); },
               "record length 99"},
        Damage{"shorterThanAHeader",
               [](const std::string& dbf, const std::string&) {
                 auto b = readBytes(dbf);
                 b.resize(20);
                 writeBytes(dbf, b);
               },
               "shorter than a table header"},
        Damage{"empty", [](const std::string& dbf, const std::string&) { writeBytes(dbf, {}); }, "shorter"},
        Damage{"unknownFieldType",
               [](const std::string& dbf, const std::string&) {
                 writeBytes(dbf, withByte(readBytes(dbf), 32 + 11, 'Z'));
               },
               "unknown type"},
        Damage{"noEndOfFieldList",
               [](const std::string& dbf, const std::string&) {
                 auto b = readBytes(dbf);
                 std::size_t hl = getLe16(&b[8]);
                 for (std::size_t i = 32 + 3 * 32; i < hl; ++i) b[i] = 'A';
                 writeBytes(dbf, b);
               },
               "field"},
        Damage{"memoFileMissing", [](const std::string&, const std::string& fpt) { std::filesystem::remove(fpt); },
               "memo file"},
        Damage{"memoHeaderBroken",
               [](const std::string&, const std::string& fpt) {
                 auto b = readBytes(fpt);
                 b[6] = b[7] = 0;
                 writeBytes(fpt, b);
               },
               "block size is 0"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST_F(ProviderTest, FileSystemFailuresGiveVfpsTextThenTheFileTheCauseAndTheTable) {
  auto fs = std::make_shared<FaultyFileSystem>();
  tw::data::DataAccess own;
  own.registerProvider("vfpoledb.1", std::make_shared<FoxProProvider>(fs));
  auto c = own.createConnection();
  c->Open(connectionTo(dir.path()));

  fs->refuseOpen = "/~tw";  // the new table's file, made under a unique name
  fs->openError = EACCES;
  std::string e = failureOf([&] { c->Execute("CREATE TABLE \"denied\"([a] INT);"); });
  const std::string start = "SQLException: Cannot create file. Cannot create \"" + dir.file("~tw");
  const std::string end = ".tmp\": Permission denied. (table \"denied\")";
  EXPECT_EQ(e.substr(0, start.size()) + "..." + e.substr(e.size() - end.size()), start + "..." + end);
  EXPECT_FALSE(std::filesystem::exists(dir.file("denied.dbf")));

  fs->refuseOpen.clear();
  fs->writeBudget = 100;  // the disk fills up while the header is written
  e = failureOf([&] { c->Execute("CREATE TABLE \"full\"([a] INT,[m] MEMO);"); });
  EXPECT_EQ(e.rfind("SQLException: Cannot create file. ", 0), 0u) << e;
  EXPECT_NE(e.find("No space left on device"), std::string::npos) << e;
  EXPECT_NE(e.find(dir.path()), std::string::npos) << e;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a table that could not be made leaves no files";

  fs->writeBudget = -1;
  c->Execute("CREATE TABLE \"full\"([a] INT,[m] MEMO);");
  fs->writeBudget = 0;
  c->Execute("INSERT INTO [full] VALUES (1, 'kept in memory')");
  // Closing writes the batch out; its failure is reported, and the connection is closed.
  e = failureOf([&] { c->Close(); });
  EXPECT_NE(e.find("No space left on device"), std::string::npos) << e;
  EXPECT_NE(e.find("The last 1 rows inserted into \"" + dir.file("full.dbf") + "\" were not saved."),
            std::string::npos)
      << e;
  EXPECT_FALSE(c->isOpen());
  fs->writeBudget = -1;
  auto d = own.createConnection();
  d->Open(connectionTo(dir.path()));
  auto rs = std::make_unique<tw::data::Recordset>();
  rs->Open("SELECT * FROM `full`", *d);
  EXPECT_TRUE(rs->Eof()) << "the lost row is not half there";
}

TEST_F(ProviderTest, RecordSetFieldNamesComeBackAsUtf8) {
  auto c = open(dir.path());
  c->Execute(
      "CREATE TABLE \"t\"([Gr\xC3\xB6\xC3\x9F"
      "e] CHAR(10));");
  auto rs = std::make_unique<tw::data::Recordset>();
  rs->Open("SELECT * FROM `t`", *c);
  EXPECT_EQ(rs->field(0).name,
            "gr\xC3\xB6\xC3\x9F"
            "e");
}

TEST_F(ProviderTest, RecordSetsReadTablesBack) {
  auto c = open(dir.path());
  c->Execute("CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(20),[Notes] MEMO,[Price] N(12,2),[Paid] L);");
  c->Execute("INSERT INTO [Orders] VALUES (7, 'O''Neil', NULL, 3.25, .T.);");
  c->Execute("INSERT INTO [Orders] VALUES (8, 'Zo\xC3\xAB', 'memo', -0.5, .F.);");
  auto rs = std::make_unique<tw::data::Recordset>();
  rs->Open("SELECT * FROM `orders`", *c);
  EXPECT_EQ(rs->RecordCount(), 2);
  ASSERT_EQ(rs->fieldCount(), 5);
  EXPECT_EQ(rs->field(0), (tw::data::FieldInfo{"orderid", 3, 0, 0}));
  EXPECT_EQ(rs->field(3), (tw::data::FieldInfo{"price", 131, 12, 2}));
  EXPECT_EQ(rs->row(),
            (std::vector<tw::Value>{std::int64_t{7}, "O'Neil", tw::Value(), tw::Decimal{false, "325", 2}, true}));
  rs->MoveNext();
  EXPECT_EQ(rs->value("customer"), tw::Value("Zo\xC3\xAB"));
  EXPECT_EQ(rs->value("notes"), tw::Value("memo"));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(failureOf([&] {
              rs->Close();
              rs->Open("SELECT * FROM `nosuch`", *c);
            }),
            "SQLException: File \"nosuch.dbf\" does not exist.");
}

}  // namespace
