#include "convert/key_statements.h"

#include <algorithm>
#include <optional>

#include "convert/table_definition.h"
#include "platform/case_rules.h"

namespace tw {

namespace {

std::string text(const data::Recordset& r, std::string_view name) {
  const Value& v = r.value(name);
  return v.is<std::string>() ? v.as<std::string>() : std::string();
}

std::int64_t number(const data::Recordset& r, std::string_view name) {
  const Value& v = r.value(name);
  if (v.is<std::int64_t>()) return v.as<std::int64_t>();
  if (v.is<bool>()) return v.as<bool>() ? 1 : 0;
  return 0;
}

bool sameName(std::string_view a, std::string_view b) { return lowerCase(a) == lowerCase(b); }

const KeyColumn* findColumn(const std::vector<KeyColumn>& columns, std::string_view field) {
  for (const KeyColumn& c : columns)
    if (sameName(c.field, field)) return &c;
  return nullptr;
}

// The letter and the width and decimals in parentheses of a FoxPro column type.
struct ColumnType {
  char letter = 'C';
  int width = 0;
  int decimals = 0;
};

ColumnType parseType(const std::string& type) {
  ColumnType t;
  if (!type.empty()) t.letter = type[0];
  const std::size_t open = type.find('(');
  if (open != std::string::npos) {
    t.width = std::atoi(type.c_str() + open + 1);
    const std::size_t comma = type.find(',', open);
    if (comma != std::string::npos) t.decimals = std::atoi(type.c_str() + comma + 1);
  }
  return t;
}

// A column in the fixed-width character form of a part of a key of several columns;
// nothing when no such form orders it.
std::optional<std::string> keyPart(const KeyColumn& c) {
  const ColumnType t = parseType(c.type);
  switch (t.letter) {
    case 'C': return c.column;
    case 'I': return "BINTOC(" + c.column + ")";
    case 'N': return "STR(" + c.column + "," + std::to_string(t.width) + "," + std::to_string(t.decimals) + ")";
    case 'Y': return "STR(" + c.column + ",20,4)";
    case 'B': return "STR(" + c.column + ",20,6)";
    case 'T': return "TTOC(" + c.column + ",1)";
    case 'D': return "DTOS(" + c.column + ")";
    default: return std::nullopt;
  }
}

// A column a tag of one column can key.
bool keyable(const KeyColumn& c) {
  return std::string("CINYBTDL").find(parseType(c.type).letter) != std::string::npos;
}

struct Key {
  std::string expression;
  std::string filter;  // FOR ..., empty for none
  bool descending = false;
  bool mixed = false;  // ascending and descending parts
};

// The key of `index`; nothing when one of its columns cannot be keyed (the reason in `why`).
std::optional<Key> buildKey(const std::vector<SourceIndex::Column>& parts, const std::vector<KeyColumn>& columns,
                            bool filterNulls, std::string& why) {
  Key key;
  std::vector<const KeyColumn*> used;
  for (const auto& p : parts) {
    const KeyColumn* c = findColumn(columns, p.name);
    if (!c) {
      why = "its column " + p.name + " is not in the table";
      return std::nullopt;
    }
    used.push_back(c);
  }
  if (used.empty()) {
    why = "it has no column";
    return std::nullopt;
  }
  if (used.size() == 1) {
    if (!keyable(*used[0])) {
      why = "a tag cannot key its column " + used[0]->field + " (" + used[0]->type + ")";
      return std::nullopt;
    }
    key.expression = used[0]->column;
  } else {
    for (const KeyColumn* c : used) {
      std::optional<std::string> part = keyPart(*c);
      if (!part) {
        why = "a key of several columns cannot hold its column " + c->field + " (" + c->type + ")";
        return std::nullopt;
      }
      key.expression += (key.expression.empty() ? "" : "+") + *part;
    }
  }
  const auto descending = std::count_if(parts.begin(), parts.end(), [](const auto& p) { return p.descending; });
  key.descending = descending == static_cast<std::ptrdiff_t>(parts.size());
  key.mixed = descending > 0 && !key.descending;
  // Access keeps Yes as -1, so its ascending Yes/No index lists Yes first; a logical tag
  // puts .F. first. The tag runs the other way to give Access's order.
  if (used.size() == 1 && parseType(used[0]->type).letter == 'L') key.descending = !key.descending;
  if (filterNulls)
    for (const KeyColumn* c : used)
      if (c->nullable) key.filter += (key.filter.empty() ? "" : " AND ") + ("!ISNULL(" + c->column + ")");
  return key;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string tagName(const std::string& indexName, std::string& used) {
  std::string tag = MakeColumnName(indexName, used, ColumnNameLimits{10, 10, true});
  for (char& ch : tag)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return tag;
}

bool sameColumns(const SourceIndex& a, const SourceIndex& b) {
  if (a.columns.size() != b.columns.size()) return false;
  for (std::size_t i = 0; i < a.columns.size(); ++i)
    if (!sameName(a.columns[i].name, b.columns[i].name) || a.columns[i].descending != b.columns[i].descending)
      return false;
  return true;
}

const SourceRelation* relationNamed(const SourceKeys& keys, const std::string& child, const std::string& name) {
  for (const SourceRelation& r : keys.relations)
    if (sameName(r.child, child) && sameName(r.name, name)) return &r;
  return nullptr;
}

}  // namespace

SourceKeys GroupSourceKeys(const std::vector<data::SchemaIndexColumn>& indexRows,
                           const std::vector<data::SchemaForeignKeyColumn>& relationRows) {
  SourceKeys keys;
  for (const data::SchemaIndexColumn& row : indexRows) {
    std::vector<SourceIndex>& list = keys.indexes[row.table];
    if (list.empty() || list.back().name != row.index) {
      SourceIndex index;
      index.name = row.index;
      index.primaryKey = row.primaryKey;
      index.unique = row.unique || row.primaryKey;
      index.ignoresNulls = row.nulls == data::kIndexNullsIgnored || row.nulls == data::kIndexNullsIgnoreAny;
      list.push_back(std::move(index));
    }
    list.back().columns.push_back({row.column, row.collation == 2});
  }
  for (const data::SchemaForeignKeyColumn& row : relationRows) {
    if (keys.relations.empty() || keys.relations.back().name != row.fkName ||
        keys.relations.back().child != row.fkTable) {
      SourceRelation r;
      r.name = row.fkName;
      r.parent = row.pkTable;
      r.child = row.fkTable;
      keys.relations.push_back(std::move(r));
    }
    SourceRelation& r = keys.relations.back();
    r.parentColumns.push_back(row.pkColumn);
    r.childColumns.push_back(row.fkColumn);
    if (row.updateRule != "NO ACTION" || row.deleteRule != "NO ACTION") r.cascades = true;
  }
  return keys;
}

SourceKeys ReadSourceKeys(data::Connection& source) {
  std::vector<data::SchemaIndexColumn> indexRows;
  std::unique_ptr<data::Recordset> r = source.OpenSchema(data::kSchemaIndexes);
  for (; !r->Eof(); r->MoveNext()) {
    data::SchemaIndexColumn c;
    c.table = text(*r, "TABLE_NAME");
    c.index = text(*r, "INDEX_NAME");
    c.primaryKey = number(*r, "PRIMARY_KEY") != 0;
    c.unique = number(*r, "UNIQUE") != 0;
    c.nulls = static_cast<int>(number(*r, "NULLS"));
    c.ordinal = static_cast<int>(number(*r, "ORDINAL_POSITION"));
    c.column = text(*r, "COLUMN_NAME");
    c.collation = static_cast<int>(number(*r, "COLLATION"));
    indexRows.push_back(std::move(c));
  }
  std::vector<data::SchemaForeignKeyColumn> relationRows;
  r = source.OpenSchema(data::kSchemaForeignKeys);
  for (; !r->Eof(); r->MoveNext()) {
    data::SchemaForeignKeyColumn c;
    c.pkTable = text(*r, "PK_TABLE_NAME");
    c.pkColumn = text(*r, "PK_COLUMN_NAME");
    c.fkTable = text(*r, "FK_TABLE_NAME");
    c.fkColumn = text(*r, "FK_COLUMN_NAME");
    c.ordinal = static_cast<int>(number(*r, "ORDINAL"));
    c.updateRule = text(*r, "UPDATE_RULE");
    c.deleteRule = text(*r, "DELETE_RULE");
    c.pkName = text(*r, "PK_NAME");
    c.fkName = text(*r, "FK_NAME");
    relationRows.push_back(std::move(c));
  }
  return GroupSourceKeys(indexRows, relationRows);
}

TableKeys BuildTableKeys(const SourceKeys& keys, const std::string& accessTable, const std::string& table,
                         const std::vector<KeyColumn>& columns, bool container) {
  TableKeys out;
  std::vector<const SourceIndex*> indexes;
  for (const auto& [name, list] : keys.indexes)
    if (sameName(name, accessTable))
      for (const SourceIndex& i : list) indexes.push_back(&i);
  // The primary key first, so that it takes its own name as its tag.
  std::stable_partition(indexes.begin(), indexes.end(), [](const SourceIndex* i) { return i->primaryKey; });
  std::string usedTags;
  std::vector<std::string> body;
  for (const SourceIndex* index : indexes) {
    const SourceRelation* relation = relationNamed(keys, accessTable, index->name);
    // The index Access keeps for a relationship, beside a plain index on the same columns:
    // the plain one carries the relation.
    const SourceIndex* carrier = index;
    if (relation)
      for (const SourceIndex* other : indexes)
        if (other != index && !other->unique && !relationNamed(keys, accessTable, other->name) &&
            sameColumns(*other, *index))
          carrier = nullptr;
    if (!carrier) continue;
    std::string why;
    const bool filterNulls = index->ignoresNulls || (index->unique && !index->primaryKey);
    std::optional<Key> key = buildKey(index->columns, columns, filterNulls, why);
    if (!key) {
      out.notices.push_back("Table " + accessTable + ": index " + index->name + " was left out: " + why + ".");
      continue;
    }
    if (key->mixed)
      out.notices.push_back("Table " + accessTable + ": index " + index->name +
                            " mixes ascending and descending columns; its tag is ascending.");
    const std::string tag = tagName(index->name, usedTags);
    const bool candidate = index->unique;
    out.tags.push_back({tag, {}, candidate});
    for (const auto& c : index->columns) out.tags.back().columns.push_back(c.name);
    // The relation this index carries: its own, or that of an index it stands for.
    const SourceRelation* carried = relation;
    if (!carried && !index->unique)
      for (const SourceIndex* other : indexes)
        if (const SourceRelation* r = relationNamed(keys, accessTable, other->name); r && sameColumns(*other, *index))
          carried = r;
    if (container && carried) {
      if (!index->unique) {
        out.pending.push_back({carried->name, tag, key->expression});
        continue;
      }
      // A unique index keeps its candidate tag; the relation gets a tag of its own.
      out.pending.push_back({carried->name, tagName(carried->name, usedTags), key->expression});
    }
    if (container && index->primaryKey) {
      // ALTER TABLE ADD PRIMARY KEY has no DESCENDING: the primary tag runs ascending.
      if (key->descending)
        out.notices.push_back("Table " + accessTable + ": primary key " + index->name +
                              " runs the other way in Access; its tag is ascending.");
      body.push_back("ALTER TABLE " + quoted(table) + " ADD PRIMARY KEY " + key->expression + " TAG " + tag);
      continue;
    }
    std::string s = "INDEX ON " + key->expression + " TAG " + tag;
    if (candidate) s += " CANDIDATE";
    if (key->descending) s += " DESCENDING";
    if (!key->filter.empty()) s += " FOR " + key->filter;
    body.push_back(std::move(s));
  }
  // INDEX ON works on the current table; ALTER TABLE names its own.
  const bool anyIndexOn =
      std::any_of(body.begin(), body.end(), [](const std::string& s) { return s.rfind("INDEX ON", 0) == 0; });
  if (anyIndexOn) out.statements.push_back("USE " + quoted(table));
  for (std::string& s : body) out.statements.push_back(std::move(s));
  return out;
}

RelationStatements BuildRelationStatements(const SourceKeys& keys, const std::map<std::string, WrittenTable>& written,
                                           bool container) {
  RelationStatements out;
  auto find = [&](const std::string& accessName) -> const WrittenTable* {
    for (const auto& [name, t] : written)
      if (sameName(name, accessName)) return &t;
    return nullptr;
  };
  std::vector<std::string> cascading;
  std::map<std::string, std::vector<std::string>> madeTags;  // per child, the tags made here
  int skipped = 0;
  for (const SourceRelation& r : keys.relations) {
    const WrittenTable* child = find(r.child);
    const WrittenTable* parent = find(r.parent);
    if (!child || !parent) continue;
    if (!container) {
      ++skipped;
      continue;
    }
    std::optional<TableKeys::Pending> pending;
    for (const auto& p : child->keys.pending)
      if (sameName(p.relation, r.name)) pending = p;
    if (!pending) {
      // Access keeps no index for a relationship it does not enforce: the relation gets a
      // tag of its own.
      std::vector<SourceIndex::Column> parts;
      for (const auto& c : r.childColumns) parts.push_back({c, false});
      std::string why;
      std::optional<Key> key = buildKey(parts, child->columns, false, why);
      if (!key) {
        out.notices.push_back("Relationship " + r.name + " was left out: " + why + ".");
        continue;
      }
      std::string used;
      for (const auto& t : child->keys.tags) used += "," + t.tag;
      for (const auto& p : child->keys.pending) used += "," + p.tag;
      for (const auto& t : madeTags[lowerCase(r.child)]) used += "," + t;
      pending = TableKeys::Pending{r.name, tagName(r.name, used), key->expression};
      madeTags[lowerCase(r.child)].push_back(pending->tag);
    }
    std::vector<std::string> wanted;
    for (const auto& c : r.parentColumns) wanted.push_back(lowerCase(c));
    const TableKeys::Tag* parentTag = nullptr;
    for (const auto& t : parent->keys.tags) {
      std::vector<std::string> have;
      for (const auto& c : t.columns) have.push_back(lowerCase(c));
      if (t.candidate && have == wanted && (!parentTag || t.tag < parentTag->tag)) parentTag = &t;
    }
    if (parentTag) {
      out.statements.push_back("ALTER TABLE " + quoted(child->target) + " ADD FOREIGN KEY " + pending->key + " TAG " +
                               pending->tag + " REFERENCES " + quoted(parent->target) + " TAG " + parentTag->tag);
      if (r.cascades) cascading.push_back(r.name);
    } else {
      // No key of the parent to reference: the child keeps the index all the same.
      out.statements.push_back("USE " + quoted(child->target));
      out.statements.push_back("INDEX ON " + pending->key + " TAG " + pending->tag);
    }
  }
  if (!cascading.empty()) {
    std::string list;
    for (const auto& n : cascading) list += (list.empty() ? "" : ", ") + n;
    out.notices.push_back("Relationships " + list +
                          ": their cascading updates and deletes were not carried (FoxPro enforces them with "
                          "stored procedures, which were not written).");
  }
  if (skipped > 0)
    out.notices.push_back(std::to_string(skipped) + (skipped == 1 ? " relationship was" : " relationships were") +
                          " not written: relations between free tables need a database container.");
  return out;
}

}  // namespace tw
