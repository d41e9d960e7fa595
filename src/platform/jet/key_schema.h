// The rows of the index, primary-key and foreign-key schema rowsets of an Access database
// (OpenSchema 12, 28 and 27), taken from the tables' index definitions and from
// MSysRelationships, for the tables the caller names (the user tables).
//
// Indexes: one row per column of every logical index, as Access names it ("PrimaryKey",
// and for a relationship the index Access keeps on the referring table, named after the
// relationship, e.g. "CustomersOrders"), ordered by table, then index name, then column.
// The index Access keeps on a relationship's primary table (".rC", ...) is left out: it is
// only another name for the unique index the relationship refers to, which is listed.
// PRIMARY_KEY and UNIQUE (a primary key counts as unique), NULLS 1 (disallowed) for a
// required or primary-key index, else 2 for an index that ignores nulls, else 0.
//
// Foreign keys: one row per column pair of every relationship between two of the tables,
// enforced or not, in the order of the relationship names; UPDATE_RULE and DELETE_RULE
// "CASCADE" where Access cascades ("SET NULL" for deletes that set the key to null), else
// "NO ACTION"; PK_NAME the primary table's unique index on the referenced columns (the
// primary key when it is that index), empty when it has none; FK_NAME the relationship.
#pragma once

#include <string>
#include <vector>

#include "platform/data_access.h"
#include "platform/jet/reader.h"

namespace tw::jet {

std::vector<tw::data::SchemaIndexColumn> indexSchemaColumns(Database& db, const std::vector<std::string>& tables);

std::vector<tw::data::SchemaForeignKeyColumn> foreignKeySchemaColumns(Database& db,
                                                                      const std::vector<std::string>& tables);

}  // namespace tw::jet
