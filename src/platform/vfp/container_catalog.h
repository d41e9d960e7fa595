// A Visual FoxPro database container as the engine's catalog: the .dbc (a table of
// objects), its memo file .dct and its structural index .dcx (container_index.h).
//
// Tables are the container's "Table" records that are not deleted, found by their name
// without regard to case; each names its .dbf in its Path property, and its "Field"
// records give the long column names, in field order. A new table gets:
//   - its .dbf (and .fpt) beside the .dbc, named after the table in lower case, with the
//     container's file name as its backlink;
//   - in the .dbf, the first 10 characters of each column name, made unique as Visual
//     FoxPro does ("contact_type" after "contact_type_id" becomes CONTACT_T2);
//   - a "Table" record (SubType 1, Path) and one "Field" record per column, in order,
//     with the long name in lower case (up to 128 characters) and, when CREATE TABLE gave
//     them, the column's DefaultValue, RuleExpression and RuleText properties (the
//     expressions' text, NUL-terminated, as VFP stores them).
// DBSETPROP sets a Field record's Caption or Comment: its PROPERTY memo is written anew
// at the end of the .dct (the other properties kept, in VFP's order) before the record
// points to it, so a kill leaves the old memo or the new one, never a torn one.
// Names are kept in the container's own code page, the one its .dbc header is marked with
// (a container without a mark is read in the code page given when it is opened); its
// member tables are written in whatever code page the engine writes. A table name or
// column name with a character that code page lacks is refused, never stored with a "?".
// A container marked with a code page the engine does not write is read, and takes no
// new tables.
// DROP TABLE marks the table's records deleted (the table, its fields, indexes and
// relations, and the relations that name it as their parent) and removes its files.
// Every change rebuilds the .dcx whole. Records and memos of other objects, other tables
// and stored procedures are never rewritten.
//
// Crash safety. A process killed at any moment leaves a container whose every listed table
// opens: a new table's files exist before its records do, the records are appended as a
// table's rows are (table_file.h), a dropped table's records are deleted before its files
// go, and a new .dcx is written whole under a temporary name and renamed into place. A kill
// between the records and that rename leaves the temporary file behind; opening the
// container then rebuilds the .dcx (and finishes an interrupted drop), and a table file
// that a killed CREATE left unlisted is replaced by the next CREATE of that name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/vfp/catalog.h"

namespace tw::vfp {

inline constexpr int kMaxLongName = 128;

class ContainerCatalog : public Catalog {
 public:
  // Opens the container at `dbcPath`; a container whose header names no code page keeps
  // its names in `unmarked`. Throws a Failure naming the file when it is missing, is not a
  // database container or is damaged.
  ContainerCatalog(std::shared_ptr<FileSystem> fs, std::string dbcPath,
                   const CodePage& unmarked = CodePage::western());

  int maxColumnName() const override { return kMaxLongName; }
  const CodePage* nameCodePage() const override { return codePage_; }
  TableLocation locate(std::string_view name) override;
  std::unique_ptr<TableFile> create(const TableDefinition& definition) override;
  void drop(std::string_view name) override;
  std::vector<ListedTable> list() override;
  bool keepsFieldProperties() const override { return true; }
  void setFieldProperty(std::string_view table, std::string_view column, FieldProperty property,
                        std::string_view value) override;

  const std::string& path() const { return dbcPath_; }

  // The records of a table's index tags and relations, as Visual FoxPro keeps them (the
  // tags themselves are in the table's .cdx, table_indexes.h). Names are stored in lower
  // case. Each change is one writer's, and rebuilds the .dcx as every change does.
  //
  // The tag name of the table's primary key (its PrimaryKey property); empty when none.
  std::string primaryKey(std::string_view table);
  // Records that `table` has the tag `tag`: an Index record owned by the table, named after
  // the tag, whose Prim_Cand property is 1 for a primary or candidate tag and 0 otherwise;
  // `primary` also makes the tag the table's PrimaryKey. A tag recorded already keeps its
  // record when it stays the same kind of tag; otherwise the record is replaced.
  void addIndex(std::string_view table, const std::string& tag, bool candidate, bool primary);
  // Records the persistent relation from the table `child`, through its tag `childTag`, to
  // the tag `parentTag` of the table `parent`: a Relation record "Relation n" owned by the
  // child with the properties ChildTag, ParentTable and ParentTag. A relation recorded
  // already is not recorded twice.
  void addRelation(std::string_view child, const std::string& childTag, std::string_view parent,
                   const std::string& parentTag);

  // One record of the .dbc, as read.
  struct Record {
    std::uint32_t number = 0;  // from 1
    bool deleted = false;
    std::int32_t objectId = 0;
    std::int32_t parentId = 0;
    std::string type;     // OBJECTTYPE without trailing blanks
    std::string name;     // OBJECTNAME without trailing blanks (in the container's code page)
    std::string typeRaw;  // the fields' bytes as stored, for the index
    std::string nameRaw;
    std::uint32_t property = 0;  // memo block of PROPERTY, 0 when empty
  };
  // The records as last read (after the constructor or any statement).
  const std::vector<Record>& records() const { return records_; }

 private:
  // Changes are one writer's at a time: the lock on the .dbc, held for the whole change,
  // or "File is in use." (kErrTableUnusable) while another writer holds it.
  std::unique_ptr<FileLock> lockContainer();
  void load();
  // The code page the names are read in (1252 for a container marked with another).
  const CodePage& names() const { return codePage_ ? *codePage_ : CodePage::western(); }
  // The code page to write names and index keys in; a container marked with one the engine
  // does not write refuses the `change` ("add a table to") with an SQL failure.
  const CodePage& namesToWrite(const std::string& change) const;
  std::string readMemo(std::uint32_t block);
  // The property `id` of a record's PROPERTY memo; empty when it has none.
  std::string property(const Record& r, std::uint8_t id);
  const Record* findTable(std::string_view name);
  std::string tablePath(const Record& table);
  std::vector<std::string> fieldNames(const Record& table);
  // Writes the .dcx for the current records plus `added`, without the records numbered in
  // `deleting`, as a temporary file.
  void writeIndexTemporary(const std::vector<Record>& added, const std::vector<std::uint32_t>& deleting = {});
  void installIndex();
  // Before a new table's files are made: removes the empty table file of a CREATE that was
  // killed before its records were written, and a memo file without its table; refuses
  // when a table file `dbfFile` is anything else.
  void removeLeftovers(const std::string& base, const std::string& dbfFile);
  // Appends `added` to the .dbc, each with its PROPERTY memo from `properties` (by
  // position; an empty one or none gets no memo).
  void appendRecords(const std::vector<Record>& added, const std::vector<std::string>& properties);
  // The PROPERTY memos of a new table's Field records: its rules in the names' code page.
  std::vector<std::string> fieldPropertyMemos(const std::vector<FieldRules>& rules, const CodePage& codePage,
                                              const std::vector<std::string>& columnNames) const;
  // Writes `memo` as a new block at the end of the .dct and returns its number.
  std::uint32_t appendMemo(const std::string& memo);
  void repairAfterCrash();
  // Appends `added`, each with its PROPERTY memo (`properties`, "" for none).
  void appendObjects(const std::vector<Record>& added, const std::vector<std::string>& properties);
  // Gives the record numbered `number` a new PROPERTY memo: the memo first, then the pointer.
  void replaceProperty(std::uint32_t number, const std::string& memo);
  // A new record owned by `parent`, numbered and given an id after every existing one and
  // the `added` before it.
  Record newRecord(std::int32_t parent, const char* type, const std::string& name,
                   const std::vector<Record>& added) const;
  void markDeleted(const std::vector<std::uint32_t>& numbers);

  std::shared_ptr<FileSystem> fs_;
  std::string dbcPath_;
  std::string folder_;
  std::string dctPath_;
  std::string dcxPath_;
  std::string backlink_;  // the .dbc's file name in lower case, as member tables store it
  std::uint16_t headerLength_ = 0;
  std::uint16_t recordLength_ = 0;
  std::uint16_t blockSize_ = 0;
  const CodePage* unmarked_;
  std::uint8_t mark_ = 0;               // the code-page mark of the .dbc
  const CodePage* codePage_ = nullptr;  // the names' code page; null for a mark not written here
  std::vector<Record> records_;
};

// Creates an empty database container at `dbcPath` (ending in ".dbc"), with its .dct and
// .dcx, as Visual FoxPro makes a new one: the five "Database" records (the database with
// its version, the transaction log, and the stored procedures' source, object code and
// dependencies, all empty), its header marked with `codePage`, in which it keeps the names
// of the tables added later. Refuses when the .dbc exists, or a .dct or .dcx other than the
// start of the one it writes (which a creation cut short leaves behind). The .dbc is written
// last, under a temporary name renamed into place, so that a failure never leaves a
// container that looks complete; a failure removes what was written. Failures are
// tw::data::Failure naming the file and the cause.
void createContainer(FileSystem& fs, const std::string& dbcPath, const CodePage& codePage = CodePage::western());
// The same on the machine's own file system, written durably: what the desktop program's
// Advanced Options dialog and the headless converter call, with the code page their new
// tables are written in.
void createContainer(const std::string& dbcPath, const CodePage& codePage);

}  // namespace tw::vfp
