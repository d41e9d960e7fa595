#include "support/memory_provider.h"

#include "platform/case_rules.h"

namespace tw::data {

namespace {

class MemorySession : public Session {
 public:
  explicit MemorySession(std::shared_ptr<MemoryDatabase> db) : db_(std::move(db)) { ++db_->openSessions; }
  ~MemorySession() override { --db_->openSessions; }

  void execute(const std::string& statement) override {
    db_->executed.push_back(statement);
    if (db_->onExecute) db_->onExecute(statement);
  }

  std::unique_ptr<RowSource> openSchema(int schema) override {
    if (schema == kSchemaIndexes) return makeIndexesSchema(db_->indexes);
    if (schema == kSchemaPrimaryKeys) return makePrimaryKeysSchema(db_->indexes);
    if (schema == kSchemaForeignKeys) return makeForeignKeysSchema(db_->foreignKeys);
    if (schema != kSchemaTables)
      throw Failure("Object or provider is not capable of performing requested operation.");
    std::vector<SchemaTable> tables;
    for (const auto& t : db_->tables) tables.push_back({t.name, t.type});
    return makeTablesSchema(std::move(tables));
  }

  std::unique_ptr<RowSource> openRowset(const std::string& source) override {
    const std::string prefix = "SELECT * FROM `";
    if (source.size() > prefix.size() + 1 && source.compare(0, prefix.size(), prefix) == 0 && source.back() == '`') {
      std::string name = source.substr(prefix.size(), source.size() - prefix.size() - 1);
      for (const auto& t : db_->tables)
        if (equalsIgnoringCase(t.name, name)) return makeRowSource(t.fields, t.rows);
      throw Failure("The Microsoft Access database engine cannot find the input table or query '" + name + "'.");
    }
    throw Failure("Syntax error in query: " + source);
  }

 private:
  std::shared_ptr<MemoryDatabase> db_;
};

}  // namespace

MemoryDatabase& MemoryProvider::addDatabase(const std::string& name, MemoryDatabase database) {
  auto& slot = databases_[name];
  slot = std::make_shared<MemoryDatabase>(std::move(database));
  return *slot;
}

MemoryDatabase* MemoryProvider::database(const std::string& name) {
  auto it = databases_.find(name);
  return it == databases_.end() ? nullptr : it->second.get();
}

std::unique_ptr<Session> MemoryProvider::open(const ConnectionString& connection,
                                              const ConnectionSettings& settings) {
  auto it = databases_.find(connection.get("Data Source"));
  if (it == databases_.end()) throw Failure("Could not find database '" + connection.get("Data Source") + "'.");
  it->second->lastSettings = settings;
  it->second->lastConnectionString = connection.text();
  return std::make_unique<MemorySession>(it->second);
}

}  // namespace tw::data
