// A folder of free tables as the engine's catalog: a table is the .dbf of that name in the
// folder (without regard to case; an exact match wins), with the .fpt beside it. New
// tables get lower-case file names. Dropping a table removes its .dbf first, then its
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
  std::vector<ListedTable> list() override;

  const std::string& folder() const { return folder_; }
  // The file in the folder whose name equals `name` without regard to case (an exact match
  // wins); empty when there is none.
  std::string findFile(std::string_view name);

 private:
  std::shared_ptr<FileSystem> fs_;
  std::string folder_;
};

}  // namespace tw::vfp
