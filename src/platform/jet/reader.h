// Tablewright's reader of Access files (Jet 3, Jet 4, ACE 12-17): opens a file read-only,
// checks the database password, decodes old encoded and encrypted files, reads the catalog
// and streams the rows of a table as tw::Value cells.
//
// Every read is bounds-checked against the page it comes from, every walk over linked
// pages (TDEF continuations, long-value chains, overflow rows) is capped, and no buffer is
// sized from a length field without checking it against the file, so a damaged file ends
// in a tw::data::Failure naming the damage, never in a crash or an endless loop.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/data_access.h"
#include "platform/jet/format.h"
#include "platform/value.h"

namespace tw::jet {

class PageFile;

// One column of a table as the TDEF describes it, plus what the reader derives from it.
struct ColumnDef {
  std::string name;
  std::uint8_t type = 0;          // ColumnType
  std::uint16_t number = 0;       // position in the row's null mask
  std::uint16_t varIndex = 0;     // position in the row's variable-offset table
  std::uint16_t fixedOffset = 0;  // offset of fixed data after the column count
  std::uint16_t length = 0;       // stored length (Jet 4 text: bytes)
  std::uint8_t flags = 0;         // ColumnFlag
  std::uint8_t extFlags = 0;      // ColumnExtFlag
  int precision = 0;              // Decimal only
  int scale = 0;                  // Decimal only
  std::int32_t complexId = 0;     // complex columns only
  // The column's properties (Required, Description, ...) under their stored names, from
  // the table's properties blob; for a calculated column `type` is its result type.
  std::vector<std::pair<std::string, Value>> properties;
  bool resultTypeLost = false;  // calculated, and the properties naming its result are damaged
  bool fixed() const { return (flags & kFlagFixed) != 0; }
  bool calculated() const { return (extFlags & kExtCalculated) == kExtCalculated; }
  bool hyperlink() const { return type == kTypeMemo && (flags & kFlagHyperlink) != 0; }
};

// A table definition read from its TDEF pages.
struct TableDef {
  std::string name;
  std::uint32_t tdefPage = 0;
  std::uint32_t storedRowCount = 0;  // as the TDEF says; not trusted
  std::uint16_t varColumnCount = 0;
  std::uint32_t usageMap = 0;      // row pointer
  std::vector<ColumnDef> columns;  // in column-number order
  std::string propertiesError;     // why the properties blob could not be read; empty if it could
};

// One MSysObjects row, as far as the reader needs it.
struct CatalogEntry {
  std::string name;
  int type = 0;                          // raw signed MSysObjects.Type
  std::uint32_t flags = 0;               // MSysObjects.Flags
  std::uint32_t id = 0;                  // MSysObjects.Id; for tables the low 24 bits are the TDEF page
  bool hasConnect = false;               // a non-empty Connect string (linked tables)
  std::vector<std::uint8_t> properties;  // LvProp of a table: its properties blob
  std::uint32_t tdefPage() const { return id & kObjectIdPageMask; }
};

class Database;

// A forward-only walk over the rows of one table. Rows come in stored order: data pages in
// usage-map order, rows in the order of each page's offset table; deleted rows are left
// out and rows moved to overflow pages are read where they went.
class TableCursor {
 public:
  TableCursor(Database& db, std::shared_ptr<const TableDef> table);
  ~TableCursor();
  const TableDef& table() const { return *table_; }
  // Counts the rows `next` will deliver by reading only the row offset tables.
  std::int64_t countRows();
  // The row pointers of the rows `next` delivers, in that order, from the same tables
  // (index_walk.cpp; an index's entries name rows this way).
  std::vector<std::uint32_t> rowPointers();
  // Fills `row` (one value per column) with the next row; false at the end. Throws Failure
  // for a row or page that cannot be read; the walk then goes on with what follows. A
  // table that ends early (pages past the end of the file, fewer rows than its
  // definition counts) throws once, after its last readable row.
  bool next(std::vector<Value>& row);

 private:
  struct Complex;
  void loadPages();
  void ensurePages();
  std::shared_ptr<const std::vector<std::uint8_t>> dataPage(std::uint32_t number, std::size_t& rows);
  // Calls `visit` with the page and slot of each row that is not deleted, in `next`'s order.
  void forEachLiveRow(const std::function<void(std::uint32_t page, std::size_t row)>& visit);
  void resolveComplex();
  bool advancePage();
  bool nextRow(std::vector<Value>& row);
  void decodeRow(std::span<const std::uint8_t> page, std::uint32_t pageNumber, std::size_t start, std::size_t end,
                 std::vector<Value>& row);
  struct RowLayout;
  // Where the column count, null mask and data of a row lie; fills varOffsets_.
  RowLayout rowLayout(std::span<const std::uint8_t> row, std::uint32_t pageNumber);
  // The offsets of the variable columns: Jet 3 counts them in bytes with a jump table for
  // each 256 bytes, later versions in 16-bit words.
  void readJet3VarOffsets(std::span<const std::uint8_t> row, std::uint32_t pageNumber, RowLayout& at);
  void readJet4VarOffsets(std::span<const std::uint8_t> row, std::uint32_t pageNumber, RowLayout& at);
  // The bytes of column `c` in `row`; false when the row holds none (a column added after
  // the row was written).
  bool columnBytes(const ColumnDef& c, std::span<const std::uint8_t> row, const RowLayout& at,
                   std::uint32_t pageNumber, std::span<const std::uint8_t>& data) const;
  // The value of complex column number `column` (attachments, multiple values) for the
  // key stored in the row.
  Value complexValue(std::size_t column, std::span<const std::uint8_t> data) const;
  // Failure for a damaged row: "a row on page N of TABLE " + what.
  [[noreturn]] void badRow(std::uint32_t pageNumber, const std::string& what) const;
  Value decodeColumn(const ColumnDef& c, std::span<const std::uint8_t> bytes, std::uint32_t pageNumber);
  Value decodeCalculated(const ColumnDef& c, std::span<const std::uint8_t> stored, std::uint32_t pageNumber);

  Database& db_;
  std::shared_ptr<const TableDef> table_;
  std::string context_;  // the table's name as failures quote it
  std::vector<std::uint32_t> pages_;
  bool started_ = false;
  bool pagesKnown_ = false;
  std::string pageMapError_;
  std::uint32_t pagesBeyondEnd_ = 0;  // pages of the map past the end of the file
  std::uint32_t firstPageBeyondEnd_ = 0;
  bool propertiesReported_ = false;
  bool complexResolved_ = false;
  std::string complexError_;     // why a complex column's values are missing, until reported
  std::uint32_t delivered_ = 0;  // rows handed out so far
  bool failed_ = false;          // a failure has been passed on
  bool finished_ = false;
  std::vector<std::size_t> varOffsets_;
  std::size_t pageIndex_ = 0;
  std::shared_ptr<const std::vector<std::uint8_t>> page_;
  std::uint32_t pageNumber_ = 0;
  std::size_t rowIndex_ = 0;
  std::size_t rowsOnPage_ = 0;
  std::vector<std::unique_ptr<Complex>> complex_;  // per column; null for plain columns
};

class Database {
 public:
  // Opens `path` read-only. Throws Failure: "Could not find file 'PATH'." when it does not
  // exist, a message naming the file and the cause when it cannot be opened,
  // "Unrecognized database format 'PATH'." when it is not an Access file, and
  // "Not a valid password." when the file has a password and `password` is not it.
  static std::unique_ptr<Database> open(const std::string& path, const std::string& password);
  ~Database();

  const std::string& path() const { return path_; }
  const Format& format() const { return format_; }
  unsigned codePage() const { return codePage_; }
  // The password stored in a Jet 3 / Jet 4 header (empty: none).
  const std::string& storedPassword() const { return storedPassword_; }

  const std::vector<CatalogEntry>& catalog();
  // The table of that name (without regard to case) among the catalog's tables, or null.
  const CatalogEntry* findTable(const std::string& name);
  // Reads a TDEF; `name` is used in failure descriptions.
  std::shared_ptr<const TableDef> readTableDef(std::uint32_t tdefPage, const std::string& name);

  // Page access for the table code: the decoded page, or a Failure naming `context`.
  std::shared_ptr<const std::vector<std::uint8_t>> page(std::uint32_t number, const std::string& context);
  std::uint32_t pageCount() const;
  std::uint64_t fileSize() const;

  // Failure for a damaged file: "The database 'PATH' is damaged: WHAT."
  [[noreturn]] void damaged(const std::string& what) const;

  // A row of a data page through a row pointer; `context` names the use in failures.
  std::vector<std::uint8_t> lvalRow(std::uint32_t pointer, const std::string& context);
  // The bytes of a long value from its 12-byte field.
  std::vector<std::uint8_t> longValue(std::span<const std::uint8_t> field, const std::string& context);

  // The text decoder of this file's format.
  std::string decodeText(std::span<const std::uint8_t> bytes) const;

  // MSysComplexColumns, read on first use: (ConceptualTableID, ComplexID) -> FlatTableID.
  std::optional<std::uint32_t> flatTableFor(std::uint32_t tablePage, std::int32_t complexId,
                                            const std::string& columnName);

 private:
  Database() = default;
  void readHeader(const std::string& password);
  void readCatalog();
  std::shared_ptr<const TableDef> parseTableDef(std::uint32_t tdefPage, const std::string& name);
  void readComplexColumns();
  // Gives the columns of `t` their properties from the catalog, and calculated columns
  // their result type (field_facts.cpp).
  void applyProperties(TableDef& t);

  std::string path_;
  std::unique_ptr<PageFile> file_;
  Format format_;
  unsigned codePage_ = 1252;
  std::string storedPassword_;
  bool catalogRead_ = false;
  std::vector<CatalogEntry> catalog_;
  std::unordered_map<std::uint32_t, std::shared_ptr<const TableDef>> tableDefs_;
  bool complexRead_ = false;
  std::string complexError_;  // why MSysComplexColumns could not be read
  struct ComplexColumn {
    std::string columnName;
    std::int32_t complexId = 0;
    std::uint32_t conceptualTable = 0;
    std::uint32_t flatTable = 0;
  };
  std::vector<ComplexColumn> complexColumns_;
};

// A Date/Time Extended value (42 ASCII bytes: 19 digits of days since 0001-01-01, ':', 19
// digits of 100 ns ticks into the day, ':', a precision digit, NUL) as an
// ExtendedDateTime, exactly; text that is not in that form (or outside the years 1-9999)
// is kept as it is.
Value decodeDateTimeExtended(std::span<const std::uint8_t> bytes);

// Splits "SELECT * FROM `name`" (keywords without regard to case; the name in backquotes
// or square brackets); nullopt for any other text.
std::optional<std::string> parseSelectAll(const std::string& source);

}  // namespace tw::jet
