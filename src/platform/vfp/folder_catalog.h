// A folder of free tables as the engine's catalog: a table is the regular .dbf file of that
// name in the folder (without regard to case; an exact match wins; a link is no table),
// with the .fpt beside it. New tables get lower-case file names; a name something else
// holds already is refused, and only a memo file that provably holds nothing (the header
// alone, no other name) is replaced. Dropping a table renames its .dbf aside first, then its
// .fpt, .cdx, .bak and .tbk, so no table is ever left without its memo file; a table that
// belongs to a database container is not dropped here.
#pragma once

#include <memory>
#include <string>

#include "platform/vfp/catalog.h"

namespace tw::vfp {

class FolderCatalog : public Catalog {
 public:
  FolderCatalog(std::shared_ptr<FileSystem> fs, std::string folder);

  int maxColumnName() const override { return kMaxFieldName; }
  TableLocation locate(std::string_view name) override;
  std::unique_ptr<TableFile> create(const TableDefinition& definition) override;
  void drop(std::string_view name) override;
  void restoreDrop() override;
  void settleDrop() override { dropped_.settle(*fs_); }
  std::vector<ListedTable> list() override;

  const std::string& folder() const { return folder_; }
  // The file in the folder whose name equals `name` without regard to case (an exact match
  // wins); empty when there is none.
  std::string findFile(std::string_view name);
  // Makes room for the memo file of a new table `base`: an empty memo file without its
  // table (what a creation cut short leaves) goes; any other file, link or device there is
  // refused with "File already exists.".
  void clearOrphanMemo(const std::string& base);

 private:
  std::shared_ptr<FileSystem> fs_;
  std::string folder_;
  AsideFiles dropped_;
};

}  // namespace tw::vfp
