// One million INSERT statements into a table of a new database container, with and without
// its keys: a primary key and two indexes (a text tag, and a composite of a number and a
// date), built after the last row as the conversion writes them. Prints both times, wall
// clock and processor, and their ratios (goal: at most 1.5x). Each figure is the best of
// two runs, since the machine is shared.
//
//   vfp_index_bench [ROWS] [FOLDER]
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"

using Clock = std::chrono::steady_clock;

namespace {

const char* kCreate =
    "CREATE TABLE \"Orders\"([ID] INT NOT NULL,[CUSTOMER] CHAR(30),[AMOUNT] N(12,2),[ORDERED] DATE,"
    "[RATE] DOUBLE,[QTY] INT)";
const char* kKeys[] = {
    "ALTER TABLE \"Orders\" ADD PRIMARY KEY ID TAG PRIMARYKEY",
    "USE \"Orders\" EXCLUSIVE",
    "INDEX ON CUSTOMER TAG CUSTOMER",
    "INDEX ON STR(AMOUNT,12,2)+DTOS(ORDERED) TAG AMOUNTDATE",
};

std::string statement(long i) {
  // Ids in a scrambled order, so that sorting them is real work.
  const long id = (i * 7919) % 1000003;
  return "INSERT INTO [Orders] VALUES (" + std::to_string(id) + ", 'Customer " + std::to_string(i * 31 % 50000) +
         "', " + std::to_string(i % 100000) + "." + std::to_string(10 + i % 90) + ", {^" +
         std::to_string(1990 + i % 30) + "-0" + std::to_string(1 + i % 9) + "-1" + std::to_string(i % 10) + "}, " +
         std::to_string(i % 1000) + ".25, " + std::to_string(i % 50) + ")";
}

struct Times {
  double wall = 1e9, processor = 1e9;
};

Times run(const std::vector<std::string>& statements, const std::string& folder, bool keys) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  auto fs = tw::vfp::makeRealFileSystem(false);
  const std::string dbc = folder + "/bench.dbc";
  tw::vfp::createContainer(*fs, dbc);
  const auto start = Clock::now();
  const std::clock_t cpu = std::clock();
  {
    tw::vfp::Engine engine(fs, std::make_unique<tw::vfp::ContainerCatalog>(fs, dbc));
    engine.execute(kCreate);
    for (const auto& s : statements) engine.execute(s);
    if (keys)
      for (const char* k : kKeys) engine.execute(k);
    engine.flush();
  }
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC};
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
  const std::string folder =
      argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "tw-vfp-index-bench").string();
  std::vector<std::string> statements;
  statements.reserve(static_cast<std::size_t>(rows));
  for (long i = 0; i < rows; ++i) statements.push_back(statement(i));

  Times plain, indexed;
  for (int i = 0; i < 2; ++i) {
    for (auto [times, keys] : {std::pair{&plain, false}, std::pair{&indexed, true}}) {
      const Times t = run(statements, folder + (keys ? "/keys" : "/plain"), keys);
      times->wall = std::min(times->wall, t.wall);
      times->processor = std::min(times->processor, t.processor);
    }
  }
  const auto cdx = std::filesystem::file_size(folder + "/keys/orders.cdx");
  std::printf("rows: %ld, index file %.1f MB\n", rows, cdx / 1e6);
  std::printf("without keys:                wall %.3f s, processor %.3f s\n", plain.wall, plain.processor);
  std::printf("primary key and two indexes: wall %.3f s, processor %.3f s\n", indexed.wall, indexed.processor);
  std::printf("ratio: wall %.2fx, processor %.2fx (goal: at most 1.5x)\n", indexed.wall / plain.wall,
              indexed.processor / plain.processor);
  std::filesystem::remove_all(folder);
  return 0;
}
