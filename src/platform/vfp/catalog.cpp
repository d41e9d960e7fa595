#include "platform/vfp/catalog.h"

#include <algorithm>
#include <optional>

#include "platform/case_rules.h"
#include "platform/data_access.h"
#include "platform/vfp/folder_catalog.h"

namespace tw::vfp {

void Catalog::setFieldProperty(std::string_view, std::string_view, FieldProperty, std::string_view) {
  throwSqlException(
      "No database is open or set as the current database. Field properties are kept only in a "
      "database container, not by free tables.");
}

void throwFileExists(const std::string& path, const std::string& table) {
  throwSqlException("File already exists. \"" + path + "\" " +
                    (table.empty() ? std::string("belongs to no table.") : "holds table \"" + table + "\"."));
}

void refuseOccupied(FileSystem& fs, const std::string& path) {
  if (fs.status(path).kind != FileKind::Missing) throwFileExists(path, "");
}

namespace {

// The first bytes of the regular file at `path`, when it has no other name.
std::optional<std::vector<std::uint8_t>> soleFileStart(FileSystem& fs, const std::string& path, std::size_t max) {
  FileStatus s = fs.status(path);
  if (s.kind != FileKind::Regular || s.links != 1) return std::nullopt;
  auto f = fs.open(path, OpenMode::Read);
  std::vector<std::uint8_t> bytes(max);
  bytes.resize(f->readAt(0, bytes.data(), bytes.size()));
  if (f->size() > max) return std::nullopt;
  return bytes;
}

}  // namespace

bool isEmptyMemo(FileSystem& fs, const std::string& path) {
  auto bytes = soleFileStart(fs, path, kMemoHeaderSize);
  if (!bytes || bytes->size() != kMemoHeaderSize) return false;
  const std::uint32_t blockSize = ((*bytes)[6] << 8) | (*bytes)[7];
  if (blockSize == 0 || getBe32(bytes->data()) != (kMemoHeaderSize + blockSize - 1) / blockSize) return false;
  for (std::size_t i = 8; i < bytes->size(); ++i)
    if ((*bytes)[i] != 0) return false;
  return true;
}

bool isEmptyTable(FileSystem& fs, const std::string& path, const std::string& backlink) {
  try {
    auto bytes = soleFileStart(fs, path, kMaxHeaderBytes + 1);
    if (!bytes) return false;
    TableHeader h = parseHeader(*bytes, bytes->size(), backlink);
    return h.recordCount == 0 && h.unsupported.empty() && bytes->size() <= h.layout.headerLength + 1u;
  } catch (const CorruptTable&) {
    return false;
  }
}

void AsideFiles::add(FileSystem& fs, const std::string& path) { files_.emplace_back(path, setAside(fs, path)); }

void AsideFiles::restore(FileSystem& fs) {
  std::optional<data::Failure> first;
  for (std::size_t i = files_.size(); i-- > 0;) {
    try {
      fs.renameNew(files_[i].second, files_[i].first);
      files_.erase(files_.begin() + static_cast<long>(i));
    } catch (const data::Failure& f) {
      if (!first) first = f;
    }
  }
  if (first)
    throwSqlException("The dropped table could not be put back whole (" + first->description() +
                      "); its files are kept as " + where() + ".");
}

void AsideFiles::settle(FileSystem& fs) {
  for (const auto& [name, aside] : files_) {
    try {
      fs.remove(aside);
    } catch (const data::Failure&) {
      // Still aside, under a name no table uses: nothing of it is lost.
    }
  }
  files_.clear();
}

std::string AsideFiles::where() const {
  std::string text;
  for (const auto& [name, aside] : files_)
    text += (text.empty() ? "\"" : ", \"") + aside + "\" (was \"" + baseName(name) + "\")";
  return text;
}

std::vector<std::string> tableFiles(FileSystem& fs, const std::string& folder, const std::string& dbfFile) {
  std::vector<std::string> files{joinPath(folder, dbfFile)};
  std::size_t dot = dbfFile.find_last_of('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? dbfFile : dbfFile.substr(0, dot);
  FolderCatalog companions(std::shared_ptr<FileSystem>(&fs, [](FileSystem*) {}), folder);
  for (const char* ext : {".fpt", ".cdx", ".bak", ".tbk"})
    if (std::string other = companions.findFile(stem + ext); !other.empty()) files.push_back(joinPath(folder, other));
  return files;
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
