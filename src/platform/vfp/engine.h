// The FoxPro engine: runs the SQL statements the program generates (and users edit)
// straight from their text, on the tables of a catalog (catalog.h): a folder of free
// tables or a database container.
//
//   DROP TABLE name
//   CREATE TABLE name [FREE] (column type[(width[, decimals])] [clauses], ...)
//   INSERT INTO name [(column, ...)] VALUES (value, ...)
//   ALTER TABLE name ALTER [COLUMN] column I AUTOINC [NEXTVALUE n [STEP s]]
//   [=]DBSETPROP('table.column', 'FIELD', 'Caption' | 'Comment', text)
//   USE name [EXCLUSIVE] | USE
//   INDEX ON key TAG tag [CANDIDATE] [DESCENDING] [FOR filter]
//   ALTER TABLE name ADD PRIMARY KEY key TAG tag
//   ALTER TABLE child ADD FOREIGN KEY key TAG tag REFERENCES parent TAG parent_tag
//
// with an optional ";" at the end and keywords in any case. Names are bare, in double or
// single quotes, or in square brackets (VFP's string delimiters); column names bare or in
// brackets. Types follow VFP's rule: a single letter, one of VFP's long names (Char,
// Character, Int, Integer, Double, Num, Numeric, Float, Currency, Date, DateTime, Logical,
// Memo, Blob, General, Varchar, Varbinary, Picture), or any other word cut to its first
// letter (DEC is Date, LONG is Logical, TEXT is DateTime). The engine writes C, N, F, I, B,
// Y, D, T, L, M, V (Varchar), Q (Varbinary), W (Blob) and G (General, which SQL leaves
// empty, as VFP's does). The clauses after a type (column_definition.h): NULL or NOT NULL
// (a column without either accepts nulls, as with SET NULL ON), AUTOINC [NEXTVALUE n [STEP
// s]] on an Integer column, NOCPTRANS, DEFAULT expr and CHECK expr [ERROR expr]. DEFAULT and
// CHECK are stored in a database container's Field records for the applications that use
// the tables; this engine does not evaluate them, and a free table refuses them ("No
// database is open or set as the current database."). DBSETPROP, too, needs a container.
//
// USE makes a table the current one (and locks it), INDEX ON adds a tag to its structural
// index (.cdx); primary keys and foreign keys (a tag and a persistent relation) need a
// database container. Key expressions and filters: index_expression.h; how the tags are
// kept in step with every later INSERT: table_indexes.h.
//
// Values go to the listed columns, or else to the fields in order: numbers (12, -0.5,
// 1E+15), texts in quotes ('O''Neil') or joined from quoted pieces and CHR(n) with "+"
// ('ab'+CHR(13)+CHR(10)+'cd'), NULL, .T./.F., {^yyyy-mm-dd[ hh:mm:ss]} dates and 0h
// followed by hex digits for bytes (0h00FF); fields that get no value are null (blank in a
// NOT NULL column), and an autoincrementing field that gets none takes its next value,
// which then advances by its step. A value given for an autoincrementing field is stored as
// it is and leaves the next value alone (VFP with SET AUTOINCERROR OFF, which the engine
// takes as a statement that changes nothing); ALTER TABLE sets
// the next value (and makes an Integer column that refuses nulls autoincrementing). A value
// is stored exactly or the row is refused: an I column refuses fractions and numbers
// outside +/-2,147,483,647, N(w,d) refuses more integer digits than fit and more than d
// decimals, Y more than 4 decimals, C(n) and V(n) more than n characters (blanks beyond n
// excepted), Q(n) more than n bytes; B takes any finite number, as the nearest double. C, V
// and M take texts only, Q and W bytes only, numeric columns numbers only. NULL into a
// column that refuses nulls fails with 'Field "NAME" does not accept null values.'.
//
// Code pages. New tables are written in the engine's code page and carry its mark; rows
// added to an existing table are written in the code page its header names (the engine's
// own when it names none). A character the code page lacks is stored as "?", and the
// engine counts, per table, the values it had to change that way (takeChangedValues).
// Field names take letters of any script the code page holds (and, in a database
// container, that the container's code page holds too); a name with a character either
// lacks is refused, never stored with a "?".
//
// A refused statement throws Failure "SQLException: " + VFP's message ("Syntax error.",
// "Data type mismatch.", "Numeric overflow. Data was lost.", ...), followed by what it
// concerns: ' (table "Orders", column "Amount")'. The catalog matches table names without
// regard to case. Column names are at most as long as the catalog allows (10 characters in
// a folder of free tables).
//
// Failures after which a table takes no more rows carry data::kErrTableUnusable, VFP's
// text first and then the file system's words: a DROP TABLE of a table that is in use or
// cannot be deleted, every failed CREATE TABLE, and an INSERT INTO a table that does not
// exist, is in use, cannot be opened for writing or is damaged, whose write failed (disk
// full, I/O error) or that reached the 2 GB a table file holds.
//
// One writer per table: the engine locks every table it creates, writes or drops, and
// holds the lock until it is destroyed; a table locked by another engine (in this process
// or another) is waited for (FileSystem::lockWait, 5 s), then refused with "File is in
// use.". Locks go by the table's file, so the engine's own is never another writer's.
//
// Replacing a table: DROP TABLE sets the table's files aside (catalog.h), and a CREATE
// TABLE of the same name that fails right after puts the dropped table back whole; any
// other statement, or a CREATE that succeeds, makes the drop final.
//
// A table whose write failed takes no more
// rows in this engine: every later INSERT into it fails with the same failure, so the table
// on disk always holds a prefix of the rows inserted into it.
//
// Speed: the table of the last INSERT stays open and its records are written in batches
// (see table_file.h); any other statement, a listing, flush() and destruction write it out.
// When that write fails during another table's statement, the statement is carried out
// first and the failure, which names the table it concerns, is thrown after it. A failed
// write loses rows that earlier INSERTs had taken without a failure: the failure says how
// many and of which table (Failure::rowsLost), so that callers can correct their counts.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/data_access.h"
#include "platform/vfp/catalog.h"
#include "platform/vfp/file_system.h"
#include "platform/vfp/table_file.h"
#include "platform/vfp/table_indexes.h"

namespace tw::vfp {

// Text values of one table that had characters its code page lacks ("?" took their place).
struct ChangedValues {
  std::string table;
  std::size_t values = 0;
  int codePage = 1252;
};

class Engine {
 public:
  // The engine of a folder of free tables, or of a catalog; new tables are written in
  // `codePage`.
  Engine(std::shared_ptr<FileSystem> fs, std::string folder, const CodePage& codePage = CodePage::western());
  Engine(std::shared_ptr<FileSystem> fs, std::unique_ptr<Catalog> catalog,
         const CodePage& codePage = CodePage::western());
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  void execute(std::string_view statement);
  // Every table of the catalog, sorted by name without regard to case.
  std::vector<ListedTable> listTables();
  // The files of the table called `name`, with every row inserted so far written out.
  TableLocation locate(std::string_view name);
  // Writes the open table's records out and closes it.
  void flush();

  // The code page of new tables.
  const CodePage& codePage() const { return *codePage_; }
  // Per table (by the name its INSERT statements use), how many stored text values had
  // characters the table's code page lacks, since the last call; the counts restart.
  std::vector<ChangedValues> takeChangedValues();

  FileSystem& fileSystem() { return *fs_; }
  Catalog& catalog() { return *catalog_; }
  const Catalog& catalog() const { return *catalog_; }
  void setBatchBytes(std::size_t bytes);

 private:
  void run(std::string_view statement);
  void dropTable(std::string_view rest);
  void createTable(std::string_view rest);
  // Parses a CREATE TABLE and makes the table; `tableName` and `column` say, as far as
  // parsing got, which table and which column a failure concerns.
  void makeTable(std::string_view rest, std::string& tableName, std::string& column);
  void insertInto(std::string_view rest);
  // ALTER TABLE "t" ALTER [COLUMN] c I AUTOINC [NEXTVALUE n [STEP s]] (engine_columns.cpp).
  void alterTable(std::string_view rest);
  // DBSETPROP('table.field', 'FIELD', 'Caption' | 'Comment', text) (engine_columns.cpp).
  void setProperty(std::string_view rest);
  // The index of table_'s column called `name` (as INSERT names it); refuses an unknown one.
  std::size_t columnIndex(std::string_view name) const;
  TableFile& openForInsert(const std::string& rawName);
  // Ends the open table after its write failed with `f`: the rows before the failing one
  // are written out where they can be, and the table takes no more rows. Returns the
  // failure to throw, naming `tableName` and how many of the `taken` rows that earlier
  // INSERTs had reported as done the file does not keep.
  data::Failure endOpenTable(const data::Failure& f, const std::string& tableName, std::uint32_t taken);
  // Adds `values` changed text values to the open table's count.
  void countChangedValues(std::size_t values);
  // Writes the open table out and closes it; a failure is kept for that table and returned.
  std::optional<data::Failure> closeTable();
  // Closes the open table before another table's statement; a failure is kept for
  // execute() to throw once the statement has run.
  void leaveTable();
  std::string tableKey(const std::string& dbfPath);
  // After a failed CREATE TABLE `name`: puts back the table the DROP just before dropped,
  // when it had that name, and says so (or why not) for the failure; settles the drop
  // otherwise.
  std::string restoreDropped(const std::string& name);
  void settleDropped();
  // Remembers that the table at `dbfPath` takes no more rows, and why.
  void markBroken(const std::string& dbfPath, const data::Failure& failure);
  // Holds the lock on `dbfPath` from now on; throws "File is in use." naming `table` when
  // another writer has it.
  void lockTable(const std::string& dbfPath, std::string_view table);
  // Sets columnKeys_ for table_ from the names its columns go by (empty: its field names).
  void setColumnKeys(const std::vector<std::string>& names);

  std::shared_ptr<FileSystem> fs_;
  std::unique_ptr<Catalog> catalog_;
  std::map<std::string, std::unique_ptr<FileLock>> locks_;  // tableKey -> lock held
  std::string dropped_;                          // the folded file name of the table dropped by the last statement
  std::map<std::string, data::Failure> broken_;  // tableKey -> why it takes no rows
  std::optional<data::Failure> pending_;         // another table's failed write
  std::unique_ptr<TableFile> table_;
  std::string tableRawName_;             // the name as written in the statement that opened table_
  std::vector<std::string> columnKeys_;  // upper-case names of table_'s columns in its code page, in field order
  const CodePage* codePage_;
  const CodePage* tableCodePage_ = codePage_;  // the code page of table_
  std::vector<ChangedValues> changedValues_;
  std::vector<std::string> columnNames_;  // the same names in UTF-8 as written, for messages
  std::string scratch_;                   // memo text being converted
  std::vector<std::size_t> columns_;      // fields named by an INSERT's column list
  std::size_t batchBytes_ = 4 << 20;

  // Indexes and keys (engine_index.cpp).
  void useTable(std::string_view rest);
  void indexOn(std::string_view rest);
  // ALTER TABLE ... ADD PRIMARY KEY / ADD FOREIGN KEY; false (and nothing done) for any
  // other ALTER TABLE.
  bool addKey(std::string_view rest);
  // The indexes of the table at `at`, kept from the last call when it is the same table.
  TableIndexes& indexesOf(const TableLocation& at);
  // Has `t`'s batches keep its indexes when its header says it has any.
  void attachIndexes(TableFile& t, const TableLocation& at);
  // Drops what is kept of the indexes of the table at `dbfPath` (it was dropped).
  void forgetIndexes(const std::string& dbfPath);
  std::string currentTable_;  // the table USE made current, as written; empty when none
  std::unique_ptr<TableIndexes> indexes_;
};

}  // namespace tw::vfp
