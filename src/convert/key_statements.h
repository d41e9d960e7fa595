// Keys, indexes and relations of native tables: what the Access file's index and
// relationship definitions (the index and foreign-key schema rowsets) become in FoxPro.
//
// Per table, after its last row:
//   USE "table"
//   INDEX ON key TAG tag [CANDIDATE] [DESCENDING] [FOR filter]     one per index
//   ALTER TABLE "table" ADD PRIMARY KEY key TAG tag                in a database container
// and after the last table, in a database container, one
//   ALTER TABLE "child" ADD FOREIGN KEY key TAG tag REFERENCES "parent" TAG parent_tag
// per relationship whose parent has a primary or candidate tag on the referenced columns.
//
// - A primary key is the container's primary key, or a CANDIDATE tag in free tables; a
//   unique index is a CANDIDATE tag. Access lets a unique index hold many rows whose key is
//   null, FoxPro's candidate tag one: a unique index over columns that accept nulls keys
//   only the rows where none is null (FOR !ISNULL(...)), as does an index that ignores nulls.
// - Tags are named after the Access index by the column-name rules, at most 10 characters,
//   in capitals, unique in the table ("PrimaryKey" is PRIMARYKEY).
// - Key of one column: the column. Of several: each part in a fixed-width character form
//   joined with "+" (the C column itself, BINTOC() of an I, STR(n, w, d) of N, Y and B,
//   TTOC(t, 1) of a T), so that the tag orders as Access's index. All parts descending: a
//   DESCENDING tag; a mix one tag cannot hold: ascending, and a notice says so. A Yes/No
//   column's tag runs the other way (Access sorts Yes, stored as -1, before No).
// - The index Access keeps on a relationship's referring columns is not written twice:
//   when the table has another plain index on the same columns, that one carries the
//   relation. In a container the tag that carries a relation is made by ADD FOREIGN KEY;
//   when the relation cannot be made, by INDEX ON after the last table.
// - An index on a column no tag can key (memo, general, binary, logical among several) is
//   left out, and a notice names it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/data_access.h"

namespace tw {

struct SourceIndex {
  std::string name;
  bool primaryKey = false;
  bool unique = false;
  bool ignoresNulls = false;  // rows with a null key are left out of the index
  struct Column {
    std::string name;
    bool descending = false;
  };
  std::vector<Column> columns;
};

struct SourceRelation {
  std::string name;
  std::string parent, child;  // Access table names
  std::vector<std::string> parentColumns, childColumns;
  bool cascades = false;  // updates or deletes cascade (or set null)
};

// What the Access file defines: indexes by table (the Access name, as listed), the
// relationships in the order of their names.
struct SourceKeys {
  std::map<std::string, std::vector<SourceIndex>> indexes;
  std::vector<SourceRelation> relations;
};

// Groups the rows of the index and foreign-key schema rowsets.
SourceKeys GroupSourceKeys(const std::vector<data::SchemaIndexColumn>& indexRows,
                           const std::vector<data::SchemaForeignKeyColumn>& relationRows);

// Reads both rowsets from an open source connection.
SourceKeys ReadSourceKeys(data::Connection& source);

// A column of a written table: its Access field name, its FoxPro column name and type
// ("C(50)", "I AUTOINC", "N(12,2)", "Y", "T", ...), and whether it accepts nulls.
struct KeyColumn {
  std::string field;
  std::string column;
  std::string type;
  bool nullable = true;
};

// What the indexes of one written table became.
struct TableKeys {
  std::vector<std::string> statements;  // after the table's last row
  std::vector<std::string> notices;
  // Per index name (as Access names it): its tag, and whether the tag is a primary or
  // candidate one that a relation may reference.
  struct Tag {
    std::string tag;
    std::vector<std::string> columns;  // the Access field names, in key order
    bool candidate = false;
  };
  std::vector<Tag> tags;
  // Relations of which this table is the child, with the tag (named, not yet made) that
  // carries each, and its key.
  struct Pending {
    std::string relation;
    std::string tag;
    std::string key;
  };
  std::vector<Pending> pending;
};

// The statements of one table. `accessTable` names it in `keys`, `table` in the target.
TableKeys BuildTableKeys(const SourceKeys& keys, const std::string& accessTable, const std::string& table,
                         const std::vector<KeyColumn>& columns, bool container);

// The statements after the last table: each relation whose child and parent were written
// (`written`: Access name -> its keys and target name) as a persistent relation in a
// container; a relation Access keeps no index for (one it does not enforce) gets a tag of
// its own. A relation whose parent has no key to reference still gets the child's tag. The notices list the relations
// whose cascades were not carried.
struct WrittenTable {
  std::string target;
  TableKeys keys;
  std::vector<KeyColumn> columns;
};
struct RelationStatements {
  std::vector<std::string> statements;
  std::vector<std::string> notices;
};
RelationStatements BuildRelationStatements(const SourceKeys& keys, const std::map<std::string, WrittenTable>& written,
                                           bool container);

}  // namespace tw
