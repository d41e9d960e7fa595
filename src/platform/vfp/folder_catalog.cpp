#include "platform/vfp/folder_catalog.h"

#include "platform/case_rules.h"
#include "platform/data_access.h"

namespace tw::vfp {

FolderCatalog::FolderCatalog(std::shared_ptr<FileSystem> fs, std::string folder)
    : fs_(std::move(fs)), folder_(std::move(folder)) {}

std::string FolderCatalog::findFile(std::string_view name) {
  std::string wanted = foldCase(name);
  std::string found;
  for (const auto& e : fs_->list(folder_)) {
    if (!e.regularFile) continue;
    if (e.name == name) return e.name;
    if (found.empty() && foldCase(e.name) == wanted) found = e.name;
  }
  return found;
}

TableLocation FolderCatalog::locate(std::string_view name) {
  std::string base = tableFileBase(name);
  std::string dbf = findFile(base + ".dbf");
  if (dbf.empty()) throwSqlException("File \"" + base + ".dbf\" does not exist.");
  std::string fpt = findFile(dbf.substr(0, dbf.size() - 4) + ".fpt");
  TableLocation at;
  at.file = dbf;
  at.dbfPath = joinPath(folder_, dbf);
  if (!fpt.empty()) at.fptPath = joinPath(folder_, fpt);
  return at;
}

void FolderCatalog::clearOrphanMemo(const std::string& base) {
  const std::string memo = findFile(base + ".fpt");
  if (memo.empty()) return refuseOccupied(*fs_, joinPath(folder_, base + ".fpt"));
  if (!isEmptyMemo(*fs_, joinPath(folder_, memo))) throwFileExists(joinPath(folder_, memo), "");
  fs_->remove(joinPath(folder_, memo));
}

std::unique_ptr<TableFile> FolderCatalog::create(const TableDefinition& definition) {
  std::string base = tableFileBase(definition.name);
  // Checked again once the new file is locked: another writer may have made the table since.
  auto nameIsFree = [&] {
    const std::string dbf = findFile(base + ".dbf");
    if (!dbf.empty()) throwFileExists(joinPath(folder_, dbf), dbf.substr(0, dbf.size() - 4));
    refuseOccupied(*fs_, joinPath(folder_, base + ".dbf"));
    if (definition.layout.hasMemo) clearOrphanMemo(base);
  };
  nameIsFree();
  return TableFile::create(*fs_, joinPath(folder_, base + ".dbf"), joinPath(folder_, base + ".fpt"),
                           definition.layout, nameIsFree);
}

void FolderCatalog::drop(std::string_view name) {
  settleDrop();
  std::string base = tableFileBase(name);
  std::string dbf = findFile(base + ".dbf");
  if (dbf.empty()) throwSqlException("File \"" + base + ".dbf\" does not exist.");
  // A table of a database container is dropped through the container; removing its files
  // here would leave the container naming files that are gone.
  try {
    auto file = fs_->open(joinPath(folder_, dbf), OpenMode::Read);
    std::vector<std::uint8_t> head(kMaxHeaderBytes);
    head.resize(file->readAt(0, head.data(), head.size()));
    std::string container = parseHeader(head, file->size()).layout.backlink;
    if (!container.empty())
      throwSqlException("Table \"" + dbf + "\" belongs to the database container \"" + container +
                        "\"; drop it through the container.");
  } catch (const CorruptTable&) {
    // A damaged table may go.
  }
  // The .dbf goes first, so no table is ever left without its memo file.
  try {
    for (const std::string& file : tableFiles(*fs_, folder_, dbf)) dropped_.add(*fs_, file);
  } catch (...) {
    dropped_.restore(*fs_);
    throw;
  }
}

void FolderCatalog::restoreDrop() { dropped_.restore(*fs_); }

std::vector<ListedTable> FolderCatalog::list() {
  std::vector<ListedTable> out;
  auto entries = fs_->list(folder_);
  for (const auto& e : entries) {
    if (!e.regularFile || e.name.size() < 5 || !endsWithIgnoringAsciiCase(e.name, ".dbf")) continue;
    ListedTable t;
    t.file = e.name;
    t.name = e.name.substr(0, e.name.size() - 4);
    std::string fpt;
    std::string wanted = foldCase(t.name + ".fpt");
    for (const auto& m : entries)
      if (m.regularFile && foldCase(m.name) == wanted) fpt = m.name;
    t.problem = tableProblem(*fs_, e.name, joinPath(folder_, e.name), fpt.empty() ? fpt : joinPath(folder_, fpt));
    out.push_back(std::move(t));
  }
  sortListing(out);
  return out;
}

}  // namespace tw::vfp
