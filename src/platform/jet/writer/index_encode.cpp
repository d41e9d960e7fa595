#include "platform/jet/writer/index_encode.h"

#include <algorithm>

#include "platform/case_rules.h"
#include "platform/utf8.h"

namespace tw::jet::encode {

namespace {

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

void checkIndexName(const std::string& name, const std::string& where) {
  std::u16string units;
  if (!Utf8ToUtf16(name, units) || units.empty() || units.size() > 64 || units.front() == u' ')
    throw WriteError(where + ": an index name is 1 to 64 characters, not starting with a blank");
  for (char16_t c : units)
    if (c < 0x20 || c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']')
      throw WriteError(where + ": the index name contains a character Access does not allow in names");
}

bool hasIndexNamed(const TableIndexes& indexes, const std::string& name) {
  for (const LogicalIndexEntry& l : indexes.logical)
    if (equalsIgnoringCase(l.name, name)) return true;
  return false;
}

std::uint8_t flagsOf(const IndexDefinition& d) {
  std::uint8_t f = kIndexAlwaysSet;
  if (d.unique || d.primaryKey) f |= kIndexUnique;
  if (d.ignoreNulls) f |= kIndexIgnoreNulls;
  if (d.required || d.primaryKey) f |= kIndexRequired;
  return f;
}

RealIndexEntry realIndexFor(const TableDefinition& table, const IndexDefinition& d, const std::string& where) {
  if (d.columns.empty() || d.columns.size() > kIndexColumnSlots)
    throw WriteError(where + ": an index has 1 to 10 fields");
  RealIndexEntry r;
  r.flags = flagsOf(d);
  for (const IndexColumnDefinition& c : d.columns) {
    const std::uint16_t number = fieldNumbers(table, {c.name}, where).front();
    if (table.fields[number].kind == FieldKind::Ole)
      throw WriteError(where + ": the OLE Object field " + inQuotes(c.name) + " cannot be indexed");
    for (const auto& [other, ascending] : r.columns)
      if (other == number) throw WriteError(where + ": the field " + inQuotes(c.name) + " is named twice");
    r.columns.emplace_back(number, !c.descending);
  }
  return r;
}

// The first name of `base` + suffix not yet taken: letters for the primary side's ".rC",
// ".rD", ...; otherwise `base` itself, then with 1, 2, ... after it.
std::string freeName(const TableIndexes& indexes, const std::string& base, bool letters) {
  for (int k = 0;; ++k) {
    std::string name = base;
    if (letters && k < 24) name += static_cast<char>('C' + k);            // .rC to .rZ
    else if (letters && k < 50) name += static_cast<char>('a' + k - 24);  // then .ra to .rz
    else if (k > 0) name += std::to_string(k);
    if (!hasIndexNamed(indexes, name)) return name;
  }
}

// The real index of `indexes` over exactly `columns`, ascending, that satisfies `accept`; -1 if none.
template <typename Accept>
int realIndexOn(const TableIndexes& indexes, const std::vector<std::uint16_t>& columns, Accept accept) {
  for (std::size_t i = 0; i < indexes.real.size(); ++i) {
    const RealIndexEntry& r = indexes.real[i];
    bool same = r.columns.size() == columns.size();
    for (std::size_t k = 0; same && k < columns.size(); ++k)
      same = r.columns[k].first == columns[k] && r.columns[k].second;
    if (same && accept(r)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::vector<std::uint16_t> fieldNumbers(const TableDefinition& table, const std::vector<std::string>& names,
                                        const std::string& what) {
  std::vector<std::uint16_t> out;
  for (const std::string& n : names) {
    auto it = std::find_if(table.fields.begin(), table.fields.end(),
                           [&](const FieldDefinition& f) { return equalsIgnoringCase(f.name, n); });
    if (it == table.fields.end())
      throw WriteError(what + ": table " + inQuotes(table.name) + " has no field " + inQuotes(n));
    out.push_back(static_cast<std::uint16_t>(it - table.fields.begin()));
  }
  return out;
}

TableIndexes planIndexes(const TableDefinition& table) {
  TableIndexes out;
  bool primaryKey = false;
  for (const IndexDefinition& d : table.indexes) {
    const std::string where = "Index " + inQuotes(d.name) + " of table " + inQuotes(table.name);
    LogicalIndexEntry l;
    checkIndexName(d.name, where);
    l.name = d.name;
    if (hasIndexNamed(out, l.name))
      throw WriteError("Duplicate index name " + inQuotes(d.name) + " in table " + inQuotes(table.name));
    if (d.primaryKey && primaryKey) throw WriteError(where + ": the table has a primary key already");
    primaryKey = primaryKey || d.primaryKey;
    out.real.push_back(realIndexFor(table, d, where));
    l.realIndex = static_cast<std::int32_t>(out.real.size() - 1);
    l.kind = d.primaryKey ? kIndexPrimaryKey : kIndexPlain;
    out.logical.push_back(std::move(l));
  }
  return out;
}

void linkRelationship(const RelationshipDefinition& relationship, const std::string& name,
                      RelationshipSide& referring, RelationshipSide& referenced) {
  TableIndexes& parent = *referenced.indexes;
  TableIndexes& child = *referring.indexes;
  const int unique =
      realIndexOn(parent, referenced.columns, [](const RealIndexEntry& r) { return (r.flags & kIndexUnique) != 0; });
  if (unique < 0)
    throw WriteError("Relationship " + inQuotes(name) + ": table " + inQuotes(relationship.referencedTable) +
                     " has no primary key or unique index on the referenced fields");
  int own = realIndexOn(child, referring.columns, [](const RealIndexEntry&) { return true; });
  if (own < 0) {
    RealIndexEntry r;
    for (std::uint16_t c : referring.columns) r.columns.emplace_back(c, true);
    child.real.push_back(std::move(r));
    own = static_cast<int>(child.real.size() - 1);
  }
  LogicalIndexEntry p, c;
  p.name = freeName(parent, ".r", true);
  c.name = freeName(child, name, false);
  p.realIndex = unique;
  c.realIndex = own;
  p.kind = c.kind = kIndexForeignKey;
  p.relatedTableType = kRelatedPrimaryTable;
  c.relatedTableType = kRelatedPrimaryTable + 1;
  // Each side names the other's index; when a table refers to itself both live in one list.
  const bool self = &parent == &child;
  p.relatedIndex = static_cast<std::int32_t>(child.logical.size() + (self ? 1 : 0));
  c.relatedIndex = static_cast<std::int32_t>(parent.logical.size());
  p.relatedTablePage = referring.tdefPage;
  c.relatedTablePage = referenced.tdefPage;
  p.cascadeUpdates = c.cascadeUpdates = relationship.cascadeUpdates;
  p.cascadeDeletes = c.cascadeDeletes = relationship.cascadeDeletes;
  parent.logical.push_back(std::move(p));
  child.logical.push_back(std::move(c));
}

void appendIndexDefinitions(const TableIndexes& indexes, ByteVector& out) {
  const IndexLayout& L = kIndexLayoutJet4;
  for (const RealIndexEntry& r : indexes.real) {
    const std::size_t start = out.size();
    append32(out, kRealIndexMagic);
    for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
      const bool used = slot < r.columns.size();
      append16(out, used ? r.columns[slot].first : kIndexColumnUnused);
      out.push_back(used && r.columns[slot].second ? kIndexColumnAscending : 0);
    }
    append32(out, r.usageMap);
    append32(out, r.rootPage);
    append32(out, 0);
    out.push_back(r.flags);
    out.resize(start + L.realBlockSize, 0);
  }
  for (std::size_t i = 0; i < indexes.logical.size(); ++i) {
    const LogicalIndexEntry& l = indexes.logical[i];
    const std::size_t start = out.size();
    append32(out, kLogicalIndexMagic);
    append32(out, static_cast<std::uint32_t>(i));
    append32(out, static_cast<std::uint32_t>(l.realIndex));
    out.push_back(l.relatedTableType);
    append32(out, static_cast<std::uint32_t>(l.relatedIndex));
    append32(out, l.relatedTablePage);
    out.push_back(l.cascadeUpdates ? 1 : 0);
    out.push_back(l.cascadeDeletes ? 1 : 0);
    out.push_back(l.kind);
    out.resize(start + L.logicalBlockSize, 0);
  }
  std::u16string name;
  for (const LogicalIndexEntry& l : indexes.logical) {
    name.clear();
    Utf8ToUtf16(l.name, name);
    append16(out, static_cast<std::uint16_t>(name.size() * 2));
    for (char16_t ch : name) append16(out, static_cast<std::uint16_t>(ch));
  }
}

std::array<std::uint8_t, kPageSize> emptyIndexPage(std::uint32_t tdefPage) {
  const IndexLayout& L = kIndexLayoutJet4;
  std::array<std::uint8_t, kPageSize> page{};
  page[0] = kPageIndexLeaf;
  page[1] = 0x01;
  put16(page, 2, static_cast<std::uint16_t>(kPageSize - L.entriesStart()));
  put32(page, kDataPageOwnerOffset, tdefPage);
  return page;
}

}  // namespace tw::jet::encode
