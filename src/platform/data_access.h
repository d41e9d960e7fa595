// The data-access layer: connections and record sets in the shape of ADO, over providers
// that register under the "Provider=" value of a connection string.
//
// Callers create objects by class name ("ADODB.Connection", "ADODB.RecordSet") through a
// `DataAccess` instance, set connection properties, Open with a connection string, Execute
// statements, ask for the table schema with OpenSchema(20), and walk record sets with
// Eof/Bof/RecordCount/MoveNext, reading fields by position (name, ADO type code, precision,
// scale, value) or by name. Every failing operation throws `Failure`, which carries an error
// number and the description the provider gave.
//
// Providers implement `Provider`, `Session` and `RowSource` (below). The Access reader, the
// FoxPro engine and the in-memory test provider (tests/support/memory_provider.h) all plug
// in that way, so callers never see which one serves them. Everything here runs on one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value.h"

namespace tw::data {

// Error numbers the callers rely on (ADO's own values).
inline constexpr std::int32_t kErrGeneric = static_cast<std::int32_t>(0x80004005);
inline constexpr std::int32_t kErrProviderNotFound = 3706;
inline constexpr std::int32_t kErrObjectClosed = 3704;
inline constexpr std::int32_t kErrObjectOpen = 3705;
inline constexpr std::int32_t kErrNoCurrentRecord = 3021;
inline constexpr std::int32_t kErrItemNotFound = 3265;
inline constexpr std::int32_t kErrInvalidClass = static_cast<std::int32_t>(0x800401F3);
// This program's own number for a failure after which a table takes no more rows (it is
// in use by another writer, cannot be written, its disk is full, it reached its size
// limit): every later row would fail the same way, so callers leave the table's remaining
// rows out instead of trying each one.
inline constexpr std::int32_t kErrTableUnusable = static_cast<std::int32_t>(0x80047701);

inline constexpr std::string_view kConnectionClass = "ADODB.Connection";
inline constexpr std::string_view kRecordsetClass = "ADODB.RecordSet";
inline constexpr int kSchemaTables = 20;
// The index, primary-key and foreign-key schema rowsets (ADO's SchemaEnum values), with
// ADO's column names; see makeIndexesSchema and the two below it.
inline constexpr int kSchemaIndexes = 12;
inline constexpr int kSchemaForeignKeys = 27;
inline constexpr int kSchemaPrimaryKeys = 28;

// ADO's FieldAttributeEnum flags that FieldInfo::attributes carries.
inline constexpr int kFldFixed = 0x10;       // adFldFixed: the field holds fixed-length data
inline constexpr int kFldIsNullable = 0x20;  // adFldIsNullable: the field accepts nulls
inline constexpr int kFldLong = 0x80;        // adFldLong: a long binary or memo field

// A failed data-access operation: ADO's error number and the provider's description.
// Where the failing layer knows what the failure concerns, it names the table, the column
// and the row; the description then ends in " (table \"T\", column \"C\", row N)", after the
// provider's own text, which always comes first.
class Failure : public std::runtime_error {
 public:
  Failure(std::int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number), text_(description) {}
  explicit Failure(const std::string& description) : Failure(kErrGeneric, description) {}
  std::int32_t number() const { return number_; }
  std::string description() const { return text_; }
  const char* what() const noexcept override { return text_.c_str(); }
  // True when the table concerned takes no more rows (kErrTableUnusable).
  bool endsTable() const { return number_ == kErrTableUnusable; }

  const std::string& table() const { return table_; }
  const std::string& column() const { return column_; }
  std::int64_t row() const { return row_; }
  // Names the table (and column) concerned; the row is 1-based, 0 for none.
  Failure& concerning(std::string table, std::string column = {});
  Failure& atRow(std::int64_t row);
  // Rows of `table` that earlier statements had taken without a failure and that its file
  // does not keep, because the batch holding them could not be written (0: none). The
  // table may be another than the one the failing statement named.
  const std::string& lostFrom() const { return lostFrom_; }
  std::int64_t rowsLost() const { return rowsLost_; }
  Failure& losing(std::string table, std::int64_t rows) {
    lostFrom_ = std::move(table);
    rowsLost_ = rows;
    return *this;
  }

 private:
  void compose();
  std::int32_t number_;
  std::string text_;  // the description with its context
  std::string table_;
  std::string column_;
  std::int64_t row_ = 0;
  std::string lostFrom_;
  std::int64_t rowsLost_ = 0;
};

// One column of a record set. `type` is the ADO DataTypeEnum code (platform/ado_types.h);
// precision and scale are those ADO's Field reports (0 where the type has none).
// `definedSize` is ADO's DefinedSize: the declared characters of a text field, the bytes
// of a fixed binary one, 0 where the provider says nothing. `attributes` holds ADO's
// kFld* flags. `properties` holds what ADO offers as the field's Properties collection,
// by ADO's name: "ISAUTOINCREMENT" (a bool, true for an AutoNumber), and the Access field
// properties a provider knows ("Description", "Caption", "DefaultValue",
// "ValidationRule", "ValidationText", as text). Absent means unknown.
struct FieldInfo {
  std::string name;
  std::int16_t type = 0;
  int precision = 0;
  int scale = 0;
  std::int64_t definedSize = 0;
  int attributes = 0;
  std::map<std::string, Value> properties = {};
  friend bool operator==(const FieldInfo&, const FieldInfo&) = default;

  // The property `name` (compared as stored), or null when absent.
  const Value& property(const std::string& key) const {
    static const Value none;
    auto it = properties.find(key);
    return it == properties.end() ? none : it->second;
  }
  bool isAutoIncrement() const {
    const Value& v = property("ISAUTOINCREMENT");
    return v.is<bool>() && v.as<bool>();
  }
  bool isNullable() const { return (attributes & kFldIsNullable) != 0; }
};

// A connection string split the way OLE DB splits it: "key=value" pairs separated by ";",
// keys compared without regard to case and trimmed of blanks. A value may stand in double
// or single quotes, inside which ";" and "=" are plain characters and the quote itself is
// written twice; a value without quotes runs to the next ";" and is kept as written. A
// pair without "=" is kept with an empty value; a later key replaces an earlier one. A
// quote that is never closed, or text after a closing quote, fails with OLE DB's message.
class ConnectionString {
 public:
  ConnectionString() = default;
  explicit ConnectionString(std::string_view text);
  const std::string& text() const { return text_; }
  bool has(std::string_view key) const;
  // The value of `key`, or `fallback` when it is absent.
  std::string get(std::string_view key, std::string_view fallback = {}) const;

  // `value` as a connection string must hold it to read it back whole: unchanged when it
  // needs no quotes; else in double quotes, or in single quotes when it holds a double
  // quote but no single one, or in double quotes with every double quote doubled. Values
  // holding ";", "=", a quote, or blanks at either end need quotes.
  static std::string quoteValue(std::string_view value);

 private:
  std::string text_;
  std::map<std::string, std::string> values_;  // lower-cased key -> value
};

// Connection properties set before Open, handed to the provider as they stand.
struct ConnectionSettings {
  int cursorLocation = 2;      // 2 server-side, 3 client-side
  int mode = 0;                // 3 read and write
  int commandTimeout = 30;     // seconds
  int connectionTimeout = 15;  // seconds
};

// ---------------------------------------------------------------------------------------
// Provider side.

// A forward-only stream of rows with a fixed field list and an exact row count.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<FieldInfo>& fields() const = 0;
  // The exact number of rows `next` will deliver in all.
  virtual std::int64_t rowCount() = 0;
  // Fills `row` (one value per field) with the next row; false when there is none left.
  // A row that cannot be read (a damaged page, say) may be reported by throwing Failure:
  // the row counts as skipped, the record set moves on to the following row and then
  // passes the failure to its caller, so one bad row costs one report and reading goes on.
  virtual bool next(std::vector<Value>& row) = 0;
};

// An open provider connection.
class Session {
 public:
  virtual ~Session() = default;
  // Runs one statement; any result is discarded.
  virtual void execute(const std::string& statement) = 0;
  // A schema rowset; providers support at least kSchemaTables (fields TABLE_NAME and
  // TABLE_TYPE among others, see makeTablesSchema).
  virtual std::unique_ptr<RowSource> openSchema(int schema) = 0;
  // The rows of a record-set source text such as "SELECT * FROM `Orders`".
  virtual std::unique_ptr<RowSource> openRowset(const std::string& source) = 0;
  // Called by Connection::Close before the session is released: a provider that keeps
  // work pending (buffered rows) finishes it here and may throw Failure; the connection is
  // closed either way.
  virtual void close() {}
  // What the provider has to tell about the work since the last call that is not a
  // failure (values it had to change to store them, say), one text per table; none by
  // default.
  virtual std::vector<std::string> takeNotices() { return {}; }
  // The Windows code page new tables are written in; 0 when the provider names none.
  virtual int codePage() const { return 0; }
  // The Windows code page the target keeps table and column names in besides the tables
  // themselves (a database container's), which a new column's name must fit as well; 0
  // when there is none.
  virtual int nameCodePage() const { return 0; }
};

class Provider {
 public:
  virtual ~Provider() = default;
  // Opens a session for the connection string, or throws Failure.
  virtual std::unique_ptr<Session> open(const ConnectionString& connection, const ConnectionSettings& settings) = 0;
};

// A tables schema rowset with ADO's columns TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME,
// TABLE_TYPE, TABLE_GUID, DESCRIPTION, TABLE_PROPID, DATE_CREATED, DATE_MODIFIED; only the
// name and type are filled, the others are null. Rows come in the order given.
struct SchemaTable {
  std::string name;
  std::string type;  // "TABLE", "SYSTEM TABLE", "VIEW", "LINK", "PASS-THROUGH", ...
};
std::unique_ptr<RowSource> makeTablesSchema(std::vector<SchemaTable> tables);

// One column of one index, as the indexes schema rowset (kSchemaIndexes) lists it: ADO's
// columns TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, INDEX_CATALOG, INDEX_SCHEMA, INDEX_NAME,
// PRIMARY_KEY, UNIQUE, CLUSTERED, TYPE, FILL_FACTOR, INITIAL_SIZE, NULLS, SORT_BOOKMARKS,
// AUTO_UPDATE, NULL_COLLATION, ORDINAL_POSITION, COLUMN_NAME, COLUMN_GUID, COLUMN_PROPID,
// COLLATION, CARDINALITY, PAGES, FILTER_CONDITION, INTEGRATED. An index of n columns is n
// rows, ORDINAL_POSITION 1 to n.
struct SchemaIndexColumn {
  std::string table;
  std::string index;
  bool primaryKey = false;
  bool unique = false;
  // NULLS: 1 nulls disallowed (DBPROPVAL_IN_DISALLOWNULL), 2 nulls ignored (the index
  // leaves out a row whose key is null, DBPROPVAL_IN_IGNORENULL), 4 a row with any null
  // key column left out (DBPROPVAL_IN_IGNOREANYNULL), 0 nulls allowed.
  int nulls = 0;
  int ordinal = 1;
  std::string column;
  int collation = 1;  // 1 ascending, 2 descending
};
inline constexpr int kIndexNullsDisallowed = 1;
inline constexpr int kIndexNullsIgnored = 2;
inline constexpr int kIndexNullsIgnoreAny = 4;
std::unique_ptr<RowSource> makeIndexesSchema(std::vector<SchemaIndexColumn> columns);

// The primary keys schema rowset (kSchemaPrimaryKeys), taken from the primary-key rows of
// an indexes list: TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, COLUMN_NAME, COLUMN_GUID,
// COLUMN_PROPID, ORDINAL, PK_NAME.
std::unique_ptr<RowSource> makePrimaryKeysSchema(const std::vector<SchemaIndexColumn>& columns);

// One column pair of one relationship, as the foreign keys schema rowset
// (kSchemaForeignKeys) lists it: PK_TABLE_CATALOG, PK_TABLE_SCHEMA, PK_TABLE_NAME,
// PK_COLUMN_NAME, PK_COLUMN_GUID, PK_COLUMN_PROPID, FK_TABLE_CATALOG, FK_TABLE_SCHEMA,
// FK_TABLE_NAME, FK_COLUMN_NAME, FK_COLUMN_GUID, FK_COLUMN_PROPID, ORDINAL, UPDATE_RULE,
// DELETE_RULE, PK_NAME, FK_NAME, DEFERRABILITY. The rules are "CASCADE", "SET NULL" or
// "NO ACTION"; ORDINAL counts the pairs of one relationship from 1.
struct SchemaForeignKeyColumn {
  std::string pkTable;
  std::string pkColumn;
  std::string fkTable;
  std::string fkColumn;
  int ordinal = 1;
  std::string updateRule = "NO ACTION";
  std::string deleteRule = "NO ACTION";
  std::string pkName;
  std::string fkName;
};
std::unique_ptr<RowSource> makeForeignKeysSchema(std::vector<SchemaForeignKeyColumn> columns);

// A RowSource over rows held in memory.
std::unique_ptr<RowSource> makeRowSource(std::vector<FieldInfo> fields, std::vector<std::vector<Value>> rows);

// ---------------------------------------------------------------------------------------
// Caller side.

class DataAccess;
class Recordset;

class Connection {
 public:
  explicit Connection(const DataAccess& owner) : owner_(&owner) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void setCursorLocation(int value) { settings_.cursorLocation = value; }
  void setMode(int value) { settings_.mode = value; }
  void setCommandTimeout(int value) { settings_.commandTimeout = value; }
  void setConnectionTimeout(int value) { settings_.connectionTimeout = value; }
  const ConnectionSettings& settings() const { return settings_; }

  // Opens the provider named by "Provider=" (case-insensitive). Fails with 3706 when no such
  // provider is registered, 3705 when already open, or with the provider's own failure.
  void Open(const std::string& connectionString);
  void Execute(const std::string& statement);
  std::unique_ptr<Recordset> OpenSchema(int schema);
  // Closing a connection that is not open fails with 3704, as in ADO.
  void Close();
  bool isOpen() const { return session_ != nullptr; }
  const std::string& connectionString() const { return connectionString_; }
  // The provider session, for callers that need provider-specific access; null when closed.
  Session* session() const { return session_.get(); }
  // The session's code page (Session::codePage); 0 when the connection is closed.
  int codePage() const { return session_ ? session_->codePage() : 0; }
  // The session's name code page (Session::nameCodePage); 0 when the connection is closed.
  int nameCodePage() const { return session_ ? session_->nameCodePage() : 0; }
  // The session's notices (Session::takeNotices); none when the connection is closed.
  std::vector<std::string> takeNotices() { return session_ ? session_->takeNotices() : std::vector<std::string>{}; }

 private:
  Session& openSession(const char* operation) const;

  const DataAccess* owner_;
  ConnectionSettings settings_;
  std::string connectionString_;
  std::unique_ptr<Session> session_;
};

class Recordset {
 public:
  Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens the source text on an open connection and moves to the first row. When the
  // first rows cannot be read the record set is open all the same, positioned on the first
  // readable row, and the failure is passed on.
  void Open(const std::string& source, Connection& connection);
  // Takes over a row source (used by OpenSchema and by providers' tests).
  void openFrom(std::unique_ptr<RowSource> source);
  void Close();
  bool isOpen() const { return source_ != nullptr; }

  bool Eof() const;
  bool Bof() const;
  std::int64_t RecordCount() const;
  void MoveNext();

  int fieldCount() const;
  const FieldInfo& field(int index) const;
  // The value of a field of the current row, by position or by name (case-insensitive).
  // Fails with 3021 at EOF/BOF and 3265 for an unknown name or position.
  const Value& value(int index) const;
  const Value& value(std::string_view name) const;
  const std::vector<Value>& row() const;

 private:
  void requireOpen() const;
  void requireRow() const;
  // Moves to the next readable row; rethrows the first failure met on the way.
  void advance();

  std::unique_ptr<RowSource> source_;
  std::vector<Value> row_;
  std::int64_t count_ = 0;
  std::int64_t position_ = 0;  // 0-based index of the current row; == count_ at EOF
  bool atEnd_ = true;
};

// The object factory and provider registry: what "installed data-access layer" means here.
class DataAccess {
 public:
  // Registers a provider under a name such as "Microsoft.Jet.OLEDB.4.0" (case-insensitive).
  void registerProvider(std::string name, std::shared_ptr<Provider> provider);
  std::shared_ptr<Provider> findProvider(std::string_view name) const;
  bool hasProviders() const { return !providers_.empty(); }

  // Creates objects by class name. With no provider registered at all, the layer counts as
  // missing and creation fails with 3706; an unknown class name fails with "Invalid class
  // string".
  std::unique_ptr<Connection> createConnection(std::string_view className = kConnectionClass) const;
  std::unique_ptr<Recordset> createRecordset(std::string_view className = kRecordsetClass) const;

 private:
  void requireLayer() const;
  std::map<std::string, std::shared_ptr<Provider>> providers_;  // lower-cased name
};

}  // namespace tw::data
