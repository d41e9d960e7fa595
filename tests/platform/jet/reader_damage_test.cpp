// Damaged copies of corpus files, made here: random bytes changed outside and inside page
// 0, and truncation; and a damaged properties blob. Every copy must end in a clean read or in data::Failure, never in
// a crash, another exception or a hang; a failed row costs that row and reading goes on.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/data_access.h"
#include "platform/jet/provider.h"
#include "platform/jet/writer/writer.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
const std::string kCorpus = std::string(TW_SHARED_DIR) + "/corpus/access/";

struct Outcome {
  int opened = 0, failedOpen = 0, rows = 0, rowFailures = 0;
};

// Opens, lists and reads every table, counting what happens; only data::Failure is allowed.
void readEverything(data::DataAccess& dataAccess, const std::string& path, const std::string& password,
                    Outcome& out) {
  auto c = dataAccess.createConnection();
  try {
    c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path + ";Jet OLEDB:Database Password=" + password);
  } catch (const data::Failure&) {
    ++out.failedOpen;
    return;
  }
  ++out.opened;
  std::vector<std::string> tables;
  try {
    auto schema = c->OpenSchema(data::kSchemaTables);
    for (; !schema->Eof(); schema->MoveNext()) {
      std::string type = schema->value("TABLE_TYPE").as<std::string>();
      if (type == "TABLE" || type == "SYSTEM TABLE") tables.push_back(schema->value("TABLE_NAME").as<std::string>());
    }
  } catch (const data::Failure&) {
    ++out.rowFailures;
  }
  for (const std::string& t : tables) {
    data::Recordset rs;
    try {
      rs.Open("SELECT * FROM `" + t + "`", *c);
    } catch (const data::Failure&) {
      ++out.rowFailures;
      if (!rs.isOpen()) continue;
    }
    std::int64_t guard = 0;
    while (true) {
      try {
        if (rs.Eof()) break;
        ++out.rows;
        rs.MoveNext();
      } catch (const data::Failure&) {
        ++out.rowFailures;
      }
      ASSERT_LT(++guard, 10'000'000) << "reading " << t << " does not end";
    }
  }
}

class DamagedCopies : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedCopies, EndInAFailureOrACleanRead) {
  const std::string source = kCorpus + GetParam();
  if (!fs::exists(source)) GTEST_SKIP() << "Access corpus not present at " << kCorpus;
  std::ifstream in(source, std::ios::binary);
  const std::vector<char> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t pageSize = original.size() > 0x14 && original[0x14] == 0 ? 2048 : 4096;
  const std::string password = std::string(GetParam()).find("encryption") != std::string::npos ? "password" : "";
  const fs::path copy = fs::temp_directory_path() / ("tw_damaged_" + std::to_string(::getpid()) + ".accdb");

  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  Outcome outcome;
  std::mt19937 rng(12345);
  const int kCopies = 300;
  for (int n = 0; n < kCopies; ++n) {
    std::vector<char> bytes = original;
    const int kind = n % 3;
    if (kind == 0) {
      // 40 random bytes beyond page 0.
      std::uniform_int_distribution<std::size_t> at(pageSize, bytes.size() - 1);
      for (int i = 0; i < 40; ++i) bytes[at(rng)] = static_cast<char>(rng());
    } else if (kind == 1) {
      // A few bytes of page 0, some of them in the masked header block.
      std::uniform_int_distribution<std::size_t> at(0, pageSize - 1);
      for (int i = 0; i < 3; ++i) bytes[at(rng)] = static_cast<char>(rng());
    } else {
      std::uniform_int_distribution<std::size_t> len(0, bytes.size() - 1);
      bytes.resize(len(rng));
    }
    std::ofstream(copy, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    SCOPED_TRACE("copy " + std::to_string(n));
    readEverything(dataAccess, copy.string(), password, outcome);
    if (HasFatalFailure()) break;
  }
  fs::remove(copy);
  // Some copies must still open and yield rows, and some must fail: the damage was real.
  EXPECT_GT(outcome.opened, 0);
  EXPECT_GT(outcome.rows, 0);
  EXPECT_GT(outcome.failedOpen + outcome.rowFailures, 0);
  std::cout << GetParam() << ": opened " << outcome.opened << ", failed to open " << outcome.failedOpen << ", rows "
            << outcome.rows << ", failures while reading " << outcome.rowFailures << "\n";
}

INSTANTIATE_TEST_SUITE_P(Access, DamagedCopies,
                         ::testing::Values("jackcess/V1997/testV1997.mdb", "jackcess/V1997/test2V1997.mdb",
                                           "jackcess/V2003/testV2003.mdb", "jackcess/V2003/test2V2003.mdb",
                                           "jackcess/V2007/complexDataTestV2007.accdb",
                                           "mdb-reader/data/V2016/longtext.accdb",
                                           "mdb-reader/data/V2016/attachments.accdb",
                                           "mdb-reader/encryption/data/office-agile-4.2.accdb"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

// A properties blob that runs past its end: the table still opens and gives every row, the
// damage is reported once, naming the table, and the calculated values (whose type the
// blob holds) read as null rather than as misread bytes.
TEST(DamagedProperties, CostOnlyTheValuesThatDependOnThem) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("props.accdb").toStdString();
  jet::FieldDefinition name{"Name", jet::FieldKind::Text, 20}, twice{"Twice", jet::FieldKind::Long};
  name.required = twice.calculated = true;
  {
    jet::MdbWriter w(path, {44197.5, "", jet::FileVersion::Ace14});
    const int t = w.addTable({"T", {name, twice}});
    for (int i = 1; i <= 3; ++i) w.appendRow(t, {Value("n" + std::to_string(i)), Value(2 * i)});
    w.finish();
  }
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  f.seekp(static_cast<std::streamoff>(bytes.find(std::string("MR2\0", 4)) + 5));
  f.put('\x7f');  // the first block's length, far past the blob's end
  f.close();
  data::DataAccess dataAccess;
  jet::registerAccessProviders(dataAccess);
  auto c = dataAccess.createConnection();
  c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path);
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
