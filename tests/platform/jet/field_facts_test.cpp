// The field facts the Access provider reports (declared text size, decimal precision and
// scale, Required, AutoNumber and the field properties) against mdbtools, which reads them on its own: every table of
// the corpus files made by Access, and the sample database the writer makes. Then a damaged properties blob: a clear
// error, and every row still read.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <map>
#include <sstream>

#include "platform/data_access.h"
#include "platform/jet/provider.h"
#include "platform/jet/writer/writer.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

std::string run(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ::pclose(p);
  return out;
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

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
        run("mdb-schema -T " + quoted(table) + " " + quoted(file) + " " + backend + " 2>/dev/null"));
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
  std::istringstream in(run("mdb-prop " + quoted(file) + " " + quoted(table) + " 2>/dev/null"));
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

std::vector<std::string> files() {
  std::vector<std::string> out = {std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb"};
  const fs::path corpus = fs::path(TW_SHARED_DIR) / "corpus" / "access";
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(corpus, ec)) {
    const std::string p = e.path().string();
    if ((p.ends_with(".mdb") || p.ends_with(".accdb")) && p.find("with-password") == std::string::npos &&
        p.find("/encryption/") == std::string::npos)
      out.push_back(p);
  }
  return out;
}

class FieldFacts : public ::testing::TestWithParam<std::string> {};

TEST_P(FieldFacts, AgreeWithMdbtools) {
  const std::string file = GetParam();
  if (!fs::exists(file)) GTEST_SKIP() << "absent: " << file;
  if (run("command -v mdb-prop").empty()) GTEST_SKIP() << "mdbtools not installed";
  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  auto c = dataAccess.createConnection();
  c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + file);
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

INSTANTIATE_TEST_SUITE_P(Access, FieldFacts, ::testing::ValuesIn(files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = fs::path(info.param).parent_path().filename().string() + "_" +
                                           fs::path(info.param).stem().string();
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n + "_" + std::to_string(info.index);
                         });

// A properties blob that runs past its end: the table still opens and gives every row, the
// damage is reported once, naming the table, and the calculated values (whose type the
// blob holds) read as null rather than as misread bytes.
TEST(FieldFacts, DamagedPropertiesCostOnlyWhatDependsOnThem) {
  QTemporaryDir dir;
  const QString path = dir.filePath("props.accdb");
  jet::DatabaseSettings settings;
  settings.version = jet::FileVersion::Ace14;
  {
    jet::MdbWriter w(path.toStdString(), settings);
    jet::FieldDefinition name{"Name", jet::FieldKind::Text, 20}, twice{"Twice", jet::FieldKind::Long};
    name.required = true;
    twice.calculated = true;
    twice.expression = "[ID]*2";
    const int t = w.addTable({"T", {name, twice}});
    for (int i = 1; i <= 3; ++i) w.appendRow(t, {Value("n" + std::to_string(i)), Value(2 * i)});
    w.finish();
  }
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  QByteArray bytes = f.readAll();
  const qsizetype at = bytes.indexOf(QByteArray("MR2\0", 4));
  ASSERT_GT(at, 0);
  bytes[at + 5] = '\x7f';  // the first block's length, far past the blob's end
  f.seek(0);
  f.write(bytes);
  f.close();

  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  auto c = dataAccess.createConnection();
  c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path.toStdString());
  data::Recordset rs;
  std::vector<std::string> failures, names;
  auto step = [&](auto action) {
    try {
      action();
    } catch (const data::Failure& e) {
      failures.push_back(e.description());
    }
  };
  step([&] { rs.Open("SELECT * FROM `T`", *c); });
  for (int guard = 0; guard < 10 && !rs.Eof(); ++guard) {
    names.push_back(rs.value(0).as<std::string>());
    EXPECT_TRUE(rs.value(1).isNull());
    step([&] { rs.MoveNext(); });
  }
  EXPECT_EQ(names, (std::vector<std::string>{"n1", "n2", "n3"}));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("the properties of table 'T' cannot be read at byte 4: a block runs past the end"),
            std::string::npos)
      << failures[0];
  EXPECT_TRUE(rs.field(0).isNullable());  // Required is not known any more
}

}  // namespace
}  // namespace tw
