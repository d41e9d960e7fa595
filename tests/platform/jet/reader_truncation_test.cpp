// Access files cut short at random points, as an interrupted copy or download leaves them.
// Each cut copy must read completely (every table exactly as in the whole file) or end in
// a failure that names every table it could not read in full; a table that comes back
// short or different without a failure naming it is the fault this test looks for.
//
// TW_TRUNCATIONS sets how many cuts each file gets (default 60).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "platform/data_access.h"
#include "platform/jet/format.h"
#include "platform/jet/provider.h"
#include "platform/jet/reader.h"
#include "platform/jet/writer/writer.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// What one read of a file gave: each user table's rows as text, and every failure met.
struct Reading {
  bool opened = false;
  std::map<std::string, std::vector<std::vector<Value>>> tables;
  std::vector<std::string> failures;
  bool named(const std::string& table) const {
    for (const std::string& f : failures)
      if (f.find("table '" + table + "'") != std::string::npos ||
          f.find("table '" + table + ".") != std::string::npos)
        return true;
    return false;
  }
};

Reading readAll(data::DataAccess& access, const std::string& path) {
  Reading r;
  auto c = access.createConnection();
  try {
    c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + data::ConnectionString::quoteValue(path) +
            ";Jet OLEDB:Database Password=");
  } catch (const data::Failure& f) {
    r.failures.push_back(f.description());
    return r;
  }
  r.opened = true;
  std::vector<std::string> names;
  try {
    for (auto schema = c->OpenSchema(data::kSchemaTables); !schema->Eof(); schema->MoveNext())
      if (schema->value("TABLE_TYPE").as<std::string>() == "TABLE")
        names.push_back(schema->value("TABLE_NAME").as<std::string>());
  } catch (const data::Failure& f) {
    r.failures.push_back(f.description());
  }
  for (const std::string& name : names) {
    auto& rows = r.tables[name];
    data::Recordset rs;
    try {
      rs.Open("SELECT * FROM `" + name + "`", *c);
    } catch (const data::Failure& f) {
      r.failures.push_back(f.description());
      if (!rs.isOpen()) continue;
    }
    for (int guard = 0; guard < 10'000'000; ++guard) {
      try {
        if (rs.Eof()) break;
        rows.push_back(rs.row());
        rs.MoveNext();
      } catch (const data::Failure& f) {
        r.failures.push_back(f.description());
      }
    }
  }
  return r;
}

int truncations() {
  const char* n = std::getenv("TW_TRUNCATIONS");
  return n && std::atoi(n) > 0 ? std::atoi(n) : 60;
}

class Truncated : public ::testing::TestWithParam<std::string> {};

TEST_P(Truncated, CopiesReadWholeOrNameEveryTableTheyLose) {
  const std::string source = GetParam();
  if (!fs::exists(source)) GTEST_SKIP() << source << " is not present";
  std::ifstream in(source, std::ios::binary);
  const std::vector<char> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const fs::path copy = fs::temp_directory_path() / ("tw_cut_" + std::to_string(::getpid()) + ".mdb");
  data::DataAccess access;
  jet::registerAccessProviders(access);

  const Reading whole = readAll(access, source);
  ASSERT_TRUE(whole.opened);
  ASSERT_TRUE(whole.failures.empty()) << whole.failures.front();

  std::mt19937 rng(20240611);
  // Half the cuts anywhere, half in the last tenth, where a copy is most often interrupted
  // and where the catalog and the first pages, which fail the whole file, stay whole.
  std::uniform_int_distribution<std::size_t> anywhere(0, original.size() - 1);
  std::uniform_int_distribution<std::size_t> nearEnd(original.size() - original.size() / 10, original.size() - 1);
  int complete = 0, failed = 0, silent = 0;
  for (int n = truncations(); n > 0; --n) {
    const std::size_t size = n % 2 ? anywhere(rng) : nearEnd(rng);
    std::ofstream(copy, std::ios::binary | std::ios::trunc)
        .write(original.data(), static_cast<std::streamsize>(size));
    const Reading got = readAll(access, copy.string());
    bool silentHere = false;
    if (got.opened) {
      for (const auto& [name, rows] : whole.tables) {
        auto it = got.tables.find(name);
        const bool same = it != got.tables.end() && it->second == rows;
        // A table that is missing from the list, or whose rows differ, needs its own failure
        // (or a failure of the listing, which stands for every table).
        const bool listingFailed = it == got.tables.end() && !got.failures.empty();
        if (!same && !listingFailed && !got.named(name)) {
          silentHere = true;
          ADD_FAILURE() << "cut at " << size << " of " << original.size() << ": table " << name << " has "
                        << (it == got.tables.end() ? 0 : it->second.size()) << " of " << rows.size()
                        << " rows and no failure names it";
        }
      }
    }
    silent += silentHere ? 1 : 0;
    if (!silentHere) (got.failures.empty() ? complete : failed) += 1;
  }
  fs::remove(copy);
  std::cout << source << ": " << truncations() << " cuts: " << complete << " complete, " << failed
            << " ended in a named failure, " << silent << " silently short\n";
  EXPECT_EQ(silent, 0);
  EXPECT_GT(failed, 0);
}

// A table whose walk finds fewer rows than its definition counts, without any damage met
// on the way, hands out the rows it found and then fails once, naming the table.
TEST(TableRowCount, FewerRowsThanTheDefinitionCountsEndInAFailure) {
  const fs::path path = fs::temp_directory_path() / ("tw_count_" + std::to_string(::getpid()) + ".mdb");
  jet::MdbWriter writer(path.string());
  int t = writer.addTable({"Orders", {{"ID", jet::FieldKind::Long}}});
  for (int i = 0; i < 500; ++i) writer.appendRow(t, {Value(std::int64_t{i})});
  writer.finish();
  const std::uint32_t tdef = jet::Database::open(path.string(), "")->findTable("Orders")->tdefPage();
  data::DataAccess access;
  jet::registerAccessProviders(access);
  for (std::uint32_t stored : {0u, 500u, 503u}) {  // a count that fell behind is no damage
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(tdef) * jet::kPageSizeJet4 +
            static_cast<std::streamoff>(jet::kTableDefJet4.rowCount));
    f.put(static_cast<char>(stored & 0xFF)).put(static_cast<char>(stored >> 8)).put(0).put(0);
    f.close();
    Reading r = readAll(access, path.string());
    EXPECT_EQ(r.tables["Orders"].size(), 500u);
    EXPECT_EQ(r.failures.size(), stored > 500 ? 1u : 0u) << stored;
  }
  EXPECT_NE(readAll(access, path.string())
                .failures.at(0)
                .find("table 'Orders' may be incomplete: its definition counts 503 rows, but only 500 were found."),
            std::string::npos);
  fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Access, Truncated,
    ::testing::Values(std::string(TW_BINARY_DIR) + "/bin/Samples/sample.mdb",
                      std::string(TW_SHARED_DIR) + "/corpus/access/jackcess/V2003/compIndexTestV2003.mdb",
                      std::string(TW_SHARED_DIR) + "/corpus/access/jackcess/V1997/testIndexCodesV1997.mdb",
                      std::string(TW_SHARED_DIR) + "/corpus/access/mdb-reader/data/V2016/attachments.accdb",
                      std::string(TW_SHARED_DIR) + "/corpus/access/jackcess/V2007/complexDataTestV2007.accdb"),
    [](const auto& info) {
      std::string n = fs::path(info.param).stem().string();
      for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

}  // namespace
}  // namespace tw
