#include "platform/vfp/column_definition.h"

#include <cstdint>
#include <optional>

#include "platform/data_access.h"
#include "platform/vfp/engine.h"

namespace tw::vfp {

namespace sql {

namespace {

// VFP's type letter for a type word: a recognised long name, else its first letter.
char typeLetter(std::string_view word) {
  static const std::pair<std::string_view, char> longNames[] = {
      {"char", 'C'},     {"character", 'C'}, {"int", 'I'},    {"integer", 'I'},  {"double", 'B'},
      {"num", 'N'},      {"numeric", 'N'},   {"float", 'F'},  {"currency", 'Y'}, {"date", 'D'},
      {"datetime", 'T'}, {"logical", 'L'},   {"memo", 'M'},   {"blob", 'W'},     {"general", 'G'},
      {"varchar", 'V'},  {"varbinary", 'Q'}, {"picture", 'P'}};
  std::string lower;
  for (char ch : word) lower.push_back(asciiLower(ch));
  for (const auto& [n, letter] : longNames)
    if (lower == n) return letter;
  char first = word.empty() ? '\0' : word[0];
  return asciiUpper(first);
}

// Reads "(n)" or "(n, m)" when it follows; returns how many numbers were given.
int scanWidths(Cursor& c, long& width, long& decimals) {
  if (!c.consume('(')) return 0;
  auto number = [&](long& out) {
    c.skipSpace();
    if (!isDigit(c.peek())) sqlError(kBadWidth);
    out = 0;
    while (isDigit(c.peek())) {
      if (out < 100000) out = out * 10 + (c.peek() - '0');
      ++c.p;
    }
  };
  number(width);
  int given = 1;
  if (c.consume(',')) {
    number(decimals);
    given = 2;
  }
  if (!c.consume(')')) sqlError(kMissingComma);
  return given;
}

// Sets the width and decimals of `f`, of a known type, from the `given` numbers of its
// declaration (`width`, `decimals`); refuses what the type does not take.
void applyWidths(FieldDef& f, int given, long width, long decimals, std::string_view colName) {
  switch (f.type) {
    case 'C':
    case 'V':
    case 'Q':
      if (given != 1 || width < 1 || width > 254) sqlError(kBadWidth);
      f.width = static_cast<std::uint8_t>(width);
      break;
    case 'N':
    case 'F':
      if (given == 0 || width < 1 || width > 20) sqlError(kBadWidth);
      if (given == 2 && decimals > 0 && decimals > width - 2) sqlError(kBadWidth);
      f.width = static_cast<std::uint8_t>(width);
      f.decimals = static_cast<std::uint8_t>(given == 2 ? decimals : 0);
      break;
    case 'B':
      // The width of a double is fixed; the second number, when given, is its decimals.
      if (given == 2 && decimals > 18) sqlError(kBadWidth);
      f.decimals = static_cast<std::uint8_t>(given == 2 ? decimals : 2);
      break;
    case 'I':
    case 'Y':
    case 'D':
    case 'T':
    case 'L':
    case 'M':
    case 'W':
    case 'G': break;  // widths are ignored, as VFP does
    case 'P':
      sqlError("Field type P (of \"" + std::string(colName) +
               "\") is not supported by this FoxPro engine; use C, N, F, I, B, Y, D, T, L, M, V, Q, W or G.");
    default: sqlError(kSyntax);
  }
}

// A clause that may follow a column's type, or none.
enum class Clause { None, Null, NotNull, AutoInc, NoCpTrans, Default, Check };

Clause nextClause(Cursor& c) {
  if (c.keyword("null")) return Clause::Null;
  Cursor probe = c;
  if (probe.keyword("not") && probe.keyword("null")) {
    c = probe;
    return Clause::NotNull;
  }
  if (c.keyword("autoinc")) return Clause::AutoInc;
  if (c.keyword("nocptrans")) return Clause::NoCpTrans;
  if (c.keyword("default")) return Clause::Default;
  if (c.keyword("check")) return Clause::Check;
  return Clause::None;
}

// A whole number at the cursor, optionally signed, within [low, high]; `what` names it in
// the failure.
long scanWholeNumber(Cursor& c, long low, long high, const char* what) {
  c.skipSpace();
  bool negative = c.peek() == '-';
  if (negative || c.peek() == '+') ++c.p;
  if (!isDigit(c.peek())) sqlError(kSyntax);
  long v = 0;
  while (isDigit(c.peek())) {
    if (v < 100000000000L) v = v * 10 + (c.peek() - '0');
    ++c.p;
  }
  if (isWordChar(c.peek())) sqlError(kSyntax);
  if (negative) v = -v;
  if (v < low || v > high)
    sqlError(std::string(kOverflow) + " " + what + " must lie between " + std::to_string(low) + " and " +
             std::to_string(high) + ".");
  return v;
}

// "AUTOINC [NEXTVALUE n [STEP s]]" after its keyword; VFP starts at 1 and steps by 1.
void scanAutoIncrement(Cursor& c, FieldDef& f, std::string_view colName) {
  if (f.type != 'I')
    sqlError("Field \"" + std::string(colName) + "\" cannot be autoincrementing: only an Integer (I) field can.");
  f.autoIncrement = true;
  f.autoIncrementNext = 1;
  f.autoIncrementStep = 1;
  if (!c.keyword("nextvalue")) return;
  f.autoIncrementNext = static_cast<std::int32_t>(scanWholeNumber(c, INT32_MIN, INT32_MAX, "NEXTVALUE"));
  if (c.keyword("step")) f.autoIncrementStep = static_cast<std::uint8_t>(scanWholeNumber(c, 1, 255, "STEP"));
}

// True when a word that starts another clause of a column definition stands at the cursor.
bool clauseAhead(const Cursor& c) {
  Cursor probe = c;
  for (const char* kw :
       {"null", "autoinc", "nocptrans", "default", "check", "error", "primary", "unique", "references"}) {
    probe = c;
    if (probe.keyword(kw)) return true;
  }
  probe = c;
  return probe.keyword("not") && probe.keyword("null");
}

}  // namespace

std::string_view scanExpression(Cursor& c) {
  c.skipSpace();
  const char* start = c.p;
  int depth = 0;
  while (!c.atEnd()) {
    const char ch = c.peek();
    if (ch == '\'' || ch == '"' || ch == '[') {
      const char close = ch == '[' ? ']' : ch;
      ++c.p;
      while (!c.atEnd() && c.peek() != close) ++c.p;
      if (c.atEnd()) sqlError(kSyntax);
      ++c.p;
    } else if (ch == '(') {
      ++depth;
      ++c.p;
    } else if (ch == ')' || ch == ',') {
      if (depth == 0) break;
      if (ch == ')') --depth;
      ++c.p;
    } else if (isWordChar(ch) && depth == 0 && c.p != start && !isWordChar(c.p[-1]) && c.p[-1] != '.' &&
               clauseAhead(c)) {
      break;
    } else {
      ++c.p;
    }
  }
  std::string_view text(start, static_cast<std::size_t>(c.p - start));
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  if (text.empty()) sqlError(kMissingOperand);
  return text;
}

void scanColumnDefinition(Cursor& c, std::string_view colName, FieldDef& f, FieldRules& rules) {
  std::string_view type = c.word();
  if (type.empty()) sqlError(kSyntax);
  f.type = typeLetter(type);
  long width = 0, decimals = 0;
  int given = scanWidths(c, width, decimals);
  applyWidths(f, given, width, decimals, colName);
  std::optional<bool> nullable;
  bool seen[7] = {};
  for (Clause clause = nextClause(c); clause != Clause::None; clause = nextClause(c)) {
    // Each clause once, and NULL or NOT NULL, not both.
    const auto at = static_cast<std::size_t>(clause == Clause::NotNull ? Clause::Null : clause);
    if (seen[at]) sqlError(kSyntax);
    seen[at] = true;
    switch (clause) {
      case Clause::Null: nullable = true; break;
      case Clause::NotNull: nullable = false; break;
      case Clause::AutoInc: scanAutoIncrement(c, f, colName); break;
      case Clause::NoCpTrans: f.binary = true; break;
      case Clause::Default: rules.defaultValue = scanExpression(c); break;
      case Clause::Check:
        rules.rule = scanExpression(c);
        if (c.keyword("error")) rules.ruleText = scanExpression(c);
        break;
      case Clause::None: break;
    }
  }
  if (f.autoIncrement && nullable.value_or(false))
    sqlError("Field \"" + std::string(colName) + "\" is autoincrementing and cannot accept null values.");
  // A column accepts nulls unless told otherwise, as with SET NULL ON; an autoincrementing
  // one never does.
  f.nullable = nullable.value_or(!f.autoIncrement);
}

}  // namespace sql

using namespace sql;

// ------------------------------------------------------------------------------------
// ALTER TABLE "t" ALTER [COLUMN] c I AUTOINC [NEXTVALUE n [STEP s]] [NOT NULL]

void Engine::alterTable(std::string_view rest) {
  Cursor c(rest);
  const std::string name(scanName(c));
  std::string column;
  try {
    constexpr std::string_view kOnlyAutoInc =
        "This FoxPro engine alters a column only to set its autoincrementing: ALTER TABLE t ALTER COLUMN c I "
        "AUTOINC NEXTVALUE n STEP s.";
    if (!c.keyword("alter")) sqlError(kOnlyAutoInc);
    c.keyword("column");
    c.skipSpace();
    const bool bracketed = c.peek() == '[';
    const std::string_view colName = scanColumnName(c);
    column = colName;
    if (colName.empty() && !bracketed) sqlError(kMissingOperand);
    FieldDef wanted;
    FieldRules rules;
    scanColumnDefinition(c, colName, wanted, rules);
    c.expectEnd();
    if (!wanted.autoIncrement || !rules.empty()) sqlError(kOnlyAutoInc);
    TableFile& t = table_ && name == tableRawName_ ? *table_ : openForInsert(name);
    const std::size_t k = columnIndex(colName);
    const FieldDef& f = t.layout().fields[k];
    if (f.type != 'I' || f.nullable)
      sqlError("Field \"" + std::string(colName) + "\" cannot be made autoincrementing: it is " +
               (f.type != 'I' ? "not an Integer (I) field." : "a field that accepts null values."));
    t.setAutoIncrement(k, wanted.autoIncrementNext, wanted.autoIncrementStep);
  } catch (data::Failure& f) {
    if (f.description().rfind("SQLException: ", 0) != 0)
      f = data::Failure(f.number(), "SQLException: Error writing to file. " + f.description());
    f.concerning(name, column);
    throw;
  }
}

// ------------------------------------------------------------------------------------
// [=]DBSETPROP('table.field', 'FIELD', 'Caption' | 'Comment', text)

void Engine::setProperty(std::string_view rest) {
  Cursor c(rest);
  if (!c.consume('(')) sqlError(kSyntax);
  const CodePage* names = catalog_->nameCodePage();
  const CodePage& codePage = names ? *names : *codePage_;
  // Each argument is a text, read into the names' code page and given on in UTF-8; a
  // character that code page lacks is refused rather than stored as "?".
  auto argument = [&](bool last) {
    std::string bytes;
    if (textExpression(c, codePage, bytes))
      sqlError("Function argument value, type, or count is invalid. The text has characters that code page " +
               std::to_string(codePage.number()) + " cannot hold.");
    if (!c.consume(last ? ')' : ',')) sqlError(last ? kTooMany : kMissingComma);
    return codePage.decode(bytes);
  };
  const std::string object = argument(false);
  const std::string type = argument(false);
  const std::string property = argument(false);
  const std::string value = argument(true);
  c.expectEnd();
  constexpr std::string_view kBadArgument = "Function argument value, type, or count is invalid.";
  if (foldCase(type) != "field")
    sqlError(std::string(kBadArgument) + " This FoxPro engine sets properties of fields only.");
  FieldProperty which;
  if (foldCase(property) == "caption") which = FieldProperty::Caption;
  else if (foldCase(property) == "comment") which = FieldProperty::Comment;
  else sqlError(std::string(kBadArgument) + " This FoxPro engine sets a field's Caption or Comment only.");
  const std::size_t dot = object.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == object.size())
    sqlError(std::string(kBadArgument) + " The field is named as table.field.");
  try {
    catalog_->setFieldProperty(std::string_view(object).substr(0, dot), std::string_view(object).substr(dot + 1),
                               which, value);
  } catch (data::Failure& f) {
    f.concerning(object.substr(0, dot), object.substr(dot + 1));
    throw;
  }
}

}  // namespace tw::vfp
