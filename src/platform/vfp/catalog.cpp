#include "platform/vfp/catalog.h"

#include <algorithm>

#include "platform/case_rules.h"
#include "platform/data_access.h"

namespace tw::vfp {

void Catalog::setFieldProperty(std::string_view, std::string_view, FieldProperty, std::string_view) {
  throwSqlException(
      "No database is open or set as the current database. Field properties are kept only in a "
      "database container, not by free tables.");
}

void sortListing(std::vector<ListedTable>& tables) {
  std::sort(tables.begin(), tables.end(), [](const ListedTable& a, const ListedTable& b) {
    std::string fa = foldCase(a.name), fb = foldCase(b.name);
    return fa != fb ? fa < fb : a.name < b.name;
  });
}

std::string tableProblem(FileSystem& fs, const std::string& file, const std::string& dbfPath,
                         const std::string& fptPath) {
  try {
    auto dbf = fs.open(dbfPath, OpenMode::Read);
    std::vector<std::uint8_t> head(kMaxHeaderBytes);
    head.resize(dbf->readAt(0, head.data(), head.size()));
    TableHeader h = parseHeader(head, dbf->size());
    if (h.layout.hasMemo) {
      if (fptPath.empty()) throw CorruptTable("its memo file (.fpt) is missing");
      auto memo = fs.open(fptPath, OpenMode::Read);
      std::vector<std::uint8_t> mh(kMemoHeaderSize);
      mh.resize(memo->readAt(0, mh.data(), mh.size()));
      parseMemoHeader(mh, memo->size());
    }
  } catch (const CorruptTable& err) {
    return "Table \"" + file + "\" has become corrupted: " + err.what() + ".";
  } catch (const data::Failure& err) {
    return err.description();
  }
  return "";
}

}  // namespace tw::vfp
