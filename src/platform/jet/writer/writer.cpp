#include "platform/jet/writer/writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/calendar.h"
#include "platform/case_rules.h"
#include "platform/jet/writer/format_encode.h"
#include "platform/jet/writer/index_encode.h"
#include "platform/utf8.h"

namespace tw::jet {

namespace {

using encode::ByteVector;

struct KindInfo {
  FieldKind kind;
  const char* name;
};

constexpr KindInfo kKinds[] = {
    {FieldKind::YesNo, "yesno"},
    {FieldKind::Byte, "byte"},
    {FieldKind::Integer, "integer"},
    {FieldKind::Long, "long"},
    {FieldKind::AutoNumber, "autonumber"},
    {FieldKind::Single, "single"},
    {FieldKind::Double, "double"},
    {FieldKind::Currency, "currency"},
    {FieldKind::DateTime, "datetime"},
    {FieldKind::Text, "text"},
    {FieldKind::Memo, "memo"},
    {FieldKind::Hyperlink, "hyperlink"},
    {FieldKind::Ole, "ole"},
    {FieldKind::ReplicationId, "guid"},
    {FieldKind::Decimal, "decimal"},
    {FieldKind::Binary, "binary"},
    {FieldKind::DateTimeExtended, "datetimeextended"},
};

// Values up to this many bytes stay in their row; longer ones go to long-value pages.
constexpr std::size_t kInlineLongValueLimit = 64;
// The largest part of a long value one LVAL row holds: the whole row (single) or the row
// less its 4-byte pointer to the next part (chain).
constexpr std::size_t kSingleLongValueLimit = encode::kMaxRowSize;
constexpr std::size_t kChainPartSize = encode::kMaxRowSize - 4;

// Catalog object ids and flags.
constexpr std::int32_t kTablesContainerId = 0x0F000001;
constexpr std::int32_t kDatabasesContainerId = 0x0F000002;
constexpr std::int32_t kRelationshipsContainerId = 0x0F000003;
constexpr std::int32_t kContainerParentId = 0x0F000000;
constexpr std::int32_t kMSysDbId = 0x10000000;
constexpr std::int32_t kSyntheticIdBase = 0x10000001;  // queries and links
constexpr std::int32_t kSystemObjectFlags = static_cast<std::int32_t>(0x80000000u);

// The longest property text Access keeps (a caption or a validation rule).
constexpr std::size_t kMaxPropertyText = 2048;
// The system tables' positions among the tables.
constexpr std::size_t kRelationshipsTable = 3;

// Access files stop at 2 GB.
constexpr std::uint32_t kMaxPages = 0x80000000u / encode::kPageSize;

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

// Access object and field names: 1..64 characters, no leading blank, no control
// characters and none of . ! ` [ ].
void checkName(const std::string& name, const std::string& what) {
  std::u16string units;
  if (!Utf8ToUtf16(name, units)) throw WriteError(what + " name is not valid UTF-8");
  if (units.empty()) throw WriteError(what + " name is empty");
  if (units.size() > 64) throw WriteError(what + " name " + inQuotes(name) + " is longer than 64 characters");
  if (units.front() == u' ') throw WriteError(what + " name " + inQuotes(name) + " starts with a blank");
  for (char16_t c : units) {
    if (c < 0x20 || c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']')
      throw WriteError(what + " name " + inQuotes(name) + " contains a character Access does not allow in names");
  }
}

struct Column {
  FieldDefinition def;
  encode::ColumnEntry entry;
  std::size_t fixedSize = 0;  // bytes in the fixed area (0 for Yes/No and variable columns)
  bool fixed = false;
  bool longValue = false;
};

struct Table {
  std::string name;
  bool system = false;
  std::vector<Column> columns;
  std::vector<encode::ColumnEntry> entries;
  std::size_t fixedSize = 0;
  std::uint16_t varCount = 0;
  std::vector<std::uint32_t> tdefPages;
  std::int32_t catalogId = 0;
  ByteVector properties;       // the LvProp blob of its catalog row; empty for none
  TableDefinition definition;  // fields and indexes as declared
  encode::TableIndexes indexes;

  std::unique_ptr<encode::DataPage> page;  // the data page being filled
  std::uint32_t pageNumber = 0;
  std::vector<std::uint32_t> dataPages;
  std::int64_t rows = 0;
  std::int64_t lastAutoNumber = 0;
  std::uint32_t usageMap = 0;
  std::uint32_t freeMap = 0;

  // Scratch space reused from row to row.
  std::vector<ByteVector> payloads;
  std::vector<encode::FieldBytes> fields;
  ByteVector row;
  std::u16string text;
};

struct CatalogObject {
  std::string name;
  ByteVector properties;
  std::int32_t id = 0;
  std::int32_t parentId = kTablesContainerId;
  int type = kObjectTable;
  std::int32_t flags = 0;
  std::string database;
  std::string connect;
  std::string foreignName;
};

}  // namespace

const char* fieldKindName(FieldKind kind) {
  for (const KindInfo& k : kKinds)
    if (k.kind == kind) return k.name;
  return "unknown";
}

bool fieldKindFromName(const std::string& name, FieldKind& kind) {
  for (const KindInfo& k : kKinds) {
    if (equalsIgnoringCase(name, k.name)) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

struct MdbWriter::Impl {
  std::string target;
  DatabaseSettings settings;
  std::u16string password;
  std::unique_ptr<QTemporaryFile> file;
  std::uint32_t nextPage = kFirstFreePage;
  std::uint32_t pageCount = kFirstFreePage;
  std::vector<std::unique_ptr<Table>> tables;  // 0..3 are the system tables
  std::vector<QueryDefinition> queries;
  std::vector<LinkDefinition> links;
  std::vector<std::string> objectNames;
  std::vector<std::string> relationshipNames;
  encode::DataPage lvalPage = encode::DataPage::longValuePage();
  std::uint32_t lvalPageNumber = 0;
  bool lvalOpen = false;
  bool finished = false;
  int queriesTable = 2;

  std::uint32_t allocatePage() {
    if (nextPage >= kMaxPages) throw WriteError("The database would grow beyond 2 GB, the limit of an Access file");
    return nextPage++;
  }

  void writePage(std::uint32_t number, const std::uint8_t* bytes) {
    const qint64 offset = static_cast<qint64>(number) * encode::kPageSize;
    if (file->pos() != offset && !file->seek(offset))
      throw WriteError("Cannot write to " + target + ": " + file->errorString().toStdString());
    if (file->write(reinterpret_cast<const char*>(bytes), encode::kPageSize) != encode::kPageSize)
      throw WriteError("Cannot write to " + target + ": " + file->errorString().toStdString());
    pageCount = std::max(pageCount, number + 1);
  }

  int createTable(const TableDefinition& def, bool system, std::uint32_t fixedTdefPage);
  // The pages of `t`'s definition: `fixedTdefPage` for a system table (which must fit
  // it), newly allocated ones otherwise.
  void allocateDefinitionPages(Table& t, std::uint32_t fixedTdefPage);
  void append(Table& t, const std::vector<Value>& row, std::int64_t rowNumber);
  void storeField(Table& t, Column& c, std::size_t index, const Value& v);
  void placeLongValue(Table& t, Column& c, std::size_t index, std::size_t fixedVarBytes);
  std::uint32_t addLongValueRow(std::span<const std::uint8_t> row);
  void flushDataPage(Table& t);
  void flushLongValuePage();
  void writeCatalog();
  // Usage-map rows go on pages of their own (owner 0), as Access keeps them: a page is
  // written when the next row does not fit, and the last one by closeMapPage.
  struct MapPage {
    encode::DataPage page{0};
    std::uint32_t number = 0;
    bool open = false;
  };
  std::uint32_t addMapRow(MapPage& m, const ByteVector& row);
  void closeMapPage(MapPage& m);
  void writeUsageMaps();
  // The empty root page of every index of `t` that has none yet, right away.
  void placeIndexRoots(Table& t);
  // The page usage map of every index.
  void writeIndexMaps();
  void writeTableDefinitions();
  void writeGlobalMap();
  void writeHeader();
};

namespace {

FieldDefinition field(const char* name, FieldKind kind, int size = 0) {
  FieldDefinition f;
  f.name = name;
  f.kind = kind;
  f.size = size;
  return f;
}

TableDefinition msysObjects() {
  return {"MSysObjects",
          {field("Id", FieldKind::Long), field("ParentId", FieldKind::Long), field("Name", FieldKind::Text, 255),
           field("Type", FieldKind::Integer), field("DateCreate", FieldKind::DateTime),
           field("DateUpdate", FieldKind::DateTime), field("Owner", FieldKind::Binary, 255),
           field("Flags", FieldKind::Long), field("Database", FieldKind::Memo), field("Connect", FieldKind::Memo),
           field("ForeignName", FieldKind::Text, 255), field("RmtInfoShort", FieldKind::Binary, 255),
           field("RmtInfoLong", FieldKind::Ole), field("Lv", FieldKind::Ole), field("LvProp", FieldKind::Ole),
           field("LvModule", FieldKind::Ole), field("LvExtra", FieldKind::Ole)}};
}

TableDefinition msysAces() {
  return {"MSysACEs",
          {field("ObjectId", FieldKind::Long), field("SID", FieldKind::Binary, 255), field("ACM", FieldKind::Long),
           field("FInheritable", FieldKind::YesNo)}};
}

TableDefinition msysQueries() {
  return {"MSysQueries",
          {field("ObjectId", FieldKind::Long), field("Attribute", FieldKind::Byte),
           field("Order", FieldKind::Binary, 255), field("Name1", FieldKind::Text, 255),
           field("Name2", FieldKind::Text, 255), field("Expression", FieldKind::Memo),
           field("Flag", FieldKind::Integer), field("LvExtra", FieldKind::Ole)}};
}

TableDefinition msysRelationships() {
  return {"MSysRelationships",
          {field("szRelationship", FieldKind::Text, 255), field("grbit", FieldKind::Long),
           field("ccolumn", FieldKind::Long), field("icolumn", FieldKind::Long),
           field("szObject", FieldKind::Text, 255), field("szColumn", FieldKind::Text, 255),
           field("szReferencedObject", FieldKind::Text, 255), field("szReferencedColumn", FieldKind::Text, 255)}};
}

std::uint8_t storedType(FieldKind k) {
  switch (k) {
    case FieldKind::YesNo: return kTypeBool;
    case FieldKind::Byte: return kTypeByte;
    case FieldKind::Integer: return kTypeInt;
    case FieldKind::Long:
    case FieldKind::AutoNumber: return kTypeLong;
    case FieldKind::Single: return kTypeFloat;
    case FieldKind::Double: return kTypeDouble;
    case FieldKind::Currency: return kTypeMoney;
    case FieldKind::DateTime: return kTypeDateTime;
    case FieldKind::Text: return kTypeText;
    case FieldKind::Memo:
    case FieldKind::Hyperlink: return kTypeMemo;
    case FieldKind::Ole: return kTypeOle;
    case FieldKind::ReplicationId: return kTypeGuid;
    case FieldKind::Decimal: return kTypeNumeric;
    case FieldKind::Binary: return kTypeBinary;
    case FieldKind::DateTimeExtended: return kTypeDateTimeExt;
  }
  return kTypeLong;
}

Version formatVersion(FileVersion v) {
  switch (v) {
    case FileVersion::Jet4: return Version::Jet4;
    case FileVersion::Ace12: return Version::Ace12;
    case FileVersion::Ace14: return Version::Ace14;
    case FileVersion::Ace15: return Version::Ace15;
    case FileVersion::Ace16: return Version::Ace16;
    case FileVersion::Ace17: return Version::Ace17;
  }
  return Version::Jet4;
}

// The kinds a calculated field may have as its result.
bool calculableKind(FieldKind k) {
  switch (k) {
    case FieldKind::YesNo:
    case FieldKind::Byte:
    case FieldKind::Integer:
    case FieldKind::Long:
    case FieldKind::Single:
    case FieldKind::Double:
    case FieldKind::Currency:
    case FieldKind::DateTime:
    case FieldKind::Text:
    case FieldKind::Memo:
    case FieldKind::ReplicationId:
    case FieldKind::Decimal: return true;
    default: return false;
  }
}

}  // namespace

namespace {

// The column for field `i` of `def`, checked against the other fields and the file's
// `version`; its place in the row is left to placeColumn.
Column describeColumn(const TableDefinition& def, std::size_t i, Version version) {
  const FieldDefinition& f = def.fields[i];
  const std::string where = "Field " + inQuotes(f.name) + " of table " + inQuotes(def.name);
  checkName(f.name, "Field");
  for (std::size_t j = 0; j < i; ++j)
    if (equalsIgnoringCase(def.fields[j].name, f.name))
      throw WriteError("Duplicate field name " + inQuotes(f.name) + " in table " + inQuotes(def.name));
  if (f.calculated && !calculableKind(f.kind))
    throw WriteError(where + ": a " + fieldKindName(f.kind) + " field cannot be calculated");
  if (f.calculated && version < Version::Ace14)
    throw WriteError(where + ": calculated fields need an Access 2010 (ace14) or later file");
  if (f.kind == FieldKind::DateTimeExtended && version < Version::Ace16)
    throw WriteError(where + ": Date/Time Extended fields need an Access 2016 (ace16) or later file");
  Column c;
  c.def = f;
  encode::ColumnEntry& e = c.entry;
  Utf8ToUtf16(f.name, e.name);
  e.type = storedType(f.kind);
  e.number = static_cast<std::uint16_t>(i);
  e.flags = kFlagNullable;
  switch (f.kind) {
    case FieldKind::Text:
      if (f.size < 1 || f.size > 255) throw WriteError(where + ": text size must be 1 to 255");
      e.length = static_cast<std::uint16_t>(2 * f.size);
      e.extFlags = kExtCompressedUnicode;
      break;
    case FieldKind::Binary:
      if (f.size < 1 || f.size > 255) throw WriteError(where + ": binary size must be 1 to 255");
      e.length = static_cast<std::uint16_t>(f.size);
      break;
    case FieldKind::Memo:
    case FieldKind::Hyperlink:
      e.extFlags = kExtCompressedUnicode;
      if (f.kind == FieldKind::Hyperlink) e.flags |= kFlagHyperlink;
      c.longValue = true;
      break;
    case FieldKind::Ole: c.longValue = true; break;
    case FieldKind::Decimal:
      if (f.precision < 1 || f.precision > 28) throw WriteError(where + ": decimal precision must be 1 to 28");
      if (f.scale < 0 || f.scale > f.precision)
        throw WriteError(where + ": decimal scale must be 0 to the precision");
      e.precision = static_cast<std::uint8_t>(f.precision);
      e.scale = static_cast<std::uint8_t>(f.scale);
      break;
    case FieldKind::AutoNumber: e.flags |= kFlagAutoLong; break;
    default: break;
  }
  if (f.calculated) {
    // The stored results are wrapped (encode::wrapCalculated) in a variable-length column
    // that declares 39 bytes for fixed-size results, 23 more than the text for a text, 0
    // for a memo. A decimal result carries its scale in every value.
    e.extFlags = kExtCalculated;
    if (f.kind == FieldKind::Text) e.length = static_cast<std::uint16_t>(e.length + encode::kCalculatedExtraLength);
    else if (!c.longValue) e.length = encode::kCalculatedFixedLength;
    e.precision = e.scale = 0;
  }
  return c;
}

// Gives `c` its place in the row: the next bytes of the fixed area from `fixedOffset`
// (none for a Yes/No, which lives in the null bits), or the next variable-length slot
// (for variable-length types and every calculated field).
void placeColumn(Column& c, std::uint16_t& fixedOffset, std::uint16_t& varIndex) {
  encode::ColumnEntry& e = c.entry;
  if (c.def.calculated) {
    e.varIndex = varIndex++;
  } else if (e.type == kTypeBool) {
    c.fixed = true;
    e.flags |= kFlagFixed;
    e.length = 1;
    e.fixedOffset = fixedOffset;
    e.varIndex = varIndex;
  } else if (std::size_t size = fixedSizeOf(e.type); size > 0) {
    c.fixed = true;
    c.fixedSize = size;
    e.flags |= kFlagFixed;
    e.length = static_cast<std::uint16_t>(size);
    e.fixedOffset = fixedOffset;
    e.varIndex = varIndex;
    fixedOffset = static_cast<std::uint16_t>(fixedOffset + size);
  } else {
    e.varIndex = varIndex++;
  }
}

// The table's properties blob: per field its Required flag, its texts, and a calculated
// field's result type and expression. Empty when no field has any.
ByteVector tableProperties(const TableDefinition& def) {
  std::vector<encode::PropertyMapEntry> maps;
  for (const FieldDefinition& f : def.fields) {
    encode::PropertyMapEntry m;
    Utf8ToUtf16(f.name, m.name);
    const auto text = [&](const char16_t* name, const std::string& value) {
      std::u16string units;
      if (value.empty()) return;
      if (!Utf8ToUtf16(value, units) || units.size() > kMaxPropertyText)
        throw WriteError("Field " + inQuotes(f.name) + " of table " + inQuotes(def.name) +
                         ": a property text must be valid UTF-8 of at most 2048 characters");
      encode::PropertyEntry p{name, kTypeMemo, {}};
      encode::encodeText(units, false, p.data);
      m.values.push_back(std::move(p));
    };
    if (f.required) m.values.push_back({u"Required", kTypeBool, {1}});
    text(u"Description", f.description);
    text(u"Caption", f.caption);
    text(u"DefaultValue", f.defaultValue);
    text(u"ValidationRule", f.validationRule);
    text(u"ValidationText", f.validationText);
    if (f.calculated) {
      m.values.push_back({u"ResultType", kTypeByte, {storedType(f.kind)}});
      text(u"Expression", f.expression);
    }
    if (!m.values.empty()) maps.push_back(std::move(m));
  }
  return maps.empty() ? ByteVector{} : encode::encodeProperties(maps);
}

}  // namespace

int MdbWriter::Impl::createTable(const TableDefinition& def, bool system, std::uint32_t fixedTdefPage) {
  checkName(def.name, "Table");
  for (const std::string& n : objectNames)
    if (equalsIgnoringCase(n, def.name)) throw WriteError("Duplicate table name " + inQuotes(def.name));
  if (def.fields.empty()) throw WriteError("Table " + inQuotes(def.name) + " has no fields");
  if (def.fields.size() > 255) throw WriteError("Table " + inQuotes(def.name) + " has more than 255 fields");

  auto t = std::make_unique<Table>();
  t->name = def.name;
  t->system = system;
  std::uint16_t fixedOffset = 0;
  std::uint16_t varIndex = 0;
  for (std::size_t i = 0; i < def.fields.size(); ++i) {
    Column c = describeColumn(def, i, formatVersion(settings.version));
    placeColumn(c, fixedOffset, varIndex);
    t->entries.push_back(c.entry);
    t->columns.push_back(std::move(c));
  }
  t->fixedSize = fixedOffset;
  t->varCount = varIndex;
  if (!system) t->properties = tableProperties(def);
  t->definition = def;
  t->indexes = encode::planIndexes(def);
  t->payloads.resize(def.fields.size());
  t->fields.resize(def.fields.size());
  allocateDefinitionPages(*t, fixedTdefPage);
  placeIndexRoots(*t);
  t->catalogId = static_cast<std::int32_t>(t->tdefPages.front());
  objectNames.push_back(def.name);
  tables.push_back(std::move(t));
  return static_cast<int>(tables.size() - 1);
}

void MdbWriter::Impl::allocateDefinitionPages(Table& t, std::uint32_t fixedTdefPage) {
  encode::TableDefinitionEntry probe;
  probe.columns = t.entries;
  probe.varColumnCount = t.varCount;
  const std::size_t pages = encode::tableDefinitionPageCount(encode::encodeTableDefinition(probe).size());
  if (fixedTdefPage != 0) {
    if (pages != 1) throw WriteError("System table definition does not fit one page");
    t.tdefPages.push_back(fixedTdefPage);
  } else {
    for (std::size_t k = 0; k < pages; ++k) t.tdefPages.push_back(allocatePage());
  }
}

MdbWriter::MdbWriter(const std::string& path, DatabaseSettings settings) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.target = path;
  d.settings = std::move(settings);
  if (!Utf8ToUtf16(d.settings.password, d.password)) throw WriteError("The database password is not valid UTF-8");
  if (d.password.size() > 20) throw WriteError("The database password is longer than 20 characters");
  if (!d.password.empty() && d.settings.version != FileVersion::Jet4)
    throw WriteError("Only Jet 4 files take a database password here");
  if (!std::isfinite(d.settings.creationDate)) throw WriteError("The creation date is not a valid date");
  const QFileInfo info(QString::fromStdString(path));
  if (info.fileName().isEmpty()) throw WriteError("No file name in " + inQuotes(path));
  const QDir dir = info.absoluteDir();
  if (!dir.exists()) throw WriteError("The folder " + inQuotes(dir.path().toStdString()) + " does not exist");
  d.file = std::make_unique<QTemporaryFile>(dir.filePath("." + info.fileName() + ".XXXXXX.part"));
  if (!d.file->open())
    throw WriteError("Cannot create a file in " + inQuotes(dir.path().toStdString()) + ": " +
                     d.file->errorString().toStdString());
  d.createTable(msysObjects(), true, kCatalogTableDefPage);
  d.createTable(msysAces(), true, kAcesTableDefPage);
  d.createTable(msysQueries(), true, kQueriesTableDefPage);
  d.createTable(msysRelationships(), true, kRelationshipsTableDefPage);
}

MdbWriter::~MdbWriter() = default;  // the temporary file removes itself unless renamed

int MdbWriter::addTable(const TableDefinition& table) {
  if (impl_->finished) throw WriteError("The file is already finished");
  return impl_->createTable(table, false, 0);
}

void MdbWriter::addQuery(const QueryDefinition& query) {
  Impl& d = *impl_;
  checkName(query.name, "Query");
  for (const std::string& n : d.objectNames)
    if (equalsIgnoringCase(n, query.name)) throw WriteError("Duplicate object name " + inQuotes(query.name));
  if (query.from.empty()) throw WriteError("Query " + inQuotes(query.name) + " names no table");
  d.objectNames.push_back(query.name);
  d.queries.push_back(query);
}

void MdbWriter::addLink(const LinkDefinition& link) {
  Impl& d = *impl_;
  checkName(link.name, "Linked table");
  for (const std::string& n : d.objectNames)
    if (equalsIgnoringCase(n, link.name)) throw WriteError("Duplicate object name " + inQuotes(link.name));
  if (link.database.empty() || link.foreignName.empty())
    throw WriteError("Linked table " + inQuotes(link.name) + " needs a database and a foreign name");
  d.objectNames.push_back(link.name);
  d.links.push_back(link);
}

void MdbWriter::addRelationship(const RelationshipDefinition& r) {
  Impl& d = *impl_;
  if (d.finished) throw WriteError("The file is already finished");
  const std::string name = r.name.empty() ? r.referencedTable + r.table : r.name;
  const std::string where = "Relationship " + inQuotes(name);
  checkName(name, "Relationship");
  for (const std::string& n : d.relationshipNames)
    if (equalsIgnoringCase(n, name)) throw WriteError("Duplicate relationship name " + inQuotes(name));
  const auto side = [&](const std::string& table, const std::vector<std::string>& columns) {
    for (std::size_t i = 4; i < d.tables.size(); ++i) {
      Table& t = *d.tables[i];
      if (equalsIgnoringCase(t.name, table))
        return encode::RelationshipSide{&t.definition, t.tdefPages.front(), &t.indexes,
                                        encode::fieldNumbers(t.definition, columns, where)};
    }
    throw WriteError(where + ": there is no table " + inQuotes(table));
  };
  encode::RelationshipSide referring = side(r.table, r.columns);
  encode::RelationshipSide referenced = side(r.referencedTable, r.referencedColumns);
  if (r.columns.empty() || r.columns.size() > kIndexColumnSlots || r.columns.size() != r.referencedColumns.size())
    throw WriteError(where + ": a relationship pairs 1 to 10 fields of one table with as many of the other");
  if (r.enforced) {
    encode::linkRelationship(r, name, referring, referenced);
    for (auto& t : d.tables)
      if (&t->indexes == referring.indexes) d.placeIndexRoots(*t);
  }
  std::uint32_t flags = r.enforced ? 0u : static_cast<std::uint32_t>(kRelationshipNoIntegrity);
  if (r.enforced && r.cascadeUpdates) flags |= kRelationshipCascadeUpdates;
  if (r.enforced && r.cascadeDeletes) flags |= kRelationshipCascadeDeletes;
  Table& rows = *d.tables[kRelationshipsTable];
  for (std::size_t i = 0; i < r.columns.size(); ++i) {
    const auto fieldName = [](const encode::RelationshipSide& s, std::size_t k) {
      return s.definition->fields[s.columns[k]].name;
    };
    d.append(
        rows,
        {Value(name), Value(static_cast<std::int64_t>(flags)), Value(static_cast<std::int64_t>(r.columns.size())),
         Value(static_cast<std::int64_t>(i)), Value(referring.definition->name), Value(fieldName(referring, i)),
         Value(referenced.definition->name), Value(fieldName(referenced, i))},
        rows.rows + 1);
  }
  d.relationshipNames.push_back(name);
}

std::int64_t MdbWriter::rowCount(int table) const {
  if (table < 0 || static_cast<std::size_t>(table) >= impl_->tables.size()) throw WriteError("No such table");
  return impl_->tables[static_cast<std::size_t>(table)]->rows;
}

void MdbWriter::appendRow(int table, const std::vector<Value>& row) {
  Impl& d = *impl_;
  if (d.finished) throw WriteError("The file is already finished");
  if (table < 4 || static_cast<std::size_t>(table) >= d.tables.size()) throw WriteError("No such table");
  Table& t = *d.tables[static_cast<std::size_t>(table)];
  d.append(t, row, t.rows + 1);
}

namespace {

[[noreturn]] void wrongValue(const Table& t, const Column& c, const std::string& what) {
  throw WriteError("Table " + inQuotes(t.name) + ", field " + inQuotes(c.def.name) + " (" +
                   fieldKindName(c.def.kind) + "): " + what);
}

std::int64_t integerValue(const Table& t, const Column& c, const Value& v, std::int64_t lo, std::int64_t hi) {
  const std::int64_t* i = v.get<std::int64_t>();
  if (!i) wrongValue(t, c, "expected a whole number");
  if (*i < lo || *i > hi)
    wrongValue(t, c, std::to_string(*i) + " is outside " + std::to_string(lo) + " to " + std::to_string(hi));
  return *i;
}

double realValue(const Table& t, const Column& c, const Value& v) {
  if (const double* x = v.get<double>()) return *x;
  if (const Single* s = v.get<Single>()) return s->value;
  if (const std::int64_t* i = v.get<std::int64_t>()) return static_cast<double>(*i);
  wrongValue(t, c, "expected a number");
}

// Rescales a Decimal to `scale` fraction digits and checks it fits `precision` digits.
void decimalMagnitude(const Table& t, const Column& c, const Decimal& dec, std::uint32_t& high, std::uint64_t& low) {
  if (dec.scale < 0 || dec.digits.empty()) wrongValue(t, c, "not a valid decimal value");
  if (dec.scale > c.def.scale)
    wrongValue(t, c, "more than " + std::to_string(c.def.scale) + " digits after the decimal point");
  std::string digits = dec.digits + std::string(static_cast<std::size_t>(c.def.scale - dec.scale), '0');
  const std::size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  // A calculated result holds whatever fits its 96 bits: up to 29 digits.
  const int precision = c.def.calculated ? 29 : c.def.precision;
  if (digits != "0" && digits.size() > static_cast<std::size_t>(precision))
    wrongValue(t, c, "more than " + std::to_string(precision) + " digits");
  unsigned __int128 m = 0;
  for (char ch : digits) {
    if (ch < '0' || ch > '9') wrongValue(t, c, "not a valid decimal value");
    m = m * 10 + static_cast<unsigned>(ch - '0');
  }
  if ((m >> 96) != 0) wrongValue(t, c, "more than 96 bits");
  high = static_cast<std::uint32_t>(m >> 64);
  low = static_cast<std::uint64_t>(m);
}

}  // namespace

namespace {

std::int64_t currencyValue(const Table& t, const Column& c, const Value& v) {
  if (const Currency* m = v.get<Currency>()) return m->scaled;
  const std::int64_t* i = v.get<std::int64_t>();
  if (!i) wrongValue(t, c, "expected an amount");
  if (*i > std::numeric_limits<std::int64_t>::max() / 10000 || *i < std::numeric_limits<std::int64_t>::min() / 10000)
    wrongValue(t, c, "too large for Currency");
  return *i * 10000;
}

double dateValue(const Table& t, const Column& c, const Value& v) {
  double days;
  if (const DateTime* dt = v.get<DateTime>()) {
    days = dt->days;
  } else if (const double* x = v.get<double>()) {
    days = *x;
  } else {
    wrongValue(t, c, "expected a date");
  }
  if (!std::isfinite(days)) wrongValue(t, c, "not a valid date");
  return days;
}

// Text, Memo and Hyperlink values: UTF-16, compressed where Access compresses.
void encodeTextValue(Table& t, const Column& c, const Value& v, ByteVector& out) {
  const FieldKind kind = c.def.kind;
  const std::string* s = v.get<std::string>();
  if (!s) wrongValue(t, c, "expected text");
  if (!Utf8ToUtf16(*s, t.text)) wrongValue(t, c, "the text is not valid UTF-8");
  if (kind == FieldKind::Text && t.text.size() > static_cast<std::size_t>(c.def.size))
    wrongValue(t, c,
               "text of " + std::to_string(t.text.size()) + " characters is longer than the field size " +
                   std::to_string(c.def.size));
  // Access compresses a calculated text result too, but never a calculated memo's.
  const bool compress =
      kind == FieldKind::Text || (!c.def.calculated && t.text.size() <= encode::kMaxCompressedMemoChars);
  encode::encodeText(t.text, compress, out);
}

// OLE object and Binary values: the bytes as they are.
void encodeBytesValue(const Table& t, const Column& c, const Value& v, ByteVector& out) {
  const Bytes* b = v.get<Bytes>();
  if (!b) wrongValue(t, c, "expected bytes");
  if (c.def.kind == FieldKind::Binary && b->size() > static_cast<std::size_t>(c.def.size))
    wrongValue(t, c, std::to_string(b->size()) + " bytes are more than the field size " + std::to_string(c.def.size));
  out.assign(b->begin(), b->end());
}

void encodeDecimalValue(const Table& t, const Column& c, const Value& v, ByteVector& out) {
  const Decimal* dec = v.get<Decimal>();
  if (!dec) wrongValue(t, c, "expected a decimal number");
  std::uint32_t high;
  std::uint64_t low;
  decimalMagnitude(t, c, *dec, high, low);
  const bool zero = high == 0 && low == 0;
  if (c.def.calculated) {
    out = encode::encodeCalculatedNumeric(dec->negative && !zero, c.def.scale, high, low);
    return;
  }
  const auto bytes = encode::encodeNumeric(dec->negative && !zero, high, low);
  out.assign(bytes.begin(), bytes.end());
}

void encodeExtendedDateValue(const Table& t, const Column& c, const Value& v, ByteVector& out) {
  const ExtendedDateTime* x = v.get<ExtendedDateTime>();
  if (!x) wrongValue(t, c, "expected an extended date");
  if (x->days < 0 || x->days >= kExtendedDaysEnd || x->ticks < 0 || x->ticks >= kTicksPerDay)
    wrongValue(t, c, "not a date of the years 1 to 9999");
  const auto bytes = encode::encodeExtendedDate(x->days, x->ticks);
  out.assign(bytes.begin(), bytes.end());
}

// The stored bytes of a value that is not null, in `out`, for every kind but Yes/No.
void encodeValue(Table& t, const Column& c, const Value& v, ByteVector& out) {
  const FieldKind kind = c.def.kind;
  switch (kind) {
    case FieldKind::YesNo: break;  // the null bit holds it (see storeField)
    case FieldKind::Byte: out.push_back(static_cast<std::uint8_t>(integerValue(t, c, v, 0, 255))); break;
    case FieldKind::Integer:
      encode::append16(out, static_cast<std::uint16_t>(integerValue(t, c, v, -32768, 32767)));
      break;
    case FieldKind::Long:
    case FieldKind::AutoNumber: {
      const std::int64_t i =
          integerValue(t, c, v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
      if (kind == FieldKind::AutoNumber) t.lastAutoNumber = std::max(t.lastAutoNumber, i);
      encode::append32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(i)));
      break;
    }
    case FieldKind::Single: {
      const double x = realValue(t, c, v);
      if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max())
        wrongValue(t, c, "too large for a Single");
      encode::appendFloat(out, static_cast<float>(x));
      break;
    }
    case FieldKind::Double: encode::appendDouble(out, realValue(t, c, v)); break;
    case FieldKind::Currency: encode::append64(out, static_cast<std::uint64_t>(currencyValue(t, c, v))); break;
    case FieldKind::DateTime: encode::appendDouble(out, dateValue(t, c, v)); break;
    case FieldKind::Text:
    case FieldKind::Memo:
    case FieldKind::Hyperlink: encodeTextValue(t, c, v, out); break;
    case FieldKind::Ole:
    case FieldKind::Binary: encodeBytesValue(t, c, v, out); break;
    case FieldKind::ReplicationId: {
      const Guid* g = v.get<Guid>();
      if (!g) wrongValue(t, c, "expected a GUID");
      out.assign(g->bytes.begin(), g->bytes.end());
      break;
    }
    case FieldKind::Decimal: encodeDecimalValue(t, c, v, out); break;
    case FieldKind::DateTimeExtended: encodeExtendedDateValue(t, c, v, out); break;
  }
}

}  // namespace

void MdbWriter::Impl::storeField(Table& t, Column& c, std::size_t index, const Value& v) {
  ByteVector& out = t.payloads[index];
  encode::FieldBytes& f = t.fields[index];
  out.clear();
  f = {};
  const FieldKind kind = c.def.kind;
  if (v.isNull()) {
    if (kind == FieldKind::YesNo && !c.def.calculated) wrongValue(t, c, "a Yes/No field cannot be null");
    if (c.def.required && kind != FieldKind::AutoNumber) wrongValue(t, c, "a required field cannot be null");
    if (kind != FieldKind::AutoNumber) return;
    if (t.lastAutoNumber >= std::numeric_limits<std::int32_t>::max()) wrongValue(t, c, "no AutoNumber values left");
    encode::append32(out, static_cast<std::uint32_t>(++t.lastAutoNumber));
  } else if (kind == FieldKind::YesNo) {
    const bool* b = v.get<bool>();
    if (!b) wrongValue(t, c, "expected true or false");
    if (!c.def.calculated) {
      // A plain Yes/No lives in the row's null bit alone.
      f.notNull = *b;
      return;
    }
    out.push_back(*b ? 0xFF : 0x00);
    encode::wrapCalculated(out);
  } else {
    encodeValue(t, c, v, out);
    if (c.def.calculated) encode::wrapCalculated(out);
  }
  f.notNull = true;
  f.data = out.data();
  f.size = out.size();
}

std::uint32_t MdbWriter::Impl::addLongValueRow(std::span<const std::uint8_t> row) {
  if (lvalOpen && !lvalPage.fits(row.size())) flushLongValuePage();
  if (!lvalOpen) {
    lvalPage.clear();
    lvalPageNumber = allocatePage();
    lvalOpen = true;
  }
  const unsigned r = lvalPage.add(row);
  return makeRowPointer(lvalPageNumber, r);
}

void MdbWriter::Impl::flushLongValuePage() {
  if (!lvalOpen) return;
  writePage(lvalPageNumber, lvalPage.bytes());
  lvalOpen = false;
}

void MdbWriter::Impl::placeLongValue(Table& t, Column& c, std::size_t index, std::size_t otherBytes) {
  ByteVector& out = t.payloads[index];
  encode::FieldBytes& f = t.fields[index];
  const auto length = static_cast<std::uint32_t>(out.size());
  if (out.size() > kLongValueLengthMask) wrongValue(t, c, "the value is too long");
  ByteVector field;
  const std::size_t inlineRow =
      encode::rowSize(t.columns.size(), t.fixedSize, t.varCount, otherBytes + kLongValueHeaderSize + out.size());
  if (out.size() <= kInlineLongValueLimit && inlineRow <= encode::kMaxRowSize) {
    const auto head = encode::encodeLongValueField(kLongValueInline, length, 0);
    field.assign(head.begin(), head.end());
    field.insert(field.end(), out.begin(), out.end());
  } else if (out.size() <= kSingleLongValueLimit) {
    const std::uint32_t pointer = addLongValueRow(out);
    const auto head = encode::encodeLongValueField(kLongValueSingle, length, pointer);
    field.assign(head.begin(), head.end());
  } else {
    // Parts are written last first so that each one can point at its successor.
    const std::size_t parts = (out.size() + kChainPartSize - 1) / kChainPartSize;
    std::uint32_t next = 0;
    ByteVector part;
    for (std::size_t k = parts; k-- > 0;) {
      const std::size_t begin = k * kChainPartSize;
      const std::size_t end = std::min(out.size(), begin + kChainPartSize);
      part.clear();
      encode::append32(part, next);
      part.insert(part.end(), out.begin() + static_cast<std::ptrdiff_t>(begin),
                  out.begin() + static_cast<std::ptrdiff_t>(end));
      next = addLongValueRow(part);
    }
    const auto head = encode::encodeLongValueField(kLongValueChain, length, next);
    field.assign(head.begin(), head.end());
  }
  out.swap(field);
  f.data = out.data();
  f.size = out.size();
}

void MdbWriter::Impl::append(Table& t, const std::vector<Value>& row, std::int64_t rowNumber) {
  if (row.size() != t.columns.size())
    throw WriteError("Table " + inQuotes(t.name) + ", row " + std::to_string(rowNumber) + ": " +
                     std::to_string(row.size()) + " values for " + std::to_string(t.columns.size()) + " fields");
  if (t.rows >= std::numeric_limits<std::int32_t>::max())
    throw WriteError("Table " + inQuotes(t.name) + " has too many rows");
  std::size_t varBytes = 0;
  bool anyLong = false;
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    Column& c = t.columns[i];
    storeField(t, c, i, row[i]);
    if (c.longValue && t.fields[i].notNull) {
      anyLong = true;
    } else if (!c.fixed) {
      varBytes += t.fields[i].size;
    }
  }
  if (anyLong) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!t.columns[i].longValue || !t.fields[i].notNull) continue;
      placeLongValue(t, t.columns[i], i, varBytes);
      varBytes += t.fields[i].size;
    }
  }
  if (encode::rowSize(t.columns.size(), t.fixedSize, t.varCount, varBytes) > encode::kMaxRowSize)
    throw WriteError("Table " + inQuotes(t.name) + ", row " + std::to_string(rowNumber) +
                     ": the row is longer than a page can hold");
  encode::encodeRow(t.entries, t.fixedSize, t.varCount, t.fields, t.row);
  if (t.page && !t.page->fits(t.row.size())) flushDataPage(t);
  if (!t.page) {
    t.page = std::make_unique<encode::DataPage>(t.tdefPages.front());
    t.pageNumber = allocatePage();
    t.dataPages.push_back(t.pageNumber);
  }
  t.page->add(t.row);
  ++t.rows;
}

void MdbWriter::Impl::flushDataPage(Table& t) {
  if (!t.page) return;
  writePage(t.pageNumber, t.page->bytes());
  t.page.reset();
}

void MdbWriter::Impl::writeCatalog() {
  std::vector<CatalogObject> objects;
  const auto container = [&](const char* name, std::int32_t id) {
    CatalogObject o;
    o.name = name;
    o.id = id;
    o.parentId = kContainerParentId;
    o.type = kObjectContainer;
    o.flags = kSystemObjectFlags;
    objects.push_back(o);
  };
  container("Tables", kTablesContainerId);
  container("Databases", kDatabasesContainerId);
  container("Relationships", kRelationshipsContainerId);
  {
    CatalogObject o;
    o.name = "MSysDb";
    o.id = kMSysDbId;
    o.parentId = kDatabasesContainerId;
    o.type = kObjectDatabase;
    o.flags = kSystemObjectFlags;
    objects.push_back(o);
  }
  for (const auto& t : tables) {
    CatalogObject o;
    o.name = t->name;
    o.id = t->catalogId;
    o.flags = t->system ? kSystemObjectFlags : 0;
    o.properties = t->properties;
    objects.push_back(o);
  }
  std::int32_t synthetic = kSyntheticIdBase;
  Table& queriesT = *tables[static_cast<std::size_t>(queriesTable)];
  for (const QueryDefinition& q : queries) {
    CatalogObject o;
    o.name = q.name;
    o.id = synthetic++;
    o.type = kObjectQuery;
    objects.push_back(o);
    // The query as Access stores it: its kind (1 select), "all fields" when no column
    // is named, the source table, the columns, the condition, and an end marker.
    const auto queryRow = [&](int attribute, Value name1, Value expression, Value flag) {
      append(queriesT,
             {Value(static_cast<std::int64_t>(o.id)), Value(attribute), Value(), name1, Value(), expression, flag,
              Value()},
             queriesT.rows + 1);
    };
    queryRow(0, Value(), Value(), Value(1));
    if (q.columns.empty()) queryRow(3, Value(), Value(), Value(1));
    queryRow(5, Value(q.from), Value(), Value());
    for (const std::string& col : q.columns) queryRow(6, Value(), Value(col), Value());
    if (!q.where.empty()) queryRow(8, Value(), Value(q.where), Value());
    queryRow(255, Value(), Value(), Value());
  }
  for (const LinkDefinition& l : links) {
    CatalogObject o;
    o.name = l.name;
    o.id = synthetic++;
    o.type = kObjectAccessLink;
    o.database = l.database;
    o.connect = ";DATABASE=" + l.database;
    o.foreignName = l.foreignName;
    objects.push_back(o);
  }
  Table& catalog = *tables[0];
  const DateTime created{settings.creationDate};
  for (const CatalogObject& o : objects) {
    const auto textOrNull = [](const std::string& s) { return s.empty() ? Value() : Value(s); };
    append(catalog,
           {Value(static_cast<std::int64_t>(o.id)), Value(static_cast<std::int64_t>(o.parentId)), Value(o.name),
            Value(o.type), Value(created), Value(created), Value(), Value(static_cast<std::int64_t>(o.flags)),
            textOrNull(o.database), textOrNull(o.connect), textOrNull(o.foreignName), Value(), Value(), Value(),
            o.properties.empty() ? Value() : Value(o.properties), Value(), Value()},
           catalog.rows + 1);
  }
}

void MdbWriter::Impl::writeUsageMaps() {
  // The map rows go on pages of their own (owner 0), as Access keeps them.
  std::vector<std::pair<Table*, ByteVector>> usedMaps;
  std::array<std::uint8_t, encode::kPageSize> bitmap{};
  for (auto& tp : tables) {
    Table& t = *tp;
    std::vector<std::uint32_t>& pages = t.dataPages;
    if (pages.empty()) {
      usedMaps.emplace_back(&t, encode::encodeInlineUsageMap(0, pages));
      continue;
    }
    const auto [lo, hi] = std::minmax_element(pages.begin(), pages.end());
    if (*hi - *lo < encode::kInlineUsageBitmapBytes * 8) {
      usedMaps.emplace_back(&t, encode::encodeInlineUsageMap(*lo, pages));
      continue;
    }
    std::vector<std::uint32_t> bitmapPages(*hi / encode::kPagesPerBitmapPage + 1, 0);
    for (std::uint32_t k = 0; k < bitmapPages.size(); ++k) {
      const std::uint32_t base = k * encode::kPagesPerBitmapPage;
      const bool any = std::any_of(pages.begin(), pages.end(), [&](std::uint32_t p) {
        return p >= base && p - base < encode::kPagesPerBitmapPage;
      });
      if (!any) continue;
      bitmapPages[k] = allocatePage();
      encode::encodeUsageBitmapPage(base, pages, bitmap);
      writePage(bitmapPages[k], bitmap.data());
    }
    usedMaps.emplace_back(&t, encode::encodeIndirectUsageMap(bitmapPages));
  }
  MapPage maps;
  const ByteVector emptyMap = encode::encodeInlineUsageMap(0, {});
  for (auto& [t, row] : usedMaps) {
    t->usageMap = addMapRow(maps, row);
    t->freeMap = addMapRow(maps, emptyMap);
  }
  closeMapPage(maps);
}

std::uint32_t MdbWriter::Impl::addMapRow(MapPage& m, const ByteVector& row) {
  if (m.open && !m.page.fits(row.size())) closeMapPage(m);
  if (!m.open) {
    m.page.clear();
    m.number = allocatePage();
    m.open = true;
  }
  return makeRowPointer(m.number, m.page.add(row));
}

void MdbWriter::Impl::closeMapPage(MapPage& m) {
  if (m.open) writePage(m.number, m.page.bytes());
  m.open = false;
}

void MdbWriter::Impl::placeIndexRoots(Table& t) {
  for (encode::RealIndexEntry& r : t.indexes.real) {
    if (r.rootPage != 0) continue;
    r.rootPage = allocatePage();
    writePage(r.rootPage, encode::emptyIndexPage(t.tdefPages.front()).data());
  }
}

void MdbWriter::Impl::writeIndexMaps() {
  MapPage maps;
  const ByteVector emptyMap = encode::encodeInlineUsageMap(0, {});
  for (auto& tp : tables)
    for (encode::RealIndexEntry& r : tp->indexes.real) r.usageMap = addMapRow(maps, emptyMap);
  closeMapPage(maps);
}

void MdbWriter::Impl::writeTableDefinitions() {
  std::vector<ByteVector> pages;
  for (auto& tp : tables) {
    Table& t = *tp;
    encode::TableDefinitionEntry e;
    e.system = t.system;
    e.rowCount = static_cast<std::uint32_t>(t.rows);
    e.autoNumber = static_cast<std::uint32_t>(std::max<std::int64_t>(0, t.lastAutoNumber));
    e.varColumnCount = t.varCount;
    e.usageMap = t.usageMap;
    e.freeMap = t.freeMap;
    e.columns = t.entries;
    e.indexes = &t.indexes;
    // The indexes may need more pages than the columns alone did.
    const ByteVector definition = encode::encodeTableDefinition(e);
    while (t.tdefPages.size() < encode::tableDefinitionPageCount(definition.size())) {
      if (t.system) throw WriteError("System table definition does not fit one page");
      t.tdefPages.push_back(allocatePage());
    }
    encode::splitTableDefinition(definition, t.tdefPages, pages);
    for (std::size_t k = 0; k < pages.size(); ++k) writePage(t.tdefPages[k], pages[k].data());
  }
}

void MdbWriter::Impl::writeGlobalMap() {
  // Page 1 keeps the database-wide map of free pages: every page past the end of the
  // file counts as free.
  encode::DataPage page(kGlobalUsageMapPage);
  std::vector<std::uint32_t> freePages;
  for (std::uint32_t p = pageCount; p < encode::kInlineUsageBitmapBytes * 8; ++p) freePages.push_back(p);
  page.add(encode::encodeInlineUsageMap(0, freePages));
  page.add(encode::encodeInlineUsageMap(0, {}));
  writePage(kGlobalUsageMapPage, page.bytes());
}

void MdbWriter::Impl::writeHeader() {
  encode::HeaderEntry h;
  h.creationDate = settings.creationDate;
  h.password = password;
  h.version = formatVersion(settings.version);
  std::array<std::uint8_t, encode::kPageSize> page{};
  encode::encodeHeaderPage(h, page);
  writePage(0, page.data());
}

void MdbWriter::finish() {
  Impl& d = *impl_;
  if (d.finished) throw WriteError("The file is already finished");
  d.finished = true;
  d.writeCatalog();
  for (auto& t : d.tables) d.flushDataPage(*t);
  d.flushLongValuePage();
  d.writeIndexMaps();
  d.writeUsageMaps();
  d.writeTableDefinitions();
  d.writeGlobalMap();
  d.writeHeader();
  if (!d.file->flush()) throw WriteError("Cannot write to " + d.target + ": " + d.file->errorString().toStdString());
  d.file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                         QFileDevice::ReadOther);
  // rename() replaces a file already at the target in one step, so a failure here leaves
  // that file as it was (QFile::rename would refuse to replace it).
  const QByteArray temporary = QFile::encodeName(d.file->fileName());
  const QByteArray target = QFile::encodeName(QString::fromStdString(d.target));
  if (::rename(temporary.constData(), target.constData()) != 0)
    throw WriteError("Cannot rename the new file to " + inQuotes(d.target) + ": " + std::strerror(errno));
  d.file->setAutoRemove(false);
  d.file->close();
}

}  // namespace tw::jet
