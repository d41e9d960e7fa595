#include "platform/jet/relationships.h"

#include <array>
#include <map>

namespace tw::jet {

namespace {

enum RelationshipColumn { kName, kFlags, kCount, kPosition, kTable, kColumn, kReferencedTable, kReferencedColumn };
constexpr std::array<const char*, 8> kColumnNames = {
    "szRelationship",    "grbit", "ccolumn", "icolumn", "szObject", "szColumn", "szReferencedObject",
    "szReferencedColumn"};

struct Pending {
  Relationship relationship;
  std::vector<bool> filled;
};

std::string text(const Value& v) {
  const std::string* s = v.get<std::string>();
  return s ? *s : std::string();
}

std::int64_t number(const Value& v) {
  const std::int64_t* i = v.get<std::int64_t>();
  return i ? *i : -1;
}

// Adds one MSysRelationships row to its relationship, checking it against the rows before.
void addRow(Database& db, std::map<std::string, Pending>& out, const std::vector<Value>& row,
            const std::array<int, 8>& at) {
  const auto field = [&](RelationshipColumn c) -> const Value& { return row[static_cast<std::size_t>(at[c])]; };
  const std::string name = text(field(kName));
  const std::int64_t count = number(field(kCount));
  const std::int64_t position = number(field(kPosition));
  const std::string where = "the relationship '" + name + "' in MSysRelationships";
  if (count < 1 || count > static_cast<std::int64_t>(kIndexColumnSlots) || position < 0 || position >= count)
    db.damaged(where + " has column " + std::to_string(position) + " of " + std::to_string(count));
  auto [it, fresh] = out.try_emplace(name);
  Pending& p = it->second;
  Relationship& r = p.relationship;
  if (fresh) {
    r.name = name;
    r.table = text(field(kTable));
    r.referencedTable = text(field(kReferencedTable));
    r.flags = static_cast<std::uint32_t>(number(field(kFlags)));
    r.columns.resize(static_cast<std::size_t>(count));
    p.filled.assign(static_cast<std::size_t>(count), false);
  }
  const auto i = static_cast<std::size_t>(position);
  if (r.columns.size() != static_cast<std::size_t>(count) || p.filled[i] || r.table != text(field(kTable)) ||
      r.referencedTable != text(field(kReferencedTable)))
    db.damaged(where + " has rows that contradict each other");
  r.columns[i] = {text(field(kColumn)), text(field(kReferencedColumn))};
  p.filled[i] = true;
}

}  // namespace

std::vector<Relationship> readRelationships(Database& db) {
  const CatalogEntry* e = db.findTable("MSysRelationships");
  if (!e) return {};
  auto def = db.readTableDef(e->tdefPage(), e->name);
  std::array<int, 8> at;
  for (std::size_t k = 0; k < kColumnNames.size(); ++k) {
    at[k] = -1;
    for (std::size_t i = 0; i < def->columns.size(); ++i)
      if (def->columns[i].name == kColumnNames[k]) at[k] = static_cast<int>(i);
    if (at[k] < 0) db.damaged(std::string("MSysRelationships lacks its column ") + kColumnNames[k]);
  }
  std::map<std::string, Pending> pending;
  TableCursor cursor(db, def);
  std::vector<Value> row;
  while (cursor.next(row)) addRow(db, pending, row, at);
  std::vector<Relationship> out;
  for (auto& [name, p] : pending) {
    for (bool f : p.filled)
      if (!f) db.damaged("the relationship '" + name + "' in MSysRelationships lacks some of its columns");
    out.push_back(std::move(p.relationship));
  }
  return out;
}

}  // namespace tw::jet
