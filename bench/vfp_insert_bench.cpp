// One million INSERT statements of ten mixed columns executed into a free table by the
// FoxPro engine, against the floor: writing the same records' bytes (and memo blocks) with
// plain buffered writes. Prints statements per second and the ratio to the floor. Each
// figure is the best of three runs, since the machine is shared.
//
//   vfp_insert_bench [ROWS] [FOLDER]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/vfp/dbf_format.h"
#include "platform/vfp/engine.h"

using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::uint8_t> slurp(const std::string& path) {
  std::vector<std::uint8_t> b;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    b.resize(static_cast<std::size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(b.data(), 1, b.size(), f) != b.size()) b.clear();
    std::fclose(f);
  }
  return b;
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

const char* kCreate =
    "CREATE TABLE \"Bench\"([ID] INT,[NAME] CHAR(30),[ADDRESS] CHAR(60),[AMOUNT] DOUBLE,[PRICE] N(12,2),"
    "[QTY] INT,[ORDERDAT] CHAR(19),[RATE] DOUBLE,[CODE] N(10),[NOTES] MEMO);";

std::string statement(long i) {
  std::string s = "INSERT INTO [Bench] VALUES (";
  s += std::to_string(i);
  s += ", 'Customer ";
  s += std::to_string(i * 7 % 100000);
  s += "', '";
  s += std::to_string(i % 9000 + 1);
  s += " Main Street, O''Fallon'";
  s += ", ";
  s += std::to_string(i % 1000) + "." + std::to_string(i % 10) + "5";
  s += ", ";
  s += std::to_string(i % 100000) + "." + std::to_string(10 + i % 90);
  s += ", ";
  s += std::to_string(i % 50);
  s += ", '02/03/2021 10:11:12', ";
  s += i % 3 == 0 ? "1E+15" : "-0.5";
  s += ", ";
  s += std::to_string(i % 1000000);
  s += ", ";
  s += i % 10 == 0 ? "'A note about order " + std::to_string(i) + "'" : std::string("NULL");
  s += ");";
  return s;
}

struct Run {
  double seconds;
  std::uint64_t dbfBytes, fptBytes;
};

Run runEngine(const std::vector<std::string>& statements, const std::string& folder, bool durable) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  auto start = Clock::now();
  {
    tw::vfp::Engine engine(tw::vfp::makeRealFileSystem(durable), folder);
    engine.execute(kCreate);
    for (const auto& s : statements) engine.execute(s);
    engine.flush();
  }
  auto end = Clock::now();
  return {seconds(start, end), std::filesystem::file_size(folder + "/bench.dbf"),
          std::filesystem::file_size(folder + "/bench.fpt")};
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
  std::string folder = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "tw-vfp-bench").string();

  std::vector<std::string> statements;
  statements.reserve(static_cast<std::size_t>(rows));
  std::size_t sqlBytes = 0;
  for (long i = 0; i < rows; ++i) {
    statements.push_back(statement(i));
    sqlBytes += statements.back().size();
  }

  auto best = [&](const std::string& sub, bool durableWrites) {
    Run r = runEngine(statements, folder + "/" + sub, durableWrites);
    for (int i = 0; i < 2; ++i) {
      Run again = runEngine(statements, folder + "/" + sub, durableWrites);
      if (again.seconds < r.seconds) r = again;
    }
    return r;
  };
  Run fast = best("fast", false);
  Run durable = best("durable", true);

  // The floor: the same record bytes and memo blocks, written record by record through a
  // buffered FILE*.
  auto dbf = slurp(folder + "/fast/bench.dbf");
  auto fpt = slurp(folder + "/fast/bench.fpt");
  std::size_t headerLength = tw::vfp::getLe16(&dbf[8]);
  std::size_t recordLength = tw::vfp::getLe16(&dbf[10]);
  std::string floorDbf = folder + "/floor.dbf", floorFpt = folder + "/floor.fpt";
  double floorSeconds = 1e9;
  for (int run = 0; run < 3; ++run) {
    // New files each time: a truncated file would be flushed to disk on close.
    std::filesystem::remove(floorDbf);
    std::filesystem::remove(floorFpt);
    auto start = Clock::now();
    FILE* d = std::fopen(floorDbf.c_str(), "wb");
    FILE* m = std::fopen(floorFpt.c_str(), "wb");
    std::fwrite(dbf.data(), 1, headerLength, d);
    std::fwrite(fpt.data(), 1, 512, m);
    std::size_t memoAt = 512;
    for (long i = 0; i < rows; ++i) {
      std::fwrite(dbf.data() + headerLength + static_cast<std::size_t>(i) * recordLength, 1, recordLength, d);
      if (i % 10 == 0 && memoAt + 64 <= fpt.size()) {  // every tenth row has a one-block memo
        std::fwrite(fpt.data() + memoAt, 1, 64, m);
        memoAt += 64;
      }
    }
    std::fputc(0x1A, d);
    std::fclose(d);
    std::fclose(m);
    floorSeconds = std::min(floorSeconds, seconds(start, Clock::now()));
  }
  std::printf("rows: %ld, SQL text: %.1f MB, table: %.1f MB .dbf + %.1f MB .fpt (record %zu bytes)\n", rows,
              sqlBytes / 1e6, fast.dbfBytes / 1e6, fast.fptBytes / 1e6, recordLength);
  std::printf("engine, kill-safe (no fdatasync):  %.3f s  %.0f statements/s  %.2fx the floor\n", fast.seconds,
              rows / fast.seconds, fast.seconds / floorSeconds);
  std::printf("engine, durable (fdatasync/batch): %.3f s  %.0f statements/s  %.2fx the floor\n", durable.seconds,
              rows / durable.seconds, durable.seconds / floorSeconds);
  std::printf("floor, buffered fwrite of the same bytes: %.3f s  %.0f records/s\n", floorSeconds,
              rows / floorSeconds);
  std::filesystem::remove_all(folder);
  return 0;
}
