// Every readable Access file of the corpus, read through the provider, against mdb-reader
// (tests/oracles/dump_access.mjs) and mdbtools' row counts: the same user tables, the same
// fields in the same order with the ADO types their Access types map to, the same row
// counts and the same values, except where the oracles are known to be wrong (mdb-reader:
// dates before 1899-12-30 with a time part, complex columns; both: calculated columns, and
// mdbtools' count of calcFieldTestV2010, which is what its definition says: 3 of 4 rows).
// Calculated columns are checked against Jackcess's published values instead.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "platform/data_access.h"
#include "platform/jet/provider.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
const fs::path kCorpus = fs::path(TW_SHARED_DIR) / "corpus" / "access";
const fs::path kOracle = fs::path(TW_SOURCE_DIR) / "tests" / "oracles" / "dump_access.mjs";

std::string passwordFor(const fs::path& p) {
  std::string s = p.string();
  return (s.find("with-password") != std::string::npos || s.find("/encryption/") != std::string::npos) ? "password"
                                                                                                       : "";
}

std::vector<std::string> corpusFiles() {
  std::vector<std::string> out;
  std::error_code ec;
  if (fs::exists(kCorpus, ec)) {
    for (const auto& e : fs::recursive_directory_iterator(kCorpus, ec)) {
      auto ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".mdb" || ext == ".accdb")) {
        out.push_back(fs::relative(e.path(), kCorpus).string());
      }
    }
  }
  std::sort(out.begin(), out.end());
  if (out.empty()) out.push_back("");  // one case that skips
  return out;
}

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string run(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

std::string hex(const std::uint8_t* b, std::size_t n) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  return s;
}

// Our value in the oracle's tagged form (see dump_access.mjs).
std::string tagged(const Value& v) {
  if (v.isNull()) return "<null>";
  if (auto b = v.get<bool>()) return *b ? "B:1" : "B:0";
  if (auto i = v.get<std::int64_t>()) return "I:" + std::to_string(*i);
  if (auto f = v.get<Single>()) return "F:" + hex(reinterpret_cast<const std::uint8_t*>(&f->value), 4);
  if (auto d = v.get<double>()) return "D:" + hex(reinterpret_cast<const std::uint8_t*>(d), 8);
  if (auto c = v.get<Currency>()) {
    unsigned long long m = c->scaled < 0 ? 0ull - static_cast<unsigned long long>(c->scaled)
                                         : static_cast<unsigned long long>(c->scaled);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", c->scaled < 0 ? "-" : "", m / 10000, m % 10000);
    return std::string("C:") + buf;
  }
  if (auto d = v.get<Decimal>()) {
    std::string digits = d->digits;
    if (d->scale > 0) {
      if (digits.size() <= static_cast<std::size_t>(d->scale)) digits.insert(0, d->scale + 1 - digits.size(), '0');
      digits.insert(digits.size() - d->scale, ".");
    }
    return "N:" + std::string(d->negative ? "-" : "") + digits;
  }
  if (auto t = v.get<DateTime>()) {
    // mdb-reader's reading: round((days - 25569) * 86400 * 1000) milliseconds.
    double ms = std::floor((t->days - 25569) * 86400 * 1000 + 0.5);
    char buf[64];
    std::snprintf(buf, sizeof buf, "T:%.0f", ms);
    return buf;
  }
  if (auto s = v.get<std::string>()) return "S:" + *s;
  if (auto b = v.get<Bytes>()) return "X:" + hex(b->data(), b->size());
  if (auto g = v.get<Guid>()) {
    const auto& b = g->bytes;
    char buf[64];
    std::snprintf(buf, sizeof buf, "G:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return buf;
  }
  return "?";
}

int adoTypeOf(const QString& oracleType) {
  static const std::map<QString, int> m = {
      {"boolean", 11},  {"byte", 17},    {"integer", 2}, {"long", 3},
      {"bigint", 20},   {"float", 4},    {"double", 5},  {"currency", 6},
      {"numeric", 131}, {"datetime", 7}, {"text", 202},  {"memo", 203},
      {"binary", 204},  {"ole", 205},    {"repid", 72},  {"datetimextended", 135}};
  auto it = m.find(oracleType);
  return it == m.end() ? -1 : it->second;
}

class CorpusFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusFile, MatchesTheOracles) {
  if (GetParam().empty()) GTEST_SKIP() << "Access corpus not present at " << kCorpus;
  if (!fs::exists(kOracle) || !fs::exists(kOracle.parent_path() / "node_modules" / "mdb-reader"))
    GTEST_SKIP() << "mdb-reader oracle not installed (make deps)";
  if (run("command -v node").empty()) GTEST_SKIP() << "node not installed";
  const fs::path file = kCorpus / GetParam();
  const std::string password = passwordFor(file);

  QJsonDocument doc = QJsonDocument::fromJson(
      QByteArray::fromStdString(run("node " + shellQuote(kOracle.string()) + " " + shellQuote(file.string()) + " " +
                                    shellQuote(password) + " 2>/dev/null")));
  ASSERT_TRUE(doc.isObject()) << "oracle gave no JSON";
  QJsonObject oracle = doc.object();
  ASSERT_FALSE(oracle.contains("error")) << oracle["error"].toString().toStdString();

  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  auto connection = dataAccess.createConnection();
  connection->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + file.string() +
                   ";Jet OLEDB:Database Password=" + password);

  // User tables: mdb-reader lists every non-system table; ours leave out the compaction and
  // clipboard leftovers (MSys..., ~...) as system tables.
  std::vector<std::string> ours;
  auto schema = connection->OpenSchema(data::kSchemaTables);
  for (; !schema->Eof(); schema->MoveNext())
    if (schema->value("TABLE_TYPE").as<std::string>() == "TABLE")
      ours.push_back(schema->value("TABLE_NAME").as<std::string>());
  std::vector<std::string> theirs;
  for (const auto& t : oracle["tables"].toArray()) {
    std::string n = t.toObject()["name"].toString().toStdString();
    if (n.rfind("MSys", 0) != 0 && n.rfind("~", 0) != 0) theirs.push_back(n);
  }
  std::vector<std::string> sortedOurs = ours;
  std::sort(sortedOurs.begin(), sortedOurs.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(sortedOurs, theirs);

  for (const auto& tv : oracle["tables"].toArray()) {
    QJsonObject t = tv.toObject();
    const std::string name = t["name"].toString().toStdString();
    SCOPED_TRACE("table " + name);
    data::Recordset rs;
    rs.Open("SELECT * FROM `" + name + "`", *connection);

    // mdbtools' count, where it can read the file at all.
    std::string count = run("mdb-count " + shellQuote(file.string()) + " " + shellQuote(name) + " 2>/dev/null");
    if (!count.empty() && file.filename() != "calcFieldTestV2010.accdb") {
      EXPECT_EQ(std::to_string(rs.RecordCount()) + "\n", count) << "mdb-count";
    }

    if (t.contains("error")) {
      // mdb-reader fails on multi-value columns; count the rows ourselves to check ours.
      std::int64_t n = 0;
      for (; !rs.Eof(); rs.MoveNext()) ++n;
      EXPECT_EQ(n, rs.RecordCount());
      continue;
    }
    QJsonArray columns = t["columns"].toArray();
    ASSERT_EQ(rs.fieldCount(), columns.size());
    std::vector<bool> calculated;
    for (int i = 0; i < rs.fieldCount(); ++i) {
      QJsonObject c = columns[i].toObject();
      EXPECT_EQ(rs.field(i).name, c["name"].toString().toStdString());
      calculated.push_back(!rs.field(i).property("Expression").isNull());
      int expected = adoTypeOf(c["type"].toString());
      if (expected >= 0 && !calculated.back()) {
        EXPECT_EQ(rs.field(i).type, expected) << rs.field(i).name;
      }
    }
    QJsonArray rows = t["rows"].toArray();
    EXPECT_EQ(rs.RecordCount(), rows.size());
    // Both oracles deliver rows that moved to overflow pages after all others; Access (and
    // this reader) keeps them in their place, so those files compare as sets of rows.
    const bool anyOrder = file.filename().string().rfind("overflowTest", 0) == 0;
    std::vector<std::vector<std::string>> mine, expected;
    for (; !rs.Eof(); rs.MoveNext()) {
      std::vector<std::string> cells;
      for (int i = 0; i < rs.fieldCount(); ++i) {
        const Value& v = rs.value(i);
        auto d = v.get<DateTime>();
        cells.push_back((d && d->days < 0 && d->days != std::floor(d->days)) || calculated[i] ? "*" : tagged(v));
      }
      mine.push_back(std::move(cells));
    }
    for (const auto& rv : rows) {
      std::vector<std::string> cells;
      for (const auto& o : rv.toArray()) cells.push_back(o.isNull() ? "<null>" : o.toString().toStdString());
      expected.push_back(std::move(cells));
    }
    // Cells the oracle cannot give (complex values, extended dates) or gets wrong (times on
    // days before 1899-12-30) are left out on both sides.
    for (std::size_t r = 0; r < std::min(mine.size(), expected.size()); ++r)
      for (std::size_t i = 0; i < std::min(mine[r].size(), expected[r].size()); ++i) {
        const std::string& e = expected[r][i];
        if (e == "?" || e.rfind("E:", 0) == 0 || mine[r][i] == "*") mine[r][i] = expected[r][i] = "*";
      }
    if (anyOrder) {
      std::sort(mine.begin(), mine.end());
      std::sort(expected.begin(), expected.end());
    }
    ASSERT_EQ(mine.size(), expected.size());
    for (std::size_t r = 0; r < mine.size(); ++r) EXPECT_EQ(mine[r], expected[r]) << "row " << r;
  }
}

// The field facts the provider reports (declared text size, decimal precision and scale,
// Required, AutoNumber and the field properties) against mdbtools, which reads them on its
// own; mdbtools cannot open the encrypted files.
// What mdbtools says of each column, in column order: the type text of mdb-schema's access
// backend ("Text (50) NOT NULL"), whether its postgres backend calls it SERIAL, and the
// properties mdb-prop lists.
struct Theirs {
  std::string name, type;
  bool serial = false;
  std::map<std::string, std::string> props;
};

std::vector<Theirs> mdbtools(const std::string& file, const std::string& table) {
  std::vector<Theirs> out;
  auto columnLines = [&](const std::string& backend, auto each) {
    std::istringstream in(
        run("mdb-schema -T " + shellQuote(table) + " " + shellQuote(file) + " " + backend + " 2>/dev/null"));
    std::size_t k = 0;
    for (std::string line; std::getline(in, line);)
      if (line.size() > 1 && line[0] == '\t') each(k++, line);
  };
  columnLines("access", [&](std::size_t, const std::string& line) {
    out.push_back({line.substr(2, line.find(']') - 2), line.substr(line.find_last_of('\t') + 1), false, {}});
  });
  columnLines("postgres", [&](std::size_t k, const std::string& line) {
    if (k < out.size()) out[k].serial = line.find("\tSERIAL") != std::string::npos;
  });
  std::istringstream in(run("mdb-prop " + shellQuote(file) + " " + shellQuote(table) + " 2>/dev/null"));
  std::map<std::string, std::map<std::string, std::string>> byName;
  std::string column;
  for (std::string line; std::getline(in, line);) {
    const std::size_t colon = line.find(": ");
    if (line.rfind("name: ", 0) == 0) column = line.substr(6);
    else if (line.size() > 1 && line[0] == '\t' && colon != std::string::npos)
      byName[column][line.substr(1, colon - 1)] = line.substr(colon + 2);
  }
  for (Theirs& t : out) t.props = byName[t.name];
  return out;
}

void expectFieldFactsAgree(const std::string& file, const std::string& password) {
  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  auto c = dataAccess.createConnection();
  c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + file + ";Jet OLEDB:Database Password=" + password);
  std::vector<std::string> tables;
  for (auto s = c->OpenSchema(data::kSchemaTables); !s->Eof(); s->MoveNext())
    if (s->value("TABLE_TYPE").as<std::string>() == "TABLE")
      tables.push_back(s->value("TABLE_NAME").as<std::string>());
  for (const std::string& table : tables) {
    data::Recordset rs;
    rs.Open("SELECT * FROM `" + table + "`", *c);
    const std::vector<Theirs> theirs = mdbtools(file, table);
    ASSERT_EQ(theirs.size(), static_cast<std::size_t>(rs.fieldCount())) << table;
    for (int i = 0; i < rs.fieldCount(); ++i) {
      const data::FieldInfo& f = rs.field(i);
      const Theirs& t = theirs[static_cast<std::size_t>(i)];
      SCOPED_TRACE(table + "." + f.name + ": " + t.type);
      if (!f.property("Jet OLEDB:Complex Type").isNull() || !f.property("Expression").isNull()) continue;
      if (t.type.rfind("Text (", 0) == 0) {
        EXPECT_EQ("Text (" + std::to_string(f.definedSize) + ")", t.type.substr(0, t.type.find(')') + 1));
      }
      if (t.type.rfind("Numeric (", 0) == 0) {
        EXPECT_EQ("Numeric (" + std::to_string(f.precision) + ", " + std::to_string(f.scale) + ")",
                  t.type.substr(0, t.type.find(')') + 1));
      }
      EXPECT_EQ(f.isAutoIncrement(), t.serial);
      for (const char* p : {"Description", "Caption", "DefaultValue", "ValidationRule", "ValidationText"}) {
        const Value& ours = f.property(p);
        EXPECT_EQ(ours.isNull() ? "-" : ours.as<std::string>(), t.props.count(p) ? t.props.at(p) : "-") << p;
      }
      // mdbtools marks no Yes/No as nullable and no AutoNumber GUID as a key.
      if (t.type.rfind("Boolean", 0) != 0 && t.type.rfind("Replication ID", 0) != 0) {
        EXPECT_EQ(!f.isNullable(), t.serial || t.type.find("NOT NULL") != std::string::npos);
      }
    }
  }
}

TEST_P(CorpusFile, FieldFactsAgreeWithMdbtools) {
  const std::string& name = GetParam();
  if (name.empty() || run("command -v mdb-prop").empty()) GTEST_SKIP() << "corpus or mdbtools absent";
  if (name.find("encryption/") != std::string::npos || name.find("V2010_with-password") != std::string::npos)
    GTEST_SKIP() << "encrypted";
  expectFieldFactsAgree((kCorpus / name).string(), passwordFor(kCorpus / name));
}

// The same of the sample database the writer makes.
TEST(SampleDatabase, FieldFactsAgreeWithMdbtools) {
  const std::string sample = std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb";
  if (!fs::exists(sample) || run("command -v mdb-prop").empty()) GTEST_SKIP() << "sample or mdbtools absent";
  expectFieldFactsAgree(sample, "");
}

// A value as Jackcess's test of this file prints it: decimals with their own scale, currency
// with four places, singles in their shortest form.
std::string shown(const Value& v) {
  if (v.isNull()) return "null";
  if (auto b = v.get<bool>()) return *b ? "true" : "false";
  if (auto f = v.get<Single>()) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, f->value);
    return std::string(buf, r.ptr);
  }
  std::string t = tagged(v);
  return t.substr(t.find(':') + 1);
}

// calcFieldTestV2010 read whole: every column of its four rows as Access computed them, from
// the values Jackcess's CalcFieldTest lists for this file, and each calculated column with
// its result type.
TEST(CalculatedColumns, ReadAsAccessComputedThem) {
  const fs::path file = kCorpus / "jackcess" / "V2010" / "calcFieldTestV2010.accdb";
  if (!fs::exists(file)) GTEST_SKIP() << "not in the corpus: " << file;
  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  auto connection = dataAccess.createConnection();
  connection->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + file.string());
  data::Recordset rs;
  rs.Open("SELECT * FROM `Table1`", *connection);
  const std::vector<std::vector<std::string>> expected = {
      {"1", "Bruce", "Wayne", "Wayne, Bruce", "Gotham", "12", "1000000.0000", "83333.3333", "true",
       "Wayne, Bruce=Wayne, Bruce", "19230.7692307692", "1000000.0000", "true", "50.325000", "50.325000", "2583.2092",
       "56505085819.424791296572280180"},
      {"2", "Bart", "Simpson", "Simpson, Bart", "Springfield", "13", "-1.0000", "-0.0833", "false",
       "Simpson, Bart=Simpson, Bart", "-0.0192307692307692", "-1.0000", "true", "-36.222200", "-36.222200",
       "0.0035889593", "-0.0784734499180612994241100748"},
      {"3", "John", "Doe", "Doe, John", "Nowhere", "9", "0.0000", "0.0000", "false", "Doe, John=Doe, John", "0",
       "0.0000", "true", "0.012300", "0.012300", "0", "0.00000000"},
      {"4", "Test", "User", "User, Test", "Hockessin", "10", "100.0000", "8.3333", "false", "User, Test=User, Test",
       "1.92307692307692", "100.0000", "true", "102030405060.654321", "102030405060.654321", "1.27413e-10",
       "0.0000002787019289824216980830"}};
  std::vector<std::vector<std::string>> rows;
  for (; !rs.Eof(); rs.MoveNext()) {
    rows.emplace_back();
    for (int i = 0; i < rs.fieldCount(); ++i) rows.back().push_back(shown(rs.value(i)));
  }
  EXPECT_EQ(rows, expected);
  // Result types (ADO type, precision, scale, DefinedSize) and expressions.
  struct Shape {
    const char* name;
    int type, precision, scale, size;
  };
  const Shape shapes[] = {{"LastFirst", 202, 0, 0, 243},    {"MonthlySalary", 6, 19, 0, 0},
                          {"IsRich", 11, 0, 0, 0},          {"AllNames", 203, 0, 0, 0},
                          {"WeeklySalary", 131, 21, 16, 0}, {"DecimalTest", 131, 18, 6, 0},
                          {"FloatTest", 4, 7, 0, 0},        {"BigNumTest", 131, 28, 17, 0}};
  for (const Shape& s : shapes) {
    int i = 0;
    while (i < rs.fieldCount() && rs.field(i).name != s.name) ++i;
    ASSERT_LT(i, rs.fieldCount()) << s.name;
    const data::FieldInfo& f = rs.field(i);
    EXPECT_EQ(std::vector<int>({f.type, f.precision, f.scale, static_cast<int>(f.definedSize)}),
              std::vector<int>({s.type, s.precision, s.scale, s.size}))
        << s.name;
  }
  EXPECT_EQ(rs.field(3).property("Expression"), Value("[LastName] & \", \" & [FirstName]"));
  EXPECT_TRUE(rs.field(13).property("Expression").isNull());
}

INSTANTIATE_TEST_SUITE_P(Access, CorpusFile, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param.empty() ? "absent" : info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
}  // namespace tw
