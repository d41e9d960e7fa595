// The FoxPro engine of one folder of free tables: runs the SQL statements the program
// generates (and users edit) straight from their text.
//
//   DROP TABLE name
//   CREATE TABLE name [FREE] (column type[(width[, decimals])] [NULL | NOT NULL], ...)
//   INSERT INTO name [(column, ...)] VALUES (value, ...)
//
// with an optional ";" at the end and keywords in any case. Names are bare, in double or
// single quotes, or in square brackets (VFP's string delimiters); column names bare or in
// brackets. Types follow VFP's rule: a single letter, one of VFP's long names (Char,
// Character, Int, Integer, Double, Num, Numeric, Float, Currency, Date, DateTime, Logical,
// Memo, Blob, General, Varchar, Varbinary, Picture), or any other word cut to its first
// letter (DEC is Date, LONG is Logical, TEXT is DateTime). The engine writes C, N, F, I, B,
// Y, D, T, L and M. A column without NULL or NOT NULL accepts nulls, as with SET NULL ON.
//
// Values go to the listed columns, or else to the fields in order: numbers (12, -0.5,
// 1E+15), texts in quotes ('O''Neil'), NULL, .T./.F., and {^yyyy-mm-dd[ hh:mm:ss]} dates;
// fields that get no value are null (blank in a NOT NULL column). A value is stored exactly or the row is refused: an I column
// refuses fractions and numbers outside +/-2,147,483,647, N(w,d) refuses more integer
// digits than fit and more than d decimals, Y more than 4 decimals, C(n) more than n
// characters (blanks beyond n excepted, since C pads with blanks anyway); B takes any
// finite number, as the nearest double. Text is stored in cp1252 ("?" for characters it
// lacks); C and M take texts only, numeric columns numbers only.
//
// A refused statement throws Failure "SQLException: " + VFP's message ("Syntax error.",
// "Data type mismatch.", "Numeric overflow. Data was lost.", ...). File-system failures
// carry the file and the cause instead. Table names are matched to files without regard to
// case; new tables get lower-case file names.
//
// Speed: the table of the last INSERT stays open and its records are written in batches
// (see table_file.h); any other statement, a listing, flush() and destruction write it out.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vfp/file_system.h"
#include "platform/vfp/table_file.h"

namespace tw::vfp {

// One .dbf of the folder as the listing sees it.
struct ListedTable {
  std::string name;     // file name without its extension, as stored
  std::string file;     // file name
  std::string problem;  // empty, or why the table cannot be used ("Table ... has become corrupted: ...")
};

class Engine {
 public:
  Engine(std::shared_ptr<FileSystem> fs, std::string folder);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  void execute(std::string_view statement);
  // Every .dbf of the folder, sorted by name without regard to case.
  std::vector<ListedTable> listTables();
  // Writes the open table's records out and closes it.
  void flush();

  const std::string& folder() const { return folder_; }
  FileSystem& fileSystem() { return *fs_; }
  void setBatchBytes(std::size_t bytes);

  // The file in the folder whose name equals `name` without regard to case (an exact match
  // wins); empty when there is none.
  std::string findFile(std::string_view name);

 private:
  void dropTable(std::string_view rest);
  void createTable(std::string_view rest);
  void insertInto(std::string_view rest);
  TableFile& openForInsert(const std::string& rawName);

  std::shared_ptr<FileSystem> fs_;
  std::string folder_;
  std::unique_ptr<TableFile> table_;
  std::string tableRawName_;  // the name as written in the statement that opened table_
  std::string scratch_;       // memo text being converted
  std::vector<std::size_t> columns_;  // fields named by an INSERT's column list
  std::size_t batchBytes_ = 4 << 20;
};

// The file base name ("orders") a table name stands for, or throws the SQLException for a
// name that cannot be a file name. A trailing ".dbf" is dropped.
std::string tableFileBase(std::string_view name);

// A name folded for comparisons that ignore case (Unicode lower case).
std::string foldName(std::string_view utf8);

}  // namespace tw::vfp
