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
// DROP TABLE renames the table's files aside, then marks its records deleted (the table,
// its fields, indexes and relations, and the relations that name it as their parent), then
// puts the new .dcx in place; the files are deleted when the drop is settled (catalog.h).
// Every change rebuilds the .dcx whole, writes it beside the container and renames it in;
// when any step fails, the steps before it are undone: the records appended are cut off
// again, the records marked deleted are live again, the files are back. Records and memos
// of other objects, other tables and stored procedures are never rewritten.
//
// A hostile or damaged container. A table's Path is followed only to a regular file inside
// the container's folder: a path that is absolute, climbs out with "..", passes a symbolic
// link or names the container's own files is refused by name ("Table \"x\" of the database
// container points outside its folder: \"../y.dbf\"."), and nothing is opened, written or
// deleted for that table; a table is dropped only when its file is a table of this
// container that no other table names. A container whose header, record count and size
// disagree, whose .dct's next free block lies inside the blocks its records use, or that
// has two tables of one name, is refused as damaged when it is opened, and nothing is
// written to it.
//
// The records are read when the container is opened, and again only when the .dbc has
// changed since (its size, time or file): the engine's own changes are kept in step
// without reading them back.
//
// Crash safety. A process killed at any moment leaves a container whose every listed table
// opens: a new table's files exist before its records do, the records are appended as a
// table's rows are (table_file.h), a dropped table's records are deleted after its files
// are set aside, and a new .dcx is written whole under the name "<dcx>.tmp" and renamed
// into place. A kill between the records and that rename leaves that file behind; opening
// the container then rebuilds the .dcx (and finishes an interrupted drop, or puts back the
// files of a table whose drop was killed before its records were marked), taking the
// leftover for its own only when it is a regular file with no other name. A table file
// that a killed CREATE left unlisted (empty, naming this container) is replaced by the next
// CREATE of that name.
#pragma once

#include <cstdint>
#include <map>
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
  void restoreDrop() override;
  void settleDrop() override;
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
  // waited for while another writer holds it, or "File is in use." (kErrTableUnusable).
  std::unique_ptr<FileLock> lockContainer();
  void load();
  // Reads the records again when the .dbc changed since they were read or written here.
  void refresh();
  // Refuses the container as damaged when its .dct's next free block lies inside the memo
  // of the record that uses the last blocks (`lastBlock`).
  void checkMemoEnd(std::uint32_t lastBlock, std::uint32_t nextFree);
  // Lists the live tables by name; refuses the container when two share one.
  void indexTables();
  // The code page the names are read in (1252 for a container marked with another).
  const CodePage& names() const { return codePage_ ? *codePage_ : CodePage::western(); }
  // The code page to write names and index keys in; a container marked with one the engine
  // does not write refuses the `change` ("add a table to") with an SQL failure.
  const CodePage& namesToWrite(const std::string& change) const;
  std::string readMemo(std::uint32_t block);
  // The property `id` of a record's PROPERTY memo; empty when it has none.
  std::string property(const Record& r, std::uint8_t id);
  const Record* findTable(std::string_view name);
  // The file a Table record names, inside the container's folder, or an SQL failure naming
  // the table and the path when it leads anywhere else.
  std::string tablePath(const Record& table);
  // Refuses to drop `table` unless its file `dbfPath` is a table of this container that no
  // other table names.
  void checkDroppable(const Record& table, const std::string& dbfPath);
  std::vector<std::string> fieldNames(const Record& table);
  // Writes the .dcx for the current records plus `added`, without the records numbered in
  // `deleting`, as the temporary file "<dcx>.tmp", which must not exist.
  void writeIndexTemporary(const std::vector<Record>& added, const std::vector<std::uint32_t>& deleting = {});
  void installIndex();
  void removeIndexTemporary();
  // Before a new table's files are made: removes the empty table file of a CREATE that was
  // killed before its records were written, and (for a table with memos) an empty memo
  // file without its table; refuses with "File already exists." when anything else is at
  // either name.
  void removeLeftovers(const std::string& base, const std::string& dbfFile, bool hasMemo);
  // Puts back the files of a listed table that a killed drop had set aside.
  void restoreInterruptedDrop();
  // Appends `added` to the .dbc, each with its PROPERTY memo from `properties` (by
  // position; an empty one or none gets no memo), whose block each record then keeps.
  void appendRecords(std::vector<Record>& added, const std::vector<std::string>& properties);
  // The PROPERTY memos of a new table's Field records: its rules in the names' code page.
  std::vector<std::string> fieldPropertyMemos(const std::vector<FieldRules>& rules, const CodePage& codePage,
                                              const std::vector<std::string>& columnNames) const;
  // Writes `memo` as a new block at the end of the .dct and returns its number.
  std::uint32_t appendMemo(const std::string& memo);
  void repairAfterCrash();
  // Writes `flag` (deleted or live) into the records numbered `numbers`, the first first.
  void setFlags(const std::vector<std::uint32_t>& numbers, std::uint8_t flag);
  // Undoes a drop that failed before it was complete; `flagged` when its records were
  // marked. Never throws: what could not be undone stays in `files`.
  void undoDrop(const std::vector<std::uint32_t>& numbers, bool flagged, AsideFiles& files);
  // Appends `added` (each with its PROPERTY memo, "" for none) and marks `replaced` deleted,
  // with the index rebuilt to match; a failure puts the container back as it was.
  void commitObjects(std::vector<Record>& added, const std::vector<std::string>& properties,
                     const std::vector<std::uint32_t>& replaced);
  // Gives the record numbered `number` a new PROPERTY memo: the memo first, then the pointer.
  void replaceProperty(std::uint32_t number, const std::string& memo);
  // A new record owned by `parent`, numbered and given an id after every existing one and
  // the `added` before it.
  Record newRecord(std::int32_t parent, const char* type, const std::string& name,
                   const std::vector<Record>& added) const;

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
  std::map<std::string, std::size_t> tables_;  // live Table records by folded name -> index in records_
  FileStatus read_;                            // the .dbc as last read or written here
  std::unique_ptr<File> dct_;                  // the .dct, for reading memos
  // The drop not settled yet: its records and its files set aside.
  std::vector<std::uint32_t> dropped_;
  AsideFiles droppedFiles_;
};

// Creates an empty database container at `dbcPath` (ending in ".dbc"), with its .dct and
// .dcx, as Visual FoxPro makes a new one: the five "Database" records (the database with
// its version, the transaction log, and the stored procedures' source, object code and
// dependencies, all empty), its header marked with `codePage`, in which it keeps the names
// of the tables added later.
//
// One creator at a time: the folder is locked first (waited for while another creator
// holds it). When the .dbc is there once the lock is held, nothing is written and the
// result is false (another creator made it meanwhile); true when this call made it. Refuses
// a .dct or .dcx other than the start of the one it writes (which a creation cut short
// leaves behind). Every file is new (CreateNew); the .dbc is written last, under a unique
// name renamed into place, so that a failure never leaves a container that looks
// complete; a failure removes only what it wrote. Failures are tw::data::Failure naming
// the file and the cause.
bool createContainer(FileSystem& fs, const std::string& dbcPath, const CodePage& codePage = CodePage::western());
// The same on the machine's own file system, written durably: what the desktop program's
// Advanced Options dialog and the headless converter call, with the code page their new
// tables are written in.
bool createContainer(const std::string& dbcPath, const CodePage& codePage);

}  // namespace tw::vfp
