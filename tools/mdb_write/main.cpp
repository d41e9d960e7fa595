// tablewright-mdb-write: makes Access 2000-2003 (.mdb) files.
//
//   tablewright-mdb-write DESCRIPTION.json OUT.mdb   the database a description describes
//   tablewright-mdb-write --generate ROWS OUT.mdb    one table of ROWS generated rows
//   tablewright-mdb-write --generate-indexed ROWS OUT.mdb   the same with a primary key and two indexes
//
// Exit status 0 on success, 1 when the description or the file is refused (the message on
// standard error names the place), 2 for wrong arguments. A failed run leaves no file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QFileInfo>

#include "platform/jet/writer/writer_description.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: tablewright-mdb-write DESCRIPTION.json OUT.mdb\n"
               "       tablewright-mdb-write --generate[-indexed] ROWS OUT.mdb\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && (std::string(argv[1]) == "--generate" || std::string(argv[1]) == "--generate-indexed")) {
    char* end = nullptr;
    const long long rows = std::strtoll(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || rows < 0) return usage();
    try {
      const auto start = std::chrono::steady_clock::now();
      tw::jet::writeGeneratedDatabase(rows, argv[3], std::string(argv[1]) == "--generate-indexed");
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stdout, "%lld rows in %.3f s (%.0f rows/s), %lld bytes\n", rows, seconds,
                   seconds > 0 ? static_cast<double>(rows) / seconds : 0.0,
                   static_cast<long long>(QFileInfo(QString::fromLocal8Bit(argv[3])).size()));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tablewright-mdb-write: %s\n", e.what());
      return 1;
    }
    return 0;
  }
  if (argc != 3 || argv[1][0] == '-') return usage();
  try {
    tw::jet::writeDatabaseFromFile(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tablewright-mdb-write: %s\n", e.what());
    return 1;
  }
  return 0;
}
