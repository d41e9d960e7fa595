#include "platform/jet/key_schema.h"

#include <algorithm>

#include "platform/case_rules.h"
#include "platform/jet/index_definitions.h"
#include "platform/jet/relationships.h"

namespace tw::jet {

using tw::data::SchemaForeignKeyColumn;
using tw::data::SchemaIndexColumn;

namespace {

TableIndexes indexesOf(Database& db, const std::string& table) {
  const CatalogEntry* e = db.findTable(table);
  if (!e) return {};
  return readIndexDefinitions(db, *db.readTableDef(e->tdefPage(), e->name));
}

int nullsOf(const LogicalIndexDef& l, const RealIndexDef& r) {
  if (l.primaryKey() || r.required()) return tw::data::kIndexNullsDisallowed;
  return r.ignoreNulls() ? tw::data::kIndexNullsIgnored : 0;
}

// The unique index of `indexes` whose columns are exactly `columns`, in order; the primary
// key first. Empty when there is none.
std::string uniqueIndexOn(const TableIndexes& indexes, const std::vector<std::string>& columns) {
  const LogicalIndexDef* best = nullptr;
  for (const LogicalIndexDef& l : indexes.logical) {
    const RealIndexDef& r = indexes.real[l.realIndex];
    if (l.foreignKey() || !(l.primaryKey() || r.unique()) || r.columns.size() != columns.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < columns.size(); ++i) same = same && equalsIgnoringCase(r.columns[i].name, columns[i]);
    if (same && (!best || (l.primaryKey() && !best->primaryKey()))) best = &l;
  }
  return best ? best->name : std::string();
}

// The spelling of `name` among `tables`, or empty when it is none of them.
std::string tableNamed(const std::vector<std::string>& tables, const std::string& name) {
  for (const std::string& t : tables)
    if (equalsIgnoringCase(t, name)) return t;
  return {};
}

std::string deleteRule(const Relationship& r) {
  if (r.cascadeDeletes()) return "CASCADE";
  if (r.enforced() && (r.flags & kRelationshipCascadeNull)) return "SET NULL";
  return "NO ACTION";
}

}  // namespace

std::vector<SchemaIndexColumn> indexSchemaColumns(Database& db, const std::vector<std::string>& tables) {
  std::vector<SchemaIndexColumn> out;
  for (const std::string& table : tables) {
    TableIndexes indexes = indexesOf(db, table);
    std::stable_sort(indexes.logical.begin(), indexes.logical.end(),
                     [](const auto& a, const auto& b) { return compareIgnoringCase(a.name, b.name) < 0; });
    for (const LogicalIndexDef& l : indexes.logical) {
      if (l.primarySide()) continue;
      const RealIndexDef& r = indexes.real[l.realIndex];
      for (std::size_t i = 0; i < r.columns.size(); ++i) {
        SchemaIndexColumn c;
        c.table = table;
        c.index = l.name;
        c.primaryKey = l.primaryKey();
        c.unique = l.primaryKey() || r.unique();
        c.nulls = nullsOf(l, r);
        c.ordinal = static_cast<int>(i + 1);
        c.column = r.columns[i].name;
        c.collation = r.columns[i].ascending ? 1 : 2;
        out.push_back(std::move(c));
      }
    }
  }
  return out;
}

std::vector<SchemaForeignKeyColumn> foreignKeySchemaColumns(Database& db, const std::vector<std::string>& tables) {
  std::vector<SchemaForeignKeyColumn> out;
  for (const Relationship& r : readRelationships(db)) {
    const std::string fkTable = tableNamed(tables, r.table);
    const std::string pkTable = tableNamed(tables, r.referencedTable);
    if (fkTable.empty() || pkTable.empty()) continue;
    std::vector<std::string> referenced;
    for (const auto& [fk, pk] : r.columns) referenced.push_back(pk);
    const std::string pkName = uniqueIndexOn(indexesOf(db, pkTable), referenced);
    for (std::size_t i = 0; i < r.columns.size(); ++i) {
      SchemaForeignKeyColumn c;
      c.pkTable = pkTable;
      c.pkColumn = r.columns[i].second;
      c.fkTable = fkTable;
      c.fkColumn = r.columns[i].first;
      c.ordinal = static_cast<int>(i + 1);
      c.updateRule = r.cascadeUpdates() ? "CASCADE" : "NO ACTION";
      c.deleteRule = deleteRule(r);
      c.pkName = pkName;
      c.fkName = r.name;
      out.push_back(std::move(c));
    }
  }
  return out;
}

}  // namespace tw::jet
