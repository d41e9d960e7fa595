// Garbled statements and damaged files: the engine refuses them with a Failure and never
// crashes, hangs or leaves a table that no longer opens.
#include <gtest/gtest.h>

#include <random>

#include "platform/vfp/dbf_format.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

const char* kCreate =
    "CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(20),[Notes] MEMO,[OrderDat] CHAR(19),"
    "[Amount] DOUBLE,[Paid] INT,[Price] N(12,2),[Cost] Y,[Day] D,[At] T,[Ok] L);";

const char* kStatements[] = {
    "INSERT INTO [Orders] VALUES (7, 'O''Neil',NULL, '02/03/2021', 12.5, 1, 3.25, 1.5, {^2021-02-03}, "
    "{^2021-02-03 10:11:12}, .T.);",
    "INSERT INTO \"orders\" VALUES (-8, \"Zo\xC3\xAB\", 'memo text', NULL, 1E+15, 0, -0.5, NULL, {}, {}, .F.)",
    kCreate,
    "DROP TABLE \"Orders\"",
    "CREATE TABLE t ([a] N(5,2) NOT NULL, [b] C(3))",
};

std::string mutate(std::string s, std::mt19937& rng) {
  static const std::string alphabet = "'\"[](),;.{}^-+eE0123456789 aNUL\xC3\xA9\xFF\x80";
  int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits && !s.empty(); ++e) {
    std::size_t at = rng() % s.size();
    switch (rng() % 4) {
      case 0: s.erase(at, 1 + rng() % 3); break;
      case 1: s.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
      case 2: s[at] = alphabet[rng() % alphabet.size()]; break;
      default: s.resize(at); break;
    }
  }
  return s;
}

TEST(Robustness, GarbledStatementsAreRefusedOrRunButNeverBreakTheTable) {
  ScratchFolder dir;
  std::mt19937 rng(12345);
  Engine engine(plainFs(), dir.path());
  engine.setBatchBytes(2048);
  int refused = 0, run = 0;
  for (int i = 0; i < 20000; ++i) {
    if (!std::filesystem::exists(dir.file("orders.dbf"))) engine.execute(kCreate);
    std::string s = mutate(kStatements[rng() % std::size(kStatements)], rng);
    try {
      engine.execute(s);
      ++run;
    } catch (const tw::data::Failure& f) {
      ++refused;
      EXPECT_EQ(f.description().rfind("SQLException: ", 0), 0u) << s << "\n" << f.description();
    }
  }
  engine.flush();
  EXPECT_GT(refused, 1000);
  EXPECT_GT(run, 100);
  // Whatever got in reads back.
  if (std::filesystem::exists(dir.file("orders.dbf"))) {
    TableReader reader(engine.fileSystem(), dir.file("orders.dbf"), dir.file("orders.fpt"));
    std::vector<tw::Value> row;
    while (reader.next(row)) ASSERT_EQ(row.size(), 11u);
  }
}

TEST(Robustness, DamagedFilesAreReportedNeverCrash) {
  ScratchFolder dir;
  {
    Engine engine(plainFs(), dir.path());
    engine.execute(kCreate);
    for (int i = 0; i < 20; ++i) engine.execute(kStatements[i % 2]);
  }
  const auto dbf = readBytes(dir.file("orders.dbf"));
  const auto fpt = readBytes(dir.file("orders.fpt"));
  std::mt19937 rng(777);
  int problems = 0;
  for (int i = 0; i < 1500; ++i) {
    auto d = dbf;
    auto m = fpt;
    auto& target = rng() % 4 == 0 ? m : d;
    int hits = 1 + static_cast<int>(rng() % 6);
    for (int h = 0; h < hits; ++h) {
      // Mostly the headers, where a wrong byte does the most harm.
      std::size_t limit = rng() % 3 ? std::min<std::size_t>(target.size(), 800) : target.size();
      target[rng() % limit] = static_cast<std::uint8_t>(rng());
    }
    if (rng() % 5 == 0) target.resize(rng() % target.size());
    writeBytes(dir.file("orders.dbf"), d);
    writeBytes(dir.file("orders.fpt"), m);
    Engine engine(plainFs(), dir.path());
    auto tables = engine.listTables();
    ASSERT_EQ(tables.size(), 1u);
    if (!tables[0].problem.empty()) ++problems;
    try {
      engine.execute(kStatements[0]);
      engine.flush();
    } catch (const tw::data::Failure&) {
    }
    try {
      TableReader reader(engine.fileSystem(), dir.file("orders.dbf"), dir.file("orders.fpt"));
      std::vector<tw::Value> row;
      for (int n = 0; n < 100 && reader.next(row); ++n) {
      }
    } catch (const CorruptTable&) {
    } catch (const tw::data::Failure&) {
    }
  }
  EXPECT_GT(problems, 300);
}

}  // namespace
