// Where the FoxPro engine's tables live. The engine parses statements and encodes values;
// a Catalog turns table names into files, creates and removes tables and lists them.
// `FolderCatalog` (folder_catalog.h) is a folder of free tables; `ContainerCatalog`
// (container_catalog.h) is a Visual FoxPro database container (.dbc).
//
// Every failure a user can cause (a missing table, a name that cannot be a file name, a
// table that exists already) is a `tw::data::Failure` whose description starts with
// "SQLException: ", as the engine's own refusals do; file-system failures name the file
// and the cause instead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/vfp/dbf_format.h"
#include "platform/vfp/file_system.h"
#include "platform/vfp/table_file.h"

namespace tw::vfp {

// A column's default value and validation rule (with its message), as CREATE TABLE gives
// them: the expressions' text as written (UTF-8); empty when not given. Only a database
// container keeps them.
struct FieldRules {
  std::string defaultValue;
  std::string rule;
  std::string ruleText;
  bool empty() const { return defaultValue.empty() && rule.empty() && ruleText.empty(); }
};

// The field properties a statement can set on an existing column of a container (DBSETPROP),
// by the ids of the container's PROPERTY memo.
enum class FieldProperty : std::uint8_t { Comment = 7, Caption = 56 };

// A parsed CREATE TABLE: the table name as written, the column names as written (UTF-8,
// one per field), the layout and the columns' rules (one per field, or none at all). The
// layout's field names are the column names in upper case; a catalog that keeps long
// names cuts them to what the .dbf holds.
struct TableDefinition {
  std::string name;
  std::vector<std::string> columnNames;
  TableLayout layout;
  std::vector<FieldRules> rules;
  // A container's name for the table when it is not `name`, whose file it then has; empty
  // otherwise.
  std::string longName;
};

// An existing table: its files, and the names its columns go by.
struct TableLocation {
  std::string file;  // the .dbf's file name, for messages
  std::string dbfPath;
  std::string fptPath;  // empty when there is no memo file
  // UTF-8 names of the columns in field order when they differ from the .dbf's own
  // (a container's long names); empty otherwise.
  std::vector<std::string> columnNames;
  // The file name of the database container the table belongs to; empty for a free table.
  std::string container;
};

// One table as the listing sees it.
struct ListedTable {
  std::string name;     // the table's name as stored (file name without extension, or a container's name)
  std::string file;     // the .dbf's file name
  std::string problem;  // empty, or why the table cannot be used ("Table ... has become corrupted: ...")
};

class Catalog {
 public:
  virtual ~Catalog() = default;

  // The longest column name, in characters, a new table of this catalog takes.
  virtual int maxColumnName() const = 0;
  // The code page the catalog itself keeps table and column names in, besides the .dbf
  // (a database container's); null when the names live in the tables only, or when the
  // catalog's code page is one the engine does not write (it then takes no new tables).
  virtual const CodePage* nameCodePage() const { return nullptr; }
  // The table called `name` (without regard to case); throws "File \"x.dbf\" does not
  // exist." when there is none.
  virtual TableLocation locate(std::string_view name) = 0;
  // Creates an empty table and returns it open for appending. Refuses a name that is
  // taken. A failure leaves no part of the table behind.
  virtual std::unique_ptr<TableFile> create(const TableDefinition& definition) = 0;
  // Removes the table and its files. The files are renamed aside first and the table's
  // removal is then made in one step, so that a drop that fails leaves the table whole.
  // Until settleDrop() the files stay aside and restoreDrop() puts the table back: a
  // replacement that cannot be created never costs the table it was to replace.
  virtual void drop(std::string_view name) = 0;
  // Puts the table dropped last back, with its files, unless the drop was settled; throws
  // when it cannot, saying where its files are.
  virtual void restoreDrop() = 0;
  // Deletes the files of the table dropped last. A file that cannot be deleted stays aside
  // under its unique name, out of every table's way.
  virtual void settleDrop() = 0;
  // Every table, sorted by name without regard to case; damaged tables carry a problem.
  virtual std::vector<ListedTable> list() = 0;

  // Whether the catalog keeps field properties (defaults, rules, captions, comments): a
  // database container does, a folder of free tables does not.
  virtual bool keepsFieldProperties() const { return false; }
  // Sets a property of the column `column` (its name as the catalog lists it) of the table
  // `table` to the text `value` (UTF-8). A catalog that keeps no field properties refuses
  // with "No database is open or set as the current database."
  virtual void setFieldProperty(std::string_view table, std::string_view column, FieldProperty property,
                                std::string_view value);
};

// Throws the Failure "SQLException: " + message.
[[noreturn]] void throwSqlException(std::string_view message);

// The file base name ("orders") a table name stands for, or throws the SQLException for a
// name that cannot be a file name. A trailing ".dbf" is dropped.
std::string tableFileBase(std::string_view name);

// Sorts a listing by name without regard to case (exact order between equal folds).
void sortListing(std::vector<ListedTable>& tables);

// Refuses a new table's file: "File already exists." with the file, and the table it holds
// (empty: none).
[[noreturn]] void throwFileExists(const std::string& path, const std::string& table);
// Refuses, as belonging to no table, anything at `path` (a link, a device, a file).
void refuseOccupied(FileSystem& fs, const std::string& path);

// True when the file at `path` provably holds nothing of anyone's: a regular file with no
// other name, that is an empty memo file (its header only) or, with `backlink`, an empty
// table belonging to that database container. Such a file, left by a creation cut short,
// may be replaced.
bool isEmptyMemo(FileSystem& fs, const std::string& path);
bool isEmptyTable(FileSystem& fs, const std::string& path, const std::string& backlink);

// The files of a dropped table, renamed aside one by one (the .dbf first) until the drop is
// settled.
class AsideFiles {
 public:
  // Renames the file at `path` aside; throws, leaving it where it was, when it cannot.
  void add(FileSystem& fs, const std::string& path);
  // Renames every file back, the last one first; after trying all, throws a failure that
  // says which could not be put back and where they are.
  void restore(FileSystem& fs);
  // Deletes the files set aside; one that cannot be deleted is left where it is.
  void settle(FileSystem& fs);
  bool empty() const { return files_.empty(); }
  // Where the files are now, for a message.
  std::string where() const;

 private:
  std::vector<std::pair<std::string, std::string>> files_;  // name, aside
};

// The files of the table whose .dbf is `dbfFile` in `folder`: the .dbf, then its .fpt,
// .cdx, .bak and .tbk when they are there.
std::vector<std::string> tableFiles(FileSystem& fs, const std::string& folder, const std::string& dbfFile);

// Checks that a listed table's header (and memo header) can be read; returns the problem
// in words, or "" when the table is sound.
std::string tableProblem(FileSystem& fs, const std::string& file, const std::string& dbfPath,
                         const std::string& fptPath);

}  // namespace tw::vfp
