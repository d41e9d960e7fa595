// The index definitions of an Access table, read from its table definition: the real
// indexes (columns, sort direction per column, unique / ignore-nulls / required, root page)
// and the logical indexes the user sees (name, the real index behind it, primary key or
// foreign key and the relationship side it stands for). See index_format.h for the layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/jet/index_format.h"
#include "platform/jet/reader.h"

namespace tw::jet {

struct IndexColumnDef {
  std::uint16_t number = 0;  // the table column's number (ColumnDef::number)
  std::string name;
  bool ascending = true;
};

struct RealIndexDef {
  std::vector<IndexColumnDef> columns;
  std::uint32_t rootPage = 0;
  std::uint8_t flags = 0;  // IndexFlag
  bool unique() const { return (flags & kIndexUnique) != 0; }
  bool ignoreNulls() const { return (flags & kIndexIgnoreNulls) != 0; }
  bool required() const { return (flags & kIndexRequired) != 0; }
};

struct LogicalIndexDef {
  std::string name;
  std::int32_t number = 0;
  std::size_t realIndex = 0;  // into TableIndexes::real
  std::uint8_t kind = kIndexPlain;
  // Foreign-key indexes: the other side of the relationship.
  std::uint8_t relatedTableType = 0;
  std::int32_t relatedIndex = -1;
  std::uint32_t relatedTablePage = 0;
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
  bool primaryKey() const { return kind == kIndexPrimaryKey; }
  bool foreignKey() const { return kind == kIndexForeignKey; }
  // The index a relationship keeps on its primary table: another name for the unique
  // index the relationship refers to (Access calls these ".rC", ".rD", ...).
  bool primarySide() const { return foreignKey() && relatedTableType == kRelatedPrimaryTable; }
};

struct TableIndexes {
  std::vector<RealIndexDef> real;
  std::vector<LogicalIndexDef> logical;  // in index-number order
  // The logical index of that name (without regard to case), or null.
  const LogicalIndexDef* find(const std::string& name) const;
};

// Reads the index definitions of `table`. Throws Failure ("The database '...' is damaged:
// ...") naming the table when they are cut short or name columns or real indexes the
// table does not have.
TableIndexes readIndexDefinitions(Database& db, const TableDef& table);

}  // namespace tw::jet
