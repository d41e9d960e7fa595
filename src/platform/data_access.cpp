#include "platform/data_access.h"

#include <algorithm>
#include <exception>

namespace tw::data {

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

namespace {
std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
}  // namespace

ConnectionString::ConnectionString(std::string_view text) : text_(text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(start, end - start);
    if (!trimBlanks(pair).empty()) {
      std::size_t eq = pair.find('=');
      std::string_view key = trimBlanks(pair.substr(0, eq));
      std::string_view value = eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1);
      values_[asciiLower(key)] = std::string(value);
    }
    start = end + 1;
  }
}

bool ConnectionString::has(std::string_view key) const {
  return values_.count(asciiLower(trimBlanks(key))) != 0;
}

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

std::unique_ptr<RowSource> makeRowSource(std::vector<FieldInfo> fields,
                                         std::vector<std::vector<Value>> rows) {
  return std::make_unique<MemoryRowSource>(std::move(fields), std::move(rows));
}

std::unique_ptr<RowSource> makeTablesSchema(std::vector<SchemaTable> tables) {
  // ADO type codes: adVarWChar 202, adGUID 72, adUnsignedInt 19, adDate 7.
  std::vector<FieldInfo> fields = {
      {"TABLE_CATALOG", 202}, {"TABLE_SCHEMA", 202}, {"TABLE_NAME", 202},
      {"TABLE_TYPE", 202},    {"TABLE_GUID", 72},    {"DESCRIPTION", 202},
      {"TABLE_PROPID", 19},   {"DATE_CREATED", 7},   {"DATE_MODIFIED", 7}};
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

// ---------------------------------------------------------------------------------------

void Connection::Open(const std::string& connectionString) {
  if (session_) throw Failure(kErrObjectOpen, "Operation is not allowed when the object is open.");
  ConnectionString parsed(connectionString);
  std::string providerName = parsed.get("Provider");
  std::shared_ptr<Provider> provider = owner_->findProvider(providerName);
  if (!provider)
    throw Failure(kErrProviderNotFound, "Provider cannot be found. It may not be properly installed.");
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
  if (!connection.session())
    throw Failure(kErrObjectClosed, "Operation is not allowed when the object is closed.");
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
    throw Failure(kErrItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
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
    if (equalsIgnoreCase(fields[i].name, name)) return value(static_cast<int>(i));
  throw Failure(kErrItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
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
  if (!equalsIgnoreCase(className, kConnectionClass)) throw Failure(kErrInvalidClass, "Invalid class string");
  return std::make_unique<Connection>(*this);
}

std::unique_ptr<Recordset> DataAccess::createRecordset(std::string_view className) const {
  requireLayer();
  if (!equalsIgnoreCase(className, kRecordsetClass)) throw Failure(kErrInvalidClass, "Invalid class string");
  return std::make_unique<Recordset>();
}

}  // namespace tw::data
