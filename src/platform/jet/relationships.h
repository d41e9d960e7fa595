// The relationships of an Access database, from its system table MSysRelationships: one row
// per column pair, grouped by relationship name and ordered by column position.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/jet/index_format.h"
#include "platform/jet/reader.h"

namespace tw::jet {

struct Relationship {
  std::string name;
  std::string table;            // the table that refers (foreign key side, "szObject")
  std::string referencedTable;  // the table referred to (primary side, "szReferencedObject")
  // (column of `table`, column of `referencedTable`), in the relationship's column order.
  std::vector<std::pair<std::string, std::string>> columns;
  std::uint32_t flags = 0;  // RelationshipFlag bits (MSysRelationships.grbit)
  bool enforced() const { return (flags & kRelationshipNoIntegrity) == 0; }
  bool cascadeUpdates() const { return enforced() && (flags & kRelationshipCascadeUpdates) != 0; }
  bool cascadeDeletes() const { return enforced() && (flags & kRelationshipCascadeDeletes) != 0; }
};

// Every relationship of the database, in the order of their names. A database without
// MSysRelationships has none. Throws Failure when the table lacks one of its columns or a
// relationship's rows contradict each other (a column position twice, positions missing).
std::vector<Relationship> readRelationships(Database& db);

}  // namespace tw::jet
