// libFuzzer target: an arbitrary file is opened as an Access database, its tables listed
// and every table (system tables included) read to the end, its index and relationship
// rowsets listed and every index of every table walked. Only data::Failure may come
// out; a crash, a sanitizer report, a hang or runaway memory is a bug.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/data_access.h"
#include "platform/jet/index_walk.h"
#include "platform/jet/provider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tw::data::DataAccess* dataAccess = [] {
    auto* d = new tw::data::DataAccess();
    tw::jet::registerAccessProviders(*d);
    return d;
  }();
  // The reader opens files by path: hand it the input through an in-memory file.
  int fd = ::memfd_create("jet_fuzz", 0);
  if (fd < 0) return 0;
  std::size_t done = 0;
  while (done < size) {
    ssize_t w = ::write(fd, data + done, size - done);
    if (w <= 0) break;
    done += static_cast<std::size_t>(w);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    auto c = dataAccess->createConnection();
    c->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path + ";Jet OLEDB:Database Password=");
    std::vector<std::string> tables;
    auto schema = c->OpenSchema(tw::data::kSchemaTables);
    for (; !schema->Eof(); schema->MoveNext()) {
      std::string type = schema->value("TABLE_TYPE").as<std::string>();
      if (type == "TABLE" || type == "SYSTEM TABLE") tables.push_back(schema->value("TABLE_NAME").as<std::string>());
    }
    for (const std::string& t : tables) {
      tw::data::Recordset rs;
      try {
        rs.Open("SELECT * FROM `" + t + "`", *c);
      } catch (const tw::data::Failure&) {
        if (!rs.isOpen()) continue;
      }
      for (;;) {
        try {
          if (rs.Eof()) break;
          rs.MoveNext();
        } catch (const tw::data::Failure&) {
        }
      }
    }
    for (int keys : {tw::data::kSchemaIndexes, tw::data::kSchemaForeignKeys}) {
      try {
        c->OpenSchema(keys);
      } catch (const tw::data::Failure&) {
      }
    }
    auto db = tw::jet::Database::open(path, "");
    for (const std::string& t : tables) {
      try {
        const tw::jet::CatalogEntry* e = db->findTable(t);
        if (!e) continue;
        for (const auto& index : tw::jet::readIndexDefinitions(*db, *db->readTableDef(e->tdefPage(), t)).logical) {
          try {
            tw::jet::rowOrder(*db, t, index.name);
          } catch (const tw::data::Failure&) {
          }
        }
      } catch (const tw::data::Failure&) {
      }
    }
  } catch (const tw::data::Failure&) {
  }
  ::close(fd);
  return 0;
}
