// The Access reader and provider on chosen corpus files and on hand-made inputs: passwords,
// failure descriptions, the statement form, the catalog's object kinds, complex columns,
// rows on overflow pages, and the text decoders of the format module.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QString>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "platform/data_access.h"
#include "platform/jet/format.h"
#include "platform/jet/provider.h"
#include "platform/jet/reader.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
const std::string kCorpus = std::string(TW_SHARED_DIR) + "/corpus/access/";

#define REQUIRE_CORPUS() \
  if (!fs::exists(kCorpus)) GTEST_SKIP() << "Access corpus not present at " << kCorpus

std::string failureOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const data::Failure& e) {
    return e.description();
  }
  return "<no failure>";
}

class Provider : public ::testing::Test {
 protected:
  Provider() { jet::registerAccessProviders(dataAccess); }
  std::unique_ptr<data::Connection> open(const std::string& path, const std::string& password = "",
                                         const std::string& provider = "Microsoft.Jet.OLEDB.4.0") {
    auto c = dataAccess.createConnection();
    c->Open("Provider=" + provider + ";Data Source=" + path + ";Jet OLEDB:Database Password=" + password);
    return c;
  }
  std::vector<std::vector<Value>> readAll(data::Connection& c, const std::string& table) {
    data::Recordset rs;
    rs.Open("SELECT * FROM `" + table + "`", c);
    std::vector<std::vector<Value>> rows;
    for (; !rs.Eof(); rs.MoveNext()) rows.push_back(rs.row());
    EXPECT_EQ(static_cast<std::int64_t>(rows.size()), rs.RecordCount());
    return rows;
  }
  data::DataAccess dataAccess;
};

TEST_F(Provider, PasswordFilesOpenOnlyWithTheirPassword) {
  REQUIRE_CORPUS();
  const char* withPassword[] = {
      "mdb-reader/password/data/V2000_with-password.mdb", "mdb-reader/password/data/V2003_with-password.mdb",
      "mdb-reader/password/data/V2010_with-password.accdb", "mdb-reader/encryption/data/office-agile-4.2.accdb",
      "mdb-reader/encryption/data/office-agile-4.4.accdb"};
  for (const char* f : withPassword) {
    SCOPED_TRACE(f);
    const std::string path = kCorpus + f;
    EXPECT_EQ(failureOf([&] { open(path, ""); }), "Not a valid password.");
    EXPECT_EQ(failureOf([&] { open(path, "Password"); }), "Not a valid password.");
    auto c = open(path, "password");
    auto rows = readAll(*c, "Table1");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][1], Value("One"));
  }
  // No stored password: any password is accepted.
  for (const char* f :
       {"mdb-reader/password/data/V2003_no-password.mdb", "mdb-reader/password/data/V1997_no-password.mdb",
        "mdb-reader/password/data/V2010_no-password.accdb"}) {
    SCOPED_TRACE(f);
    EXPECT_NO_THROW(open(kCorpus + f, "anything"));
  }
}

TEST_F(Provider, OpenFailuresNameTheFileAndTheCause) {
  auto dir = fs::temp_directory_path() / "tw_reader_test";
  fs::create_directories(dir);
  const std::string missing = (dir / "missing.mdb").string();
  EXPECT_EQ(failureOf([&] { open(missing); }), "Could not find file '" + missing + "'.");

  const std::string text = (dir / "notes.mdb").string();
  std::ofstream(text) << std::string(10000, 'a');
  EXPECT_EQ(failureOf([&] { open(text); }), "Unrecognized database format '" + text + "'.");

  const std::string tiny = (dir / "tiny.accdb").string();
  std::ofstream(tiny) << "x";
  EXPECT_EQ(failureOf([&] { open(tiny); }), "Unrecognized database format '" + tiny + "'.");

  EXPECT_NE(failureOf([&] { open(dir.string()); }).find("folder"), std::string::npos);

  if (::geteuid() != 0) {
    const std::string locked = (dir / "locked.mdb").string();
    std::ofstream(locked) << "x";
    fs::permissions(locked, fs::perms::none);
    std::string d = failureOf([&] { open(locked); });
    EXPECT_NE(d.find(locked), std::string::npos) << d;
    EXPECT_NE(d.find("permission denied"), std::string::npos) << d;
    fs::permissions(locked, fs::perms::owner_all);
  }
  fs::remove_all(dir);
}

TEST_F(Provider, PathWithSemicolonIsCutAsByOleDb) {
  REQUIRE_CORPUS();
  auto dir = fs::temp_directory_path() / "tw;semi";
  fs::create_directories(dir);
  fs::copy_file(kCorpus + "jackcess/V2003/testV2003.mdb", dir / "t.mdb", fs::copy_options::overwrite_existing);
  const std::string path = (dir / "t.mdb").string();
  EXPECT_EQ(failureOf([&] { open(path); }),
            "Could not find file '" + (fs::temp_directory_path() / "tw").string() + "'.");
  fs::remove_all(dir);
}

TEST_F(Provider, OnlySelectStarFromATableIsServed) {
  REQUIRE_CORPUS();
  auto c = open(kCorpus + "jackcess/V2003/queryTestV2003.mdb");
  data::Recordset rs;
  EXPECT_EQ(failureOf([&] { rs.Open("SELECT a FROM `Table1`", *c); }),
            "Syntax error in query. Only SELECT * FROM `table` is supported.");
  EXPECT_EQ(failureOf([&] { rs.Open("SELECT * FROM `Nope`", *c); }),
            "The Microsoft Access database engine cannot find the input table or query 'Nope'.");
  EXPECT_EQ(failureOf([&] { c->Execute("DELETE FROM `Table1`"); }).find("read-only") != std::string::npos, true);
  // Keywords and the table name in any case; brackets as well as backquotes.
  EXPECT_NO_THROW(rs.Open("select * from `table1`", *c));
  rs.Close();
  EXPECT_NO_THROW(rs.Open("  SELECT  *  FROM [TABLE2] ", *c));
}

TEST_F(Provider, ADamagedDataPageIsNamedWithItsTableAndReadingGoesOn) {
  REQUIRE_CORPUS();
  const std::string source = kCorpus + "jackcess/V2003/compIndexTestV2003.mdb";
  std::uint32_t tdef = 0;
  {
    auto db = jet::Database::open(source, "");
    const jet::CatalogEntry* e = db->findTable("Table1");
    ASSERT_NE(e, nullptr);
    tdef = e->tdefPage();
  }
  std::ifstream in(source, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Spoil the first of the table's data pages.
  std::size_t spoiled = 0;
  for (std::size_t p = 1; p * 4096 < bytes.size(); ++p) {
    const auto* page = reinterpret_cast<const std::uint8_t*>(bytes.data() + p * 4096);
    if (page[0] == jet::kPageData && jet::u32(std::span<const std::uint8_t>(page, 4096), 4) == tdef) {
      spoiled = p;
      break;
    }
  }
  ASSERT_NE(spoiled, 0u);
  bytes[spoiled * 4096] = 0x07;
  const std::string copy = (fs::temp_directory_path() / "tw_spoiled_page.mdb").string();
  std::ofstream(copy, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

  auto c = open(copy);
  data::Recordset rs;
  std::string first = failureOf([&] { rs.Open("SELECT * FROM `Table1`", *c); });
  std::int64_t rows = 0;
  std::vector<std::string> failures;
  if (first != "<no failure>") failures.push_back(first);
  while (rs.isOpen() && !rs.Eof()) {
    ++rows;
    std::string f = failureOf([&] { rs.MoveNext(); });
    if (f != "<no failure>") failures.push_back(f);
  }
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0], "The database '" + copy + "' is damaged: page " + std::to_string(spoiled) +
                             " of table 'Table1' is not a data page.");
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 512);
  EXPECT_EQ(rs.RecordCount(), rows);
  fs::remove(copy);
}

struct SelectCase {
  const char* text;
  const char* name;  // null: refused
};

TEST(ParseSelectAll, AcceptsOnlyTheOneForm) {
  const SelectCase cases[] = {
      {"SELECT * FROM `Orders`", "Orders"}, {"select * from `a b`", "a b"}, {"SELECT * FROM [x];", "x"},
      {"SELECT * FROM Orders", nullptr},    {"SELECT * FROM ``", nullptr},  {"SELECT * FROM `a` WHERE 1", nullptr},
      {"SELECT *, a FROM `a`", nullptr},    {"SELECT * FROM `a", nullptr},  {"", nullptr},
      {"SELECT * FROM `a`;;", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto got = jet::parseSelectAll(c.text);
    if (c.name) {
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, c.name);
    } else {
      EXPECT_FALSE(got.has_value());
    }
  }
}

TEST_F(Provider, SchemaNamesEveryKindOfTableSortedWithoutRegardToCase) {
  REQUIRE_CORPUS();
  auto c = open(kCorpus + "jackcess/V2007/complexDataTestV2007.accdb", "", "Microsoft.ACE.OLEDB.12.0");
  auto schema = c->OpenSchema(data::kSchemaTables);
  std::vector<std::pair<std::string, std::string>> rows;
  for (; !schema->Eof(); schema->MoveNext())
    rows.emplace_back(schema->value("TABLE_NAME").as<std::string>(), schema->value("TABLE_TYPE").as<std::string>());
  ASSERT_FALSE(rows.empty());
  for (std::size_t i = 1; i < rows.size(); ++i)
    EXPECT_LE(
        QString::fromStdString(rows[i - 1].first).compare(QString::fromStdString(rows[i].first), Qt::CaseInsensitive),
        0);
  int tables = 0;
  for (const auto& [name, type] : rows) {
    if (name.rfind("MSys", 0) == 0 || name.rfind("f_", 0) == 0) {
      EXPECT_EQ(type, "SYSTEM TABLE") << name;
    }
    if (type == "TABLE") ++tables;
  }
  EXPECT_EQ(tables, 1);

  auto q = open(kCorpus + "jackcess/V2003/queryTestV2003.mdb");
  schema = q->OpenSchema(data::kSchemaTables);
  int views = 0;
  for (; !schema->Eof(); schema->MoveNext()) views += schema->value("TABLE_TYPE").as<std::string>() == "VIEW";
  EXPECT_GT(views, 0);
  // Forms, reports and other objects are not listed; only the five kinds are.
  schema = q->OpenSchema(data::kSchemaTables);
  for (; !schema->Eof(); schema->MoveNext()) {
    std::string t = schema->value("TABLE_TYPE").as<std::string>();
    EXPECT_TRUE(t == "TABLE" || t == "SYSTEM TABLE" || t == "VIEW" || t == "LINK" || t == "PASS-THROUGH") << t;
  }
}

TEST_F(Provider, ComplexColumnsResolveThroughTheFlatTables) {
  REQUIRE_CORPUS();
  auto c = open(kCorpus + "jackcess/V2007/complexDataTestV2007.accdb", "", "Microsoft.ACE.OLEDB.12.0");
  data::Recordset rs;
  rs.Open("SELECT * FROM `Table1`", *c);
  ASSERT_EQ(rs.fieldCount(), 6);
  EXPECT_EQ(rs.field(4).name, "multi-value-data");
  EXPECT_EQ(rs.field(4).type, 203);
  EXPECT_EQ(rs.field(5).name, "attach-data");
  EXPECT_EQ(rs.field(5).type, 205);
  std::vector<Value> multi;
  for (; !rs.Eof(); rs.MoveNext()) multi.push_back(rs.value(4));
  EXPECT_EQ(multi,
            (std::vector<Value>{Value(), Value("value1; value4"), Value("value1; value2; value3; value4"), Value()}));

  auto a = open(kCorpus + "mdb-reader/data/V2016/attachments.accdb", "", "Microsoft.ACE.OLEDB.12.0");
  auto rows = readAll(*a, "Table1");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0][2].isNull());
  const std::string content = "Attachment 1";
  EXPECT_EQ(rows[1][2], Value(Bytes(content.begin(), content.end())));
}

TEST_F(Provider, RowsOnOverflowPagesStayInTheirPlace) {
  REQUIRE_CORPUS();
  for (const char* f : {"jackcess/V1997/overflowTestV1997.mdb", "jackcess/V2000/overflowTestV2000.mdb",
                        "jackcess/V2007/overflowTestV2007.accdb"}) {
    SCOPED_TRACE(f);
    auto c = open(kCorpus + f);
    auto rows = readAll(*c, "Table1");
    ASSERT_EQ(rows.size(), 7u);
    // Rows 3 and 5 were rewritten onto other pages; they are read where they were.
    EXPECT_EQ(rows[2][1], Value("row3col3"));
    EXPECT_EQ(rows[4][1], Value("row5col2"));
    EXPECT_EQ(rows[6][0], Value("row7col1"));
  }
}

TEST_F(Provider, DeletedRowsAndColumnsAreLeftOut) {
  REQUIRE_CORPUS();
  for (const char* f : {"jackcess/V1997/delColTestV1997.mdb", "jackcess/V2003/delColTestV2003.mdb",
                        "jackcess/V2007/delColTestV2007.accdb"}) {
    SCOPED_TRACE(f);
    auto c = open(kCorpus + f);
    data::Recordset rs;
    rs.Open("SELECT * FROM `Table1`", *c);
    EXPECT_EQ(rs.RecordCount(), 2);
    // Every field of the remaining columns reads; none is reported twice.
    std::set<std::string> names;
    for (int i = 0; i < rs.fieldCount(); ++i) EXPECT_TRUE(names.insert(rs.field(i).name).second);
  }
}

// ---------------------------------------------------------------------------------------
// Text decoding.

std::vector<std::uint8_t> bytesOf(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int b : v) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

TEST(Jet4Text, PlainCompressedAndSurrogates) {
  EXPECT_EQ(jet::decodeJet4Text(bytesOf({'a', 0, 'b', 0})), "ab");
  // Compressed: 1-byte run, switch, UCS-2 run (U+041C), switch back.
  EXPECT_EQ(jet::decodeJet4Text(bytesOf({0xFF, 0xFE, 'h', 'i', 0, 0x1C, 0x04, 0, '!'})), "hi\xD0\x9C!");
  // A surrogate pair is one code point (U+1F600); a lone surrogate becomes U+FFFD.
  EXPECT_EQ(jet::decodeJet4Text(bytesOf({'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'a', 0})),
            "a\xF0\x9F\x98\x80"
            "a");
  EXPECT_EQ(jet::decodeJet4Text(bytesOf({0x3D, 0xD8, 'a', 0})),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(jet::decodeJet4Text(bytesOf({})), "");
  // An odd trailing byte in a UCS-2 run is dropped, not read past.
  EXPECT_EQ(jet::decodeJet4Text(bytesOf({0xFF, 0xFE, 0, 'x'})), "");
}

TEST(CodePageText, Windows1252WithUndefinedBytesAndOtherCodePages) {
  EXPECT_EQ(jet::decodeCodePageText(bytesOf({'A', 0xE4, 0x80, 0x81, 0x8D}), 1252),
            "A\xC3\xA4\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(jet::decodeCodePageText(bytesOf({0xC0}), 1251), "\xD0\x90");  // Cyrillic A
  // The converter is kept between values: a second text, and one after an invalid byte,
  // decode from a fresh state. 0x98 is undefined in code page 1251.
  EXPECT_EQ(jet::decodeCodePageText(bytesOf({0xC1, 0xE0}), 1251), "\xD0\x91\xD0\xB0");
  EXPECT_EQ(jet::decodeCodePageText(bytesOf({0x98, 0xC0}), 1251), "\xEF\xBF\xBD\xD0\x90");
  EXPECT_EQ(jet::decodeCodePageText(bytesOf({0xC0}), 1251), "\xD0\x90");
  EXPECT_EQ(jet::decodeCodePageText(bytesOf({'z'}), 0), "z");
}

std::vector<std::uint8_t> extDate(const std::string& days, const std::string& ticks) {
  std::string text = days + ":" + ticks + ":7";
  std::vector<std::uint8_t> b(text.begin(), text.end());
  b.resize(42, 0);
  return b;
}

TEST(DateTimeExtended, DaysAndTicksArriveExactly) {
  // 737592 days after 0001-01-01 is 2020-06-17.
  EXPECT_EQ(jet::decodeDateTimeExtended(extDate("0000000000000737592", "0000000000000000000")),
            Value(ExtendedDateTime{737592, 0}));
  EXPECT_EQ(jet::decodeDateTimeExtended(extDate("0000000000000693592", "0000000648000000000")),
            Value(ExtendedDateTime{693592, 648000000000}));
  // 100 ns resolution at both ends of the range.
  EXPECT_EQ(jet::decodeDateTimeExtended(extDate("0000000000000000000", "0000000000000000001")),
            Value(ExtendedDateTime{0, 1}));
  EXPECT_EQ(jet::decodeDateTimeExtended(extDate("0000000000003652058", "0000000863999999999")),
            Value(ExtendedDateTime{3652058, 863999999999}));
  // Past the year 9999 or past the end of a day: the text as stored.
  EXPECT_EQ(jet::decodeDateTimeExtended(extDate("0000000000003652059", "0000000000000000000")),
            Value("0000000000003652059:0000000000000000000:7"));
  EXPECT_EQ(jet::decodeDateTimeExtended(extDate("0000000000000000001", "0000000864000000000")),
            Value("0000000000000000001:0000000864000000000:7"));
  // Not in the form: the printable text as stored.
  EXPECT_EQ(jet::decodeDateTimeExtended(bytesOf({'x', 'y', 0, 'z'})), Value("xy"));
}

TEST(Format, VersionsAndPageSizes) {
  jet::Format f;
  ASSERT_TRUE(jet::formatForVersion(0, f));
  EXPECT_EQ(f.pageSize, 2048u);
  EXPECT_TRUE(f.jet3());
  EXPECT_EQ(f.tableDef().column.entrySize, 18u);
  for (int v = 1; v <= 6; ++v) {
    ASSERT_TRUE(jet::formatForVersion(static_cast<std::uint8_t>(v), f));
    EXPECT_EQ(f.pageSize, 4096u);
    EXPECT_EQ(f.tableDef().column.entrySize, 25u);
  }
  EXPECT_FALSE(jet::formatForVersion(7, f));
}

}  // namespace
}  // namespace tw
