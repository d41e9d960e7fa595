#include "platform/jet/provider.h"

#include <algorithm>

#include "platform/case_rules.h"
#include "platform/jet/field_facts.h"
#include "platform/jet/key_schema.h"
#include "platform/jet/reader.h"

namespace tw::jet {

using tw::data::Failure;

namespace {

// The schema type of a catalog object, or empty for objects that are not tables.
std::string schemaType(const CatalogEntry& e) {
  switch (e.type) {
    case kObjectTable:
      if ((e.flags & kObjectSystemFlags) != 0 || startsWithIgnoringCase(e.name, "MSys") ||
          startsWithIgnoringCase(e.name, "~"))
        return "SYSTEM TABLE";
      return "TABLE";
    case kObjectQuery: return "VIEW";
    case kObjectAccessLink: return "LINK";
    case kObjectOdbcLink: return e.hasConnect ? "PASS-THROUGH" : "";
    default: return "";
  }
}

class TableRows : public tw::data::RowSource {
 public:
  TableRows(std::shared_ptr<Database> db, std::shared_ptr<const TableDef> def)
      : db_(std::move(db)), cursor_(*db_, def) {
    // Complex columns report as attachments (bytes) or joined multi-values (text); which
    // one needs the flat table, so look at MSysComplexColumns' flat table columns.
    for (const ColumnDef& c : def->columns) {
      bool attachment = false;
      if (c.type == kTypeComplex) {
        try {
          if (auto flat = db_->flatTableFor(def->tdefPage, c.complexId, c.name)) {
            auto fdef = db_->readTableDef(*flat, def->name + "." + c.name);
            for (const ColumnDef& fc : fdef->columns)
              if (fc.name == "FileData") attachment = true;
          }
        } catch (const Failure&) {
        }
      }
      fields_.push_back(fieldInfoFor(c, attachment, db_->format()));
    }
    fitCalculatedDecimals(*db_, def, fields_);
  }
  const std::vector<tw::data::FieldInfo>& fields() const override { return fields_; }
  std::int64_t rowCount() override {
    if (count_ < 0) count_ = cursor_.countRows();
    return count_;
  }
  bool next(std::vector<Value>& row) override { return cursor_.next(row); }

 private:
  std::shared_ptr<Database> db_;
  TableCursor cursor_;
  std::vector<tw::data::FieldInfo> fields_;
  std::int64_t count_ = -1;
};

class AccessSession : public tw::data::Session {
 public:
  explicit AccessSession(std::shared_ptr<Database> db) : db_(std::move(db)) {}

  void execute(const std::string&) override {
    throw Failure("The database '" + db_->path() + "' is opened read-only; statements cannot be executed on it.");
  }

  std::unique_ptr<tw::data::RowSource> openSchema(int schema) override {
    std::vector<tw::data::SchemaTable> tables;
    for (const CatalogEntry& e : db_->catalog()) {
      std::string type = schemaType(e);
      if (!type.empty()) tables.push_back({e.name, type});
    }
    std::stable_sort(tables.begin(), tables.end(),
                     [](const auto& a, const auto& b) { return compareIgnoringCase(a.name, b.name) < 0; });
    if (schema == tw::data::kSchemaTables) return tw::data::makeTablesSchema(std::move(tables));
    // Keys and relationships of the user tables.
    std::vector<std::string> userTables;
    for (const auto& t : tables)
      if (t.type == "TABLE") userTables.push_back(t.name);
    if (schema == tw::data::kSchemaIndexes) return tw::data::makeIndexesSchema(indexSchemaColumns(*db_, userTables));
    if (schema == tw::data::kSchemaPrimaryKeys)
      return tw::data::makePrimaryKeysSchema(indexSchemaColumns(*db_, userTables));
    if (schema == tw::data::kSchemaForeignKeys)
      return tw::data::makeForeignKeysSchema(foreignKeySchemaColumns(*db_, userTables));
    throw Failure("Object or provider is not capable of performing requested operation.");
  }

  std::unique_ptr<tw::data::RowSource> openRowset(const std::string& source) override {
    std::optional<std::string> name = parseSelectAll(source);
    if (!name) throw Failure("Syntax error in query. Only SELECT * FROM `table` is supported.");
    const CatalogEntry* e = db_->findTable(*name);
    if (!e) {
      for (const CatalogEntry& o : db_->catalog()) {
        if (!equalsIgnoringCase(o.name, *name)) continue;
        if (o.type == kObjectQuery)
          throw Failure("The query '" + o.name + "' cannot be run: this provider reads tables only.");
        if (o.type == kObjectAccessLink || (o.type == kObjectOdbcLink && o.hasConnect))
          throw Failure("The linked table '" + o.name + "' cannot be read: its data lives in another database.");
      }
      throw Failure("The Microsoft Access database engine cannot find the input table or query '" + *name + "'.");
    }
    auto def = db_->readTableDef(e->tdefPage(), e->name);
    return std::make_unique<TableRows>(db_, def);
  }

 private:
  std::shared_ptr<Database> db_;
};

class AccessProvider : public tw::data::Provider {
 public:
  std::unique_ptr<tw::data::Session> open(const tw::data::ConnectionString& connection,
                                          const tw::data::ConnectionSettings&) override {
    std::string path = connection.get("Data Source");
    std::string password = connection.get("Jet OLEDB:Database Password");
    std::shared_ptr<Database> db = Database::open(path, password);
    // Reading the catalog at once makes a damaged file fail at Open, as Access does.
    db->catalog();
    return std::make_unique<AccessSession>(std::move(db));
  }
};

}  // namespace

std::shared_ptr<tw::data::Provider> makeAccessProvider() { return std::make_shared<AccessProvider>(); }

void registerAccessProviders(tw::data::DataAccess& dataAccess) {
  auto provider = makeAccessProvider();
  dataAccess.registerProvider(kJetProviderName, provider);
  dataAccess.registerProvider(kAceProviderName, provider);
}

}  // namespace tw::jet
