#include "platform/vfp/provider.h"
#include "platform/ado_types.h"

#include "platform/case_rules.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/folder_catalog.h"
#include "platform/vfp/table_reader.h"

namespace tw::vfp {

namespace {

std::shared_ptr<FileSystem> defaultFileSystem() {
  static std::shared_ptr<FileSystem> fs = makeRealFileSystem(true);
  return fs;
}

// The tables listing: a failure waits behind the row of each damaged table and is thrown
// by the fetch that follows it.
class TableListing : public data::RowSource {
 public:
  explicit TableListing(std::vector<ListedTable> tables) : tables_(std::move(tables)) {
    std::vector<data::SchemaTable> rows;
    for (const auto& t : tables_) rows.push_back({t.name, "TABLE"});
    schema_ = data::makeTablesSchema(std::move(rows));
  }
  const std::vector<data::FieldInfo>& fields() const override { return schema_->fields(); }
  std::int64_t rowCount() override { return schema_->rowCount(); }
  bool next(std::vector<Value>& row) override {
    if (!pending_.empty()) {
      std::string problem = std::move(pending_);
      pending_.clear();
      throw data::Failure(problem);
    }
    if (!schema_->next(row)) return false;
    pending_ = tables_[delivered_++].problem;
    return true;
  }

 private:
  std::vector<ListedTable> tables_;
  std::unique_ptr<data::RowSource> schema_;
  std::size_t delivered_ = 0;
  std::string pending_;
};

// ADO's type code for a FoxPro field type, as the VFP provider reports it.
std::int16_t adoType(char type) {
  switch (type) {
    case 'C': return ado::kChar;
    case 'N':
    case 'F': return ado::kNumeric;
    case 'I': return ado::kInteger;
    case 'B': return ado::kDouble;
    case 'Y': return ado::kCurrency;
    case 'D': return ado::kDBDate;
    case 'T': return ado::kDBTimeStamp;
    case 'L': return ado::kBoolean;
    case 'M': return ado::kLongVarChar;
    case 'V': return ado::kVarChar;
    case 'Q': return ado::kVarBinary;
    case 'W':
    case 'G': return ado::kLongVarBinary;
    default: return ado::kBinary;
  }
}

class TableRows : public data::RowSource {
 public:
  // `longNames`: the UTF-8 names the columns go by when they differ from the .dbf's own.
  TableRows(std::unique_ptr<TableReader> reader, const std::vector<std::string>& longNames)
      : reader_(std::move(reader)) {
    const auto& layoutFields = reader_->header().layout.fields;
    for (std::size_t i = 0; i < layoutFields.size(); ++i) {
      const FieldDef& f = layoutFields[i];
      data::FieldInfo info;
      info.name = i < longNames.size() ? lowerCase(longNames[i]) : fromName(f.name, reader_->codePage());
      info.type = adoType(f.type);
      info.precision = f.type == 'N' || f.type == 'F' ? f.width : 0;
      info.scale = f.type == 'N' || f.type == 'F' ? f.decimals : 0;
      fields_.push_back(info);
    }
  }
  const std::vector<data::FieldInfo>& fields() const override { return fields_; }
  std::int64_t rowCount() override { return count_; }
  bool next(std::vector<Value>& row) override {
    try {
      return reader_->next(row);
    } catch (const CorruptTable& e) {
      throw data::Failure("Table has become corrupted: " + std::string(e.what()) + ".");
    }
  }
  void setCount(std::int64_t n) { count_ = n; }

 private:
  // Field names are stored in the table's code page and in upper case; record sets give
  // them as UTF-8 in lower case, as the FoxPro provider does.
  static std::string fromName(const std::string& stored, const CodePage& codePage) {
    return lowerCase(codePage.decode(stored));
  }
  std::unique_ptr<TableReader> reader_;
  std::vector<data::FieldInfo> fields_;
  std::int64_t count_ = 0;
};

class FoxProSession : public data::Session {
 public:
  FoxProSession(std::shared_ptr<FileSystem> fs, std::unique_ptr<Catalog> catalog, const CodePage& codePage)
      : engine_(std::move(fs), std::move(catalog), codePage) {}

  int codePage() const override { return engine_.codePage().number(); }
  int nameCodePage() const override {
    const CodePage* names = engine_.catalog().nameCodePage();
    return names ? names->number() : 0;
  }

  std::vector<std::string> takeNotices() override {
    std::vector<std::string> notices;
    for (const ChangedValues& c : engine_.takeChangedValues())
      notices.push_back(ChangedValuesNotice(c.table, c.values, c.codePage));
    return notices;
  }

  void execute(const std::string& statement) override { engine_.execute(statement); }
  // Writes the rows still in memory out, so that a failure there is reported.
  void close() override { engine_.flush(); }

  std::unique_ptr<data::RowSource> openSchema(int schema) override {
    if (schema != data::kSchemaTables)
      throw data::Failure("The FoxPro provider does not support schema " + std::to_string(schema) + ".");
    return std::make_unique<TableListing>(engine_.listTables());
  }

  std::unique_ptr<data::RowSource> openRowset(const std::string& source) override {
    engine_.flush();
    std::string_view s = source;
    auto trim = [](std::string_view v) {
      while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == ';')) v.remove_suffix(1);
      return v;
    };
    s = trim(s);
    constexpr std::string_view prefix = "select * from ";
    if (s.size() <= prefix.size() || !startsWithIgnoringAsciiCase(s, prefix))
      throw data::Failure("SQLException: Syntax error.");
    std::string_view name = trim(s.substr(prefix.size()));
    if (name.size() >= 2 &&
        ((name.front() == '`' && name.back() == '`') || (name.front() == '"' && name.back() == '"') ||
         (name.front() == '[' && name.back() == ']') || (name.front() == '\'' && name.back() == '\'')))
      name = name.substr(1, name.size() - 2);
    TableLocation at = engine_.locate(name);
    try {
      // Count the live records first, so the record set knows its size.
      std::int64_t count = 0;
      {
        TableReader counter(engine_.fileSystem(), at.dbfPath, at.fptPath, engine_.codePage());
        std::vector<Value> row;
        try {
          while (counter.next(row)) ++count;
        } catch (const CorruptTable&) {
        }
      }
      auto rows = std::make_unique<TableRows>(
          std::make_unique<TableReader>(engine_.fileSystem(), at.dbfPath, at.fptPath, engine_.codePage()),
          at.columnNames);
      rows->setCount(count);
      return rows;
    } catch (const CorruptTable& e) {
      throw data::Failure("SQLException: Table \"" + at.file + "\" has become corrupted: " + e.what() + ".");
    }
  }

 private:
  Engine engine_;
};

}  // namespace

std::string ChangedValuesNotice(const std::string& table, std::size_t values, int codePage) {
  return "Table " + table + ": " + std::to_string(values) + (values == 1 ? " value" : " values") +
         " held characters that code page " + std::to_string(codePage) +
         " cannot hold; they were stored with \"?\" in their place.";
}

FoxProProvider::FoxProProvider(std::shared_ptr<FileSystem> fs, const CodePage& codePage)
    : fs_(fs ? std::move(fs) : defaultFileSystem()), codePage_(&codePage) {}

std::unique_ptr<data::Session> FoxProProvider::open(const data::ConnectionString& connection,
                                                    const data::ConnectionSettings&) {
  std::string folder = connection.get("Data Source");
  if (folder.empty())
    throw data::Failure("Cannot open the FoxPro tables: the connection string names no Data Source.");
  std::unique_ptr<Catalog> catalog;
  // A database container keeps its names in its own code page (a container without a mark
  // in the provider's); its new tables are written in the provider's, as free tables are.
  if (endsWithIgnoringAsciiCase(folder, ".dbc")) {
    catalog = std::make_unique<ContainerCatalog>(fs_, folder, *codePage_);
  } else {
    if (!fs_->isDirectory(folder)) {
      if (fs_->exists(folder))
        throw data::Failure("Cannot open the FoxPro folder \"" + folder + "\": it is not a folder.");
      throw data::Failure("Cannot open the FoxPro folder \"" + folder + "\": it does not exist.");
    }
    catalog = std::make_unique<FolderCatalog>(fs_, folder);
  }
  collatingSequence_ = connection.get("Collating Sequence", "machine");
  return std::make_unique<FoxProSession>(fs_, std::move(catalog), *codePage_);
}

}  // namespace tw::vfp

namespace tw::data {
void registerFoxProProvider(DataAccess& dataAccess, const CodePage& codePage) {
  dataAccess.registerProvider(vfp::kFoxProProviderName, std::make_shared<vfp::FoxProProvider>(nullptr, codePage));
}
}  // namespace tw::data
