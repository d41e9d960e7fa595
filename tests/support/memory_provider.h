// An in-memory data-access provider for tests: databases held as plain tables, a log of
// every executed statement, and a hook that can refuse a statement with a failure.
//
// Register it with `DataAccess::registerProvider(kMemoryProviderName, provider)` and open
// "Provider=Tablewright.Memory;Data Source=NAME" where NAME is a database added with
// `addDatabase`. Record sets accept exactly "SELECT * FROM `table`" (name matched without
// regard to case); OpenSchema(20) lists the tables in the order they were added, and
// OpenSchema(12), (28) and (27) the database's indexes and relationships as given.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data_access.h"

namespace tw::data {

inline constexpr const char* kMemoryProviderName = "Tablewright.Memory";

struct MemoryTable {
  std::string name;
  std::string type = "TABLE";
  std::vector<FieldInfo> fields;
  std::vector<std::vector<Value>> rows;
};

struct MemoryDatabase {
  std::vector<MemoryTable> tables;
  std::vector<SchemaIndexColumn> indexes;
  std::vector<SchemaForeignKeyColumn> foreignKeys;
  // Every statement passed to Execute, in order, whether it was accepted or not.
  std::vector<std::string> executed;
  // Called for every statement before it is logged as accepted; throw Failure to refuse it.
  std::function<void(const std::string&)> onExecute;
  // Connection settings seen at the last Open.
  ConnectionSettings lastSettings;
  std::string lastConnectionString;
  int openSessions = 0;
};

class MemoryProvider : public Provider {
 public:
  // Adds or replaces the database named `name`; returns it for further set-up.
  MemoryDatabase& addDatabase(const std::string& name, MemoryDatabase database = {});
  MemoryDatabase* database(const std::string& name);

  std::unique_ptr<Session> open(const ConnectionString& connection, const ConnectionSettings& settings) override;

 private:
  std::map<std::string, std::shared_ptr<MemoryDatabase>> databases_;
};

}  // namespace tw::data
