// Keys, indexes and relations of native tables: the statements for the Access definitions,
// and the corpus's index and relationship files converted whole, their .cdx files checked by
// the independent reader of cdx_check.h, against what mdb-schema lists and against the
// order of Access's own indexes.
#include "convert/key_statements.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "../platform/vfp/cdx_check.h"
#include "../platform/vfp/vfp_test_support.h"
#include "common/guard.h"
#include "convert/conversion_run.h"
#include "platform/jet/index_definitions.h"
#include "platform/jet/index_walk.h"
#include "platform/jet/provider.h"
#include "platform/jet/reader.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/provider.h"
#include "support/fake_ui.h"

namespace tw {
namespace {

using data::SchemaForeignKeyColumn;
using data::SchemaIndexColumn;

std::vector<KeyColumn> columns() {
  return {{"Order ID", "OrderID", "I AUTOINC", false},
          {"Code", "Code", "C(10)", true},
          {"Amount", "Amount", "N(12,2)", true},
          {"Placed", "Placed", "T", true},
          {"Price", "Price", "Y", false},
          {"Notes", "Notes", "M", true},
          {"Paid", "Paid", "L", true},
          {"Customer ID", "CustomerID", "I", true}};
}

SchemaIndexColumn col(std::string index, std::string column, int ordinal = 1, bool descending = false) {
  return {"Orders", std::move(index), false, false, 0, ordinal, std::move(column), descending ? 2 : 1};
}

// What the corpus files below do not hold: unique and ignore-nulls filters over nullable
// columns, composite keys of every part form, tags cut and numbered, what no tag can hold.
TEST(KeyStatements, EachKindOfIndexBecomesItsTag) {
  struct Case {
    const char* what;
    std::vector<SchemaIndexColumn> rows;
    bool container;
    std::vector<std::string> statements;
    std::vector<std::string> notices;
  };
  auto unique = col("Code", "Code");
  unique.unique = true;
  auto ignoring = col("Amount", "Amount");
  ignoring.nulls = data::kIndexNullsIgnored;
  auto primary = col("PrimaryKey", "Placed", 1, true);
  primary.primaryKey = primary.unique = true;
  const Case cases[] = {
      {"unique over nulls, ignore-nulls, descending",
       {unique, ignoring, col("Placed", "Placed", 1, true)},
       false,
       {"USE \"Orders\"", "INDEX ON Code TAG CODE CANDIDATE FOR !ISNULL(Code)",
        "INDEX ON Amount TAG AMOUNT FOR !ISNULL(Amount)", "INDEX ON Placed TAG PLACED DESCENDING"},
       {}},
      {"composite keys in a fixed-width form, tags cut to 10 and unique",
       {col("Code and amount and date", "Code"), col("Code and amount and date", "Amount", 2),
        col("Code and amount and date", "Placed", 3), col("Code and amount and price", "Order ID"),
        col("Code and amount and price", "Price", 2)},
       false,
       {"USE \"Orders\"", "INDEX ON Code+STR(Amount,12,2)+TTOC(Placed,1) TAG CODEANDAMO",
        "INDEX ON BINTOC(OrderID)+STR(Price,20,4) TAG CODEANDAM1"},
       {}},
      {"a mix of directions, a memo, a logical among several",
       {col("Mixed", "Code"), col("Mixed", "Amount", 2, true), col("Memo", "Notes"), col("Flags", "Paid"),
        col("Flags", "Code", 2)},
       false,
       {"USE \"Orders\"", "INDEX ON Code+STR(Amount,12,2) TAG MIXED"},
       {"Table Orders: index Mixed mixes ascending and descending columns; its tag is ascending.",
        "Table Orders: index Memo was left out: a tag cannot key its column Notes (M).",
        "Table Orders: index Flags was left out: a key of several columns cannot hold its column Paid (L)."}},
      {"a descending primary key in a container, which has no descending primary tag",
       {primary},
       true,
       {"ALTER TABLE \"Orders\" ADD PRIMARY KEY Placed TAG PRIMARYKEY"},
       {"Table Orders: primary key PrimaryKey runs the other way in Access; its tag is ascending."}},
  };
  for (const Case& c : cases) {
    SourceKeys keys = GroupSourceKeys(c.rows, {});
    TableKeys got = BuildTableKeys(keys, "Orders", "Orders", columns(), c.container);
    // The order of the notices follows the index names.
    std::sort(got.notices.begin(), got.notices.end());
    std::vector<std::string> notices = c.notices;
    std::sort(notices.begin(), notices.end());
    EXPECT_EQ(got.statements, c.statements) << c.what;
    EXPECT_EQ(got.notices, notices) << c.what;
  }
}

// The index Access keeps for a relationship is written once, and in a container the
// relation makes the tag; a relation Access keeps no index for gets one of its own; a parent
// without a key leaves the child its tag all the same.
TEST(KeyStatements, RelationsTakeTheTagOfTheirIndexOrOneOfTheirOwn) {
  auto pk = [](std::string table, std::string column) {
    SchemaIndexColumn c{std::move(table), "PrimaryKey", true, true, 1, 1, std::move(column), 1};
    return c;
  };
  std::vector<SchemaIndexColumn> rows = {pk("Customers", "Customer ID"), pk("Orders", "Order ID"),
                                         col("Customer ID", "Customer ID"), col("CustomersOrders", "Customer ID"),
                                         col("Codes", "Code")};
  SchemaForeignKeyColumn byCustomer{"Customers", "Customer ID", "Orders",     "Customer ID",    1,
                                    "CASCADE",   "NO ACTION",   "PrimaryKey", "CustomersOrders"};
  SchemaForeignKeyColumn unenforced{"Customers", "Customer ID", "Orders",     "Order ID", 1,
                                    "NO ACTION", "NO ACTION",   "PrimaryKey", "Loose"};
  SchemaForeignKeyColumn keyless{"Codes", "Code", "Orders", "Code", 1, "NO ACTION", "NO ACTION", "", "Codes"};
  SourceKeys keys = GroupSourceKeys(rows, {byCustomer, unenforced, keyless});
  const std::vector<KeyColumn> customers = {{"Customer ID", "CustomerID", "I", false}};
  const std::vector<KeyColumn> codes = {{"Code", "Code", "C(10)", true}};
  for (bool container : {false, true}) {
    std::map<std::string, WrittenTable> written;
    const std::vector<std::pair<std::string, std::vector<KeyColumn>>> tables = {
        {"Customers", customers}, {"Orders", columns()}, {"Codes", codes}};
    for (const auto& [name, cols] : tables)
      written[name] = {name, BuildTableKeys(keys, name, name, cols, container), cols};
    const std::vector<std::string> orders = written["Orders"].keys.statements;
    RelationStatements r = BuildRelationStatements(keys, written, container);
    if (!container) {
      EXPECT_EQ(orders, (std::vector<std::string>{"USE \"Orders\"", "INDEX ON OrderID TAG PRIMARYKEY CANDIDATE",
                                                  "INDEX ON CustomerID TAG CUSTOMERID", "INDEX ON Code TAG CODES"}));
      EXPECT_TRUE(r.statements.empty());
      EXPECT_EQ(r.notices, std::vector<std::string>{"3 relationships were not written: relations between free "
                                                    "tables need a database container."});
      continue;
    }
    EXPECT_EQ(orders, (std::vector<std::string>{"ALTER TABLE \"Orders\" ADD PRIMARY KEY OrderID TAG PRIMARYKEY"}));
    EXPECT_EQ(r.statements,
              (std::vector<std::string>{
                  "ALTER TABLE \"Orders\" ADD FOREIGN KEY CustomerID TAG CUSTOMERID REFERENCES \"Customers\" TAG "
                  "PRIMARYKEY",
                  "ALTER TABLE \"Orders\" ADD FOREIGN KEY OrderID TAG LOOSE REFERENCES \"Customers\" TAG PRIMARYKEY",
                  "USE \"Orders\"", "INDEX ON Code TAG CODES"}));
    EXPECT_EQ(r.notices,
              std::vector<std::string>{"Relationships CustomersOrders: their cascading updates and deletes "
                                       "were not carried (FoxPro enforces them with stored procedures, "
                                       "which were not written)."});
  }
}

// --- The corpus -------------------------------------------------------------------------

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Letters and digits only, in lower case: how mdb-schema's names and ours are compared.
std::string plain(const std::string& s) {
  std::string out;
  for (char c : s)
    if (std::isalnum(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(c));
  return out;
}

// The columns a tag's key expression keys, in order: the field of each part.
std::string keyColumns(const std::string& expression) {
  std::string out;
  std::size_t start = 0;
  while (start <= expression.size()) {
    std::size_t end = expression.find('+', start);
    if (end == std::string::npos) end = expression.size();
    std::string part = expression.substr(start, end - start);
    if (std::size_t open = part.find('('); open != std::string::npos)
      part = part.substr(open + 1, part.find_first_of(",)", open) - open - 1);
    out += (out.empty() ? "" : ",") + plain(part);
    start = end + 1;
  }
  return out;
}

// Every tag of every .cdx in `folder`, as "table:columns" (and " desc" for a descending
// tag), with the records each gives in its order; each .cdx checked whole by the
// independent reader first.
struct Tags {
  std::multiset<std::string> signatures;
  std::map<std::string, std::vector<std::uint32_t>> orders;  // by signature
};

Tags checkedTags(const std::string& folder, const std::map<std::string, std::vector<std::string>>& longNames) {
  using namespace vfp::testing;
  Tags tags;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().extension() != ".cdx") continue;
    const std::string table = e.path().stem().string();
    const auto cdx = readBytes(e.path().string());
    auto names = longNames.find(table);
    std::map<std::string, std::vector<std::uint32_t>> order;
    const std::string faults =
        checkTableIndex(cdx, readBytes(folder + "/" + table + ".dbf"),
                        names == longNames.end() ? std::vector<std::string>{} : names->second, &order);
    EXPECT_EQ(faults, "") << e.path();
    std::string ignored;
    for (const auto& entry : dcx_detail::readTag(cdx, 0, "tag list", ignored)) {
      const std::string tag = entry.key.substr(0, entry.key.find_last_not_of(std::string(" \0", 2)) + 1);
      std::string key, filter;
      dcx_detail::readTag(cdx, entry.record, "tag", ignored, &key, &filter);
      const std::string signature =
          plain(table) + ":" + keyColumns(key) + (dcx_detail::le16(cdx, entry.record + 502) ? " desc" : "");
      tags.signatures.insert(signature);
      tags.orders[signature] = order[tag];
    }
  }
  return tags;
}

// For every single-column ascending index on a number or date, the records in the order
// Access's own index gives them (jet::rowOrder walks the index pages), where the tag holds
// them too, must come in the tag's order. (Text tags sort by bytes, Access by its collation.)
void expectAccessOrder(const std::string& source, const Tags& tags) {
  auto db = jet::Database::open(source, "");
  for (const jet::CatalogEntry& e : db->catalog()) {
    if (e.type != jet::kObjectTable || (e.flags & jet::kObjectSystemFlags) || e.name.rfind("MSys", 0) == 0) continue;
    auto def = db->readTableDef(e.tdefPage(), e.name);
    const jet::TableIndexes indexes = jet::readIndexDefinitions(*db, *def);
    for (const jet::LogicalIndexDef& l : indexes.logical) {
      const jet::RealIndexDef& r = indexes.real[static_cast<std::size_t>(l.realIndex)];
      if (r.columns.size() != 1 || !r.columns[0].ascending) continue;
      const auto column = std::find_if(def->columns.begin(), def->columns.end(),
                                       [&](const jet::ColumnDef& c) { return c.number == r.columns[0].number; });
      if (column == def->columns.end() || column->type == jet::kTypeText || column->type == jet::kTypeMemo ||
          column->type == jet::kTypeGuid || column->type == jet::kTypeBinary)
        continue;
      auto ours = tags.orders.find(plain(e.name) + ":" + plain(r.columns[0].name));
      if (ours == tags.orders.end()) continue;
      const std::set<std::uint32_t> held(ours->second.begin(), ours->second.end());
      std::vector<std::uint32_t> access;
      for (std::uint32_t position : jet::rowOrder(*db, e.name, l.name))
        if (held.count(position + 1)) access.push_back(position + 1);
      EXPECT_EQ(ours->second, access) << e.name << "." << l.name;
    }
  }
}

// Converts `source` with native tables into `dir`, free tables or a new container; returns
// the run's notices. No step may fail.
std::vector<std::string> convertNative(const std::string& source, vfp::testing::ScratchFolder& dir, bool container) {
  data::DataAccess access;
  jet::registerAccessProviders(access);
  data::registerFoxProProvider(access);
  MainWindowModel window;
  window.text5 = source;
  window.text2 = dir.path();
  window.check2 = 1;
  if (container) {
    window.optionDBC1 = true;
    window.dbcPath1 = dir.file("db.dbc");
    vfp::createContainer(*vfp::testing::plainFs(), window.dbcPath1);
  }
  FakeUi ui;
  ConversionState state;
  static const Locale locale("en_US");
  ConversionRun r(access, ui, window, state, locale);
  r.StartConverting();
  for (const auto& b : ui.boxes) EXPECT_NE(b.title, kErrorTitle) << b.text;
  return r.notices();
}

class KeysCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(KeysCorpus, EveryIndexMdbSchemaListsArrivesAsACheckedTag) {
  const std::string source = std::string(TW_SHARED_DIR) + "/corpus/access/jackcess/" + GetParam();
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "corpus file absent: " << source;
  if (run("command -v mdb-schema").empty()) GTEST_SKIP() << "mdb-schema is not installed";
  // What mdb-schema lists: CREATE [UNIQUE] INDEX "x" ON "t" ("a" [DESC], ...) and the
  // primary keys, for the user tables.
  std::multiset<std::string> listed;
  const std::regex index(R"re(^CREATE (UNIQUE )?INDEX "[^"]*" ON "([^"]*)" \((.*)\);)re"),
      primary(R"re(^ALTER TABLE "([^"]*)" ADD CONSTRAINT "[^"]*" PRIMARY KEY \((.*)\);)re");
  const std::string schema = run("mdb-schema --indexes '" + source + "' postgres 2>/dev/null");
  std::istringstream lines(schema);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    std::string table, cols;
    bool isPrimary = false;
    if (std::regex_match(line, m, index)) table = m[2], cols = m[3];
    else if (std::regex_match(line, m, primary)) table = m[1], cols = m[2], isPrimary = true;
    else continue;
    if (plain(table).rfind("msys", 0) == 0) continue;
    std::string columns;
    bool allDescending = true;
    for (std::size_t at = 0; (at = cols.find('"', at)) != std::string::npos;) {
      const std::size_t end = cols.find('"', at + 1);
      columns += (columns.empty() ? "" : ",") + plain(cols.substr(at + 1, end - at - 1));
      allDescending = allDescending && cols.compare(end + 1, 5, " DESC") == 0;
      at = end + 1;
    }
    if (columns.empty()) continue;  // mdb-schema could not read the index's columns
    // A primary key's line says nothing of its direction.
    listed.insert(plain(table) + ":" + columns + (isPrimary ? " any" : allDescending ? " desc" : ""));
  }
  ASSERT_FALSE(listed.empty()) << schema;
  for (bool container : {false, true}) {
    SCOPED_TRACE(container ? "container" : "free tables");
    vfp::testing::ScratchFolder dir;
    const std::vector<std::string> notices = convertNative(source, dir, container);
    // The long column names of the container's tables, for the key expressions.
    std::map<std::string, std::vector<std::string>> longNames;
    if (container) {
      data::DataAccess access;
      data::registerFoxProProvider(access);
      data::Connection target(access);
      target.Open("Provider=vfpoledb.1;Data Source=" + dir.file("db.dbc"));
      for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().extension() == ".dbf") {
          data::Recordset rs;
          rs.Open("SELECT * FROM \"" + e.path().stem().string() + "\"", target);
          for (int f = 0; f < rs.fieldCount(); ++f) longNames[e.path().stem().string()].push_back(rs.field(f).name);
        }
    }
    const Tags tags = checkedTags(dir.path(), longNames);
    if (!container) expectAccessOrder(source, tags);
    // An index a tag cannot hold (on a memo column: a Text(255) needs more than a C column's
    // 254 bytes) is named in a notice instead.
    std::set<std::string> leftOut;
    const std::regex notice(R"(^Table (.*): index .* was left out: .*)");
    for (const std::string& n : notices)
      if (std::smatch m; std::regex_match(n, m, notice)) leftOut.insert(plain(m[1]));
    for (const std::string& want : listed)
      EXPECT_TRUE(tags.signatures.count(want) || leftOut.count(want.substr(0, want.find(':'))) ||
                  (want.size() > 4 && want.compare(want.size() - 4, 4, " any") == 0 &&
                   (tags.signatures.count(want.substr(0, want.size() - 4)) ||
                    tags.signatures.count(want.substr(0, want.size() - 4) + " desc"))))
          << want << " is neither among the tags nor said to be left out";
  }
}

// The sample's six relationships become the container's persistent relations, each on the
// primary key of its parent (the Relation records, read from the .dbc's bytes).
TEST(KeysSample, RelationshipsBecomePersistentRelations) {
  const std::string sample = std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "the sample database is not built";
  vfp::testing::ScratchFolder dir;
  convertNative(sample, dir, true);
  const auto dbc = vfp::testing::readBytes(dir.file("db.dbc"));
  const std::uint32_t count = vfp::getLe32(&dbc[4]), header = vfp::getLe16(&dbc[8]), length = vfp::getLe16(&dbc[10]);
  int relations = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* r = &dbc[header + i * length];
    relations += r[0] != '*' && std::string(reinterpret_cast<const char*>(r + 9), 8) == "Relation";
  }
  EXPECT_EQ(relations, 6);
  using vfp::testing::checkContainerIndex;
  EXPECT_EQ(checkContainerIndex(vfp::testing::readBytes(dir.file("db.dcx")), dbc), "");
}

INSTANTIATE_TEST_SUITE_P(IndexFiles, KeysCorpus,
                         ::testing::Values("V2000/indexTestV2000.mdb", "V2007/indexTestV2007.accdb",
                                           "V2003/compIndexTestV2003.mdb", "V2007/compIndexTestV2007.accdb",
                                           "V1997/testIndexCodesV1997.mdb", "V2003/testIndexPropertiesV2003.mdb",
                                           "V2000/testRefGlobalV2000.mdb"));

}  // namespace
}  // namespace tw
