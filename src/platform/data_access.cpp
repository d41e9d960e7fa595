#include "platform/data_access.h"

#include <algorithm>
#include <exception>

#include "platform/ado_types.h"
#include "platform/case_rules.h"

namespace tw::data {

Failure& Failure::concerning(std::string table, std::string column) {
  table_ = std::move(table);
  column_ = std::move(column);
  compose();
  return *this;
}

Failure& Failure::atRow(std::int64_t row) {
  row_ = row;
  compose();
  return *this;
}

void Failure::compose() {
  text_ = std::runtime_error::what();
  if (table_.empty() && column_.empty() && row_ <= 0) return;
  std::string context;
  auto add = [&](const std::string& part) { context += (context.empty() ? "" : ", ") + part; };
  if (!table_.empty()) add("table \"" + table_ + "\"");
  if (!column_.empty()) add("column \"" + column_ + "\"");
  if (row_ > 0) add("row " + std::to_string(row_));
  text_ += " (" + context + ")";
}

namespace {
std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
}  // namespace

ConnectionString::ConnectionString(std::string_view text) : text_(text) {
  // A quoted value must close its quote and end there: anything else would leave part of a
  // path or password to be read as another key.
  auto malformed = [](std::string_view key, const char* why) {
    throw Failure(kErrGeneric,
                  "The connection string is malformed: the value of \"" + std::string(key) + "\" " + why + ".");
  };
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of(";=", i);
    if (end == std::string_view::npos || text[end] == ';') {
      // A pair without "=": a key with an empty value (or nothing at all).
      if (end == std::string_view::npos) end = text.size();
      std::string_view key = trimBlanks(text.substr(i, end - i));
      if (!key.empty()) values_[asciiLower(key)].clear();
      i = end + 1;
      continue;
    }
    std::string_view key = trimBlanks(text.substr(i, end - i));
    i = end + 1;
    std::size_t first = i;
    while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
    std::string value;
    if (first < text.size() && (text[first] == '"' || text[first] == '\'')) {
      const char quote = text[first];
      std::size_t k = first + 1;
      for (;;) {
        if (k >= text.size()) malformed(key, "opens a quote that is never closed");
        if (text[k] == quote) {
          if (k + 1 < text.size() && text[k + 1] == quote) {
            value.push_back(quote);
            k += 2;
            continue;
          }
          ++k;
          break;
        }
        value.push_back(text[k++]);
      }
      while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
      if (k < text.size() && text[k] != ';') malformed(key, "goes on after its closing quote");
      i = k + 1;
    } else {
      std::size_t semi = text.find(';', i);
      if (semi == std::string_view::npos) semi = text.size();
      value = std::string(text.substr(i, semi - i));
      i = semi + 1;
    }
    if (!key.empty()) values_[asciiLower(key)] = std::move(value);
  }
}

std::string ConnectionString::quoteValue(std::string_view value) {
  if (value.empty()) return {};
  const bool edgeBlank = value.front() == ' ' || value.front() == '\t' || value.back() == ' ' || value.back() == '\t';
  if (!edgeBlank && value.find_first_of(";=\"'") == std::string_view::npos) return std::string(value);
  const bool hasDouble = value.find('"') != std::string_view::npos;
  if (!hasDouble) return "\"" + std::string(value) + "\"";
  if (value.find('\'') == std::string_view::npos) return "'" + std::string(value) + "'";
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool ConnectionString::has(std::string_view key) const { return values_.count(asciiLower(trimBlanks(key))) != 0; }

std::string ConnectionString::get(std::string_view key, std::string_view fallback) const {
  auto it = values_.find(asciiLower(trimBlanks(key)));
  return it == values_.end() ? std::string(fallback) : it->second;
}

// ---------------------------------------------------------------------------------------

namespace {

class MemoryRowSource : public RowSource {
 public:
  MemoryRowSource(std::vector<FieldInfo> fields, std::vector<std::vector<Value>> rows)
      : fields_(std::move(fields)), rows_(std::move(rows)) {}
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  std::int64_t rowCount() override { return static_cast<std::int64_t>(rows_.size()); }
  bool next(std::vector<Value>& row) override {
    if (next_ >= rows_.size()) return false;
    row = std::move(rows_[next_++]);
    return true;
  }

 private:
  std::vector<FieldInfo> fields_;
  std::vector<std::vector<Value>> rows_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> makeRowSource(std::vector<FieldInfo> fields, std::vector<std::vector<Value>> rows) {
  return std::make_unique<MemoryRowSource>(std::move(fields), std::move(rows));
}

std::unique_ptr<RowSource> makeTablesSchema(std::vector<SchemaTable> tables) {
  std::vector<FieldInfo> fields = {
      {"TABLE_CATALOG", ado::kVarWChar},   {"TABLE_SCHEMA", ado::kVarWChar}, {"TABLE_NAME", ado::kVarWChar},
      {"TABLE_TYPE", ado::kVarWChar},      {"TABLE_GUID", ado::kGuid},       {"DESCRIPTION", ado::kVarWChar},
      {"TABLE_PROPID", ado::kUnsignedInt}, {"DATE_CREATED", ado::kDate},     {"DATE_MODIFIED", ado::kDate}};
  std::vector<std::vector<Value>> rows;
  rows.reserve(tables.size());
  for (auto& t : tables) {
    std::vector<Value> row(fields.size());
    row[2] = Value(std::move(t.name));
    row[3] = Value(std::move(t.type));
    rows.push_back(std::move(row));
  }
  return makeRowSource(std::move(fields), std::move(rows));
}

namespace {
// ADO's schema columns, all null but those a schema builder fills.
std::vector<FieldInfo> schemaFields(std::initializer_list<std::pair<const char*, std::int16_t>> columns) {
  std::vector<FieldInfo> fields;
  for (const auto& [name, type] : columns) fields.push_back({name, type});
  return fields;
}
}  // namespace

std::unique_ptr<RowSource> makeIndexesSchema(std::vector<SchemaIndexColumn> columns) {
  auto fields = schemaFields({{"TABLE_CATALOG", ado::kVarWChar},
                              {"TABLE_SCHEMA", ado::kVarWChar},
                              {"TABLE_NAME", ado::kVarWChar},
                              {"INDEX_CATALOG", ado::kVarWChar},
                              {"INDEX_SCHEMA", ado::kVarWChar},
                              {"INDEX_NAME", ado::kVarWChar},
                              {"PRIMARY_KEY", ado::kBoolean},
                              {"UNIQUE", ado::kBoolean},
                              {"CLUSTERED", ado::kBoolean},
                              {"TYPE", ado::kUnsignedSmallInt},
                              {"FILL_FACTOR", ado::kInteger},
                              {"INITIAL_SIZE", ado::kInteger},
                              {"NULLS", ado::kInteger},
                              {"SORT_BOOKMARKS", ado::kBoolean},
                              {"AUTO_UPDATE", ado::kBoolean},
                              {"NULL_COLLATION", ado::kInteger},
                              {"ORDINAL_POSITION", ado::kUnsignedInt},
                              {"COLUMN_NAME", ado::kVarWChar},
                              {"COLUMN_GUID", ado::kGuid},
                              {"COLUMN_PROPID", ado::kUnsignedInt},
                              {"COLLATION", ado::kSmallInt},
                              {"CARDINALITY", ado::kUnsignedBigInt},
                              {"PAGES", ado::kInteger},
                              {"FILTER_CONDITION", ado::kVarWChar},
                              {"INTEGRATED", ado::kBoolean}});
  std::vector<std::vector<Value>> rows;
  rows.reserve(columns.size());
  for (auto& c : columns) {
    std::vector<Value> row(fields.size());
    row[2] = Value(std::move(c.table));
    row[5] = Value(std::move(c.index));
    row[6] = Value(c.primaryKey);
    row[7] = Value(c.unique);
    row[12] = Value(c.nulls);
    row[16] = Value(c.ordinal);
    row[17] = Value(std::move(c.column));
    row[20] = Value(c.collation);
    rows.push_back(std::move(row));
  }
  return makeRowSource(std::move(fields), std::move(rows));
}

std::unique_ptr<RowSource> makePrimaryKeysSchema(const std::vector<SchemaIndexColumn>& columns) {
  auto fields = schemaFields({{"TABLE_CATALOG", ado::kVarWChar},
                              {"TABLE_SCHEMA", ado::kVarWChar},
                              {"TABLE_NAME", ado::kVarWChar},
                              {"COLUMN_NAME", ado::kVarWChar},
                              {"COLUMN_GUID", ado::kGuid},
                              {"COLUMN_PROPID", ado::kUnsignedInt},
                              {"ORDINAL", ado::kUnsignedInt},
                              {"PK_NAME", ado::kVarWChar}});
  std::vector<std::vector<Value>> rows;
  for (const auto& c : columns) {
    if (!c.primaryKey) continue;
    std::vector<Value> row(fields.size());
    row[2] = Value(c.table);
    row[3] = Value(c.column);
    row[6] = Value(c.ordinal);
    row[7] = Value(c.index);
    rows.push_back(std::move(row));
  }
  return makeRowSource(std::move(fields), std::move(rows));
}

std::unique_ptr<RowSource> makeForeignKeysSchema(std::vector<SchemaForeignKeyColumn> columns) {
  auto fields = schemaFields({{"PK_TABLE_CATALOG", ado::kVarWChar},
                              {"PK_TABLE_SCHEMA", ado::kVarWChar},
                              {"PK_TABLE_NAME", ado::kVarWChar},
                              {"PK_COLUMN_NAME", ado::kVarWChar},
                              {"PK_COLUMN_GUID", ado::kGuid},
                              {"PK_COLUMN_PROPID", ado::kUnsignedInt},
                              {"FK_TABLE_CATALOG", ado::kVarWChar},
                              {"FK_TABLE_SCHEMA", ado::kVarWChar},
                              {"FK_TABLE_NAME", ado::kVarWChar},
                              {"FK_COLUMN_NAME", ado::kVarWChar},
                              {"FK_COLUMN_GUID", ado::kGuid},
                              {"FK_COLUMN_PROPID", ado::kUnsignedInt},
                              {"ORDINAL", ado::kUnsignedInt},
                              {"UPDATE_RULE", ado::kVarWChar},
                              {"DELETE_RULE", ado::kVarWChar},
                              {"PK_NAME", ado::kVarWChar},
                              {"FK_NAME", ado::kVarWChar},
                              {"DEFERRABILITY", ado::kSmallInt}});
  std::vector<std::vector<Value>> rows;
  rows.reserve(columns.size());
  for (auto& c : columns) {
    std::vector<Value> row(fields.size());
    row[2] = Value(std::move(c.pkTable));
    row[3] = Value(std::move(c.pkColumn));
    row[8] = Value(std::move(c.fkTable));
    row[9] = Value(std::move(c.fkColumn));
    row[12] = Value(c.ordinal);
    row[13] = Value(std::move(c.updateRule));
    row[14] = Value(std::move(c.deleteRule));
    row[15] = Value(std::move(c.pkName));
    row[16] = Value(std::move(c.fkName));
    rows.push_back(std::move(row));
  }
  return makeRowSource(std::move(fields), std::move(rows));
}

// ---------------------------------------------------------------------------------------

void Connection::Open(const std::string& connectionString) {
  if (session_) throw Failure(kErrObjectOpen, "Operation is not allowed when the object is open.");
  ConnectionString parsed(connectionString);
  std::string providerName = parsed.get("Provider");
  std::shared_ptr<Provider> provider = owner_->findProvider(providerName);
  if (!provider) throw Failure(kErrProviderNotFound, "Provider cannot be found. It may not be properly installed.");
  session_ = provider->open(parsed, settings_);
  connectionString_ = connectionString;
}

Session& Connection::openSession(const char*) const {
  if (!session_) throw Failure(kErrObjectClosed, "Operation is not allowed when the object is closed.");
  return *session_;
}

void Connection::Execute(const std::string& statement) { openSession("Execute").execute(statement); }

std::unique_ptr<Recordset> Connection::OpenSchema(int schema) {
  auto rs = std::make_unique<Recordset>();
  rs->openFrom(openSession("OpenSchema").openSchema(schema));
  return rs;
}

void Connection::Close() {
  openSession("Close");
  std::unique_ptr<Session> session = std::move(session_);
  session->close();
}

// ---------------------------------------------------------------------------------------

void Recordset::Open(const std::string& source, Connection& connection) {
  if (source_) throw Failure(kErrObjectOpen, "Operation is not allowed when the object is open.");
  if (!connection.session()) throw Failure(kErrObjectClosed, "Operation is not allowed when the object is closed.");
  openFrom(connection.session()->openRowset(source));
}

void Recordset::openFrom(std::unique_ptr<RowSource> source) {
  if (source_) throw Failure(kErrObjectOpen, "Operation is not allowed when the object is open.");
  count_ = source->rowCount();
  row_.clear();
  position_ = 0;
  atEnd_ = false;
  source_ = std::move(source);
  advance();
}

void Recordset::advance() {
  // A source that keeps failing is given up on after this many rows in a row.
  constexpr int kMaxConsecutiveFailures = 100000;
  std::exception_ptr first;
  for (int failures = 0;; ++failures) {
    try {
      atEnd_ = !source_->next(row_);
      break;
    } catch (...) {
      if (!first) first = std::current_exception();
      if (failures >= kMaxConsecutiveFailures) {
        atEnd_ = true;
        break;
      }
    }
  }
  if (first) std::rethrow_exception(first);
}

void Recordset::Close() {
  requireOpen();
  source_.reset();
  row_.clear();
  atEnd_ = true;
}

void Recordset::requireOpen() const {
  if (!source_) throw Failure(kErrObjectClosed, "Operation is not allowed when the object is closed.");
}

void Recordset::requireRow() const {
  requireOpen();
  if (atEnd_)
    throw Failure(kErrNoCurrentRecord,
                  "Either BOF or EOF is True, or the current record has been deleted. "
                  "Requested operation requires a current record.");
}

bool Recordset::Eof() const {
  requireOpen();
  return atEnd_;
}

// A forward-only record set is before its first row only when it has no rows at all.
bool Recordset::Bof() const {
  requireOpen();
  return atEnd_ && position_ == 0;
}

std::int64_t Recordset::RecordCount() const {
  requireOpen();
  return count_;
}

void Recordset::MoveNext() {
  requireRow();
  ++position_;
  advance();
}

int Recordset::fieldCount() const {
  requireOpen();
  return static_cast<int>(source_->fields().size());
}

const FieldInfo& Recordset::field(int index) const {
  requireOpen();
  const auto& fields = source_->fields();
  if (index < 0 || index >= static_cast<int>(fields.size()))
    throw Failure(kErrItemNotFound,
                  "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  return fields[static_cast<std::size_t>(index)];
}

const Value& Recordset::value(int index) const {
  field(index);
  requireRow();
  return row_[static_cast<std::size_t>(index)];
}

const Value& Recordset::value(std::string_view name) const {
  requireOpen();
  const auto& fields = source_->fields();
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (equalsIgnoringCase(fields[i].name, name)) return value(static_cast<int>(i));
  throw Failure(kErrItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

const std::vector<Value>& Recordset::row() const {
  requireRow();
  return row_;
}

// ---------------------------------------------------------------------------------------

void DataAccess::registerProvider(std::string name, std::shared_ptr<Provider> provider) {
  providers_[asciiLower(name)] = std::move(provider);
}

std::shared_ptr<Provider> DataAccess::findProvider(std::string_view name) const {
  auto it = providers_.find(asciiLower(name));
  return it == providers_.end() ? nullptr : it->second;
}

void DataAccess::requireLayer() const {
  if (providers_.empty())
    throw Failure(kErrProviderNotFound, "Provider cannot be found. It may not be properly installed.");
}

std::unique_ptr<Connection> DataAccess::createConnection(std::string_view className) const {
  requireLayer();
  if (!equalsIgnoringAsciiCase(className, kConnectionClass)) throw Failure(kErrInvalidClass, "Invalid class string");
  return std::make_unique<Connection>(*this);
}

std::unique_ptr<Recordset> DataAccess::createRecordset(std::string_view className) const {
  requireLayer();
  if (!equalsIgnoringAsciiCase(className, kRecordsetClass)) throw Failure(kErrInvalidClass, "Invalid class string");
  return std::make_unique<Recordset>();
}

}  // namespace tw::data
