// The engine's statements about indexes and keys: USE, INDEX ON and ALTER TABLE ... ADD
// PRIMARY KEY / ADD FOREIGN KEY (engine.h), and the indexes INSERT keeps in step.
#include <initializer_list>

#include "platform/case_rules.h"
#include "platform/data_access.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"

namespace tw::vfp {

namespace {

constexpr std::string_view kSyntax = "Syntax error.";
constexpr std::string_view kUnrecognized = "Command contains unrecognized phrase/keyword.";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The words of a statement after its verb.
struct Words {
  std::string_view s;
  std::size_t p = 0;

  void skip() {
    while (p < s.size() && isBlank(s[p])) ++p;
  }
  // True at the end, after an optional ";".
  bool atEnd() {
    skip();
    if (p < s.size() && s[p] == ';') {
      ++p;
      skip();
    }
    return p >= s.size();
  }
  bool startsKeyword(std::size_t at, std::string_view kw) const {
    if (s.size() - at < kw.size() || (at > 0 && isWordChar(s[at - 1]))) return false;
    for (std::size_t i = 0; i < kw.size(); ++i)
      if (asciiLower(s[at + i]) != kw[i]) return false;
    return at + kw.size() == s.size() || !isWordChar(s[at + kw.size()]);
  }
  // Consumes `kw` (lower case) when it stands next as a whole word, in any case.
  bool keyword(std::string_view kw) {
    skip();
    if (!startsKeyword(p, kw)) return false;
    p += kw.size();
    return true;
  }
  std::string word() {
    skip();
    const std::size_t start = p;
    while (p < s.size() && isWordChar(s[p])) ++p;
    if (p == start) throwSqlException(kSyntax);
    return std::string(s.substr(start, p - start));
  }
  // A table name: "...", '...', [...] or a bare run up to a blank or ";".
  std::string name() {
    skip();
    const char open = p < s.size() ? s[p] : '\0';
    const char close = open == '"' ? '"' : open == '\'' ? '\'' : open == '[' ? ']' : '\0';
    const std::size_t start = close ? p + 1 : p;
    std::size_t end = start;
    while (end < s.size() && (close ? s[end] != close : !isBlank(s[end]) && s[end] != ';')) ++end;
    if (end == start || (close && end >= s.size())) throwSqlException(kSyntax);
    p = close ? end + 1 : end;
    return std::string(s.substr(start, end - start));
  }
  // The text up to the next of the `stops` keywords that stands outside parentheses and
  // quotes, or up to the end; without the blanks around it and a final ";".
  std::string until(std::initializer_list<std::string_view> stops) {
    skip();
    const std::size_t start = p;
    int depth = 0;
    char quote = '\0';
    for (; p < s.size(); ++p) {
      const char c = s[p];
      if (quote) {
        if (c == quote) quote = '\0';
        continue;
      }
      if (c == '"' || c == '\'') quote = c;
      else if (c == '(') ++depth;
      else if (c == ')') --depth;
      else if (depth == 0)
        for (std::string_view stop : stops)
          if (startsKeyword(p, stop)) return trimmed(start, p);
    }
    return trimmed(start, p);
  }
  std::string trimmed(std::size_t from, std::size_t to) const {
    while (to > from && (isBlank(s[to - 1]) || s[to - 1] == ';')) --to;
    return std::string(s.substr(from, to - from));
  }
};

// The clauses after INDEX ON's TAG name, in any order.
void readIndexClauses(Words& w, TagDefinition& d) {
  while (!w.atEnd()) {
    if (w.keyword("candidate")) d.candidate = true;
    else if (w.keyword("descending")) d.descending = true;
    else if (w.keyword("ascending")) d.descending = false;
    else if (w.keyword("additive") || w.keyword("compact")) continue;
    else if (w.keyword("for")) d.filter = w.until({"candidate", "descending", "ascending", "additive", "compact"});
    else throwSqlException(kUnrecognized);
  }
}

ContainerCatalog* containerOf(Catalog& catalog) { return dynamic_cast<ContainerCatalog*>(&catalog); }

// A failure of a statement about `table`, naming it.
template <class F>
void concerning(const std::string& table, F&& f) {
  try {
    f();
  } catch (data::Failure& failure) {
    if (failure.table().empty()) failure.concerning(table);
    throw;
  }
}

}  // namespace

void Engine::useTable(std::string_view rest) {
  Words w{rest};
  if (w.atEnd()) {
    currentTable_.clear();
    return;
  }
  const std::string name = w.name();
  w.keyword("exclusive");
  if (!w.atEnd()) throwSqlException(kUnrecognized);
  concerning(name, [&] {
    const TableLocation at = catalog_->locate(name);
    lockTable(at.dbfPath, name);
  });
  currentTable_ = name;
}

void Engine::indexOn(std::string_view rest) {
  Words w{rest};
  if (!w.keyword("on")) throwSqlException(kSyntax);
  TagDefinition d;
  d.key = w.until({"tag", "to"});
  if (d.key.empty()) throwSqlException(kSyntax);
  if (!w.keyword("tag")) throwSqlException(kUnrecognized);  // INDEX ... TO an .idx file is not written
  d.name = w.word();
  if (w.keyword("of")) throwSqlException(kUnrecognized);  // only the structural index
  readIndexClauses(w, d);
  if (currentTable_.empty()) throwSqlException("No table is open in the current work area.");
  concerning(currentTable_, [&] {
    const TableLocation at = catalog_->locate(currentTable_);
    const IndexTag& tag = indexesOf(at).addTag(d);
    if (ContainerCatalog* container = containerOf(*catalog_))
      container->addIndex(currentTable_, tag.name, d.candidate, false);
  });
}

bool Engine::addKey(std::string_view rest) {
  Words w{rest};
  const std::string name = w.name();
  if (!w.keyword("add")) return false;
  const bool primary = w.keyword("primary");
  if (!primary && !w.keyword("foreign")) return false;
  leaveTable();
  if (!w.keyword("key")) throwSqlException(kUnrecognized);
  TagDefinition d;
  d.key = w.until({"tag"});
  if (d.key.empty() || !w.keyword("tag")) throwSqlException(kSyntax);
  d.name = w.word();
  d.candidate = primary;
  std::string parent, parentTag;
  if (!primary) {
    if (!w.keyword("references")) throwSqlException(kSyntax);
    parent = w.name();
    if (w.keyword("tag")) parentTag = w.word();
  }
  if (!w.atEnd()) throwSqlException(kUnrecognized);
  concerning(name, [&] {
    ContainerCatalog* container = containerOf(*catalog_);
    if (!container)
      throwSqlException("Table \"" + name + "\" is a free table: " + (primary ? "a primary key" : "a relation") +
                        " needs a database container.");
    const TableLocation at = catalog_->locate(name);
    lockTable(at.dbfPath, name);
    if (primary) {
      const std::string existing = container->primaryKey(name);
      if (!existing.empty() && foldCase(existing) != foldCase(d.name))
        throwSqlException("Table \"" + name + "\" already has a primary key (tag " + existing + ").");
      const IndexTag& tag = indexesOf(at).addTag(d);
      container->addIndex(name, tag.name, true, true);
      return;
    }
    const TableLocation parentAt = catalog_->locate(parent);
    if (parentTag.empty()) parentTag = container->primaryKey(parent);
    const StoredTag* referenced = nullptr;
    const std::vector<StoredTag> parentTags = structuralTags(*fs_, parentAt.dbfPath);
    for (const auto& t : parentTags)
      if (!parentTag.empty() && asciiLower(t.name) == asciiLower(parentTag)) referenced = &t;
    if (!referenced)
      throwSqlException("Index tag " + (parentTag.empty() ? std::string("(the primary key)") : parentTag) +
                        " is not found in table \"" + parent + "\".");
    if (!referenced->candidate)
      throwSqlException("Tag " + referenced->name + " of table \"" + parent +
                        "\" is not a primary or candidate index, which a relation must reference.");
    const IndexTag& tag = indexesOf(at).addTag(d);
    container->addIndex(name, tag.name, false, false);
    container->addRelation(name, tag.name, parent, referenced->name);
  });
  return true;
}

TableIndexes& Engine::indexesOf(const TableLocation& at) {
  if (!indexes_ || tableKey(indexes_->dbfPath()) != tableKey(at.dbfPath) || !indexes_->inStep())
    indexes_ = std::make_unique<TableIndexes>(*fs_, at.dbfPath, at.columnNames, *codePage_);
  return *indexes_;
}

void Engine::attachIndexes(TableFile& t, const TableLocation& at) {
  if (!(t.header().tableFlags & kTableFlagCdx)) return;
  t.setBatchListener(&indexesOf(at));
}

void Engine::forgetIndexes(const std::string& dbfPath) {
  if (indexes_ && tableKey(indexes_->dbfPath()) == tableKey(dbfPath)) indexes_.reset();
}

}  // namespace tw::vfp
