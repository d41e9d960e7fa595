// A writer of Access 2000-2003 (Jet 4) database files, and of files of the same layout
// marked as Access 2010 and later (ACE 14-17), which may hold calculated fields and
// Date/Time Extended fields.
//
// The writer produces a complete .mdb file: the database header page (with an optional
// database password), the system catalog MSysObjects and the system tables readers expect
// beside it (MSysACEs, MSysQueries, MSysRelationships), one table definition per table
// with its index definitions, data pages, usage maps, the relationships, long-value pages
// for Memo and OLE values that do not fit in their row, and each table's properties blob
// (Required, Description, Caption, DefaultValue, ValidationRule, ValidationText,
// calculated fields' result type and expression). Each index gets an empty tree (a root
// leaf without entries): readers see every index definition, but an index walk of a table
// with rows finds the index out of date.
//
// Rows are streamed: each table keeps only the page it is filling, so a table of millions
// of rows needs no more memory than a small one. The file is written to a temporary file
// in the target folder and renamed at `finish`; a writer destroyed before `finish` (or a
// failing `finish`) removes the temporary file, so a failed run leaves nothing behind.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/value.h"

namespace tw::jet {

// Column types an Access 2000-2003 table can hold, as the Access table designer names them.
enum class FieldKind {
  YesNo,
  Byte,
  Integer,
  Long,
  AutoNumber,  // Long Integer that Access numbers itself
  Single,
  Double,
  Currency,
  DateTime,
  Text,  // size = maximum characters, 1..255
  Memo,
  Hyperlink,  // a Memo shown as a link
  Ole,        // OLE Object (long binary)
  ReplicationId,
  Decimal,           // precision 1..28, scale 0..precision
  Binary,            // size = maximum bytes, 1..255
  DateTimeExtended,  // Access 2019 and later: dates of the years 1-9999 to 100 nanoseconds
};

// The name used in descriptions ("text", "autonumber", ...) and in messages.
const char* fieldKindName(FieldKind kind);
// The kind for a description name (case-insensitive); false when there is none.
bool fieldKindFromName(const std::string& name, FieldKind& kind);

struct FieldDefinition {
  std::string name;
  FieldKind kind = FieldKind::Long;
  int size = 0;        // Text: characters; Binary: bytes
  int precision = 18;  // Decimal
  int scale = 0;       // Decimal
  // A calculated field (Access 2010 and later): `kind` is the type of its result, and each
  // row carries the stored result. YesNo, Byte, Integer, Long, Single, Double, Currency,
  // DateTime, Text, Memo, ReplicationId and Decimal results are possible. Access keeps it
  // as a variable-length column whose result type and expression are properties.
  bool calculated = false;
  std::string expression = {};  // the calculated field's expression, e.g. "[Price]*[Quantity]"
  // Field properties as Access keeps them in the table's properties: Required (a null
  // value is then refused), and texts as Access stores them ("Date()", ">0", "\"abc\"");
  // an empty text is no property.
  bool required = false;
  std::string description = {};
  std::string caption = {};
  std::string defaultValue = {};
  std::string validationRule = {};
  std::string validationText = {};
};

// One column of an index, by field name.
struct IndexColumnDefinition {
  std::string name;
  bool descending = false;
};

// An index of a table: 1 to 10 of its fields. A primary key ("PrimaryKey" in Access) is
// unique and required whatever the flags say; a table has one at most.
struct IndexDefinition {
  std::string name;
  std::vector<IndexColumnDefinition> columns;
  bool primaryKey = false;
  bool unique = false;
  bool ignoreNulls = false;  // rows whose key is null are left out of the index
  bool required = false;     // the key may not be null
};

struct TableDefinition {
  std::string name;
  std::vector<FieldDefinition> fields;
  std::vector<IndexDefinition> indexes = {};
};

// A relationship: the fields `columns` of `table` refer to `referencedColumns` of
// `referencedTable` (pairwise, 1 to 10 of them). An enforced relationship needs a primary
// key or unique index on exactly the referenced fields; Access then keeps an index on
// each side for it, which the writer adds as Access does (".rC", ... on the referenced
// table, one named after the relationship on the other).
struct RelationshipDefinition {
  std::string name;  // empty: the referenced table's name followed by the table's
  std::string table;
  std::vector<std::string> columns;
  std::string referencedTable;
  std::vector<std::string> referencedColumns;
  bool enforced = true;
  bool cascadeUpdates = false;  // enforced relationships only
  bool cascadeDeletes = false;
};

// A saved select query: "SELECT <columns> FROM <from> [WHERE <where>]", stored in
// MSysQueries the way Access keeps it.
struct QueryDefinition {
  std::string name;
  std::string from;
  std::vector<std::string> columns;  // empty: "*"
  std::string where;
};

// A table linked from another Access database.
struct LinkDefinition {
  std::string name;
  std::string database;     // path of the other file
  std::string foreignName;  // the table's name there
};

// The format a file is marked with: Jet 4 (Access 2000-2003, the default) or an ACE
// version (Access 2007 and later). The layout written is the same.
enum class FileVersion { Jet4, Ace12, Ace14, Ace15, Ace16, Ace17 };

struct DatabaseSettings {
  // OLE date of creation; it also masks the password. 1 January 2021, 12:00 by default,
  // so that files made from the same description are identical.
  double creationDate = 44197.5;
  // Database password, at most 20 characters; empty for none. Jet 4 files only.
  std::string password;
  // Calculated fields need Ace14 or later, Date/Time Extended fields Ace16 or later.
  FileVersion version = FileVersion::Jet4;
};

// A description the writer refuses (bad name, value of the wrong kind, text too long...)
// or a file it cannot write. The message names what was wrong.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MdbWriter {
 public:
  // Opens a temporary file in the folder of `path`. Throws WriteError when it cannot.
  MdbWriter(const std::string& path, DatabaseSettings settings = {});
  ~MdbWriter();
  MdbWriter(const MdbWriter&) = delete;
  MdbWriter& operator=(const MdbWriter&) = delete;

  // Declares a table and returns its handle for appendRow. Names of tables, queries and
  // links share one name space (compared without regard to case), field names are unique
  // within their table; names are 1..64 characters.
  int addTable(const TableDefinition& table);
  void addQuery(const QueryDefinition& query);
  void addLink(const LinkDefinition& link);
  // Declares a relationship between two tables added before; names are unique among the
  // relationships (without regard to case).
  void addRelationship(const RelationshipDefinition& relationship);

  // Appends one row: one value per field, in field order. Accepted values per kind:
  // YesNo bool (never null); Byte, Integer, Long int64 in range; AutoNumber int64 or null
  // (null: the next number); Single Single, double or int64; Double double or int64;
  // Currency Currency or int64; DateTime DateTime; Text, Memo, Hyperlink UTF-8 string
  // (Text at most `size` UTF-16 units); Ole and Binary Bytes (Binary at most `size`);
  // ReplicationId Guid; Decimal Decimal with at most `scale` fraction digits and
  // `precision` digits in all; DateTimeExtended ExtendedDateTime. Any field but a YesNo
  // that is not calculated may be null.
  void appendRow(int table, const std::vector<Value>& row);

  std::int64_t rowCount(int table) const;

  // Completes the file and renames it to the target path (replacing a file there).
  void finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw::jet
