// Indexes and relationships of files made by Access (the corpus), against what no one here
// wrote: mdbtools' `mdb-schema --indexes --relations` (its mysql dialect keeps Access's index
// names), the facts Jackcess's tests state for these files, and the row values themselves
// for the order an index walk gives. Skips when the corpus is absent.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/jet/index_walk.h"
#include "platform/jet/provider.h"

namespace tw::jet {
namespace {

namespace fs = std::filesystem;
const fs::path kCorpus = fs::path(TW_SHARED_DIR) / "corpus" / "access" / "jackcess";

const char* const kFiles[] = {"V1997/indexTestV1997.mdb",
                              "V2000/indexTestV2000.mdb",
                              "V2003/indexTestV2003.mdb",
                              "V2007/indexTestV2007.accdb",
                              "V1997/compIndexTestV1997.mdb",
                              "V2000/compIndexTestV2000.mdb",
                              "V2007/compIndexTestV2007.accdb",
                              "V1997/testIndexCodesV1997.mdb",
                              "V2000/testIndexPropertiesV2000.mdb",
                              "V2003/testIndexPropertiesV2003.mdb",
                              "V2007/testIndexPropertiesV2007.accdb",
                              "V2000/bigIndexTestV2000.mdb",
                              "V2007/bigIndexTestV2007.accdb",
                              "V2000/testRefGlobalV2000.mdb",
                              "V2003/testV2003.mdb",
                              "V2007/indexCursorTestV2007.accdb"};

std::set<std::string> ourKeys(const fs::path& file) {
  data::DataAccess access;
  registerAccessProviders(access);
  auto c = access.createConnection();
  c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + file.string());
  std::map<std::string, std::string> indexes;  // "T`N" -> the mdb-schema line
  for (auto rs = c->OpenSchema(data::kSchemaIndexes); !rs->Eof(); rs->MoveNext()) {
    const auto v = [&](const char* n) { return rs->value(n); };
    const std::string t = v("TABLE_NAME").as<std::string>(), n = v("INDEX_NAME").as<std::string>();
    std::string& line = indexes[t + "`" + n];
    const bool pk = v("PRIMARY_KEY").as<bool>();
    if (line.empty())
      line = "ALTER TABLE `" + t + "` ADD " +
             (pk ? "PRIMARY KEY (" : std::string(v("UNIQUE").as<bool>() ? "UNIQUE " : "") + "INDEX `" + n + "` (");
    else line += ", ";
    line += "`" + v("COLUMN_NAME").as<std::string>() + "`" +
            (!pk && v("COLLATION").as<std::int64_t>() == 2 ? " DESC" : "");
  }
  std::set<std::string> out;
  for (auto& [key, line] : indexes) out.insert(line + ");");
  for (auto rs = c->OpenSchema(data::kSchemaForeignKeys); !rs->Eof(); rs->MoveNext()) {
    const auto s = [&](const char* n) { return rs->value(n).as<std::string>(); };
    out.insert("FK `" + s("FK_TABLE_NAME") + "`(`" + s("FK_COLUMN_NAME") + "`) `" + s("PK_TABLE_NAME") + "`(`" +
               s("PK_COLUMN_NAME") + "`)" + (s("UPDATE_RULE") == "CASCADE" ? " ON UPDATE CASCADE" : "") +
               (s("DELETE_RULE") == "CASCADE" ? " ON DELETE CASCADE" : ""));
  }
  return out;
}

class CorpusIndexes : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    file_ = kCorpus / GetParam();
    if (!fs::exists(file_)) GTEST_SKIP() << "corpus file absent: " << file_;
  }
  fs::path file_;
};

// Every index, primary key and enforced relationship mdbtools lists is in our rowsets, as it
// lists it. (mdbtools pairs logical and real indexes by position, so where that goes wrong
// it lists an index without columns; such lines are left out.)
TEST_P(CorpusIndexes, ListEverythingMdbtoolsLists) {
  QProcess p;
  p.start("mdb-schema", {QString::fromStdString(file_.string()), "mysql", "--indexes", "--relations"});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) GTEST_SKIP() << "mdb-schema is not available";
  const std::set<std::string> ours = ourKeys(file_);
  static const QRegularExpression fk(
      "^ALTER TABLE (`[^`]+`) ADD CONSTRAINT `[^`]*` FOREIGN KEY \\((`[^`]+`)\\) REFERENCES "
      "(`[^`]+`)(\\(`[^`]+`\\))(.*);$");
  int compared = 0;
  for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
    std::string expected = line.toStdString();
    if (const auto m = fk.match(line); m.hasMatch()) {
      // Relationships between Access's own tables are no user's.
      if (m.captured(1).startsWith("`MSys")) continue;
      expected = ("FK " + m.captured(1) + "(" + m.captured(2) + ") " + m.captured(3) + m.captured(4) + m.captured(5))
                     .toStdString();
    } else if (!line.startsWith("ALTER TABLE") || line.endsWith("();")) {
      continue;
    }
    ++compared;
    EXPECT_TRUE(ours.count(expected)) << expected;
  }
  EXPECT_GT(compared, 0);
}

std::vector<std::vector<Value>> rowsOf(Database& db, const std::shared_ptr<const TableDef>& def) {
  std::vector<std::vector<Value>> rows;
  TableCursor cursor(db, def);
  for (std::vector<Value> row; cursor.next(row);) rows.push_back(row);
  return rows;
}

// Where a row value stands in Access's order for the column types the test can rank
// itself: numbers and dates by value, Yes before No, plain letters and digits without
// regard to case (Access's General order). False for other values.
bool rank(const Value& v, double& number, std::string& text) {
  if (auto b = v.get<bool>()) number = *b ? 0 : 1;
  else if (auto i = v.get<std::int64_t>()) number = static_cast<double>(*i);
  else if (auto d = v.get<double>()) number = *d;
  else if (auto t = v.get<DateTime>()) number = t->days;
  else if (auto f = v.get<Single>()) number = f->value;
  else if (auto c = v.get<Currency>()) number = static_cast<double>(c->scaled);
  else if (auto s = v.get<std::string>()) {
    if (!QRegularExpression("^[A-Za-z0-9]+$").match(QString::fromStdString(*s)).hasMatch()) return false;
    text = QString::fromStdString(*s).toLower().toStdString();
  } else return false;
  return true;
}

// Every index walks to each row once (indexes that ignore nulls: each row with a key), the
// keys it decodes are the rows' values, and single-column indexes rank the rows as their
// values do, nulls first when ascending and last when descending.
TEST_P(CorpusIndexes, WalkGivesTheRowsInKeyOrder) {
  auto db = Database::open(file_.string(), "");
  for (const CatalogEntry& e : db->catalog()) {
    if (e.type != kObjectTable || (e.flags & kObjectSystemFlags) || e.name.rfind("MSys", 0) == 0) continue;
    auto def = db->readTableDef(e.tdefPage(), e.name);
    const auto rows = rowsOf(*db, def);
    const TableIndexes indexes = readIndexDefinitions(*db, *def);
    for (const LogicalIndexDef& l : indexes.logical) {
      SCOPED_TRACE(e.name + "." + l.name);
      const RealIndexDef& r = indexes.real[l.realIndex];
      const std::vector<std::uint32_t> order = rowOrder(*db, e.name, l.name);
      const auto entries = readIndexEntries(*db, *def, r, l.name);
      ASSERT_EQ(entries.size(), order.size());
      EXPECT_EQ(std::set<std::uint32_t>(order.begin(), order.end()).size(), order.size());
      if (!r.ignoreNulls()) {
        EXPECT_EQ(order.size(), rows.size());
      }
      std::size_t column = 0;
      while (def->columns[column].number != r.columns.front().number) ++column;
      double lastNumber = 0;
      std::string lastText;
      bool seenValue = false, ranked = false;
      for (std::size_t k = 0; k < order.size(); ++k) {
        const auto key = decodeIndexKey(*def, r, entries[k].key);
        for (std::size_t c = 0; c < key.size(); ++c) {
          std::size_t col = 0;
          while (def->columns[col].number != r.columns[c].number) ++col;
          EXPECT_TRUE(key[c] == rows[order[k]][col]) << "key of entry " << k;
        }
        const Value& v = rows[order[k]][column];
        if (r.columns.size() > 1) continue;
        const bool up = r.columns.front().ascending;
        if (v.isNull()) {
          EXPECT_EQ(seenValue, !up) << "a null among the values, entry " << k;
          continue;
        }
        seenValue = true;
        double number = 0;
        std::string text;
        if (!rank(v, number, text)) continue;
        if (ranked) {
          EXPECT_TRUE(text.empty() ? (up ? lastNumber <= number : lastNumber >= number)
                                   : (up ? lastText <= text : lastText >= text))
              << "entry " << k;
        }
        ranked = true;
        lastNumber = number;
        lastText = text;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Access, CorpusIndexes, ::testing::ValuesIn(kFiles), [](const auto& info) {
  std::string n = fs::path(info.param).stem().string();
  return n;
});

// Facts Jackcess's tests state: the logical indexes of indexTest's tables (a relationship's
// hidden indexes on both sides, the primary side's sharing the primary key's real index),
// the flags of testIndexProperties' DataIndex, and the 512 entries of compIndexTest's index.
TEST(JackcessFacts, IndexDefinitionsAndEntries) {
  struct Fact {
    const char* file;
    const char* table;
    const char* expected;  // name:columns:kind[:flags] per logical index, in any order
  } const facts[] = {
      {"V2003/indexTestV2003.mdb", "Table1",
       "id:id:0 PrimaryKey:id:1 Table2Table1:otherfk1:2 Table3Table1:otherfk2:2"},
      {"V1997/indexTestV1997.mdb", "Table2", "id:id:0 PrimaryKey:id:1 .rC:id:2:shares-pk:unique"},
      {"V2007/indexTestV2007.accdb", "Table3", "id:id:0 PrimaryKey:id:1 .rC:id:2:shares-pk:unique"},
      {"V2000/testIndexPropertiesV2000.mdb", "TableIgnoreNulls1", "PrimaryKey:row:1 DataIndex:data:0:ignore-nulls"},
      {"V2007/testIndexPropertiesV2007.accdb", "TableUnique2_temp",
       "PrimaryKey:row:1 DataIndex:data1,data2:0:unique"},
      {"V1997/testV1997.mdb", "Table1", "PrimaryKey:A:1 B:B:0"},
  };
  for (const Fact& f : facts) {
    SCOPED_TRACE(std::string(f.file) + " " + f.table);
    if (!fs::exists(kCorpus / f.file)) GTEST_SKIP() << "corpus absent";
    auto db = Database::open((kCorpus / f.file).string(), "");
    auto def = db->readTableDef(db->findTable(f.table)->tdefPage(), f.table);
    const TableIndexes x = readIndexDefinitions(*db, *def);
    std::set<std::string> got;
    for (const LogicalIndexDef& l : x.logical) {
      const RealIndexDef& r = x.real[l.realIndex];
      std::string s = l.name + ":";
      for (const auto& c : r.columns) s += c.name + (&c == &r.columns.back() ? "" : ",");
      s += ":" + std::to_string(l.kind);
      if (l.primarySide() && x.find("PrimaryKey")->realIndex == l.realIndex) s += ":shares-pk";
      if (!l.primaryKey() && r.ignoreNulls()) s += ":ignore-nulls";
      if (!l.primaryKey() && r.unique()) s += ":unique";
      got.insert(s);
    }
    std::set<std::string> expected;
    for (const QString& e : QString(f.expected).split(' ')) expected.insert(e.toStdString());
    EXPECT_EQ(got, expected);
  }
  for (const char* file : {"V1997/compIndexTestV1997.mdb", "V2003/compIndexTestV2003.mdb"}) {
    auto db = Database::open((kCorpus / file).string(), "");
    EXPECT_EQ(rowOrder(*db, "Table1", "CD_AGENTE").size(), 512u) << file;
  }
}

// A damaged or stale index ends in a failure naming it, never in a crash or a wrong order.
TEST(DamagedIndex, FailsNamingTheIndex) {
  const fs::path source = kCorpus / "V2000/indexTestV2000.mdb";
  if (!fs::exists(source)) GTEST_SKIP() << "corpus absent";
  std::uint32_t root = 0;
  {
    auto db = Database::open(source.string(), "");
    auto def = db->readTableDef(db->findTable("Table1")->tdefPage(), "Table1");
    const TableIndexes x = readIndexDefinitions(*db, *def);
    root = x.real[x.find("PrimaryKey")->realIndex].rootPage;
  }
  const IndexLayout& L = kIndexLayoutJet4;
  struct Case {
    std::size_t at;
    std::vector<std::uint8_t> bytes;
    const char* message;
  } const cases[] = {
      {0, {kPageData}, "is not an index page"},
      {kDataPageOwnerOffset, {0, 0, 0, 0}, "belongs to another table"},
      {L.nextPage, {static_cast<std::uint8_t>(root), static_cast<std::uint8_t>(root >> 8), 0, 0}, "twice"},
      {L.entryMask + L.entryMaskSize - 1, {0x80}, "runs past the page"},
      {L.entryMask, std::vector<std::uint8_t>(L.entryMaskSize, 0), "lists 0 of the table's 4 rows"},
      {L.entriesStart() + 8, {0xEE}, "which the table does not hold"},
  };
  QTemporaryDir dir;
  for (const Case& c : cases) {
    const fs::path copy = fs::path(dir.path().toStdString()) / "damaged.mdb";
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    {
      std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(static_cast<std::streamoff>(root) * kPageSizeJet4 + static_cast<std::streamoff>(c.at));
      f.write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
    }
    auto db = Database::open(copy.string(), "");
    try {
      rowOrder(*db, "Table1", "PrimaryKey");
      ADD_FAILURE() << "no failure for " << c.message;
    } catch (const data::Failure& e) {
      EXPECT_NE(e.description().find(c.message), std::string::npos) << e.description();
      EXPECT_NE(e.description().find("'PrimaryKey' of table 'Table1'"), std::string::npos) << e.description();
    }
  }
}

}  // namespace
}  // namespace tw::jet
