// Reading speed of Tablewright's Access reader against libmdb (mdbtools), in-process, on
// the same tables: every column of every row, scanned repeatedly until a row budget is
// reached. libmdb binds all columns and runs mdb_fetch_row (which turns each value into
// text) and reads OLE values in full; ours walks the table through the provider's record
// set, turning each cell into a tw::Value.
//
//   reader_bench [FILE TABLE]...      default: the largest tables of the Access corpus
//   TW_BENCH_ROWS=N                   rows to read per table and reader (default 1,000,000)
#include <glib.h>  // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/data_access.h"
#include "platform/jet/provider.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
  long long rows = 0;
  double seconds = 0;
  bool ok = false;
};

Result benchMdbtools(const std::string& path, const std::string& table, long long budget) {
  Result r;
  MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
  if (!mdb) return r;
  mdb_set_bind_size(mdb, 200000);
  if (!mdb_read_catalog(mdb, MDB_TABLE)) {
    mdb_close(mdb);
    return r;
  }
  MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, table.c_str());
  MdbTableDef* t = entry ? mdb_read_table(entry) : nullptr;
  if (!t) {
    mdb_close(mdb);
    return r;
  }
  mdb_read_columns(t);
  std::vector<std::vector<char>> buffers(t->num_cols, std::vector<char>(200000));
  std::vector<int> lengths(t->num_cols);
  for (unsigned i = 0; i < t->num_cols; ++i)
    mdb_bind_column(t, static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
  auto start = Clock::now();
  while (r.rows < budget) {
    mdb_rewind_table(t);
    long long before = r.rows;
    while (r.rows < budget && mdb_fetch_row(t)) {
      for (unsigned i = 0; i < t->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        if (col->col_type == MDB_OLE) {
          size_t size = 0;
          void* data = mdb_ole_read_full(mdb, col, &size);
          free(data);
        }
      }
      ++r.rows;
    }
    if (r.rows == before) break;  // empty table
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.ok = true;
  mdb_free_tabledef(t);
  mdb_close(mdb);
  return r;
}

Result benchOurs(const std::string& path, const std::string& table, long long budget) {
  Result r;
  tw::data::DataAccess dataAccess;
  tw::jet::registerAccessProviders(dataAccess);
  try {
    auto c = dataAccess.createConnection();
    c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path + ";Jet OLEDB:Database Password=");
    std::size_t bytes = 0;
    auto start = Clock::now();
    while (r.rows < budget) {
      tw::data::Recordset rs;
      rs.Open("SELECT * FROM `" + table + "`", *c);
      long long before = r.rows;
      for (; r.rows < budget && !rs.Eof(); rs.MoveNext()) {
        const auto& row = rs.row();
        for (const tw::Value& v : row)
          if (auto s = v.get<std::string>()) bytes += s->size();
        ++r.rows;
      }
      if (r.rows == before) break;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.ok = bytes != static_cast<std::size_t>(-1);
  } catch (const tw::data::Failure& f) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), f.what());
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  long long budget = 1000000;
  if (const char* env = std::getenv("TW_BENCH_ROWS")) budget = std::atoll(env);
  std::vector<std::pair<std::string, std::string>> jobs;
  for (int i = 1; i + 1 < argc; i += 2) jobs.emplace_back(argv[i], argv[i + 1]);
  if (jobs.empty()) {
    const std::string corpus = std::string(TW_SHARED_DIR) + "/corpus/access/";
    jobs = {{corpus + "jackcess/V2003/compIndexTestV2003.mdb", "Table1"},
            {corpus + "jackcess/V2007/compIndexTestV2007.accdb", "Table1"},
            {corpus + "jackcess/V1997/compIndexTestV1997.mdb", "Table1"},
            {corpus + "jackcess/V1997/testIndexCodesV1997.mdb", "Table1"},
            {corpus + "jackcess/V2003/test2V2003.mdb", "MSP_PROJECTS"},
            {corpus + "mdb-reader/data/V2016/longtext.accdb", "Table1"}};
  }
  std::printf("%-60s %14s %14s %8s\n", "table", "mdbtools rows/s", "ours rows/s", "ratio");
  int worse = 0;
  for (const auto& [path, table] : jobs) {
    if (!std::filesystem::exists(path)) {
      std::printf("%-60s (missing)\n", path.c_str());
      continue;
    }
    long long rowsBudget = budget;
    // Wide or memo-heavy tables: fewer rows keep the run short.
    if (table == "MSP_PROJECTS" || path.find("longtext") != std::string::npos) rowsBudget = budget / 10;
    Result m = benchMdbtools(path, table, rowsBudget);
    Result o = benchOurs(path, table, rowsBudget);
    std::string label = std::filesystem::path(path).filename().string() + " " + table;
    double mr = m.ok && m.seconds > 0 ? m.rows / m.seconds : 0;
    double orate = o.ok && o.seconds > 0 ? o.rows / o.seconds : 0;
    std::printf("%-60s %14.0f %14.0f %8.2f   (%lld / %lld rows)\n", label.c_str(), mr, orate,
                mr > 0 ? orate / mr : 0.0, m.rows, o.rows);
    if (mr > 0 && orate < mr) ++worse;
  }
  return worse == 0 ? 0 : 1;
}
