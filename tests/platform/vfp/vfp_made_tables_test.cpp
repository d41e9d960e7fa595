// Appending to tables Visual FoxPro made: their rows stay as they were, the new rows follow,
// and the independent readers still read the whole table.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

#include <cstdio>

#include "platform/vfp/dbf_format.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

std::vector<std::vector<tw::Value>> readAll(const std::string& dbf, const std::string& fpt) {
  TableReader reader(*plainFs(), dbf, fpt);
  std::vector<std::vector<tw::Value>> rows;
  std::vector<tw::Value> row;
  while (reader.next(row)) rows.push_back(row);
  return rows;
}

// "dbfread N python-dbf N pgdbf N": the live rows each reader finds.
std::string readerCounts(const std::string& dbf, const std::string& fpt) {
  std::string script =
      "import dbfread, dbf, subprocess, sys\n"
      "p, m = sys.argv[1], sys.argv[2]\n"
      "a = len(dbfread.DBF(p, load=True, ignore_missing_memofile=not m).records)\n"
      "t = dbf.Table(p); t.open(dbf.READ_ONLY); b = sum(1 for r in t if not dbf.is_deleted(r)); t.close()\n"
      "cmd = ['pgdbf', '-C', '-D', '-T'] + (['-m', m] if m else []) + [p]\n"
      "out = subprocess.run(cmd, capture_output=True, check=True).stdout.decode('latin-1')\n"
      "lines = out.split('FROM STDIN\\n', 1)[1].split('\\n')\n"
      "c = lines.index('\\\\.')\n"
      "print('dbfread %d python-dbf %d pgdbf %d' % (a, b, c))\n";
  std::string path = dbf + ".py";
  writeBytes(path, std::vector<std::uint8_t>(script.begin(), script.end()));
  std::string cmd = "/usr/bin/python3 '" + path + "' '" + dbf + "' '" + fpt + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

struct VfpTable {
  const char* file;  // under corpus/foxpro/dbffile/
  bool memo;
  const char* insert;  // two rows' worth of VALUES lists are appended to "INSERT INTO t VALUES "
  const char* insert2;
  int checkField;  // a field of the first new row, and the value it must read as
  const char* checkText;
};

// Test names carry the file's name rather than the bytes of the parameter.
void PrintTo(const VfpTable& t, std::ostream* os) { *os << t.file; }

class VfpMadeTables : public ::testing::TestWithParam<VfpTable> {};

TEST_P(VfpMadeTables, TakeNewRowsAfterTheirOwn) {
  const VfpTable& c = GetParam();
  std::string corpus = std::string(TW_SHARED_DIR) + "/corpus/foxpro/dbffile/" + c.file;
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "corpus file absent: " << corpus;
  ScratchFolder dir;
  std::string dbf = dir.file("t.dbf"), fpt = c.memo ? dir.file("t.fpt") : "";
  std::filesystem::copy_file(corpus, dbf);
  if (c.memo) std::filesystem::copy_file(corpus.substr(0, corpus.size() - 4) + ".fpt", fpt);
  auto before = readAll(dbf, fpt);
  ASSERT_FALSE(before.empty());
  {
    Engine engine(plainFs(), dir.path());
    engine.execute(std::string("INSERT INTO t VALUES ") + c.insert);
    engine.execute(std::string("INSERT INTO t VALUES ") + c.insert2);
  }
  auto after = readAll(dbf, fpt);
  ASSERT_EQ(after.size(), before.size() + 2);
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]) << "row " << i;
  EXPECT_EQ(after[before.size()][static_cast<std::size_t>(c.checkField)], tw::Value(c.checkText));
  std::size_t n = before.size() + 2;
  EXPECT_EQ(readerCounts(dbf, fpt),
            "dbfread " + std::to_string(n) + " python-dbf " + std::to_string(n) + " pgdbf " + std::to_string(n));
}

INSTANTIATE_TEST_SUITE_P(
    Dbffile, VfpMadeTables,
    ::testing::Values(
        VfpTable{"vfp9_30.dbf", false, "('new one', {^2024-01-31}, {^2024-01-31 13:45:10}, 12.5, -0.25, .T.)",
                 "('new two', {}, {}, -1, 1E+15, .F.)", 0, "new one"},
        VfpTable{"vfp9_30_memo.dbf", true,
                 "(4, 'a memo long enough to need more than one block of sixty-four bytes, surely', 'x', 1.5, "
                 "{^2021-10-12}, {^2021-10-12 01:02:03})",
                 "(5, '', 'y', -2, {}, {})", 1,
                 "a memo long enough to need more than one block of sixty-four bytes, surely"},
        // Block size 1: memos take as many blocks as bytes.
        VfpTable{"vfp9_memo_bs1.dbf", true, "('b1', 'memo in one-byte blocks')", "('b2', 'another')", 1,
                 "memo in one-byte blocks"}),
    [](const ::testing::TestParamInfo<VfpTable>& info) {
      std::string name = info.param.file;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

}  // namespace
