// The index part of a table definition as the writer produces it (layout in
// platform/jet/index_format.h): the real and logical indexes planned from a table's
// IndexDefinitions, the hidden indexes an enforced relationship adds on both sides, their
// bytes in the TDEF, and the empty root page each real index starts with.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/jet/index_format.h"
#include "platform/jet/writer/format_encode.h"
#include "platform/jet/writer/writer.h"

namespace tw::jet::encode {

struct RealIndexEntry {
  std::vector<std::pair<std::uint16_t, bool>> columns;  // (column number, ascending)
  std::uint8_t flags = kIndexAlwaysSet;                 // IndexFlag
  std::uint32_t rootPage = 0;                           // set when the pages are placed
  std::uint32_t usageMap = 0;                           // row pointer, likewise
};

struct LogicalIndexEntry {
  std::string name;  // UTF-8
  std::int32_t realIndex = 0;
  std::uint8_t kind = kIndexPlain;
  std::uint8_t relatedTableType = 0;  // foreign keys: kRelatedPrimaryTable or 2 (referring table)
  std::int32_t relatedIndex = -1;
  std::uint32_t relatedTablePage = 0;
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
};

// The indexes of one table; a logical index's number is its position.
struct TableIndexes {
  std::vector<RealIndexEntry> real;
  std::vector<LogicalIndexEntry> logical;
};

// The indexes of `table` as its definition asks (field i of the definition is column
// number i). Throws WriteError naming the table and the index for a bad name, a duplicate
// name, no or more than 10 columns, a field the table lacks or names twice, a second
// primary key, or an OLE Object field (which Access cannot index).
TableIndexes planIndexes(const TableDefinition& table);

// One table of a relationship, as addRelationship sees it.
struct RelationshipSide {
  const TableDefinition* definition = nullptr;
  std::uint32_t tdefPage = 0;
  TableIndexes* indexes = nullptr;
  std::vector<std::uint16_t> columns;  // the relationship's fields on this side
};

// The field numbers of `names` in `table`; throws WriteError naming `what` for a field the
// table lacks.
std::vector<std::uint16_t> fieldNumbers(const TableDefinition& table, const std::vector<std::string>& names,
                                        const std::string& what);

// Adds the two hidden foreign-key indexes of an enforced relationship named `name`: on the
// referenced table (primary side) a ".rC"-style name over its unique index on the
// referenced columns, on the referring table one named after the relationship over an
// index on its columns (an existing ascending one, or a new one). Throws WriteError when
// the referenced table has no primary key or unique index on exactly those columns.
void linkRelationship(const RelationshipDefinition& relationship, const std::string& name,
                      RelationshipSide& referring, RelationshipSide& referenced);

// Appends the real-index blocks, logical-index blocks and index names to a definition.
void appendIndexDefinitions(const TableIndexes& indexes, ByteVector& out);

// The root page of an empty index of the table whose definition starts at `tdefPage`.
std::array<std::uint8_t, kPageSize> emptyIndexPage(std::uint32_t tdefPage);

}  // namespace tw::jet::encode
