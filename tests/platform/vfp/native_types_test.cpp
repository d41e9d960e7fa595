// Visual FoxPro's own column types end to end: Varchar, Varbinary and Blob values and nulls
// as a reader written from the published layout reads them (read_varfields.py), on the
// engine's tables and on one Visual FoxPro made; autoincrementing fields across engines,
// ALTER TABLE and a torn write; field properties in a container against VFP's bytes.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <map>

#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

QJsonObject readIndependently(const std::string& dbf) {
  std::string cmd = "/usr/bin/python3 " + std::string(TW_VFP_TEST_DIR) + "/read_varfields.py '" + dbf + "'";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

// The engine's own reader, in the independent reader's terms: bytes as hex, "?" for the
// types that one leaves alone.
QJsonArray readByEngine(const std::string& dbf, const std::string& fpt) {
  TableReader reader(*plainFs(), dbf, fpt);
  QJsonArray rows;
  std::vector<tw::Value> row;
  while (reader.next(row)) {
    QJsonArray out;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const tw::Value& v = row[i];
      if (std::string("VQWCI").find(reader.header().layout.fields[i].type) == std::string::npos) out.append("?");
      else if (v.isNull()) out.append(QJsonValue::Null);
      else if (auto* s = v.get<std::string>()) out.append(QString::fromStdString(*s));
      else if (auto* n = v.get<std::int64_t>()) out.append(static_cast<double>(*n));
      else
        out.append(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(v.as<tw::Bytes>().data()),
                                                  static_cast<qsizetype>(v.as<tw::Bytes>().size()))
                                           .toHex()));
    }
    rows.append(out);
  }
  return rows;
}

QJsonArray json(const char* text) { return QJsonDocument::fromJson(text).array(); }

TEST(NativeTypes, VariableFieldsBlobsAndNullsReadAsThePublishedLayoutSays) {
  ScratchFolder dir;
  {
    Engine engine(plainFs(), dir.path());
    engine.execute(
        "CREATE TABLE t (id I AUTOINC NEXTVALUE 5 STEP 2, vc V(10), vb Q(6), bl W, nv V(4) NOT NULL, c C(3))");
    engine.execute("INSERT INTO t (vc, vb, bl, nv, c) VALUES ('abc', 0h0102, 0hDEADBEEF, 'full', 'x')");
    engine.execute("INSERT INTO t (vc, vb, bl, nv, c) VALUES ('exactly10!', 0h010203040506, 0h, '', NULL)");
    engine.execute("INSERT INTO t (vc, vb, bl, nv, c) VALUES (NULL, NULL, NULL, 'ab  ', 'y')");
    engine.execute("INSERT INTO t VALUES (100, '\xC3\xA9', 0h, 0h00, 'z', 'q')");  // stored as given
    EXPECT_NE(failureOf([&] { engine.execute("INSERT INTO t (nv) VALUES (NULL)"); }), "");
    engine.execute("INSERT INTO t (vc) VALUES ('last')");  // the refused row took no number
  }
  const QJsonArray expected = json(
      R"([[5, "abc", "0102", "deadbeef", "full", "x"], [7, "exactly10!", "010203040506", "", "", null],
          [9, null, null, null, "ab  ", "y"], [100, "\u00e9", "", "00", "z", "q"], [11, "last", null, null, "", null]])");
  const QJsonObject independent = readIndependently(dir.file("t.dbf"));
  EXPECT_EQ(independent["rows"].toArray(), expected);
  EXPECT_EQ(readByEngine(dir.file("t.dbf"), dir.file("t.fpt")), expected);
  EXPECT_EQ(independent["version"].toInt(), 0x32);
  const QJsonObject id = independent["fields"].toArray()[0].toObject();
  EXPECT_EQ(id["flags"].toInt(), 0x0C);
  EXPECT_EQ(id["next"].toInt(), 13);
  EXPECT_EQ(id["step"].toInt(), 2);
}

TEST(NativeTypes, ATableVfpMadeWithEveryTypeReadsAlikeAndTakesRows) {
  const std::string corpus = std::string(TW_SHARED_DIR) + "/corpus/foxpro/foxbin2prg/TESTS/DATOS_READONLY/fb2p_free";
  if (!std::filesystem::exists(corpus + ".dbf")) GTEST_SKIP() << "corpus file absent: " << corpus;
  ScratchFolder dir;
  // A copy without its index, which the engine would not keep up to date.
  auto bytes = readBytes(corpus + ".dbf");
  bytes[28] &= ~0x01;
  writeBytes(dir.file("t.dbf"), bytes);
  std::filesystem::copy_file(corpus + ".fpt", dir.file("t.fpt"));
  const QJsonArray vfpRows = readIndependently(dir.file("t.dbf"))["rows"].toArray();
  ASSERT_EQ(vfpRows.size(), 4);
  EXPECT_EQ(readByEngine(dir.file("t.dbf"), dir.file("t.fpt")), vfpRows);
  {
    Engine engine(plainFs(), dir.path());
    engine.execute(
        "INSERT INTO t (caracter, logico, var_char, var_binary, blob) VALUES ('new', .T., 'v', 0hCAFE, 0h01)");
  }
  const QJsonObject after = readIndependently(dir.file("t.dbf"));
  const QJsonArray rows = after["rows"].toArray();
  ASSERT_EQ(rows.size(), 5);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rows[i], vfpRows[i]) << "row " << i;
  // CARACTER, BLOB, VAR_BINARY, VAR_CHAR and the autoincrementing ID_AUTOINC (next 50, step 5).
  EXPECT_EQ(rows[4].toArray()[0].toString(), "new");
  EXPECT_EQ(rows[4].toArray()[7].toString(), "01");
  EXPECT_EQ(rows[4].toArray()[12].toString(), "cafe");
  EXPECT_EQ(rows[4].toArray()[13].toString(), "v");
  EXPECT_EQ(rows[4].toArray()[17].toInt(), 50);
  EXPECT_EQ(after["fields"].toArray()[17].toObject()["next"].toInt(), 55);
}

TEST(NativeTypes, AutoIncrementContinuesAcrossEnginesAndAlterTable) {
  ScratchFolder dir;
  auto fs = std::make_shared<FaultyFileSystem>();
  {
    Engine engine(fs, dir.path());
    engine.execute("CREATE TABLE t (id I AUTOINC, k I NOT NULL, n C(2))");
    engine.execute("INSERT INTO t (n) VALUES ('a')");
  }
  {
    Engine engine(fs, dir.path());
    engine.execute("INSERT INTO t (n) VALUES ('b')");  // the next value comes from the header
    engine.execute("ALTER TABLE t ALTER COLUMN id I AUTOINC NEXTVALUE 40 STEP 1");
    engine.execute("INSERT INTO t (n) VALUES ('c')");
    engine.execute("ALTER TABLE \"T\" ALTER k I AUTOINC NEXTVALUE 7 STEP 3 NOT NULL");  // now numbering too
    engine.execute("INSERT INTO t (n) VALUES ('d')");
    engine.flush();
    // A write torn after three of its six bytes: the old bytes go back.
    const auto before = readBytes(dir.file("t.dbf"));
    fs->writeBudget = 3;
    fs->refillAfterFailure = true;
    const std::string error =
        failureOf([&] { engine.execute("ALTER TABLE t ALTER COLUMN id I AUTOINC NEXTVALUE 1000"); });
    EXPECT_EQ(error.rfind("SQLException: Error writing to file.", 0), 0u) << error;
    EXPECT_NE(error.find("t.dbf"), std::string::npos) << error;
    EXPECT_EQ(readBytes(dir.file("t.dbf")), before);
  }
  const QJsonObject table = readIndependently(dir.file("t.dbf"));
  EXPECT_EQ(table["rows"].toArray(), json(R"([[1, 0, "a"], [2, 0, "b"], [40, 0, "c"], [41, 7, "d"]])"));
  EXPECT_EQ(table["version"].toInt(), 0x31);
  const QJsonArray fields = table["fields"].toArray();
  EXPECT_EQ(fields[0].toObject()["next"].toInt(), 42);
  EXPECT_EQ(fields[1].toObject()["flags"].toInt(), 0x0C);
  EXPECT_EQ(fields[1].toObject()["next"].toInt(), 10);
  EXPECT_EQ(fields[1].toObject()["step"].toInt(), 3);
}

// The properties (id and bytes, as stored) of each Field record of the container's table
// `table`, read from the published layout of the .dbc (PROPERTY memo at byte 147 of a
// record) and its memo file, keeping only the ids in `ids`.
std::vector<std::vector<std::pair<int, std::string>>> fieldProperties(const std::string& dbc, const std::string& dct,
                                                                      const std::string& table,
                                                                      const std::string& ids) {
  const auto d = readBytes(dbc);
  const auto m = readBytes(dct);
  const std::uint32_t count = getLe32(&d[4]), headerLength = getLe16(&d[8]), recordLength = getLe16(&d[10]);
  const std::uint32_t blockSize = (m[6] << 8) | m[7];
  std::int32_t tableId = -1;
  std::vector<std::vector<std::pair<int, std::string>>> out;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* r = &d[headerLength + i * recordLength];
    const std::string type(reinterpret_cast<const char*>(r + 9), 10),
        name(reinterpret_cast<const char*>(r + 19), 128);
    if (r[0] == '*') continue;
    if (type.rfind("Table ", 0) == 0 && name.substr(0, name.find(' ')) == table) tableId = getLe32(r + 1);
    if (type.rfind("Field ", 0) != 0 || static_cast<std::int32_t>(getLe32(r + 5)) != tableId) continue;
    out.emplace_back();
    if (const std::uint32_t block = getLe32(r + 147)) {
      const std::uint8_t* memo = &m[block * blockSize + 8];
      for (std::uint32_t pos = 0; pos < getBe32(&m[block * blockSize + 4]); pos += getLe32(memo + pos))
        if (ids.find(static_cast<char>(memo[pos + 6])) != std::string::npos)
          out.back().emplace_back(memo[pos + 6], std::string(memo + pos + 7, memo + pos + getLe32(memo + pos)));
    }
  }
  return out;
}

TEST(NativeTypes, ContainerKeepsDefaultsRulesCaptionsAndCommentsAsVfpDoes) {
  const std::string vfp = std::string(TW_SHARED_DIR) + "/corpus/foxpro/foxbin2prg/TESTS/DATOS_READONLY/fb2p_dbc";
  if (!std::filesystem::exists(vfp + ".dbc")) GTEST_SKIP() << "corpus file absent: " << vfp;
  ScratchFolder dir;
  auto fs = plainFs();
  createContainer(*fs, dir.file("db.dbc"));
  {
    Engine engine(fs, std::make_unique<ContainerCatalog>(fs, dir.file("db.dbc")));
    // VFP's fb2p_depto table, whose first field has every property this engine writes.
    engine.execute(
        "CREATE TABLE fb2p_depto ([depto] C(10) NOT NULL DEFAULT \"Depto.\" CHECK depto_field_validation_rule() "
        "ERROR depto_field_validation_message(), [descrip] C(50) NOT NULL)");
    engine.execute("=DBSETPROP('fb2p_depto.depto', 'FIELD', 'Comment', 'depto_field_comment')");
    engine.execute("DBSETPROP('fb2p_depto.depto', 'FIELD', 'Caption', '\"Depto.Caption\"')");
    engine.execute("dbsetprop('FB2P_DEPTO.Descrip', 'field', 'caption', 'Descripci\xC3\xB3n')");
    EXPECT_EQ(failureOf([&] {
                engine.execute("DBSETPROP('fb2p_depto.nosuch', 'FIELD', 'Caption', 'x')");
              }).rfind("SQLException: Cannot find object \"fb2p_depto.nosuch\" in the database.", 0),
              0u);
    EXPECT_NE(failureOf([&] {
                engine.execute("DBSETPROP('fb2p_depto.descrip', 'FIELD', 'Caption', '\xE6\x97\xA5')");
              }).find("code page 1252"),
              std::string::npos);
    // A rule the container cannot store refuses the table before any file is made.
    EXPECT_NE(failureOf([&] {
                engine.execute("CREATE TABLE other ([a] C(2) DEFAULT '\xE6\x97\xA5')");
              }).find("code page 1252"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.dbf")));
  }
  // Comment 7, DefaultValue 11, Caption 56, RuleExpression 9, RuleText 10.
  const std::string ids = "\x07\x0B\x38\x09\x0A";
  const auto theirs = fieldProperties(vfp + ".dbc", vfp + ".dct", "fb2p_depto", ids);
  ASSERT_EQ(theirs.size(), 2u);
  ASSERT_EQ(theirs[0].size(), 5u);
  EXPECT_EQ(fieldProperties(dir.file("db.dbc"), dir.file("db.dct"), "fb2p_depto", ids), theirs);
}

}  // namespace
