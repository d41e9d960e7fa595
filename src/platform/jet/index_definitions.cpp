#include "platform/jet/index_definitions.h"

#include <algorithm>
#include <unordered_set>

#include "platform/case_rules.h"

namespace tw::jet {

namespace {

// The bytes of a table definition: its first page whole, then every continuation page
// from byte 8, as the offsets of the layout count them.
std::vector<std::uint8_t> definitionBytes(Database& db, std::uint32_t tdefPage, const std::string& ctx) {
  std::vector<std::uint8_t> def;
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t next = tdefPage; next != 0;) {
    if (!seen.insert(next).second || seen.size() > 1024)
      db.damaged("the definition of " + ctx + " runs in a circle at page " + std::to_string(next));
    auto p = db.page(next, ctx);
    if ((*p)[0] != kPageTableDef)
      db.damaged("page " + std::to_string(next) + " of " + ctx + " is not a table definition page");
    def.insert(def.end(), def.empty() ? p->begin() : p->begin() + 8, p->end());
    next = u32(*p, 4);
  }
  return def;
}

// Reads the index part of a definition front to back; every read is checked against its end.
class IndexDefinitionReader {
 public:
  IndexDefinitionReader(Database& db, const TableDef& table)
      : db_(db),
        table_(table),
        ctx_("table '" + table.name + "'"),
        def_(definitionBytes(db, table.tdefPage, ctx_)),
        tdef_(db.format().tableDef()),
        layout_(db.format().jet3() ? kIndexLayoutJet3 : kIndexLayoutJet4) {}

  TableIndexes read() {
    const std::uint64_t realCount = u32(def_, tdef_.realIndexCount);
    const std::uint64_t logicalCount = u32(def_, tdef_.logicalIndexCount);
    skipColumns(realCount);
    TableIndexes out;
    need(realCount * layout_.realBlockSize, "real index");
    for (std::uint64_t i = 0; i < realCount; ++i) out.real.push_back(realIndex(i));
    need(logicalCount * layout_.logicalBlockSize, "index");
    for (std::uint64_t i = 0; i < logicalCount; ++i) out.logical.push_back(logicalIndex(out.real.size()));
    for (LogicalIndexDef& l : out.logical) l.name = name("index names");
    std::stable_sort(out.logical.begin(), out.logical.end(),
                     [](const auto& a, const auto& b) { return a.number < b.number; });
    return out;
  }

 private:
  [[noreturn]] void cutShort(const std::string& what) {
    db_.damaged("the " + what + " definitions of " + ctx_ + " are cut short");
  }
  void need(std::uint64_t n, const std::string& what) {
    if (pos_ > def_.size() || def_.size() - pos_ < n) cutShort(what);
  }

  std::string name(const std::string& what) {
    const std::size_t lengthSize = tdef_.column.nameLengthSize;
    need(lengthSize, what);
    const std::size_t n = lengthSize == 1 ? u8(def_, pos_) : u16(def_, pos_);
    pos_ += lengthSize;
    need(n, what);
    std::string s = db_.decodeText(std::span<const std::uint8_t>(def_.data() + pos_, n));
    pos_ += n;
    return s;
  }

  // Past the real-index entries, the column descriptors and the column names.
  void skipColumns(std::uint64_t realCount) {
    const std::uint64_t columnCount = u16(def_, tdef_.columnCount);
    pos_ = tdef_.realIndexStart;
    need(realCount * tdef_.realIndexEntrySize + columnCount * tdef_.column.entrySize, "column");
    pos_ += static_cast<std::size_t>(realCount * tdef_.realIndexEntrySize + columnCount * tdef_.column.entrySize);
    for (std::uint64_t i = 0; i < columnCount; ++i) name("column name");
  }

  RealIndexDef realIndex(std::uint64_t number) {
    RealIndexDef r;
    std::size_t at = pos_ + layout_.realBlockSkip;
    for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot, at += 3) {
      const std::uint16_t column = u16(def_, at);
      if (column == kIndexColumnUnused) continue;
      IndexColumnDef c;
      c.number = column;
      c.ascending = (u8(def_, at + 2) & kIndexColumnAscending) != 0;
      c.name = columnName(column, number);
      r.columns.push_back(std::move(c));
    }
    at += 4;  // the index's page usage map
    r.rootPage = u32(def_, at);
    r.flags = u8(def_, at + 4 + layout_.flagsSkip);
    pos_ += layout_.realBlockSize;
    return r;
  }

  std::string columnName(std::uint16_t column, std::uint64_t realNumber) {
    for (const ColumnDef& c : table_.columns)
      if (c.number == column) return c.name;
    db_.damaged("index " + std::to_string(realNumber) + " of " + ctx_ + " names column number " +
                std::to_string(column) + ", which the table does not have");
  }

  LogicalIndexDef logicalIndex(std::size_t realCount) {
    LogicalIndexDef l;
    const std::size_t at = pos_ + layout_.logicalSkip;
    l.number = static_cast<std::int32_t>(u32(def_, at));
    const std::uint32_t real = u32(def_, at + 4);
    if (real >= realCount)
      db_.damaged("index " + std::to_string(l.number) + " of " + ctx_ + " refers to real index " +
                  std::to_string(real) + " of " + std::to_string(realCount));
    l.realIndex = real;
    l.relatedTableType = u8(def_, at + 8);
    l.relatedIndex = static_cast<std::int32_t>(u32(def_, at + 9));
    l.relatedTablePage = u32(def_, at + 13) & kObjectIdPageMask;
    l.kind = u8(def_, at + 19);
    // The cascade bytes mean something on foreign-key indexes only.
    l.cascadeUpdates = l.foreignKey() && u8(def_, at + 17) != 0;
    l.cascadeDeletes = l.foreignKey() && (u8(def_, at + 18) & 0x01) != 0;
    pos_ += layout_.logicalBlockSize;
    return l;
  }

  Database& db_;
  const TableDef& table_;
  const std::string ctx_;
  const std::vector<std::uint8_t> def_;
  const TableDefLayout& tdef_;
  const IndexLayout& layout_;
  std::size_t pos_ = 0;
};

}  // namespace

const LogicalIndexDef* TableIndexes::find(const std::string& name) const {
  for (const LogicalIndexDef& l : logical)
    if (equalsIgnoringCase(l.name, name)) return &l;
  return nullptr;
}

TableIndexes readIndexDefinitions(Database& db, const TableDef& table) {
  return IndexDefinitionReader(db, table).read();
}

}  // namespace tw::jet
