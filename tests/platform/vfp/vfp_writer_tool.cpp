// A helper for the FoxPro engine's tests: runs statements into a folder of free tables,
// or into a database container when the path ends in ".dbc" (created when missing).
//
//   vfp_writer_tool FOLDER                 statements from standard input, one a line
//   vfp_writer_tool FOLDER --crash-run N [BATCH]
//                                          creates tables "alpha" (with a memo) and "beta"
//                                          and inserts rows 0, 1, 2, ... built by
//                                          crashRowStatement into both, in blocks of 1000
//                                          rows a table (so the tables are also reopened
//                                          along the way), until killed or N rows are done
//   vfp_writer_tool X.dbc --churn N        N rounds of: drop table g<i%4> (from round 4
//                                          on), create it again, insert rows 0-4 of
//                                          churnRowStatement; for the kill tests of
//                                          containers
//
// Failures are printed to standard error and end the tool with status 1.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>

#include "crash_rows.h"
#include "platform/data_access.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/folder_catalog.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: vfp_writer_tool FOLDER [--crash-run N]\n";
    return 2;
  }
  try {
    auto fs = tw::vfp::makeRealFileSystem(false);
    std::string target = argv[1];
    std::unique_ptr<tw::vfp::Catalog> catalog;
    if (target.size() > 4 && target.compare(target.size() - 4, 4, ".dbc") == 0) {
      if (!fs->exists(target)) tw::vfp::createContainer(*fs, target);
      catalog = std::make_unique<tw::vfp::ContainerCatalog>(fs, target);
    } else {
      catalog = std::make_unique<tw::vfp::FolderCatalog>(fs, target);
    }
    tw::vfp::Engine engine(fs, std::move(catalog));
    if (argc >= 4 && std::strcmp(argv[2], "--churn") == 0) {
      long rounds = std::stol(argv[3]);
      for (long i = 0; i < rounds; ++i) {
        std::string name = "g" + std::to_string(i % 4);
        if (i >= 4) engine.execute("DROP TABLE " + name);
        engine.execute(tw::vfp::testing::churnCreateStatement(name));
        for (int row = 0; row < 5; ++row) engine.execute(tw::vfp::testing::churnRowStatement(name, i, row));
        engine.flush();
      }
      return 0;
    }
    if (argc >= 4 && std::strcmp(argv[2], "--crash-run") == 0) {
      long rows = std::stol(argv[3]);
      engine.setBatchBytes(static_cast<std::size_t>(std::stol(argc >= 5 ? argv[4] : "65536")));
      engine.execute(tw::vfp::testing::kCrashCreateAlpha);
      engine.execute(tw::vfp::testing::kCrashCreateBeta);
      constexpr long kBlock = 1000;
      for (long start = 0; start < rows; start += kBlock) {
        for (const char* table : {"alpha", "beta"})
          for (long i = start; i < std::min(rows, start + kBlock); ++i)
            engine.execute(tw::vfp::testing::crashRowStatement(table, i));
      }
      return 0;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line.empty()) continue;
      engine.execute(line);
    }
  } catch (const tw::data::Failure& f) {
    std::cerr << f.description() << "\n";
    return 1;
  }
  return 0;
}
