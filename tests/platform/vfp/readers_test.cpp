// Tables the engine writes, read back value for value by independent readers: dbfread,
// python-dbf and pgdbf (through check_readers.py), on every type the engine creates, nulls,
// memos and the largest widths.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>

#include "platform/vfp/engine.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

struct Cell {
  std::string literal;                  // as written in the INSERT
  std::optional<std::string> expected;  // the value the readers must find; nullopt: null
};

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// Runs the readers over `table` in `dir`; returns their report and whether all agreed.
std::pair<bool, std::string> runReaders(const std::string& dbf, const std::string& expectedJson,
                                        bool prefix = false) {
  std::string cmd = "/usr/bin/python3 " + std::string(TW_VFP_TEST_DIR) + "/check_readers.py '" + dbf + "' '" +
                    expectedJson + "'" + (prefix ? " --prefix" : "") + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return {false, "cannot run " + cmd};
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  int status = pclose(p);
  return {status == 0, out};
}

void checkTable(const std::string& create, const std::string& name, const std::string& types,
                const std::vector<std::vector<Cell>>& rows, std::size_t batchBytes = 1 << 20) {
  ScratchFolder dir;
  {
    Engine engine(plainFs(), dir.path());
    engine.setBatchBytes(batchBytes);
    engine.execute(create);
    for (const auto& row : rows) {
      std::string sql = "INSERT INTO [" + name + "] VALUES (";
      for (std::size_t i = 0; i < row.size(); ++i) sql += (i ? ", " : "") + row[i].literal;
      ASSERT_EQ(failureOf([&] { engine.execute(sql + ");"); }), "") << sql.substr(0, 300);
    }
  }
  std::string json = "{\"types\": [";
  for (std::size_t i = 0; i < types.size(); ++i) json += (i ? ", \"" : "\"") + std::string(1, types[i]) + "\"";
  json += "], \"rows\": [";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    json += r ? ", [" : "[";
    for (std::size_t i = 0; i < rows[r].size(); ++i)
      json += (i ? ", " : "") + (rows[r][i].expected ? jsonString(*rows[r][i].expected) : std::string("null"));
    json += "]";
  }
  json += "]}";
  std::string jsonPath = dir.file("expected.json");
  std::ofstream(jsonPath) << json;
  auto [ok, report] = runReaders(dir.file(tw::vfp::tableFileBase(name) + ".dbf"), jsonPath);
  EXPECT_TRUE(ok) << report;
  EXPECT_NE(report.find("OK dbfread " + std::to_string(rows.size())), std::string::npos) << report;
  EXPECT_NE(report.find("OK python-dbf " + std::to_string(rows.size())), std::string::npos) << report;
  EXPECT_NE(report.find("OK pgdbf " + std::to_string(rows.size())), std::string::npos) << report;
}

Cell text(const std::string& s) { return {quoted(s), s}; }
Cell bare(const std::string& literal) { return {literal, literal}; }
Cell null() { return {"NULL", std::nullopt}; }

TEST(Readers, ReadEveryTypeNullsMemosAndTheLargestWidths) {
  std::string longText;
  for (int i = 0; i < 254; ++i)
    longText += i % 40 == 39 ? "\xC3\xA9" : std::string(1, static_cast<char>('a' + i % 26));
  std::string longMemo;
  for (int i = 0; i < 5000; ++i)
    longMemo += i % 100 == 99 ? "\xE2\x82\xAC" : std::string(1, static_cast<char>('A' + i % 26));
  checkTable(
      "CREATE TABLE \"AllTypes\"([CH] CHAR(254),[NU] N(20,4),[FL] F(20,18),[IN] INT,[DB] DOUBLE,[CU] CURRENCY,"
      "[DA] DATE,[DT] DATETIME,[LO] LOGICAL,[ME] MEMO,[N0] N(20));",
      "AllTypes", "CNFIBYDTLMN",
      {
          {text(longText),
           bare("123456789012345.6789"),
           bare("0.123456789012345678"),
           bare("-2147483647"),
           bare("1E+15"),
           bare("922337203685477.5807"),
           {"{^2021-02-03}", "2021-02-03"},
           {"{^2024-01-31 13:45:10}", "2024-01-31 13:45:10"},
           {".T.", "T"},
           text(longMemo),
           bare("-9999999999999999999")},
          {null(), null(), null(), null(), null(), null(), null(), null(), null(), null(), null()},
          {text("O'Neil \xE2\x80\x9Cquoted\xE2\x80\x9D"),
           bare("-0.5"),
           bare("0.5"),
           bare("2147483647"),
           bare("-0.5"),
           bare("-922337203685477.5808"),
           {"{^1899-12-30}", "1899-12-30"},
           {"{^1999-12-31 23:59:59}", "1999-12-31 23:59:59"},
           {".F.", "F"},
           text("line one"),
           bare("0")},
          {text("x"),
           null(),
           bare("1.5"),
           bare("0"),
           null(),
           bare("0.0001"),
           null(),
           {"{^2000-02-29 00:00:01}", "2000-02-29 00:00:01"},
           null(),
           text("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"),
           bare("12345678901234567890")},
      });
}

TEST(Readers, ReadEveryBigIntegerAndWideDecimalsAsTheNearestDouble) {
  // N(20,0) holds a big integer's 19 digits and sign; B a Decimal(28,10) to the nearest double.
  checkTable("CREATE TABLE big ([bi] N(20,0), [de] DOUBLE)", "big", "NB",
             {{bare("-9223372036854775808"), bare("123456789012345678.1234567890")},
              {bare("9223372036854775807"), bare("-999999999999999999.9999999999")},
              {bare("0"), bare("0.0000000001")},
              {null(), bare("-0.0000000001")}});
}

TEST(Readers, ReadATableWhoseNotNullFieldsStandBetweenNullableOnes) {
  checkTable("CREATE TABLE mixed ([A] INT NOT NULL,[B] CHAR(10),[C] N(5,2) NOT NULL,[D] MEMO,[E] INT,[F] L NOT NULL)",
             "mixed", "ICNMIL",
             {{bare("1"), text("one"), bare("1.25"), text("memo one"), bare("10"), {".T.", "T"}},
              {bare("2"), null(), bare("-2.5"), null(), null(), {".F.", "F"}},
              {bare("3"), text("three"), bare("99.99"), null(), bare("30"), {".T.", "T"}},
              {bare("4"), null(), bare("0"), text("memo four"), null(), {".F.", "F"}}});
}

TEST(Readers, ReadTheProgramsStatementsAcrossManyBatches) {
  std::vector<std::vector<Cell>> rows;
  for (int i = 0; i < 2000; ++i) {
    rows.push_back({bare(std::to_string(i)), text("Customer " + std::to_string(i * 13)),
                    i % 7 == 0 ? null() : text("Note " + std::string(static_cast<std::size_t>(i % 200), 'n')),
                    text("02/03/2021"), bare(std::to_string(i) + ".25"), bare(std::to_string(i % 2)),
                    bare(std::to_string(i % 1000) + "." + std::to_string(10 + i % 90))});
  }
  // Small batches, so the table is written out many times along the way.
  checkTable(
      "CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(254),[Notes] MEMO,[OrderDat] CHAR(19),"
      "[Amount] DOUBLE,[Paid] INT,[Price] N(12,2));",
      "Orders", "ICMCBIN", rows, 4096);
}

TEST(Readers, ReadTheProgramsTablesThatHaveNoMemoField) {
  // The program's own mapping: memo text becomes CHAR(254), currency DOUBLE, yes/no INT.
  checkTable(
      "CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(254),[Notes] CHAR(254),[OrderDat] CHAR(12),"
      "[Amount] DOUBLE,[Paid] INT);",
      "Orders", "ICCCBI",
      {{bare("7"), text("O'Neil"), null(), text("02/03/2021"), bare("12.5"), bare("1")},
       {bare("8"), text("Zo\xC3\xAB"), text("note"), null(), bare("-0.25"), bare("0")}});
}

}  // namespace
