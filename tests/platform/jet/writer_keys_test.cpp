// The writer's indexes and relationships: read back through the provider's schema rowsets
// and by mdbtools (written from the published layout, not from ours), refused when a
// description asks for what Access would not make, and walked as the empty trees they are.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "platform/jet/index_walk.h"
#include "platform/jet/provider.h"
#include "platform/jet/writer/writer_description.h"

namespace tw::jet {
namespace {

#define FIELD(n, t) "{\"name\": \"" n "\", \"type\": \"" t "\"}"
#define TEXT(n) "{\"name\": \"" n "\", \"type\": \"text\", \"size\": 20}"

// Customers: a primary key, a unique index, a two-column index that ignores nulls with a
// descending column; Orders: an index on the column a relationship then shares; Lines: a
// two-column primary key and an OLE field; relationships enforced (with cascades), to the
// table itself, and not enforced.
const char* const kDescription = R"({"tables": [
 {"name": "Customers", "fields": [)" FIELD("Customer ID", "autonumber") "," TEXT("Name") "," TEXT("City") R"(],
  "indexes": [{"name": "PrimaryKey", "columns": ["Customer ID"], "primaryKey": true},
   {"name": "By City", "columns": ["City", {"name": "Name", "descending": true}], "ignoreNulls": true},
   {"name": "Name", "columns": ["Name"], "unique": true}],
  "rows": [[null, "A", "X"], [null, "B", null]]},
 {"name": "Orders", "fields": [)" FIELD("Order ID", "autonumber") "," FIELD("Customer ID", "long") "," FIELD(
    "Parent", "long") R"(],
  "indexes": [{"name": "PrimaryKey", "columns": ["Order ID"], "primaryKey": true},
   {"name": "Customer", "columns": ["Customer ID"], "required": true}]},
 {"name": "Lines", "fields": [)" FIELD("Order ID", "long") "," FIELD("Line", "integer") "," FIELD("Picture",
                                                                                                  "ole") R"(],
  "indexes": [{"name": "PrimaryKey", "columns": ["Order ID", "Line"], "primaryKey": true}]}],
 "relationships": [
  {"table": "Orders", "columns": ["Customer ID"], "referencedTable": "Customers", "referencedColumns": ["Customer ID"],
   "cascadeDeletes": true, "cascadeUpdates": true},
  {"name": "Self", "table": "Orders", "columns": ["Parent"], "referencedTable": "Orders", "referencedColumns": ["Order ID"]},
  {"name": "Loose", "table": "Lines", "columns": ["Order ID"], "referencedTable": "Customers",
   "referencedColumns": ["Name"], "enforced": false}]})";

std::vector<std::string> rowset(data::Connection& c, int schema, const std::vector<const char*>& columns) {
  std::vector<std::string> out;
  for (auto rs = c.OpenSchema(schema); !rs->Eof(); rs->MoveNext()) {
    std::string line;
    for (const char* n : columns) {
      const Value v = rs->value(n);
      line += (line.empty() ? "" : "|") + (v.is<std::string>() ? v.as<std::string>()
                                           : v.is<bool>()      ? std::string(v.as<bool>() ? "yes" : "no")
                                                               : std::to_string(v.as<std::int64_t>()));
    }
    out.push_back(line);
  }
  return out;
}

TEST(WriterKeys, ReadBackAsDescribed) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("keys.mdb").toStdString();
  writeDatabaseFromJson(kDescription, file);
  data::DataAccess access;
  registerAccessProviders(access);
  auto c = access.createConnection();
  c->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
  EXPECT_EQ(rowset(*c, data::kSchemaIndexes,
                   {"TABLE_NAME", "INDEX_NAME", "PRIMARY_KEY", "UNIQUE", "NULLS", "ORDINAL_POSITION", "COLUMN_NAME",
                    "COLLATION"}),
            (std::vector<std::string>{
                "Customers|By City|no|no|2|1|City|1", "Customers|By City|no|no|2|2|Name|2",
                "Customers|Name|no|yes|0|1|Name|1", "Customers|PrimaryKey|yes|yes|1|1|Customer ID|1",
                "Lines|PrimaryKey|yes|yes|1|1|Order ID|1", "Lines|PrimaryKey|yes|yes|1|2|Line|1",
                "Orders|Customer|no|no|1|1|Customer ID|1", "Orders|CustomersOrders|no|no|1|1|Customer ID|1",
                "Orders|PrimaryKey|yes|yes|1|1|Order ID|1", "Orders|Self|no|no|0|1|Parent|1"}));
  EXPECT_EQ(rowset(*c, data::kSchemaPrimaryKeys, {"TABLE_NAME", "COLUMN_NAME", "ORDINAL", "PK_NAME"}).size(), 4u);
  EXPECT_EQ(
      rowset(*c, data::kSchemaForeignKeys,
             {"FK_NAME", "FK_TABLE_NAME", "FK_COLUMN_NAME", "PK_TABLE_NAME", "PK_COLUMN_NAME", "UPDATE_RULE",
              "DELETE_RULE", "PK_NAME"}),
      (std::vector<std::string>{"CustomersOrders|Orders|Customer ID|Customers|Customer ID|CASCADE|CASCADE|PrimaryKey",
                                "Loose|Lines|Order ID|Customers|Name|NO ACTION|NO ACTION|Name",
                                "Self|Orders|Parent|Orders|Order ID|NO ACTION|NO ACTION|PrimaryKey"}));

  // The trees are empty: a table with rows has an out-of-date index, one without none.
  auto db = Database::open(file, "");
  EXPECT_TRUE(rowOrder(*db, "Orders", "Self").empty());
  EXPECT_THROW(rowOrder(*db, "Customers", "PrimaryKey"), data::Failure);
  EXPECT_THROW(rowOrder(*db, "Customers", "Nothing"), data::Failure);

  QProcess p;
  p.start("mdb-schema", {QString::fromStdString(file), "mysql", "--indexes", "--relations"});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) GTEST_SKIP() << "mdb-schema is not available";
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  for (const char* line :
       {"ALTER TABLE `Customers` ADD PRIMARY KEY (`Customer ID`);",
        "ALTER TABLE `Customers` ADD INDEX `By City` (`City`, `Name` DESC);",
        "ALTER TABLE `Customers` ADD UNIQUE INDEX `Name` (`Name`);",
        "ALTER TABLE `Lines` ADD PRIMARY KEY (`Order ID`, `Line`);",
        "FOREIGN KEY (`Customer ID`) REFERENCES `Customers`(`Customer ID`) ON UPDATE CASCADE ON DELETE CASCADE;",
        "FOREIGN KEY (`Parent`) REFERENCES `Orders`(`Order ID`);"})
    EXPECT_TRUE(out.contains(line)) << line << "\n" << out.toStdString();
}

struct BadKeys {
  const char* from;
  const char* to;
  const char* message;
};

class WriterKeysRefused : public ::testing::TestWithParam<BadKeys> {};

// Each case edits the description above in one place.
TEST_P(WriterKeysRefused, NamingWhatIsWrong) {
  std::string json = kDescription;
  const auto at = json.find(GetParam().from);
  ASSERT_NE(at, std::string::npos) << GetParam().from;
  json.replace(at, std::string(GetParam().from).size(), GetParam().to);
  QTemporaryDir dir;
  try {
    writeDatabaseFromJson(json, dir.filePath("bad.mdb").toStdString());
    ADD_FAILURE() << "accepted";
  } catch (const WriteError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
  }
  EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

INSTANTIATE_TEST_SUITE_P(
    Writer, WriterKeysRefused,
    ::testing::Values(
        BadKeys{"[\"Customer ID\"], \"primaryKey\"", "[\"Id\"], \"primaryKey\"", "has no field \"Id\""},
        BadKeys{"\"name\": \"Name\", \"columns\"", "\"name\": \"by city\", \"columns\"",
                "Duplicate index name \"by city\""},
        BadKeys{"[\"Name\"], \"unique\": true", "[\"Name\"], \"primaryKey\": true", "has a primary key already"},
        BadKeys{"[\"Name\"], \"unique\"", "[], \"unique\"", "1 to 10 fields"},
        BadKeys{"[\"Name\"], \"unique\"", "[\"Name\", \"name\"], \"unique\"", "named twice"},
        BadKeys{"[\"Order ID\", \"Line\"]", "[\"Picture\"]", "cannot be indexed"},
        BadKeys{"\"name\": \"Name\", \"columns\"", "\"name\": \"N.1\", \"columns\"", "does not allow in names"},
        BadKeys{"\"descending\": true", "\"descending\": 1", "must be true or false"},
        BadKeys{"\"referencedTable\": \"Orders\"", "\"referencedTable\": \"Order\"", "there is no table \"Order\""},
        BadKeys{"\"referencedColumns\": [\"Name\"], \"enforced\": false", "\"referencedColumns\": [\"City\"]",
                "no primary key or unique index on the referenced fields"},
        BadKeys{"\"columns\": [\"Parent\"]", "\"columns\": [\"Parent\", \"Customer ID\"]", "pairs 1 to 10 fields"},
        BadKeys{"\"name\": \"Loose\"", "\"name\": \"SELF\"", "Duplicate relationship name \"SELF\""}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace tw::jet
